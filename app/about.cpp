#include "app/about.h"

#include "controls/glyphs.h"
#include "controls/gradient_fill.h"
#include "controls/styled_label.h"
#include "controls/url_label.h"
#include "platform/gdi/colors.h"
#include "platform/ui/std_controls.h"

TAboutForm* AboutForm = nullptr;

namespace {
template <class T>
T* Place(TAboutForm* Form, int32_t L, int32_t T_, int32_t W, int32_t H) {
  T* c = new T(Form);
  c->SetParent(Form);
  c->SetBounds(L, T_, W, H);
  return c;
}
}  // namespace

TAboutForm::TAboutForm(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("About");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);  // over the main window, wherever it is
  SetClientSize(238, 240);

  GradientFill1 = Place<TGradientFill>(this, 0, 0, 238, 240);
  GradientFill1->SetAlign(alClient);
  GradientFill1->SetFillDirection(fdTopToBottom);
  GradientFill1->SetBeginColor(clNavy);
  GradientFill1->SetEndColor(static_cast<TColor>(16764622));
  GradientFill1->SetNumberOfColors(256);

  Image1 = Place<TImage>(this, 12, 12, 32, 32);
  Image1->SetTransparent(true);
  LoadProgramIcon(Image1->Picture()->Bitmap(), "quillonpro", 32, clNavy);

  StyledLabel1 = Place<TStyledLabel>(this, 56, 12, 170, 24);
  StyledLabel1->SetTextStyle(tsRaised);
  StyledLabel1->SetTransparent(true);
  StyledLabel1->SetCaption("Quillon Pro");
  StyledLabel2 = Place<TStyledLabel>(this, 56, 40, 170, 16);
  StyledLabel2->SetTextStyle(tsRaised);
  StyledLabel2->SetTransparent(true);
  StyledLabel2->SetCaption("version 2.50 - July 29, 1999");

  Bevel1 = Place<TBevel>(this, 8, 64, 222, 2);
  Bevel1->SetShape(bsTopLine);

  Label1 = Place<TLabel>(this, 12, 76, 214, 16);
  Label1->SetTransparent(true);
  Label1->SetCaption("For the latest news:");
  UrlLabel1 = Place<TUrlLabel>(this, 24, 94, 200, 16);
  UrlLabel1->SetTransparent(true);
  UrlLabel1->SetCaption("http://www.quillon.example/");
  UrlLabel1->SetURL("http://www.quillon.example/");

  Label2 = Place<TLabel>(this, 12, 118, 214, 16);
  Label2->SetTransparent(true);
  Label2->SetCaption("For technical assistance:");
  UrlLabel2 = Place<TUrlLabel>(this, 24, 136, 200, 16);
  UrlLabel2->SetTransparent(true);
  UrlLabel2->SetCaption("support@quillon.example");
  UrlLabel2->SetURL("mailto:support@quillon.example");

  Bevel2 = Place<TBevel>(this, 8, 162, 222, 2);
  Bevel2->SetShape(bsTopLine);

  Panel1 = Place<TPanel>(this, 82, 184, 75, 25);
  Panel1->SetColor(clNavy);
  Panel1->SetCaption("OK");
  Panel1->OnClick = [this](TObject* S) { Panel1Click(S); };
  // The panel is the box's only button: Enter and Escape press it.
  SetKeyPreview(true);
  OnKeyDown = [this](TObject* Sender, uint16_t& Key, TShiftState) {
    if (Key != VK_RETURN && Key != VK_ESCAPE) return;
    Key = 0;
    Panel1Click(Sender);
  };

  // Texts on the navy gradient and the navy button are in the caption text colour.
  for (TControl* c : std::initializer_list<TControl*>{StyledLabel1, StyledLabel2, Label1, Label2, Panel1})
    c->Font()->SetColor(clCaptionText);
}

TAboutForm::~TAboutForm() {
  if (AboutForm == this) AboutForm = nullptr;
}

void TAboutForm::Panel1Click(TObject*) { SetModalResult(mrOk); }
