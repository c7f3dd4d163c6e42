// The full edition meets damaged files and full disks: a reader's warning is
// asked about, a cancelled or failed open keeps the picture shown, a failed
// save keeps the file that was there and the name the window shows.
#include <signal.h>

#include <string>
#include <thread>
#include <vector>

#include "app_fixture.h"
#include "controls/toolbars.h"
#include "imaging/core/file_formats.h"
#include "imaging/viewer/pg_image.h"
#include "imaging/viewer/pg_save_dialog.h"
#include "platform/base/safe_write.h"
#include "platform/ui/forms.h"
#include "tests/small_disk.h"

namespace {

class AppFiles : public AppTest {
protected:
  // A JPEG photo cut halfway through its image data.
  std::string WriteTruncatedJpeg(const std::string& Name) {
    TPixelGraphic g;
    g.NewImage(64, 48, pf24Bit);
    for (int32_t y = 0; y < 48; ++y)
      for (int32_t x = 0; x < 64; ++x) g.SetPixelColor(x, y, static_cast<TColor>(x * 4 | (y * 5) << 8));
    g.SaveToFile(Dir + Name);
    std::vector<uint8_t> bytes = ReadWholeFile(Dir + Name);
    size_t sos = 0;
    while (sos + 1 < bytes.size() && !(bytes[sos] == 0xFF && bytes[sos + 1] == 0xDA)) ++sos;
    bytes.resize(sos + (bytes.size() - sos) / 2);
    WriteWholeFile(Dir + Name, bytes);
    return Dir + Name;
  }
  // The reader's questions, each naming the file it is about.
  int32_t WarningBoxes(const std::string& File) {
    int32_t n = 0;
    for (const TMessageBoxRecord& box : Driver.MessageBoxes())
      if (box.Caption == "JPG Warning") {
        EXPECT_EQ(box.Type & 0x0F, static_cast<uint32_t>(MB_OKCANCEL));
        EXPECT_NE(box.Text.find("\"" + File + "\""), std::string::npos) << box.Text;
        ++n;
      }
    return n;
  }
};

// A file named on the command line is read once the window shows, so the
// reader's question comes over the window, never before it.
TEST_F(AppFiles, ACommandLineFilesWarningComesOnceTheWindowShows) {
  const std::string cut = WriteTruncatedJpeg("cut.jpg");
  SetCommandLine({"quillonpro", cut});
  QuillonProCreateForms();
  Form = Form1;
  EXPECT_TRUE(Driver.MessageBoxes().empty());
  Driver.AnswerMessageBoxes({IDOK});
  Form->Show();
  Driver.ProcessMessages();
  EXPECT_EQ(WarningBoxes(cut), 1);
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);
  ASSERT_NE(Form->Image1->PixelGraphicNoWait(), nullptr);
  EXPECT_EQ(Form->Image1->PixelGraphicNoWait()->GetWidth(), 64);
  EXPECT_EQ(Form->FileName(), cut);
}

TEST_F(AppFiles, ATruncatedJpegAsksAndOpensOnOKOrKeepsThePictureOnCancel) {
  const std::string photo = WritePhoto("photo.bmp", 20, 10);
  const std::string cut = WriteTruncatedJpeg("cut.jpg");
  Start();
  Form->LoadFile(photo);
  TPixelGraphic* before = Form->Image1->GetPixelGraphic();

  // Cancel: the open ends with the reason; the picture and its name stay.
  Driver.ClearMessageBoxes();
  Driver.AnswerMessageBoxes({IDCANCEL});
  OpenThroughDialog("cut.jpg");
  EXPECT_EQ(WarningBoxes(cut), 1);
  ASSERT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_EQ(Driver.MessageBoxes()[1].Text, "Cannot open file \"" + cut + "\".\nJPG: Operation aborted on user request.");
  EXPECT_EQ(Form->Image1->GetPixelGraphic(), before);
  EXPECT_EQ(before->GetWidth(), 20);
  EXPECT_EQ(Form->FileName(), photo);
  EXPECT_EQ(Panel(5), photo);
  EXPECT_TRUE(Form->btnSave->Enabled());

  // OK: the part that was there is shown.
  Driver.ClearMessageBoxes();
  Driver.AnswerMessageBoxes({IDOK});
  OpenThroughDialog("cut.jpg");
  EXPECT_EQ(WarningBoxes(cut), 1);
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Form->FileName(), cut);
  ASSERT_NE(Form->Image1->GetPixelGraphic(), nullptr);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetWidth(), 64);
  EXPECT_EQ(Form->Image1->GetPixelGraphic()->GetHeight(), 48);

  // A worker thread (the preview, the display conversion) never opens a box.
  Driver.ClearMessageBoxes();
  bool goOn = false;
  std::thread([&] { goOn = PGWarningBox("Premature end of JPEG file", "JPG Warning", pgbOKCancel); }).join();
  EXPECT_TRUE(goOn);
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

// A save written in place (the picture has a second link) and killed
// half-way leaves a mixed file that would load as a whole picture. Opened,
// it shows its earlier picture, and the person is told once; the same with
// the copy kept in the cache folder, as where the folder refuses new files.
TEST_F(AppFiles, AnInterruptedSaveIsUndoneWhenTheFileIsOpened) {
  setenv("XDG_CACHE_HOME", (Dir + "cache").c_str(), 1);
  const std::string pic = WritePhoto("pic.bmp", 1024, 1024);
  const std::vector<uint8_t> earlier = ReadWholeFile(pic);
  TPixelGraphic photo, grey;
  photo.LoadFromFile(pic);
  grey.NewImage(1024, 1024, pf24Bit);
  grey.SaveToFile(Dir + "grey.bmp");
  const std::vector<uint8_t> later = ReadWholeFile(Dir + "grey.bmp");
  ASSERT_EQ(later.size(), earlier.size());
  ASSERT_EQ(::link(pic.c_str(), (Dir + "other.bmp").c_str()), 0);
  Start();
  for (const bool inCache : {false, true}) {
    SCOPED_TRACE(inCache ? "copy in the cache folder" : "copy beside the file");
    WriteWholeFile(pic, earlier);
    ASSERT_TRUE(KilledInChild([&] {
      // The picture's folder refuses the copy, the cache folder takes it.
      SetSafeWriteFaultHook([refuse = inCache](TSafeWriteCall C, TSafeWriteFile F, int64_t Offset) mutable {
        if (refuse && C == TSafeWriteCall::UnnamedFile && F == TSafeWriteFile::Backup) {
          refuse = false;
          return EACCES;
        }
        if (C == TSafeWriteCall::Write && F == TSafeWriteFile::Target && Offset == 2 << 20) ::raise(SIGKILL);
        return 0;
      });
      SafeWriteFile(pic, later.data(), static_cast<int64_t>(later.size()));
    }));
    Driver.ClearMessageBoxes();
    OpenThroughDialog("pic.bmp");
    EXPECT_EQ(ReadWholeFile(pic), earlier);
    // The bottom rows come first in the file: those the save had reached.
    EXPECT_EQ(Form->Pristine()->GetPixelColor(1000, 1023), photo.GetPixelColor(1000, 1023));
    ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
    EXPECT_EQ(Driver.MessageBoxes()[0].Text,
              "The last save of \"" + pic + "\" was interrupted; its earlier content was restored.");
  }
  unsetenv("XDG_CACHE_HOME");
}

TEST_F(AppFiles, SaveAsOnAFullDiskReportsTheReasonAndKeepsTheOldFile) {
  TSmallDisk disk(128);
  QUILLON_NEED_SMALL_DISK(disk);
  const std::string old = disk.Dir() + "pic.gif";
  const std::vector<uint8_t> original = {'G', 'I', 'F', '8', '9', 'a', 'o', 'l', 'd'};
  WriteWholeFile(old, original);
  disk.Fill();
  WritePhoto("photo.bmp");
  Start();
  Form->LoadFile(Dir + "photo.bmp");
  Driver.ClearMessageBoxes();
  Driver.AnswerMessageBoxes({IDYES});  // replace it
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    d->SetNameBoxText(old);
    d->Accept();
  });
  Form->SaveAs1Click(nullptr);
  ASSERT_FALSE(Driver.MessageBoxes().empty());
  EXPECT_EQ(Driver.MessageBoxes().back().Text,
            "Cannot create file \"" + old + "\": No space left on device.");
  EXPECT_EQ(ReadWholeFile(old), original);
  EXPECT_EQ(FolderNames(disk.Dir()), (std::set<std::string>{"filler", "pic.gif"}));
  // The window still names the file its picture came from.
  EXPECT_EQ(Form->FileName(), Dir + "photo.bmp");
  EXPECT_EQ(Panel(5), Dir + "photo.bmp");
  EXPECT_TRUE(QLNLoadingIdle);
}

// Save As over a file that is there asks first, also for a name typed
// without its extension: No (the default button, which Enter presses)
// keeps the dialog open and the file as it was, Yes replaces it.
TEST_F(AppFiles, SaveAsAsksBeforeReplacingAFile) {
  WritePhoto("photo.bmp");
  const std::vector<uint8_t> original = {'G', 'I', 'F', '8', '9', 'a', 'o', 'l', 'd'};
  WriteWholeFile(Dir + "old.gif", original);
  Start();
  Form->LoadFile(Dir + "photo.bmp");
  int32_t gif = 0;
  for (int32_t n = 1; n <= Form->SaveDialog1->GetFilterCount(); ++n)
    if (Form->SaveDialog1->GetFilterExtension(n) == "gif") gif = n;
  ASSERT_GT(gif, 0);
  for (int32_t answer : {IDNO, IDYES}) {
    Driver.ClearMessageBoxes();
    if (answer == IDYES) Driver.AnswerMessageBoxes({answer});
    Driver.WhenIdle([&] {
      TOpenDialog* d = ExecutingFileDialog();
      d->ChangeFolder(Dir);
      d->SelectFilterIndex(gif);
      d->SetNameBoxText("old");
      d->Accept();
      if (answer == IDNO) d->CancelDialog();
    });
    Form->SaveAs1Click(nullptr);
    ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
    EXPECT_EQ(Driver.MessageBoxes()[0].Text, Dir + "old.gif already exists.\nDo you want to replace it?");
    EXPECT_EQ(Driver.MessageBoxes()[0].Answer, answer);
    if (answer == IDNO) {
      EXPECT_EQ(ReadWholeFile(Dir + "old.gif"), original);
      EXPECT_EQ(Form->FileName(), Dir + "photo.bmp");
    }
  }
  EXPECT_NE(ReadWholeFile(Dir + "old.gif"), original);
  EXPECT_EQ(Form->FileName(), Dir + "old.gif");
}

}  // namespace
