// The preview thread on its own: fitting, the mailbox of results, progress
// throttling and the pictures it makes for each screen depth.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "imaging/viewer/pg_preview_thread.h"
#include "pg_dialog_test_util.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_queue.h"

using namespace pgdialog_test;

namespace {

using Thread = TCreateOpenSaveDialogPaintPGThread;

TEST(PreviewFit, KeepsTheAspectRatioAndLeavesSmallPicturesAlone) {
  auto fit = [](int32_t W, int32_t H, int32_t PW, int32_t PH, bool One) {
    TSize s = Thread::FitToPane(W, H, PW, PH, One);
    return std::vector<int32_t>{s.cx, s.cy};
  };
  EXPECT_EQ(fit(4000, 1000, 100, 100, true), (std::vector<int32_t>{100, 25}));
  EXPECT_EQ(fit(1000, 4000, 100, 100, true), (std::vector<int32_t>{25, 100}));
  EXPECT_EQ(fit(16, 16, 134, 134, true), (std::vector<int32_t>{16, 16}));
  EXPECT_EQ(fit(300, 300, 100, 50, true), (std::vector<int32_t>{50, 50}));
  // A sliver keeps one pixel in the thread; the pane's drawing leaves it out.
  EXPECT_EQ(fit(100000, 1, 100, 100, true), (std::vector<int32_t>{100, 1}));
  EXPECT_EQ(fit(100000, 1, 100, 100, false), (std::vector<int32_t>{100, 0}));
  // Wider than the pane but not taller: fitted to the width.
  EXPECT_EQ(fit(200, 50, 100, 100, true), (std::vector<int32_t>{100, 25}));
}

// Counts the pictures alive, to see that dropped ones are freed.
std::atomic<int32_t> Alive{0};
class TCountedGraphic : public TPixelGraphic {
public:
  TCountedGraphic() { ++Alive; }
  ~TCountedGraphic() override { --Alive; }
};

TEST(PreviewMailbox, HandsOutOnlyTheAnnouncedPictureAndFreesStaleOnes) {
  TPreviewMailbox box;
  auto first = std::make_unique<TCountedGraphic>();
  TPixelGraphic* p1 = first.get();
  box.Put(1, std::move(first));
  EXPECT_EQ(box.Take(2, p1), nullptr);       // another preview's message
  TCountedGraphic other;
  EXPECT_EQ(box.Take(1, &other), nullptr);   // not the picture announced
  auto got = box.Take(1, p1);
  EXPECT_EQ(got.get(), p1);
  EXPECT_TRUE(box.Empty());
  EXPECT_EQ(box.Take(1, p1), nullptr);       // taken once only
  got.reset();
  EXPECT_EQ(Alive, 1);                       // "other"

  box.Put(2, std::make_unique<TCountedGraphic>());
  box.Put(3, std::make_unique<TCountedGraphic>());  // replaces and frees 2
  EXPECT_EQ(Alive, 2);
  box.Clear();
  EXPECT_EQ(Alive, 1);
  EXPECT_TRUE(box.Empty());
}

// A hidden window that records the messages a preview thread posts.
class Recorder {
public:
  Recorder() {
    Wnd = AllocateHWnd([this](TMessage& M) {
      if (M.Msg == PGM_PREVIEWPROGRESS || M.Msg == PGM_PREVIEWREADY) Got.push_back(M);
      else M.Result = DefWindowProc(Wnd, M.Msg, M.WParam, M.LParam);
    });
  }
  ~Recorder() { DeallocateHWnd(Wnd); }
  HWND Wnd;
  std::vector<TMessage> Got;
};

// Within a cell of the optimal palette's colour histogram.
bool Near(TColor A, TColor B) {
  for (int shift = 0; shift < 24; shift += 8)
    if (std::abs(int((A >> shift) & 0xFF) - int((B >> shift) & 0xFF)) > 8) return false;
  return true;
}

class PreviewThreadTest : public DialogTest {
protected:
  // Runs a preview of Path to its end and returns the picture posted.
  std::unique_ptr<TPixelGraphic> Run(const std::string& Path, int32_t Pane, TPalette8BitSys24BitGraphic P24 = pOptimized252Sys16,
                                     TPalette8BitSys8BitGraphic P8 = pOptimized252Sys16) {
    Thread t(true, false);
    t.FileName = Path;
    t.Page = Rec.Wnd;
    t.Serial = 7;
    t.Mailbox = Box;
    t.PaneWidth = t.PaneHeight = Pane;
    t.Palette8BitSys24BitGraphic = P24;
    t.Palette8BitSys8BitGraphic = P8;
    HDC screen = GetScreenDC();
    t.ScreenDepth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseScreenDC(screen);
    t.Start();
    t.WaitFor();
    Driver.ProcessMessages();
    for (const TMessage& m : Rec.Got)
      if (m.Msg == PGM_PREVIEWREADY) {
        EXPECT_EQ(m.WParam, 7u);
        return Box->Take(7, reinterpret_cast<TPixelGraphic*>(m.LParam));
      }
    return nullptr;
  }
  Recorder Rec;
  std::shared_ptr<TPreviewMailbox> Box = std::make_shared<TPreviewMailbox>();
};

TEST_F(PreviewThreadTest, ProgressIsPostedOnNewTickBucketsOrSixteenthsAndTerminationAborts) {
  Thread t(true, true);
  t.Page = Rec.Wnd;
  t.Stage = 2;
  Driver.AdvanceClock(1000);
  t.LastReport = GetTickCount();
  bool abort = true;
  auto hook = [&](int32_t Step, int32_t Max) { t.PreviewProgressHook(nullptr, Step, Max, abort); };
  hook(5, 100);    // 5 %: same 100 ms bucket, same sixteenth: quiet
  hook(16, 100);   // the next sixteenth
  hook(16, 100);   // no change of percent
  Driver.AdvanceClock(99);
  hook(17, 100);   // still the same bucket and sixteenth
  Driver.AdvanceClock(1);
  hook(18, 100);   // a new bucket
  hook(3, 0);      // no range: nothing
  EXPECT_FALSE(abort);
  Driver.ProcessMessages();
  ASSERT_EQ(Rec.Got.size(), 2u);
  EXPECT_EQ(Rec.Got[0].WParam, 32u);  // stage x 16
  EXPECT_EQ(Rec.Got[0].LParam, 16);
  EXPECT_EQ(Rec.Got[1].LParam, 18);
  EXPECT_EQ(t.Percent, 18);
  t.Terminate();
  hook(19, 100);
  EXPECT_TRUE(abort);
}

TEST_F(PreviewThreadTest, PicturesForTrueColourPaletteAndSixteenColourScreens) {
  WriteBmp(Dir + "wide.bmp", 400, 100, 0x0000FF, 0x00FF00);
  // True colour: fitted, 24 bit.
  auto p = Run(Dir + "wide.bmp", 100);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->GetWidth(), 100);
  EXPECT_EQ(p->GetHeight(), 25);
  EXPECT_EQ(p->PixelFormat(), pf24Bit);
  EXPECT_EQ(p->GetPixelColor(10, 10), 0x00FF00u);
  EXPECT_EQ(p->GetPixelColor(90, 10), 0x0000FFu);
  EXPECT_TRUE(Box->Empty());

  // 8-bit screen: the optimal colours (here the two used) and the 16
  // system colours.
  SetScreenBitsPerPixel(8);
  Rec.Got.clear();
  p = Run(Dir + "wide.bmp", 100);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->PixelFormat(), pf8Bit);
  ASSERT_EQ(p->PaletteCount(), 18);
  EXPECT_EQ(p->GetPaletteEntry(17), 0xFFFFFFu);  // the last system colour
  EXPECT_TRUE(Near(p->GetPixelColor(90, 10), 0x0000FF)) << std::hex << p->GetPixelColor(90, 10);
  // ... or the palette kind chosen for true-colour pictures.
  Rec.Got.clear();
  p = Run(Dir + "wide.bmp", 100, pSpecial216);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->PaletteIdent(), pSpecial216);

  // A palette picture with pSource keeps its own palette.
  TPixelGraphic pal;
  pal.NewImage(8, 8, pf4Bit);
  pal.SetPaletteIdent(pGray16);
  pal.SetPixel(1, 1, 5);
  pal.SaveToFile(Dir + "gray.bmp");
  Rec.Got.clear();
  p = Run(Dir + "gray.bmp", 100, pOptimized252Sys16, pSource);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->PixelFormat(), pf8Bit);
  EXPECT_EQ(p->PaletteCount(), 16);
  EXPECT_EQ(p->GetPixelColor(1, 1), pal.GetPixelColor(1, 1));

  // Below 8 bits: the 16 system colours.
  SetScreenBitsPerPixel(4);
  Rec.Got.clear();
  p = Run(Dir + "wide.bmp", 100);
  ASSERT_TRUE(p);
  EXPECT_EQ(p->PixelFormat(), pf4Bit);
  EXPECT_EQ(p->PaletteIdent(), pSys16);
  EXPECT_EQ(p->GetPixelColor(90, 10), 0x0000FFu);
}

TEST_F(PreviewThreadTest, MissingBrokenAndUnknownFilesEndWithoutAMessage) {
  WriteText(Dir + "notes.txt", "no picture here");
  // A bitmap header whose pixels are cut off.
  WriteBmp(Dir + "full.bmp", 64, 64, 0x123456);
  std::string bytes;
  {
    std::ifstream in(Dir + "full.bmp", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  WriteText(Dir + "cut.bmp", bytes.substr(0, 80));
  WriteText(Dir + "header.bmp", bytes.substr(0, 20));
  for (const char* name : {"missing.bmp", "notes.txt", "cut.bmp", "header.bmp"}) {
    Rec.Got.clear();
    EXPECT_EQ(Run(Dir + name, 100), nullptr) << name;
    EXPECT_TRUE(Box->Empty());
  }
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(PreviewThreadTest, ThePlaceholderAndATerminatedThreadPostNothing) {
  WriteBmp(Dir + "a.bmp", 300, 300, 0x123456);
  Thread placeholder(false, true);
  placeholder.Page = Rec.Wnd;
  placeholder.AfterConstruction();
  placeholder.WaitFor();
  Thread t(true, false);
  t.FileName = Dir + "a.bmp";
  t.Page = Rec.Wnd;
  t.Mailbox = Box;
  t.PaneWidth = t.PaneHeight = 100;
  t.Terminate();  // before it starts: the reader and the resampling stop at once
  t.Start();
  t.WaitFor();
  Driver.ProcessMessages();
  EXPECT_TRUE(Rec.Got.empty());
  EXPECT_TRUE(Box->Empty());
}

}  // namespace
