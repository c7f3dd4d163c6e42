#include "app/border.h"

#include "app/pal_edit.h"
#include "imaging/core/pg_canvas.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_image.h"
#include "platform/gdi/colors.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/std_controls.h"

TBorderEdit* BorderEdit = nullptr;

namespace {
int32_t StoredStyle = 0;
int32_t StoredWidth = 10;
TColor StoredColor = 0xFFFFFF;
}  // namespace

int32_t BorderStyleSetting() { return StoredStyle; }
int32_t BorderWidthSetting() { return StoredWidth; }
TColor BorderColorSetting() { return StoredColor; }

void InitializeBorder() {
  StoredStyle = 0;
  StoredWidth = 10;
  StoredColor = 0xFFFFFF;
}

TBorderEdit::TBorderEdit(TComponent* AOwner) : TForm(AOwner) {
  SetCaption("Add Soft Border");
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);  // over the main window, wherever it is
  SetClientSize(520, 320);

  RadioGroup1 = new TRadioGroup(this);
  RadioGroup1->SetParent(this);
  RadioGroup1->SetBounds(8, 8, 240, 44);
  RadioGroup1->SetCaption(" &Style ");
  RadioGroup1->SetItems({"None", "Frame", "Ellipse"});
  RadioGroup1->SetColumns(3);

  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetBounds(8, 64, 80, 16);
  Label1->SetCaption("&Border Size:");
  SpinEdit1 = new TSpinEdit(this);
  SpinEdit1->SetParent(this);
  SpinEdit1->SetBounds(96, 60, 64, 22);
  SpinEdit1->SetMinValue(1);
  SpinEdit1->SetMaxValue(10000);
  SpinEdit1->SetValue(10);
  Label1->SetFocusControl(SpinEdit1);

  GroupBox1 = new TGroupBox(this);
  GroupBox1->SetParent(this);
  GroupBox1->SetBounds(8, 90, 240, 186);
  GroupBox1->SetCaption(" Border Color ");
  Img = new TPGImage(this);
  Img->SetParent(GroupBox1);
  Img->SetBounds(8, 18, 224, 164);
  Img->SetCenter(true);
  Img->SetPicBoxColor(clBtnFace);

  btnShow = new TButton(this);
  btnShow->SetParent(this);
  btnShow->SetBounds(8, 286, 100, 25);
  btnShow->SetCaption("Show Preview");
  btnShow->SetEnabled(false);

  PGImage1 = new TPGImage(this);
  PGImage1->SetParent(this);
  PGImage1->SetBounds(256, 8, 256, 268);
  PGImage1->SetStretch(sShrinkKAR);
  PGImage1->SetCenter(true);

  BitBtn1 = new TBitBtn(this);
  BitBtn1->SetParent(this);
  BitBtn1->SetKind(bkOK);
  BitBtn1->SetModalResult(mrNone);
  BitBtn1->SetBounds(340, 286, 80, 25);
  BitBtn2 = new TBitBtn(this);
  BitBtn2->SetParent(this);
  BitBtn2->SetKind(bkCancel);
  BitBtn2->SetBounds(430, 286, 80, 25);

  Img->PicBoxOnMouseDown() = [this](TObject* S, TMouseButton B, TShiftState Sh, int32_t X, int32_t Y) {
    ImgPicBoxOnMouseDown(S, B, Sh, X, Y);
  };
  // The colour grid takes the keyboard: a focus rectangle shows it has it,
  // and the arrow keys move the chosen colour.
  Img->SetTabStop(true);
  Img->OnEnter = [this](TObject*) { Img->PicBox()->Invalidate(); };
  Img->OnExit = [this](TObject*) { Img->PicBox()->Invalidate(); };
  Img->PicBoxOnPaint() = [this](TObject*) {
    TPicBox* box = Img->PicBox();
    if (Img->Focused()) box->Canvas()->DrawFocusRect(TRect{0, 0, box->Width(), box->Height()});
  };
  Img->OnKeyDown = [this](TObject* S, uint16_t& Key, TShiftState Shift) { ImgKeyDown(S, Key, Shift); };
  RadioGroup1->OnClick = [this](TObject* S) { RadioGroup1Click(S); };
  SpinEdit1->OnChange = [this](TObject* S) { SpinEdit1Change(S); };
  btnShow->OnClick = [this](TObject* S) { btnShowClick(S); };
  BitBtn1->OnClick = [this](TObject* S) { BitBtn1Click(S); };
  OnCreate = [this](TObject* S) { FormCreate(S); };
  OnActivate = [this](TObject* S) { FormActivate(S); };
  OnDestroy = [this](TObject* S) { FormDestroy(S); };
}

TBorderEdit::~TBorderEdit() {
  if (BorderEdit == this) BorderEdit = nullptr;
}

void TBorderEdit::FormCreate(TObject*) {
  FCellsPerRow = 16;
  FSelected = -1;
  FSource = std::make_unique<TPixelGraphic>();
}

void TBorderEdit::FormActivate(TObject*) {
  RadioGroup1->SetItemIndex(StoredStyle);
  SpinEdit1->SetValue(StoredWidth);
}

void TBorderEdit::FormDestroy(TObject*) { FSource.reset(); }

void TBorderEdit::Prepare(TPGImage* Image) {
  int32_t previous = FSelected;
  FSelected = -1;
  FSource = Image->CopyPixelGraphic();
  if (!FSource) FSource = std::make_unique<TPixelGraphic>();
  auto grid = std::make_unique<TPixelGraphic>();
  grid->AssignPalette(FSource.get());
  int32_t count = grid->PaletteCount();
  FCellWidth = (Img->ClientWidth() - 4) / 16;
  FCellHeight = (Img->ClientHeight() - 4) / 16;
  grid->NewImage(16 * FCellWidth + 1, 16 * FCellHeight + 1, pf8Bit);
  grid->SetTransparentColor(ColorToRGB(clBtnFace));
  grid->Clear();
  DrawPaletteCells(grid.get(), count, FCellsPerRow, FCellWidth, FCellHeight);
  Img->SetCenter(true);
  Img->TakePixelGraphic(std::move(grid));
  FreeAllPGCanvases();
  SelectColor(previous >= 0 && previous < count ? previous : 0);
  SpinEdit1->SetMaxValue(FSource->GetEmpty() ? 1 : FSource->GetWidth());
}

void TBorderEdit::SelectColor(int32_t I) {
  TPixelGraphic* grid = Img->PixelGraphicNoWait();
  if (!grid || I == FSelected || I < 0 || I >= grid->PaletteCount()) return;
  FSelected = I;
  SelectPaletteCell(Img, I, FCellsPerRow, FCellWidth, FCellHeight);
  btnShow->SetEnabled(true);
}

void TBorderEdit::ImgPicBoxOnMouseDown(TObject*, TMouseButton, TShiftState, int32_t X, int32_t Y) {
  if (Img->CanFocus()) Img->SetFocus();
  if (FCellWidth <= 0 || FCellHeight <= 0 || X / FCellWidth >= 16) return;
  SelectColor((Y / FCellHeight) * 16 + X / FCellWidth);
}

void TBorderEdit::ImgKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  if (Shift & (ssCtrl | ssAlt)) return;
  const int32_t step = Key == VK_LEFT ? -1 : Key == VK_RIGHT ? 1 : Key == VK_UP ? -16 : Key == VK_DOWN ? 16 : 0;
  if (step == 0) return;
  Key = 0;  // the grid's own, not a scroll of the box
  SelectColor(FSelected + step);  // a move past the palette's ends chooses nothing
}

void TBorderEdit::RadioGroup1Click(TObject*) { btnShow->SetEnabled(true); }

void TBorderEdit::SpinEdit1Change(TObject*) { btnShow->SetEnabled(true); }

void TBorderEdit::btnShowClick(TObject*) {
  Screen->SetCursor(crHourGlass);
  int32_t style = RadioGroup1->ItemIndex();
  TPixelGraphic* grid = Img->PixelGraphicNoWait();
  if (FSource && !FSource->GetEmpty()) {
    if (style == 1 || style == 2) {
      try {
        auto g = std::make_unique<TPixelGraphic>();
        g->NewImage(FSource->GetWidth(), FSource->GetHeight(), FSource->PixelFormat());
        g->AssignPalette(FSource.get());
        TColor colour = grid && FSelected >= 0 ? grid->GetPaletteEntry(FSelected) : StoredColor;
        g->SoftBorder(style == 2 ? 1 : 0, SpinEdit1->Value(), FSource.get(), colour);
        PGImage1->TakePixelGraphic(std::move(g));
      } catch (const std::exception&) {
        // The preview keeps what it showed.
      }
    } else {
      auto copy = std::make_unique<TPixelGraphic>();
      copy->Assign(FSource.get());
      PGImage1->TakePixelGraphic(std::move(copy));
    }
  }
  btnShow->SetEnabled(false);
  Screen->SetCursor(crDefault);
}

void TBorderEdit::BitBtn1Click(TObject*) {
  StoredStyle = RadioGroup1->ItemIndex();
  StoredWidth = SpinEdit1->Value();
  TPixelGraphic* grid = Img->PixelGraphicNoWait();
  if (grid && FSelected >= 0) StoredColor = grid->GetPaletteEntry(FSelected);
  SetModalResult(mrOk);
}
