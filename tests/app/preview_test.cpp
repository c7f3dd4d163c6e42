#include "app/prep.h"
#include "app/preview.h"
#include "app_fixture.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"

class Preview : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    Start();
  }
  void TearDown() override {
    if (Screen) Screen->SetColorDepth(24);
    AppTest::TearDown();
  }
  // Runs the preview through the menu and records what the dialog shows.
  void RunPreview() {
    captions.clear();
    Driver.WhenIdle([&] {
      ASSERT_EQ(Screen->ActiveForm(), Form2);
      for (TLabel* l : Form2->Labels) captions.push_back(l->Caption());
      width = Form2->ClientWidth();
      height = Form2->ClientHeight();
      labelHeight = Form2->Label1->Height();
      centred = Form2->Image1->Center() && !Form2->Image1->Stretch();
      memo = PrepForm->Memo1->Lines()->Text();
      progress = PrepForm->ProgressBar1->Position();
      Driver.ProcessMessages();
      for (TLabel* l : Form2->Labels) captionTextPixels.push_back(CountColour(l, ColorToRGB(clCaptionText)));
      cells.clear();
      for (TImage* im : Form2->Images) {
        TPixelGraphic cell;
        cell.AssignFromGraphic(im->Picture()->Bitmap());
        cells.emplace_back();
        for (int32_t y = 0; y < cell.Height(); ++y)
          for (int32_t x = 0; x < cell.Width(); ++x) cells.back().push_back(cell.GetPixelColor(x, y));
      }
      Form2->SetModalResult(mrOk);
    });
    Form->PreviewColours1Click(nullptr);
    EXPECT_EQ(Driver.PendingSteps(), 0u);
  }
  std::vector<std::string> captions;
  std::vector<int32_t> captionTextPixels;  // per label, its text on the caption colour
  std::vector<std::vector<TColor>> cells;   // per cell, its picture's colours in raster order
  int32_t width = 0, height = 0, labelHeight = 0, progress = 0;
  bool centred = false;
  std::string memo;
};

TEST_F(Preview, EightReductionsWithTheirGifSizes) {
  Form->LoadFile(WritePhoto("p.bmp", 100, 100));
  RunPreview();
  ASSERT_EQ(captions.size(), 8u);
  const int32_t counts[8] = {256, 192, 128, 64, 32, 16, 8, 4};
  for (int i = 0; i < 8; ++i) {
    const std::string& c = captions[i];
    size_t sep = c.find(" colors, ");
    ASSERT_NE(sep, std::string::npos) << c;
    int n = std::stoi(c.substr(0, sep));
    EXPECT_GT(n, 0);
    EXPECT_LE(n, counts[i]) << c;
    EXPECT_EQ(c.back(), 'k');
    EXPECT_NE(memo.find("Preparing Image " + std::to_string(i + 1) + ": " + c), std::string::npos) << memo;
  }
  EXPECT_EQ(progress, 80);
  EXPECT_EQ(width, 419);
  // Two label heights above the two image rows (the label height as measured before showing).
  EXPECT_GT(height, 209);
  EXPECT_EQ((height - 209) % 2, 0);
  EXPECT_GT(labelHeight, 0);
  EXPECT_FALSE(centred);
  EXPECT_FALSE(PrepForm->Visible());
  for (int32_t n : captionTextPixels) EXPECT_GT(n, 20);
}

TEST_F(Preview, SmallPictureOnAPaletteScreenKeepsDesignCaptions) {
  Form->LoadFile(WritePhoto("s.bmp", 50, 50));
  Screen->SetColorDepth(8);
  RunPreview();
  EXPECT_EQ(captions, (std::vector<std::string>{"256 colors", "192 colors", "128 colors", "64 colors", "32 colors",
                                                "16 colors", "8 colors", "4 colors"}));
  EXPECT_EQ(width, 400);
  EXPECT_EQ(height, 300);
  EXPECT_TRUE(centred);
  EXPECT_EQ(memo.find(':'), std::string::npos);
}

// Closing "Preparing Images..." (its close button, or Escape) cancels the
// preview: the work stops, no preview dialog follows, and the main window
// takes input again.
TEST_F(Preview, ClosingTheProgressWindowCancelsThePreview) {
  Form->LoadFile(WritePhoto("big.bmp", 400, 300));
  PrepForm->HandleNeeded();
  for (const bool escape : {false, true}) {
    if (escape) Driver.PressKey(VK_ESCAPE);
    else PostMessage(PrepForm->Handle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(Form2->ShowPreview(Form->Image1->GetPixelGraphic(), Form->Pristine(), true, true), mrCancel);
    EXPECT_EQ(Driver.PendingSteps(), 0u);
    EXPECT_FALSE(PrepForm->Visible());
    EXPECT_LT(PrepForm->ProgressBar1->Position(), 10);
    EXPECT_TRUE(Form->Enabled());
    EXPECT_EQ(Screen->Cursor(), crDefault);
  }
}

// A picture of 32 colours (pairs of them in one 5-6-5 cell) stays exact in
// every cell of 32 colours or more, dithered or not.
TEST_F(Preview, CellsWithRoomForThePictureColoursAreExact) {
  TPixelGraphic picture;
  picture.NewImage(60, 50, pf24Bit);
  std::vector<TColor> pixels;
  for (int32_t y = 0; y < 50; ++y)
    for (int32_t x = 0; x < 60; ++x) {
      const uint32_t i = static_cast<uint32_t>((x / 3 + y / 5 * 7) % 32), k = i / 2, twin = i % 2;
      pixels.push_back((k * 16 + twin) | (252 - k * 12 + twin) << 8 | (80 + k * 8 + twin) << 16);
      picture.SetPixel(x, y, pixels.back());
    }
  picture.SaveToFile(Dir + "thirty-two.bmp");
  Form->LoadFile(Dir + "thirty-two.bmp");
  for (bool dither : {true, false}) {
    if (Form->Dithering1->Checked() != dither) Form->Dithering1Click(Form->Dithering1);
    RunPreview();
    ASSERT_EQ(cells.size(), 8u);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(cells[i], pixels) << "cell " << i << ", dithering " << dither;
    EXPECT_EQ(captions[4].rfind("32 colors, ", 0), 0u) << captions[4];
  }
}
