#include "app/pal_edit.h"

#include <cstdio>
#include <cstdlib>

#include "app/qln_main.h"
#include "imaging/core/pg_canvas.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/strings.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/std_controls.h"

TPalEditor* PalEditor = nullptr;

namespace {
// A colour as people read it in colour dialogs and on the web: RRGGBB.
std::string Hex6(TColor Color) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%.2X%.2X%.2X", static_cast<unsigned>(Color & 0xFF),
                static_cast<unsigned>((Color >> 8) & 0xFF), static_cast<unsigned>((Color >> 16) & 0xFF));
  return buf;
}

// The colour an RRGGBB text names; black when it is not one.
TColor HexValue(const std::string& Text) {
  std::string t = Trim(Text);
  if (t.empty() || t.size() > 6) return 0;
  char* end = nullptr;
  unsigned long v = std::strtoul(t.c_str(), &end, 16);
  if (*end != '\0') return 0;
  return static_cast<TColor>(((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16));
}

void Frame(TPixelGraphic* Grid, int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, uint32_t Index) {
  for (int32_t x = X0; x <= X1; ++x) {
    Grid->SetPixel(x, Y0, Index);
    Grid->SetPixel(x, Y1, Index);
  }
  for (int32_t y = Y0; y <= Y1; ++y) {
    Grid->SetPixel(X0, y, Index);
    Grid->SetPixel(X1, y, Index);
  }
}
}  // namespace

void DrawPaletteCells(TPixelGraphic* Grid, int32_t Count, int32_t Columns, int32_t CellWidth, int32_t CellHeight) {
  if (Columns <= 0) return;
  uint32_t black = Grid->GetNearestIndex(0);
  for (int32_t i = 0; i < Count; ++i) {
    int32_t x0 = (i % Columns) * CellWidth, y0 = (i / Columns) * CellHeight;
    int32_t x1 = x0 + CellWidth, y1 = y0 + CellHeight;
    for (int32_t y = y0; y <= y1; ++y)
      for (int32_t x = x0; x <= x1; ++x) Grid->SetPixel(x, y, static_cast<uint32_t>(i));
    Frame(Grid, x0, y0, x1, y1, black);
  }
}

void SelectPaletteCell(TPGImage* Img, int32_t I, int32_t Columns, int32_t CellWidth, int32_t CellHeight) {
  Img->SetSelectionBounds((I % Columns) * CellWidth + 1, (I / Columns) * CellHeight + 1, CellWidth - 1,
                          CellHeight - 1);
  Img->SetSelection(true);
}

TPalEditor::TPalEditor(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Palette Editor");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);  // over the main window, wherever it is
  SetClientSize(417, 420);

  plInfo = new TPanel(this);
  plInfo->SetParent(this);
  plInfo->SetAlign(alTop);
  plInfo->SetHeight(36);
  plInfo->SetCaption("");
  Label4 = new TLabel(this);
  Label4->SetParent(plInfo);
  Label4->SetBounds(8, 10, 70, 16);
  Label4->SetCaption("Color &Index:");
  edColIndex = new TSpinEdit(this);
  edColIndex->SetParent(plInfo);
  edColIndex->SetBounds(82, 6, 56, 22);
  edColIndex->SetMinValue(0);
  edColIndex->SetMaxValue(255);
  Label4->SetFocusControl(edColIndex);
  Label5 = new TLabel(this);
  Label5->SetParent(plInfo);
  Label5->SetBounds(156, 10, 70, 16);
  Label5->SetCaption("Color &Value:");
  edColValue = new TEdit(this);
  edColValue->SetParent(plInfo);
  edColValue->SetBounds(230, 6, 70, 22);
  edColValue->SetReadOnly(true);
  edColValue->SetCharCase(ecUpperCase);
  edColValue->SetText("000000");
  Label5->SetFocusControl(edColValue);
  BitBtn2 = new TBitBtn(this);
  BitBtn2->SetParent(plInfo);
  BitBtn2->SetBounds(304, 6, 24, 22);
  BitBtn2->SetCaption("...");

  Img = new TPGImage(this);
  Img->SetParent(this);
  Img->SetAlign(alTop);
  Img->SetHeight(196);
  Img->SetPicBoxColor(clBtnFace);

  plButtons = new TPanel(this);
  plButtons->SetParent(this);
  plButtons->SetAlign(alBottom);
  plButtons->SetHeight(40);
  plButtons->SetCaption("");
  BitBtn3 = new TBitBtn(this);
  BitBtn3->SetParent(plButtons);
  BitBtn3->SetKind(bkOK);
  BitBtn3->SetBounds(240, 8, 75, 25);
  BitBtn1 = new TBitBtn(this);
  BitBtn1->SetParent(plButtons);
  BitBtn1->SetKind(bkCancel);
  BitBtn1->SetBounds(330, 8, 75, 25);

  PGImage1 = new TPGImage(this);
  PGImage1->SetParent(this);
  PGImage1->SetAlign(alClient);
  PGImage1->SetStretch(sShrinkKAR);
  PGImage1->SetCenter(true);

  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->SetOptions(cdFullOpen);

  Img->PicBoxOnMouseDown() = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    ImgPicBoxOnMouseDown(S, B, Sh, X, Y);
  };
  PGImage1->PicBoxOnMouseDown() = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    PGImage1PicBoxOnMouseDown(S, B, Sh, X, Y);
  };
  PGImage1->PicBoxOnSetCursor = [](TObject*, HCURSOR& Cursor) {
    if (Screen) Cursor = Screen->Cursors(crTransparent);
  };
  edColIndex->OnChange = [this](TObject* S) { edColIndexChange(S); };
  BitBtn2->OnClick = [this](TObject* S) { BitBtn2Click(S); };
  edColValue->OnClick = [this](TObject* S) { BitBtn2Click(S); };
  edColValue->OnEnter = [this](TObject* S) { BitBtn2Click(S); };
  OnCreate = [this](TObject* S) { FormCreate(S); };
}

TPalEditor::~TPalEditor() {
  if (PalEditor == this) PalEditor = nullptr;
}

void TPalEditor::FormCreate(TObject*) { FCellsPerRow = 16; }

void TPalEditor::Prepare(TPGImage* Image) {
  FSelected = -1;
  FCellsPerRow = 16;
  PGImage1->TakePixelGraphic(Image->CopyPixelGraphic());
  TPixelGraphic* picture = PGImage1->GetPixelGraphic();
  auto grid = std::make_unique<TPixelGraphic>();
  grid->AssignPalette(picture);
  int32_t count = grid->PaletteCount();
  // The cells share their frame lines, and the last line closes the grid:
  // one pixel is kept for it, so that 256 cells fit the box without scroll bars.
  FCellWidth = (Img->ClientWidth() - 1) / FCellsPerRow;
  FCellHeight = (Img->ClientHeight() - 1) / (256 / FCellsPerRow);
  FRows = count / FCellsPerRow + (count % FCellsPerRow ? 1 : 0);
  if (count < FCellsPerRow) FCellsPerRow = count;
  grid->NewImage(FCellsPerRow * FCellWidth + 1, FRows * FCellHeight + 1, pf8Bit);
  grid->SetTransparentColor(ColorToRGB(clBtnFace));
  grid->Clear();
  DrawPaletteCells(grid.get(), count, FCellsPerRow, FCellWidth, FCellHeight);
  Img->TakePixelGraphic(std::move(grid));
  edColIndex->SetMaxValue(count > 0 ? count - 1 : 0);
  FreeAllPGCanvases();
  SelectIndex(0);
  SetCaption("Palette Editor (" + IntToStr(count) + " cols)");
}

void TPalEditor::SelectIndex(int32_t I) {
  TPixelGraphic* grid = Img->PixelGraphicNoWait();
  if (!grid || I == FSelected || I < 0 || I >= grid->PaletteCount()) return;
  FSelected = I;
  edColIndex->SetValue(I);
  edColValue->SetText(Hex6(grid->GetPaletteEntry(I)));
  SelectPaletteCell(Img, I, FCellsPerRow, FCellWidth, FCellHeight);
}

void TPalEditor::ImgPicBoxOnMouseDown(TObject*, TMouseButton, TShiftState, int32_t X, int32_t Y) {
  if (FCellWidth <= 0 || FCellHeight <= 0 || FCellsPerRow <= 0) return;
  // A click right of the last column belongs to no cell.
  if (X / FCellWidth >= FCellsPerRow) return;
  SelectIndex((Y / FCellHeight) * FCellsPerRow + X / FCellWidth);
}

void TPalEditor::edColIndexChange(TObject*) { SelectIndex(edColIndex->Value()); }

void TPalEditor::BitBtn2Click(TObject*) {
  ColorDialog1->SetColor(HexValue(edColValue->Text()));
  if (ColorDialog1->Execute()) {
    edColValue->SetText(Hex6(ColorDialog1->Color()));
    ApplyColour();
  }
}

void TPalEditor::ApplyColour() {
  TPixelGraphic* grid = Img->GetPixelGraphic();
  if (!grid || FSelected < 0) return;
  Screen->SetCursor(crHourGlass);
  try {
    auto next = std::make_unique<TPixelGraphic>();
    next->NewImage(grid->GetWidth(), grid->GetHeight(), grid->PixelFormat());
    next->AssignPalette(grid);
    TColor colour = HexValue(edColValue->Text());
    next->SetPaletteEntry(FSelected, colour);
    next->CopyFrom(grid);
    int32_t x0 = (FSelected % FCellsPerRow) * FCellWidth, y0 = (FSelected / FCellsPerRow) * FCellHeight;
    int32_t x1 = x0 + FCellWidth - 1, y1 = y0 + FCellHeight - 1;
    for (int32_t y = y0 + 1; y < y1; ++y)
      for (int32_t x = x0 + 1; x < x1; ++x) next->SetPixel(x, y, static_cast<uint32_t>(FSelected));
    Frame(next.get(), x0, y0, x1, y1, next->GetNearestIndex(0));
    Img->TakePixelGraphic(std::move(next));
  } catch (const std::exception&) {
    // The grid stays as it was.
  }
  FreeAllPGCanvases();
  Screen->SetCursor(crDefault);
  CopyToImage(Img, PGImage1);
}

void TPalEditor::CopyToImage(TPGImage* Source, TPGImage* Dest) {
  TPixelGraphic* src = Source->GetPixelGraphic();
  TPixelGraphic* dst = Dest->GetPixelGraphic();
  if (!src || !dst || dst->GetEmpty()) return;
  Screen->SetCursor(crHourGlass);
  try {
    auto g = std::make_unique<TPixelGraphic>();
    g->NewImage(dst->GetWidth(), dst->GetHeight(), src->PixelFormat());
    g->AssignPalette(src);
    int32_t count = g->PaletteCount();
    for (int32_t y = 0; y < dst->GetHeight(); ++y)
      for (int32_t x = 0; x < dst->GetWidth(); ++x) {
        uint32_t index = dst->GetPixel(x, y);
        // An index outside the palette (a true-colour picture) gets the nearest entry.
        if (dst->PixelFormat() > pf8Bit || static_cast<int32_t>(index) >= count)
          index = g->GetNearestIndex(dst->GetPixelColor(x, y));
        g->SetPixel(x, y, index);
      }
    Dest->TakePixelGraphic(std::move(g));
  } catch (...) {
    Screen->SetCursor(crDefault);
    throw;
  }
  Screen->SetCursor(crDefault);
  Dest->Update();
}

void TPalEditor::PGImage1PicBoxOnMouseDown(TObject*, TMouseButton, TShiftState, int32_t X, int32_t Y) {
  TPixelGraphic* picture = PGImage1->GetPixelGraphic();
  TPixelGraphic* grid = Img->GetPixelGraphic();
  if (!picture || !grid || picture->GetEmpty()) return;
  const TPoint shown = PGImage1->ShownImagePixel(TPoint{X, Y});
  const int32_t x = shown.X, y = shown.Y;
  if (x < 0 || y < 0 || x >= picture->GetWidth() || y >= picture->GetHeight()) return;
  SelectIndex(static_cast<int32_t>(grid->GetNearestIndex(picture->GetPixelColor(x, y))));
}
