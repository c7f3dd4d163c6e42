// The lite edition's start-up.
#include "controls/glyphs.h"
#include "controls/install_check.h"
#include "controls/toolbars.h"
#include "gif/gif_encoder.h"
#include "imaging/core/file_formats.h"
#include "lite/about.h"
#include "lite/main.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/ui/desktop.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

namespace {

// What an installed lite edition must find (see install_check.h).
int CheckInstall() {
  TInstallCheck check;
  check.File("full edition", FullEditionPath());
  check.File("program icon", ProgramIconFile("quillon", 32));
  if (ParamCount() >= 1) {
    TGraphic* picture = Form1 ? Form1->Image1->Picture()->Graphic() : nullptr;
    const bool shown = picture && !picture->Empty();
    check.Fact("image", ParamStr(1) + (shown ? " (" + std::to_string(picture->Width()) + " x " +
                                                   std::to_string(picture->Height()) + ")" : ""), shown);
  }
  return check.Finish();
}

// A reader's warning reaches the person in a real OK/Cancel box; a worker
// thread never opens one and goes on.
bool ReaderWarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  if (!IsMainThread()) return true;
  const uint32_t type = MB_ICONEXCLAMATION | (Buttons == pgbOKCancel ? MB_OKCANCEL : MB_OK);
  return Application->MessageBox(Text, Caption, type) == IDOK;
}

}  // namespace

int main(int argc, char** argv) {
  InitializeProcess(argc, argv);
  ChooseQtPlatform();
  InitializeForms(argc, argv);
  SetProgramIcon("quillon");
  InitializeStdControls();
  InitializeToolbars();
  InitializeGIFEncoder();
  SetPGWarningBoxHook(ReaderWarningBox);

  Application->Initialize();
  Application->SetTitle("Quillon Pro version 2.0");
  Application->CreateForm(Form1);
  Application->CreateForm(AboutForm);
  int result = 0;
  if (InstallCheckRequested()) result = CheckInstall();
  else Application->Run();

  SetPGWarningBoxHook(nullptr);
  FinalizeGIFEncoder();
  FinalizeToolbars();
  FinalizeStdControls();
  FinalizeForms();
  return result;
}
