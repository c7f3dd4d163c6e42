// The full edition: starts the modules, creates the main window and runs
// the message loop until it closes.
#include "app/form_tips.h"
#include "app/qln_main.h"
#include "app/quillon_pro_startup.h"
#include "controls/glyphs.h"
#include "controls/install_check.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/ui/forms.h"
#include "platform/ui/shell.h"

namespace {

// What an installed full edition must find (see install_check.h).
int CheckInstall() {
  TInstallCheck check;
  check.File("tips", TipsFileName());
  check.File("help page", HelpPageFileName());
  // The desktop's opener that Help > Contents hands the help page to.
  const std::string opener = FindProgramOnPath("xdg-open");
  check.Fact("desktop opener", opener.empty() ? "xdg-open not on PATH" : opener, !opener.empty());
  check.File("program icon", ProgramIconFile("quillonpro", 32));
  check.File("TWAIN source manager", IncludeTrailingPathDelimiter(ProgramFolder()) + "twain_32.so");
  if (ParamCount() >= 1) {
    Application->ProcessMessages();  // the window opens its file from its queue
    TPixelGraphic* picture = Form1 ? Form1->Image1->PixelGraphicNoWait() : nullptr;
    const bool shown = picture && !picture->Empty();
    check.Fact("image", ParamStr(1) + (shown ? " (" + std::to_string(picture->Width()) + " x " +
                                                   std::to_string(picture->Height()) + ")" : ""), shown);
  }
  return check.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  InitializeProcess(argc, argv);
  QuillonProInitialization(argc, argv);
  QuillonProCreateForms();
  int result = 0;
  if (InstallCheckRequested()) result = CheckInstall();
  else Application->Run();
  QuillonProFinalization();
  return result;
}
