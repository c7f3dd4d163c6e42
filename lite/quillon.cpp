// The lite edition's start-up.
#include "controls/toolbars.h"
#include "gif/gif_encoder.h"
#include "lite/about.h"
#include "lite/main.h"
#include "platform/base/settings.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  InitializeForms(argc, argv);
  InitializeStdControls();
  InitializeToolbars();
  InitializeGIFEncoder();

  Application->Initialize();
  Application->SetTitle("Quillon Pro version 2.0");
  SetGIFApplicationTitle(Application->Title());
  Application->CreateForm(Form1);
  Application->CreateForm(AboutForm);
  Application->Run();

  FinalizeGIFEncoder();
  FinalizeToolbars();
  FinalizeStdControls();
  FinalizeForms();
  return 0;
}
