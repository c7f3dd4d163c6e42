// The open and save dialogs on a real X desktop (run under run_under_xvfb.sh):
// a person types a picture's name into the open dialog, its preview fills
// the pane beside the file view, Escape closes the dialog; the save dialog
// shows, a name is typed and Enter saves; a folder's name typed and entered
// leaves no completion list open. Screenshots of both dialogs are
// kept under the build folder, and the preview is checked in the screenshot.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include <unistd.h>

#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "imaging/viewer/pg_open_dialog.h"
#include "imaging/viewer/pg_save_dialog.h"
#include "platform/base/files.h"
#include "platform/ui/forms.h"
#include "platform/ui/test_driver.h"
#include "platform/ui/timer.h"
#include "tests/ui/xvfb_desktop.h"

namespace {

using Clock = std::chrono::steady_clock;

// Four quarters of plain colours: whatever the scale, the middle of each
// quarter keeps its colour.
void WritePicture(const std::string& Path) {
  TPixelGraphic g;
  g.NewImage(320, 240, pf24Bit);
  for (int32_t y = 0; y < 240; ++y)
    for (int32_t x = 0; x < 320; ++x)
      g.SetPixelColor(x, y, y < 120 ? (x < 160 ? 0x0000FF : 0x00FF00) : (x < 160 ? 0xFF0000 : 0x00FFFF));
  g.SaveToFile(Path);
}

bool Near(TColor A, TColor B) {
  for (int s = 0; s < 24; s += 8)
    if (std::abs(static_cast<int>((A >> s) & 0xFF) - static_cast<int>((B >> s) & 0xFF)) > 24) return false;
  return true;
}

// Steps run one after another from a timer, inside the dialog's modal loop:
// each waits until its condition holds (or fails after a while), acts, and
// hands over to the next.
struct TScript {
  struct TStep {
    std::string Name;
    std::function<bool()> Ready;
    std::function<void()> Act;
  };
  std::vector<TStep> Steps;
  size_t Next = 0;
  Clock::time_point Since = Clock::now();
  void Add(std::string Name, std::function<bool()> Ready, std::function<void()> Act) {
    Steps.push_back(TStep{std::move(Name), std::move(Ready), std::move(Act)});
  }
  void Tick() {
    if (Next >= Steps.size()) return;
    TStep& s = Steps[Next];
    const bool late = Clock::now() - Since > std::chrono::seconds(15);
    if (!s.Ready() && !late) return;
    if (late) Fail("timed out waiting: " + s.Name);
    ++Next;
    Since = Clock::now();
    s.Act();
  }
};

// Ready once the given time has passed since the step began.
std::function<bool()> After(TScript& S, int32_t Milliseconds) {
  return [&S, Milliseconds] { return Clock::now() - S.Since > std::chrono::milliseconds(Milliseconds); };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: viewer_dialogs_xvfb OPEN.png SAVE.png\n");
    return 2;
  }
  const std::string openShot = argv[1], saveShot = argv[2];
  if (access("/usr/bin/xdotool", X_OK) != 0) {
    std::printf("xdotool not found: skipped\n");
    return 77;
  }
  InitializeForms(argc, argv);
  InitializeStdControls();
  PGraphicInitialization();
  SetMessageBoxHook([](HWND, const std::string& Text, const std::string&, uint32_t Type) {
    Fail("message box: " + Text);
    return DefaultMessageBoxAnswer(Type);
  });
  if (TUiTestDriver::PlatformName() != "xcb") Fail("expected the xcb platform");

  char tmpl[] = "/tmp/quillon_dialogs_xvfb_XXXXXX";
  const std::string dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  WritePicture(dir + "harbour.bmp");
  WritePicture(dir + "meadow.bmp");
  ForceDirectories(dir + "holiday");

  TForm* main = new TForm(nullptr);
  main->SetCaption("Quillon");
  main->SetBounds(40, 30, 1000, 760);
  main->AfterConstruction();
  main->Show();

  TScript script;
  TTimer timer(nullptr);
  timer.SetInterval(50);
  timer.SetOnTimer([&](TObject*) { script.Tick(); });

  // ---- the open dialog: type a name, wait for the preview, Escape
  auto* open = new TPGOpenDialog(main);
  open->SetInitialDir(dir);
  script.Add("the open dialog", [&] { return ExecutingFileDialog() == open; }, [] {});
  script.Add("the dialog takes the keyboard", [] { return DesktopActive("Open"); }, [] {});
  script.Add("the dialog settles", After(script, 300), [] { XdoTool("type --delay 30 meadow.bmp"); });
  script.Add("the preview", [&] { return open->PreviewImage() != nullptr; }, [] {});
  script.Add("the preview shows", After(script, 500), [&] {
    if (open->NameBoxText() != "meadow.bmp") Fail("typed name: '" + open->NameBoxText() + "'");
    if (!TUiTestDriver::SaveScreenshot(openShot)) Fail("screenshot " + openShot);
    // The top-left quarter of the preview, on the screen.
    TControl* pane = open->PreviewPane();
    TPoint p = pane->ClientToScreen(TPoint{pane->ClientWidth() / 2 - 20, pane->ClientHeight() / 2 - 10});
    TPixelGraphic shot;
    try {
      shot.LoadFromFile(openShot);
      TColor c = shot.GetPixelColor(p.X, p.Y);
      if (!Near(c, 0x0000FF)) Fail("preview pixel on screen is " + std::to_string(c));
    } catch (const std::exception& e) {
      Fail(std::string("reading the screenshot: ") + e.what());
    }
    // The first Escape closes the name completion's list, the second the dialog.
    XdoTool("key Escape");
  });
  script.Add("the completion closes", After(script, 400), [] { XdoTool("key Escape"); });
  timer.SetEnabled(true);
  if (open->Execute()) Fail("Escape accepted the open dialog");

  // ---- the save dialog: the proposed name, a typed one, Enter
  auto* save = new TPGSaveDialog(main);
  save->SetInitialDir(dir);
  save->SetFileName(dir + "meadow");
  save->SetFilterIndex(2);
  script.Add("the save dialog", [&] { return ExecutingFileDialog() == save; }, [] {});
  script.Add("the save dialog takes the keyboard", [] { return DesktopActive("Save As"); }, [] {});
  script.Add("the save dialog settles", After(script, 300), [&] {
    if (!TUiTestDriver::SaveScreenshot(saveShot)) Fail("screenshot " + saveShot);
    XdoTool("key ctrl+a");
    XdoTool("type --delay 30 copy");
    XdoTool("key Return");
  });
  if (!save->Execute()) Fail("Enter did not accept the save dialog");
  else if (save->FileName() != dir + "copy.jpg") Fail("saved as " + save->FileName());

  // ---- a folder's name typed and entered: no completion list stays open
  // over the dialog, so one Escape closes it
  auto* into = new TPGSaveDialog(main);
  into->SetInitialDir(dir);
  script.Add("the third dialog", [&] { return ExecutingFileDialog() == into; }, [] {});
  script.Add("the third dialog takes the keyboard", [] { return DesktopActive("Save As"); }, [] {});
  script.Add("the third dialog settles", After(script, 300), [] {
    XdoTool("key ctrl+a");
    XdoTool("type --delay 150 holiday");
  });
  script.Add("the completion lists the folder", After(script, 800), [] { XdoTool("key Return"); });
  script.Add("the folder is entered", [&] { return into->GetFolderPath() == dir + "holiday/"; }, [] {});
  script.Add("the folder is read", After(script, 800), [] { XdoTool("key Escape"); });
  script.Add("one Escape closes the dialog", [&] { return ExecutingFileDialog() != into; }, [&] {
    if (ExecutingFileDialog() == into) into->CancelDialog();
  });
  if (into->Execute()) Fail("entering a folder accepted the save dialog");
  script.Tick();  // the last step, once the dialog has closed
  timer.SetEnabled(false);
  if (script.Next != script.Steps.size()) Fail("the script did not finish");

  main->Free();
  PGraphicFinalization();
  FinalizeStdControls();
  FinalizeForms();
  const std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) Fail("cleaning up");
  std::printf("screenshots %s %s: %s\n", openShot.c_str(), saveShot.c_str(), DesktopFailures ? "FAILED" : "ok");
  return DesktopFailures ? 1 : 0;
}
