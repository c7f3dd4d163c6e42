// The clipboard (bitmap, packed DIB and text round trips; the viewer chain
// with a viewer leaving; changes made outside) and the shell's recording fake.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <sys/stat.h>
#include <vector>

#include "platform/base/files.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/shell.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/clipboard_viewer_form.h"

namespace {

TBitmap* MakeBitmap() {
  auto* b = new TBitmap();
  b->SetPixelFormat(pf24bit);
  b->SetSize(5, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) b->Canvas()->SetPixels(x, y, static_cast<TColor>(x * 40 + (y * 60 << 8) + (0x30 << 16)));
  return b;
}

class ClipboardTest : public ::testing::Test {
protected:
  void TearDown() override { FinalizeClipboard(); }
  TUiTestDriver Driver;
};

TEST_F(ClipboardTest, BitmapDibAndTextRoundTrips) {
  std::unique_ptr<TBitmap> src(MakeBitmap());
  Clipboard()->Assign(src.get());
  EXPECT_TRUE(Clipboard()->HasFormat(CF_BITMAP));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
  EXPECT_FALSE(Clipboard()->HasFormat(CF_TEXT));
  TBitmap back;
  back.Assign(Clipboard());
  ASSERT_EQ(back.Width(), 5);
  ASSERT_EQ(back.Height(), 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back.Canvas()->Pixels(x, y), src->Canvas()->Pixels(x, y));
  // The packed DIB made from the bitmap: an info header and bottom-up rows.
  std::vector<uint8_t> dib = Clipboard()->PackedDIB();
  ASSERT_GE(dib.size(), 40u + 3 * 16);
  EXPECT_EQ(dib[4], 5);
  EXPECT_EQ(dib[8], 3);
  EXPECT_EQ(dib[14], 24);

  // An 8-bit DIB with a two-colour table goes on as bytes and comes back the same.
  std::vector<uint8_t> pal(40 + 8 + 4 * 2, 0);
  pal[0] = 40, pal[4] = 4, pal[8] = 2, pal[12] = 1, pal[14] = 8, pal[32] = 2;
  pal[40] = 0xFF;                                // entry 0: blue
  pal[44 + 1] = 0xFF;                            // entry 1: green
  pal[48] = 0, pal[49] = 1, pal[50] = 1, pal[51] = 0;  // bottom row
  pal[52] = 1, pal[53] = 0, pal[54] = 0, pal[55] = 1;  // top row
  Clipboard()->SetPackedDIB(pal);
  EXPECT_EQ(Clipboard()->PackedDIB(), pal);
  EXPECT_TRUE(Clipboard()->HasFormat(CF_BITMAP));
  TBitmap fromDib;
  fromDib.Assign(Clipboard());
  EXPECT_EQ(fromDib.Canvas()->Pixels(0, 0), static_cast<TColor>(0x00FF00));
  EXPECT_EQ(fromDib.Canvas()->Pixels(0, 1), static_cast<TColor>(0xFF0000));

  Clipboard()->SetAsText("Quillon: 256 colours");
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_FALSE(Clipboard()->HasFormat(CF_BITMAP));
  EXPECT_EQ(Clipboard()->AsText(), "Quillon: 256 colours");
  TBitmap none;
  EXPECT_THROW(none.Assign(Clipboard()), EClipboardException);
  EXPECT_THROW(Clipboard()->SetPackedDIB({}), EClipboardException);
}

// A graphic of another kind: it takes the packed DIB.
class TDibGraphic : public TGraphic {
public:
  uint16_t Format = 0;
  std::vector<uint8_t> Bytes;
  void Draw(TCanvas*, const TRect&) override {}
  bool GetEmpty() override { return Bytes.empty(); }
  int32_t GetHeight() override { return 0; }
  int32_t GetWidth() override { return 0; }
  void SetHeight(int32_t) override {}
  void SetWidth(int32_t) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
  void LoadFromClipboardFormat(uint16_t F, uintptr_t Data, HPALETTE) override {
    Format = F;
    auto* p = static_cast<const uint8_t*>(GlobalLock(static_cast<HGLOBAL>(Data)));
    Bytes.assign(p, p + GlobalSize(static_cast<HGLOBAL>(Data)));
    GlobalUnlock(static_cast<HGLOBAL>(Data));
  }
  void SaveToClipboardFormat(uint16_t& F, uintptr_t& Data, HPALETTE& Palette) override {
    F = CF_DIB;
    Data = GlobalFromBytes(Bytes);
    Palette = nullptr;
  }
};

TEST_F(ClipboardTest, OtherGraphicsGoOnAndComeOffAsPackedDibs) {
  std::unique_ptr<TBitmap> src(MakeBitmap());
  Clipboard()->Assign(src.get());
  TDibGraphic g;
  g.Assign(Clipboard());
  EXPECT_EQ(g.Format, CF_DIB);
  EXPECT_EQ(g.Bytes, Clipboard()->PackedDIB());
  TDibGraphic h;
  h.Bytes = g.Bytes;
  Clipboard()->Clear();
  EXPECT_FALSE(Clipboard()->HasFormat(CF_DIB));
  Clipboard()->Assign(&h);
  TBitmap back;
  back.Assign(Clipboard());
  EXPECT_EQ(back.Canvas()->Pixels(4, 2), src->Canvas()->Pixels(4, 2));
}

// A clipboard viewer that keeps the chain as its programs must: it passes
// changes on and follows the chain when a viewer leaves.
struct TViewer {
  HWND Wnd = nullptr;
  HWND Next = nullptr;
  int32_t Draws = 0;
};

HWND MakeViewer(TViewer& V) {
  V.Wnd = CreateWindowEx(0, "viewer", WS_POPUP, 0, 0, 10, 10, nullptr,
                         [&V](HWND W, uint32_t Msg, WPARAM WP, LPARAM LP) -> LRESULT {
                           if (Msg == WM_DRAWCLIPBOARD) {
                             ++V.Draws;
                             if (V.Next) SendMessage(V.Next, Msg, WP, LP);
                             return 0;
                           }
                           if (Msg == WM_CHANGECBCHAIN) {
                             if (reinterpret_cast<HWND>(WP) == V.Next) V.Next = reinterpret_cast<HWND>(LP);
                             else if (V.Next) SendMessage(V.Next, Msg, WP, LP);
                             return 0;
                           }
                           return DefWindowProc(W, Msg, WP, LP);
                         });
  V.Next = SetClipboardViewer(V.Wnd);
  return V.Wnd;
}

TEST_F(ClipboardTest, ViewerChainOfThreeWhereTheMiddleOneLeaves) {
  TViewer a, b, c;
  MakeViewer(a);
  MakeViewer(b);
  MakeViewer(c);
  EXPECT_EQ(GetClipboardViewer(), c.Wnd);
  EXPECT_EQ(c.Next, b.Wnd);
  // Joining sends a change to the new head before it knows its successor.
  EXPECT_EQ(a.Draws, 1);
  EXPECT_EQ(c.Draws, 1);
  Clipboard()->SetAsText("one");
  EXPECT_EQ(a.Draws, 2);
  EXPECT_EQ(b.Draws, 2);
  EXPECT_EQ(c.Draws, 2);

  ChangeClipboardChain(b.Wnd, b.Next);
  EXPECT_EQ(c.Next, a.Wnd);
  Clipboard()->SetAsText("two");
  EXPECT_EQ(a.Draws, 3);  // the first still hears
  EXPECT_EQ(b.Draws, 2);
  EXPECT_EQ(c.Draws, 3);

  // The head leaving moves the head.
  ChangeClipboardChain(c.Wnd, c.Next);
  EXPECT_EQ(GetClipboardViewer(), a.Wnd);
  Clipboard()->SetAsText("three");
  EXPECT_EQ(a.Draws, 4);
  EXPECT_EQ(c.Draws, 3);

  // Another program changes the clipboard: the chain hears of it and the
  // clipboard now holds that program's text.
  TUiTestDriver::SetClipboardTextFromOutside("from elsewhere");
  Driver.ProcessMessages();
  EXPECT_EQ(a.Draws, 5);
  EXPECT_EQ(Clipboard()->AsText(), "from elsewhere");
  EXPECT_FALSE(Clipboard()->HasFormat(CF_BITMAP));
  for (TViewer* v : {&a, &b, &c}) DestroyWindow(v->Wnd);
}

TEST_F(ClipboardTest, AHeadDestroyedWithoutLeavingGivesWayToTheViewerBeforeIt) {
  TViewer a, b;
  MakeViewer(a);
  MakeViewer(b);
  // The head only tells the chain by a message of its own (as a window
  // that sends WM_CHANGECBCHAIN itself does), then goes.
  SendMessage(GetClipboardViewer(), WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(b.Wnd),
              reinterpret_cast<LPARAM>(b.Next));
  DestroyWindow(b.Wnd);
  EXPECT_EQ(GetClipboardViewer(), a.Wnd);
  int32_t before = a.Draws;
  Clipboard()->SetAsText("still heard");
  EXPECT_EQ(a.Draws, before + 1);
  DestroyWindow(a.Wnd);
  EXPECT_EQ(GetClipboardViewer(), nullptr);
  Clipboard()->SetAsText("nobody listens");
}

TEST_F(ClipboardTest, AFormWhoseWindowIsMadeAgainHearsEveryChangeAndTheDesktopsDataIsSeenAtOnce) {
  // What the desktop's clipboard held before this process first looked is
  // there for it.
  FinalizeClipboard();
  TUiTestDriver::SetClipboardTextFromOutside("before we started");
  EXPECT_TRUE(Clipboard()->HasFormat(CF_TEXT));
  EXPECT_EQ(Clipboard()->AsText(), "before we started");

  auto* form = new TViewerForm();
  form->Next = SetClipboardViewer(form->Handle());
  const HWND first = form->Handle();
  // A new border makes the form's window again; it stays in the chain.
  form->SetBorderStyle(bsNone);
  ASSERT_NE(form->Handle(), first);
  EXPECT_EQ(GetClipboardViewer(), form->Handle());
  const int32_t before = form->Draws;
  std::unique_ptr<TBitmap> b(MakeBitmap());
  Clipboard()->Assign(b.get());
  EXPECT_EQ(form->Draws, before + 1);
  EXPECT_TRUE(Clipboard()->HasFormat(CF_BITMAP));
  TUiTestDriver::SetClipboardTextFromOutside("from elsewhere");
  Driver.ProcessMessages();
  EXPECT_EQ(form->Draws, before + 2);
  EXPECT_FALSE(Clipboard()->HasFormat(CF_BITMAP));
  form->Free();
}

TEST(Shell, TheRecorderSeesOneArgumentWithBlanksAndAddressesGoToTheOpener) {
  char tmpl[] = "/tmp/quillon shell XXXXXX";
  std::string dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  std::string exe = dir + "quillonpro";
  std::ofstream(exe) << "#!/bin/sh\n";
  chmod(exe.c_str(), 0755);
  std::string doc = dir + "help page.htm";
  std::ofstream(doc) << "<html></html>";
  {
    TShellRecorder rec;
    EXPECT_GT(ShellExecute(nullptr, "Open", exe, dir + "my photo.bmp", "", SW_SHOW), 32);
    EXPECT_GT(ShellExecute(nullptr, "open", "http://www.example.com/", "", "", SW_SHOWNORMAL), 32);
    EXPECT_GT(ShellExecute(nullptr, "open", "mailto:help@example.com", "", "", SW_SHOWNORMAL), 32);
    EXPECT_GT(ShellExecute(nullptr, "open", doc, "", "", SW_SHOW), 32);
    EXPECT_EQ(ShellExecute(nullptr, "open", dir + "missing.exe", "x", "", SW_SHOW), SE_ERR_FNF);
    EXPECT_EQ(ShellExecute(nullptr, "open", "", "", "", SW_SHOW), SE_ERR_FNF);
    ASSERT_EQ(rec.Requests.size(), 4u);
    EXPECT_EQ(rec.Requests[0].Program, exe);
    EXPECT_EQ(rec.Requests[0].Arguments, (std::vector<std::string>{dir + "my photo.bmp"}));
    EXPECT_EQ(rec.Requests[1].Program, "xdg-open");
    EXPECT_EQ(rec.Requests[1].Arguments, (std::vector<std::string>{"http://www.example.com/"}));
    EXPECT_EQ(rec.Requests[2].Arguments, (std::vector<std::string>{"mailto:help@example.com"}));
    EXPECT_EQ(rec.Requests[3].Arguments, (std::vector<std::string>{doc}));
    // A failed start is reported in the same convention.
    rec.Result = SE_ERR_ACCESSDENIED;
    EXPECT_EQ(ShellExecute(nullptr, "open", exe, "", "", SW_SHOW), SE_ERR_ACCESSDENIED);
    EXPECT_TRUE(rec.Requests.back().Arguments.empty());
  }
  // The opener of a document is watched: its exit code reaches the main
  // thread, here from a stand-in that finds no program (as xdg-open does).
  {
    TUiTestDriver driver;
    std::ofstream(dir + "xdg-open") << "#!/bin/sh\nexit 3\n";
    chmod((dir + "xdg-open").c_str(), 0755);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir.c_str(), 1);
    int32_t exitCode = -1;
    EXPECT_GT(ShellExecute(nullptr, "open", doc, "", "", SW_SHOW, [&](int32_t Code) { exitCode = Code; }), 32);
    setenv("PATH", path.c_str(), 1);
    for (int i = 0; i < 1000 && exitCode < 0; ++i) {
      driver.ProcessMessages();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(exitCode, 3);
  }
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
