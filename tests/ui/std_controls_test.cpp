// The standard controls on one form, driven by injected input and by code,
// with their events counted; and the form's screenshot on the offscreen
// platform, saved under the build folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/base/files.h"
#include "platform/gdi/dc.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/key_press.h"
#include "platform/ui/window_internal.h"
#include "tests/ui/all_controls_form.h"

namespace {

class StdControls : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeStdControls();
    Application->CreateForm(Form);
    Form->Show();
    Driver.ProcessMessages();
  }
  void TearDown() override {
    Form->Free();
    FinalizeStdControls();
  }
  void ClickOn(TControl* C, int32_t X, int32_t Y, uint32_t Button = MK_LBUTTON) {
    Driver.Click(TUiTestDriver::ScreenPoint(C, X, Y), Button);
    Driver.ProcessMessages();
  }
  void Type(const std::string& S) {
    for (char c : S) {
      uint32_t vk = (c >= 'a' && c <= 'z') ? static_cast<uint32_t>(c - 'a' + 'A') : static_cast<uint32_t>(c);
      Driver.PressKey(vk, static_cast<uint8_t>(c));
    }
    Driver.ProcessMessages();
  }
  void Press(uint32_t Key, uint32_t Modifiers = 0, uint32_t Char = 0) { PressWith(Driver, Key, Modifiers, Char); }
  TUiTestDriver Driver;
  TAllControlsForm* Form = nullptr;
};

TEST_F(StdControls, EditTypesInUpperCaseFiresOnChangeAndHonoursReadOnly) {
  int32_t changes = 0;
  Form->Edit->OnChange = [&](TObject*) { ++changes; };
  ClickOn(Form->Edit, 5, 5);
  EXPECT_TRUE(Form->Edit->Focused());
  Type("ab1");
  EXPECT_EQ(Form->Edit->Text(), "AB1");
  EXPECT_EQ(changes, 3);
  Press(VK_LEFT);
  Press(VK_BACK, 0, '\b');
  EXPECT_EQ(Form->Edit->Text(), "A1");
  Form->Edit->SetText("code");
  EXPECT_EQ(Form->Edit->Text(), "CODE");
  EXPECT_EQ(changes, 5);
  Form->Edit->SetText("CODE");  // the same text changes nothing
  EXPECT_EQ(changes, 5);
  // The clipboard keys: copy the selection, paste the first line only.
  Form->Edit->SetSelStart(1);
  Form->Edit->SetSelLength(2);
  Clipboard()->SetAsText("before");
  Press('C', MK_CONTROL);  // the menu's Ctrl+C comes first
  EXPECT_EQ(Form->Clicks["Copy"], 1);
  EXPECT_EQ(Clipboard()->AsText(), "before");
  Form->Menu->Items()->Items(1)->Items(0)->SetShortCut(scNone);
  Press('C', MK_CONTROL);
  EXPECT_EQ(Clipboard()->AsText(), "OD");
  Clipboard()->SetAsText("xy\nsecond line");
  Press(VK_END);
  Press('V', MK_CONTROL);
  EXPECT_EQ(Form->Edit->Text(), "CODEXY");
  // A line copied with its line end, whichever: the line alone.
  for (const char* line : {"z\r\n", "z\r", "z\n"}) {
    Form->Edit->SetText("CODE");
    Press(VK_END);
    Clipboard()->SetAsText(line);
    Press('V', MK_CONTROL);
    EXPECT_EQ(Form->Edit->Text(), "CODEZ");
  }
  Form->Edit->SetText("CODEXY");
  Form->Edit->SetReadOnly(true);
  Type("x");
  Press('V', MK_CONTROL);
  EXPECT_EQ(Form->Edit->Text(), "CODEXY");
  FinalizeClipboard();
}

TEST_F(StdControls, SpinEditClampsStepsAndFiresOnChangeForCodeAndInput) {
  int32_t changes = 0;
  Form->Spin->OnChange = [&](TObject*) { ++changes; };
  Form->Spin->SetValue(300);
  EXPECT_EQ(Form->Spin->Value(), 256);
  EXPECT_EQ(changes, 1);
  Form->Spin->SetValue(256);
  EXPECT_EQ(changes, 1);
  TRect down = Form->Spin->DownButtonRect();
  ClickOn(Form->Spin, down.Left + 3, down.Top + 2);
  EXPECT_EQ(Form->Spin->Value(), 251);
  Press(VK_UP);
  EXPECT_EQ(Form->Spin->Value(), 256);
  EXPECT_EQ(changes, 3);
  Form->Spin->SelectAll();
  Type("x7");  // letters do not go into a spin edit
  EXPECT_EQ(Form->Spin->Text(), "7");
  EXPECT_EQ(Form->Spin->Value(), 7);
  Form->Spin->SetText("1");
  EXPECT_EQ(Form->Spin->Value(), 2);  // read within the limits
}

TEST_F(StdControls, ButtonsCheckBoxesAndRadioItemsCountTheirClicks) {
  int32_t button = 0, check = 0, radio = 0, group = 0;
  Form->Button->OnClick = [&](TObject*) { ++button; };
  Form->Check->OnClick = [&](TObject*) { ++check; };
  Form->Radio2->OnClick = [&](TObject*) { ++radio; };
  Form->Group->OnClick = [&](TObject*) { ++group; };
  ClickOn(Form->Button, 10, 10);
  EXPECT_EQ(button, 1);
  // A press that leaves the button before the release is no click.
  Driver.MouseDown(TUiTestDriver::ScreenPoint(Form->Button, 10, 10));
  Driver.MouseMove(TUiTestDriver::ScreenPoint(Form->Button, 200, 10));
  Driver.MouseUp(TUiTestDriver::ScreenPoint(Form->Button, 200, 10));
  Driver.ProcessMessages();
  EXPECT_EQ(button, 1);
  Press(VK_SPACE, 0, ' ');  // the focused button
  EXPECT_EQ(button, 2);

  ClickOn(Form->Check, 5, 8);
  EXPECT_TRUE(Form->Check->Checked());
  Form->Check->SetChecked(false);  // by code too
  EXPECT_EQ(check, 2);

  Form->Radio1->SetChecked(true);
  ClickOn(Form->Radio2, 5, 8);
  EXPECT_TRUE(Form->Radio2->Checked());
  EXPECT_FALSE(Form->Radio1->Checked());
  EXPECT_EQ(radio, 1);

  TRect third = Form->Group->ItemRect(2);
  EXPECT_GT(third.Left, Form->Group->ItemRect(1).Left);  // three columns side by side
  EXPECT_EQ(third.Top, Form->Group->ItemRect(0).Top);
  ClickOn(Form->Group, third.Left + 3, (third.Top + third.Bottom) / 2);
  EXPECT_EQ(Form->Group->ItemIndex(), 2);
  Form->Group->SetItemIndex(0);
  EXPECT_EQ(group, 2);
  Press(VK_RIGHT);
  EXPECT_EQ(Form->Group->ItemIndex(), 1);
}

TEST_F(StdControls, SpeedButtonsOfAGroupReleaseEachOther) {
  int32_t clicks = 0;
  Form->Speed2->OnClick = [&](TObject*) { ++clicks; };
  ClickOn(Form->Speed1, 5, 5);
  EXPECT_TRUE(Form->Speed1->Down());
  ClickOn(Form->Speed2, 5, 5);
  EXPECT_TRUE(Form->Speed2->Down());
  EXPECT_FALSE(Form->Speed1->Down());
  EXPECT_EQ(clicks, 1);
  // All up is allowed for the group: a second press releases.
  ClickOn(Form->Speed2, 5, 5);
  EXPECT_FALSE(Form->Speed2->Down());
  Form->Speed1->SetDown(true);
  EXPECT_TRUE(Form->Speed1->Down());
}

TEST_F(StdControls, DefaultAndCancelButtonsTakeEnterAndEscapeOnAModalForm) {
  TForm* dlg = new TForm(nullptr);
  dlg->SetBounds(100, 100, 240, 120);
  auto* edit = new TEdit(dlg);
  edit->SetParent(dlg);
  auto* ok = new TBitBtn(dlg);
  ok->SetKind(bkOK);
  ok->SetCaption("Yes! I want it.");  // a custom caption keeps the kind's result
  ok->SetBounds(10, 50, 100, 27);
  ok->SetParent(dlg);
  auto* no = new TBitBtn(dlg);
  no->SetKind(bkNo);
  no->SetBounds(120, 50, 100, 27);
  no->SetParent(dlg);
  dlg->AfterConstruction();
  dlg->SetActiveControl(edit);
  EXPECT_EQ(ok->Caption(), "Yes! I want it.");
  Driver.WhenIdle([&] { Press(VK_RETURN, 0, '\r'); });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  Driver.WhenIdle([&] { Press(VK_ESCAPE, 0, 27); });
  EXPECT_EQ(dlg->ShowModal(), mrNo);
  dlg->Free();
}

TEST_F(StdControls, MemoKeepsEnterAndLinesWhileTabAndAcceleratorsMoveTheFocus) {
  int32_t ok = 0;
  Form->Ok->OnClick = [&](TObject*) { ++ok; };
  EXPECT_EQ(Form->Memo->Lines()->Count(), 2);
  EXPECT_EQ(Form->Memo->Lines()->Strings(1), "centred text");
  Form->Edit->SetFocus();
  Driver.ProcessMessages();
  Press(VK_TAB, 0, '\t');
  EXPECT_TRUE(Form->Spin->Focused());
  Press(VK_TAB, 0, '\t');
  EXPECT_TRUE(Form->Memo->Focused());
  Form->Memo->SetSelStart(static_cast<int32_t>(Form->Memo->Text().size()));
  Press(VK_RETURN, 0, '\r');
  Type("x");
  EXPECT_EQ(ok, 0);  // the memo took Enter
  EXPECT_EQ(Form->Memo->Lines()->Count(), 3);
  EXPECT_EQ(Form->Memo->Lines()->Strings(2), "x");
  Press(VK_TAB, MK_SHIFT, '\t');
  EXPECT_TRUE(Form->Spin->Focused());
  // Alt+N: the label's hotkey gives the focus to its control; Alt+D
  // toggles the check box; Alt+L chooses the radio group's item.
  Press('N', ui_internal::ModAlt, 'n');
  EXPECT_TRUE(Form->Edit->Focused());
  Press('D', ui_internal::ModAlt, 'd');
  EXPECT_TRUE(Form->Check->Checked());
  EXPECT_TRUE(Form->Check->Focused());
  Form->Group->SetItems({"None", "Frame", "E&llipse"});
  Press('L', ui_internal::ModAlt, 'l');
  EXPECT_EQ(Form->Group->ItemIndex(), 2);
  Form->Check->SetFocus();
  Press(VK_RETURN, 0, '\r');  // Enter on the check box: the default button
  EXPECT_EQ(ok, 1);
}

TEST_F(StdControls, StatusBarDrawsOwnerPanelsAndText) {
  int32_t draws = 0;
  TRect drawn;
  Form->Status->OnDrawPanel = [&](TStatusBar* Bar, TStatusPanel* P, const TRect& R) {
    ++draws;
    drawn = R;
    EXPECT_EQ(P->Index(), 1);
    Bar->Canvas()->Brush()->SetColor(clRed);
    Bar->Canvas()->FillRect(R);
  };
  Form->Status->Invalidate();
  Driver.ProcessMessages();
  EXPECT_GE(draws, 1);
  // The owner draws inside the panel's bevel.
  EXPECT_EQ(drawn.Left, Form->Status->PanelRect(1).Left + 1);
  EXPECT_EQ(drawn.Right, Form->Status->PanelRect(1).Right - 1);
  TPoint p = Form->Status->ClientToScreen(TPoint{(drawn.Left + drawn.Right) / 2, (drawn.Top + drawn.Bottom) / 2});
  TPoint c = Form->ScreenToClient(p);
  EXPECT_EQ(Driver.Pixel(Form->Handle(), c.X, c.Y), static_cast<TColor>(clRed));
  // The last panel runs to the right edge.
  EXPECT_EQ(Form->Status->PanelRect(2).Right, Form->Status->ClientWidth());
}

TEST_F(StdControls, ImageListKeepsMasksReplacesDeletesAndDrawsTransparently) {
  TImageList* list = Form->Images;
  ASSERT_EQ(list->Count(), 2);  // a 32-pixel strip is two 16-pixel images
  EXPECT_TRUE(list->IsTransparent(0, 0, 0));
  EXPECT_FALSE(list->IsTransparent(0, 5, 5));
  EXPECT_EQ(list->Pixel(0, 5, 5), static_cast<TColor>(clGreen));
  TBitmap target;
  target.SetPixelFormat(pf24bit);
  target.SetSize(16, 16);
  target.Canvas()->Brush()->SetColor(clWhite);
  target.Canvas()->FillRect(TRect{0, 0, 16, 16});
  list->Draw(target.Canvas(), 0, 0, 0);
  EXPECT_EQ(target.Canvas()->Pixels(0, 0), static_cast<TColor>(clWhite));
  EXPECT_EQ(target.Canvas()->Pixels(5, 5), static_cast<TColor>(clGreen));

  TBitmap img, mask;
  img.SetPixelFormat(pf24bit);
  img.SetSize(16, 16);
  img.Canvas()->Brush()->SetColor(clBlue);
  img.Canvas()->FillRect(TRect{0, 0, 16, 16});
  mask.SetPixelFormat(pf24bit);
  mask.SetSize(16, 16);
  mask.Canvas()->Brush()->SetColor(clBlack);
  mask.Canvas()->FillRect(TRect{0, 0, 16, 16});
  mask.Canvas()->Brush()->SetColor(clWhite);
  mask.Canvas()->FillRect(TRect{0, 0, 8, 16});
  list->Replace(1, &img, &mask);
  EXPECT_TRUE(list->IsTransparent(1, 3, 3));
  EXPECT_EQ(list->Pixel(1, 12, 3), static_cast<TColor>(clBlue));
  list->Delete(0);
  EXPECT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Pixel(0, 12, 3), static_cast<TColor>(clBlue));
  EXPECT_THROW(list->Delete(3), EInvalidOperation);
}

TEST_F(StdControls, TheApplicationShowsAControlsHintAfterThePause) {
  std::vector<std::string> hints;
  Application->OnHint = [&](TObject*) { hints.push_back(Application->Hint()); };
  Form->Button->SetHint("Apply|Apply the pending changes");
  Driver.MouseMove(TUiTestDriver::ScreenPoint(Form->Button, 10, 10));
  Driver.ProcessMessages();
  Driver.AdvanceClock(Application->HintPause / 2);
  EXPECT_FALSE(Application->HintWindow() && IsWindowVisible(Application->HintWindow()));
  Driver.AdvanceClock(Application->HintPause);
  ASSERT_NE(Application->HintWindow(), nullptr);
  EXPECT_TRUE(IsWindowVisible(Application->HintWindow()));
  EXPECT_EQ(hints, (std::vector<std::string>{"Apply the pending changes"}));
  Driver.MouseMove(TUiTestDriver::ScreenPoint(Form->Memo, 10, 10));
  Driver.ProcessMessages();
  EXPECT_FALSE(IsWindowVisible(Application->HintWindow()));
  Application->OnHint = nullptr;
}

TEST_F(StdControls, LabelsImagesProgressAndScrollBoxLayOutAsAsked) {
  int32_t w = Form->NameLabel->Width();
  Form->NameLabel->SetCaption("&Name of the file:");
  EXPECT_GT(Form->NameLabel->Width(), w);  // AutoSize follows the caption
  TRect d = Form->Image->DestRect();
  EXPECT_EQ(d.Left, 16);  // a 32-pixel picture centred in 64 pixels
  Form->Image->SetStretch(true);
  EXPECT_EQ(Form->Image->DestRect().Right, 64);
  Form->Progress->SetPosition(75);
  Form->Progress->StepIt();  // past the maximum: round to the start
  EXPECT_EQ(Form->Progress->Position(), 5);
  EXPECT_TRUE(IsScrollBarShown(Form->Scroll->Handle(), SB_VERT));
  int32_t top = Form->ScrollChild->Top();
  Form->Scroll->ScrollTo(0, 40);
  EXPECT_EQ(Form->ScrollChild->Top(), top - 40);
  EXPECT_EQ(Form->Scroll->VertPosition(), 40);
  // The lowered panel's client area leaves room for its border and bevel.
  auto* inner = new TPanel(Form);
  inner->SetAlign(alClient);
  inner->SetParent(Form->Lowered);
  EXPECT_EQ(inner->Left(), 5);
}

// A check box that lets its parent show through, as the imaging library's
// transparent controls do: a transparent window and the transparent
// background mode in its colour message.
class TSeeThroughCheckBox : public TCheckBox {
public:
  explicit TSeeThroughCheckBox(TComponent* AOwner) : TCheckBox(AOwner) {}
  void WndProc(TMessage& Message) override {
    if (Message.Msg == CN_CTLCOLORSTATIC) {
      SetBkMode(reinterpret_cast<HDC>(Message.WParam), TRANSPARENT);
      Message.Result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      return;
    }
    if (Message.Msg == WM_ERASEBKGND) {
      Message.Result = 1;
      return;
    }
    TCheckBox::WndProc(Message);
  }

protected:
  void CreateParams(TCreateParams& Params) override {
    TCheckBox::CreateParams(Params);
    Params.ExStyle |= WS_EX_TRANSPARENT;
  }
};

TEST_F(StdControls, ACheckBoxLeavesItsBackgroundToAColourHandler) {
  Form->Lowered->SetColor(clLime);
  auto* plain = new TCheckBox(Form);
  plain->SetBounds(10, 10, 60, 17);
  plain->SetCaption("x");
  plain->SetParent(Form->Lowered);
  auto* clear = new TSeeThroughCheckBox(Form);
  clear->SetBounds(80, 10, 60, 17);
  clear->SetCaption("x");
  clear->SetParent(Form->Lowered);
  Driver.ProcessMessages();
  auto at = [&](TControl* C) {
    TPoint p = Form->ScreenToClient(C->ClientToScreen(TPoint{55, 8}));
    return Driver.Pixel(Form->Handle(), p.X, p.Y);
  };
  EXPECT_EQ(at(plain), ColorToRGB(clLime));  // a parent colour, painted
  EXPECT_EQ(at(clear), ColorToRGB(clLime));  // the parent itself, showing through
  plain->SetParentColor(false);
  plain->SetColor(clYellow);
  clear->SetColor(clYellow);
  Driver.ProcessMessages();
  EXPECT_EQ(at(plain), ColorToRGB(clYellow));
  EXPECT_EQ(at(clear), ColorToRGB(clLime));
}

TEST_F(StdControls, FormWithEveryControlIsSavedAsAScreenshot) {
  Form->Check->SetChecked(true);
  Form->Radio2->SetChecked(true);
  Form->Group->SetItemIndex(1);
  Form->Speed1->SetDown(true);
  Form->Edit->SetText("quillon");
  Driver.ProcessMessages();
  TWindowImage img = Driver.ReadWindow(Form->Handle(), false);
  EXPECT_EQ(img.Width, 620);
  // The menu bar lies above the client area.
  TPoint o = GetClientOffset(Form->Handle());
  EXPECT_EQ(img.Pixel(o.X + 200, o.Y - MenuBarHeight() / 2), ColorToRGB(clMenu));
  const char* dir = std::getenv("QUILLON_BUILD_DIR");
  std::string file = std::string(dir ? dir : ".") + "/ui_std_controls_offscreen.png";
  EXPECT_TRUE(Driver.SaveWindowPng(Form->Handle(), file));
  EXPECT_TRUE(FileExists(file));
}

}  // namespace
