#include "app/quillon_pro_startup.h"

#include "app/about.h"
#include "app/border.h"
#include "app/pal_edit.h"
#include "app/prep.h"
#include "app/preview.h"
#include "app/qln_main.h"
#include "controls/glyphs.h"
#include "controls/toolbars.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/file_formats.h"
#include "imaging/formats/pg_startup.h"
#include "imaging/twain/pg_twain.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/desktop.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

namespace {

// The readers' warnings (a truncated JPEG, a damaged PNG chunk, TIFF strips
// that disagree) reach the person in a real box; Cancel ends the read. A
// worker thread (the open dialog's preview, the display conversion) never
// opens a box: it goes on as if the warning were ignored.
bool ReaderWarningBox(const std::string& Text, const std::string& Caption, TPGBoxButtons Buttons) {
  if (!IsMainThread()) return true;
  const uint32_t type = MB_ICONEXCLAMATION | (Buttons == pgbOKCancel ? MB_OKCANCEL : MB_OK);
  // The question names the file the window is reading.
  const std::string file = Form1 ? Form1->FileBeingRead() : std::string();
  const std::string text = file.empty() ? Text : "File \"" + file + "\":\n" + Text;
  return Application->MessageBox(text, Caption, type) == IDOK;
}

}  // namespace

void QuillonProInitialization(int argc, char** argv, bool StartForms) {
  if (StartForms) {
    ChooseQtPlatform();
    InitializeForms(argc, argv);
    SetProgramIcon("quillonpro");
  }
  InitializeStdControls();
  PGraphicInitialization();
  SetPGWarningBoxHook(ReaderWarningBox);
  InitializeGIFEncoder();
  GIFReadWriteInitialization();
  InitializeTwain();
  InitializeToolbars();
  QLNMainInitialization();
  InitializeBorder();
}

void QuillonProCreateForms() {
  Application->Initialize();
  Application->SetTitle(QuillonProTitle);
  SetGIFApplicationTitle(QuillonProTitle);
  Application->CreateForm(Form1);
  Application->CreateForm(AboutForm);
  Application->CreateForm(Form2);
  Application->CreateForm(PalEditor);
  Application->CreateForm(BorderEdit);
  Application->CreateForm(PrepForm);
}

void QuillonProFinalization(bool StopForms) {
  FreeAndNil(PrepForm);
  FreeAndNil(BorderEdit);
  FreeAndNil(PalEditor);
  FreeAndNil(Form2);
  FreeAndNil(AboutForm);
  QLNMainFinalization();
  FinalizeToolbars();
  FinalizeTwain();
  GIFReadWriteFinalization();
  FinalizeGIFEncoder();
  SetPGWarningBoxHook(nullptr);
  PGraphicFinalization();
  FinalizeClipboard();
  FinalizeStdControls();
  if (StopForms) FinalizeForms();
}
