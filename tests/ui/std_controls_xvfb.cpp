// The form with every control on a real X display (run under xvfb-run):
// the desktop shows it as it was drawn, and a screenshot of the display is
// saved for a person to look at.
#include <cstdio>

#include "platform/ui/test_driver.h"
#include "tests/ui/all_controls_form.h"
#include "tests/ui/xvfb_desktop.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ui_std_xvfb_screenshot SCREENSHOT.png\n");
    return 2;
  }
  InitializeForms(argc, argv);
  InitializeStdControls();
  TAllControlsForm* form;
  Application->CreateForm(form);
  form->Check->SetChecked(true);
  form->Group->SetItemIndex(2);
  form->Edit->SetText("quillon");
  form->Show();
  // The desktop shows the form as drawn: every control painted, presented.
  bool ok = PumpUntil([&] { return ScreenShows(form); }, 60000);
  if (!ok) std::fprintf(stderr, "the desktop does not show the form as drawn\n");
  const bool saved = TUiTestDriver::SaveScreenshot(argv[1]);
  std::printf("screenshot %s: %s\n", argv[1], saved ? "saved" : "failed");
  ok = ok && saved;
  form->Free();
  FinalizeStdControls();
  FinalizeForms();
  return ok ? 0 : 1;
}
