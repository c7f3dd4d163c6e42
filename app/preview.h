// The colour preview: the current picture reduced to 256 .. 4 colours side
// by side, each cell labelled with the colours written and its GIF size.
#pragma once

#include <cstdint>

#include "platform/ui/forms.h"

class TPanel;
class TLabel;
class TImage;
class TPixelGraphic;
class TGraphic;

// The colour counts of the eight cells, in order.
inline constexpr int32_t PreviewColorCounts[8] = {256, 192, 128, 64, 32, 16, 8, 4};

// Bits per pixel of the screen times its planes.
int32_t ScreenColorDepth();

class TForm2 : public TForm {
public:
  explicit TForm2(TComponent* AOwner);
  ~TForm2() override;

  TModalResult ShowPreview(TPixelGraphic* Picture, TPixelGraphic* Pristine, bool RGBWeight, bool Dithering);
  void ShowThumb(TPixelGraphic* Work, TImage* Image, TLabel* Label);
  void FormResize(TObject* Sender);

  TPanel *Panel1, *Panel2, *Panel3, *Panel4, *Panel5, *Panel6, *Panel7, *Panel8;
  TLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8;
  TImage *Image1, *Image2, *Image3, *Image4, *Image5, *Image6, *Image7, *Image8;
  // The same cells in table order.
  TPanel* Panels[8];
  TLabel* Labels[8];
  TImage* Images[8];
};

extern TForm2* Form2;
