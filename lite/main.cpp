#include "lite/main.h"

#include <algorithm>

#include "controls/glyphs.h"
#include "lite/about.h"
#include "platform/base/files.h"
#include "platform/base/safe_write.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "platform/base/strings.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/shell.h"
#include "platform/ui/window.h"

TForm1* Form1 = nullptr;
const char* const FullEditionProgram = "quillonpro";

namespace {

std::string FullEditionFolderOverride;
const char* const VersionText = "Quillon 1.01\n";
const char* const NoPictureText = "There is no picture to save. Open a BMP or GIF file first.";
const char* const GifOnlyText =
    "This version of Quillon saves GIF files only. Choose the GIF type or a name ending in \".gif\".";

TMenuItem* NewItem(TComponent* Owner, const std::string& Caption, TNotifyEvent Click = nullptr) {
  auto* item = new TMenuItem(Owner);
  item->SetCaption(Caption);
  item->OnClick = std::move(Click);
  return item;
}

// A 25 x 25 button showing the icon theme's glyph for Glyph.
TSpeedButton* NewSpeedButton(TForm1* Form, TPanel* Bar, int32_t Left, const TGlyphNames& Glyph,
                             const std::string& Hint, TNotifyEvent Click) {
  auto* button = new TSpeedButton(Form);
  button->SetParent(Bar);
  button->SetBounds(Left, 2, 25, 25);
  TBitmap glyph;
  LoadGlyph(&glyph, Glyph, 20);
  button->SetGlyph(&glyph);
  button->SetHint(Hint);
  button->SetShowHint(true);
  button->OnClick = std::move(Click);
  return button;
}

// The suggested save name: the name without what follows the first "." of
// its last part (folders keep their dots); empty when it has no ".".
std::string NameBeforeFirstDot(const std::string& Name) {
  const size_t slash = Name.rfind('/');
  const size_t start = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = Name.find('.', start);
  return dot == std::string::npos ? std::string() : Name.substr(0, dot);
}

// Posted by the window to itself: the messages of its start-up are shown.
constexpr uint32_t WM_STARTMESSAGES = WM_APP + 1;

}  // namespace

std::string FullEditionFolder() {
  return FullEditionFolderOverride.empty() ? ProgramFolder() : FullEditionFolderOverride;
}

void SetFullEditionFolder(const std::string& Folder) { FullEditionFolderOverride = Folder; }

std::string FullEditionPath() {
  const std::string beside = FullEditionFolder() + FullEditionProgram;
  if (FileExists(beside)) return beside;
  const std::string onPath = FindProgramOnPath(FullEditionProgram);
  return onPath.empty() ? beside : onPath;
}

TForm1::TForm1(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Quillon");
  SetColor(clAppWorkSpace);
  SetBounds(0, 0, 414, 300);
  SetPosition(poDefault);

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetAlign(alTop);
  Panel1->SetHeight(29);
  Panel1->SetColor(clBtnShadow);
  btnOpen = NewSpeedButton(this, Panel1, 4, {"document-open"}, "Open File", [this](TObject* S) { Open1Click(S); });
  btnSave = NewSpeedButton(this, Panel1, 29, {"document-save"}, "Save File", [this](TObject* S) { SaveAs1Click(S); });
  btnExit = NewSpeedButton(this, Panel1, 62, {"application-exit"}, "Exit", [this](TObject* S) { Exit1Click(S); });

  ScrollBox1 = new TScrollBox(this);
  ScrollBox1->SetParent(this);
  ScrollBox1->SetAlign(alClient);

  GIFImage1 = new TGIFImage(this);
  GIFImage1->SetParent(ScrollBox1);
  GIFImage1->SetAnimate(true);
  GIFImage1->SetAutoSize(true);
  GIFImage1->SetVisible(false);

  Image1 = new TImage(this);
  Image1->SetParent(ScrollBox1);
  Image1->SetAutoSize(true);
  Image1->SetCenter(true);

  plTestPro = new TPanel(this);
  plTestPro->SetParent(ScrollBox1);
  plTestPro->SetAlign(alClient);
  plTestPro->SetBevelOuter(bvLowered);
  plTestPro->SetBorderWidth(10);
  plTestPro->SetVisible(false);

  plTestPro->OnResize = [this](TObject*) { LayOutOffer(); };

  Memo1 = new TMemo(this);
  Memo1->SetParent(plTestPro);
  Memo1->SetAlign(alTop);
  Memo1->SetHeight(150);  // until the offer is laid out
  Memo1->SetAlignment(taCenter);
  // One line per paragraph: the memo wraps them at its own width.
  for (const char* line : {"- ERROR -", "",
                           "You are attempting to save an image which has more than 256 colors "
                           "(Maximum supported by GIF).",
                           "",
                           "You must reduce the number of colors. This version of Quillon does not "
                           "support color reduction, but Quillon Pro does, and it is installed on this system.",
                           "Do you want to start Quillon Pro now?", " "})
    Memo1->Lines()->Add(line);

  BitBtn1 = new TBitBtn(this);
  BitBtn1->SetParent(plTestPro);
  BitBtn1->SetKind(bkOK);
  BitBtn1->SetCaption("Yes! I want to try Quillon Pro.");
  BitBtn1->SetBounds(20, 170, 220, 25);
  BitBtn1->OnClick = [this](TObject* S) { BitBtn1Click(S); };

  BitBtn2 = new TBitBtn(this);
  BitBtn2->SetParent(plTestPro);
  BitBtn2->SetKind(bkNo);
  BitBtn2->SetBounds(260, 170, 100, 25);
  BitBtn2->OnClick = [this](TObject* S) { BitBtn2Click(S); };

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetFilter("Bitmap Files|*.bmp|GIF Files|*.gif");
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetDefaultExt("gif");
  SaveDialog1->SetOptions(SaveDialog1->Options() | ofOverwritePrompt);
  SaveDialog1->SetFilter("GIF - GIF 89a standard|*.gif|PNG - Portable Network Graphic|*.png");

  MainMenu1 = new TMainMenu(this);
  File1 = NewItem(this, "&File");
  Open1 = NewItem(this, "&Open...", [this](TObject* S) { Open1Click(S); });
  SaveAs1 = NewItem(this, "Save &As...", [this](TObject* S) { SaveAs1Click(S); });
  N1 = NewItem(this, "-");
  Exit1 = NewItem(this, "E&xit", [this](TObject* S) { Exit1Click(S); });
  Help1 = NewItem(this, "&Help");
  About1 = NewItem(this, "&About", [this](TObject* S) { About1Click(S); });
  File1->Add(Open1);
  File1->Add(SaveAs1);
  File1->Add(N1);
  File1->Add(Exit1);
  Help1->Add(About1);
  MainMenu1->Items()->Add(File1);
  MainMenu1->Items()->Add(Help1);
  SetFormMenu(this, MainMenu1);

  OnCreate = [this](TObject* S) { FormCreate(S); };
}

void TForm1::FormCreate(TObject* /*Sender*/) {
  // The keys scroll the picture from the start.
  SetActiveControl(ScrollBox1);
  std::string version = VersionText;
  version.back() = ' ';
  Memo1->Lines()->SetStrings(0, version + Memo1->Lines()->Strings(0));

  if (ParamCount() > 0 && FileExists(ParamStr(1))) {
    const std::string name = ParamStr(1);
    // A file that cannot be read is reported by name once the window shows.
    try {
      LiteLoadFile(name);
    } catch (const std::exception& E) {
      Complain(E.what());
    }
    OpenDialog1->SetFileName(name);
  }
  TellRestoredFiles();
}

void TForm1::WndProc(TMessage& Message) {
  if (Message.Msg == WM_STARTMESSAGES) {
    std::vector<std::string> messages;
    messages.swap(FStartMessages);
    for (const std::string& text : messages) Application->MessageBox(text, Application->Title(), MB_OK | MB_ICONSTOP);
    return;
  }
  TForm::WndProc(Message);
}

void TForm1::Complain(const std::string& Text) {
  if (Visible()) {
    Application->MessageBox(Text, Application->Title(), MB_OK | MB_ICONSTOP);
    return;
  }
  FStartMessages.push_back(Text);
  if (FStartMessages.size() == 1) PostMessage(Handle(), WM_STARTMESSAGES, 0, 0);
}

void TForm1::Open1Click(TObject* /*Sender*/) {
  const std::string shown = OpenDialog1->FileName();
  if (!OpenDialog1->Execute()) return;
  const std::string name = OpenDialog1->FileName();
  // The full edition is offered the file shown: one that was not opened
  // leaves the dialog's name as it was.
  try {
    LiteLoadFile(name);
  } catch (...) {
    OpenDialog1->SetFileName(shown);
    TellRestoredFiles();
    throw;
  }
  if (FFileName != name) OpenDialog1->SetFileName(shown);
  TellRestoredFiles();
}

void TForm1::TellRestoredFiles() {
  // Files that got their earlier content back as they were read (at start-up
  // or just now): an in-place save of them had been interrupted.
  for (const std::string& text : TakeRestoredSaveMessages()) Complain(text);
}

void TForm1::LiteLoadFile(const std::string& Name) {
  const std::string ext = LowerCase(ExtractFileExt(Name));
  if (ext == ".bmp") {
    // A bitmap that cannot be read (damaged, cut short, too large) leaves
    // the picture as it was; the error names the file.
    try {
      Image1->Picture()->Bitmap()->LoadFromFile(Name);
    } catch (Exception& E) {
      E.SetMessage(CannotOpenFileText(Name, E.Message()));
      throw;
    }
  } else if (ext == ".gif") {
    // A GIF that does not load leaves the picture as it was and says why.
    if (GIFImage1->LoadFromFile(Name)) {
      Image1->Picture()->Assign(GIFImage1->GetBitmap());
    } else {
      GIFImage1->SetVisible(false);
      Complain(GIFImage1->StatusText());
      return;
    }
  } else {
    Complain("\"" + Name + "\" is not opened: this version of Quillon opens BMP and GIF files only.");
    return;
  }
  GIFImage1->SetVisible(false);
  FFileName = Name;
}

bool TForm1::HasPicture() {
  TGraphic* picture = Image1->Picture()->Graphic();
  return picture != nullptr && !picture->Empty() && Image1->Width() > 0 && Image1->Height() > 0;
}

void TForm1::SaveAs1Click(TObject* /*Sender*/) {
  // Nothing shown: said at once, not after the dialog.
  if (!HasPicture()) {
    ShowMessage(NoPictureText);
    return;
  }
  // Only the dialog's proposal is cut: a cancelled dialog keeps the name.
  if (!FFileName.empty()) SaveDialog1->SetFileName(NameBeforeFirstDot(FFileName));
  if (!SaveDialog1->Execute()) return;
  const std::string name = SaveDialog1->FileName();
  if (LowerCase(ExtractFileExt(name)) != ".gif") {
    ShowMessage(GifOnlyText);
    return;
  }
  // The window takes the name once the GIF is written.
  if (LiteSaveGif(name)) FFileName = name;
}

bool TForm1::LiteSaveGif(const std::string& Name) {
  const int32_t width = Image1->Width();
  const int32_t height = Image1->Height();
  if (Name.empty()) return false;
  // Nothing is shown: there is nothing to write, and the person hears why.
  if (!HasPicture()) {
    ShowMessage(NoPictureText);
    return false;
  }

  TBitmap bitmap;
  bitmap.SetPixelFormat(pf24bit);
  bitmap.SetSize(width, height);
  bitmap.Canvas()->StretchDraw(TRect{0, 0, width, height}, Image1->Picture()->Bitmap());
  if (SaveBitmapAsGIFFile(Name, bitmap, false, 0xFFFFFF, false)) return true;
  ShowOffer();
  return false;
}

void TForm1::ShowOffer() {
  plTestPro->SetVisible(true);
  LayOutOffer();
  // The window grows when the panel cannot show the text and the buttons.
  const int32_t needed = BitBtn1->Top() + BitBtn1->Height() + plTestPro->BorderWidth() + 2;
  if (plTestPro->ClientHeight() < needed) SetHeight(Height() + needed - plTestPro->ClientHeight());
}

void TForm1::LayOutOffer() {
  if (!plTestPro->Visible()) return;
  // The memo as tall as its lines wrapped at its width (inside its sunken
  // border and text margins), the buttons under it.
  TBitmap measure;
  measure.SetSize(1, 1);
  TCanvas* canvas = measure.Canvas();
  canvas->Font()->Assign(Memo1->Font());
  const int32_t lineHeight = canvas->TextHeight("Wg");
  const int32_t width = std::max(1, Memo1->ClientWidth() - 8);
  int32_t textHeight = 0;
  for (int32_t i = 0; i < Memo1->Lines()->Count(); ++i) {
    const std::string line = Memo1->Lines()->Strings(i);
    TRect r{0, 0, width, 0};
    DrawText(canvas->Handle(), line.empty() ? " " : line, &r,
             DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_CENTER);
    textHeight += std::max(r.Height(), lineHeight);
  }
  Memo1->SetHeight(textHeight + 6);
  const int32_t top = Memo1->Top() + Memo1->Height() + 8;
  BitBtn1->SetTop(top);
  BitBtn2->SetTop(top);
}

void TForm1::Exit1Click(TObject* /*Sender*/) { Application->Terminate(); }

void TForm1::About1Click(TObject* /*Sender*/) {
  if (AboutForm != nullptr) AboutForm->ShowModal();
}

void TForm1::BitBtn1Click(TObject* /*Sender*/) {
  const std::string exe = FullEditionPath();
  if (!FileExists(exe)) {
    ShowMessage("Error 801 - File Not Found!");
    return;
  }
  if (ShellExecute(Handle(), "Open", exe, OpenDialog1->FileName(), "", SW_SHOW) <= 32)
    ShowMessage("Error 802 - Can not run program!");
  plTestPro->SetVisible(false);
}

void TForm1::BitBtn2Click(TObject* /*Sender*/) { plTestPro->SetVisible(false); }
