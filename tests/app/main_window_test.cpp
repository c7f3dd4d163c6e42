#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <set>

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
#include "platform/ui/std_controls.h"
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
  const std::pair<int32_t, const char*> longest[] = {{0, "20000 x 15000"}, {2, "Size: 12345k"}};
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
  // The count shows what the estimate's GIF held; the commands are on.
  EXPECT_EQ(Form->edColors->Value(), GIFColorCount);
  EXPECT_LE(GIFColorCount, 256);
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
  std::set<TColor> colours;
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) colours.insert(back.GetPixelColor(x, y));
  EXPECT_LE(colours.size(), 8u);
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
  EXPECT_LE(GIFColorCount, 2);
  Form->ColorGrayScaleClick(Form->N16shadesofgray1);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf4Bit);
  Form->ColorGrayScaleClick(Form->Color1);
  EXPECT_TRUE(Form->edColors->Enabled());
  EXPECT_EQ(Form->PaletteKind(), pUnknown);
  EXPECT_EQ(Form->PixelFormatClass(), 2);
}

TEST_F(AppTest, ApplyWithOnlyAZoomChangeEstimatesAtDisplayedSize) {
  WritePhoto("z.bmp", 40, 40);
  Start();
  Form->LoadFile(Dir + "z.bmp");
  const int32_t colours = Form->edColors->Value();
  Form->edZoom->SetValue(50);
  // The load's own count update left bit 2; the zoom adds bit 1.
  EXPECT_TRUE(Form->Pending() & 1);
  Form->btnRefreshClick(nullptr);
  Driver.ProcessMessages();
  EXPECT_EQ(Form->edColors->Value(), colours);
  EXPECT_EQ(Panel(0), "20 x 20");
  // Saving at zoom 50 writes half size and reloads at zoom 100.
  Form->SaveFile(Dir + "half.png");
  TPixelGraphic back;
  back.LoadFromFile(Dir + "half.png");
  EXPECT_EQ(back.GetWidth(), 20);
  EXPECT_EQ(Form->edZoom->Value(), 100);
}

// The GIF the estimate encoded is the one the save writes, and the saved
// bytes are loaded back without another encoding: a save of an unchanged
// picture encodes nothing.
TEST_F(AppTest, SaveWritesTheEstimatedGifAndLoadsItBackWithoutEncoding) {
  WritePhoto("e.bmp", 64, 48);
  Start();
  Form->LoadFile(Dir + "e.bmp");
  auto fileBytes = [](const std::string& Name) {
    std::ifstream f(Name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
  };
  TMemoryStream expected;
  ASSERT_TRUE(SavePixelGraphicAsGIF(expected, *Form->Image1->GetPixelGraphic(), false, false, 0));
  const int32_t colours = GIFColorCount;
  // Every GIF written ends with a progress call.
  int32_t encodings = 0;
  GIFWriteProgress = [&](TObject*, int32_t, int32_t, int32_t, bool&) { ++encodings; };
  struct TRestore {
    ~TRestore() { GIFWriteProgress = nullptr; }
  } restore;
  const std::string size = Panel(2);

  Form->SaveFile(Dir + "e.gif");
  EXPECT_EQ(encodings, 0);
  EXPECT_EQ(fileBytes(Dir + "e.gif"), expected.Bytes());
  // The window and the pristine copy hold the file's picture; the estimate
  // and the count are the file's.
  TPixelGraphic back;
  back.LoadFromFile(Dir + "e.gif");
  TPixelGraphic* shown = Form->Image1->GetPixelGraphic();
  for (int32_t y = 0; y < 48; ++y)
    for (int32_t x = 0; x < 64; ++x) {
      ASSERT_EQ(Form->Pristine()->GetPixelColor(x, y), back.GetPixelColor(x, y));
      ASSERT_EQ(shown->GetPixelColor(x, y), back.GetPixelColor(x, y));
    }
  EXPECT_EQ(Panel(2), size);
  EXPECT_EQ(Form->edColors->Value(), colours);

  // Pick mode changes no byte count: the estimate stands. The first save
  // encodes with transparency, the second writes the same bytes again.
  Form->SetTransparentMode(true);
  GIFTransparentColor = back.GetPixelColor(3, 4);
  Form->UpdateSizeInfo();
  EXPECT_EQ(encodings, 0);
  EXPECT_EQ(Panel(2), size);
  Form->SaveFile(Dir + "t.gif");
  Form->SaveFile(Dir + "t2.gif");
  EXPECT_EQ(encodings, 1);
  EXPECT_TRUE(Form->PickMode());
  const std::vector<uint8_t> picked = fileBytes(Dir + "t.gif");
  EXPECT_EQ(picked, fileBytes(Dir + "t2.gif"));
  TGIFDecoder decoder;
  decoder.ParseStream().Bytes() = picked;
  ASSERT_TRUE(decoder.ParseGIF());
  EXPECT_TRUE(decoder.Frame(1).Transparent);
}

TEST_F(AppTest, ResetRestoresThePristineImage) {
  WritePhoto("r.bmp", 30, 20);
  Start();
  Form->LoadFile(Dir + "r.bmp");
  RotateImage(Form->Image1, 90);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 20);
  Form->ColorGrayScaleClick(Form->BlackWhite1);
  Form->Reset1Click(nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 30);
  EXPECT_TRUE(Form->Color1->Checked());
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->PixelFormat(), pf8Bit);
  // After a reset the count is 256; a black-and-white palette still loses
  // the colours, so it can be reset again.
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
// links) starts the window at once with the defaults, says so once, naming
// the file and the reason, and is not written over when the window closes.
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
      Start();
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

TEST_F(AppTest, OpeningAnUnreadableFileReportsAndKeepsGoing) {
  {
    std::ofstream bad(Dir + "bad.bmp", std::ios::binary);
    bad << "BM garbage";
  }
  Start();
  OpenThroughDialog("bad.bmp");
  EXPECT_FALSE(Driver.MessageBoxes().empty());
  EXPECT_TRUE(QLNLoadingIdle);
  EXPECT_FALSE(Form->btnSave->Enabled());
}

}  // namespace
