// The soft-border dialog: a style (none, frame, ellipse), a width and a
// colour picked from the picture's palette, with a preview. Style, width
// and colour are kept between runs.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/gdi/types.h"
#include "platform/ui/forms.h"

class TPGImage;
class TPixelGraphic;
class TRadioGroup;
class TLabel;
class TSpinEdit;
class TGroupBox;
class TButton;
class TBitBtn;

// Module state: 0 None, 1 Frame, 2 Ellipse; the width; the colour.
int32_t BorderStyleSetting();
int32_t BorderWidthSetting();
TColor BorderColorSetting();
void InitializeBorder();

class TBorderEdit : public TForm {
public:
  explicit TBorderEdit(TComponent* AOwner);
  ~TBorderEdit() override;

  void Prepare(TPGImage* Image);
  void SelectColor(int32_t I);

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  void ImgPicBoxOnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  // Arrows move the chosen colour a cell left or right, a row up or down.
  void ImgKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void RadioGroup1Click(TObject* Sender);
  void SpinEdit1Change(TObject* Sender);
  void btnShowClick(TObject* Sender);
  void BitBtn1Click(TObject* Sender);

  int32_t Selected() const { return FSelected; }

  TRadioGroup* RadioGroup1;
  TLabel* Label1;
  TSpinEdit* SpinEdit1;
  TGroupBox* GroupBox1;
  TPGImage* Img;
  TButton* btnShow;
  TPGImage* PGImage1;
  TBitBtn* BitBtn1;
  TBitBtn* BitBtn2;

private:
  int32_t FCellsPerRow = 16;
  int32_t FCellWidth = 0;
  int32_t FCellHeight = 0;
  int32_t FSelected = -1;
  std::unique_ptr<TPixelGraphic> FSource;
};

extern TBorderEdit* BorderEdit;
