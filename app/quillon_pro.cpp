// The full edition: starts the modules, creates the main window and runs
// the message loop until it closes.
#include "app/quillon_pro_startup.h"
#include "platform/base/settings.h"
#include "platform/ui/forms.h"

int main(int argc, char** argv) {
  SetCommandLine(argc, argv);
  QuillonProInitialization(argc, argv);
  QuillonProCreateForms();
  Application->Run();
  QuillonProFinalization();
  return 0;
}
