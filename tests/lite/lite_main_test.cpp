// The lite edition's main window: opening, saving as GIF, and the offer to
// start the full edition.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "gif/gif_encoder.h"
#include "lite/about.h"
#include "lite/main.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/ui/shell.h"
#include "platform/ui/test_driver.h"
#include "tests/small_disk.h"

namespace {

// A 24-bit BMP of Width x Height whose colours come from Color(x, y).
template <class F>
void WriteBmp(const std::string& Name, int32_t Width, int32_t Height, F Color) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(Width, Height);
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) b.Canvas()->SetPixels(x, y, Color(x, y));
  b.SaveToFile(Name);
}

TColor FewColors(int32_t x, int32_t y) {
  static const TColor colors[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x123456};
  return colors[(x / 4 + y / 3) % 4];
}

TColor ManyColors(int32_t x, int32_t y) { return static_cast<TColor>((x * 8) | ((y * 8) << 8) | 0x400000); }

class LiteMain : public ::testing::Test {
protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quillon lite XXXXXX";
    Dir = std::string(mkdtemp(tmpl)) + "/";
    SetFullEditionFolder(Dir);
    IgnoreFileSizeSignal();  // as the program's start-up does
    InitializeStdControls();
    InitializeGIFEncoder();
  }
  void TearDown() override {
    if (Form != nullptr) Form->Free();
    FinalizeGIFEncoder();
    FinalizeStdControls();
    SetCommandLine(std::vector<std::string>{"quillon"});
    SetFullEditionFolder("");
    std::system(("rm -rf '" + Dir + "'").c_str());
  }
  // The main window as the program makes it, with the given command line.
  void Start(std::vector<std::string> Args = {}) {
    Args.insert(Args.begin(), Dir + "quillon");
    SetCommandLine(Args);
    Application->CreateForm(Form);
    Form->Show();
    Driver.ProcessMessages();
  }
  // Runs the save command, typing Name into the dialog under file type Filter.
  void SaveAs(const std::string& Name, int32_t Filter = 1) {
    Driver.WhenIdle([=] {
      TOpenDialog* d = ExecutingFileDialog();
      d->SelectFilterIndex(Filter);
      d->SetNameBoxText(Name);
      d->Accept();
    });
    Form->SaveAs1Click(Form);
  }
  // Runs the open command on Name in Dir, picked from the dialog's list or,
  // for a file the list does not show, typed.
  void Open(const std::string& Name, bool Typed = false) {
    Driver.WhenIdle([this, Name, Typed] {
      TOpenDialog* d = ExecutingFileDialog();
      d->ChangeFolder(Dir);
      if (Typed) d->SetNameBoxText(Name);
      else d->SelectFile(Name);
      d->Accept();
    });
    Form->Open1Click(Form);
  }
  void MakeFullEdition() {
    const std::string exe = Dir + "quillonpro";
    std::ofstream(exe) << "#!/bin/sh\n";
    chmod(exe.c_str(), 0755);
  }
  std::unique_ptr<TGIFImage> ReadGif(const std::string& Name) {
    auto gif = std::make_unique<TGIFImage>(nullptr);
    TFileStream s(Name, fmOpenRead);
    EXPECT_TRUE(gif->LoadFromStream(s));
    return gif;
  }

  std::string Dir;
  TUiTestDriver Driver;
  TForm1* Form = nullptr;
};

TEST_F(LiteMain, OpensABmpThroughTheDialogSavesItAsGifAndTheGifReadsBack) {
  WriteBmp(Dir + "few.colors.bmp", 24, 18, FewColors);
  Start();
  EXPECT_EQ(Form->Memo1->Lines()->Strings(0), "Quillon 1.01 - ERROR -");
  Open("few.colors.bmp");
  EXPECT_EQ(Form->FileName(), Dir + "few.colors.bmp");
  EXPECT_EQ(Form->Image1->Width(), 24);
  EXPECT_EQ(Form->Image1->Height(), 18);
  EXPECT_FALSE(Form->GIFImage1->Visible());

  // The dialog suggests the name up to its first dot and adds ".gif".
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    EXPECT_EQ(d->NameBoxText(), "few");
    d->Accept();
  });
  Form->SaveAs1Click(Form);
  EXPECT_EQ(Form->FileName(), Dir + "few.gif");
  EXPECT_FALSE(Form->plTestPro->Visible());
  ASSERT_TRUE(FileExists(Dir + "few.gif"));
  EXPECT_EQ(GIFColorCount, 4);
  // The lite writer closes the file with the title alone.
  std::ifstream file(Dir + "few.gif", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), {});
  const std::string comment = "Created by " + Application->Title();
  EXPECT_EQ(bytes.substr(bytes.size() - comment.size() - 2), comment + std::string(1, '\0') + ";");
  auto gif = ReadGif(Dir + "few.gif");
  TBitmap* frame = gif->GetBitmap();
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(frame->Width(), 24);
  ASSERT_EQ(frame->Height(), 18);
  for (int32_t y = 0; y < 18; ++y)
    for (int32_t x = 0; x < 24; ++x) ASSERT_EQ(frame->Canvas()->Pixels(x, y), FewColors(x, y)) << x << "," << y;

  // The GIF opens again and shows the same picture.
  Form->Image1->Picture()->Assign(nullptr);
  Form->LiteLoadFile(Dir + "few.gif");
  EXPECT_FALSE(Form->GIFImage1->Visible());
  TBitmap* shown = Form->Image1->Picture()->Bitmap();
  ASSERT_EQ(shown->Width(), 24);
  EXPECT_EQ(shown->Canvas()->Pixels(5, 7), FewColors(5, 7));
  EXPECT_TRUE(Driver.MessageBoxes().empty());
}

TEST_F(LiteMain, AGifNameInAnyCaseIsWrittenOtherTypesAreRefusedWithoutTakingTheirNames) {
  WriteBmp(Dir + "pic.bmp", 8, 8, FewColors);
  Start({Dir + "pic.bmp"});
  EXPECT_EQ(Form->FileName(), Dir + "pic.bmp");
  EXPECT_EQ(Form->OpenDialog1->FileName(), Dir + "pic.bmp");

  // A cancelled dialog keeps the name; only the proposal loses its type.
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    EXPECT_EQ(d->NameBoxText(), "pic");
    d->CancelDialog();
  });
  Form->SaveAs1Click(Form);
  EXPECT_EQ(Form->FileName(), Dir + "pic.bmp");

  // Another type writes nothing, says so, and leaves the window's name.
  SaveAs("as png", 2);
  EXPECT_EQ(Form->FileName(), Dir + "pic.bmp");
  EXPECT_FALSE(FileExists(Dir + "as png.png"));
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text,
            "This version of Quillon saves GIF files only. Choose the GIF type or a name ending in \".gif\".");
  SaveAs("CAPS.GIF");
  ASSERT_TRUE(FileExists(Dir + "CAPS.GIF"));
  EXPECT_EQ(ReadGif(Dir + "CAPS.GIF")->GetBitmap()->Canvas()->Pixels(5, 2), FewColors(5, 2));
  EXPECT_FALSE(Form->plTestPro->Visible());
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);

  // A kind it does not read is refused with the reason: the picture, its
  // name and the file offered to the full edition stay.
  std::ofstream(Dir + "photo.jpg") << "not read";
  Open("photo.jpg", true);
  EXPECT_EQ(Form->FileName(), Dir + "CAPS.GIF");
  EXPECT_EQ(Form->OpenDialog1->FileName(), Dir + "pic.bmp");
  EXPECT_EQ(Form->Image1->Width(), 8);
  ASSERT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_EQ(Driver.MessageBoxes()[1].Text,
            "\"" + Dir + "photo.jpg\" is not opened: this version of Quillon opens BMP and GIF files only.");
}

TEST_F(LiteMain, ABrokenGifSaysWhyAndLeavesThePictureAnUnreadableBmpIsReported) {
  std::ofstream(Dir + "bad.gif") << "GIF89a\x10";
  std::ofstream(Dir + "bad.bmp") << "BM short";
  WriteBmp(Dir + "pic.bmp", 8, 6, FewColors);
  Start({Dir + "pic.bmp"});
  Form->LiteLoadFile(Dir + "bad.gif");
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "\"" + Dir + "bad.gif\" is not a readable GIF file.");
  EXPECT_EQ(Form->Image1->Width(), 8);
  EXPECT_EQ(Form->Image1->Picture()->Bitmap()->Canvas()->Pixels(5, 2), FewColors(5, 2));
  EXPECT_EQ(Form->FileName(), Dir + "pic.bmp");
  EXPECT_THROW(Form->LiteLoadFile(Dir + "bad.bmp"), EInvalidGraphic);
  EXPECT_EQ(Form->FileName(), Dir + "pic.bmp");
  // A run-length bitmap cut short is no black picture: the error names the
  // file, and the picture stays.
  {
    TBitmap rle;
    rle.SetPixelFormat(pf8bit);
    rle.SetSize(40, 30);
    TMemoryStream whole;
    rle.SaveToStream(whole);
    std::vector<uint8_t> cut(whole.Memory(), whole.Memory() + 14 + 40 + 1024);
    cut[14 + 16] = 1;  // BI_RLE8
    for (int32_t y = 0; y < 10; ++y) cut.insert(cut.end(), {40, 7, 0, 0});  // ten of the thirty rows
    const uint32_t dataSize = 30 * 4 + 2;  // what the whole file held
    std::memcpy(&cut[14 + 20], &dataSize, 4);
    std::ofstream(Dir + "cut.bmp", std::ios::binary).write(reinterpret_cast<const char*>(cut.data()),
                                                          static_cast<std::streamsize>(cut.size()));
    try {
      Form->LiteLoadFile(Dir + "cut.bmp");
      ADD_FAILURE() << "a cut file opened";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), "Cannot open file \"" + Dir + "cut.bmp\".\nStream read error.");
    }
    EXPECT_EQ(Form->Image1->Width(), 8);
  }

  // Named on the command line: the window opens empty, then the message.
  Form->Free();
  Form = nullptr;
  SetCommandLine({Dir + "quillon", Dir + "bad.gif"});
  Application->CreateForm(Form);
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);
  Form->Show();
  Driver.ProcessMessages();
  ASSERT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_EQ(Driver.MessageBoxes()[1].Text, "\"" + Dir + "bad.gif\" is not a readable GIF file.");
  EXPECT_EQ(Form->OpenDialog1->FileName(), Dir + "bad.gif");
  // Nothing shown: saving says so at once, before any dialog.
  Form->SaveAs1Click(Form);
  ASSERT_EQ(Driver.MessageBoxes().size(), 3u);
  EXPECT_EQ(Driver.MessageBoxes()[2].Text, "There is no picture to save. Open a BMP or GIF file first.");
  Form->Free();
  Form = nullptr;
  Start({Dir + "bad.bmp"});
  ASSERT_EQ(Driver.MessageBoxes().size(), 4u);
  const std::string& said = Driver.MessageBoxes()[3].Text;
  EXPECT_EQ(said.rfind("Cannot open file \"" + Dir + "bad.bmp\".\n", 0), 0u);
  EXPECT_EQ(said.find(Dir, 1 + said.find(Dir)), std::string::npos) << said;  // named once
}

// A picture larger than the window scrolls by the wheel over it and by the
// keys, from the start.
TEST_F(LiteMain, TheWheelAndTheKeysScrollAPictureLargerThanTheWindow) {
  WriteBmp(Dir + "large.bmp", 900, 700, FewColors);
  Start({Dir + "large.bmp"});
  TScrollBox* box = Form->ScrollBox1;
  Driver.Wheel(TUiTestDriver::ScreenPoint(box, 40, 40), -120);
  Driver.ProcessMessages();
  EXPECT_EQ(box->VertPosition(), 24);
  Driver.PressKey(VK_END);
  Driver.PressKey(VK_RIGHT);
  Driver.ProcessMessages();
  EXPECT_EQ(box->VertPosition(), 700 - box->ClientHeight());
  EXPECT_EQ(box->HorzPosition(), 8);
}

// Saving over a GIF that is there asks first: No keeps the file and the
// window's name, Yes replaces it.
TEST_F(LiteMain, SavingOverAFileAsksFirst) {
  WriteBmp(Dir + "few.bmp", 24, 18, FewColors);
  const std::vector<uint8_t> old = {'G', 'I', 'F', '8', '9', 'a', '!'};
  WriteWholeFile(Dir + "few.gif", old);
  Start({Dir + "few.bmp"});
  Driver.AnswerMessageBoxes({IDNO});
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    d->SetNameBoxText("few");
    d->Accept();
    d->CancelDialog();
  });
  Form->SaveAs1Click(Form);
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, Dir + "few.gif already exists.\nDo you want to replace it?");
  EXPECT_EQ(ReadWholeFile(Dir + "few.gif"), old);
  EXPECT_EQ(Form->FileName(), Dir + "few.bmp");
  Driver.AnswerMessageBoxes({IDYES});
  SaveAs("few.gif");
  EXPECT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_EQ(ReadGif(Dir + "few.gif")->GetBitmap()->Width(), 24);
}

TEST_F(LiteMain, TooManyColoursOfferTheFullEditionWithTheOpenedFileAsItsOneArgument) {
  WriteBmp(Dir + "many colours.bmp", 32, 32, ManyColors);
  Start({Dir + "many colours.bmp"});
  SaveAs("many.gif");
  EXPECT_TRUE(Form->plTestPro->Visible());
  EXPECT_FALSE(FileExists(Dir + "many.gif"));  // a refused save leaves no file, nor its name
  EXPECT_EQ(Form->FileName(), Dir + "many colours.bmp");

  // The offer shows whole: the memo holds every line of its text, the
  // buttons lie under it inside the panel. Its paragraphs are wrapped by the
  // memo alone: no line of them is cut short to go on in the next.
  Driver.ProcessMessages();
  TMemo* memo = Form->Memo1;
  for (int32_t i = 0; i + 1 < memo->Lines()->Count(); ++i) {
    const std::string line = memo->Lines()->Strings(i);
    EXPECT_TRUE(line.empty() || line.back() != ' ') << line;
  }
  const int32_t height = memo->Height();
  EXPECT_GE(Form->BitBtn1->Top(), memo->Top() + height);
  EXPECT_LE(Form->BitBtn1->Top() + Form->BitBtn1->Height(), Form->plTestPro->ClientHeight());
  memo->SetHeight(1000);  // the text's own extent, wrapped at the same width
  Driver.ProcessMessages();
  const TWindowImage text = Driver.ReadWindow(memo->Handle());
  int32_t textBottom = 0;
  for (int32_t y = 0; y < text.Height - 2; ++y)
    for (int32_t x = 4; x < text.Width - 4; ++x)
      if (text.Pixel(x, y) == clBlack) textBottom = y;
  EXPECT_GT(textBottom, 100);
  EXPECT_LT(textBottom, height - 3);
  memo->SetHeight(height);

  MakeFullEdition();
  TShellRecorder shell;
  Form->BitBtn1Click(Form->BitBtn1);
  ASSERT_EQ(shell.Requests.size(), 1u);
  EXPECT_EQ(shell.Requests[0].Program, Dir + "quillonpro");
  // The name chosen for opening, not the one last saved.
  EXPECT_EQ(shell.Requests[0].Arguments, (std::vector<std::string>{Dir + "many colours.bmp"}));
  EXPECT_FALSE(Form->plTestPro->Visible());
  EXPECT_TRUE(Driver.MessageBoxes().empty());

  // "No" returns to the image as well.
  SaveAs("many.gif");
  EXPECT_TRUE(Form->plTestPro->Visible());
  Form->BitBtn2Click(Form->BitBtn2);
  EXPECT_FALSE(Form->plTestPro->Visible());
  EXPECT_EQ(shell.Requests.size(), 1u);
}

// The about box's only button answers Enter and Escape.
TEST_F(LiteMain, TheAboutBoxClosesWithEnterOrEscape) {
  Start();
  Application->CreateForm(AboutForm);
  for (uint16_t key : {VK_RETURN, VK_ESCAPE}) {
    Driver.WhenIdle([&] { Driver.PressKey(key); });
    EXPECT_EQ(AboutForm->ShowModal(), mrOk);
    EXPECT_EQ(Driver.PendingSteps(), 0u);
  }
  FreeAndNil(AboutForm);
}

TEST_F(LiteMain, AMissingOrFailingFullEditionIsReported) {
  WriteBmp(Dir + "many.bmp", 32, 32, ManyColors);
  Start({Dir + "many.bmp"});
  SaveAs("many.gif");
  ASSERT_TRUE(Form->plTestPro->Visible());

  TShellRecorder shell(SE_ERR_ACCESSDENIED);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (Dir + "bin").c_str(), 1);
  Form->BitBtn1Click(Form->BitBtn1);
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Error 801 - File Not Found!");
  EXPECT_TRUE(shell.Requests.empty());
  EXPECT_TRUE(Form->plTestPro->Visible());  // the offer stays

  // Not beside the lite edition but on PATH: that one is started.
  ForceDirectories(Dir + "bin");
  std::ofstream(Dir + "bin/quillonpro") << "#!/bin/sh\n";
  chmod((Dir + "bin/quillonpro").c_str(), 0755);
  Form->BitBtn1Click(Form->BitBtn1);
  setenv("PATH", path.c_str(), 1);
  ASSERT_EQ(shell.Requests.size(), 1u);
  EXPECT_EQ(shell.Requests[0].Program, Dir + "bin/quillonpro");
  EXPECT_EQ(Driver.MessageBoxes().size(), 2u);  // it failed to start
  SaveAs("many.gif");
  Driver.ClearMessageBoxes();
  shell.Requests.clear();

  // Beside it: that one comes first.
  MakeFullEdition();
  Form->BitBtn1Click(Form->BitBtn1);
  ASSERT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(Driver.MessageBoxes()[0].Text, "Error 802 - Can not run program!");
  ASSERT_EQ(shell.Requests.size(), 1u);
  EXPECT_EQ(shell.Requests[0].Program, Dir + "quillonpro");
  EXPECT_FALSE(Form->plTestPro->Visible());
}

// The save writes the whole GIF or nothing: a disk that stops taking bytes
// fails the save and leaves the GIF that was there.
TEST_F(LiteMain, ASaveThatCannotBeWrittenKeepsTheOldGif) {
  WriteBmp(Dir + "few.bmp", 24, 18, FewColors);
  Start({Dir + "few.bmp"});
  const std::vector<uint8_t> old = {'G', 'I', 'F', '8', '9', 'a', '!'};
  WriteWholeFile(Dir + "few.gif", old);
  {
    TFileSizeLimit limit(40);
    EXPECT_THROW(Form->LiteSaveGif(Dir + "few.gif"), EWriteError);
  }
  EXPECT_EQ(ReadWholeFile(Dir + "few.gif"), old);
  EXPECT_EQ(FolderNames(Dir), (std::set<std::string>{"few.bmp", "few.gif"}));
}

}  // namespace
