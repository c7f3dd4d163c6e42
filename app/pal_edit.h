// The palette editor: the palette of the current image as a grid of colour
// cells; an entry picked in the grid (or in the preview) gets a new colour
// from the colour dialog, and the preview shows the image with it at once.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ui/forms.h"

class TPGImage;
class TPixelGraphic;
class TPanel;
class TLabel;
class TSpinEdit;
class TEdit;
class TBitBtn;
class TColorDialog;

// Draws the cells of Grid's palette (Count entries, Columns per row): cell
// i fills [col * CellWidth, (col + 1) * CellWidth] x [row * CellHeight,
// (row + 1) * CellHeight] (both ends included) with index i and gets a
// one-pixel black frame on that rectangle's border.
void DrawPaletteCells(TPixelGraphic* Grid, int32_t Count, int32_t Columns, int32_t CellWidth, int32_t CellHeight);
// The interior of cell I shown as Img's selection.
void SelectPaletteCell(TPGImage* Img, int32_t I, int32_t Columns, int32_t CellWidth, int32_t CellHeight);

class TPalEditor : public TForm {
public:
  explicit TPalEditor(TComponent* AOwner);
  ~TPalEditor() override;

  void Prepare(TPGImage* Image);
  void SelectIndex(int32_t I);
  void ApplyColour();
  static void CopyToImage(TPGImage* Source, TPGImage* Dest);

  void FormCreate(TObject* Sender);
  void ImgPicBoxOnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  void edColIndexChange(TObject* Sender);
  void BitBtn2Click(TObject* Sender);
  void PGImage1PicBoxOnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);

  int32_t Selected() const { return FSelected; }
  int32_t CellsPerRow() const { return FCellsPerRow; }
  int32_t Rows() const { return FRows; }
  int32_t CellWidth() const { return FCellWidth; }
  int32_t CellHeight() const { return FCellHeight; }

  TPanel* plInfo;
  TLabel* Label4;
  TSpinEdit* edColIndex;
  TLabel* Label5;
  TEdit* edColValue;
  TBitBtn* BitBtn2;
  TPGImage* Img;
  TPGImage* PGImage1;
  TColorDialog* ColorDialog1;
  TPanel* plButtons;
  TBitBtn* BitBtn3;
  TBitBtn* BitBtn1;

private:
  int32_t FCellsPerRow = 16;
  int32_t FRows = 0;
  int32_t FCellWidth = 0;
  int32_t FCellHeight = 0;
  int32_t FSelected = -1;
};

extern TPalEditor* PalEditor;
