// The lite edition's about box.
#pragma once

#include "controls/gradient_fill.h"
#include "controls/styled_label.h"
#include "controls/url_label.h"
#include "platform/ui/forms.h"
#include "platform/ui/std_controls.h"

class TAboutForm : public TForm {
public:
  explicit TAboutForm(TComponent* AOwner);

  TGradientFill* GradientFill1;
  TStyledLabel* StyledLabel1;
  TStyledLabel* StyledLabel2;
  TImage* Image1;
  TBevel* Bevel1;
  TBevel* Bevel2;
  TUrlLabel* UrlLabel1;
  TPanel* Panel1;

  void Panel1Click(TObject* Sender);
};

extern TAboutForm* AboutForm;
