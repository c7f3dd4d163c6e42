// Activation on a real X desktop with a window manager (run by
// run_under_xvfb.sh): a form shown at start takes the keyboard without a
// click, a modal form opened from it is the desktop's active window and
// takes the keys, stays above the form it came from whatever raises that
// one, and offers only the close button; the desktop's own activation
// reaches ours, and a popup tool window keeps the keyboard away from itself
// even when clicked. After a window that made the others wait (a scan's
// progress, a message box), after late news that another program took the
// desktop, and while a window opens, a key typed reaches the control that
// had the keyboard.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"
#include "platform/ui/timer.h"
#include "tests/ui/xvfb_desktop.h"

namespace {

// What a command prints.
std::string Output(const std::string& Command) {
  std::string out;
  if (FILE* f = popen(Command.c_str(), "r")) {
    char buf[512];
    while (size_t n = std::fread(buf, 1, sizeof buf, f)) out.append(buf, n);
    pclose(f);
  }
  return out;
}

// The desktop's id of the window of this title, as xprop shows ids.
std::string XWindow(const std::string& Title) {
  std::string id = Output("/usr/bin/xdotool search --name '^" + Title + "$' | head -1");
  char hex[32];
  std::snprintf(hex, sizeof hex, "0x%lx", std::strtoul(id.c_str(), nullptr, 10));
  return hex;
}

// Whether the window manager stacks window Upper above window Lower.
bool StackedAbove(const std::string& Upper, const std::string& Lower) {
  std::string list = Output("/usr/bin/xprop -root _NET_CLIENT_LIST_STACKING");
  while (!list.empty() && (list.back() == '\n' || list.back() == ' ')) list.pop_back();
  list += ",";
  size_t u = list.find(" " + Upper + ","), l = list.find(" " + Lower + ",");
  return u != std::string::npos && l != std::string::npos && u > l;
}

TForm* MakeForm(const std::string& Caption, int32_t Left, int32_t Top, uint16_t& LastKey) {
  TForm* f = new TForm(nullptr);
  f->SetCaption(Caption);
  f->SetBounds(Left, Top, 360, 220);
  f->OnKeyDown = [&LastKey](TObject*, uint16_t& Key, TShiftState) { LastKey = Key; };
  f->AfterConstruction();
  return f;
}

// The keyboard comes back to the control that had it, for a key typed as
// soon as the desktop shows the form active again.
void KeyboardComesBack(TForm* Main) {
  auto* edit = new TEdit(Main);
  edit->SetParent(Main);
  edit->SetBounds(10, 10, 200, 24);
  edit->SetFocus();
  std::string typed;
  auto typedReaches = [&](const std::string& Key, const std::string& After) {
    if (!PumpUntil([] { return DesktopActive("Quillon activation"); }, 20000))
      Fail("the form is not active after " + After);
    XdoTool("key " + Key);
    typed += Key;
    if (!PumpUntil([&] { return edit->Text() == typed; }, 20000))
      Fail("a key typed after " + After + " does not reach the control that had the keyboard");
  };

  // A scan: its progress window makes the others wait, then the scanner's
  // own wait disables the form once more.
  uint16_t progressKey = 0;
  TForm* progress = MakeForm("Quillon progress", 300, 240, progressKey);
  progress->HandleNeeded();
  const auto waiting = DisableOtherWindows(progress->Handle());
  progress->Show();
  if (!PumpUntil([] { return DesktopActive("Quillon progress"); })) Fail("the progress window is not active");
  EnableWindows(waiting);
  progress->Free();
  EnableWindow(Main->Handle(), false);
  Application->ProcessMessages();
  EnableWindow(Main->Handle(), true);
  typedReaches("a", "a scan");

  // A message box, answered from the keyboard.
  TMessageBoxHook failing = SetMessageBoxHook(nullptr);
  TTimer answer(nullptr);
  answer.SetInterval(50);
  answer.SetOnTimer([&](TObject*) {
    answer.SetEnabled(false);
    if (!PumpUntil([] { return DesktopActive("Quillon box"); })) Fail("the message box is not active");
    XdoTool("key Return");
  });
  answer.SetEnabled(true);
  MessageBox(Main->Handle(), "Saved.", "Quillon box", MB_OK);
  SetMessageBoxHook(failing);
  typedReaches("b", "a message box");

  // The desktop's news that another program took its keyboard comes late,
  // after it gave the keyboard back to the form.
  PostMessage(Main->Handle(), CM_DESKTOPACTIVATE, 0, 0);
  if (!PumpUntil([] { return GetActiveWindow() == nullptr; })) Fail("the late news did not arrive");
  typedReaches("c", "late news of the desktop");

  // Keys typed as a window opens during work (a menu dropping down): the
  // toolkit holds them back while the desktop maps the window.
  for (int i = 0; i < 10 && !DesktopFailures; ++i) {
    XdoTool("key d");
    typed += "d";
    HWND menu = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "Quillon menu", WS_POPUP, 600, 400, 120, 80,
                               nullptr, DefWindowProc);
    ShowWindow(menu, SW_SHOWNA);
    UpdateWindow(menu);
    if (!PumpUntil([&] { return edit->Text() == typed; }, 10000))
      Fail("a key typed as a window opens waits for another");
    DestroyWindow(menu);
  }
  edit->Free();
}

}  // namespace

int main(int argc, char** argv) {
  if (access("/usr/bin/xdotool", X_OK) != 0) {
    std::printf("xdotool not found: skipped\n");
    return 77;
  }
  InitializeForms(argc, argv);
  SetMessageBoxHook([](HWND, const std::string& Text, const std::string&, uint32_t Type) {
    Fail("message box: " + Text);
    return DefaultMessageBoxAnswer(Type);
  });
  if (TUiTestDriver::PlatformName() != "xcb") Fail("expected the xcb platform");

  uint16_t mainKey = 0, dialogKey = 0, secondKey = 0;
  TForm* main = MakeForm("Quillon activation", 60, 60, mainKey);
  main->Show();
  if (!PumpUntil([] { return DesktopActive("Quillon activation"); })) Fail("the form shown at start is not active");
  XdoTool("key x");
  if (!PumpUntil([&] { return mainKey == 'X'; })) Fail("a key without a click does not reach the form");

  // A modal form: active on the desktop, and the keys go to it.
  TForm* dialog = MakeForm("Quillon dialog", 200, 160, dialogKey);
  dialog->SetBorderStyle(bsDialog);
  bool scripted = false;
  TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer([&](TObject*) {
    if (scripted) return;
    scripted = true;
    if (!PumpUntil([] { return DesktopActive("Quillon dialog"); })) Fail("the modal form is not active");
    if (GetActiveWindow() != dialog->Handle()) Fail("the modal form is not our active window");
    // It belongs to the form it came from, so the window manager keeps it
    // above that form: raised, activated or clicked.
    const std::string dialogX = XWindow("Quillon dialog"), mainX = XWindow("Quillon activation");
    if (Output("/usr/bin/xprop -id " + dialogX + " WM_TRANSIENT_FOR").find(mainX) == std::string::npos)
      Fail("the modal form is not transient for the form it came from");
    // Nothing tells when the window manager has done with a raise: watch a
    // while that the modal form stays on top.
    XdoTool("windowraise " + mainX);
    if (PumpUntil([&] { return !StackedAbove(dialogX, mainX); }, 300)) Fail("raising the form buried the modal one");
    XdoTool("windowactivate " + mainX);
    XdoTool("mousemove 80 150 click 1");
    if (PumpUntil([&] { return !StackedAbove(dialogX, mainX); }, 300))
      Fail("activating the form buried the modal one");
    if (!PumpUntil([] { return DesktopActive("Quillon dialog"); })) Fail("the modal form lost the keyboard");
    // A dialog frame: the close button alone, and no sizing.
    const std::string actions = Output("/usr/bin/xprop -id " + dialogX + " _NET_WM_ALLOWED_ACTIONS");
    for (const char* a : {"_NET_WM_ACTION_MINIMIZE", "_NET_WM_ACTION_MAXIMIZE_HORZ", "_NET_WM_ACTION_RESIZE"})
      if (actions.find(a) != std::string::npos) Fail(std::string("the dialog frame offers ") + a);
    if (actions.find("_NET_WM_ACTION_CLOSE") == std::string::npos) Fail("the dialog frame offers no close");
    if (Output("/usr/bin/xprop -id " + mainX + " _NET_WM_ALLOWED_ACTIONS").find("_NET_WM_ACTION_MINIMIZE") ==
        std::string::npos)
      Fail("the form's frame offers no minimise");
    XdoTool("key k");
    if (!PumpUntil([&] { return dialogKey == 'K'; })) Fail("a key does not reach the modal form");
    if (mainKey != 'X') Fail("a key meant for the modal form reached the form under it");
    dialog->SetModalResult(mrCancel);
    timer.SetEnabled(false);
  });
  timer.SetEnabled(true);
  dialog->ShowModal();
  if (!PumpUntil([] { return DesktopActive("Quillon activation"); })) Fail("the form is not active after the modal one");

  // The desktop activates a window of ours: our active window follows.
  TForm* second = MakeForm("Quillon second", 500, 300, secondKey);
  second->Show();
  if (!PumpUntil([] { return DesktopActive("Quillon second"); })) Fail("a second form shown is not active");
  XdoTool("search --name '^Quillon activation$' windowactivate");
  if (!PumpUntil([&] { return GetActiveWindow() == main->Handle(); }))
    Fail("our active window does not follow the desktop's");
  mainKey = 0;
  XdoTool("key y");
  if (!PumpUntil([&] { return mainKey == 'Y'; })) Fail("a key after the desktop's activation does not reach the form");
  second->Hide();

  // A popup tool window (as a floating toolbar): shown without activation,
  // and a click on it leaves the keyboard where it was.
  bool toolClicked = false;
  HWND tool = CreateWindowEx(WS_EX_TOOLWINDOW, "Quillon tool", WS_POPUP, 600, 80, 160, 60, main->Handle(),
                             [&toolClicked](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
                               if (m == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
                               if (m == WM_LBUTTONDOWN) toolClicked = true;
                               return DefWindowProc(h, m, w, l);
                             });
  ShowWindow(tool, SW_SHOWNA);
  // Once the desktop shows it, the window manager has decided about the
  // keyboard; then watch a while that it stays with the form.
  if (!PumpUntil([] { return !Output("/usr/bin/xdotool search --onlyvisible --name '^Quillon tool$'").empty(); }))
    Fail("the tool window is not shown");
  if (PumpUntil([] { return !DesktopActive("Quillon activation"); }, 500)) Fail("showing a tool window took the keyboard");
  XdoTool("mousemove 680 110 click 1");
  if (!PumpUntil([&] { return toolClicked; })) Fail("the click did not reach the tool window");
  if (PumpUntil([] { return !DesktopActive("Quillon activation"); }, 500))
    Fail("a click on a tool window took the keyboard");
  if (GetActiveWindow() != main->Handle()) Fail("a click on a tool window changed our active window");

  DestroyWindow(tool);
  KeyboardComesBack(main);
  second->Free();
  dialog->Free();
  main->Free();
  SetMessageBoxHook(nullptr);
  FinalizeForms();
  std::printf("activation on the desktop: %s\n", DesktopFailures ? "FAILED" : "ok");
  return DesktopFailures ? 1 : 0;
}
