// Menus: TMenuItem (captions with "&" hotkeys, shortcuts, check marks,
// radio groups, enabling, visibility, images, separators, submenus),
// TMainMenu (a form's menu bar, which can be removed and attached again)
// and TPopupMenu (a form's or a control's context menu, or Popup(x, y)).
// Shortcuts reach the menus before the focused control: the form's main
// menu first, then the popup menus from the focused control up to the form.
// Open menus run a modal loop that reads the queue itself, so tests answer
// them with TUiTestDriver::WhenIdle steps (keys or clicks).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

class TCustomForm;
class TCustomImageList;
class TMenu;

// A shortcut: the virtual key in the low byte and the modifier bits.
using TShortCut = uint16_t;
enum : TShortCut { scNone = 0, scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000 };
TShortCut ShortCut(uint16_t Key, TShiftState Shift);
// "Ctrl+O", "Alt+0", "F10", "Shift+Del"; empty for scNone.
std::string ShortCutToText(TShortCut ShortCut);
// The reverse of ShortCutToText (case-insensitive); scNone when unknown.
TShortCut TextToShortCut(const std::string& Text);
// The caption without hotkey marks: "&" is dropped, "&&" becomes "&".
std::string StripHotkey(const std::string& Text);
// The upper-case hotkey letter of a caption, 0 when it has none.
char GetHotkey(const std::string& Text);
// Whether Key (a virtual key or character) is the hotkey of the caption.
bool IsAccel(uint32_t Key, const std::string& Caption);

class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const std::string& Caption() const { return FCaption; }
  void SetCaption(const std::string& Value);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut Value);
  bool Checked() const { return FChecked; }
  // Checking a radio item unchecks the other radio items of its GroupIndex
  // under the same parent.
  void SetChecked(bool Value);
  bool RadioItem() const { return FRadioItem; }
  void SetRadioItem(bool Value);
  uint8_t GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(uint8_t Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  int32_t ImageIndex() const { return FImageIndex; }
  void SetImageIndex(int32_t Value);
  // A separator: the caption "-".
  bool IsLine() const { return FCaption == "-"; }

  // Submenu items, in order. An item added without an owner belongs to
  // its parent item, which frees it.
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TMenuItem* Items(int32_t Index) const { return FItems.at(static_cast<size_t>(Index)); }
  void Add(TMenuItem* Item);
  void Insert(int32_t Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  void Delete(int32_t Index);
  int32_t IndexOf(const TMenuItem* Item) const;
  TMenu* GetParentMenu() const;
  // The first sub-item (any depth) with the caption (hotkeys ignored).
  TMenuItem* Find(const std::string& ACaption) const;

  // Fires OnClick when enabled.
  virtual void Click();
  TNotifyEvent OnClick;

private:
  void Changed();
  std::string FCaption;
  TShortCut FShortCut = scNone;
  bool FChecked = false;
  bool FRadioItem = false;
  uint8_t FGroupIndex = 0;
  bool FEnabled = true;
  bool FVisible = true;
  int32_t FImageIndex = -1;
  std::vector<TMenuItem*> FItems;
  TMenuItem* FParent = nullptr;
  TMenu* FMenu = nullptr;  // set on the root item
  friend class TMenu;
};

class TMenu : public TComponent {
public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  TMenuItem* Items() const { return FItems.get(); }
  TCustomImageList* Images() const { return FImages; }
  void SetImages(TCustomImageList* Value);
  // The enabled item with this shortcut, visible or not, is clicked; true
  // when one was. A disabled item does not fire.
  bool IsShortCut(uint16_t Key, TShiftState Shift);
  TMenuItem* FindItemByShortCut(TShortCut Value) const;
  // Called when an item changes (the menu bar repaints).
  virtual void MenuChanged() {}

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  std::unique_ptr<TMenuItem> FItems;
  TCustomImageList* FImages = nullptr;
};

class TMainMenu : public TMenu {
public:
  explicit TMainMenu(TComponent* AOwner) : TMenu(AOwner) {}
  ~TMainMenu() override;
  void MenuChanged() override;
};

enum TPopupAlignment : uint8_t { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
public:
  explicit TPopupMenu(TComponent* AOwner);
  // Shows the menu with its top-left corner at the screen point and runs
  // until an item is chosen (its OnClick then runs) or the menu is closed.
  virtual void Popup(int32_t X, int32_t Y);
  TComponent* PopupComponent() const { return FPopupComponent; }
  void SetPopupComponent(TComponent* Value) { FPopupComponent = Value; }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool Value) { FAutoPopup = Value; }
  TPopupAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TPopupAlignment Value) { FAlignment = Value; }
  TNotifyEvent OnPopup;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  TComponent* FPopupComponent = nullptr;
  bool FAutoPopup = true;
  TPopupAlignment FAlignment = paLeft;
};

// The form's menu bar: attaching shows the bar above the client area (the
// client area shrinks by its height); nullptr removes it. The menu's
// shortcuts keep working while the bar is removed.
void SetFormMenu(TCustomForm* Form, TMainMenu* Menu);
TMainMenu* GetFormMenu(TCustomForm* Form);
// The height of one row of the menu bar; a window too narrow for all its
// items wraps them into more rows.
int32_t MenuBarHeight();

// The menu windows open now (the bar's drop-down or a popup menu and their
// submenus), outermost first, and where an item of them lies (screen
// coordinates; empty when the item is not shown): for scripted tests.
std::vector<HWND> OpenMenuWindows();
TRect MenuItemScreenRect(TMenuItem* Item);
// Where a top item of the form's menu bar lies on the screen.
TRect MenuBarItemScreenRect(TCustomForm* Form, TMenuItem* Item);

// Installs the menu hooks of the control classes (right-click popup menus
// and shortcuts); the standard controls' start-up calls it.
void InitializeMenus();
void FinalizeMenus();
// Shortcut dispatch for a key that reaches Control: true when a menu used it.
bool DispatchShortCut(TWinControl* Control, uint16_t Key, TShiftState Shift);
