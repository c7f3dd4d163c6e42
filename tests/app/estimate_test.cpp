// The size estimate is the GIF that Save writes, byte for byte, whatever the
// options and the zoom; Copy at a zoom leaves the picture as it is; a long
// command shows that it is busy and can be cancelled.
#include <cmath>
#include <functional>
#include <string>
#include <tuple>

#include "app/busy.h"
#include "app_fixture.h"
#include "controls/toolbars.h"
#include "gif/gif_read_write.h"
#include "imaging/viewer/pg_image.h"
#include "platform/ui/menus.h"
#include "platform/base/stream.h"
#include "platform/gdi/cursors.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/window.h"

namespace {

// A file's size as the status bar gives it: kilobytes plus a half, rounded
// half to even.
std::string SizeText(size_t Bytes) {
  return "Size: " + std::to_string(static_cast<int64_t>(std::nearbyint(Bytes / 1024.0 + 0.5))) + "k";
}

// Each setting that the estimate or the save reads, changed as a person
// changes it after the zoom is applied.
const std::pair<const char*, std::function<void(TForm1&)>> Settings[] = {
    {"zoom alone", [](TForm1&) {}},
    {"dithering off", [](TForm1& F) { F.Dithering1Click(nullptr); }},
    {"RGB weight off", [](TForm1& F) { F.RGBWeight1Click(nullptr); }},
    {"16 colours",
     [](TForm1& F) {
       F.edColors->SetValue(16);
       F.btnRefreshClick(nullptr);
     }},
    {"black and white", [](TForm1& F) { F.ColorGrayScaleClick(F.BlackWhite1); }},
    {"4 greys", [](TForm1& F) { F.ColorGrayScaleClick(F.N4shadesofgray1); }},
    {"16 greys", [](TForm1& F) { F.ColorGrayScaleClick(F.N16shadesofgray1); }},
    {"256 greys", [](TForm1& F) { F.ColorGrayScaleClick(F.N256shadesofgray1); }},
    {"web palette", [](TForm1& F) { F.ColorGrayScaleClick(F.Netscape1); }},
    {"transparent colour",
     [](TForm1& F) {
       F.Transparent1Click(nullptr);
       F.Image1MouseDown(F.Image1, mbLeft, {}, 5, 5);
     }},
    {"smooth zoom mode", [](TForm1& F) { F.StretchClick(F.HighQuality1); }},
};

class EstimateIsTheSavedFile : public AppTest, public ::testing::WithParamInterface<std::tuple<int32_t, size_t>> {};

TEST_P(EstimateIsTheSavedFile, ForEverySetting) {
  const auto [zoom, setting] = GetParam();
  Start();
  Form->LoadFile(WritePhoto("photo.bmp", 320, 240));
  Form->edZoom->SetValue(zoom);
  Form->btnRefreshClick(nullptr);
  Settings[setting].second(*Form);
  Driver.ProcessMessages();
  const std::string estimate = Panel(2);
  const std::shared_ptr<TMemoryStream> measured = Form->ShownGIFBytes();
  Form->SaveFile(Dir + "saved.gif");
  const std::vector<uint8_t> saved = FileBytes(Dir + "saved.gif");
  EXPECT_EQ(estimate, SizeText(saved.size()));
  // The file holds the pixels measured, in as many bytes (transparency
  // picked since changes a byte of its header, not its size).
  ASSERT_TRUE(measured);
  EXPECT_EQ(measured->Size(), static_cast<int64_t>(saved.size()));
  TPixelGraphic coded, written;
  measured->SetPosition(0);
  coded.LoadFromStream(*measured);
  written.LoadFromFile(Dir + "saved.gif");
  ASSERT_EQ(coded.GetWidth(), written.GetWidth());
  ASSERT_EQ(coded.GetHeight(), written.GetHeight());
  for (int32_t y = 0; y < coded.GetHeight(); ++y)
    for (int32_t x = 0; x < coded.GetWidth(); ++x)
      ASSERT_EQ(coded.GetPixelColor(x, y), written.GetPixelColor(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(AtZooms, EstimateIsTheSavedFile,
                         ::testing::Combine(::testing::Values(100, 45),
                                            ::testing::Range<size_t>(0, std::size(Settings))),
                         [](const auto& Info) {
                           std::string name = std::to_string(std::get<0>(Info.param)) + "_" +
                                              Settings[std::get<1>(Info.param)].first;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace

namespace {

// A long Apply (a zoom that makes the picture large) shows the busy cursor
// from the start, and once it has run a moment the progress window, with
// the main window waiting; Escape cancels it, and the picture, the zoom
// pending and the unknown size stay as they were.
TEST_F(AppTest, ALongApplyIsBusyAndEscapeCancelsIt) {
  Start();
  Form->LoadFile(WritePhoto("photo.bmp", 64, 48));
  TPixelGraphic* picture = Form->Image1->GetPixelGraphic();
  Form->edZoom->SetValue(800);
  TBusyForm* busy = BusyForm();
  int32_t steps = 0;
  bool shown = false;
  busy->OnStep = [&](TObject*) {
    // The work goes on for a moment at each step.
    if (++steps == 1) {
      EXPECT_EQ(Screen->Cursor(), crHourGlass);
      EXPECT_FALSE(busy->Visible());
    } else if (busy->Visible() && !shown) {
      shown = true;
      EXPECT_NE(Screen->Cursor(), crDefault);
      EXPECT_FALSE(IsWindowEnabled(Form->Handle()));
      Driver.PressKey(VK_ESCAPE);
    }
    Driver.AdvanceClock(100);
  };
  Form->btnRefreshClick(nullptr);
  busy->OnStep = nullptr;
  EXPECT_TRUE(shown);
  EXPECT_LT(steps, 100);  // of the 384 rows to make
  EXPECT_EQ(Form->Image1->GetPixelGraphic(), picture);
  EXPECT_EQ(picture->GetWidth(), 64);
  EXPECT_EQ(Form->edZoom->Value(), 800);
  EXPECT_EQ(Form->Pending(), 1);
  EXPECT_TRUE(Form->btnRefresh->Enabled());
  EXPECT_EQ(Panel(2), "Size: ?");
  EXPECT_EQ(Screen->Cursor(), crDefault);
  EXPECT_FALSE(busy->Visible());
  EXPECT_TRUE(IsWindowEnabled(Form->Handle()));
}

}  // namespace
