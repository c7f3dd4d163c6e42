#include "lite/about.h"

#include "controls/glyphs.h"
#include "platform/gdi/colors.h"

TAboutForm* AboutForm = nullptr;

namespace {
const char* const MakerWebPage = "http://www.quillon.example/";
}

TAboutForm::TAboutForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("About");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);  // over the main window, wherever it is
  SetClientSize(238, 182);

  GradientFill1 = new TGradientFill(this);
  GradientFill1->SetParent(this);
  GradientFill1->SetAlign(alClient);
  GradientFill1->SetFillDirection(fdTopToBottom);
  GradientFill1->SetBeginColor(clWhite);
  GradientFill1->SetEndColor(clAqua);
  GradientFill1->SetNumberOfColors(256);

  Bevel1 = new TBevel(this);
  Bevel1->SetParent(this);
  Bevel1->SetBounds(8, 8, 222, 72);
  Bevel1->SetShape(bsFrame);

  StyledLabel1 = new TStyledLabel(this);
  StyledLabel1->SetParent(this);
  StyledLabel1->SetBounds(60, 16, 160, 24);
  StyledLabel1->SetTransparent(true);
  StyledLabel1->SetTextStyle(tsRaised);
  StyledLabel1->Font()->SetSize(14);
  StyledLabel1->SetCaption("Quillon Pro");

  StyledLabel2 = new TStyledLabel(this);
  StyledLabel2->SetParent(this);
  StyledLabel2->SetBounds(60, 48, 160, 20);
  StyledLabel2->SetTransparent(true);
  StyledLabel2->SetTextStyle(tsRecessed);
  StyledLabel2->SetCaption("Quillon version 1.01");

  // The program icon's place.
  Image1 = new TImage(this);
  Image1->SetParent(this);
  Image1->SetBounds(16, 24, 32, 32);
  Image1->SetTransparent(true);
  LoadProgramIcon(Image1->Picture()->Bitmap(), "quillon", 32, clWhite);

  Bevel2 = new TBevel(this);
  Bevel2->SetParent(this);
  Bevel2->SetBounds(8, 88, 222, 40);
  Bevel2->SetShape(bsFrame);

  UrlLabel1 = new TUrlLabel(this);
  UrlLabel1->SetParent(this);
  UrlLabel1->SetBounds(16, 100, 206, 16);
  UrlLabel1->SetTransparent(true);
  UrlLabel1->SetURL(MakerWebPage);
  UrlLabel1->SetCaption(MakerWebPage);

  Panel1 = new TPanel(this);
  Panel1->SetParent(this);
  Panel1->SetBounds(82, 140, 75, 28);
  Panel1->SetColor(clBlue);
  Panel1->Font()->SetColor(clWhite);
  Panel1->SetCaption("OK");
  Panel1->OnClick = [this](TObject* Sender) { Panel1Click(Sender); };
  // The panel is the box's only button: Enter and Escape press it.
  SetKeyPreview(true);
  OnKeyDown = [this](TObject* Sender, uint16_t& Key, TShiftState) {
    if (Key != VK_RETURN && Key != VK_ESCAPE) return;
    Key = 0;
    Panel1Click(Sender);
  };
}

void TAboutForm::Panel1Click(TObject* /*Sender*/) { SetModalResult(mrOk); }
