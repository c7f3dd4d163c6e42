// Acquisition from the scripted source: the session's calls in order, the
// modal loop, the pending images, cancels and close requests, the pixel
// type negotiation and every "TWAIN Error" box.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "imaging/core/pixel_graphic.h"
#include "platform/base/stream.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"
#include "twain_test_util.h"

namespace {

const std::vector<uint32_t> FourPixels = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080};

class Acquire : public TwainTest {
protected:
  void SetUp() override {
    TwainTest::SetUp();
    Image = WriteFile("in.bmp", MakeBmp(2, 2, FourPixels));
  }
  // Acquires with Lines as the script; expects no image and one error box
  // whose text is returned.
  std::string FailingAcquire(const std::vector<std::string>& Lines, uint32_t Mask = 0) {
    std::vector<std::string> All = Lines;
    All.push_back("image=" + Image);
    Script(All);
    Driver.ClearMessageBoxes();
    HGLOBAL Dib = TWAIN_AcquireDib(nullptr, Mask);
    EXPECT_EQ(Dib, 0u);
    TWAIN_ReleaseDib(Dib);
    EXPECT_EQ(TWAIN_SessionState(), 1);
    if (Driver.MessageBoxes().size() != 1) return "<" + std::to_string(Driver.MessageBoxes().size()) + " boxes>";
    EXPECT_EQ(Driver.MessageBoxes()[0].Caption, "TWAIN Error");
    EXPECT_EQ(Driver.MessageBoxes()[0].Type, static_cast<uint32_t>(MB_ICONEXCLAMATION));
    return Driver.MessageBoxes()[0].Text;
  }
  std::string Image;
};

TEST_F(Acquire, OneImageThroughTheWholeSessionAndBackToStateOne) {
  Script({"image=" + Image});
  HGLOBAL Dib = TWAIN_AcquireDib(nullptr, 0);
  ASSERT_NE(Dib, 0u);
  std::vector<uint8_t> File = ReadFile(Image);
  std::vector<uint8_t> Got = Bytes(Dib);
  EXPECT_EQ(Got, std::vector<uint8_t>(File.begin() + 14, File.end()));
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  TPixelGraphic G;
  TMemoryStream M;
  M.Bytes() = Got;
  G.ReadDIB(M, false, 0);
  EXPECT_EQ(G.GetWidth(), 2);
  EXPECT_EQ(G.GetPixelColor(0, 0), 0x0000FFu);
  EXPECT_EQ(G.GetPixelColor(1, 1), 0x808080u);
  TWAIN_ReleaseDib(Dib);

  EXPECT_EQ(Calls(), (std::vector<std::string>{
                         "DG_CONTROL/DAT_PARENT/MSG_OPENDSM -> 0",
                         "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS -> 0",
                         "DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS ShowUI=1 -> 0",
                         "DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT MSG_XFERREADY -> 4",
                         "DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET -> 6",
                         "DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER -> 0",
                         "DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS -> 0",
                         "DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS -> 0",
                         "DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM -> 0",
                     }));
}

TEST_F(Acquire, ThreeImagesReadyGiveTheFirstAndResetTheRest) {
  std::vector<uint8_t> Palette = MakeBmp(3, 1, {0, 1, 2}, {0x000000, 0xFFFFFF, 0x0000FF});
  Script({"image=" + WriteFile("pal.bmp", Palette), "count=3"});
  TWAIN_SetInterfaceHidden(true);
  HGLOBAL Dib = TWAIN_AcquireDib(nullptr, 0);
  ASSERT_NE(Dib, 0u);
  EXPECT_EQ(Bytes(Dib).size(), Palette.size() - 14);
  TWAIN_ReleaseDib(Dib);
  std::vector<std::string> C = Calls();
  EXPECT_TRUE(Called("MSG_ENABLEDS ShowUI=0"));
  int32_t Transfers = 0;
  for (const std::string& L : C) Transfers += L.find("DAT_IMAGENATIVEXFER") != std::string::npos;
  EXPECT_EQ(Transfers, 1);
  auto End = std::find(C.begin(), C.end(), "DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER -> 0");
  ASSERT_NE(End, C.end());
  EXPECT_EQ(*(End + 1), "DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET -> 0");
  EXPECT_EQ(*(End + 2), "DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS -> 0");
}

TEST_F(Acquire, CancelledFailedOrClosedTransfersGiveNoImageAndNoBox) {
  for (const char* Line : {"transfer=cancel", "transfer=fail", "event=closereq"}) {
    SCOPED_TRACE(Line);
    Script({"image=" + Image, Line});
    std::remove((Dir + "log.txt").c_str());
    EXPECT_EQ(TWAIN_AcquireDib(nullptr, 0), 0u);
    EXPECT_TRUE(Driver.MessageBoxes().empty());
    EXPECT_EQ(TWAIN_SessionState(), 1);
    // The source asked to close; the client disabled it and closed down.
    EXPECT_TRUE(Called("MSG_PROCESSEVENT MSG_CLOSEDSREQ -> 4"));
    EXPECT_TRUE(Called("MSG_CLOSEDSM -> 0"));
  }
  // A source that claims a bigger image than it delivers gives none.
  std::vector<uint8_t> Short = MakeBmp(2, 2, FourPixels);
  Short.resize(Short.size() - 4);
  Script({"image=" + WriteFile("short.bmp", Short)});
  EXPECT_EQ(TWAIN_AcquireDib(nullptr, 0), 0u);
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Acquire, TheLoopDisablesTheWindowAndDispatchesItsMessages) {
  bool EnabledDuringLoop = true;
  int32_t Seen = 0;
  HWND Wnd = CreateWindowEx(0, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                            [&](HWND H, uint32_t Msg, WPARAM W, LPARAM L) -> LRESULT {
                              if (Msg == WM_USER + 7) {
                                ++Seen;
                                EnabledDuringLoop = IsWindowEnabled(H);
                              }
                              return DefWindowProc(H, Msg, W, L);
                            });
  ASSERT_TRUE(IsWindow(Wnd));
  Driver.ProcessMessages();
  Script({"image=" + Image});
  PostMessage(Wnd, WM_USER + 7, 0, 0);
  HGLOBAL Dib = TWAIN_AcquireDib(Wnd, 0);
  EXPECT_NE(Dib, 0u);
  TWAIN_ReleaseDib(Dib);
  EXPECT_EQ(Seen, 1);
  EXPECT_FALSE(EnabledDuringLoop);
  EXPECT_TRUE(IsWindowEnabled(Wnd));

  // A handle that is no longer a window is replaced by a proxy window.
  DestroyWindow(Wnd);
  Dib = TWAIN_AcquireDib(Wnd, 0);
  EXPECT_NE(Dib, 0u);
  TWAIN_ReleaseDib(Dib);
}

TEST_F(Acquire, QuitEndsTheLoopAndIsConsumed) {
  HWND Wnd = CreateWindowEx(0, "main", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                            [](HWND H, uint32_t Msg, WPARAM W, LPARAM L) -> LRESULT {
                              if (Msg == WM_USER + 8) PostQuitMessage(0);
                              return DefWindowProc(H, Msg, W, L);
                            });
  Script({"image=" + Image, "event=none"});  // a source waiting for its user
  PostMessage(Wnd, WM_USER + 8, 0, 0);
  EXPECT_EQ(TWAIN_AcquireDib(Wnd, 0), 0u);
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_TRUE(IsWindowEnabled(Wnd));
  TMsg Msg;
  EXPECT_FALSE(PeekMessage(Msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  // Nothing ever comes: the driver's blocked wait leaves the loop by an
  // exception, and the session still goes down and the window comes back.
  Driver.SetBlockTimeout(0);  // no worker thread can end the wait
  EXPECT_THROW(TWAIN_AcquireDib(Wnd, 0), ETestDriverBlocked);
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_TRUE(IsWindowEnabled(Wnd));
  EXPECT_TRUE(Called("MSG_CLOSEDSM -> 0"));
  DestroyWindow(Wnd);
}

TEST_F(Acquire, PixelTypesAreNarrowedToTheMask) {
  const uint32_t BwRgb = (1u << TWPT_BW) | (1u << TWPT_RGB);
  Script({"image=" + Image, "pixeltypes=enum 0 1 2"});
  HGLOBAL Dib = TWAIN_AcquireDib(nullptr, BwRgb);
  EXPECT_NE(Dib, 0u);
  TWAIN_ReleaseDib(Dib);
  EXPECT_TRUE(Called("DG_CONTROL/DAT_CAPABILITY/MSG_GET -> 0"));
  EXPECT_TRUE(Called("DG_CONTROL/DAT_CAPABILITY/MSG_SET 0101 enum 0 2 current -1 -> 0"));

  // A single value in the mask needs no MSG_SET.
  std::remove((Dir + "log.txt").c_str());
  Script({"image=" + Image, "pixeltypes=onevalue 2"});
  Dib = TWAIN_AcquireDib(nullptr, BwRgb);
  EXPECT_NE(Dib, 0u);
  TWAIN_ReleaseDib(Dib);
  EXPECT_FALSE(Called("MSG_SET"));
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Acquire, NegotiationFailuresNameTheirCause) {
  const std::string Head = "Failed to negotiate Pixel Type.\n";
  const uint32_t Rgb = 1u << TWPT_RGB;
  EXPECT_EQ(FailingAcquire({"pixeltypes=enum 0 1"}, Rgb), Head + "App and source found NO values in common");
  EXPECT_EQ(FailingAcquire({"pixeltypes=onevalue 1"}, Rgb), Head + "App and source found NO values in common");
  EXPECT_EQ(FailingAcquire({"pixeltypes=range"}, Rgb), Head + "Returned container is not valid type");
  EXPECT_EQ(FailingAcquire({"pixeltypes=null"}, Rgb), Head + "MSG_GET returned a NULL container handle");
  EXPECT_EQ(FailingAcquire({"pixeltypes=int32 2"}, Rgb), Head + "Returned container has invalid ItemType");
  EXPECT_EQ(FailingAcquire({"pixeltypes=enum"}, Rgb), Head + "Returned container is empty");
  EXPECT_EQ(FailingAcquire({"pixeltypes=tiny"}, Rgb), Head + "MSG_GET returned an invalid container handle");
  // Pixel types beyond the mask's 32 bits match nothing.
  EXPECT_EQ(FailingAcquire({"pixeltypes=enum 40"}, 0xFFFFFFFF), Head + "App and source found NO values in common");
  EXPECT_EQ(FailingAcquire({"fail=capget 6"}, Rgb),
            Head + "DAT_CAPABILITY/MSG_GET failed\nRC:   TWRC_FAILURE\nCC:   TWCC_BADCAP (Unknown capability)");
  EXPECT_EQ(FailingAcquire({"fail=capset 10"}, Rgb),
            Head + "DAT_CAPABILITY/MSG_SET failed\nRC:   TWRC_FAILURE\nCC:   TWCC_BADVALUE (Data parameter out of range)");
  // The session went down after each failure.
  EXPECT_TRUE(Called("MSG_CLOSEDS -> 0"));
}

TEST_F(Acquire, SessionFailuresShowTheirBoxes) {
  EXPECT_EQ(FailingAcquire({"fail=opends 4"}),
            "Unable to open default Data Source.\nSource Manager operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_MAXCONNECTIONS (DS is connected to max possible apps)");
  EXPECT_EQ(FailingAcquire({"fail=opends 99"}),
            "Unable to open default Data Source.\nSource Manager operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   99 (undefined)");
  // The status call itself failing reports an unknown cause.
  EXPECT_EQ(FailingAcquire({"fail=opends 4", "fail=status 0"}),
            "Unable to open default Data Source.\nSource Manager operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_BUMMER (Failure due to unknown causes)");
  EXPECT_EQ(FailingAcquire({"fail=enableds 5"}),
            "Failed to enable Data Source.\nDataSource operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_OPERATIONERROR (DS or DSM reported error, app shouldn't)");
  EXPECT_EQ(FailingAcquire({"fail=opendsm 1"}), "Unable to open Source Manager (TWAIN_32.DLL)");

  TWAIN_SetManagerFolder(Dir);  // no manager there
  EXPECT_EQ(FailingAcquire({}), "Unable to load Source Manager (TWAIN_32.DLL)");
}

TEST_F(Acquire, AcquireToFileSavesOrSaysNothingCame) {
  Script({"image=" + Image});
  EXPECT_EQ(TWAIN_AcquireToFile(nullptr, Dir + "out.bmp"), 0);
  EXPECT_EQ(ReadFile(Dir + "out.bmp"), ReadFile(Image));
  Script({"image=" + Image, "transfer=cancel"});
  EXPECT_EQ(TWAIN_AcquireToFile(nullptr, Dir + "none.bmp"), -1);
}

}  // namespace
