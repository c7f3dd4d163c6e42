// With no script, the manager's sources are the scanners SANE sees: here the
// two devices of SANE's own test backend, reached through the real libsane in
// the scanning program, or our misbehaving one. Listing and choosing them,
// the scanner kept, the settings step, scans in the pixel type asked for, a
// cancel in the middle of a scan, SANE's failures in the "TWAIN Error" box,
// and a driver that hangs after failing. (A driver that crashes, and the
// settings kept across a restart: tests/app/scanner_test.cpp.)
#include <dlfcn.h>
#include <sane/sane.h>

#include <fstream>

#include "imaging/twain/twain_dialogs.h"
#include "platform/ui/std_controls.h"
#include "sane_test_backend.h"
#include "tests/watchdog.h"
#include "twain_test_util.h"

namespace {

class Sane : public TWatchedTest, public TwainTest {
protected:
  void SetUp() override {
    TwainTest::SetUp();
    ::unsetenv("QUILLON_TWAIN_SCRIPT");
    InitializeStdControls();
    TWAIN_SetInterfaceHidden(true);  // no settings step but where a test shows it
  }
  void TearDown() override {
    Application->OnMessage = nullptr;
    ::unsetenv("SANE_CONFIG_DIR");
    ::unsetenv("LD_LIBRARY_PATH");
    TwainTest::TearDown();
  }
  // The manager itself (the very library the client loads).
  DSMENTRYPROC Manager() {
    void* Module = ::dlopen((std::string(QUILLON_TWAIN_DSM_DIR) + "/" + TWAIN_ManagerFileName).c_str(), RTLD_NOW);
    return Module ? reinterpret_cast<DSMENTRYPROC>(::dlsym(Module, "DSM_Entry")) : nullptr;
  }
  // The device names of the sources from MSG_GETFIRST and MSG_GETNEXT, and
  // the default source's.
  std::vector<std::string> Sources(std::string& Default) {
    DSMENTRYPROC Entry = Manager();
    std::vector<std::string> Names;
    if (!Entry) return Names;
    TW_IDENTITY App{};
    TW_PARENT Parent{};
    EXPECT_EQ(Entry(&App, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &Parent), TWRC_SUCCESS);
    TW_IDENTITY Id{};
    for (TW_UINT16 Msg = MSG_GETFIRST; Entry(&App, nullptr, DG_CONTROL, DAT_IDENTITY, Msg, &Id) == TWRC_SUCCESS;
         Msg = MSG_GETNEXT) {
      EXPECT_STREQ(Id.Manufacturer, "Noname");
      EXPECT_STREQ(Id.ProductFamily, "frontend-tester");
      Names.push_back(Id.ProductName);
    }
    Default = Entry(&App, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &Id) == TWRC_SUCCESS ? Id.ProductName : "";
    EXPECT_EQ(Entry(&App, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &Parent), TWRC_SUCCESS);
    return Names;
  }
  // Clicks the middle of a control.
  void ClickOn(TControl* Control, TRect R = TRect{}) {
    if (R.Right == 0) R = Control->ClientRect();
    Driver.Click(TUiTestDriver::ScreenPoint(Control, (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2));
  }
  // Acquires; the DIB's bytes, freed.
  std::vector<uint8_t> Acquire(uint32_t Mask) {
    HGLOBAL Dib = TWAIN_AcquireDib(nullptr, Mask);
    std::vector<uint8_t> Result = Bytes(Dib);
    TWAIN_ReleaseDib(Dib);
    return Result;
  }
  static int32_t Read32(const std::vector<uint8_t>& B, size_t At) {
    return B[At] | B[At + 1] << 8 | B[At + 2] << 16 | B[At + 3] << 24;
  }
  // Runs Step on the Select Source dialog once it has stopped looking.
  void WhenListed(std::function<void(TSelectSourceForm*)> Step) {
    Driver.WhenIdle([this, Step] {
      auto* Form = dynamic_cast<TSelectSourceForm*>(Screen->ActiveForm());
      ASSERT_NE(Form, nullptr);
      if (Form->Looking()) return WhenListed(Step);  // the list comes with the manager's message
      Step(Form);
    });
  }
  // Runs Step on the settings step.
  void WhenSettings(std::function<void(TScanSettingsForm*)> Step) {
    Driver.WhenIdle([Step] {
      auto* Form = dynamic_cast<TScanSettingsForm*>(Screen->ActiveForm());
      ASSERT_NE(Form, nullptr);
      Step(Form);
    });
  }
  // The person's settings file, as the manager keeps it.
  void KeepSettings(const std::string& Lines) {
    std::filesystem::create_directories(Dir + "config/quillon");
    std::ofstream(TWAIN_SettingsFileName()) << Lines;
  }
};

TEST_F(Sane, ScannersAreTheSourcesAndThePersonChoosesOne) {
  UseSaneTestBackend("Color", 8);
  std::string Default;
  EXPECT_EQ(Sources(Default), (std::vector<std::string>{"test:0", "test:1"}));

  std::vector<std::string> Shown;
  WhenListed([&](TSelectSourceForm* Form) {
    Shown = Form->Sources->Items();
    ClickOn(Form->Sources, Form->Sources->ItemRect(1));
    ClickOn(Form->btnSelect);
  });
  EXPECT_TRUE(TWAIN_SelectImageSource(nullptr));
  EXPECT_EQ(Shown, (std::vector<std::string>{"Noname frontend-tester (test:0)", "Noname frontend-tester (test:1)"}));
  Sources(Default);
  EXPECT_EQ(Default, "test:1");

  // Cancelled: nothing chosen, nothing said.
  Driver.WhenIdle([&] { ClickOn(dynamic_cast<TSelectSourceForm*>(Screen->ActiveForm())->btnCancel); });
  EXPECT_FALSE(TWAIN_SelectImageSource(nullptr));
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  EXPECT_EQ(TWAIN_SessionState(), 1);

  // No scanner, none kept: an empty list to choose from, and Acquire says so.
  UseNoSaneBackend();
  KeepSettings("");
  EXPECT_TRUE(Sources(Default).empty());
  WhenListed([&](TSelectSourceForm* Form) {
    EXPECT_TRUE(Form->Sources->Items().empty());
    EXPECT_EQ(Form->Label1->Caption(), "No source was found.");
    EXPECT_FALSE(Form->btnSelect->Enabled());
    Driver.PressKey(VK_ESCAPE);
  });
  EXPECT_FALSE(TWAIN_SelectImageSource(nullptr));
  EXPECT_TRUE(Acquire(0).empty());
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text,
            "Unable to open default Data Source.\nSource Manager operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_NODS (No Data Source)\nNo scanner was found.");
}

TEST_F(Sane, ScansComeInThePixelTypeAskedFor) {
  const uint32_t Grey = 1u << TWPT_GRAY, Rgb = 1u << TWPT_RGB;
  struct TCase {
    const char* Mode;  // the scanner's own setting
    int Depth;
    uint32_t Mask;  // what the client asks for
    int Bits;
  };
  for (TCase C : {TCase{"Color", 8, Grey, 8}, TCase{"Gray", 16, Rgb, 24}, TCase{"Color", 16, 0, 24},
                  TCase{"Gray", 16, Grey, 8}, TCase{"Gray", 1, 0, 1}}) {
    SCOPED_TRACE(std::string(C.Mode) + " " + std::to_string(C.Depth) + " mask " + std::to_string(C.Mask));
    UseSaneTestBackend(C.Mode, C.Depth);
    std::vector<uint8_t> Dib = Acquire(C.Mask);
    ASSERT_GE(Dib.size(), 40u);
    EXPECT_EQ(Read32(Dib, 4), 100);
    EXPECT_EQ(Read32(Dib, 8), 50);
    EXPECT_EQ(Dib[14], C.Bits);
    EXPECT_EQ(TWAIN_DibSize(Dib.data(), Dib.size()), Dib.size());
    const uint8_t* Pixels = TWAIN_DibBits(Dib.data());
    EXPECT_EQ(Pixels[0], C.Bits == 1 ? 0xFF : 0);  // black: set bits of line art, else zeros
  }
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Sane, ACancelInTheMiddleOfAScanGivesNoImageAndNoBox) {
  // 50 lines of 300 bytes, one line per read.
  UseSaneTestBackend("Color", 8, {"read-limit true", "read-limit-size 300"});
  HWND Wnd = CreateWindowEx(0, "main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr, &DefWindowProc);
  int32_t CancelledAt = -1;
  bool WindowEnabled = true;
  Application->OnMessage = [&](TMsg&, bool&) {
    auto* Form = dynamic_cast<TScanProgressForm*>(Screen->ActiveForm());
    if (!Form || CancelledAt >= 0 || Form->ProgressBar1->Position() < 300) return;
    CancelledAt = Form->ProgressBar1->Position();
    WindowEnabled = IsWindowEnabled(Wnd);
    ClickOn(Form->btnCancel);
  };
  EXPECT_EQ(TWAIN_AcquireDib(Wnd, 0), 0u);
  EXPECT_GE(CancelledAt, 300);
  EXPECT_LT(CancelledAt, 1000);
  EXPECT_FALSE(WindowEnabled);  // the application waited behind the progress
  EXPECT_TRUE(IsWindowEnabled(Wnd));
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_EQ(dynamic_cast<TScanProgressForm*>(Screen->ActiveForm()), nullptr);

  // The scanner is free again.
  Application->OnMessage = nullptr;
  std::vector<uint8_t> Dib = Acquire(0);
  ASSERT_GE(Dib.size(), 40u);
  EXPECT_EQ(Read32(Dib, 8), 50);
  DestroyWindow(Wnd);
}

TEST_F(Sane, AScannerFailureShowsSanesOwnWords) {
  UseSaneTestBackend("Color", 8, {"read-status-code \"SANE_STATUS_JAMMED\""});
  EXPECT_TRUE(Acquire(0).empty());
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Caption, "TWAIN Error");
  EXPECT_EQ(Driver.MessageBoxes()[0].Text,
            "Failed to enable Data Source.\nDataSource operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_OPERATIONERROR (DS or DSM reported error, app shouldn't)\n" +
                std::string(sane_strstatus(SANE_STATUS_JAMMED)));
  EXPECT_EQ(TWAIN_SessionState(), 1);
  EXPECT_EQ(dynamic_cast<TScanProgressForm*>(Screen->ActiveForm()), nullptr);
}

TEST_F(Sane, TheSettingsStepOffersWhatTheScannerHasAndScansAsChosen) {
  UseSaneTestBackend("Color", 8);
  TWAIN_SetInterfaceHidden(false);
  WhenSettings([&](TScanSettingsForm* Form) {
    EXPECT_EQ(Form->Label1->Caption(), "Noname frontend-tester (test:0)");
    EXPECT_FALSE(Form->Note->Visible());
    ASSERT_TRUE(Form->Modes && Form->Resolution && Form->Areas);
    EXPECT_EQ(Form->Modes->Items(), (std::vector<std::string>{"Gray", "Color"}));
    EXPECT_EQ(Form->Modes->ItemIndex(), 1);
    EXPECT_EQ(Form->Resolution->MinValue(), 1);
    EXPECT_EQ(Form->Resolution->MaxValue(), 1200);
    EXPECT_EQ(Form->Resolution->Value(), 254);
    // A 200 x 200 mm bed: A6 and the photo sizes fit, A5 does not.
    EXPECT_EQ(Form->Areas->Items(),
              (std::vector<std::string>{"Whole bed (200 x 200 mm)", "A6 (105 x 148 mm)", "10 x 15 cm (101.6 x 152.4 mm)",
                                        "13 x 18 cm (127 x 177.8 mm)", "As the scanner sets it (10 x 5 mm)"}));
    EXPECT_EQ(Form->Areas->ItemIndex(), 4);
    ClickOn(Form->Modes, Form->Modes->ItemRect(0));
    Form->Resolution->SetValue(150);
    ClickOn(Form->Areas, Form->Areas->ItemRect(1));
    ClickOn(Form->btnScan);
  });
  std::vector<uint8_t> Dib = Acquire(0);
  ASSERT_GE(Dib.size(), 40u);
  EXPECT_EQ(Dib[14], 8);                  // grey
  EXPECT_NEAR(Read32(Dib, 4), 620, 1);    // 105 mm at 150 dpi
  EXPECT_NEAR(Read32(Dib, 8), 874, 1);    // 148 mm
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Sane, AKeptScannerIsShownAtOnceAndOneThatIsGoneGivesWayToTheFirst) {
  const std::string PidFile = Dir + "pid";
  KeepSettings("Source=test:7\nSource.Vendor=Noname\nSource.Model=frontend-tester\n");
  EXPECT_TRUE(TWAIN_DefaultSourceKept());
  // While SANE looks (here for ever) the scanner kept is there to choose;
  // Cancel stops the waiting and the scanning program.
  UseSaneFaultBackend({"hang list"}, PidFile);
  std::function<void()> WhenHanging = [&] {
    if (!std::filesystem::exists(PidFile)) return Driver.WhenIdle(WhenHanging);  // not yet in the driver
    auto* Form = dynamic_cast<TSelectSourceForm*>(Screen->ActiveForm());
    ASSERT_NE(Form, nullptr);
    EXPECT_TRUE(Form->Looking());
    EXPECT_EQ(Form->Label1->Caption(), "Looking for scanners...");
    EXPECT_EQ(Form->Sources->Items(), std::vector<std::string>{"Noname frontend-tester (test:7)"});
    EXPECT_EQ(Form->Sources->ItemIndex(), 0);
    ClickOn(Form->btnCancel);
  };
  Driver.WhenIdle(WhenHanging);
  EXPECT_FALSE(TWAIN_SelectImageSource(nullptr));
  EXPECT_TRUE(ProcessEnds(PidFile, 20));

  // Acquire opens the scanner kept; it is gone, so the first one found
  // scans, and the settings step says so.
  UseSaneTestBackend("Gray", 8);
  TWAIN_SetInterfaceHidden(false);
  WhenSettings([&](TScanSettingsForm* Form) {
    EXPECT_EQ(Form->Label1->Caption(), "Noname frontend-tester (test:0)");
    EXPECT_TRUE(Form->Note->Visible());
    EXPECT_EQ(Form->Note->Caption(), "The scanner chosen before, Noname frontend-tester (test:7), was not found.");
    ClickOn(Form->btnScan);
  });
  std::vector<uint8_t> Dib = Acquire(0);
  ASSERT_GE(Dib.size(), 40u);
  EXPECT_EQ(Read32(Dib, 4), 100);
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  EXPECT_TRUE(TWAIN_DefaultSourceKept());  // still the person's choice, should it come back
}

TEST_F(Sane, ADriverThatFailsAndHangsOrRefusesAValueCostsOnlyTheScan) {
  const std::string PidFile = Dir + "pid";
  // It fails, then hangs when told to cancel: SANE's words at once, and its
  // program is ended.
  UseSaneFaultBackend({"fail read", "hang cancel"}, PidFile);
  EXPECT_TRUE(Acquire(0).empty());
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text,
            "Failed to enable Data Source.\nDataSource operation failed\nRC:   TWRC_FAILURE\n"
            "CC:   TWCC_OPERATIONERROR (DS or DSM reported error, app shouldn't)\n" +
                std::string(sane_strstatus(SANE_STATUS_IO_ERROR)));
  EXPECT_TRUE(ProcessEnds(PidFile, 20));

  // It refuses a resolution: the settings step says so in SANE's words.
  Driver.ClearMessageBoxes();
  UseSaneFaultBackend({"refuse resolution"}, PidFile);
  TWAIN_SetInterfaceHidden(false);
  WhenSettings([&](TScanSettingsForm* Form) { ClickOn(Form->btnScan); });
  WhenSettings([&](TScanSettingsForm* Form) {
    EXPECT_EQ(Form->Note->Caption(), "Scan resolution: " + std::string(sane_strstatus(SANE_STATUS_INVAL)));
    ClickOn(Form->btnCancel);
  });
  EXPECT_TRUE(Acquire(0).empty());
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

}  // namespace
