// The animated GIF control on a form: frame timing on the driven clock,
// disposal and transparency, loop counts, placement, failed loads, copies.
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "gif/control/gif_img.h"
#include "imaging/core/options.h"
#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "tests/gif/control/gif_anim_util.h"
#include "tests/process_memory.h"

namespace {

class TGIFForm : public TForm {
public:
  explicit TGIFForm(TComponent* AOwner) : TForm(AOwner) {
    SetBorderStyle(bsNone);
    SetBounds(100, 50, 300, 200);
    SetColor(clLime);
    Gif = new TGIFImg(this);
    Gif->SetBounds(10, 10, 105, 105);
    Gif->SetParent(this);
  }
  TGIFImg* Gif;
};

// Loads from a stream left at its end: the control takes the whole stream.
bool Load(TGIFImg& Gif, const std::vector<uint8_t>& Bytes) {
  TMemoryStream s;
  s.Bytes() = Bytes;
  s.Seek(0, soEnd);
  return Gif.LoadFromStream(s);
}

TColor ComposedPixel(TGIFImg& Gif, int32_t x, int32_t y) {
  return GetPixel(Gif.ComposedImage()->Canvas()->Handle(), x, y) & 0xFFFFFF;
}
bool ComposedTransparent(TGIFImg& Gif, int32_t x, int32_t y) {
  return (GetPixel(Gif.ComposedMask()->Canvas()->Handle(), x, y) & 0xFFFFFF) == 0xFFFFFF;
}

class GIFControl : public ::testing::Test {
protected:
  void Show() {
    Application->CreateForm(Form);
    Gif = Form->Gif;
    Form->Show();
    Driver.ProcessMessages();
  }
  // A pixel of the control as the form shows it.
  TColor Screen(int32_t x, int32_t y) { return Driver.Pixel(Form->Handle(), Gif->Left() + x, Gif->Top() + y); }

  TUiTestDriver Driver;
  TGIFForm* Form = nullptr;
  TGIFImg* Gif = nullptr;
};

class GIFControlModes : public GIFControl, public ::testing::WithParamInterface<bool> {};

}  // namespace

TEST_P(GIFControlModes, FramesShowForTheirDelaysAndWrapForEver) {
  std::vector<std::pair<uint32_t, int32_t>> changes;
  int wraps = 0;
  Show();
  Gif->SetThreaded(GetParam());
  ASSERT_TRUE(Load(*Gif, MakeGIF({SolidFrame(kRed, 10, 10, 100), SolidFrame(kGreen, 10, 10, 200),
                                  SolidFrame(kBlue, 10, 10, 300)})));
  Gif->OnChange = [&](TObject*) { changes.emplace_back(GetTickCount(), Gif->CurrentFrame()); };
  Gif->OnWrapAnimation = [&](TObject*) { ++wraps; };
  Gif->SetAnimate(true);
  Driver.ProcessMessages();
  EXPECT_EQ(Screen(5, 5), kRed);
  // The first tick only starts the count: frame 1 was drawn by the load.
  Driver.AdvanceClock(150);
  EXPECT_EQ(Screen(5, 5), kRed);
  Driver.AdvanceClock(100);  // 250
  EXPECT_EQ(Screen(5, 5), kGreen);
  Driver.AdvanceClock(200);  // 450
  EXPECT_EQ(Screen(5, 5), kBlue);
  Driver.AdvanceClock(300);  // 750
  EXPECT_EQ(Screen(5, 5), kRed);
  Driver.AdvanceClock(100);  // 850
  EXPECT_EQ(Screen(5, 5), kGreen);
  EXPECT_EQ(changes, (std::vector<std::pair<uint32_t, int32_t>>{{100, 2}, {200, 3}, {400, 1}, {700, 2}, {800, 3}}));
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(Gif->LoopCount(), 0);
  EXPECT_TRUE(Gif->FrameTimer()->Enabled());

  // Switching off goes back to frame 1.
  Gif->SetAnimate(false);
  Driver.AdvanceClock(500);
  EXPECT_EQ(Gif->CurrentFrame(), 1);
  EXPECT_EQ(Screen(5, 5), kRed);
  EXPECT_EQ(changes.size(), 5u);
}

TEST_P(GIFControlModes, SpeedScalesDelaysAndNoFrameShowsUnder50Milliseconds) {
  std::vector<std::pair<uint32_t, int32_t>> changes;
  Show();
  Gif->SetThreaded(GetParam());
  ASSERT_TRUE(Load(*Gif, MakeGIF({SolidFrame(kRed, 4, 4, 100), SolidFrame(kGreen, 4, 4, 0),
                                  SolidFrame(kBlue, 4, 4, 30)})));
  Gif->OnChange = [&](TObject*) { changes.emplace_back(GetTickCount(), Gif->CurrentFrame()); };
  Gif->SetAnimate(true);
  Driver.AdvanceClock(460);
  EXPECT_EQ(changes, (std::vector<std::pair<uint32_t, int32_t>>{
                         {100, 2}, {200, 3}, {250, 1}, {300, 2}, {400, 3}, {450, 1}}));

  // Twice the speed: half the time. A change of speed takes effect at once
  // (at the window timers' resolution).
  changes.clear();
  Gif->SetSpeed(200);
  Driver.AdvanceClock(150);
  ASSERT_GE(changes.size(), 4u);
  EXPECT_LE(changes[0].first, 470u);
  EXPECT_EQ(changes[0].second, 2);
  EXPECT_EQ(changes[1].first - changes[0].first, 50u);
  EXPECT_EQ(changes[2].first - changes[1].first, 25u);
  EXPECT_EQ(changes[3].first - changes[2].first, 25u);
  Gif->SetSpeed(-5);
  EXPECT_EQ(Gif->Speed(), 1);
}

INSTANTIATE_TEST_SUITE_P(Timer, GIFControlModes, ::testing::Values(false, true),
                         [](const auto& Info) { return Info.param ? "Threaded" : "WindowTimer"; });

TEST_F(GIFControl, LoopCountPlaysItsPassesStopsOnTheLastFrameAndLoopRestarts) {
  int wraps = 0;
  Show();
  ASSERT_TRUE(Load(*Gif, MakeGIF({SolidFrame(kRed, 4, 4, 100), SolidFrame(kGreen, 4, 4, 100)}, 3)));
  EXPECT_EQ(Gif->LoopCount(), 3);
  Gif->OnWrapAnimation = [&](TObject*) { ++wraps; };
  Gif->SetAnimate(true);
  Driver.AdvanceClock(2000);
  EXPECT_EQ(wraps, 3);
  EXPECT_FALSE(Gif->FrameTimer()->Enabled());
  EXPECT_EQ(Gif->CurrentFrame(), 3);
  EXPECT_EQ(Screen(1, 1), kGreen);
  // A repaint does not start it again.
  Gif->Invalidate();
  Driver.AdvanceClock(500);
  EXPECT_EQ(wraps, 3);
  // Loop restarts from frame 1 and plays for ever.
  Gif->SetLoop(true);
  Driver.AdvanceClock(150);
  EXPECT_EQ(Screen(1, 1), kRed);
  Driver.AdvanceClock(1000);
  EXPECT_GT(wraps, 6);

  // Without a NETSCAPE2.0 block: one pass.
  wraps = 0;
  Gif->SetLoop(false);
  Gif->SetAnimate(false);
  ASSERT_TRUE(Load(*Gif, WithoutLoopBlock(MakeGIF({SolidFrame(kRed), SolidFrame(kGreen)}))));
  EXPECT_EQ(Gif->LoopCount(), 1);
  Gif->SetAnimate(true);
  Driver.AdvanceClock(2000);
  EXPECT_EQ(wraps, 1);
  EXPECT_EQ(Screen(1, 1), kGreen);
}

TEST_F(GIFControl, OneFrameIsNotAnimated) {
  int changes = 0;
  Show();
  Gif->SetAnimate(true);
  ASSERT_TRUE(Load(*Gif, MakeGIF({SolidFrame(kRed)})));
  Gif->OnChange = [&](TObject*) { ++changes; };
  Driver.AdvanceClock(5000);
  EXPECT_FALSE(Gif->Animated());
  EXPECT_FALSE(Gif->FrameTimer()->Enabled());
  EXPECT_EQ(changes, 0);
}

TEST_F(GIFControl, DisposalMethodsAndTransparencyComposeTheCanvas) {
  TTestFrame f1 = SolidFrame(kBlue);
  f1.Disposal = 1;
  TTestFrame f2 = SolidFrame(kGreen, 2, 2);
  f2.Left = f2.Top = 2;
  f2.Disposal = 2;
  f2.Transparent = true;  // the left column is white, made transparent
  f2.Color = [](int32_t x, int32_t) { return x == 0 ? kWhite : kGreen; };
  TTestFrame f3 = SolidFrame(kRed, 2, 2);
  f3.Disposal = 3;
  TTestFrame f4 = SolidFrame(kYellow, 1, 1);
  f4.Left = 3;
  TGIFImg gif(nullptr);
  std::vector<int> events;
  gif.OnChanging = [&](TObject*) { events.push_back(gif.CurrentFrame()); };
  gif.OnChange = [&](TObject*) { events.push_back(-gif.CurrentFrame()); };
  ASSERT_TRUE(Load(gif, MakeGIF({f1, f2, f3, f4})));
  EXPECT_EQ(events, (std::vector<int>{1, -1}));
  ASSERT_EQ(gif.FrameCount(), 4);
  EXPECT_TRUE(gif.AnyFrameTransparent());
  EXPECT_EQ(ComposedPixel(gif, 2, 2), kBlue);
  EXPECT_FALSE(ComposedTransparent(gif, 2, 2));

  gif.SetCurrentFrame(2);  // over the kept frame 1; its transparent column keeps blue
  EXPECT_EQ(ComposedPixel(gif, 2, 2), kBlue);
  EXPECT_EQ(ComposedPixel(gif, 3, 3), kGreen);
  EXPECT_FALSE(ComposedTransparent(gif, 2, 2));
  gif.SetCurrentFrame(3);  // frame 2's area back to background (black, transparent)
  EXPECT_EQ(ComposedPixel(gif, 2, 2), kBlack);
  EXPECT_EQ(ComposedPixel(gif, 3, 3), kBlack);
  EXPECT_TRUE(ComposedTransparent(gif, 3, 3));
  EXPECT_EQ(ComposedPixel(gif, 1, 1), kRed);
  EXPECT_EQ(ComposedPixel(gif, 3, 0), kBlue);
  gif.SetCurrentFrame(4);  // frame 3 restores what it covered
  EXPECT_EQ(ComposedPixel(gif, 0, 0), kBlue);
  EXPECT_EQ(ComposedPixel(gif, 1, 1), kBlue);
  EXPECT_EQ(ComposedPixel(gif, 3, 0), kYellow);
  EXPECT_TRUE(ComposedTransparent(gif, 2, 2));
  EXPECT_EQ(events, (std::vector<int>{1, -1, 1, -2, 2, -3, 3, -4}));

  // Out of range: nothing changes but the status.
  events.clear();
  for (int32_t bad : {0, 5}) {
    gif.SetCurrentFrame(bad);
    EXPECT_EQ(gif.Status(), 5);
    EXPECT_EQ(gif.CurrentFrame(), 4);
    EXPECT_EQ(ComposedPixel(gif, 3, 0), kYellow);
  }
  EXPECT_TRUE(events.empty());
}

// Decoded frames are kept only while their bytes stay under the cap: here
// two of the three 30 x 30 frames (960 bytes each). The others are decoded
// again each time they are shown, and every frame shows its own picture.
TEST_F(GIFControl, FramesBeyondTheKeptBytesAreDecodedAgainWhenShown) {
  const uint32_t cap = PGMaxImageSize;
  PGMaxImageSize = 2800;  // the 30 x 30 canvas in 24 bits takes 2760
  const TColor colours[] = {kRed, kGreen, kBlue};
  TGIFImg gif(nullptr);
  ASSERT_TRUE(Load(gif, MakeGIF({SolidFrame(kRed, 30, 30), SolidFrame(kGreen, 30, 30), SolidFrame(kBlue, 30, 30)})));
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t i : {2, 3, 1, 3}) {
      gif.SetCurrentFrame(i);
      EXPECT_EQ(ComposedPixel(gif, 29, 29), colours[i - 1]) << pass << " " << i;
      ASSERT_NE(gif.FrameBitmap(i), nullptr);
      EXPECT_EQ(GetPixel(gif.FrameBitmap(i)->Canvas()->Handle(), 3, 3) & 0xFFFFFF, colours[i - 1]);
    }
  TBitmap* first = gif.GetBitmap();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetPixel(first->Canvas()->Handle(), 0, 0) & 0xFFFFFF, kRed);
  PGMaxImageSize = cap;
}

// Played through, a long animation keeps its decoded frames within the
// budget (here 4 MiB, under a lowered cap) however many it shows, and what
// each frame covered only until it is disposed of: 96 frames of 512 x 512
// would hold 24 MiB, and their saved areas 96 MiB.
TEST_F(GIFControl, ALongAnimationLetsItsShownFramesGo) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer keeps freed memory in quarantine";
#endif
  const uint32_t cap = PGMaxImageSize;
  PGMaxImageSize = 4 << 20;
  std::vector<TTestFrame> frames;
  for (int32_t i = 0; i < 96; ++i) {
    frames.push_back(SolidFrame(i % 2 ? kRed : kBlue, 512, 512));
    frames.back().Disposal = 3;
  }
  TGIFImg gif(nullptr);
  ASSERT_TRUE(Load(gif, MakeGIF(frames)));
  gif.SetCurrentFrame(2);
  const int64_t before = ProcessStatusBytes("VmRSS");
  ResetPeakMemory();
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t i = 1; i <= 96; ++i) {
      gif.SetCurrentFrame(i);
      ASSERT_EQ(ComposedPixel(gif, 511, 511), i % 2 ? kBlue : kRed) << i;
    }
  EXPECT_LT(ProcessStatusBytes("VmHWM") - before, int64_t(12) << 20);
  PGMaxImageSize = cap;
}

class GIFControlBuffering : public GIFControl, public ::testing::WithParamInterface<bool> {};

TEST_P(GIFControlBuffering, TransparentPixelsShowTheFormAfterEveryFrame) {
  TTestFrame f1 = SolidFrame(kRed, 20, 20, 100);
  f1.Transparent = true;
  f1.Disposal = 2;
  f1.Color = [](int32_t x, int32_t) { return x < 10 ? kWhite : kRed; };
  TTestFrame f2 = SolidFrame(kBlue, 20, 20, 100);
  f2.Transparent = true;
  f2.Color = [](int32_t, int32_t y) { return y < 10 ? kWhite : kBlue; };
  Show();
  Gif->SetDoubleBuffered(GetParam());
  ASSERT_TRUE(Load(*Gif, MakeGIF({f1, f2})));
  Driver.ProcessMessages();
  EXPECT_EQ(Screen(5, 15), clLime);
  EXPECT_EQ(Screen(15, 15), kRed);
  EXPECT_EQ(Screen(50, 50), clLime);
  // The bitmap of frame 1 holds what the file stores under the transparent index.
  ASSERT_NE(Gif->GetBitmap(), nullptr);
  EXPECT_EQ(GetPixel(Gif->GetBitmap()->Canvas()->Handle(), 5, 15) & 0xFFFFFF, kWhite);
  EXPECT_EQ(Gif->GetBitmap()->Width(), 20);

  Gif->SetAnimate(true);
  Driver.AdvanceClock(250);  // frame 2, after frame 1 was cleared to the background
  EXPECT_EQ(Gif->CurrentFrame(), 1);
  EXPECT_EQ(Screen(5, 5), clLime);
  EXPECT_EQ(Screen(15, 5), clLime);
  EXPECT_EQ(Screen(5, 15), kBlue);
  EXPECT_EQ(Screen(15, 15), kBlue);
}

INSTANTIATE_TEST_SUITE_P(Repaint, GIFControlBuffering, ::testing::Values(true, false),
                         [](const auto& Info) { return Info.param ? "DoubleBuffered" : "Direct"; });

TEST_F(GIFControl, StretchRatioStretchCentreAndTilePlaceThePicture) {
  TTestFrame f = SolidFrame(kRed, 10, 10);
  f.Color = [](int32_t x, int32_t) { return x < 5 ? kRed : kBlue; };
  Show();
  ASSERT_TRUE(Load(*Gif, MakeGIF({f})));
  Gif->SetBounds(10, 10, 200, 100);

  Gif->SetStretchRatio(true);
  Driver.ProcessMessages();
  EXPECT_EQ(Gif->DestRect(), Rect(50, 0, 150, 100));
  EXPECT_EQ(Screen(45, 50), clLime);
  EXPECT_EQ(Screen(60, 50), kRed);
  EXPECT_EQ(Screen(140, 50), kBlue);
  EXPECT_EQ(Screen(155, 50), clLime);
  Gif->SetBounds(10, 10, 100, 150);  // taller than wide: centred vertically
  EXPECT_EQ(Gif->DestRect(), Rect(0, 25, 100, 125));

  Gif->SetBounds(10, 10, 200, 100);
  Gif->SetStretch(true);
  Driver.ProcessMessages();
  EXPECT_EQ(Gif->DestRect(), Rect(0, 0, 200, 100));
  EXPECT_EQ(Screen(5, 50), kRed);
  EXPECT_EQ(Screen(195, 50), kBlue);

  Gif->SetStretch(false);
  Gif->SetStretchRatio(false);
  Gif->SetCenter(true);
  Driver.ProcessMessages();
  EXPECT_EQ(Gif->DestRect(), Rect(95, 45, 105, 55));
  EXPECT_EQ(Screen(96, 50), kRed);
  EXPECT_EQ(Screen(104, 50), kBlue);
  EXPECT_EQ(Screen(90, 50), clLime);
  EXPECT_EQ(Screen(5, 5), clLime);

  // A 100-wide picture on a control 250 wide: columns at 0, 100 and 200.
  TTestFrame wide = SolidFrame(kRed, 100, 10);
  wide.Color = [](int32_t x, int32_t) { return x < 50 ? kRed : kBlue; };
  ASSERT_TRUE(Load(*Gif, MakeGIF({wide})));
  Gif->SetCenter(false);
  Gif->SetTile(true);
  Gif->SetBounds(10, 10, 250, 30);
  Driver.ProcessMessages();
  EXPECT_EQ(Screen(40, 5), kRed);
  EXPECT_EQ(Screen(160, 5), kBlue);
  EXPECT_EQ(Screen(210, 15), kRed);
  EXPECT_EQ(Screen(240, 25), kRed);
  EXPECT_TRUE(Gif->ControlStyle() & csOpaque);
}

TEST_F(GIFControl, AutoSizeTakesTheCanvasSize) {
  TTestFrame f = SolidFrame(kRed, 6, 4);
  f.Left = 10;
  f.Top = 3;
  Show();
  Gif->SetAutoSize(true);
  ASSERT_TRUE(Load(*Gif, MakeGIF({SolidFrame(kBlue, 8, 8), f})));
  EXPECT_EQ(Gif->CanvasWidth(), 16);
  EXPECT_EQ(Gif->CanvasHeight(), 8);
  EXPECT_EQ(Gif->Width(), 16);
  EXPECT_EQ(Gif->Height(), 8);
  EXPECT_EQ(Gif->Left(), 10);
}

TEST_F(GIFControl, FailedLoadsReturnFalseAndLeaveTheControlCleared) {
  const std::vector<uint8_t> good = MakeGIF({SolidFrame(kRed, 10, 10), SolidFrame(kGreen, 10, 10)});
  Show();
  auto loadGood = [&] {
    ASSERT_TRUE(Load(*Gif, good));
    Driver.ProcessMessages();
    ASSERT_EQ(Screen(5, 5), kRed);
    ASSERT_EQ(Gif->Status(), 0);
  };
  auto expectCleared = [&](uint8_t status) {
    EXPECT_EQ(Gif->Status(), status);
    EXPECT_TRUE(Gif->Empty());
    EXPECT_EQ(Gif->FrameCount(), 0);
    EXPECT_EQ(Gif->GetBitmap(), nullptr);
    EXPECT_EQ(Gif->ComposedImage(), nullptr);
    EXPECT_FALSE(Gif->HasData());
    Driver.ProcessMessages();
    EXPECT_EQ(Screen(5, 5), clLime);
  };

  loadGood();
  EXPECT_FALSE(Load(*Gif, {'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0}));
  expectCleared(3);

  loadGood();
  EXPECT_FALSE(Load(*Gif, {}));
  expectCleared(2);

  // Cut inside the first image descriptor: a read past the end.
  loadGood();
  std::vector<uint8_t> cut = good;
  size_t image = 0;
  while (cut[image] != 0x2C) ++image;
  cut.resize(image + 5);
  EXPECT_FALSE(Load(*Gif, cut));
  expectCleared(3);

  // An image block of zero width.
  loadGood();
  std::vector<uint8_t> zero = good;
  zero[image + 5] = zero[image + 6] = 0;
  EXPECT_FALSE(Load(*Gif, zero));
  expectCleared(3);

  // A logical screen far larger than memory allows.
  loadGood();
  std::vector<uint8_t> huge = good;
  huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
  EXPECT_FALSE(Load(*Gif, huge));
  expectCleared(3);

  // The progress handler stops the load.
  loadGood();
  int calls = 0;
  Gif->OnProgress = [&](TObject* Sender, int32_t, int32_t, int32_t, bool& Keep) {
    EXPECT_EQ(Sender, Gif);
    if (++calls == 2) Keep = false;
  };
  EXPECT_FALSE(Load(*Gif, good));
  expectCleared(1);
  Gif->OnProgress = nullptr;
}

TEST_F(GIFControl, AssignCopiesTheGifAndStreamsAsData) {
  TTestFrame f2 = SolidFrame(kGreen, 3, 3);
  f2.Interlaced = true;
  const std::vector<uint8_t> bytes = MakeGIF({SolidFrame(kRed, 5, 4), f2}, 7);
  TGIFImg a(nullptr), b(nullptr), c(nullptr);
  ASSERT_TRUE(Load(a, bytes));
  b.Assign(&a);
  EXPECT_EQ(b.FrameCount(), 2);
  EXPECT_EQ(b.LoopCount(), 7);
  EXPECT_TRUE(b.AnyFrameInterlaced());
  EXPECT_EQ(b.DataStream().Bytes(), a.DataStream().Bytes());
  EXPECT_EQ(ComposedPixel(b, 1, 1), kRed);

  TBitmap bmp;
  bmp.Assign(&b);
  EXPECT_EQ(bmp.Width(), 5);
  EXPECT_EQ(bmp.Height(), 4);
  EXPECT_EQ(GetPixel(bmp.Canvas()->Handle(), 2, 2) & 0xFFFFFF, kRed);

  // The form property: length, then the bytes; parsed when loading ends.
  TMemoryStream form;
  ASSERT_TRUE(b.HasData());
  b.WriteData(form);
  EXPECT_EQ(form.Size(), b.DataStream().Size() + 4);
  form.SetPosition(0);
  c.BeginLoading();
  c.ReadData(form);
  EXPECT_TRUE(c.Empty());
  c.EndLoading();
  EXPECT_EQ(c.FrameCount(), 2);
  EXPECT_EQ(c.Version(), gvGIF89a);

  // A length past the end of the form stream is refused.
  TMemoryStream bad;
  int32_t length = 1000;
  bad.WriteBuffer(&length, 4);
  bad.SetPosition(0);
  TGIFImg d(nullptr);
  EXPECT_THROW(d.ReadData(bad), EReadError);

  // Nil and an empty control clear.
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
  c.Assign(&b);
  EXPECT_TRUE(c.Empty());
  EXPECT_EQ(c.FrameCount(), 0);
  bmp.Assign(&c);
  EXPECT_TRUE(bmp.Empty());
}
