// Menus: shortcut texts, shortcuts through the main menu and the popup
// menu (hidden items fire, disabled ones do not, also with the bar
// removed), the menu bar's drop-downs and popup menus answered by script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/gdi/dc.h"
#include "platform/ui/test_driver.h"
#include "tests/ui/key_press.h"
#include "platform/ui/window_internal.h"
#include "tests/ui/all_controls_form.h"

namespace {

TEST(MenuTexts, ShortCutsHotkeysAndCaptions) {
  EXPECT_EQ(ShortCutToText(ShortCut('O', ssCtrl)), "Ctrl+O");
  EXPECT_EQ(ShortCutToText(ShortCut('0', ssAlt)), "Alt+0");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F10, 0)), "F10");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_DELETE, ssShift | ssCtrl)), "Shift+Ctrl+Del");
  EXPECT_EQ(TextToShortCut("ctrl+f1"), ShortCut(VK_F1, ssCtrl));
  EXPECT_EQ(TextToShortCut("Ctrl+Nothing"), scNone);
  EXPECT_EQ(StripHotkey("&Black && White"), "Black & White");
  EXPECT_EQ(GetHotkey("&Black && White"), 'B');
  EXPECT_EQ(GetHotkey("Tile &background"), 'B');
  EXPECT_EQ(GetHotkey("R&&D"), 0);
  EXPECT_TRUE(IsAccel('x', "E&xit"));
}

TEST(MenuItems, RadioItemsOfAGroupCheckOneAtATime) {
  TMainMenu menu(nullptr);
  auto* sub = new TMenuItem(nullptr);
  menu.Items()->Add(sub);
  TMenuItem* items[3];
  for (auto*& i : items) {
    i = new TMenuItem(nullptr);
    i->SetRadioItem(true);
    i->SetGroupIndex(201);
    sub->Add(i);
  }
  auto* other = new TMenuItem(nullptr);
  other->SetRadioItem(true);
  other->SetGroupIndex(254);
  other->SetChecked(true);
  sub->Add(other);
  items[0]->SetChecked(true);
  items[2]->SetChecked(true);
  EXPECT_FALSE(items[0]->Checked());
  EXPECT_TRUE(items[2]->Checked());
  EXPECT_TRUE(other->Checked());
  EXPECT_EQ(sub->IndexOf(other), 3);
  EXPECT_EQ(other->GetParentMenu(), &menu);
  sub->Delete(3);
  EXPECT_EQ(sub->Count(), 3);
  delete other;
}

class Menus : public ::testing::Test {
protected:
  void SetUp() override {
    InitializeStdControls();
    Application->CreateForm(Form);
    Form->Show();
    Form->Edit->SetFocus();
    Driver.ProcessMessages();
    Form->Edit->OnKeyDown = [this](TObject*, uint16_t&, TShiftState) { ++EditKeys; };
  }
  void TearDown() override {
    Form->Free();
    FinalizeStdControls();
  }
  void Press(uint32_t Key, uint32_t Modifiers = 0, uint32_t Char = 0) { PressWith(Driver, Key, Modifiers, Char); }
  TUiTestDriver Driver;
  TAllControlsForm* Form = nullptr;
  int32_t EditKeys = 0;
};

TEST_F(Menus, ShortCutsGoThroughTheMainMenuThenThePopupMenuBeforeTheControl) {
  auto* hidden = Form->Item(Form->Menu->Items()->Items(1), "Copyscreen");
  hidden->SetShortCut(ShortCut(VK_F5, 0));
  hidden->SetVisible(false);
  auto* reset = Form->Item(Form->Menu->Items()->Items(1), "&Reset");
  reset->SetShortCut(ShortCut('0', ssAlt));
  reset->SetEnabled(false);
  Form->PopupFirst->OnClick = [this](TObject*) {
    ++Form->Clicks["Main Menu"];
    SetFormMenu(Form, GetFormMenu(Form) ? nullptr : Form->Menu);
  };

  Press('O', MK_CONTROL);
  EXPECT_EQ(Form->Clicks["Open..."], 1);
  EXPECT_EQ(EditKeys, 0);  // the menu took the key
  Press(VK_F5);
  EXPECT_EQ(Form->Clicks["Copyscreen"], 1);  // a hidden command
  Press('0', ui_internal::ModAlt);
  EXPECT_EQ(Form->Clicks["Reset"], 0);  // disabled
  EXPECT_EQ(EditKeys, 1);               // so the control got the key

  // Ctrl+F1 of the popup menu removes the bar; the client area grows by it.
  int32_t before = Form->ClientHeight();
  Press(VK_F1, MK_CONTROL);
  EXPECT_EQ(Form->Clicks["Main Menu"], 1);
  EXPECT_EQ(GetFormMenu(Form), nullptr);
  EXPECT_EQ(Form->ClientHeight(), before + MenuBarHeight());
  Press('O', MK_CONTROL);
  Press(VK_F5);
  Press('0', ui_internal::ModAlt);
  EXPECT_EQ(Form->Clicks["Open..."], 2);
  EXPECT_EQ(Form->Clicks["Copyscreen"], 2);
  EXPECT_EQ(Form->Clicks["Reset"], 0);
  Press(VK_F1, MK_CONTROL);
  EXPECT_EQ(GetFormMenu(Form), Form->Menu);
  EXPECT_EQ(Form->ClientHeight(), before);
}

TEST_F(Menus, TheBarGoesWithTheBorderAndComesBackWithIt) {
  // As the main window's "Main Menu" command does: no menu and no border,
  // then the menu and a sizeable border again (the window is made anew).
  SetFormMenu(Form, nullptr);
  Form->SetBorderStyle(bsNone);
  Driver.ProcessMessages();
  EXPECT_EQ(GetClientOffset(Form->Handle()).Y, 0);
  Press('O', MK_CONTROL);
  EXPECT_EQ(Form->Clicks["Open..."], 1);
  SetFormMenu(Form, Form->Menu);
  Form->SetBorderStyle(bsSizeable);
  Driver.ProcessMessages();
  TPoint o = GetClientOffset(Form->Handle());
  TWindowImage img = Driver.ReadWindow(Form->Handle(), false);
  EXPECT_EQ(img.Pixel(o.X + 300, o.Y - MenuBarHeight() / 2), ColorToRGB(clMenu));
  TRect bar = MenuBarItemScreenRect(Form, Form->Menu->Items()->Items(0));
  TRect wr;
  GetWindowRect(Form->Handle(), wr);
  EXPECT_EQ(bar.Bottom, wr.Top + o.Y);
  Form->Edit->SetFocus();
  Driver.ProcessMessages();
  Press('O', MK_CONTROL);
  EXPECT_EQ(Form->Clicks["Open..."], 2);
}

// A window too narrow for the bar wraps it into rows, as the system's does:
// every menu stays in the window and opens by mouse.
TEST_F(Menus, ANarrowWindowWrapsTheBarIntoRows) {
  TMenuItem* file = Form->Menu->Items()->Items(0);
  TMenuItem* edit = Form->Menu->Items()->Items(1);
  const int32_t oneRow = GetClientOffset(Form->Handle()).Y;
  const int32_t wide = Form->Width();
  // Exactly as wide as its items the bar keeps one row; a pixel less wraps it.
  const int32_t fit = MenuBarItemScreenRect(Form, edit).Right - MenuBarItemScreenRect(Form, file).Left;
  for (int32_t less : {0, 1}) {
    Form->SetWidth(Form->Width() - Form->ClientWidth() + fit - less);
    Driver.ProcessMessages();
    EXPECT_EQ(GetClientOffset(Form->Handle()).Y, oneRow + less * MenuBarHeight()) << less;
  }
  Form->SetWidth(Form->Width() - Form->ClientWidth() + MenuBarItemScreenRect(Form, file).Width() + 2);
  Driver.ProcessMessages();
  EXPECT_EQ(GetClientOffset(Form->Handle()).Y, oneRow + MenuBarHeight());
  TRect f = MenuBarItemScreenRect(Form, file), e = MenuBarItemScreenRect(Form, edit);
  EXPECT_EQ(e.Left, f.Left);
  EXPECT_EQ(e.Top, f.Bottom);
  TRect wr;
  GetWindowRect(Form->Handle(), wr);
  EXPECT_EQ(e.Bottom, wr.Top + GetClientOffset(Form->Handle()).Y);
  TWindowImage img = Driver.ReadWindow(Form->Handle(), false);
  EXPECT_EQ(img.Pixel(e.Right - wr.Left - 2, e.Top - wr.Top + 2), ColorToRGB(clMenu));
  Driver.WhenIdle([&] {
    ASSERT_EQ(OpenMenuWindows().size(), 1u);
    TRect r = MenuItemScreenRect(edit->Items(0));
    Driver.Click(TPoint{r.Left + 10, r.Top + 5});
  });
  Driver.Click(TPoint{e.Left + 5, e.Top + 5});
  Driver.ProcessMessages();
  EXPECT_EQ(Form->Clicks["Copy"], 1);
  Form->SetWidth(wide);
  Driver.ProcessMessages();
  EXPECT_EQ(GetClientOffset(Form->Handle()).Y, oneRow);
}

TEST_F(Menus, TheBarDropsDownByMouseAndByKeys) {
  TMenuItem* file = Form->Menu->Items()->Items(0);
  TRect bar = MenuBarItemScreenRect(Form, file);
  ASSERT_GT(bar.Width(), 0);
  Driver.WhenIdle([&] {
    ASSERT_EQ(OpenMenuWindows().size(), 1u);
    TRect r = MenuItemScreenRect(Form->Open);
    Driver.Click(TPoint{r.Left + 10, r.Top + 5});
  });
  Driver.Click(TPoint{bar.Left + 5, bar.Top + 5});
  Driver.ProcessMessages();
  EXPECT_EQ(Form->Clicks["Open..."], 1);
  EXPECT_TRUE(OpenMenuWindows().empty());

  // Alt+F opens the File menu; Down past the separator-free start, Enter.
  Driver.WhenIdle([&] {
    Driver.PressKey(VK_DOWN);
    Driver.PressKey(VK_DOWN);
    Driver.PressKey(VK_RETURN);
  });
  Press('F', ui_internal::ModAlt);
  EXPECT_EQ(Form->Clicks["Exit"], 1);  // Open, then the separator is skipped
  // Escape closes without a choice.
  Driver.WhenIdle([&] { Driver.PressKey(VK_ESCAPE); });
  Press('F', ui_internal::ModAlt);
  EXPECT_EQ(Form->Clicks["Open..."], 1);
  EXPECT_EQ(Form->Clicks["Exit"], 1);
}

TEST_F(Menus, APopupMenuIsAnsweredByScriptWithItsComponentAndSubmenu) {
  auto* popup = new TPopupMenu(Form);
  int32_t shown = 0;
  popup->OnPopup = [&](TObject*) { ++shown; };
  auto* first = Form->Item(popup->Items(), "&First");
  (void)first;
  auto* sub = Form->Item(popup->Items(), "&Rotate");
  auto* r90 = Form->Item(sub, "&90");
  auto* r180 = Form->Item(sub, "&180");
  (void)r90;
  auto* off = Form->Item(popup->Items(), "&Off");
  off->SetEnabled(false);
  Form->Memo->SetPopupMenu(popup);

  // A right click on the memo opens its own menu, remembering the memo.
  Driver.WhenIdle([&] {
    EXPECT_EQ(popup->PopupComponent(), Form->Memo);
    TRect r = MenuItemScreenRect(sub);
    Driver.MouseMove(TPoint{r.Left + 10, r.Top + 5});  // opens the submenu
  });
  Driver.WhenIdle([&] {
    ASSERT_EQ(OpenMenuWindows().size(), 2u);
    // The open menus over the form, for a person to look at.
    const char* build = std::getenv("QUILLON_BUILD_DIR");
    std::string dir = build ? build : ".";
    EXPECT_TRUE(Driver.SaveWindowPng(OpenMenuWindows()[0], dir + "/ui_popup_menu_offscreen.png"));
    EXPECT_TRUE(Driver.SaveWindowPng(OpenMenuWindows()[1], dir + "/ui_submenu_offscreen.png"));
    TRect r = MenuItemScreenRect(r180);
    Driver.Click(TPoint{r.Left + 10, r.Top + 5});
  });
  Driver.Click(TUiTestDriver::ScreenPoint(Form->Memo, 10, 10), MK_RBUTTON);
  Driver.ProcessMessages();
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(Form->Clicks["180"], 1);

  // Popup(x, y) from code, answered by keys: the disabled item does nothing.
  Driver.WhenIdle([&] {
    Driver.PressKey('O');
    Driver.PressKey(VK_ESCAPE);
  });
  popup->Popup(200, 200);
  Driver.ProcessMessages();
  EXPECT_EQ(Form->Clicks["Off"], 0);
  // A control without a menu of its own shows the form's.
  Driver.WhenIdle([&] { Driver.PressKey('B'); });
  Driver.Click(TUiTestDriver::ScreenPoint(Form->Edit, 10, 10), MK_RBUTTON);
  Driver.ProcessMessages();
  EXPECT_EQ(Form->Clicks["Tile Background"], 1);
  EXPECT_EQ(Form->Popup->PopupComponent(), Form->Edit);
}

}  // namespace
