// The form with every control on a real X display (run under xvfb-run):
// a screenshot of the display saved for a person to look at.
#include <chrono>
#include <cstdio>
#include <thread>

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
  Pump(1500);
  bool ok = TUiTestDriver::SaveScreenshot(argv[1]);
  std::printf("screenshot %s: %s\n", argv[1], ok ? "saved" : "failed");
  form->Free();
  FinalizeStdControls();
  FinalizeForms();
  return ok ? 0 : 1;
}
