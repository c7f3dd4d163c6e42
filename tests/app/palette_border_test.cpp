#include "app/border.h"
#include "app/pal_edit.h"
#include "app_fixture.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/menus.h"

namespace {
// A picture of Count palette colours in Format, vertical stripes of index x % Count.
std::unique_ptr<TPixelGraphic> Striped(int32_t Count, uint8_t Format, int32_t W = 40, int32_t H = 30) {
  auto g = std::make_unique<TPixelGraphic>();
  g->NewImage(W, H, Format);
  g->SetPaletteCount(Count);
  for (int32_t i = 0; i < Count; ++i) g->SetPaletteEntry(i, static_cast<TColor>(0x101010 * i + 0x000020 * (i % 3)));
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) g->SetPixel(x, y, static_cast<uint32_t>(x % Count));
  return g;
}
}  // namespace

class PaletteAndBorder : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Start();
  }
  TPixelGraphic* Picture() { return Form->Image1->GetPixelGraphic(); }
};

TEST_F(PaletteAndBorder, PaletteEditorGridOfATwoColourImage) {
  Form->Image1->TakePixelGraphic(Striped(2, pf1Bit));
  PalEditor->Prepare(Form->Image1);
  EXPECT_EQ(PalEditor->Caption(), "Palette Editor (2 cols)");
  EXPECT_EQ(PalEditor->CellsPerRow(), 2);
  EXPECT_EQ(PalEditor->Rows(), 1);
  TPixelGraphic* grid = PalEditor->Img->GetPixelGraphic();
  int32_t cw = PalEditor->CellWidth(), ch = PalEditor->CellHeight();
  ASSERT_GT(cw, 2);
  EXPECT_EQ(grid->GetWidth(), 2 * cw + 1);
  EXPECT_EQ(grid->GetHeight(), ch + 1);
  EXPECT_EQ(grid->GetPixel(cw / 2, ch / 2), 0u);
  EXPECT_EQ(grid->GetPixel(cw + cw / 2, ch / 2), 1u);
  EXPECT_EQ(grid->GetPixelColor(cw, ch / 2), 0u);  // the shared frame line is black
  EXPECT_EQ(PalEditor->Selected(), 0);
  EXPECT_EQ(PalEditor->edColValue->Text(), "000000");
  EXPECT_EQ(PalEditor->Img->SelectionLeft(), 1);
  EXPECT_EQ(PalEditor->Img->SelectionWidth(), cw - 1);
}

// All 256 cells show in the grid's box, the last row included, with no scroll bars.
TEST_F(PaletteAndBorder, FullPaletteGridFitsItsBox) {
  Form->Image1->TakePixelGraphic(Striped(256, pf8Bit, 256, 4));
  bool seen = false;
  Driver.WhenIdle([&] {
    TPGImage* img = PalEditor->Img;
    TPixelGraphic* grid = img->GetPixelGraphic();
    EXPECT_EQ(PalEditor->Rows(), 16);
    EXPECT_LE(grid->GetWidth(), img->ClientWidth());
    EXPECT_LE(grid->GetHeight(), img->ClientHeight());
    EXPECT_EQ(img->Width() - img->ClientWidth(), 2 * img->FrameWidth());  // no vertical bar
    EXPECT_EQ(img->Height() - img->ClientHeight(), 2 * img->FrameWidth());  // no horizontal bar
    const int32_t cw = PalEditor->CellWidth(), ch = PalEditor->CellHeight();
    TPicBox* box = img->PicBox();
    EXPECT_EQ(Driver.Pixel(img->Handle(), box->Left() + 15 * cw + cw / 2, box->Top() + 15 * ch + ch / 2),
              grid->GetPaletteEntry(255) & 0xFFFFFF);
    seen = true;
    PalEditor->BitBtn1->Click();
  });
  PalEditor->Prepare(Form->Image1);
  PalEditor->ShowModal();
  EXPECT_TRUE(seen);
}

TEST_F(PaletteAndBorder, EditingAnEntryOfAFourBitImage) {
  Form->Image1->TakePixelGraphic(Striped(16, pf4Bit));
  PalEditor->Prepare(Form->Image1);
  int32_t cw = PalEditor->CellWidth(), ch = PalEditor->CellHeight();
  EXPECT_EQ(PalEditor->Rows(), 1);
  // Right of the last cell selects nothing.
  PalEditor->ImgPicBoxOnMouseDown(nullptr, mbLeft, {}, 16 * cw + 1, ch / 2);
  EXPECT_EQ(PalEditor->Selected(), 0);
  PalEditor->ImgPicBoxOnMouseDown(nullptr, mbLeft, {}, 3 * cw + 2, 2);
  EXPECT_EQ(PalEditor->Selected(), 3);
  EXPECT_EQ(PalEditor->edColIndex->Value(), 3);

  // Through the main window: entry 5 gets a new colour, OK applies it.
  Driver.WhenIdle([&] {
    PalEditor->edColIndex->SetValue(5);
    PalEditor->BitBtn2Click(nullptr);
    TPixelGraphic* grid = PalEditor->Img->GetPixelGraphic();
    EXPECT_EQ(grid->GetPixelColor(5 * cw + cw / 2, ch / 2), static_cast<TColor>(0x00CC3311));
    EXPECT_EQ(PalEditor->edColValue->Text(), "1133CC");  // RRGGBB
    TPixelGraphic* preview = PalEditor->PGImage1->GetPixelGraphic();
    EXPECT_EQ(preview->PixelFormat(), pf8Bit);
    EXPECT_EQ(preview->GetPixelColor(5, 0), static_cast<TColor>(0x00CC3311));
    PalEditor->BitBtn3->Click();
  });
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingColorDialog()->Color(), static_cast<TColor>(0x00505090));
    ExecutingColorDialog()->PickColor(0x00CC3311);
    ExecutingColorDialog()->Accept();
  });
  Form->EditPalette1Click(nullptr);
  EXPECT_EQ(Driver.PendingSteps(), 0u);
  TPixelGraphic* p = Picture();
  EXPECT_EQ(p->PixelFormat(), pf8Bit);
  EXPECT_EQ(p->PaletteCount(), 16);
  EXPECT_EQ(p->GetPixel(21, 3), 5u);
  EXPECT_EQ(p->GetPixelColor(21, 3), static_cast<TColor>(0x00CC3311));
  EXPECT_EQ(p->GetPixelColor(4, 3), static_cast<TColor>(0x00404060));
  EXPECT_TRUE(Form->Reset1->Enabled());
}

TEST_F(PaletteAndBorder, SoftBorderPreviewThenApplied) {
  Form->Image1->TakePixelGraphic(Striped(4, pf8Bit, 60, 50));
  BorderEdit->Prepare(Form->Image1);
  EXPECT_EQ(BorderEdit->Selected(), 0);
  BorderEdit->SelectColor(3);
  EXPECT_TRUE(BorderEdit->btnShow->Enabled());
  BorderEdit->RadioGroup1->SetItemIndex(1);
  BorderEdit->SpinEdit1->SetValue(8);
  BorderEdit->btnShowClick(nullptr);
  EXPECT_FALSE(BorderEdit->btnShow->Enabled());
  TPixelGraphic* preview = BorderEdit->PGImage1->GetPixelGraphic();
  ASSERT_EQ(preview->GetWidth(), 60);
  TColor border = Picture()->GetPaletteEntry(3);
  EXPECT_EQ(preview->GetPixelColor(0, 0), border);
  EXPECT_EQ(preview->GetPixelColor(30, 25), Picture()->GetPixelColor(30, 25));
  // None previews the unchanged picture.
  BorderEdit->RadioGroup1->SetItemIndex(0);
  BorderEdit->btnShowClick(nullptr);
  EXPECT_EQ(BorderEdit->PGImage1->GetPixelGraphic()->GetPixelColor(0, 0), Picture()->GetPixelColor(0, 0));

  // OK with None applies nothing; the stored style comes back on activation.
  Driver.WhenIdle([&] { BorderEdit->BitBtn1->Click(); });
  Form->AddBorder1Click(nullptr);
  EXPECT_EQ(BorderStyleSetting(), 0);
  EXPECT_EQ(Picture()->GetPixelColor(0, 0), Picture()->GetPaletteEntry(0));

  int32_t seenStyle = -1;
  Driver.WhenIdle([&] {
    seenStyle = BorderEdit->RadioGroup1->ItemIndex();
    EXPECT_EQ(BorderEdit->Selected(), 3);  // kept from the last run
    // The colour grid takes the keyboard: it shows that it has the focus,
    // and the arrows move the chosen colour within the palette.
    TPGImage* grid = BorderEdit->Img;
    Driver.ProcessMessages();
    const std::vector<uint8_t> unfocused = Driver.ReadWindow(grid->Handle()).Pixels;
    grid->SetFocus();
    Driver.ProcessMessages();
    EXPECT_NE(Driver.ReadWindow(grid->Handle()).Pixels, unfocused);
    for (auto [key, selected] : {std::pair{VK_LEFT, 2}, std::pair{VK_DOWN, 2}, std::pair{VK_RIGHT, 3},
                                 std::pair{VK_RIGHT, 3}}) {
      Driver.PressKey(key);
      Driver.ProcessMessages();
      EXPECT_EQ(BorderEdit->Selected(), selected);
    }
    BorderEdit->RadioGroup1->SetItemIndex(2);
    BorderEdit->SpinEdit1->SetValue(12);
    BorderEdit->BitBtn1->Click();
  });
  Form->AddBorder1Click(nullptr);
  EXPECT_EQ(seenStyle, 0);
  EXPECT_EQ(BorderStyleSetting(), 2);
  EXPECT_EQ(BorderWidthSetting(), 12);
  EXPECT_EQ(BorderColorSetting(), border);
  EXPECT_EQ(Picture()->GetPixelColor(0, 0), border);
  EXPECT_TRUE(Form->Reset1->Enabled());
}
