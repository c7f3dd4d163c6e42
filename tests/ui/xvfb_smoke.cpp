// Smoke test on a real X display (run under xvfb-run): a form on the xcb
// platform, a click through the toolkit's input path, a cursor of our own
// as the X server shows it, and a screenshot of the display saved under the
// build folder for a person to look at.
// Xlib's names that our window system uses too are kept out of the way.
#define Screen XScreen
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#undef Screen
#undef KeyPress
#undef KeyRelease
#undef None
#undef Bool
#undef Status

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/ui/cursors.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/timer.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/xvfb_desktop.h"

namespace {
class TPanel : public TCustomControl {
public:
  explicit TPanel(TComponent* AOwner) : TCustomControl(AOwner) {}
  bool Clicked = false;

protected:
  void Paint() override {
    Canvas()->Brush()->SetColor(Clicked ? clRed : clNavy);
    Canvas()->FillRect(TRect{0, 0, Width(), Height()});
    Canvas()->Font()->SetColor(clWhite);
    Canvas()->Brush()->SetStyle(bsClear);
    Canvas()->TextOut(10, 10, Clicked ? "Clicked" : "Waiting for a click");
  }
};

class TSmokeForm : public TForm {
public:
  explicit TSmokeForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("Quillon smoke test");
    SetBounds(60, 40, 400, 260);
    Panel = new TPanel(this);
    Panel->SetBounds(20, 20, 240, 120);
    Panel->SetParent(this);
    Panel->OnClick = [this](TObject*) {
      Panel->Clicked = true;
      Panel->Invalidate();
    };
  }
  TPanel* Panel;
};

// A 32 x 32 cursor: a black cross of 61 pixels through (15, 15) and a
// white 4 x 4 square at the lower right; the rest is transparent.
HCURSOR MakeCrossCursor() {
  std::vector<uint8_t> andMask(32 * 4, 0xFF), xorMask(32 * 4, 0x00);
  auto put = [&](int X, int Y, bool White) {
    const size_t i = static_cast<size_t>(Y * 4 + X / 8);
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (X % 8));
    andMask[i] = static_cast<uint8_t>(andMask[i] & ~bit);
    if (White) xorMask[i] = static_cast<uint8_t>(xorMask[i] | bit);
  };
  for (int k = 0; k < 31; ++k) {
    put(k, 15, false);
    if (k != 15) put(15, k, false);
  }
  for (int y = 24; y < 28; ++y)
    for (int x = 24; x < 28; ++x) put(x, y, true);
  return CreateCursor(nullptr, 15, 15, 32, 32, andMask.data(), xorMask.data());
}

// The cursor the X server shows now: its opaque black and opaque white
// pixels, and all its opaque ones.
struct TShownCursor {
  int Black = 0, White = 0, Opaque = 0;
};
TShownCursor ShownCursor(Display* X) {
  TShownCursor shown;
  XFixesCursorImage* image = XFixesGetCursorImage(X);
  if (!image) return shown;
  for (int i = 0; i < image->width * image->height; ++i) {
    const unsigned long argb = image->pixels[i] & 0xFFFFFFFFul;
    if ((argb >> 24) == 0) continue;
    ++shown.Opaque;
    if (argb == 0xFF000000ul) ++shown.Black;
    if (argb == 0xFFFFFFFFul) ++shown.White;
  }
  XFree(image);
  return shown;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_xvfb_smoke SCREENSHOT.png\n");
    return 2;
  }
  InitializeForms(argc, argv);
  SetMessageBoxHook([](HWND, const std::string& Text, const std::string&, uint32_t Type) {
    std::fprintf(stderr, "message box: %s\n", Text.c_str());
    return DefaultMessageBoxAnswer(Type);
  });
  int rc = 0;
  std::string platform = TUiTestDriver::PlatformName();
  if (platform != "xcb") {
    std::fprintf(stderr, "expected the xcb platform, got '%s'\n", platform.c_str());
    rc = 1;
  }
  TSmokeForm* form;
  Application->CreateForm(form);
  form->Show();
  if (!PumpUntil([&] { return ScreenShows(form->Panel); }, 60000)) {
    std::fprintf(stderr, "the desktop does not show the form\n");
    rc = 1;
  }
  TPoint p = form->Panel->ClientToScreen(TPoint{50, 50});
  if (!TUiTestDriver::NativeClick(p)) {
    std::fprintf(stderr, "no window under the click\n");
    rc = 1;
  }
  if (!PumpUntil([&] { return form->Panel->Clicked && ScreenShows(form->Panel); }, 60000)) {
    std::fprintf(stderr, "the click did not reach the control, or its answer did not show\n");
    rc = 1;
  }
  // A menu closed before its command runs is gone from the screen once the
  // command updates the window, before the program next reads its events:
  // a command that then works for seconds leaves no menu painted.
  {
    auto* menu = new TMainMenu(form);
    auto* file = new TMenuItem(form);
    file->SetCaption("&File");
    menu->Items()->Add(file);
    bool looked = false, menuGone = false;
    for (const char* caption : {"&Look", "Second", "Third"}) {
      auto* item = new TMenuItem(form);
      item->SetCaption(caption);
      item->OnClick = [&](TObject*) {
        form->Update();
        // Where the menu lay over the panel, the screen shows the panel.
        HDC screen = GetDC(nullptr);
        HDC own = GetDC(form->Panel->Handle());
        menuGone = true;
        for (int32_t y = 2; y < 40; y += 4) {
          const TPoint s = form->Panel->ClientToScreen(TPoint{30, y});
          menuGone = menuGone && GetPixel(screen, s.X, s.Y) == GetPixel(own, 30, y);
        }
        ReleaseDC(form->Panel->Handle(), own);
        ReleaseDC(nullptr, screen);
        looked = true;
      };
      file->Add(item);
    }
    SetFormMenu(form, menu);
    PumpUntil([&] { return ScreenShows(form->Panel); });
    // The File title on the menu bar over the client area; once its menu
    // shows (a window of its own), its first item.
    const TPoint client = form->ClientToScreen(TPoint{0, 0});
    TTimer chooser(nullptr);
    chooser.SetInterval(50);
    chooser.SetOnTimer([&](TObject*) {
      for (HWND w : GetChildWindows(nullptr))
        if (w != form->Handle() && IsWindowVisible(w)) {
          chooser.SetEnabled(false);
          XdoTool("mousemove " + std::to_string(client.X + 30) + " " + std::to_string(client.Y + 10) + " click 1");
          return;
        }
    });
    chooser.SetEnabled(true);
    XdoTool("mousemove " + std::to_string(client.X + 12) + " " + std::to_string(client.Y - 8) + " click 1");
    if (!PumpUntil([&] { return looked; })) {
      std::fprintf(stderr, "the menu's command did not run\n");
      rc = 1;
    } else if (!menuGone) {
      std::fprintf(stderr, "a menu closed before its command still shows while the command runs\n");
      rc = 1;
    }
  }
  // A cursor made from masks shows as drawn: its transparent pixels let the
  // window show through.
  if (Display* x = XOpenDisplay(nullptr)) {
    // The pointer onto the panel, and its move delivered to our window.
    const TPoint over{p.X + 20, p.Y + 10};
    XWarpPointer(x, 0, DefaultRootWindow(x), 0, 0, 0, 0, over.X, over.Y);
    XFlush(x);
    PumpUntil([&] {
      TPoint at;
      GetCursorPos(at);
      return at.X == over.X && at.Y == over.Y;
    });
    HCURSOR cross = MakeCrossCursor();
    SetCursor(cross);
    TShownCursor shown;
    PumpUntil([&] {
      shown = ShownCursor(x);
      return shown.Opaque == 77;
    });
    if (shown.Black != 61 || shown.White != 16 || shown.Opaque != 77) {
      std::fprintf(stderr, "the cross cursor shows %d black, %d white and %d opaque pixels, not 61, 16 and 77\n",
                   shown.Black, shown.White, shown.Opaque);
      rc = 1;
    }
    SetCursor(LoadCursor(nullptr, IDC_ARROW));
    DestroyCursor(cross);
    XCloseDisplay(x);
  } else {
    std::fprintf(stderr, "no X display to read the cursor from\n");
    rc = 1;
  }
  if (!TUiTestDriver::SaveScreenshot(argv[1])) {
    std::fprintf(stderr, "no screenshot\n");
    rc = 1;
  }
  SetMessageBoxHook(nullptr);
  FinalizeForms();
  return rc;
}
