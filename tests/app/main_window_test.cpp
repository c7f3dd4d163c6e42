#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>

#include "app/pg_tools.h"
#include "app_fixture.h"
#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/viewer/pg_image.h"
#include "imaging/viewer/pg_open_dialog.h"
#include "imaging/viewer/pg_save_dialog.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/shell.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/window_internal.h"
#include "controls/toolbars.h"
#include "gif/control/gif_img.h"
#include "tests/small_disk.h"

namespace {

TEST_F(AppTest, StartsWithTitleMenuAndCommandsDisabled) {
  Start();
  EXPECT_EQ(Application->Title(), "Quillon Pro version 2.5");
  EXPECT_EQ(GIFApplicationTitle(), "Quillon Pro version 2.5");
  EXPECT_EQ(Form->Caption(), "Quillon Pro");
  EXPECT_EQ(Form->MainMenu1->Items()->Count(), 7);
  EXPECT_EQ(Form->StatBar->Panels()->Count(), 6);
  EXPECT_FALSE(Form->btnSave->Enabled());
  EXPECT_FALSE(Form->SaveAs1->Enabled());
  EXPECT_FALSE(Form->Copy1->Enabled());
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_FALSE(Form->Reset1->Enabled());
  EXPECT_TRUE(Form->Color1->Checked());
  EXPECT_EQ(Form->edColors->Value(), 256);
  EXPECT_EQ(Form->edZoom->Value(), 100);
  EXPECT_NE(Screen->Cursors(crTransparent), nullptr);
  EXPECT_FALSE(Form->CropBar->Visible());
  EXPECT_FALSE(Form->GIFImage1->Visible());
}

// At the default size every control of the toolbar lies inside the window,
// and the scanner button holds its longer caption, "Acquire", uncut.
TEST_F(AppTest, WholeToolbarShowsAtTheDefaultSize) {
  Start();
  TBitmap measure;
  measure.Canvas()->Font()->Assign(Form->btnTwain->Font());
  EXPECT_LE(measure.Canvas()->TextWidth("Acquire"), Form->btnTwain->Width() - 3);
  const int32_t right = TUiTestDriver::ScreenPoint(Form, Form->ClientWidth(), 0).X;
  int32_t shown = 0;
  for (int32_t i = 0; i < Form->Toolbar1->ControlCount(); ++i) {
    TControl* c = Form->Toolbar1->Controls(i);
    if (!c->Visible()) continue;
    ++shown;
    EXPECT_LE(TUiTestDriver::ScreenPoint(c, c->Width(), 0).X, right) << i;
  }
  EXPECT_GE(shown, 17);
  EXPECT_LE(Form->Width(), Screen->Width());
}

// The picture's size and the estimate fit their panels at their longest.
TEST_F(AppTest, StatusPanelsHoldTheirLongestTexts) {
  Start();
  TBitmap measure;
  measure.Canvas()->Font()->Assign(Form->StatBar->Font());
  // A picture 65535 pixels a side at zoom 800; the GIF of 2^30 pixels at 12
  // bits each.
  const std::pair<int32_t, const char*> longest[] = {{0, "524280 x 524280"}, {2, "Size: 1579005k"}};
  for (const auto& [panel, text] : longest) {
    const TRect r = Form->StatBar->PanelRect(panel);
    EXPECT_LE(measure.Canvas()->TextWidth(text), r.Width() - 6) << text;
  }
}

TEST_F(AppTest, ResetLeavesCropModeAndStoresTheBarPosition) {
  WritePhoto("c.bmp", 10, 10);
  Start();
  Form->LoadFile(Dir + "c.bmp");
  Form->Crop1Click(nullptr);
  ASSERT_TRUE(Form->CropBar->Visible());
  Form->ResetControls();
  EXPECT_FALSE(Form->btnCrop->Down());
  EXPECT_FALSE(Form->CropBar->Visible());
  EXPECT_EQ(Panel(1), "0 \xC2\xB0");
  EXPECT_EQ(Form->Pending(), 0);
  TSettingsFile s(QLNSettingsFileName());
  EXPECT_TRUE(s.KeyExists("cropbarleft"));
  EXPECT_TRUE(s.KeyExists("cropbartop"));
}

TEST_F(AppTest, OpenReduceEstimateSaveThroughTheDialogs) {
  // A dot in a folder name is not an extension.
  const std::string folder = Dir + "my.photos/";
  ASSERT_TRUE(ForceDirectories(folder));
  const std::string photo = WritePhoto("my.photos/photo.bmp");
  Start();
  OpenThroughDialog("photo.bmp", folder);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_EQ(Form->OpenDialog1->InitialDir(), ExtractFilePath(photo));
  TPixelGraphic* shown = Form->Image1->GetPixelGraphic();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->PixelFormat(), pf8Bit);
  EXPECT_EQ(shown->GetWidth(), 64);
  EXPECT_EQ(Form->Pristine()->Width(), 64);
  // The count shows the colours the estimate's GIF held, the picture's own;
  // the commands are on.
  auto colours = [&] { return static_cast<int32_t>(ColourCount(*Form->Image1->GetPixelGraphic())); };
  EXPECT_EQ(Form->edColors->Value(), GIFColorCount);
  EXPECT_EQ(GIFColorCount, colours());
  EXPECT_EQ(Form->Reset1->Enabled(), GIFColorCount < 256);
  EXPECT_TRUE(Form->btnSave->Enabled());
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_EQ(Panel(2).rfind("Size: ", 0), 0u);
  EXPECT_NE(Panel(2), "Size: ?");
  EXPECT_EQ(Panel(0), "64 x 48");
  EXPECT_EQ(Panel(5), photo);

  // Fewer colours: pending until Apply, then reduced and estimated again.
  Form->edColors->SetValue(8);
  EXPECT_EQ(Panel(2), "Size: ?");
  EXPECT_TRUE(Form->btnRefresh->Enabled());
  Form->btnRefreshClick(nullptr);
  EXPECT_FALSE(Form->btnRefresh->Enabled());
  EXPECT_TRUE(Form->Reset1->Enabled());
  EXPECT_EQ(Form->Pending(), 0);
  EXPECT_LE(GIFColorCount, 8);
  EXPECT_EQ(GIFColorCount, colours());
  EXPECT_NE(Panel(2), "Size: ?");

  // Save As proposes the name without its extension, then writes a GIF.
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    EXPECT_EQ(d->FileName(), folder + "photo");
    d->SelectFilterIndex(d->FilterIndex());
    d->SetNameBoxText(folder + "small.gif");
    d->Accept();
  });
  Form->SaveAs1Click(nullptr);
  EXPECT_EQ(Form->FileName(), folder + "small.gif");
  ASSERT_TRUE(FileExists(folder + "small.gif"));
  std::ifstream f(folder + "small.gif", std::ios::binary);
  char sig[6] = {};
  f.read(sig, 6);
  EXPECT_EQ(std::string(sig, 6), "GIF89a");
  TPixelGraphic back;
  back.LoadFromFile(folder + "small.gif");
  EXPECT_EQ(back.GetWidth(), 64);
  EXPECT_EQ(back.GetHeight(), 48);
  EXPECT_LE(ColourCount(back), 8u);
  EXPECT_LE(Form->edColors->Value(), 8);
  // The window shows the saved file, loaded back.
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 64);
}

TEST_F(AppTest, PaletteKindsPickFormatAndCountControl) {
  WritePhoto("p.bmp", 20, 10);
  Start();
  Form->LoadFile(Dir + "p.bmp");
  Form->ColorGrayScaleClick(Form->Netscape1);
  EXPECT_FALSE(Form->edColors->Enabled());
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf8Bit);
  Form->ColorGrayScaleClick(Form->BlackWhite1);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf1Bit);
  EXPECT_EQ(GIFColorCount, 2);
  Form->ColorGrayScaleClick(Form->N16shadesofgray1);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf4Bit);
  Form->ColorGrayScaleClick(Form->Color1);
  EXPECT_TRUE(Form->edColors->Enabled());
  EXPECT_EQ(Form->PaletteKind(), pUnknown);
  EXPECT_EQ(Form->PixelFormatClass(), 2);
}

// A file's size as the status bar gives it: kilobytes plus a half, rounded
// half to even.
std::string SizeText(size_t Bytes) {
  return "Size: " + std::to_string(static_cast<int64_t>(std::nearbyint(Bytes / 1024.0 + 0.5))) + "k";
}

// At a zoom the picture is shown, estimated and saved at its displayed
// size, each side rounded half to even (31 pixels at 50 % give 16, 29 give
// 14); Apply after a zoom alone estimates again without reducing, the
// estimate is the saved GIF's size, and the saved file comes back at 100 %.
TEST_F(AppTest, AZoomedPictureIsEstimatedAndSavedAtItsShownSize) {
  Start();
  for (auto [side, shown] : {std::pair{31, 16}, std::pair{29, 14}}) {
    SCOPED_TRACE(side);
    WritePhoto("z.bmp", side, side);
    Form->LoadFile(Dir + "z.bmp");
    const int32_t colours = Form->edColors->Value();
    Form->edZoom->SetValue(50);
    EXPECT_TRUE(Form->Pending() & 1);
    EXPECT_EQ(Panel(2), "Size: ?");
    Form->btnRefreshClick(nullptr);
    Driver.ProcessMessages();
    EXPECT_EQ(Form->edColors->Value(), colours);
    const std::string size = std::to_string(shown) + " x " + std::to_string(shown);
    EXPECT_EQ(Panel(0), size);
    const std::string estimate = Panel(2);
    Form->SaveFile(Dir + "half.gif");
    EXPECT_EQ(estimate, SizeText(FileBytes(Dir + "half.gif").size()));
    TPixelGraphic back;
    back.LoadFromFile(Dir + "half.gif");
    EXPECT_EQ(back.GetWidth(), shown);
    EXPECT_EQ(back.GetHeight(), shown);
    EXPECT_EQ(Form->edZoom->Value(), 100);
    EXPECT_EQ(Panel(0), size);
    EXPECT_EQ(Panel(2), estimate);
  }
  // Other formats are saved at the shown size too.
  Form->edZoom->SetValue(50);
  Form->SaveFile(Dir + "half.png");
  TPixelGraphic back;
  back.LoadFromFile(Dir + "half.png");
  EXPECT_EQ(back.GetWidth(), 7);
}

// The GIF saved is the one the estimate measured: the size shown before
// saving is the file's, the file holds the picture shown, and the window
// shows what the file holds. A transparent colour picked shows in the file
// and changes no byte count.
TEST_F(AppTest, SaveWritesTheEstimatedGifAndShowsWhatItHolds) {
  WritePhoto("e.bmp", 64, 48);
  Start();
  Form->LoadFile(Dir + "e.bmp");
  TPixelGraphic before;
  before.Assign(Form->Image1->GetPixelGraphic());
  const std::string size = Panel(2);
  const int32_t colours = Form->edColors->Value();

  Form->SaveFile(Dir + "e.gif");
  EXPECT_EQ(size, SizeText(FileBytes(Dir + "e.gif").size()));
  TPixelGraphic back;
  back.LoadFromFile(Dir + "e.gif");
  TPixelGraphic* shown = Form->Image1->GetPixelGraphic();
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      ASSERT_EQ(back.GetPixelColor(x, y), before.GetPixelColor(x, y)) << x << "," << y;
      ASSERT_EQ(Form->Pristine()->GetPixelColor(x, y), back.GetPixelColor(x, y));
      ASSERT_EQ(shown->GetPixelColor(x, y), back.GetPixelColor(x, y));
    }
  EXPECT_EQ(Panel(2), size);
  EXPECT_EQ(Form->edColors->Value(), colours);

  // Saved twice with a colour picked: the same bytes, the same size, and the
  // picked colour is the transparent one.
  Form->SetTransparentMode(true);
  const TColor picked = back.GetPixelColor(3, 4);
  GIFTransparentColor = picked;
  Form->UpdateSizeInfo();
  EXPECT_EQ(Panel(2), size);
  Form->SaveFile(Dir + "t.gif");
  Form->SaveFile(Dir + "t2.gif");
  EXPECT_TRUE(Form->PickMode());
  const std::vector<uint8_t> bytes = FileBytes(Dir + "t.gif");
  EXPECT_EQ(bytes, FileBytes(Dir + "t2.gif"));
  EXPECT_EQ(SizeText(bytes.size()), size);
  EXPECT_EQ(GifTransparentColour(bytes), picked);
}

// A black-and-white or grey picture of 1 or 4 bits is estimated as it is
// mapped too: the size shown is the saved GIF's.
TEST_F(AppTest, OneAndFourBitPicturesAreEstimatedAtTheSavedGifsSize) {
  WritePhoto("g.bmp", 320, 240);
  Start();
  for (TMenuItem* item : {Form->BlackWhite1, Form->N4shadesofgray1, Form->N16shadesofgray1}) {
    Form->LoadFile(Dir + "g.bmp");
    Form->ColorGrayScaleClick(item);
    const std::string estimate = Panel(2);
    Form->SaveFile(Dir + "g.gif");
    EXPECT_EQ(estimate, SizeText(FileBytes(Dir + "g.gif").size())) << item->Caption();
  }
}

TEST_F(AppTest, ResetRestoresThePristineImage) {
  WritePhoto("r.bmp", 15, 10);
  Start();
  Form->LoadFile(Dir + "r.bmp");
  const int32_t opened = Form->edColors->Value();
  ASSERT_EQ(opened, 150);
  RotateImage(Form->Image1, 90);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 10);
  Form->ColorGrayScaleClick(Form->BlackWhite1);
  Form->Reset1Click(nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 15);
  EXPECT_TRUE(Form->Color1->Checked());
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf8Bit);
  // After a reset the count reads as after Open, with nothing waiting for
  // Apply; a black-and-white palette still loses the colours, so it can be
  // reset again.
  EXPECT_EQ(Form->edColors->Value(), opened);
  EXPECT_EQ(Form->Pending(), 0);
  EXPECT_FALSE(Form->Reset1->Enabled());
  Form->ColorGrayScaleClick(Form->BlackWhite1);
  EXPECT_TRUE(Form->Reset1->Enabled());
}

// A file on the command line (the lite edition's hand-over) is opened as
// File > Open does, so it can be worked on at once.
TEST_F(AppTest, CommandLineFileOpensLikeFileOpen) {
  const std::string photo = WritePhoto("cmd.bmp", 16, 16);
  Start({"quillonpro", photo});
  ASSERT_NE(Form->Image1->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 16);
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->PixelFormat(), pf8Bit);
  EXPECT_EQ(Form->OpenDialog1->FileName(), photo);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_EQ(Panel(5), photo);
  EXPECT_EQ(Form->Pristine()->Width(), 16);
  EXPECT_EQ(Form->edColors->Value(), GIFColorCount);
  EXPECT_EQ(Panel(2).rfind("Size: ", 0), 0u);
  EXPECT_NE(Panel(2), "Size: ?");
  EXPECT_TRUE(Form->btnSave->Enabled());
  EXPECT_TRUE(Form->btnTransparent->Enabled());
  EXPECT_TRUE(Form->EditPalette1->Enabled());
  EXPECT_TRUE(QLNLoadingIdle);
}

// A damaged file named on the command line: the window comes first, then
// the reason with the file's name.
TEST_F(AppTest, ADamagedCommandLineFileIsReportedByNameOnceTheWindowShows) {
  std::ofstream(Dir + "bad.bmp", std::ios::binary) << "BM garbage";
  SetCommandLine({"quillonpro", Dir + "bad.bmp"});
  QuillonProCreateForms();
  Form = Form1;
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  Form->Show();
  Driver.ProcessMessages();
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text.rfind("Cannot open file \"" + Dir + "bad.bmp\".\n", 0), 0u)
      << Driver.MessageBoxes()[0].Text;
  EXPECT_GT(Driver.MessageBoxes()[0].Text.size(), Dir.size() + 30);
  EXPECT_FALSE(Form->btnSave->Enabled());
}

TEST_F(AppTest, MissingCommandLineFileIsIgnored) {
  Start({"quillonpro", Dir + "nothing.bmp"});
  EXPECT_TRUE(Form->Image1->PixelGraphicNoWait() == nullptr || Form->Image1->PixelGraphicNoWait()->Empty());
}

TEST_F(AppTest, SettingsRoundTripAndOldNameIsAdopted) {
  {
    std::ofstream old(ConfigDir + "quillon.cfg");
    TSettingsFile s(ConfigDir + "quillon.cfg");
    s.WriteInteger("left", 30);
    s.WriteInteger("top", 40);
    s.WriteInteger("width", 500);
    s.WriteInteger("height", 350);
    s.WriteInteger("bgcolor", 0x123456);
    s.WriteString("ShowTips", "TRUE");
    s.WriteInteger("TipIndex", 7);
    s.UpdateFile();
  }
  Start();
  EXPECT_FALSE(FileExists(ConfigDir + "quillon.cfg"));
  EXPECT_TRUE(FileExists(ConfigDir + "quillonpro.cfg"));
  EXPECT_EQ(Form->Left(), 30);
  EXPECT_EQ(Form->Width(), 500);
  EXPECT_EQ(Form->BackgroundColor(), static_cast<TColor>(0x123456));
  EXPECT_TRUE(Form->ShowTipsAtStart());
  EXPECT_EQ(Form->TipIndex(), 7);
  Form->SetBounds(60, 70, 520, 360);
  Close();
  TSettingsFile s(QLNSettingsFileName());
  EXPECT_EQ(s.ReadInteger("WindowState", -1), 0);
  EXPECT_EQ(s.ReadInteger("left", 0), 60);
  EXPECT_EQ(s.ReadInteger("height", 0), 360);
  EXPECT_EQ(s.ReadString("ShowTips", ""), "TRUE");
  EXPECT_EQ(s.ReadInteger("TipIndex", 0), 7);
}

TEST_F(AppTest, MaximisedCloseKeepsStoredBounds) {
  {
    TSettingsFile s(QLNSettingsFileName());
    s.WriteInteger("WindowState", 2);
    s.WriteInteger("left", 11);
    s.WriteInteger("top", 12);
    s.WriteInteger("width", 400);
    s.WriteInteger("height", 300);
    s.UpdateFile();
  }
  Start();
  EXPECT_EQ(Form->WindowState(), wsMaximized);
  Close();
  TSettingsFile s(QLNSettingsFileName());
  EXPECT_EQ(s.ReadInteger("WindowState", 0), 2);
  EXPECT_EQ(s.ReadInteger("left", 0), 11);
  EXPECT_EQ(s.ReadInteger("width", 0), 400);
}

// A settings file that is no readable file (a folder, a pipe, a loop of
// links) starts the window at once with the defaults, says so once the
// window shows, naming the file and the reason, and is not written over
// when the window closes.
TEST_F(AppTest, ASettingsFileThatCannotBeReadGivesTheDefaultsAndStaysAsItIs) {
  const std::string cfg = QLNSettingsFileName();
  const struct {
    const char* Reason;
    std::function<int()> Make;
    mode_t Type;
  } cases[] = {
      {"Is a directory", [&] { return ::mkdir(cfg.c_str(), 0755); }, S_IFDIR},
      {"Not a regular file", [&] { return ::mkfifo(cfg.c_str(), 0644); }, S_IFIFO},
      {"Too many levels of symbolic links", [&] { return ::symlink("quillonpro.cfg", cfg.c_str()); }, S_IFLNK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Reason);
    ASSERT_EQ(c.Make(), 0);
    {
      TPipeRescue rescue(cfg);
      SetCommandLine({"quillonpro"});
      QuillonProCreateForms();
      Form = Form1;
      EXPECT_TRUE(Driver.MessageBoxes().empty());  // said over the window, not before it
      Form->Show();
      Driver.ProcessMessages();
      EXPECT_EQ(Form->BackgroundColor(), static_cast<TColor>(0xFFFFFF));
      EXPECT_EQ(Form->TipIndex(), 0);
      EXPECT_FALSE(Form->ShowTipsAtStart());
      Form->SetBounds(60, 70, 520, 360);
      Close();
      rescue.Done();
      EXPECT_FALSE(rescue.Rescued()) << "start-up or close waited on the pipe";
    }
    ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
    EXPECT_NE(Driver.MessageBoxes()[0].Text.find("\"" + cfg + "\": " + c.Reason), std::string::npos)
        << Driver.MessageBoxes()[0].Text;
    struct stat st {};
    ASSERT_EQ(::lstat(cfg.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & S_IFMT, c.Type);
    std::system(("rm -rf '" + cfg + "'").c_str());
    Driver.ClearMessageBoxes();
  }
}

// Settings that cannot be written are told once, with the file and the
// system's reason, however often the window tries.
TEST_F(AppTest, SettingsThatCannotBeWrittenAreToldOnce) {
  IgnoreFileSizeSignal();  // as the program's start-up does
  Start();
  {
    TFileSizeLimit limit(0);
    Form->Crop1Click(nullptr);
    Form->Crop1Click(nullptr);  // crop mode ends: the bar's place is stored
    Close();
  }
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text,
            "The settings were not saved.\nCannot create file \"" + QLNSettingsFileName() + "\": File too large.");
  EXPECT_FALSE(FileExists(QLNSettingsFileName()));
}

// Another program holds the settings (their lock) and does not let go:
// closing the window still ends, after a short wait, and says once that
// the settings were not saved.
TEST_F(AppTest, ClosingEndsWhileAnotherProgramHoldsTheSettings) {
  Start();
  const std::string cfg = QLNSettingsFileName();
  int held[2], release[2];
  ASSERT_EQ(::pipe(held), 0);
  ASSERT_EQ(::pipe(release), 0);
  const pid_t holder = ::fork();
  if (holder == 0) {
    const int fd = ::open((cfg + ".lock").c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(2);
    (void)!::write(held[1], "h", 1);
    // Lets go when told, or after 20 seconds: a close that waits for the
    // lock then fails the test instead of hanging it.
    pollfd told{release[0], POLLIN, 0};
    ::poll(&told, 1, 20000);
    ::_exit(told.revents ? 0 : 1);
  }
  char c = 0;
  ASSERT_EQ(::read(held[0], &c, 1), 1);
  Close();
  (void)!::write(release[1], "r", 1);
  int status = 0;
  ::waitpid(holder, &status, 0);
  for (const int fd : {held[0], held[1], release[0], release[1]}) ::close(fd);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the close waited for the lock";
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "The settings were not saved.\n\"" + cfg + "\" is held by another program.");
}

// The full edition as installed, started under "ulimit -f 0": its settings
// save at the end meets the limit and fails with "File too large", told to
// the person, and the program still ends normally instead of being killed by
// SIGXFSZ.
TEST(FullEditionProcess, AFileSizeLimitFailsTheSaveNotTheProgram) {
  char tmpl[] = "/tmp/quillon_ulimit_XXXXXX";
  const std::string dir = mkdtemp(tmpl), cfg = dir + "/config/quillon/quillonpro.cfg";
  // The program starts with the signal's default action, as from a login shell.
  const sighandler_t old = ::signal(SIGXFSZ, SIG_DFL);
  FILE* p = ::popen(("ulimit -f 0; XDG_CONFIG_HOME='" + dir + "/config' QT_QPA_PLATFORM=offscreen " +
                     "QUILLON_INSTALL_CHECK=1 exec '" QUILLON_PRO_DIR "/quillonpro' 2>&1").c_str(), "r");
  ::signal(SIGXFSZ, old);
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) output.append(buf, n);
  const int status = ::pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  EXPECT_NE(output.find("Cannot create file \"" + cfg + "\": File too large"), std::string::npos) << output;
  EXPECT_FALSE(FileExists(cfg));
  std::system(("rm -rf '" + dir + "'").c_str());
}

// Moves and maximising done through the desktop's window manager are kept
// like any others; the restored bounds stay apart from the maximised ones.
TEST_F(AppTest, TheDesktopsMovesAndMaximiseAreStored) {
  Start();
  const TRect moved{60, 70, 60 + Form->Width(), 70 + Form->Height()};
  Driver.DesktopSetsWindow(Form->Handle(), 0, moved);
  Close();
  {
    TSettingsFile s(QLNSettingsFileName());
    EXPECT_EQ(s.ReadInteger("WindowState", -1), 0);
    EXPECT_EQ(s.ReadInteger("left", 0), 60);
    EXPECT_EQ(s.ReadInteger("top", 0), 70);
  }
  Start();
  Driver.DesktopSetsWindow(Form->Handle(), 2, TRect{-4, -4, 1028, 772});
  Close();
  {
    TSettingsFile s(QLNSettingsFileName());
    EXPECT_EQ(s.ReadInteger("WindowState", -1), 2);
    EXPECT_EQ(s.ReadInteger("left", 0), 60);
    EXPECT_EQ(s.ReadInteger("width", 0), moved.Width());
  }
  Start();
  EXPECT_EQ(Form->WindowState(), wsMaximized);
  Form->SetWindowState(wsNormal);
  EXPECT_EQ(Form->BoundsRect(), moved);
}

// The hidden F5 command copies what the screen shows from the client area's
// top-left: the picture in the viewer, not only the form's background.
TEST_F(AppTest, ScreenCopyTakesTheScreen) {
  WritePhoto("s.bmp", 64, 48);
  Start();
  Form->LoadFile(Dir + "s.bmp");
  Driver.ProcessMessages();
  Form->Copyscreen1Click(nullptr);
  TBitmap copy;
  copy.Assign(Clipboard());
  ASSERT_EQ(copy.Width(), 800);
  TPoint box = Form->ScreenToClient(Form->Image1->PicBox()->ClientToScreen(TPoint{10, 10}));
  TColor shown = Driver.Pixel(Form->Image1->Handle(), Form->Image1->PicBox()->Left() + 10,
                              Form->Image1->PicBox()->Top() + 10);
  EXPECT_EQ(copy.Canvas()->Pixels(box.X, box.Y), shown);
  EXPECT_NE(shown, ColorToRGB(Form->Color()));
}

// Leaving with changes not yet saved asks first, by the close button, by
// Ctrl+X and by File > Exit: Cancel (or a cancelled save) keeps the window,
// Yes saves through the dialog, No leaves the file as it was.
TEST_F(AppTest, LeavingWithUnsavedChangesAsksToSaveThem) {
  WritePhoto("photo.bmp");
  Start();
  auto quitPosted = [] {
    TMsg m;
    return PeekMessage(m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  };
  Form->LoadFile(Dir + "photo.bmp");
  Form->Exit1Click(nullptr);
  EXPECT_TRUE(Driver.MessageBoxes().empty());  // nothing changed yet
  EXPECT_TRUE(quitPosted());

  Form->RotateBy(90);
  Driver.AnswerMessageBoxes({IDCANCEL});
  PostMessage(Form->Handle(), WM_CLOSE, 0, 0);
  Driver.ProcessMessages();
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Save changes to \"photo.bmp\"?");
  EXPECT_EQ(Driver.MessageBoxes()[0].Type & 0x0F, static_cast<uint32_t>(MB_YESNOCANCEL));
  EXPECT_FALSE(quitPosted());
  EXPECT_TRUE(Form->Visible());

  Driver.AnswerMessageBoxes({IDYES});
  Driver.WhenIdle([] { ExecutingFileDialog()->CancelDialog(); });
  Driver.SetModifiers(MK_CONTROL);
  Driver.PressKey('X');
  Driver.SetModifiers(0);
  Driver.ProcessMessages();
  EXPECT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_FALSE(quitPosted());

  Driver.AnswerMessageBoxes({IDYES});
  Driver.WhenIdle([&] {
    ExecutingFileDialog()->SetNameBoxText(Dir + "turned.gif");
    ExecutingFileDialog()->Accept();
  });
  Form->Exit1Click(nullptr);
  EXPECT_TRUE(quitPosted());
  TPixelGraphic saved;
  saved.LoadFromFile(Dir + "turned.gif");
  EXPECT_EQ(saved.GetWidth(), 48);

  Form->RotateBy(90);
  Driver.AnswerMessageBoxes({IDNO});
  Form->Exit1Click(nullptr);
  EXPECT_EQ(Driver.MessageBoxes().size(), 4u);
  EXPECT_TRUE(quitPosted());
  saved.LoadFromFile(Dir + "turned.gif");
  EXPECT_EQ(saved.GetWidth(), 48);
}

// Open, Paste and Acquire replace the picture, so they ask first as leaving
// does: Cancel keeps the edited picture, No lets the new one in.
TEST_F(AppTest, ReplacingAnEditedPictureAsksToSaveItFirst) {
  WritePhoto("photo.bmp");
  WritePhoto("small.bmp", 8, 8);
  Start();
  Form->LoadFile(Dir + "photo.bmp");
  Form->RotateBy(90);
  TBitmap bmp;
  bmp.SetWidth(5);
  bmp.SetHeight(5);
  Clipboard()->Assign(&bmp);
  Driver.AnswerMessageBoxes({IDCANCEL, IDCANCEL, IDCANCEL});
  Form->Open1Click(nullptr);
  Form->btnPasteClick(nullptr);
  Form->Acquire1Click(nullptr);
  ASSERT_EQ(Driver.MessageBoxes().size(), 3u);
  for (const auto& box : Driver.MessageBoxes()) EXPECT_EQ(box.Text, "Save changes to \"photo.bmp\"?");
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 48);
  EXPECT_TRUE(Form->Modified());

  Driver.AnswerMessageBoxes({IDNO});
  OpenThroughDialog("small.bmp");
  EXPECT_EQ(Driver.MessageBoxes().size(), 4u);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 8);
  Form->btnPasteClick(nullptr);  // nothing changed since the open: no question
  EXPECT_EQ(Driver.MessageBoxes().size(), 4u);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 5);
}

// A file that does not open is named, with what is wrong with it.
TEST_F(AppTest, OpeningAnUnreadableFileReportsAndKeepsGoing) {
  std::ofstream(Dir + "bad.bmp", std::ios::binary) << "BM garbage";
  std::ofstream(Dir + "text.jpg", std::ios::binary) << "plain text, not a picture";
  std::ofstream(Dir + "empty.png", std::ios::binary);
  Start();
  OpenThroughDialog("bad.bmp");
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text.rfind("Cannot open file \"" + Dir + "bad.bmp\".\n", 0), 0u);
  EXPECT_TRUE(QLNLoadingIdle);
  EXPECT_FALSE(Form->btnSave->Enabled());
  OpenThroughDialog("text.jpg");
  OpenThroughDialog("empty.png");
  ASSERT_EQ(Driver.MessageBoxes().size(), 3u);
  EXPECT_EQ(Driver.MessageBoxes()[1].Text, "Cannot open file \"" + Dir + "text.jpg\".\nUnknown file format.");
  EXPECT_EQ(Driver.MessageBoxes()[2].Text, "\"" + Dir + "empty.png\" is empty.");
}

// The file dialogs open where the person last was: Open in the folder kept
// from the last run, then in the folder of the file last opened; Save As
// beside the picture's file, and for a pasted picture, which has none, in
// the folder chosen last; the next run starts in the last folder again.
TEST_F(AppTest, FileDialogsOpenInTheFolderLastUsed) {
  const std::string kept = Dir + "kept/", photos = Dir + "photos/";
  ASSERT_TRUE(ForceDirectories(kept) && ForceDirectories(photos));
  WritePhoto("photos/p.bmp", 8, 8);
  {
    TSettingsFile s(QLNSettingsFileName());
    s.WriteString("WorkingDir", kept);
    s.UpdateFile();
  }
  auto shownBy = [&](void (TForm1::*Command)(TObject*)) {
    std::string folder;
    Driver.WhenIdle([&] {
      folder = IncludeTrailingPathDelimiter(ExecutingFileDialog()->GetFolderPath());
      ExecutingFileDialog()->CancelDialog();
    });
    (Form->*Command)(nullptr);
    return folder;
  };
  Start();
  EXPECT_EQ(shownBy(&TForm1::Open1Click), kept);
  OpenThroughDialog("p.bmp", photos);
  EXPECT_EQ(shownBy(&TForm1::Open1Click), photos);
  EXPECT_EQ(shownBy(&TForm1::SaveAs1Click), photos);
  // A picture from a file without an extension: an empty name, in its folder.
  const std::string plain = Dir + "plain/";
  ASSERT_TRUE(ForceDirectories(plain));
  ASSERT_TRUE(RenameFile(WritePhoto("plain/picture.bmp", 8, 8), plain + "picture"));
  Form->LoadFile(plain + "picture");
  EXPECT_EQ(shownBy(&TForm1::SaveAs1Click), plain);
  EXPECT_EQ(Form->SaveDialog1->FileName(), "");
  TBitmap pasted;
  pasted.SetSize(5, 5);
  Clipboard()->Assign(&pasted);
  Form->btnPasteClick(nullptr);
  ASSERT_EQ(Form->FileName(), "Untitled");
  EXPECT_EQ(shownBy(&TForm1::SaveAs1Click), photos);
  Close();
  EXPECT_EQ(TSettingsFile(QLNSettingsFileName()).ReadString("WorkingDir", ""), photos);
  Start();
  EXPECT_EQ(shownBy(&TForm1::Open1Click), photos);
}

// Every item of the main menu and the popup menu, sub-items too.
std::vector<TMenuItem*> MenuItems(TForm1* Form) {
  std::vector<TMenuItem*> items;
  std::function<void(TMenuItem*)> walk = [&](TMenuItem* Parent) {
    for (int32_t i = 0; i < Parent->Count(); ++i) {
      items.push_back(Parent->Items(i));
      walk(Parent->Items(i));
    }
  };
  walk(Form->MainMenu1->Items());
  walk(Form->PopupMenu1->Items());
  return items;
}

// The help page names every command of the menus, in the same table row or
// paragraph as its shortcut, and every control of the toolbar in the
// toolbar's table; the lists are the window's own.
TEST_F(AppTest, TheHelpPageNamesEveryCommandShortcutAndToolbarButton) {
  Start();
  std::ifstream f(HelpPageFileName());
  ASSERT_TRUE(f) << HelpPageFileName();
  const std::string html((std::istreambuf_iterator<char>(f)), {});
  // The page's text in blocks (rows, paragraphs, list items, headings),
  // tags dropped, entities decoded and blanks joined.
  auto blocksOf = [](const std::string& Html) {
    std::vector<std::string> blocks(1);
    for (size_t i = 0; i < Html.size();) {
      if (Html[i] == '<') {
        const size_t end = Html.find('>', i);
        if (end == std::string::npos) break;
        const std::string tag = Html.substr(i + 1, end - i - 1);
        for (const char* b : {"tr", "p", "li", "h1", "h2", "h3", "figcaption"})
          if (tag == b || tag.rfind(std::string(b) + " ", 0) == 0) blocks.emplace_back();
        i = end + 1;
        continue;
      }
      std::string& b = blocks.back();
      bool entity = false;
      for (auto [code, ch] : {std::pair{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&nbsp;", ' '}})
        if (Html.compare(i, std::strlen(code), code) == 0) {
          b += ch;
          i += std::strlen(code);
          entity = true;
        }
      if (entity) continue;
      const char c = std::isspace(static_cast<unsigned char>(Html[i])) ? ' ' : Html[i];
      if (c != ' ' || (!b.empty() && b.back() != ' ')) b += c;
      ++i;
    }
    return blocks;
  };
  const std::vector<std::string> page = blocksOf(html);
  const size_t toolbarAt = html.find("id=\"toolbar\""), menusAt = html.find("id=\"menus\"");
  ASSERT_LT(toolbarAt, menusAt);
  const std::vector<std::string> toolbarTable = blocksOf(html.substr(toolbarAt, menusAt - toolbarAt));
  auto named = [](const std::vector<std::string>& Blocks, const std::string& A, const std::string& B) {
    for (const std::string& b : Blocks)
      if (b.find(A) != std::string::npos && b.find(B) != std::string::npos) return true;
    return false;
  };

  std::vector<std::string> missing;
  int32_t commands = 0;
  for (TMenuItem* item : MenuItems(Form)) {
    const std::string caption = StripHotkey(item->Caption());
    const std::string keys = item->ShortCut() == scNone ? "" : ShortCutToText(item->ShortCut());
    if (item->IsLine() || (!item->Visible() && keys.empty())) continue;  // nobody reaches it
    ++commands;
    // A hidden command is reached by its keys alone.
    if (!named(page, item->Visible() ? caption : keys, keys)) missing.push_back(caption + " " + keys);
  }
  int32_t controls = 0;
  for (int32_t i = 0; i < Form->Toolbar1->ControlCount(); ++i) {
    TControl* c = Form->Toolbar1->Controls(i);
    std::string caption;
    if (dynamic_cast<TToolbarButton*>(c)) caption = StripHotkey(c->Caption());
    if (auto* panel = dynamic_cast<TPanel*>(c))
      for (int32_t k = 0; k < panel->ControlCount(); ++k)
        if (dynamic_cast<TLabel*>(panel->Controls(k))) caption = panel->Controls(k)->Caption();
    if (!caption.empty() && caption.back() == ':') caption.pop_back();
    if (caption.empty()) continue;
    ++controls;
    if (!named(toolbarTable, caption, "")) missing.push_back("toolbar: " + caption);
  }
  EXPECT_GE(commands, 50);
  EXPECT_EQ(controls, 12);
  EXPECT_EQ(missing, std::vector<std::string>{});
  // Dithering and RGB Weight act on the current pixels: their rows say that
  // Reset shows the change. Exit's row says what is kept and what is not.
  EXPECT_TRUE(named(page, "Dithering", "then Reset"));
  EXPECT_TRUE(named(page, "RGB Weight", "Reset"));
  EXPECT_TRUE(named(page, "Kept for next time", "Not kept: the colour palette"));
}

// F1 opens the help page beside the program through the desktop's opener.
TEST_F(AppTest, F1OpensTheHelpPageWithTheDesktopsOpener) {
  Start();
  ASSERT_TRUE(FileExists(HelpPageFileName()));
  EXPECT_EQ(HelpPageFileName(), IncludeTrailingPathDelimiter(ProgramFolder()) + "register/help.htm");
  TShellRecorder opener;
  Driver.Click(TUiTestDriver::ScreenPoint(Form->Image1, 5, 5));
  Driver.PressKey(VK_F1);
  Driver.ProcessMessages();
  ASSERT_EQ(opener.Requests.size(), 1u);
  EXPECT_EQ(opener.Requests[0].Program, "xdg-open");
  EXPECT_EQ(opener.Requests[0].Arguments, std::vector<std::string>{HelpPageFileName()});
}

// Every shortcut of the main menu, pressed on the window, reaches its own
// item, whether it is shown or not, and no other.
TEST_F(AppTest, EveryMainMenuShortcutReachesItsItem) {
  Start();
  std::vector<std::string> fired;
  int32_t keys = 0;
  for (TMenuItem* item : MenuItems(Form)) {
    item->SetEnabled(true);
    item->OnClick = [&fired, item](TObject*) { fired.push_back(StripHotkey(item->Caption())); };
  }
  for (TMenuItem* item : MenuItems(Form)) {
    if (item->ShortCut() == scNone || item->GetParentMenu() != Form->MainMenu1) continue;
    ++keys;
    fired.clear();
    const TShortCut key = item->ShortCut();
    Driver.Click(TUiTestDriver::ScreenPoint(Form->Image1, 5, 5));
    Driver.SetModifiers(((key & scCtrl) ? MK_CONTROL : 0u) | ((key & scShift) ? MK_SHIFT : 0u) |
                        ((key & scAlt) ? ui_internal::ModAlt : 0u));
    Driver.PressKey(key & 0xFF);
    Driver.SetModifiers(0);
    Driver.ProcessMessages();
    EXPECT_EQ(fired, std::vector<std::string>{StripHotkey(item->Caption())}) << ShortCutToText(key);
  }
  EXPECT_EQ(keys, 24);
}

}  // namespace
