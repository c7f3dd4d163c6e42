// Finer points of the standard controls, menu items, dialogs and the
// clipboard: editing keys and limits, label sizing, panel client areas,
// speed-button groups without all-up, scroll messages, menu item
// ownership, folder navigation, and hostile clipboard data.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/base/files.h"
#include "platform/gdi/dc.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/menus.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/key_press.h"

namespace {

class Detail : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeStdControls();
    Form = new TForm(nullptr);
    Form->SetBorderStyle(bsNone);
    Form->SetBounds(50, 50, 400, 300);
    Form->AfterConstruction();
  }
  void TearDown() override {
    Form->Free();
    FinalizeClipboard();
    FinalizeStdControls();
  }
  template <class T>
  T* Add(int32_t X, int32_t Y, int32_t W, int32_t H) {
    auto* c = new T(Form);
    c->SetBounds(X, Y, W, H);
    c->SetParent(Form);
    return c;
  }
  void Show() {
    Form->Show();
    Driver.ProcessMessages();
  }
  void Press(uint32_t Key, uint32_t Modifiers = 0, uint32_t Char = 0) { PressWith(Driver, Key, Modifiers, Char); }
  TUiTestDriver Driver;
  TForm* Form = nullptr;
};

TEST_F(Detail, EditSelectionDeleteMaxLengthAndClickPlacement) {
  auto* e = Add<TEdit>(10, 10, 200, 21);
  Show();
  e->SetFocus();
  e->SetText("abcdef");
  e->SetSelStart(1);
  Press(VK_RIGHT, MK_SHIFT);
  Press(VK_RIGHT, MK_SHIFT);
  EXPECT_EQ(e->SelStart(), 3);
  EXPECT_EQ(e->SelLength(), 2);
  Press(VK_DELETE);
  EXPECT_EQ(e->Text(), "adef");
  Press(VK_HOME);
  Press(VK_DELETE);
  EXPECT_EQ(e->Text(), "def");
  e->SetMaxLength(4);
  Press(VK_END);
  for (char c : std::string("xyz")) Press(static_cast<uint32_t>(c - 'a' + 'A'), 0, static_cast<uint8_t>(c));
  EXPECT_EQ(e->Text(), "defx");  // no room past MaxLength
  e->SetText("much too long");
  EXPECT_EQ(e->Text(), "much");
  // A click left of the text puts the caret at the start.
  Driver.Click(TUiTestDriver::ScreenPoint(e, 1, 10));
  Driver.ProcessMessages();
  EXPECT_EQ(e->SelStart(), 0);
  Driver.Click(TUiTestDriver::ScreenPoint(e, 190, 10));
  Driver.ProcessMessages();
  EXPECT_EQ(e->SelStart(), 4);
  // A text longer than the box scrolls to keep the caret in view: the
  // caret's line is drawn near the right edge, inside the box.
  e->SetMaxLength(0);
  e->SetText(std::string(60, 'w') + "|");
  e->SetSelStart(61);
  Driver.ProcessMessages();
  TWindowImage img = Driver.ReadWindow(e->Handle());
  bool caretSeen = false;
  for (int32_t x = 150; x < 198; ++x) caretSeen = caretSeen || img.Pixel(x, 10) == ColorToRGB(clWindowText);
  EXPECT_TRUE(caretSeen);
  EXPECT_EQ(img.Pixel(0, 5), ColorToRGB(clBtnShadow));  // the border is not drawn over
  EXPECT_EQ(img.Pixel(1, 5), ColorToRGB(cl3DDkShadow));
}

TEST_F(Detail, MemoLinesInsertReplaceAndDelete) {
  auto* m = Add<TMemo>(10, 10, 200, 80);
  m->Lines()->Add("one");
  m->Lines()->Add("");
  EXPECT_EQ(m->Lines()->Count(), 2);  // an empty last line counts
  m->Lines()->Insert(0, "zero");
  m->Lines()->SetStrings(2, "two");
  EXPECT_EQ(m->Lines()->Text(), "zero\none\ntwo");
  m->Lines()->Delete(1);
  EXPECT_EQ(m->Text(), "zero\ntwo");
  EXPECT_THROW(m->Lines()->Strings(5), EInvalidOperation);
  m->Lines()->Clear();
  EXPECT_EQ(m->Lines()->Count(), 0);
}

TEST_F(Detail, LabelsMeasureTheirTextAndKeepTheirRightEdge) {
  auto* l = Add<TLabel>(100, 10, 10, 10);
  l->SetCaption("&&");
  int32_t amp = l->Width();
  l->SetShowAccelChar(false);
  EXPECT_GT(l->Width(), amp);  // "&&" shows two ampersands now
  l->SetCaption("");
  EXPECT_GT(l->Width(), 0);  // an empty caption measures as a blank
  auto* r = Add<TLabel>(100, 40, 50, 10);
  r->SetAlignment(taRightJustify);
  r->SetCaption("x");
  int32_t right = r->Left() + r->Width();
  r->SetCaption("wide right-aligned text");
  EXPECT_EQ(r->Left() + r->Width(), right);  // grows to the left
  EXPECT_LT(r->Left(), 100);
  // A word-wrapped label keeps its width and takes the height it needs.
  auto* w = Add<TLabel>(10, 70, 60, 10);
  w->SetWordWrap(true);
  w->SetCaption("several words that wrap");
  w->SetWidth(60);
  EXPECT_EQ(w->Width(), 60);
  EXPECT_GT(w->Height(), 2 * r->Height() - 2);
}

TEST_F(Detail, PanelClientAreaSpeedButtonsAndProgressLimits) {
  auto* p = Add<TPanel>(10, 10, 100, 80);
  p->SetBevelInner(bvLowered);
  p->SetBevelWidth(2);
  p->SetBorderWidth(3);
  auto* inner = new TPanel(Form);
  inner->SetAlign(alClient);
  inner->SetParent(p);
  Show();
  EXPECT_EQ(inner->Left(), 7);  // outer bevel 2, border 3, inner bevel 2
  EXPECT_EQ(inner->Width(), 100 - 14);

  auto* a = Add<TSpeedButton>(150, 10, 24, 24);
  auto* b = Add<TSpeedButton>(180, 10, 24, 24);
  auto* lone = Add<TSpeedButton>(210, 10, 24, 24);
  a->SetGroupIndex(3);
  b->SetGroupIndex(3);
  a->SetDown(true);
  Driver.Click(TUiTestDriver::ScreenPoint(a, 5, 5));
  Driver.ProcessMessages();
  EXPECT_TRUE(a->Down());  // without AllowAllUp the last one stays down
  a->SetDown(false);
  EXPECT_TRUE(a->Down());
  b->SetDown(true);
  EXPECT_FALSE(a->Down());
  lone->SetDown(true);
  EXPECT_FALSE(lone->Down());  // no group, no down state

  auto* bar = Add<TProgressBar>(10, 200, 100, 16);
  bar->SetMin(10);
  bar->SetMax(20);
  bar->SetPosition(50);
  EXPECT_EQ(bar->Position(), 20);
  bar->SetPosition(-5);
  EXPECT_EQ(bar->Position(), 10);
}

TEST_F(Detail, ScrollBoxFollowsScrollMessagesWithinItsRange) {
  auto* box = Add<TScrollBox>(10, 10, 120, 100);
  auto* child = new TPanel(Form);
  child->SetBounds(0, 300, 50, 50);
  child->SetParent(box);
  Show();
  ASSERT_TRUE(IsScrollBarShown(box->Handle(), SB_VERT));
  SendMessage(box->Handle(), WM_VSCROLL, MakeScrollWParam(SB_LINEDOWN, 0), 0);
  EXPECT_EQ(box->VertPosition(), 8);
  SendMessage(box->Handle(), WM_VSCROLL, MakeScrollWParam(SB_THUMBPOSITION, 1000), 0);
  EXPECT_EQ(box->VertPosition(), 350 - box->ClientHeight());
  EXPECT_EQ(child->Top() + child->Height(), box->ClientHeight());
  SendMessage(box->Handle(), WM_VSCROLL, MakeScrollWParam(SB_TOP, 0), 0);
  EXPECT_EQ(child->Top(), 300);
}

TEST_F(Detail, BitBtnKindsGiveResultsRolesAndTransparentGlyphs) {
  auto* ok = Add<TBitBtn>(10, 10, 90, 27);
  ok->SetKind(bkOK);
  EXPECT_TRUE(ok->Default());
  EXPECT_EQ(ok->ModalResult(), mrOk);
  auto* cancel = Add<TBitBtn>(110, 10, 90, 27);
  cancel->SetKind(bkCancel);
  EXPECT_TRUE(cancel->Cancel());
  EXPECT_EQ(cancel->Caption(), "Cancel");
  ASSERT_FALSE(cancel->Glyph()->Empty());
  // The glyph's bottom-left colour is its transparent colour: the face shows there.
  Show();
  TPoint corner = Form->ScreenToClient(cancel->ClientToScreen(TPoint{3, 3}));
  EXPECT_EQ(Driver.Pixel(Form->Handle(), corner.X, corner.Y), ColorToRGB(clBtnFace));
  cancel->SetKind(bkCustom);
  EXPECT_EQ(cancel->Caption(), "Cancel");  // a custom kind keeps what it has
}

TEST(MenuItemOwnership, ParentsFreeUnownedItemsAndFreedItemsLeaveTheirParent) {
  TComponent owner(nullptr);
  auto* root = new TMenuItem(nullptr);
  auto* owned = new TMenuItem(&owner);
  auto* loose = new TMenuItem(nullptr);
  root->Add(owned);
  root->Add(loose);
  EXPECT_THROW(root->Add(owned), EInvalidOperation);
  auto* other = new TMenuItem(nullptr);
  EXPECT_THROW(other->Add(loose), EInvalidOperation);  // one parent at a time
  delete other;
  owned->Free();
  EXPECT_EQ(root->Count(), 1);
  delete root;  // frees the loose item with it
  EXPECT_EQ(owner.ComponentCount(), 0);
  TMenuItem item(nullptr);
  EXPECT_THROW(item.Delete(0), EInvalidOperation);
  EXPECT_EQ(item.Find("nothing"), nullptr);
}

TEST_F(Detail, FileDialogGoesUpTakesTypedFoldersAndChecksPaths) {
  char tmpl[] = "/tmp/quillon_detail_XXXXXX";
  std::string dir = IncludeTrailingPathDelimiter(mkdtemp(tmpl));
  ForceDirectories(dir + "inner");
  std::ofstream(dir + "top.bmp") << "x";
  TOpenDialog dlg(nullptr);
  dlg.SetInitialDir(dir + "inner");
  dlg.SetOptions(ofPathMustExist);
  Driver.WhenIdle([&] {
    TOpenDialog* d = ExecutingFileDialog();
    d->SelectFile("../");
    EXPECT_EQ(d->GetFolderPath(), dir);
    d->SetNameBoxText("inner");
    d->Accept();  // a typed folder opens it
    EXPECT_EQ(d->GetFolderPath(), dir + "inner/");
    EXPECT_EQ(d->NameBoxText(), "");
    d->SetNameBoxText(dir + "nowhere/x.bmp");
    d->Accept();  // the path must exist
    EXPECT_TRUE(d->Executing());
    d->SetNameBoxText("../top.bmp");
    d->Accept();
  });
  EXPECT_TRUE(dlg.Execute());
  EXPECT_EQ(Driver.MessageBoxes().size(), 1u);
  EXPECT_EQ(ExtractFileName(dlg.FileName()), "top.bmp");
  std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST_F(Detail, ColorDialogStartsAtASystemColoursValueAndKeepsCustomColoursForTheNextOne) {
  TColorDialog first(nullptr);
  first.SetColor(clBtnFace);  // a system colour starts as its RGB value
  Driver.WhenIdle([&] {
    TColorDialog* d = ExecutingColorDialog();
    EXPECT_TRUE(d->FullOpen());
    EXPECT_EQ(d->CurrentColor(), ColorToRGB(clBtnFace));
    d->SelectBasicColor(8);
    d->AddToCustomColors();
    d->Accept();
  });
  EXPECT_TRUE(first.Execute());
  EXPECT_EQ(first.Color(), BasicColors()[8]);
  // Custom colours stay while the program runs: another dialog offers it.
  TColorDialog second(nullptr);
  Driver.WhenIdle([&] {
    ExecutingColorDialog()->SelectCustomColor(0);
    EXPECT_EQ(ExecutingColorDialog()->CurrentColor(), BasicColors()[8]);
    ExecutingColorDialog()->CancelDialog();
  });
  EXPECT_FALSE(second.Execute());
  EXPECT_EQ(second.Color(), static_cast<TColor>(clBlack));
  ASSERT_EQ(second.CustomColors().size(), 16u);
  EXPECT_EQ(second.CustomColors()[0], first.CustomColors()[0]);
}

TEST_F(Detail, ClipboardRefusesMisuseAndHostileDibs) {
  HGLOBAL text = GlobalFromBytes({'x', 0});
  EXPECT_EQ(SetClipboardData(CF_TEXT, text), 0u);  // not open: refused, and the block stays ours
  GlobalFree(text);
  ASSERT_TRUE(OpenClipboard(nullptr));
  EXPECT_FALSE(OpenClipboard(nullptr));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(99, 1), 0u);  // an unknown format
  EXPECT_TRUE(CloseClipboard());
  EXPECT_FALSE(CloseClipboard());
  // A DIB whose header claims more than it holds.
  std::vector<uint8_t> bad(40 + 4, 0);
  bad[0] = 40, bad[4] = 0xFF, bad[5] = 0xFF, bad[8] = 0xFF, bad[9] = 0xFF, bad[12] = 1, bad[14] = 24;
  Clipboard()->SetPackedDIB(bad);
  EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
  TBitmap b;
  EXPECT_THROW(b.Assign(Clipboard()), EClipboardException);
  EXPECT_EQ(Clipboard()->PackedDIB(), bad);
}

}  // namespace
