// The open and save dialogs with preview, answered by script.
#include <gtest/gtest.h>

#include "imaging/core/exceptions.h"
#include "imaging/viewer/pg_open_dialog.h"
#include "imaging/viewer/pg_save_dialog.h"
#include "pg_dialog_test_util.h"
#include "platform/ui/message_queue.h"

using namespace pgdialog_test;

namespace {

using Dialogs = DialogTest;

// A writer of a format the start-up does not register.
class TFakeWriter : public TFileFormatWriter {
public:
  TFakeWriter(const std::string& Ext, const std::string& Description) {
    FExtension = Ext;
    FDescription = Description;
  }
};

const std::string BuiltInOpenFilter =
    "Image files|*.bmp; *.dib; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; *.ppm; *.rle; *.tga; *.tif; *.tiff|"
    "BMP - Bitmap|*.bmp|DIB - Bitmap|*.dib|JIF - JPEG (JFIF compliant)|*.jif|JPEG - JPEG (JFIF compliant)|*.jpeg|"
    "JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PCX - Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|"
    "PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|RLE - Bitmap|*.rle|"
    "TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|TIFF - Tagged Image File Format|*.tiff|"
    "All files|*.*";

// The TIFF writer is left out of the list (the TIF writer stands for both).
const std::string BuiltInSaveFilter =
    "BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|PGM - Portable Graymap|*.pgm|"
    "PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|TGA - Truevision Targa|*.tga|"
    "TIF - Tagged Image File Format|*.tif|";

TEST_F(Dialogs, OpenFilterListsTheListedReadersInExtensionOrder) {
  TPGOpenDialog dlg(nullptr);
  const std::string filter = dlg.BuildFilter();
  EXPECT_EQ(filter, BuiltInOpenFilter);
  EXPECT_EQ(dlg.Filter(), filter);  // built at creation
  EXPECT_EQ(ParseFilter(filter).size(), 16u);
  EXPECT_EQ(dlg.GetFilterCount(), 14);
  EXPECT_EQ(dlg.GetFilterExtension(1), "");  // "Image files"
  EXPECT_EQ(dlg.GetFilterExtension(2), "bmp");
  EXPECT_EQ(dlg.GetFilterExtension(15), "tiff");
  EXPECT_EQ(dlg.GetFilterExtension(16), "");  // "All files"
  EXPECT_EQ(dlg.GetFilterExtension(0), "");

  // An unlisted reader leaves the filter, and the entries after it move up.
  for (const auto& r : *FileFormatReaders)
    if (r->Extension() == "bmp") r->SetListed(false);
  const std::string without = dlg.BuildFilter();
  EXPECT_EQ(without.find("*.bmp"), std::string::npos);
  EXPECT_EQ(without.substr(0, 24), "Image files|*.dib; *.jif");
  EXPECT_EQ(dlg.GetFilterExtension(2), "dib");
  EXPECT_EQ(dlg.GetFilterCount(), 13);

  // In another library language the two fixed entries follow it.
  PGLanguage = 1;
  const std::string german = dlg.BuildFilter();
  EXPECT_EQ(german.substr(0, 12), "Bilddateien|");
  EXPECT_EQ(german.substr(german.size() - 17), "|Alle Dateien|*.*");
  PGLanguage = 0;

  // No listed reader: all files alone.
  for (const auto& r : *FileFormatReaders) r->SetListed(false);
  EXPECT_EQ(dlg.BuildFilter(), "All files|*.*");
  EXPECT_EQ(dlg.GetFilterCount(), 0);

  dlg.SetUseDefaultFilter(false);
  for (const auto& r : *FileFormatReaders) r->SetListed(true);
  EXPECT_EQ(dlg.GetFilterCount(), 0);
  EXPECT_EQ(dlg.GetFilterExtension(2), "");
}

TEST_F(Dialogs, SaveFilterListsTheWritersWithoutSummaryOrAllFiles) {
  TPGSaveDialog dlg(nullptr);
  const std::string filter = dlg.BuildFilter();
  EXPECT_EQ(filter, BuiltInSaveFilter);
  EXPECT_EQ(dlg.Filter(), filter);
  EXPECT_EQ(dlg.GetFilterCount(), 8);
  EXPECT_EQ(dlg.GetFilterExtension(1), "bmp");
  EXPECT_EQ(dlg.GetFilterExtension(2), "jpg");  // listed writers only
  EXPECT_EQ(dlg.GetFilterExtension(8), "tif");
  EXPECT_EQ(dlg.GetFilterExtension(9), "");
  // An upper-case extension is listed as the format gives it in the
  // description and in lower case in the pattern.
  RegisterFileFormatWriter(std::make_unique<TFakeWriter>("GIF", "CompuServe GIF"));
  EXPECT_NE(dlg.BuildFilter().find("|GIF - CompuServe GIF|*.gif|"), std::string::npos);
  EXPECT_EQ(dlg.GetFilterExtension(2), "gif");
  EXPECT_EQ(dlg.GetFilterCount(), 9);

  FileFormatWriters->Clear();
  EXPECT_EQ(dlg.BuildFilter(), "");
  EXPECT_EQ(dlg.GetFilterCount(), 0);
}

TEST_F(Dialogs, DefaultsAndOptionsThatMustKeepShareAware) {
  TPGOpenDialog dlg(nullptr);
  EXPECT_EQ(dlg.Options(), static_cast<TOpenOptions>(ofHideReadOnly | ofShareAware));
  EXPECT_EQ(dlg.FilterIndex(), 1);
  EXPECT_EQ(dlg.StretchMode(), smPrecise);
  EXPECT_EQ(dlg.Palette8BitSys24BitGraphic(), pOptimized252Sys16);
  EXPECT_TRUE(dlg.ProgressClockVisible() && dlg.ShowInfo() && dlg.UseDefaultFilter());
  EXPECT_FALSE(dlg.IsSaveDialog());
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  dlg.SetOptions(ofFileMustExist);
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "TPGOpenDialog.Options and TPGSaveDialog.Options must include ofShareAware!");
  EXPECT_EQ(dlg.Options(), static_cast<TOpenOptions>(ofFileMustExist | ofShareAware));
  dlg.SetOptions(ofShareAware | ofPathMustExist);
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);

  // The palette choices stay within their ranges.
  dlg.SetPalette8BitSys24BitGraphic(pSource);
  EXPECT_EQ(dlg.Palette8BitSys24BitGraphic(), pOptimized252Sys16);
  dlg.SetPalette8BitSys8BitGraphic(pTrueColor);
  EXPECT_EQ(dlg.Palette8BitSys8BitGraphic(), pBlackWhite);
  TPGSaveDialog save(nullptr);
  EXPECT_TRUE(save.IsSaveDialog());
}

// A small registry of writers in which GIF is the last entry.
void UseWriters(std::initializer_list<const char*> Extensions) {
  FileFormatWriters->Clear();
  for (const char* e : Extensions) RegisterFileFormatWriter(std::make_unique<TFakeWriter>(e, std::string(e) + " file"));
}

TEST_F(Dialogs, SaveDialogPreselectsTheTypeOfTheNameAndGivesBareNamesItsExtension) {
  UseWriters({"tga", "bmp", "gif"});
  TPGSaveDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  dlg.SetFileName(Dir + "old.GIF");
  int32_t typeChanges = 0;
  dlg.OnTypeChange = [&](TObject*) { ++typeChanges; };
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    EXPECT_EQ(d->Filter(), "BMP - bmp file|*.bmp|GIF - gif file|*.gif|TGA - tga file|*.tga|");
    EXPECT_EQ(d->FilterIndex(), 2);  // gif, the last entry once sorted... by extension: bmp, gif, tga
    d->SelectFilterIndex(3);
    EXPECT_EQ(d->NameBoxText(), "old.tga");
    d->SetNameBoxText("picture");
    d->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "picture.tga");
  EXPECT_EQ(dlg.FilterIndex(), 3);
  EXPECT_EQ(typeChanges, 1);

  // The last entry is found too; a name of no listed type keeps the index.
  dlg.SetFileName(Dir + "x.tga");
  dlg.SetFilterIndex(1);
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingFileDialog()->FilterIndex(), 3);
    ExecutingFileDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "x.tga");
  dlg.SetFileName(Dir + "x.pcx");
  dlg.SetFilterIndex(2);
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingFileDialog()->FilterIndex(), 2);
    ExecutingFileDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());

  // Cancelled: a bare name stays bare, no name stays no name.
  for (const std::string& name : {Dir + "bare", std::string()}) {
    dlg.SetFileName(name);
    Driver.WhenIdle([&] { ExecutingFileDialog()->CancelDialog(); });
    EXPECT_FALSE(dlg.Execute());
    EXPECT_EQ(dlg.FileName(), name);
  }
}

TEST_F(Dialogs, ChangingTheSaveTypeRewritesTheNameBoxButLeavesFoldersAlone) {
  UseWriters({"bmp", "gif", "tga"});
  ForceDirectories(Dir + "sub");
  TPGSaveDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    d->SetNameBoxText("photo");
    d->SelectFilterIndex(3);
    EXPECT_EQ(d->NameBoxText(), "photo.tga");  // in the dialog's folder: the name alone
    d->SelectFilterIndex(2);
    EXPECT_EQ(d->NameBoxText(), "photo.gif");
    d->SetNameBoxText("sub");
    d->SelectFilterIndex(1);
    EXPECT_EQ(d->NameBoxText(), "sub");  // a folder
    d->SetNameBoxText("sub/deep.name.gif");
    d->SelectFilterIndex(3);
    EXPECT_EQ(d->NameBoxText(), Dir + "sub/deep.name.tga");  // another folder: the path
    d->SetNameBoxText("");
    d->SelectFilterIndex(1);
    EXPECT_EQ(d->NameBoxText(), "");
    d->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());

  // Multiple selection and the open dialog leave the name box as typed.
  dlg.SetOptions(dlg.Options() | ofAllowMultiSelect);
  TPGOpenDialog open(nullptr);
  open.SetInitialDir(Dir);
  for (TPGOpenDialog* d : {static_cast<TPGOpenDialog*>(&dlg), &open}) {
    Driver.WhenIdle([&] {
      ExecutingFileDialog()->SetNameBoxText("photo");
      ExecutingFileDialog()->SelectFilterIndex(3);
      EXPECT_EQ(ExecutingFileDialog()->NameBoxText(), "photo");
      ExecutingFileDialog()->CancelDialog();
    });
    EXPECT_FALSE(d->Execute());
  }
}

// ---------------------------------------------------------------------------
// The preview

class Preview : public DialogTest {
protected:
  void SetUp() override {
    DialogTest::SetUp();
    WriteBmp(Dir + "icon.bmp", 16, 16, 0x0000FF);
    WriteBmp(Dir + "wide.bmp", 800, 200, 0xFF0000, 0x00FF00);
    WriteBmp(Dir + "tall.bmp", 50, 400, 0x00FFFF);
    WriteText(Dir + "readme.txt", "text");
  }
  // The pane's pixel at client (X, Y).
  TColor PanePixel(TPGOpenDialog& Dlg, int32_t X, int32_t Y) {
    return Driver.Pixel(static_cast<TWinControl*>(Dlg.PreviewPane())->Handle(), X, Y);
  }
  // Selects Name, lets the selection rest and waits for the preview.
  void Show(TPGOpenDialog& Dlg, const std::string& Name) {
    Dlg.SelectFile(Name);
    Driver.AdvanceClock(150);
    Driver.ProcessMessages();
  }
};

TEST_F(Preview, StartsWhenTheSelectionRestsAndShowsPictureAndInformation) {
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  Driver.WhenIdle([&] {
    ASSERT_NE(dlg.PreviewPane(), nullptr);
    EXPECT_EQ(dlg.PreviewPane()->ClientWidth(), 138);
    EXPECT_EQ(dlg.PreviewPane()->ClientHeight(), 138);
    EXPECT_EQ(dlg.PreviewSerial(), 0u);
    dlg.SelectFile("icon.bmp");
    Driver.AdvanceClock(149);
    EXPECT_EQ(dlg.PreviewSerial(), 0u);  // not yet
    EXPECT_FALSE(dlg.InfoValid());
    Driver.AdvanceClock(1);
    EXPECT_EQ(dlg.PreviewSerial(), 1u);
    EXPECT_TRUE(dlg.InfoValid());
    Driver.ProcessMessages();
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetWidth(), 16);
    // Shown at its own size in the middle of the 134 x 134 inner area.
    EXPECT_EQ(PanePixel(dlg, 61, 61), 0x0000FFu);
    EXPECT_EQ(PanePixel(dlg, 76, 76), 0x0000FFu);
    EXPECT_EQ(PanePixel(dlg, 60, 60), ColorToRGB(clBtnFace));
    EXPECT_EQ(PanePixel(dlg, 77, 77), ColorToRGB(clBtnFace));
    // The sunken border.
    EXPECT_EQ(PanePixel(dlg, 0, 0), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PanePixel(dlg, 1, 1), 0u);
    EXPECT_EQ(PanePixel(dlg, 137, 137), 0xFFFFFFu);
    // The pane shows on the dialog, over the file dialog beside it.
    const TPoint mid = dlg.DialogForm()->ScreenToClient(dlg.PreviewPane()->ClientToScreen(TPoint{68, 68}));
    EXPECT_EQ(Driver.Pixel(dlg.DialogForm()->Handle(), mid.X, mid.Y), 0x0000FFu);
    // What the reader says about the file.
    EXPECT_EQ(dlg.InfoLines(), (std::vector<std::string>{"Bitmap", "Windows, RGB", "16x16x16.7M 24 bit"}));
    TWindowImage info = Driver.ReadWindow(static_cast<TWinControl*>(dlg.InfoPane())->Handle());
    int32_t inked = 0;
    for (int32_t y = 0; y < info.Height; ++y)
      for (int32_t x = 0; x < info.Width; ++x) inked += info.Pixel(x, y) != ColorToRGB(clBtnFace);
    EXPECT_GT(inked, 20);
    // In the size of the dialog's font: its first line ("Bitmap") is as tall
    // in ink as the pane's own font writes it.
    TBitmap own;
    own.SetSize(info.Width, info.Height);
    own.Canvas()->Brush()->SetColor(clBtnFace);
    own.Canvas()->FillRect(TRect{0, 0, info.Width, info.Height});
    own.Canvas()->Font()->Assign(static_cast<TWinControl*>(dlg.InfoPane())->Font());
    own.Canvas()->TextOut(0, 0, "Bitmap");
    auto inkRows = [&](auto Pixel) {
      int32_t rows = 0;
      for (int32_t y = 0; y < info.Height / 3; ++y)
        for (int32_t x = 0; x < info.Width; ++x)
          if (Pixel(x, y) != ColorToRGB(clBtnFace)) {
            ++rows;
            break;
          }
      return rows;
    };
    EXPECT_EQ(inkRows([&](int32_t X, int32_t Y) { return info.Pixel(X, Y); }),
              inkRows([&](int32_t X, int32_t Y) { return ColorToRGB(own.Canvas()->Pixels(X, Y)); }));
    EXPECT_TRUE(Driver.SaveWindowPng(dlg.DialogForm()->Handle(), BuildDir() + "/viewer_open_dialog_preview.png"));

    // A wide picture is fitted to the pane.
    Show(dlg, "wide.bmp");
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetWidth(), 134);
    EXPECT_EQ(dlg.PreviewImage()->GetHeight(), 33);
    EXPECT_EQ(PanePixel(dlg, 10, 60), 0x00FF00u);
    EXPECT_EQ(PanePixel(dlg, 120, 60), 0xFF0000u);
    EXPECT_EQ(PanePixel(dlg, 69, 30), ColorToRGB(clBtnFace));
    Show(dlg, "tall.bmp");
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetWidth(), 16);
    EXPECT_EQ(dlg.PreviewImage()->GetHeight(), 134);

    // A file no reader knows: neither information nor a picture.
    Show(dlg, "readme.txt");  // listed under "All files" only
    dlg.SelectFilterIndex(ParseFilter(dlg.Filter()).size());
    Show(dlg, "readme.txt");
    EXPECT_FALSE(dlg.InfoValid());
    EXPECT_EQ(dlg.PreviewImage(), nullptr);
    EXPECT_TRUE(dlg.InfoLines().empty());
    EXPECT_EQ(PanePixel(dlg, 69, 69), ColorToRGB(clBtnFace));
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.PreviewPane(), nullptr);
  EXPECT_EQ(dlg.PreviewImage(), nullptr);
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Preview, TenQuickClicksStartOnePreviewAndStaleResultsAreDropped) {
  for (int i = 0; i < 10; ++i) WriteBmp(Dir + "f" + std::to_string(i) + ".bmp", 20 + i, 10, 0x808080);
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  std::vector<std::string> selections;
  dlg.OnSelectionChange = [&](TObject*) { selections.push_back(ExtractFileName(dlg.GetFilePath())); };
  Driver.WhenIdle([&] {
    for (int i = 0; i < 10; ++i) {
      dlg.SelectFile("f" + std::to_string(i) + ".bmp");
      Driver.AdvanceClock(100);
    }
    EXPECT_EQ(dlg.PreviewSerial(), 0u);
    Driver.AdvanceClock(50);
    EXPECT_EQ(dlg.PreviewSerial(), 1u);
    Driver.ProcessMessages();
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetWidth(), 29);

    // A preview finishes, but the selection moves on before its message is
    // taken: the picture is freed and the late message changes nothing.
    dlg.SelectFile("icon.bmp");
    Driver.AdvanceClock(150);
    EXPECT_EQ(dlg.PreviewSerial(), 2u);
    dlg.PreviewThread()->WaitFor();
    dlg.SelectFile("wide.bmp");
    EXPECT_EQ(dlg.PreviewImage(), nullptr);
    Driver.ProcessMessages();  // the message of preview 2 arrives
    EXPECT_EQ(dlg.PreviewImage(), nullptr);
    // A forged message with a pointer of nothing is harmless too.
    PostMessage(dlg.Page(), PGM_PREVIEWREADY, 2, 12345);
    Driver.ProcessMessages();
    EXPECT_EQ(dlg.PreviewImage(), nullptr);
    Driver.AdvanceClock(150);
    Driver.ProcessMessages();
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetWidth(), 134);  // wide.bmp
    EXPECT_EQ(dlg.PreviewSerial(), 3u);
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(selections.size(), 12u);  // every selection reaches OnSelectionChange
}

TEST_F(Preview, BrokenFilesShowNothingAndClosingStopsARunningPreview) {
  std::string bytes;
  {
    std::ifstream in(Dir + "wide.bmp", std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  WriteText(Dir + "cut.bmp", bytes.substr(0, 200));         // header fine, pixels cut off
  WriteText(Dir + "stub.bmp", bytes.substr(0, 30));         // header cut off
  std::string wild = bytes.substr(0, 60);
  wild[18] = wild[19] = wild[20] = '\x7f';                  // a width of two thousand million
  WriteText(Dir + "wild.bmp", wild);
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  Driver.WhenIdle([&] {
    for (const char* name : {"cut.bmp", "stub.bmp", "wild.bmp"}) {
      Show(dlg, name);
      EXPECT_EQ(dlg.PreviewImage(), nullptr) << name;
      EXPECT_EQ(PanePixel(dlg, 69, 69), ColorToRGB(clBtnFace)) << name;
    }
    // wild.bmp: the size check that refuses its pixels refuses its
    // description too.
    EXPECT_FALSE(dlg.InfoValid());
    // Closing while a preview is on its way.
    dlg.SelectFile("wide.bmp");
    Driver.AdvanceClock(150);
    EXPECT_NE(dlg.PreviewThread(), nullptr);
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_TRUE(dlg.PreviewThread()->Finished());
  EXPECT_EQ(dlg.PreviewImage(), nullptr);
  Driver.ProcessMessages();  // a late message finds no page
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Preview, ProgressClockAndTheFirstOfSeveralNames) {
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  dlg.SetProgressClockLineColor(clRed);
  dlg.SetProgressClockBkColor(clYellow);
  Driver.WhenIdle([&] {
    // Stage 1, 50 %: the long hand points straight down, the short hand a
    // twenty-fourth of a turn past the top. The clock's centre is (68, 68).
    SendMessage(dlg.Page(), PGM_PREVIEWPROGRESS, 16, 50);
    EXPECT_EQ(PanePixel(dlg, 68, 74), 0x0000FFu);
    EXPECT_EQ(PanePixel(dlg, 68, 67), 0x0000FFu);  // short hand, nearly up
    EXPECT_EQ(PanePixel(dlg, 69, 64), 0x0000FFu);
    EXPECT_EQ(PanePixel(dlg, 64, 70), 0x00FFFFu);  // the face
    EXPECT_EQ(PanePixel(dlg, 61, 61), ColorToRGB(clBtnFace));  // outside the circle
    // Stage 4, 0 %: the short hand at a quarter turn, to the right.
    SendMessage(dlg.Page(), PGM_PREVIEWPROGRESS, 4 * 16, 0);
    EXPECT_EQ(PanePixel(dlg, 73, 68), 0x0000FFu);
    dlg.SetProgressClockVisible(false);
    RedrawWindow(static_cast<TWinControl*>(dlg.PreviewPane())->Handle(), nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessage(dlg.Page(), PGM_PREVIEWPROGRESS, 16, 50);
    EXPECT_EQ(PanePixel(dlg, 68, 74), ColorToRGB(clBtnFace));

    // Several names in the box: the first one is previewed.
    dlg.SetNameBoxText("\"tall.bmp\" \"icon.bmp\"");
    PostMessage(dlg.Page(), PGM_STARTPREVIEW, 0, 0);
    Driver.ProcessMessages();
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->GetHeight(), 134);
    dlg.SetShowInfo(false);
    EXPECT_TRUE(dlg.InfoLines().empty());
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
}

TEST_F(Preview, InformationOfAPaletteFileAndAnEightBitScreen) {
  TPixelGraphic g;
  g.NewImage(40, 30, pf8Bit);
  g.SetPaletteIdent(pSpecial216);
  g.SaveToFile(Dir + "web.bmp");
  SetScreenBitsPerPixel(8);
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  dlg.SetFileName(Dir + "web.bmp");
  Driver.WhenIdle([&] {
    // The name given is selected when the dialog opens, and previewed.
    Driver.AdvanceClock(150);
    Driver.ProcessMessages();
    EXPECT_EQ(dlg.InfoLines().back(), "40x30x256 8 bit");
    ASSERT_NE(dlg.PreviewImage(), nullptr);
    EXPECT_EQ(dlg.PreviewImage()->PixelFormat(), pf8Bit);
    // The one colour used and the 16 system colours.
    EXPECT_EQ(dlg.PreviewImage()->PaletteCount(), 17);
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
}

// A reader that describes every file but can read none.
class TDescribeOnlyReader : public TFileFormatReader {
public:
  TDescribeOnlyReader() {
    FExtension = "fak";
    FDescription = "Described by a reader of a long name";
  }
  void GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) override {
    TFileFormatReader::GetInfo(Stream, Index, Info);
    Info.ExtraText = "3 pages";
    Info.Width = 1;
    Info.Height = 2;
    Info.ColorsText = "2";
    Info.BitsPerPixel = 1;
    Info.ImageCount = 3;
  }
  void Read(TStream&, TPixelGraphic&, int32_t) override { throw EPixelGraphic("cannot read"); }
};

TEST_F(Preview, InformationWithoutAPictureWhenTheReadFails) {
  RegisterFileFormatReader(std::make_unique<TDescribeOnlyReader>());
  WriteText(Dir + "pages.fak", "anything");
  TPGOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  Driver.WhenIdle([&] {
    Show(dlg, "pages.fak");
    EXPECT_TRUE(dlg.InfoValid());
    // The empty format text takes no line; several images are counted.
    EXPECT_EQ(dlg.InfoLines(),
              (std::vector<std::string>{"Described by a reader of a long name", "3 pages", "1x2x2 1 bit, 3"}));
    // A line wider than the pane is broken at its blanks, not cut, and the
    // pane grows to hold every line: no text reaches its right or bottom edge.
    const std::vector<std::string> shown = dlg.InfoPaneLines();
    EXPECT_GT(shown.size(), 3u);
    std::string joined;
    for (const std::string& line : shown) joined += (joined.empty() ? "" : " ") + line;
    EXPECT_EQ(joined, "Described by a reader of a long name 3 pages 1x2x2 1 bit, 3");
    Driver.ProcessMessages();
    const TWindowImage pane = Driver.ReadWindow(static_cast<TWinControl*>(dlg.InfoPane())->Handle());
    int32_t ink = 0, edge = 0;
    for (int32_t y = 0; y < pane.Height; ++y)
      for (int32_t x = 0; x < pane.Width; ++x)
        if (pane.Pixel(x, y) != ColorToRGB(clBtnFace)) {
          ++ink;
          edge += x >= pane.Width - 2 || y >= pane.Height - 2;
        }
    EXPECT_GT(ink, 100);
    EXPECT_EQ(edge, 0);
    EXPECT_EQ(dlg.PreviewImage(), nullptr);
    EXPECT_TRUE(dlg.PreviewThread()->Finished());
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(Dialogs, TheDialogIsPlacedOverItsFormOrAThirdDownTheScreen) {
  TPGOpenDialog dlg(nullptr);
  bool shown = false;
  dlg.OnShow = [&](TObject*) { shown = true; };
  Driver.WhenIdle([&] {
    TCustomForm* f = dlg.DialogForm();
    EXPECT_EQ(f->Left(), (1024 - f->Width()) / 2);
    EXPECT_EQ(f->Top(), (768 - f->Height()) / 3);
    dlg.CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_TRUE(shown);

  // A dialog of a form comes over that form, wherever it is, and stays
  // inside the work area.
  TForm* owner = new TForm(nullptr);
  owner->AfterConstruction();
  auto* save = new TPGSaveDialog(owner);  // freed with its form
  for (const TRect& place : {TRect{150, 100, 1000, 700}, TRect{700, 500, 1000, 760}}) {
    owner->SetBounds(place.Left, place.Top, place.Width(), place.Height());
    owner->Show();
    Driver.WhenIdle([&] {
      TCustomForm* f = save->DialogForm();
      if (place.Left == 150) {
        EXPECT_NEAR(f->Left() + f->Width() / 2, 575, 1);
        EXPECT_NEAR(f->Top() + f->Height() / 2, 400, 1);
      } else {
        EXPECT_EQ(f->Left() + f->Width(), 1024);
        EXPECT_EQ(f->Top() + f->Height(), 768);
      }
      save->CancelDialog();
    });
    EXPECT_FALSE(save->Execute());
  }
  owner->Free();
}

}  // namespace
