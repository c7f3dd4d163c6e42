// Menu items, the menu bar in a form's non-client area, popup and
// drop-down menu windows with their modal loop, and shortcut dispatch.
#include "platform/ui/menus.h"

#include <algorithm>
#include <map>

#include "platform/base/strings.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/edges.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/forms.h"
#include "platform/ui/image_list.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/std_controls.h"

enum : int32_t { HTMENU = 5 };

namespace {

const char* const KeyNames[][2] = {
    {"\x08", "BkSp"}, {"\x09", "Tab"},  {"\x0D", "Enter"}, {"\x1B", "Esc"},  {"\x20", "Space"},
    {"\x21", "PgUp"}, {"\x22", "PgDn"}, {"\x23", "End"},   {"\x24", "Home"}, {"\x25", "Left"},
    {"\x26", "Up"},   {"\x27", "Right"}, {"\x28", "Down"}, {"\x2D", "Ins"},  {"\x2E", "Del"},
};

std::string KeyText(uint16_t Key) {
  if ((Key >= '0' && Key <= '9') || (Key >= 'A' && Key <= 'Z')) return std::string(1, static_cast<char>(Key));
  if (Key >= VK_F1 && Key < VK_F1 + 24) return "F" + std::to_string(Key - VK_F1 + 1);
  for (const auto& k : KeyNames)
    if (static_cast<uint8_t>(k[0][0]) == Key) return k[1];
  return {};
}

}  // namespace

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
  if (Key & 0xFF00) return scNone;
  TShortCut s = Key;
  if (Shift & ssShift) s |= scShift;
  if (Shift & ssCtrl) s |= scCtrl;
  if (Shift & ssAlt) s |= scAlt;
  return s;
}

std::string ShortCutToText(TShortCut Value) {
  std::string name = KeyText(Value & 0xFF);
  if (name.empty()) return {};
  std::string s;
  if (Value & scShift) s += "Shift+";
  if (Value & scCtrl) s += "Ctrl+";
  if (Value & scAlt) s += "Alt+";
  return s + name;
}

TShortCut TextToShortCut(const std::string& Text) {
  std::string t = Text;
  TShortCut mods = 0;
  for (;;) {
    std::string l = LowerCase(t);
    if (l.rfind("shift+", 0) == 0) mods |= scShift, t = t.substr(6);
    else if (l.rfind("ctrl+", 0) == 0) mods |= scCtrl, t = t.substr(5);
    else if (l.rfind("alt+", 0) == 0) mods |= scAlt, t = t.substr(4);
    else break;
  }
  for (uint16_t k = 1; k < 0x100; ++k) {
    std::string n = KeyText(k);
    if (!n.empty() && SameText(n, t)) return static_cast<TShortCut>(k | mods);
  }
  return scNone;
}

std::string StripHotkey(const std::string& Text) {
  std::string s;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '&') {
      if (i + 1 < Text.size() && Text[i + 1] == '&') {
        s += '&';
        ++i;
      }
      continue;
    }
    s += Text[i];
  }
  return s;
}

char GetHotkey(const std::string& Text) {
  for (size_t i = 0; i + 1 < Text.size(); ++i) {
    if (Text[i] != '&') continue;
    if (Text[i + 1] == '&') {
      ++i;
      continue;
    }
    char c = Text[i + 1];
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return 0;
}

bool IsAccel(uint32_t Key, const std::string& Caption) {
  char h = GetHotkey(Caption);
  if (!h) return false;
  uint32_t k = (Key >= 'a' && Key <= 'z') ? Key - 'a' + 'A' : Key;
  return k == static_cast<uint8_t>(h);
}

// ===========================================================================
// TMenuItem

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  if (FParent) FParent->Remove(this);
  std::vector<TMenuItem*> items = FItems;
  FItems.clear();
  for (TMenuItem* i : items) {
    i->FParent = nullptr;
    // Items without an owner belong to their parent item.
    if (!i->Owner()) delete i;
  }
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* i = this;
  while (i->FParent) i = i->FParent;
  return i->FMenu;
}

void TMenuItem::Changed() {
  if (ComponentState() & csDestroying) return;
  TMenu* m = GetParentMenu();
  if (m && !(m->ComponentState() & csDestroying)) m->MenuChanged();
}

void TMenuItem::SetCaption(const std::string& Value) {
  if (Value == FCaption) return;
  FCaption = Value;
  Changed();
}

void TMenuItem::SetShortCut(TShortCut Value) {
  FShortCut = Value;
  Changed();
}

void TMenuItem::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  if (Value && FRadioItem && FParent)
    for (TMenuItem* i : FParent->FItems)
      if (i != this && i->FRadioItem && i->FGroupIndex == FGroupIndex) i->FChecked = false;
  Changed();
}

void TMenuItem::SetRadioItem(bool Value) {
  FRadioItem = Value;
  Changed();
}

void TMenuItem::SetGroupIndex(uint8_t Value) {
  FGroupIndex = Value;
  Changed();
}

void TMenuItem::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  FEnabled = Value;
  Changed();
}

void TMenuItem::SetVisible(bool Value) {
  if (Value == FVisible) return;
  FVisible = Value;
  Changed();
}

void TMenuItem::SetImageIndex(int32_t Value) {
  FImageIndex = Value;
  Changed();
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int32_t Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->FParent) throw EInvalidOperation("Menu inserted twice");
  Index = std::clamp(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  Changed();
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  Item->FParent = nullptr;
  Changed();
}

void TMenuItem::Delete(int32_t Index) {
  if (Index < 0 || Index >= Count()) throw EInvalidOperation("Menu index out of range");
  Remove(FItems[static_cast<size_t>(Index)]);
}

int32_t TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

TMenuItem* TMenuItem::Find(const std::string& ACaption) const {
  std::string want = StripHotkey(ACaption);
  for (TMenuItem* i : FItems) {
    if (StripHotkey(i->FCaption) == want) return i;
    if (TMenuItem* f = i->Find(ACaption)) return f;
  }
  return nullptr;
}

void TMenuItem::Click() {
  if (FEnabled && OnClick) OnClick(this);
}

// ===========================================================================
// TMenu

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner) {
  FItems = std::make_unique<TMenuItem>(nullptr);
  FItems->FMenu = this;
}

TMenu::~TMenu() = default;

void TMenu::SetImages(TCustomImageList* Value) {
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = Value;
  if (FImages) FImages->FreeNotification(this);
  MenuChanged();
}

void TMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FImages) FImages = nullptr;
}

namespace {
TMenuItem* FindByShortCut(TMenuItem* Root, TShortCut Value) {
  for (int32_t i = 0; i < Root->Count(); ++i) {
    TMenuItem* it = Root->Items(i);
    if (it->ShortCut() == Value) return it;
    if (TMenuItem* f = FindByShortCut(it, Value)) return f;
  }
  return nullptr;
}
}  // namespace

TMenuItem* TMenu::FindItemByShortCut(TShortCut Value) const {
  if (Value == scNone) return nullptr;
  return FindByShortCut(FItems.get(), Value);
}

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
  TMenuItem* item = FindItemByShortCut(ShortCut(Key, Shift & (ssShift | ssCtrl | ssAlt)));
  if (!item || !item->Enabled()) return false;
  item->Click();
  return true;
}

// ===========================================================================
// The menu bar and menu windows

namespace {

constexpr int32_t ItemHeight = 20;
constexpr int32_t LineHeight = 8;
constexpr int32_t GlyphColumn = 22;

struct TFormMenuRec {
  TMainMenu* Menu = nullptr;
  TComponent* Link = nullptr;
  std::function<void(TMessage&)> Previous;
  int32_t HotItem = -1;  // bar item shown pressed while its drop-down is open
};
std::map<TCustomForm*, TFormMenuRec>& FormMenus() {
  static auto* m = new std::map<TCustomForm*, TFormMenuRec>();
  return *m;
}

// Owned by a form with a menu bar: forgets the form's record when the form
// frees its components.
class TMenuBarLink : public TComponent {
public:
  explicit TMenuBarLink(TCustomForm* Form) : TComponent(Form), FForm(Form) {}
  ~TMenuBarLink() override { FormMenus().erase(FForm); }

private:
  TCustomForm* FForm;
};

TFont& MenuFont() {
  static auto* f = new TFont();
  return *f;
}

std::vector<TMenuItem*> VisibleItems(TMenuItem* Parent) {
  std::vector<TMenuItem*> v;
  for (int32_t i = 0; i < Parent->Count(); ++i)
    if (Parent->Items(i)->Visible()) v.push_back(Parent->Items(i));
  return v;
}

int32_t TextWidth(const std::string& S) {
  HDC dc = GetScreenDC();
  HGDIOBJ old = SelectObject(dc, MenuFont().Handle());
  TSize sz = TextExtent(dc, S);
  SelectObject(dc, old);
  ReleaseScreenDC(dc);
  return sz.cx;
}

void FillColor(HDC DC, const TRect& R, TColor C) {
  HBRUSH b = CreateSolidBrush(ColorToRGB(C));
  FillRect(DC, R, b);
  DeleteObject(b);
}

// Bar items in rows no wider than Width, as the system's menu bar wraps:
// an item that does not fit behind others starts the next row. Rectangles
// are relative to the bar's top-left corner.
std::vector<std::pair<TMenuItem*, TRect>> BarRows(TMainMenu* Menu, int32_t Width) {
  std::vector<std::pair<TMenuItem*, TRect>> out;
  int32_t x = 0, y = 0;
  for (TMenuItem* i : VisibleItems(Menu->Items())) {
    int32_t w = TextWidth(StripHotkey(i->Caption())) + 16;
    if (x > 0 && x + w > Width) {
      x = 0;
      y += MenuBarHeight();
    }
    out.emplace_back(i, TRect{x, y, x + w, y + MenuBarHeight()});
    x += w;
  }
  return out;
}

// Height of the bar over a client area Width pixels wide: one row or more.
int32_t BarHeight(TMainMenu* Menu, int32_t Width) {
  auto rows = BarRows(Menu, Width);
  return rows.empty() ? MenuBarHeight() : rows.back().second.Bottom;
}

// Bar items: rectangles in window coordinates of the form.
std::vector<std::pair<TMenuItem*, TRect>> BarLayout(TCustomForm* Form, TMainMenu* Menu) {
  TPoint co = GetClientOffset(Form->Handle());
  auto out = BarRows(Menu, Form->ClientWidth());
  const int32_t top = co.Y - BarHeight(Menu, Form->ClientWidth());
  for (auto& [item, r] : out) r = TRect{co.X + r.Left, top + r.Top, co.X + r.Right, top + r.Bottom};
  return out;
}

void PaintBar(TCustomForm* Form, TFormMenuRec& Rec) {
  if (!Form->HandleAllocated() || !Rec.Menu) return;
  HWND h = Form->Handle();
  HDC dc = GetWindowDC(h);
  if (!dc) return;
  TPoint co = GetClientOffset(h);
  TRect wr;
  GetWindowRect(h, wr);
  int32_t right = co.X + Form->ClientWidth();
  TRect band{co.X, co.Y - BarHeight(Rec.Menu, Form->ClientWidth()), right, co.Y};
  FillColor(dc, band, clMenu);
  HGDIOBJ old = SelectObject(dc, MenuFont().Handle());
  auto layout = BarLayout(Form, Rec.Menu);
  for (size_t k = 0; k < layout.size(); ++k) {
    auto& [item, r] = layout[k];
    if (static_cast<int32_t>(k) == Rec.HotItem) {
      TRect e = r;
      DrawEdge(dc, &e, BDR_SUNKENOUTER, BF_RECT);
    }
    DrawStateText(dc, item->Caption(), r, DT_CENTER | DT_VCENTER | DT_SINGLELINE, item->Enabled(), clMenuText);
  }
  SelectObject(dc, old);
  ReleaseDC(h, dc);
}

// ---- menu windows and their modal loop ----

struct TMenuLevel {
  TMenuItem* Parent = nullptr;
  HWND Wnd = nullptr;
  int32_t Selected = -1;
  std::vector<TMenuItem*> Items;
  std::vector<TRect> Rects;  // client coordinates
};

struct TTracker {
  std::vector<TMenuLevel> Levels;
  TCustomImageList* Images = nullptr;
  TMenuItem* Chosen = nullptr;
  bool Done = false;
  // Drop-downs of a menu bar: switching to the neighbouring bar item.
  TCustomForm* BarForm = nullptr;
  int32_t BarIndex = -1;
  int32_t SwitchTo = -1;
  bool Switch = false;
};
TTracker* Active = nullptr;

void PaintLevel(TMenuLevel& L, HDC DC) {
  TRect cr;
  GetClientRect(L.Wnd, cr);
  FillColor(DC, cr, clMenu);
  TRect e = cr;
  DrawEdge(DC, &e, EDGE_RAISED, BF_RECT);
  HGDIOBJ old = SelectObject(DC, MenuFont().Handle());
  for (size_t k = 0; k < L.Items.size(); ++k) {
    TMenuItem* it = L.Items[k];
    TRect r = L.Rects[k];
    if (it->IsLine()) {
      TRect line{r.Left + 1, r.Top + LineHeight / 2 - 1, r.Right - 1, r.Top + LineHeight / 2 + 1};
      DrawEdge(DC, &line, EDGE_ETCHED, BF_TOP);
      continue;
    }
    bool sel = static_cast<int32_t>(k) == L.Selected;
    if (sel) FillColor(DC, r, clHighlight);
    TColor text = sel ? clHighlightText : clMenuText;
    if (it->Checked()) {
      // A check mark, or a dot for radio items.
      HBRUSH b = CreateSolidBrush(ColorToRGB(it->Enabled() ? text : clGrayText));
      int32_t cx = r.Left + GlyphColumn / 2, cy = (r.Top + r.Bottom) / 2;
      if (it->RadioItem()) {
        FillRect(DC, TRect{cx - 2, cy - 2, cx + 3, cy + 3}, b);
      } else {
        for (int32_t i = 0; i < 3; ++i) FillRect(DC, TRect{cx - 3 + i, cy - 1 + i, cx - 2 + i, cy + 2 + i}, b);
        for (int32_t i = 0; i < 4; ++i) FillRect(DC, TRect{cx + i, cy + 1 - i, cx + 1 + i, cy + 4 - i}, b);
      }
      DeleteObject(b);
    } else if (Active && Active->Images && it->ImageIndex() >= 0 && it->ImageIndex() < Active->Images->Count()) {
      Active->Images->DrawOnDC(DC, r.Left + 3, r.Top + (r.Height() - Active->Images->Height()) / 2,
                               it->ImageIndex(), it->Enabled());
    }
    TRect tr{r.Left + GlyphColumn + 2, r.Top, r.Right - 8, r.Bottom};
    DrawStateText(DC, it->Caption(), tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE, it->Enabled(), text);
    if (it->ShortCut() != scNone)
      DrawStateText(DC, ShortCutToText(it->ShortCut()), tr, DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
                    it->Enabled(), text);
    if (it->Count() > 0) {
      HBRUSH b = CreateSolidBrush(ColorToRGB(text));
      int32_t ax = r.Right - 8, cy = (r.Top + r.Bottom) / 2;
      for (int32_t i = 0; i < 4; ++i) FillRect(DC, TRect{ax + i, cy - 3 + i, ax + i + 1, cy + 4 - i}, b);
      DeleteObject(b);
    }
  }
  SelectObject(DC, old);
}

LRESULT MenuWndProc(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam) {
  if (Msg == WM_PAINT) {
    TPaintStruct ps;
    HDC dc = BeginPaint(Wnd, ps);
    if (Active)
      for (TMenuLevel& L : Active->Levels)
        if (L.Wnd == Wnd) PaintLevel(L, dc);
    EndPaint(Wnd, ps);
    return 0;
  }
  if (Msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return DefWindowProc(Wnd, Msg, WParam, LParam);
}

void OpenLevel(TTracker& T, TMenuItem* Parent, int32_t X, int32_t Y) {
  TMenuLevel L;
  L.Parent = Parent;
  L.Items = VisibleItems(Parent);
  int32_t w = 0, y = 2;
  for (TMenuItem* i : L.Items) {
    int32_t tw = TextWidth(StripHotkey(i->Caption()));
    if (i->ShortCut() != scNone) tw += 24 + TextWidth(ShortCutToText(i->ShortCut()));
    w = std::max(w, tw);
  }
  w += GlyphColumn + 28;
  for (TMenuItem* i : L.Items) {
    int32_t h = i->IsLine() ? LineHeight : ItemHeight;
    L.Rects.push_back(TRect{2, y, w + 2, y + h});
    y += h;
  }
  int32_t width = w + 4, height = y + 2;
  int32_t sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  if (X + width > sw) X = std::max(0, sw - width);
  if (Y + height > sh) Y = std::max(0, sh - height);
  L.Wnd = CreateWindowEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "", WS_POPUP, X, Y, width, height, nullptr, MenuWndProc);
  T.Levels.push_back(L);
  ShowWindow(T.Levels.back().Wnd, SW_SHOWNA);
  UpdateWindow(T.Levels.back().Wnd);
}

void CloseLevelsAbove(TTracker& T, size_t Keep) {
  while (T.Levels.size() > Keep) {
    DestroyWindow(T.Levels.back().Wnd);
    T.Levels.pop_back();
  }
}

void Select(TTracker& T, size_t Level, int32_t Index) {
  TMenuLevel& L = T.Levels[Level];
  if (L.Selected == Index) return;
  L.Selected = Index;
  InvalidateRect(L.Wnd, nullptr, false);
  UpdateWindow(L.Wnd);
}

void OpenSub(TTracker& T, size_t Level) {
  TMenuLevel& L = T.Levels[Level];
  if (L.Selected < 0) return;
  TMenuItem* it = L.Items[static_cast<size_t>(L.Selected)];
  if (it->Count() == 0 || !it->Enabled()) return;
  TRect wr;
  GetWindowRect(L.Wnd, wr);
  TRect r = L.Rects[static_cast<size_t>(L.Selected)];
  OpenLevel(T, it, wr.Right - 2, wr.Top + r.Top - 2);
}

void Choose(TTracker& T, size_t Level, int32_t Index) {
  TMenuItem* it = T.Levels[Level].Items[static_cast<size_t>(Index)];
  if (it->IsLine() || !it->Enabled()) return;
  if (it->Count() > 0) {
    CloseLevelsAbove(T, Level + 1);
    Select(T, Level, Index);
    OpenSub(T, Level);
    return;
  }
  T.Chosen = it;
  T.Done = true;
}

int32_t NextSelectable(const TMenuLevel& L, int32_t From, int32_t Dir) {
  int32_t n = static_cast<int32_t>(L.Items.size());
  for (int32_t k = 1; k <= n; ++k) {
    int32_t i = ((From + Dir * k) % n + n) % n;
    if (From < 0 && Dir < 0 && k == 1) i = n - 1;
    if (!L.Items[static_cast<size_t>(i)]->IsLine()) return i;
  }
  return -1;
}

void HandleKey(TTracker& T, uint32_t Key) {
  size_t top = T.Levels.size() - 1;
  TMenuLevel& L = T.Levels[top];
  switch (Key) {
    case VK_ESCAPE:
      if (top == 0) T.Done = true;
      else CloseLevelsAbove(T, top);
      return;
    case VK_DOWN: Select(T, top, NextSelectable(L, L.Selected, 1)); return;
    case VK_UP: Select(T, top, NextSelectable(L, L.Selected < 0 ? 0 : L.Selected, -1)); return;
    case VK_RIGHT:
      if (L.Selected >= 0 && L.Items[static_cast<size_t>(L.Selected)]->Count() > 0) OpenSub(T, top);
      else if (T.BarForm) T.SwitchTo = T.BarIndex + 1, T.Switch = true, T.Done = true;
      return;
    case VK_LEFT:
      if (top > 0) CloseLevelsAbove(T, top);
      else if (T.BarForm) T.SwitchTo = T.BarIndex - 1, T.Switch = true, T.Done = true;
      return;
    case VK_RETURN:
    case VK_SPACE:
      if (L.Selected >= 0) Choose(T, top, L.Selected);
      return;
    default:
      for (size_t k = 0; k < L.Items.size(); ++k)
        if (!L.Items[k]->IsLine() && IsAccel(Key, L.Items[k]->Caption())) {
          Select(T, top, static_cast<int32_t>(k));
          Choose(T, top, static_cast<int32_t>(k));
          return;
        }
  }
}

// The level and item under a screen point; false when outside every menu.
bool HitItem(TTracker& T, TPoint P, size_t& Level, int32_t& Index) {
  for (size_t l = T.Levels.size(); l > 0; --l) {
    TMenuLevel& L = T.Levels[l - 1];
    TRect wr;
    GetWindowRect(L.Wnd, wr);
    if (P.X < wr.Left || P.X >= wr.Right || P.Y < wr.Top || P.Y >= wr.Bottom) continue;
    TPoint c = P;
    ScreenToClient(L.Wnd, c);
    Level = l - 1;
    Index = -1;
    for (size_t k = 0; k < L.Rects.size(); ++k) {
      const TRect& r = L.Rects[k];
      if (c.X >= r.Left && c.X < r.Right && c.Y >= r.Top && c.Y < r.Bottom) Index = static_cast<int32_t>(k);
    }
    return true;
  }
  return false;
}

// Runs the menu of Root at the screen point; returns the chosen item.
TMenuItem* Track(TTracker& T, TMenuItem* Root, int32_t X, int32_t Y) {
  TTracker* outer = Active;
  Active = &T;
  if (GetCapture()) ReleaseCapture();
  OpenLevel(T, Root, X, Y);
  try {
    while (!T.Done) {
      TMsg m;
      if (!PeekMessage(m, nullptr, 0, 0, PM_REMOVE)) {
        WaitMessage();
        continue;
      }
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int32_t>(m.wParam));
        break;
      }
      if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) {
        HandleKey(T, static_cast<uint32_t>(m.wParam));
        continue;
      }
      if ((m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST)) continue;
      bool mouse = (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
                   (m.message >= WM_NCMOUSEMOVE && m.message <= WM_NCRBUTTONUP);
      if (mouse) {
        size_t level = 0;
        int32_t index = -1;
        bool inside = HitItem(T, m.pt, level, index);
        uint32_t kind = m.message >= WM_MOUSEFIRST ? m.message : m.message - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
        if (kind == WM_MOUSEMOVE) {
          if (inside && index >= 0 && index != T.Levels[level].Selected) {
            CloseLevelsAbove(T, level + 1);
            Select(T, level, T.Levels[level].Items[static_cast<size_t>(index)]->IsLine() ? -1 : index);
            OpenSub(T, level);
          }
        } else if (kind == WM_LBUTTONDOWN || kind == WM_RBUTTONDOWN) {
          if (!inside) T.Done = true;
        } else if (kind == WM_LBUTTONUP || kind == WM_RBUTTONUP) {
          if (inside && index >= 0) Choose(T, level, index);
        }
        continue;
      }
      TranslateMessage(m);
      DispatchMessage(m);
    }
  } catch (...) {
    CloseLevelsAbove(T, 0);
    Active = outer;
    throw;
  }
  CloseLevelsAbove(T, 0);
  Active = outer;
  return T.Chosen;
}

void DropDownBar(TCustomForm* Form, int32_t Index) {
  auto it = FormMenus().find(Form);
  if (it == FormMenus().end() || !it->second.Menu) return;
  for (;;) {
    TFormMenuRec& rec = FormMenus()[Form];
    auto layout = BarLayout(Form, rec.Menu);
    if (layout.empty()) return;
    Index = (Index % static_cast<int32_t>(layout.size()) + static_cast<int32_t>(layout.size())) %
            static_cast<int32_t>(layout.size());
    TMenuItem* top = layout[static_cast<size_t>(Index)].first;
    if (!top->Enabled() || top->Count() == 0) {
      if (top->Enabled() && top->Count() == 0) top->Click();
      return;
    }
    TRect wr;
    GetWindowRect(Form->Handle(), wr);
    TRect r = layout[static_cast<size_t>(Index)].second;
    rec.HotItem = Index;
    PaintBar(Form, rec);
    TTracker t;
    t.Images = rec.Menu->Images();
    t.BarForm = Form;
    t.BarIndex = Index;
    TMenuItem* chosen = Track(t, top, wr.Left + r.Left, wr.Top + r.Bottom);
    auto again = FormMenus().find(Form);
    if (again != FormMenus().end()) {
      again->second.HotItem = -1;
      PaintBar(Form, again->second);
    }
    if (chosen) {
      chosen->Click();
      return;
    }
    if (!t.Switch) return;
    Index = t.SwitchTo;
  }
}

void FormMenuWndProc(TCustomForm* Form, TMessage& M) {
  TFormMenuRec& rec = FormMenus()[Form];
  std::function<void(TMessage&)> prev = rec.Previous;
  TMainMenu* menu = rec.Menu;
  bool bar = menu && Form->HandleAllocated() && !(GetWindowStyle(Form->Handle()) & WS_CHILD);
  switch (M.Msg) {
    case WM_NCCALCSIZE:
      prev(M);
      if (bar) {
        auto* p = reinterpret_cast<TNCCalcSizeParams*>(M.LParam);
        if (p)
          p->rgrc[0].Top = std::min(p->rgrc[0].Top + BarHeight(menu, p->rgrc[0].Right - p->rgrc[0].Left),
                                    p->rgrc[0].Bottom);
      }
      return;
    case WM_NCPAINT:
      prev(M);
      if (bar) PaintBar(Form, rec);
      return;
    case WM_NCHITTEST:
      if (bar) {
        TPoint p = PointFromLParam(M.LParam);
        TRect wr;
        GetWindowRect(Form->Handle(), wr);
        TPoint co = GetClientOffset(Form->Handle());
        int32_t y = p.Y - wr.Top, x = p.X - wr.Left;
        if (y >= co.Y - BarHeight(menu, Form->ClientWidth()) && y < co.Y && x >= co.X &&
            x < co.X + Form->ClientWidth()) {
          M.Result = HTMENU;
          return;
        }
      }
      prev(M);
      return;
    case WM_NCLBUTTONDOWN:
      if (bar && static_cast<int32_t>(M.WParam) == HTMENU) {
        TPoint p = PointFromLParam(M.LParam);
        TRect wr;
        GetWindowRect(Form->Handle(), wr);
        auto layout = BarLayout(Form, menu);
        for (size_t k = 0; k < layout.size(); ++k) {
          const TRect& r = layout[k].second;
          const int32_t x = p.X - wr.Left, y = p.Y - wr.Top;
          if (x >= r.Left && x < r.Right && y >= r.Top && y < r.Bottom) {
            DropDownBar(Form, static_cast<int32_t>(k));
            break;
          }
        }
        return;
      }
      prev(M);
      return;
    default: prev(M);
  }
}

void ReframeForm(TCustomForm* Form) {
  if (!Form->HandleAllocated()) return;
  SetWindowPos(Form->Handle(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  RedrawWindow(Form->Handle(), nullptr, RDW_FRAME | RDW_INVALIDATE);
}

// The main menus that speak for a form: the attached one, else the ones
// it owns (a removed bar keeps its shortcuts).
std::vector<TMainMenu*> MenusOf(TCustomForm* Form) {
  std::vector<TMainMenu*> v;
  if (TMainMenu* m = GetFormMenu(Form)) v.push_back(m);
  for (int32_t i = 0; i < Form->ComponentCount(); ++i)
    if (auto* m = dynamic_cast<TMainMenu*>(Form->Components(i)); m && std::find(v.begin(), v.end(), m) == v.end())
      v.push_back(m);
  return v;
}

bool PopupHook(TPopupMenu* Menu, TControl* Control, TPoint ScreenPos) {
  for (TControl* c = Control; !Menu && c; c = c->Parent()) Menu = c->PopupMenu();
  if (!Menu || !Menu->AutoPopup()) return false;
  Menu->SetPopupComponent(Control);
  Menu->Popup(ScreenPos.X, ScreenPos.Y);
  return true;
}

}  // namespace

int32_t MenuBarHeight() { return GetSystemMetrics(SM_CYMENU); }

void SetFormMenu(TCustomForm* Form, TMainMenu* Menu) {
  if (!Form) return;
  auto it = FormMenus().find(Form);
  if (it == FormMenus().end()) {
    if (!Menu) return;
    TFormMenuRec rec;
    rec.Previous = Form->WindowProc;
    FormMenus()[Form] = rec;
    FormMenus()[Form].Link = new TMenuBarLink(Form);
    Form->WindowProc = [Form](TMessage& M) {
      if (FormMenus().count(Form)) FormMenuWndProc(Form, M);
      else Form->WndProc(M);
    };
    it = FormMenus().find(Form);
  }
  if (it->second.Menu == Menu) return;
  it->second.Menu = Menu;
  ReframeForm(Form);
}

TMainMenu* GetFormMenu(TCustomForm* Form) {
  auto it = FormMenus().find(Form);
  return it == FormMenus().end() ? nullptr : it->second.Menu;
}

TMainMenu::~TMainMenu() {
  for (auto& [form, rec] : FormMenus())
    if (rec.Menu == this) {
      rec.Menu = nullptr;
      if (!(form->ComponentState() & csDestroying)) ReframeForm(form);
    }
}

void TMainMenu::MenuChanged() {
  for (auto& [form, rec] : FormMenus())
    if (rec.Menu == this && !(form->ComponentState() & csDestroying) && form->HandleAllocated()) PaintBar(form, rec);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TMenu(AOwner) {}

void TPopupMenu::Notification(TComponent* AComponent, TOperation Operation) {
  TMenu::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FPopupComponent) FPopupComponent = nullptr;
}

void TPopupMenu::Popup(int32_t X, int32_t Y) {
  if (OnPopup) OnPopup(this);
  if (VisibleItems(Items()).empty()) return;
  TTracker t;
  t.Images = Images();
  if (FAlignment != paLeft) {
    int32_t w = 0;
    for (TMenuItem* i : VisibleItems(Items())) w = std::max(w, TextWidth(StripHotkey(i->Caption())));
    w += GlyphColumn + 32;
    X -= FAlignment == paRight ? w : w / 2;
  }
  if (TMenuItem* chosen = Track(t, Items(), X, Y)) chosen->Click();
}

std::vector<HWND> OpenMenuWindows() {
  std::vector<HWND> v;
  if (Active)
    for (TMenuLevel& L : Active->Levels) v.push_back(L.Wnd);
  return v;
}

TRect MenuItemScreenRect(TMenuItem* Item) {
  if (!Active) return {};
  for (TMenuLevel& L : Active->Levels)
    for (size_t k = 0; k < L.Items.size(); ++k)
      if (L.Items[k] == Item) {
        TRect r = L.Rects[k];
        TPoint o{0, 0};
        ClientToScreen(L.Wnd, o);
        return TRect{r.Left + o.X, r.Top + o.Y, r.Right + o.X, r.Bottom + o.Y};
      }
  return {};
}

TRect MenuBarItemScreenRect(TCustomForm* Form, TMenuItem* Item) {
  TMainMenu* m = GetFormMenu(Form);
  if (!m || !Form->HandleAllocated()) return {};
  TRect wr;
  GetWindowRect(Form->Handle(), wr);
  for (auto& [i, r] : BarLayout(Form, m))
    if (i == Item) return TRect{r.Left + wr.Left, r.Top + wr.Top, r.Right + wr.Left, r.Bottom + wr.Top};
  return {};
}

bool DispatchShortCut(TWinControl* Control, uint16_t Key, TShiftState Shift) {
  if (Key == VK_SHIFT || Key == VK_CONTROL || Key == VK_MENU) return false;
  TCustomForm* form = Control ? Control->ParentForm() : nullptr;
  if (form)
    for (TMainMenu* m : MenusOf(form))
      if (m->IsShortCut(Key, Shift)) return true;
  for (TControl* c = Control; c; c = c->Parent())
    if (TPopupMenu* p = c->PopupMenu(); p && p->IsShortCut(Key, Shift)) return true;
  // Alt and a hotkey letter opens that menu of the bar.
  if (form && (Shift & ssAlt) && !(Shift & ssCtrl))
    if (TMainMenu* m = GetFormMenu(form)) {
      auto items = VisibleItems(m->Items());
      for (size_t k = 0; k < items.size(); ++k)
        if (IsAccel(Key, items[k]->Caption())) {
          DropDownBar(form, static_cast<int32_t>(k));
          return true;
        }
    }
  return false;
}

void InitializeMenus() {
  PopupMenuHook = PopupHook;
  ShortCutHook = DispatchShortCut;
}

void FinalizeMenus() {
  PopupMenuHook = nullptr;
  ShortCutHook = nullptr;
}
