// The full edition on a real X display (run by run_under_xvfb.sh): its
// toolbar shows each button's glyph from the icon theme above the caption.
// The screenshot is saved under the build folder for a person to look at,
// then read back: every glyph cell and every caption line must hold ink.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/qln_main.h"
#include "app/quillon_pro_startup.h"
#include "controls/toolbars.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/gdi/colors.h"
#include "platform/ui/forms.h"
#include "platform/ui/menus.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/xvfb_desktop.h"

namespace {

// Pixels of R (screen coordinates) that differ clearly from Face.
int32_t Ink(TPixelGraphic& Shot, const TRect& R, TColor Face) {
  int32_t n = 0;
  for (int32_t y = R.Top; y < R.Bottom; ++y)
    for (int32_t x = R.Left; x < R.Right; ++x) {
      if (x < 0 || y < 0 || x >= Shot.Width() || y >= Shot.Height()) continue;
      const TColor c = Shot.GetPixelColor(x, y);
      const int32_t d = std::abs(GetRValue(c) - GetRValue(Face)) + std::abs(GetGValue(c) - GetGValue(Face)) +
                        std::abs(GetBValue(c) - GetBValue(Face));
      if (d > 60) ++n;
    }
  return n;
}


// Every visible toolbar button shows whole in the window the program
// starts with, with ink in its glyph cell and in its caption line below.
bool CheckToolbar(TPixelGraphic& Shot, std::string& Report) {
  const TColor face = ColorToRGB(clBtnFace);
  const TPoint origin = Form1->ClientOrigin();
  const TRect form{origin.X, origin.Y, origin.X + Form1->ClientWidth(), origin.Y + Form1->ClientHeight()};
  bool good = true;
  int32_t visible = 0, checked = 0;
  char line[160];
  for (TToolbarButton* b : {Form1->btnOpen, Form1->btnSave, Form1->btnCopy, Form1->btnPaste, Form1->btnCrop,
                            Form1->btnTransparent, Form1->btnTile, Form1->btnRefresh, Form1->btnTwain,
                            Form1->btnExit}) {
    if (!b->Visible()) continue;
    ++visible;
    const TPoint o = b->ClientToScreen(TPoint{0, 0});
    const TRect r{o.X, o.Y, o.X + b->Width(), o.Y + b->Height()};
    if (r.Left < form.Left || r.Right > form.Right) continue;  // cut off by the window's width
    ++checked;
    const int32_t split = r.Top + 2 + b->Glyph()->Height() + 2;
    const int32_t g = Ink(Shot, TRect{r.Left + 3, r.Top + 2, r.Right - 3, split}, face);
    const int32_t t = Ink(Shot, TRect{r.Left + 2, split, r.Right - 2, r.Bottom - 1}, face);
    std::snprintf(line, sizeof(line), "%-8s glyph ink %3d, caption ink %3d%s\n", StripHotkey(b->Caption()).c_str(),
                  g, t, b->Enabled() ? "" : " (disabled)");
    Report += line;
    if (g < 15 || t < 10) good = false;
  }
  if (checked < visible) {
    std::snprintf(line, sizeof(line), "only %d of %d toolbar buttons on screen\n", checked, visible);
    Report += line;
    good = false;
  }
  return good;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_toolbar_glyphs_xvfb SCREENSHOT.png\n");
    return 2;
  }
  char tmpl[] = "/tmp/quillon_glyphs_XXXXXX";
  const std::string dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  setenv("XDG_CONFIG_HOME", (dir + "config").c_str(), 1);
  QuillonProInitialization(argc, argv);
  SetMessageBoxHook([](HWND, const std::string& Text, const std::string&, uint32_t Type) {
    std::fprintf(stderr, "message box: %s\n", Text.c_str());
    return DefaultMessageBoxAnswer(Type);
  });
  int rc = 0;
  if (TUiTestDriver::PlatformName() != "xcb") {
    std::fprintf(stderr, "expected the xcb platform, got '%s'\n", TUiTestDriver::PlatformName().c_str());
    rc = 1;
  }

  // An image, so that most commands are enabled; Paste stays disabled
  // (embossed) while the clipboard holds no picture.
  TPixelGraphic picture;
  picture.NewImage(160, 120, pf24Bit);
  for (int32_t y = 0; y < 120; ++y)
    for (int32_t x = 0; x < 160; ++x) picture.SetPixelColor(x, y, static_cast<TColor>(x | (y << 9) | ((x ^ y) << 16)));
  picture.SaveToFile(dir + "picture.bmp");
  SetCommandLine(std::vector<std::string>{"quillonpro", dir + "picture.bmp"});
  QuillonProCreateForms();
  Form1->Show();

  // The desktop may take a while to map and draw the window on a busy
  // machine: look again until every button shows (a minute only catches a
  // desktop that never shows them).
  const std::string shotName = argv[1];
  std::string report;
  bool good = false;
  for (int32_t attempt = 0; attempt < 120 && !good; ++attempt) {
    Pump(500);
    report.clear();
    if (!TUiTestDriver::SaveScreenshot(shotName)) {
      report = "no screenshot\n";
      continue;
    }
    TPixelGraphic shot;
    try {
      shot.LoadFromFile(shotName);
    } catch (const std::exception& E) {
      report = std::string("cannot read the screenshot: ") + E.what() + "\n";
      continue;
    }
    good = CheckToolbar(shot, report);
  }
  std::printf("%s", report.c_str());
  if (!good) rc = 1;
  SetMessageBoxHook(nullptr);
  QuillonProFinalization();
  std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) rc = 1;
  return rc;
}
