// Scanning from the full edition with the source manager beside its
// executable and no script: SANE's test backend lists two scanners, the
// Select button chooses one, and Acquire brings its scan into the viewer
// through the scanner's settings step, or nothing when the person cancels
// there or half-way through the scan; the scanner chosen and its settings
// are there again after a restart; a driver that hangs or crashes leaves the
// editor its picture.
#include <fstream>

#include "app_fixture.h"
#include "controls/toolbars.h"
#include "imaging/twain/pg_twain.h"
#include "imaging/twain/twain_dialogs.h"
#include "imaging/viewer/pg_image.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/menus.h"
#include "tests/small_disk.h"
#include "tests/twain/sane_test_backend.h"
#include "tests/watchdog.h"

namespace {

class Scanner : public TWatchedTest, public AppTest {
protected:
  void SetUp() override {
#ifndef QUILLON_TWAIN_SANE
    GTEST_SKIP() << "the source manager was built without SANE";
#endif
    AppTest::SetUp();
    unsetenv("QUILLON_TWAIN_SCRIPT");
    // The person's private runtime folder, where a scan waits to be loaded.
    Runtime = Dir + "run";
    ::mkdir(Runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", Runtime.c_str(), 1);
    // The folder of the full edition's executable, as when it runs.
    TWAIN_SetManagerFolder(QUILLON_PRO_DIR);
  }
  void TearDown() override {
    Application->OnMessage = nullptr;
    unsetenv("XDG_RUNTIME_DIR");
    AppTest::TearDown();
    unsetenv("SANE_CONFIG_DIR");
    unsetenv("LD_LIBRARY_PATH");
  }
  // Twain > Select Source, choosing the scanner at Index once all are listed.
  std::vector<std::string> SelectSource(int32_t Index) {
    std::vector<std::string> Shown;
    std::function<void()> Choose = [&] {
      auto* Dialog = dynamic_cast<TSelectSourceForm*>(Screen->ActiveForm());
      ASSERT_NE(Dialog, nullptr);
      if (Dialog->Looking()) return Driver.WhenIdle(Choose);  // the rest come with the manager's message
      Shown = Dialog->Sources->Items();
      Driver.Click(TUiTestDriver::ScreenPoint(Dialog->Sources, Dialog->Sources->ItemRect(Index).Left + 20,
                                              Dialog->Sources->ItemRect(Index).Top + 8));
      Driver.Click(TUiTestDriver::ScreenPoint(Dialog->btnSelect, 10, 10));
    };
    Driver.WhenIdle(Choose);
    Form->Select1->Click();
    return Shown;
  }
  // Runs Step on the scanner's settings step.
  void WhenSettings(std::function<void(TScanSettingsForm*)> Step) {
    Driver.WhenIdle([Step] {
      auto* Settings = dynamic_cast<TScanSettingsForm*>(Screen->ActiveForm());
      ASSERT_NE(Settings, nullptr);
      Step(Settings);
    });
  }
  void Click(TControl* Control, TRect R = TRect{}) {
    if (R.Right == 0) R = Control->ClientRect();
    Driver.Click(TUiTestDriver::ScreenPoint(Control, (R.Left + R.Right) / 2, (R.Top + R.Bottom) / 2));
  }
  // Acquire Image, pressing Scan in the settings step.
  void Scan() {
    WhenSettings([this](TScanSettingsForm* Settings) { Click(Settings->btnScan); });
    Form->Acquire1->Click();
  }
  std::string Runtime;
};

TEST_F(Scanner, SelectSourceAndAcquireBringTheScanIntoTheViewer) {
  UseSaneTestBackend("Gray", 8);
  Start();
  EXPECT_TRUE(Form->Twain1->Enabled());
  EXPECT_TRUE(Form->btnTwain->Visible());
  EXPECT_EQ(SelectSource(1),
            (std::vector<std::string>{"Noname frontend-tester (test:0)", "Noname frontend-tester (test:1)"}));
  EXPECT_TRUE(Form->Acquire1->Enabled());
  ASSERT_EQ(Form->btnTwain->Caption(), "Acquire");

  // The second scan would replace the first, not yet saved: No lets it.
  Driver.AnswerMessageBoxes({IDNO});
  UseSaneTestBackend("Color", 8, {"test-picture \"Color pattern\""});
  for (auto [Mode, Format] : {std::pair{0, pf8Bit}, std::pair{1, pf24Bit}}) {  // Gray, Color
    SCOPED_TRACE(Mode);
    WhenSettings([this, Mode = Mode](TScanSettingsForm* Settings) {
      Click(Settings->Modes, Settings->Modes->ItemRect(Mode));
      Click(Settings->btnScan);
    });
    Form->Acquire1->Click();
    TPixelGraphic* Picture = Form->Image1->GetPixelGraphic();
    ASSERT_TRUE(Picture && !Picture->Empty());
    EXPECT_EQ(Picture->GetWidth(), 100);
    EXPECT_EQ(Picture->GetHeight(), 50);
    EXPECT_EQ(Form->Pristine()->PixelFormat(), Format);
    EXPECT_TRUE(Form->btnSave->Enabled());
    // The scan names no file (not the scanner's temporary one) and is unsaved;
    // the temporary file it came through is gone from the private runtime folder.
    EXPECT_EQ(Form->FileName(), "Untitled");
    EXPECT_TRUE(Form->Untitled() && Form->Modified());
    EXPECT_TRUE(FolderNames(Runtime + "/quillon").empty());
  }
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Save changes to \"Untitled\"?");
  EXPECT_TRUE(Form->Enabled());
}

TEST_F(Scanner, ACancelledScanLeavesNoImageAndNoBox) {
  UseSaneTestBackend("Color", 8, {"read-limit true", "read-limit-size 300"});
  Start();
  SelectSource(0);
  int32_t CancelledAt = -1;
  Application->OnMessage = [&](TMsg&, bool&) {
    auto* Progress = dynamic_cast<TScanProgressForm*>(Screen->ActiveForm());
    if (!Progress || CancelledAt >= 0 || Progress->ProgressBar1->Position() < 300) return;
    CancelledAt = Progress->ProgressBar1->Position();
    Driver.Click(TUiTestDriver::ScreenPoint(Progress->btnCancel, 10, 10));
  };
  Scan();
  EXPECT_GT(CancelledAt, 0);
  EXPECT_LT(CancelledAt, 1000);
  TPixelGraphic* Picture = Form->Image1->GetPixelGraphic();
  EXPECT_TRUE(!Picture || Picture->Empty());
  EXPECT_FALSE(Form->btnSave->Enabled());
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  EXPECT_TRUE(Form->Enabled());
  EXPECT_EQ(Screen->ActiveForm(), Form);
}

TEST_F(Scanner, TheScannerChosenAndItsSettingsAreThereAfterARestart) {
  UseSaneTestBackend("Color", 8);
  Start();
  SelectSource(1);
  WhenSettings([this](TScanSettingsForm* Settings) {
    Click(Settings->Modes, Settings->Modes->ItemRect(0));  // Gray
    Settings->Resolution->SetValue(150);
    Click(Settings->Areas, Settings->Areas->ItemRect(1));  // A6
    Click(Settings->btnScan);
  });
  Form->Acquire1->Click();
  ASSERT_NE(Form->Image1->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Form->Pristine()->PixelFormat(), pf8Bit);
  EXPECT_NEAR(Form->Image1->PixelGraphicNoWait()->GetWidth(), 620, 1);

  Close();
  Start();
  EXPECT_TRUE(Form->Acquire1->Enabled());
  EXPECT_EQ(Form->btnTwain->Caption(), "Acquire");
  // Cancel in the settings step: the picture stays, nothing is said.
  const std::string photo = WritePhoto("photo.bmp", 9, 6);
  Form->LoadFile(photo);
  WhenSettings([](TScanSettingsForm* Settings) {
    EXPECT_EQ(Settings->Label1->Caption(), "Noname frontend-tester (test:1)");
    EXPECT_EQ(Settings->Modes->ItemIndex(), 0);
    EXPECT_EQ(Settings->Resolution->Value(), 150);
    EXPECT_EQ(Settings->Areas->ItemIndex(), 1);
    Settings->btnCancel->Click();
  });
  Form->Acquire1->Click();
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 9);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  EXPECT_EQ(Screen->ActiveForm(), Form);
}

// A driver that hangs when the person cancels, or crashes half-way, costs
// the scan only: the editor answers again with its picture, and the scanning
// program is ended.
TEST_F(Scanner, ADriverThatHangsOrCrashesLeavesTheEditorItsPicture) {
  const std::string PidFile = Dir + "pid";
  UseSaneFaultBackend({"hang cancel"}, PidFile);
  Start();
  const std::string photo = WritePhoto("photo.bmp", 9, 6);
  Form->LoadFile(photo);
  SelectSource(0);
  bool Cancelled = false;
  Application->OnMessage = [&](TMsg&, bool&) {
    auto* Progress = dynamic_cast<TScanProgressForm*>(Screen->ActiveForm());
    if (!Progress || Cancelled) return;
    Cancelled = true;
    Driver.Click(TUiTestDriver::ScreenPoint(Progress->btnCancel, 10, 10));
  };
  Scan();
  EXPECT_TRUE(Cancelled);
  EXPECT_TRUE(ProcessEnds(PidFile, 20));
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  Application->OnMessage = nullptr;
  UseSaneFaultBackend({"crash read"}, PidFile);
  Scan();
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_NE(Driver.MessageBoxes()[0].Text.find("[quillonfault] the lamp failed at line 2"), std::string::npos);
  EXPECT_TRUE(ProcessEnds(PidFile, 20));
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 9);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_TRUE(Form->Enabled());
  EXPECT_EQ(Screen->ActiveForm(), Form);
}

}  // namespace

namespace {

// The source manager's scripted source (no SANE needed): the script says
// whether the person chooses it and which BMP file it delivers.
class ScriptedScanner : public AppTest {
protected:
  void SetUp() override {
    AppTest::SetUp();
    setenv("QUILLON_TWAIN_SCRIPT", (Dir + "script.txt").c_str(), 1);
    TWAIN_SetManagerFolder(QUILLON_PRO_DIR);
  }
  void TearDown() override {
    AppTest::TearDown();
    unsetenv("QUILLON_TWAIN_SCRIPT");
  }
  void Script(const std::string& Lines) { std::ofstream(Dir + "script.txt", std::ios::trunc) << Lines; }
  void ClickScannerButton() {
    Driver.Click(TUiTestDriver::ScreenPoint(Form->btnTwain, 10, 10));
    Driver.ProcessMessages();
  }
};

// The toolbar's scanner button selects a source until one is chosen, and
// from then on acquires, as Twain > Acquire Image does.
TEST_F(ScriptedScanner, TheToolbarButtonSelectsUntilASourceIsChosenThenAcquires) {
  const std::string scan = WritePhoto("scan.bmp", 7, 5);
  Script("userselect=cancel\nimage=" + scan + "\n");
  Start();
  ASSERT_TRUE(Form->btnTwain->Visible());
  EXPECT_EQ(Form->btnTwain->Caption(), "Select");
  EXPECT_EQ(Form->btnTwain->Hint(), "Select Source");
  EXPECT_FALSE(Form->Acquire1->Enabled());
  ClickScannerButton();  // the person cancels the choice: the button still selects
  EXPECT_EQ(Form->btnTwain->Caption(), "Select");
  EXPECT_EQ(Form->btnTwain->Hint(), "Select Source");
  EXPECT_FALSE(Form->Acquire1->Enabled());

  Script("userselect=ok\nimage=" + scan + "\n");
  ClickScannerButton();
  EXPECT_TRUE(Form->Acquire1->Enabled());
  EXPECT_EQ(Form->btnTwain->Caption(), "Acquire");
  EXPECT_EQ(Form->btnTwain->Hint(), "Acquire Image");
  EXPECT_TRUE(Form->Image1->PixelGraphicNoWait() == nullptr || Form->Image1->PixelGraphicNoWait()->Empty());
  ClickScannerButton();
  ASSERT_NE(Form->Image1->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 7);
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetHeight(), 5);
  EXPECT_TRUE(Form->btnSave->Enabled());
  EXPECT_EQ(Form->btnTwain->Caption(), "Acquire");
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

// A scan that no reader can read says "Unable to aquire image" and leaves
// the picture and its name as they were.
TEST_F(ScriptedScanner, AScanThatCannotBeReadSaysSoAndKeepsThePicture) {
  // A BMP whose pixels are in a compression no reader knows.
  const std::string bad = WritePhoto("bad.bmp", 4, 4);
  std::vector<uint8_t> bytes = ReadWholeFile(bad);
  bytes[14 + 16] = 9;  // biCompression
  WriteWholeFile(bad, bytes);
  const std::string photo = WritePhoto("photo.bmp", 9, 6);
  Script("image=" + bad + "\n");
  Start();
  Form->LoadFile(photo);
  Form->Select1->Click();
  ASSERT_TRUE(Form->Acquire1->Enabled());
  Driver.ClearMessageBoxes();
  Form->Acquire1->Click();
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Unable to aquire image");
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 9);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_TRUE(QLNLoadingIdle);
  EXPECT_EQ(Screen->Cursor(), crDefault);
}

}  // namespace
