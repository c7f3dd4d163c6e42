// Smoke test on a real X display (run under xvfb-run): a form on the xcb
// platform, a click through the toolkit's input path, and a screenshot of
// the display saved under the build folder for a person to look at.
#include <cstdio>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
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
  if (!TUiTestDriver::SaveScreenshot(argv[1])) {
    std::fprintf(stderr, "no screenshot\n");
    rc = 1;
  }
  SetMessageBoxHook(nullptr);
  FinalizeForms();
  return rc;
}
