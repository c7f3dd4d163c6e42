// TCustomForm, TApplication, TScreen and message boxes.
#include "platform/ui/forms.h"

#include <algorithm>
#include <cstdio>

#include "platform/gdi/colors.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/text.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {
int32_t CascadeCount = 0;

TMessageBoxHook& BoxHook() {
  static auto* h = new TMessageBoxHook();
  return *h;
}
}  // namespace

// ===========================================================================
// TCustomForm

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FColor = clBtnFace;
  FParentColor = false;
  FParentFont = false;
  FWidth = 320;
  FHeight = 240;
  FControlStyle = csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  FCanvas = std::make_unique<TControlCanvas>();
  FCanvas->SetControl(this);
  if (Screen) Screen->AddForm(this);
  BeginLoading();
}

TCustomForm::~TCustomForm() {
  FCanvas->SetControl(nullptr);
  if (Screen) Screen->RemoveForm(this);
  if (Application && Application->FMainForm == this) Application->FMainForm = nullptr;
}

void TCustomForm::BeforeDestruction() {
  TComponent::BeforeDestruction();
  if (FCreated) DoDestroy();
  if (Screen) Screen->RemoveForm(this);
  TWinControl::BeforeDestruction();
}

void TCustomForm::AfterConstruction() {
  EndLoading();
  FCreated = true;
  DoCreate();
}

void TCustomForm::DoCreate() {
  if (OnCreate) OnCreate(this);
}

void TCustomForm::DoDestroy() {
  if (OnDestroy) OnDestroy(this);
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  TWinControl::CreateParams(Params);
  Params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  Params.ExStyle = 0;
  Params.WndParent = nullptr;
  if (auto* owner = dynamic_cast<TCustomForm*>(Owner()); owner && owner->HandleAllocated())
    Params.WndParent = owner->Handle();
  switch (FBorderStyle) {
    case bsNone: Params.Style |= WS_POPUP; break;
    case bsSingle: Params.Style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable: Params.Style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      Params.Style |= WS_POPUP | WS_CAPTION;
      Params.ExStyle |= WS_EX_DLGMODALFRAME;
      break;
    case bsToolWindow:
      Params.Style |= WS_CAPTION;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
    case bsSizeToolWin:
      Params.Style |= WS_CAPTION | WS_THICKFRAME;
      Params.ExStyle |= WS_EX_TOOLWINDOW;
      break;
  }
  if (FBorderStyle != bsNone) {
    if (FBorderIcons & biSystemMenu) Params.Style |= WS_SYSMENU;
    if (FBorderStyle == bsSingle || FBorderStyle == bsSizeable) {
      if (FBorderIcons & biMinimize) Params.Style |= WS_MINIMIZEBOX;
      if (FBorderIcons & biMaximize) Params.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (FFormStyle == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
}

void TCustomForm::CreateWnd() {
  TWinControl::CreateWnd();
  // A visible form whose window is made again shows again.
  if (FVisible) ShowWindow(FHandle, SW_SHOW);
}

void TCustomForm::SetBorderStyle(TBorderStyle Value) {
  if (Value == FBorderStyle) return;
  FBorderStyle = Value;
  RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  if (Value == FBorderIcons) return;
  FBorderIcons = Value;
  RecreateWnd();
}

void TCustomForm::SetFormStyle(TFormStyle Value) {
  if (Value == FFormStyle) return;
  FFormStyle = Value;
  if (HandleAllocated())
    SetWindowPos(Handle(), Value == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

TWindowState TCustomForm::WindowState() {
  if (HandleAllocated()) {
    if (IsIconic(FHandle)) return wsMinimized;
    if (IsZoomed(FHandle)) return wsMaximized;
    if (IsWindowVisible(FHandle)) return wsNormal;
  }
  return FWindowState;
}

void TCustomForm::SetWindowState(TWindowState Value) {
  FWindowState = Value;
  if (HandleAllocated() && FVisible)
    ShowWindow(FHandle, Value == wsMaximized ? SW_MAXIMIZE : Value == wsMinimized ? SW_MINIMIZE : SW_RESTORE);
}

void TCustomForm::PlaceOnScreen() {
  FPlaced = true;
  int32_t sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter: SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight); break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TCustomForm* c = FPosition == poOwnerFormCenter ? dynamic_cast<TCustomForm*>(Owner()) : nullptr;
      if (!c && Application) c = Application->MainForm();
      if (c && c != this) {
        // Over the form, wherever it is now, and whole inside the work area.
        TRect work{0, 0, sw, sh};
        SystemParametersInfo(SPI_GETWORKAREA, 0, &work, 0);
        const int32_t x = std::clamp(c->Left() + (c->Width() - FWidth) / 2, work.Left,
                                     std::max(work.Left, work.Right - FWidth));
        const int32_t y = std::clamp(c->Top() + (c->Height() - FHeight) / 2, work.Top,
                                     std::max(work.Top, work.Bottom - FHeight));
        SetBounds(x, y, FWidth, FHeight);
      } else {
        SetBounds((sw - FWidth) / 2, (sh - FHeight) / 2, FWidth, FHeight);
      }
      break;
    }
    case poDefault:
    case poDefaultPosOnly: {
      // The desktop's default placement: a cascade from the top-left corner.
      int32_t step = 22 * (CascadeCount++ % 8);
      SetBounds(step + 8, step + 8, FWidth, FHeight);
      break;
    }
    default: break;
  }
}

void TCustomForm::SetVisible(bool Value) {
  if (Value == FVisible && (!Value || (HandleAllocated() && IsWindowVisible(FHandle)))) return;
  if (Value) {
    HandleNeeded();
    // A form shown over another comes over it each time, wherever that went.
    if (!FPlaced || FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) PlaceOnScreen();
    FVisible = true;
    if (OnShow) OnShow(this);
    int32_t cmd = FWindowState == wsMaximized ? SW_SHOWMAXIMIZED : FWindowState == wsMinimized ? SW_SHOWMINIMIZED : SW_SHOW;
    ShowWindow(FHandle, cmd);
    if (cmd == SW_SHOWMAXIMIZED) ShowWindow(FHandle, SW_MAXIMIZE);
  } else {
    if (OnHide) OnHide(this);
    FVisible = false;
    if (HandleAllocated()) ShowWindow(FHandle, SW_HIDE);
  }
}

void TCustomForm::Show() {
  SetVisible(true);
  if (HandleAllocated()) SetActiveWindow(FHandle);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (OnCloseQuery) OnCloseQuery(this, can);
  return can;
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Close() {
  if (FModal) {
    FModalResult = mrCancel;
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

void TCustomForm::Release() {
  if (HandleAllocated()) PostMessage(FHandle, CM_RELEASE, 0, 0);
}

TWaitingWindows DisableOtherWindows(HWND Except) {
  TWaitingWindows waiting;
  if (HWND active = GetActiveWindow(); active != Except) waiting.Active = active;
  for (HWND h : GetChildWindows(nullptr)) {
    if (h == Except || !IsWindowVisible(h) || !IsWindowEnabled(h)) continue;
    EnableWindow(h, false);
    waiting.Disabled.push_back(h);
  }
  return waiting;
}

void EnableWindows(const TWaitingWindows& Waiting) {
  for (HWND h : Waiting.Disabled)
    if (IsWindow(h)) EnableWindow(h, true);
  // Activated again even when it is still our active one: the desktop may
  // have moved its keyboard elsewhere meanwhile.
  const HWND a = Waiting.Active;
  if (a && IsWindow(a) && IsWindowVisible(a) && IsWindowEnabled(a)) SetActiveWindow(a);
}

TModalResult TCustomForm::ShowModal() {
  if (FVisible || !FEnabled || FModal) throw EInvalidOperation("Cannot make a visible window modal");
  if (GetCapture()) ReleaseCapture();
  HandleNeeded();
  // Every other window of the application waits meanwhile.
  const TWaitingWindows waiting = DisableOtherWindows(FHandle);
  const HWND prevActive = waiting.Active;
  // A form without an owner of its own is owned meanwhile by the window it
  // was opened from (else the main form), so that it stays above that window,
  // on the desktop too.
  bool lentOwner = false;
  if (!GetWindow(FHandle, GW_OWNER)) {
    HWND from = prevActive;
    if (!from && Application->MainForm() && Application->MainForm() != this &&
        Application->MainForm()->HandleAllocated())
      from = Application->MainForm()->Handle();
    if (from && from != FHandle) lentOwner = SetWindowOwner(FHandle, from);
  }
  FModal = true;
  FModalResult = mrNone;
  // A busy cursor set for the work that opened the form is not the form's:
  // the person answers it with the ordinary cursor, and the busy one comes
  // back afterwards.
  const TCursor busy = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crDefault);
  auto finish = [&] {
    if (Screen) Screen->SetCursor(busy);
    EnableWindows(waiting);
    if (HandleAllocated()) {
      FVisible = false;
      ShowWindow(FHandle, SW_HIDE);
      if (lentOwner) SetWindowOwner(FHandle, nullptr);
    }
    FModal = false;
    if (prevActive && IsWindow(prevActive) && IsWindowVisible(prevActive)) SetActiveWindow(prevActive);
  };
  try {
    Show();
    do {
      Application->HandleMessage();
      if (Application->Terminated()) FModalResult = mrCancel;
      else if (FModalResult != mrNone) {
        // Closing through OnCloseQuery and OnClose, which may refuse.
        if (!CloseQuery()) FModalResult = mrNone;
        else {
          TCloseAction action = caHide;
          DoClose(action);
          if (action == caNone) FModalResult = mrNone;
        }
      }
    } while (FModalResult == mrNone);
  } catch (...) {
    finish();
    throw;
  }
  finish();
  return FModalResult;
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (FActiveControl == Control) return;
  if (Control && (Control == this || !ContainsControl(Control)))
    throw EInvalidOperation("Invalid active control");
  FActiveControl = Control;
  if (FActive && Control && Control->CanFocus()) Control->SetFocus();
}

namespace {
bool OfferDialogChar(TWinControl* Parent, uint32_t Char) {
  for (int32_t i = 0; i < Parent->ControlCount(); ++i) {
    TControl* c = Parent->Controls(i);
    if (!c->Visible() || !c->Enabled()) continue;
    if (c->Perform(CM_DIALOGCHAR, Char, 0)) return true;
    if (c->IsWindowed() && OfferDialogChar(static_cast<TWinControl*>(c), Char)) return true;
  }
  return false;
}
}  // namespace

bool TCustomForm::DialogChar(uint32_t Char) { return OfferDialogChar(this, Char); }

void TCustomForm::ControlRemoved(TControl* Control) {
  auto inside = [Control](TControl* c) {
    for (; c; c = c->Parent())
      if (c == Control) return true;
    return false;
  };
  if (FActiveControl && inside(FActiveControl)) FActiveControl = nullptr;
  if (FFocusedControl && inside(FFocusedControl)) FFocusedControl = nullptr;
  if (Screen && Screen->FActiveControl && inside(Screen->FActiveControl)) Screen->FActiveControl = nullptr;
}

bool TCustomForm::SetFocusedControl(TWinControl* Control) {
  if (Screen) {
    Screen->FActiveControl = Control;
    if (Screen->OnActiveControlChange) Screen->OnActiveControlChange(Screen);
  }
  if (Control == FFocusedControl) {
    if (Control != this) FActiveControl = Control;
    return true;
  }
  TWinControl* old = FFocusedControl;
  FFocusedControl = Control;
  if (Control != this) FActiveControl = Control;
  // Leaves the controls that do not contain the new one, innermost first.
  for (TWinControl* x = old; x && x != this && !x->ContainsControl(Control); x = x->Parent()) {
    x->Perform(CM_EXIT, 0, 0);
    if (FFocusedControl != Control) return false;
  }
  // Enters the controls that did not contain the old one, outermost first.
  std::vector<TWinControl*> chain;
  for (TWinControl* x = Control; x && x != this && !(old && x->ContainsControl(old)); x = x->Parent()) chain.push_back(x);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    (*it)->Perform(CM_ENTER, 0, 0);
    if (FFocusedControl != Control) return false;
  }
  return true;
}

void TCustomForm::SetWindowFocus() {
  if (!HandleAllocated()) return;
  if (FActiveControl && FActiveControl->HandleAllocated() && FActiveControl->CanFocus())
    ::SetFocus(FActiveControl->Handle());
  else
    ::SetFocus(FHandle);
}

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TCustomForm::PaintWindow(HDC DC) {
  FCanvas->PaintOn(DC, [this] { Paint(); });
}

void TCustomForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ACTIVATE:
      if (LoWord(Message.WParam) != WA_INACTIVE) {
        FActive = true;
        if (Screen && Screen->FActiveForm != this) {
          Screen->FActiveForm = this;
          if (Screen->OnActiveFormChange) Screen->OnActiveFormChange(Screen);
        }
        SetWindowFocus();
        Activate();
      } else {
        FActive = false;
        Deactivate();
      }
      Message.Result = 0;
      return;
    case WM_CLOSE: Close(); return;
    case CM_RELEASE: Free(); return;
    case WM_ENABLE:
      // Disabled for a modal window: a tip over it goes.
      if (!Message.WParam && Application) Application->CancelHint();
      break;
    case WM_SIZE:
      if (HandleAllocated() && !FModal) {
        if (IsIconic(FHandle)) FWindowState = wsMinimized;
        else if (IsZoomed(FHandle)) FWindowState = wsMaximized;
        else if (IsWindowVisible(FHandle)) FWindowState = wsNormal;
      }
      break;
    case WM_SETFOCUS:
      DefaultHandler(Message);
      SetFocusedControl(this);
      return;
    default: break;
  }
  TWinControl::WndProc(Message);
}

// ===========================================================================
// TApplication

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) { FTitle = "Quillon"; }

TApplication::~TApplication() {
  // The forms go first, while the application's window still exists.
  while (ComponentCount() > 0) Components(ComponentCount() - 1)->Free();
  if (FHintWindow && IsWindow(FHintWindow)) DestroyWindow(FHintWindow);
  if (FHandle && IsWindow(FHandle)) DestroyWindow(FHandle);
}

void TApplication::Initialize() { Handle(); }

HWND TApplication::Handle() {
  if (!FHandle) {
    FHandle = CreateWindowEx(WS_EX_TOOLWINDOW, FTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                             [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
                               TMessage msg{m, w, l, 0};
                               try {
                                 if (!FHandle) FHandle = h;
                                 WndProc(msg);
                               } catch (...) {
                                 HandleException(this);
                               }
                               return msg.Result;
                             });
  }
  return FHandle;
}

void TApplication::WndProc(TMessage& Message) {
  // Hooks see every message first, the latest installed first.
  std::vector<std::pair<int32_t, TWindowHook>> hooks = FHooks;
  for (auto it = hooks.rbegin(); it != hooks.rend(); ++it)
    if (it->second && it->second(Message)) return;
  switch (Message.Msg) {
    case WM_ACTIVATEAPP:
      FActive = Message.WParam != 0;
      PostMessage(FHandle, FActive ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
      return;
    case CM_ACTIVATE:
      if (OnActivate) OnActivate(this);
      return;
    case CM_DEACTIVATE:
      CancelHint();
      if (OnDeactivate) OnDeactivate(this);
      return;
    case WM_TIMER:
      KillTimer(FHandle, Message.WParam);
      if (Message.WParam == 1) ShowHintWindow();
      else if (FHintWindow) ShowWindow(FHintWindow, SW_HIDE);
      return;
  }
  Message.Result = DefWindowProc(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

int32_t TApplication::HookMainWindow(TWindowHook Hook) {
  int32_t id = FNextHook++;
  FHooks.emplace_back(id, std::move(Hook));
  return id;
}

void TApplication::UnhookMainWindow(int32_t Id) {
  FHooks.erase(std::remove_if(FHooks.begin(), FHooks.end(), [Id](auto& h) { return h.first == Id; }), FHooks.end());
}

void TApplication::FormCreated(TCustomForm* Form) {
  if (!FMainForm) {
    FMainForm = Form;
    Handle();
  }
  Form->AfterConstruction();
}

void TApplication::Run() {
  if (FMainForm && ShowMainForm) FMainForm->Show();
  while (!FTerminated) HandleMessage();
}

void TApplication::Terminate() { PostQuitMessage(0); }

bool TApplication::ProcessMessage(TMsg& Msg) {
  bool got = false;
  try {
    got = PeekMessage(Msg, nullptr, 0, 0, PM_REMOVE);
    if (!got) return false;
    if (Msg.message == WM_QUIT) {
      FTerminated = true;
      return true;
    }
    bool handled = false;
    if (OnMessage) OnMessage(Msg, handled);
    if (!handled) {
      TranslateMessage(Msg);
      DispatchMessage(Msg);
    }
  } catch (...) {
    HandleException(this);
  }
  return got;
}

void TApplication::ProcessMessages() {
  TMsg m;
  while (ProcessMessage(m)) {
    if (FTerminated) break;
  }
}

void TApplication::HandleMessage() {
  TMsg m;
  if (!ProcessMessage(m)) Idle();
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMouseControl) FMouseControl = nullptr;
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

void TApplication::CheckMouseControl() {
  TPoint p;
  GetCursorPos(p);
  TControl* c = FindDragTarget(p, false);
  if (c == FMouseControl) return;
  TControl* old = FMouseControl;
  if (old) RemoveFreeNotification(old);
  FMouseControl = c;
  if (c) FreeNotification(c);
  CancelHint();
  // The long hint goes to OnHint (a status bar shows it).
  std::string hint = c ? c->Hint() : std::string();
  size_t bar = hint.find('|');
  std::string longHint = bar == std::string::npos ? hint : hint.substr(bar + 1);
  if (longHint != FHint) {
    FHint = longHint;
    if (OnHint) OnHint(this);
  }
  if (c && FShowHint && c->ShowHint() && !hint.empty()) {
    FHintText = bar == std::string::npos ? hint : hint.substr(0, bar);
    SetTimer(Handle(), 1, HintPause);
  }
  if (old) old->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(old));
  if (c && FMouseControl == c) c->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(c));
}

void TApplication::CancelHint() {
  if (FHandle) {
    KillTimer(FHandle, 1);
    KillTimer(FHandle, 2);
  }
  if (FHintWindow && IsWindowVisible(FHintWindow)) ShowWindow(FHintWindow, SW_HIDE);
}

void TApplication::ShowHintWindow() {
  if (FHintText.empty() || !FShowHint) return;
  // No tip for a control whose window waits for a modal one.
  if (FMouseControl) {
    TControl* top = FMouseControl;
    while (top->Parent()) top = top->Parent();
    if (auto* w = dynamic_cast<TWinControl*>(top); w && w->HandleAllocated() && !IsWindowEnabled(w->Handle())) return;
  }
  if (!FHintWindow) {
    FHintWindow = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, "", WS_POPUP | WS_BORDER, 0, 0, 0, 0, nullptr,
                                 [this](HWND h, uint32_t m, WPARAM w, LPARAM l) -> LRESULT {
                                   if (m == WM_NCHITTEST) return HTTRANSPARENT;
                                   if (m == WM_PAINT) {
                                     TPaintStruct ps;
                                     HDC dc = BeginPaint(h, ps);
                                     TRect r;
                                     GetClientRect(h, r);
                                     HBRUSH b = CreateSolidBrush(GetSysColor(COLOR_INFOBK));
                                     FillRect(dc, r, b);
                                     DeleteObject(b);
                                     SetBkMode(dc, TRANSPARENT);
                                     SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
                                     r.Left += 2;
                                     DrawText(dc, FHintText, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
                                     EndPaint(h, ps);
                                     return 0;
                                   }
                                   return DefWindowProc(h, m, w, l);
                                 });
  }
  HDC dc = GetDC(FHintWindow);
  TSize size = TextExtent(dc, FHintText);
  ReleaseDC(FHintWindow, dc);
  TPoint p;
  GetCursorPos(p);
  SetWindowText(FHintWindow, FHintText);
  SetWindowPos(FHintWindow, HWND_TOPMOST, p.X, p.Y + 20, size.cx + 6, size.cy + 4, SWP_NOACTIVATE);
  InvalidateRect(FHintWindow, nullptr, true);
  ShowWindow(FHintWindow, SW_SHOWNA);
  SetTimer(Handle(), 2, HintHidePause);
}

void TApplication::Idle() {
  bool done = true;
  try {
    CheckMouseControl();
    if (OnIdle) OnIdle(this, done);
  } catch (...) {
    HandleException(this);
  }
  TControlCanvas::FreeDeviceContexts();
  if (done) WaitMessage();
}

int32_t TApplication::MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags) {
  HWND owner = GetActiveWindow();
  if (!owner && FMainForm && FMainForm->HandleAllocated()) owner = FMainForm->Handle();
  return ::MessageBox(owner, Text, Caption, Flags);
}

void TApplication::ShowException(const std::exception& E) {
  std::string msg = E.what();
  if (!msg.empty() && msg.back() > '.') msg += '.';
  MessageBox(msg, FTitle, MB_OK | MB_ICONSTOP);
}

void TApplication::HandleException(TObject* Sender) {
  try {
    throw;
  } catch (const std::exception& e) {
    if (OnException) OnException(Sender, e);
    else ShowException(e);
  } catch (...) {
    Exception e("Unknown exception");
    if (OnException) OnException(Sender, e);
    else ShowException(e);
  }
}

void HandleApplicationException(TObject* Sender) {
  if (Application) {
    Application->HandleException(Sender);
    return;
  }
  throw;
}

// ===========================================================================
// TScreen

TScreen::TScreen(TComponent* AOwner) : TComponent(AOwner) {}

TScreen::~TScreen() {
  for (auto& [i, c] : FCursors) DestroyCursor(c);
}

void TScreen::AddForm(TCustomForm* Form) {
  if (std::find(FForms.begin(), FForms.end(), Form) == FForms.end()) FForms.push_back(Form);
}

void TScreen::RemoveForm(TCustomForm* Form) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), Form), FForms.end());
  if (FActiveForm == Form) FActiveForm = nullptr;
  if (FActiveControl && FActiveControl->ParentForm() == Form) FActiveControl = nullptr;
}

HCURSOR TScreen::Cursors(int32_t Index) {
  auto it = FCursors.find(Index);
  if (it != FCursors.end() && it->second) return it->second;
  return StockCursor(static_cast<TCursor>(Index < 0 ? Index : crDefault));
}

void TScreen::SetCursors(int32_t Index, HCURSOR Cursor) {
  HCURSOR& slot = FCursors[Index];
  if (slot && slot != Cursor) DestroyCursor(slot);
  slot = Cursor;
}

void TScreen::SetCursor(TCursor Value) {
  if (Value == FCursor) return;
  FCursor = Value;
  if (Value != crDefault) {
    ::SetCursor(Cursors(Value));
    return;
  }
  // Back to the controls' own cursors: ask the window under the pointer.
  TPoint p;
  GetCursorPos(p);
  HWND h = WindowFromPoint(p);
  if (h) SendMessage(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MakeLParam(HTCLIENT, WM_MOUSEMOVE));
  else ::SetCursor(Cursors(crArrow));
}

int32_t TScreen::Width() { return GetSystemMetrics(SM_CXSCREEN); }
int32_t TScreen::Height() { return GetSystemMetrics(SM_CYSCREEN); }

TRect TScreen::WorkAreaRect() {
  TRect r;
  SystemParametersInfo(SPI_GETWORKAREA, 0, &r, 0);
  return r;
}

int32_t TScreen::ColorDepth() { return GetScreenBitsPerPixel(); }

namespace {
void SendDisplayChange(HWND W, int32_t Bits) {
  for (HWND c : GetChildWindows(W)) SendDisplayChange(c, Bits);
  if (W) SendMessage(W, WM_DISPLAYCHANGE, static_cast<WPARAM>(Bits), 0);
}
}  // namespace

void TScreen::SetColorDepth(int32_t Bits) {
  if (Bits == GetScreenBitsPerPixel()) return;
  SetScreenBitsPerPixel(Bits);
  for (HWND t : GetChildWindows(nullptr)) SendDisplayChange(t, Bits);
}

// ===========================================================================
// Start-up, shut-down, message boxes

void InitializeForms(int argc, char** argv) {
  ui_internal::BecomeMainThread();
  ui_backend::Initialize(argc, argv);
  int32_t w, h;
  if (ui_backend::ScreenSize(w, h)) SetScreenSize(w, h);
  if (!Screen) Screen = new TScreen(nullptr);
  if (!Application) Application = new TApplication(nullptr);
}

void FinalizeForms() {
  if (Application) {
    TApplication* a = Application;
    a->Free();
    Application = nullptr;
  }
  if (Screen) {
    TScreen* s = Screen;
    s->Free();
    Screen = nullptr;
  }
  for (HWND h : GetChildWindows(nullptr)) DestroyWindow(h);
  ui_backend::Finalize();
}

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook Hook) {
  TMessageBoxHook old = BoxHook();
  BoxHook() = std::move(Hook);
  return old;
}

int32_t DefaultMessageBoxAnswer(uint32_t Type) {
  std::vector<int32_t> buttons;
  switch (Type & 0x0F) {
    case MB_OKCANCEL: buttons = {IDOK, IDCANCEL}; break;
    case MB_ABORTRETRYIGNORE: buttons = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: buttons = {IDYES, IDNO, IDCANCEL}; break;
    case MB_YESNO: buttons = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: buttons = {IDRETRY, IDCANCEL}; break;
    default: buttons = {IDOK}; break;
  }
  size_t i = (Type >> 8) & 0x0F;
  return buttons[std::min(i, buttons.size() - 1)];
}

int32_t MessageBox(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Type) {
  if (Application) Application->CancelHint();
  if (BoxHook()) return BoxHook()(Owner, Text, Caption, Type);
  // The box is answered with the ordinary cursor, whatever work is busy.
  const TCursor busy = Screen ? Screen->Cursor() : crDefault;
  if (Screen) Screen->SetCursor(crDefault);
  int32_t r = ui_backend::ShowMessageBox(Owner, Text, Caption, Type);
  if (Screen) Screen->SetCursor(busy);
  if (r >= 0) return r;
  std::fprintf(stderr, "%s: %s\n", Caption.c_str(), Text.c_str());
  return DefaultMessageBoxAnswer(Type);
}

void ShowMessage(const std::string& Msg) {
  std::string title = Application ? Application->Title() : std::string();
  if (Application) Application->MessageBox(Msg, title, MB_OK);
  else MessageBox(nullptr, Msg, title, MB_OK);
}
