// The about box: program name and version on a gradient, links to the
// maker's web page and technical assistance, a panel acting as OK button.
#pragma once

#include "platform/ui/forms.h"

class TGradientFill;
class TStyledLabel;
class TUrlLabel;
class TLabel;
class TPanel;
class TBevel;
class TImage;

class TAboutForm : public TForm {
public:
  explicit TAboutForm(TComponent* AOwner);
  ~TAboutForm() override;
  void Panel1Click(TObject* Sender);

  TGradientFill* GradientFill1;
  TImage* Image1;
  TStyledLabel* StyledLabel1;
  TStyledLabel* StyledLabel2;
  TBevel* Bevel1;
  TBevel* Bevel2;
  TLabel* Label1;
  TUrlLabel* UrlLabel1;
  TLabel* Label2;
  TUrlLabel* UrlLabel2;
  TPanel* Panel1;
};

extern TAboutForm* AboutForm;
