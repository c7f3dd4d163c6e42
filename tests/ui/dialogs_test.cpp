// The file and colour dialogs answered by script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/base/files.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "platform/ui/window.h"

namespace {

class Dialogs : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeStdControls();
    char tmpl[] = "/tmp/quillon_dialogs_XXXXXX";
    Dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
    for (const char* n : {"a.bmp", "B.GIF", "c.txt", "photo.jpg"}) std::ofstream(Dir + n) << "x";
    ForceDirectories(Dir + "sub");
    std::ofstream(Dir + "sub/inner.bmp") << "x";
  }
  void TearDown() override {
    FinalizeStdControls();
    std::string cmd = "rm -rf '" + Dir + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
  }
  TUiTestDriver Driver;
  std::string Dir;
};

TEST(FilterText, PairsAndPatterns) {
  auto f = ParseFilter("Image files|*.bmp; *.gif|BMP - Bitmap|*.bmp|All files|*.*");
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].Description, "Image files");
  EXPECT_EQ(f[0].Patterns, (std::vector<std::string>{"*.bmp", "*.gif"}));
  EXPECT_EQ(f[2].Patterns, (std::vector<std::string>{"*.*"}));
  // A save filter ends with "|": no empty entry comes of it.
  EXPECT_EQ(ParseFilter("GIF - GIF 89a|*.gif|").size(), 1u);
  EXPECT_TRUE(MatchesMask("PIC.BMP", "*.bmp"));
  EXPECT_TRUE(MatchesMask("README", "*.*"));
  EXPECT_FALSE(MatchesMask("pic.bmp", "*.gif"));
}

// A dialog with a pane of its own in the extension area.
class TPreviewDialog : public TOpenDialog {
public:
  explicit TPreviewDialog(TComponent* AOwner) : TOpenDialog(AOwner) { SetExtensionWidth(150); }
  TPanel* Pane = nullptr;
  std::vector<std::string> Log;

protected:
  void PopulateExtension(TPanel* Area) override {
    Pane = new TPanel(Area);
    Pane->SetBounds(10, 20, 120, 100);
    Pane->SetColor(clLime);
    Pane->SetParent(Area);
  }
  void DoSelectionChange() override {
    Log.push_back("selection " + ExtractFileName(GetFilePath()));
    TOpenDialog::DoSelectionChange();
  }
};

TEST_F(Dialogs, OpenDialogFiltersSelectsChangesTypeAndFolderWithAPaneOfOurs) {
  TPreviewDialog dlg(nullptr);
  dlg.SetFilter("Image files|*.bmp; *.gif|Text|*.txt|All files|*.*");
  dlg.SetInitialDir(Dir);
  dlg.SetOptions(ofFileMustExist);
  std::vector<std::string> events;
  dlg.OnShow = [&](TObject*) { events.push_back("show"); };
  dlg.OnClose = [&](TObject*) { events.push_back("close"); };
  dlg.OnTypeChange = [&](TObject*) { events.push_back("type " + std::to_string(dlg.FilterIndex())); };
  dlg.OnFolderChange = [&](TObject*) { events.push_back("folder " + ExtractFileName(dlg.GetFolderPath().substr(0, dlg.GetFolderPath().size() - 1))); };
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    ASSERT_EQ(d, &dlg);
    EXPECT_EQ(d->ListedNames(), (std::vector<std::string>{"sub/", "a.bmp", "B.GIF"}));
    // Our pane sits in the extension area and shows.
    ASSERT_NE(dlg.Pane, nullptr);
    EXPECT_EQ(dlg.Pane->Parent(), d->ExtensionArea());
    TPoint p = d->DialogForm()->ScreenToClient(dlg.Pane->ClientToScreen(TPoint{60, 50}));
    EXPECT_EQ(Driver.Pixel(d->DialogForm()->Handle(), p.X, p.Y), static_cast<TColor>(clLime));
    const char* build = std::getenv("QUILLON_BUILD_DIR");
    d->SelectFile("a.bmp");
    Driver.ProcessMessages();
    EXPECT_TRUE(Driver.SaveWindowPng(d->DialogForm()->Handle(),
                                     std::string(build ? build : ".") + "/ui_open_dialog_offscreen.png"));
    d->SelectFilterIndex(2);
    EXPECT_EQ(d->ListedNames(), (std::vector<std::string>{"sub/", "c.txt"}));
    d->SelectFile("sub/");
    EXPECT_TRUE(d->ListedNames().empty());
    d->SelectFilterIndex(1);
    d->SelectFile("inner.bmp");
    EXPECT_EQ(d->GetFilePath(), Dir + "sub/inner.bmp");
    d->SetNameBoxText("missing.bmp");
    d->Accept();  // the file must exist: a message box, and the dialog stays
  });
  Driver.WhenIdle([&] {
    EXPECT_EQ(Driver.MessageBoxes().size(), 1u);
    ExecutingFileDialog()->SelectFile("inner.bmp");
    ExecutingFileDialog()->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "sub/inner.bmp");
  EXPECT_EQ(dlg.FilterIndex(), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"show", "type 2", "folder sub", "type 1", "close"}));
  ASSERT_FALSE(dlg.Log.empty());
  EXPECT_EQ(dlg.Log.front(), "selection a.bmp");
  EXPECT_EQ(dlg.Log.back(), "selection inner.bmp");
  EXPECT_EQ(ExecutingFileDialog(), nullptr);
}

TEST_F(Dialogs, SeveralFilesAtOnceWhileOurOtherWindowsKeepTheirMessages) {
  int32_t posted = 0;
  HWND other = CreateWindowEx(0, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                              [&](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
                                if (m == WM_USER + 7) ++posted;
                                return DefWindowProc(h, m, w, l);
                              });
  TOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  dlg.SetOptions(ofAllowMultiSelect | ofFileMustExist);
  Driver.WhenIdle([&] { PostMessage(other, WM_USER + 7, 0, 0); });
  Driver.WhenIdle([&] {
    // The dialog's loop delivered it.
    EXPECT_EQ(posted, 1);
    TOpenDialog* d = ExecutingFileDialog();
    d->SelectFiles({"photo.jpg", "a.bmp"});
    EXPECT_EQ(d->NameBoxText(), "\"photo.jpg\" \"a.bmp\"");
    d->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.Files(), (std::vector<std::string>{Dir + "photo.jpg", Dir + "a.bmp"}));
  EXPECT_EQ(dlg.FileName(), Dir + "photo.jpg");
  DestroyWindow(other);
}

TEST_F(Dialogs, TheFileNamesFolderComesBeforeTheInitialFolder) {
  TOpenDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  dlg.SetFileName(Dir + "sub/inner.bmp");
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingFileDialog()->GetFolderPath(), Dir + "sub/");
    EXPECT_EQ(ExecutingFileDialog()->NameBoxText(), "inner.bmp");
    ExecutingFileDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  // A folder that is gone leaves the initial one.
  dlg.SetFileName(Dir + "gone/inner.bmp");
  Driver.WhenIdle([&] {
    EXPECT_EQ(ExecutingFileDialog()->GetFolderPath(), Dir);
    ExecutingFileDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
}

TEST_F(Dialogs, SaveDialogAddsTheDefaultExtensionAsksBeforeOverwritingAndCanBeRefused) {
  TSaveDialog dlg(nullptr);
  dlg.SetFilter("GIF - GIF 89a standard|*.gif|PNG - Portable Network Graphic|*.png");
  dlg.SetDefaultExt("gif");
  dlg.SetFilterIndex(7);  // out of range: the first entry
  dlg.SetFileName(Dir + "pic");
  dlg.SetOptions(ofOverwritePrompt | ofHideReadOnly);
  bool allow = false;
  int32_t asked = 0;
  dlg.OnCanClose = [&](TObject*, bool& CanClose) {
    ++asked;
    CanClose = allow;
  };
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    EXPECT_EQ(d->NameBoxText(), "pic");
    EXPECT_EQ(d->FilterIndex(), 1);
    d->Accept();  // refused by OnCanClose
    EXPECT_TRUE(d->Executing());
    allow = true;
    d->SetNameBoxText("a.bmp");
    Driver.AnswerMessageBoxes({IDNO, IDYES});
    d->Accept();  // exists: asked, answered No
    EXPECT_TRUE(d->Executing());
    d->Accept();  // asked again, answered Yes
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "a.bmp");
  EXPECT_EQ(asked, 2);
  ASSERT_EQ(Driver.MessageBoxes().size(), 2u);
  EXPECT_NE(Driver.MessageBoxes()[0].Text.find("already exists"), std::string::npos);

  // Cancelled: the name stays as it was.
  Driver.WhenIdle([&] {
    ExecutingFileDialog()->SetNameBoxText("pic");
    ExecutingFileDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "a.bmp");

  Driver.WhenIdle([&] {
    ExecutingFileDialog()->SetNameBoxText("pic");
    ExecutingFileDialog()->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "pic.gif");

  // With the PNG type chosen a bare name becomes a PNG name; a typed
  // extension is kept as typed.
  Driver.WhenIdle([&] {
    ExecutingFileDialog()->SelectFilterIndex(2);
    ExecutingFileDialog()->SetNameBoxText("pic");
    ExecutingFileDialog()->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "pic.png");
  Driver.WhenIdle([&] {
    ExecutingFileDialog()->SetNameBoxText("pic.GIF");
    ExecutingFileDialog()->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.FileName(), Dir + "pic.GIF");
}

TEST_F(Dialogs, ColorDialogStartsAtItsColourAndKeepsCustomColours) {
  TColorDialog dlg(nullptr);
  dlg.SetColor(clRed);
  dlg.SetOptions(cdFullOpen);
  dlg.SetCustomColors({"ColorB=00FF00"});
  Driver.WhenIdle([&] {
    TColorDialog* d = ExecutingColorDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->FullOpen());
    EXPECT_EQ(d->CurrentColor(), static_cast<TColor>(clRed));
    d->SelectCustomColor(1);
    EXPECT_EQ(d->CurrentColor(), 0x00FF00u);
    d->PickColor(0x123456);
    d->AddToCustomColors();
    const char* build = std::getenv("QUILLON_BUILD_DIR");
    Driver.ProcessMessages();
    EXPECT_TRUE(Driver.SaveWindowPng(ExecutingColorDialog() ? GetActiveWindow() : nullptr,
                                     std::string(build ? build : ".") + "/ui_color_dialog_offscreen.png"));
    d->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(dlg.Color(), 0x123456u);
  ASSERT_EQ(dlg.CustomColors().size(), 16u);
  EXPECT_EQ(dlg.CustomColors()[0], "ColorA=123456");  // the dialog's first free slot
  EXPECT_EQ(dlg.CustomColors()[1], "ColorB=00FF00");
  Driver.WhenIdle([&] {
    ExecutingColorDialog()->SelectBasicColor(47);
    ExecutingColorDialog()->CancelDialog();
  });
  EXPECT_FALSE(dlg.Execute());
  EXPECT_EQ(dlg.Color(), 0x123456u);
}

}  // namespace
