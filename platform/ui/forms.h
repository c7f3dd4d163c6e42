// Forms, the application object and the screen: TCustomForm/TForm (frames,
// positions, window state, Show, ShowModal with ModalResult, activation
// and focus bookkeeping, OnCreate/OnDestroy/OnActivate/OnClose), TApplication
// (forms in creation order, the message loop, the exception boundary, hooks
// on the main window, hints), TScreen (cursor and cursor table, active form
// and control, size, colour depth), and message boxes through one hook.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ui/controls.h"

enum TPosition : uint8_t {
  poDesigned,
  poDefault,
  poDefaultPosOnly,
  poDefaultSizeOnly,
  poScreenCenter,
  poDesktopCenter,
  poMainFormCenter,
  poOwnerFormCenter,
};
enum TWindowState : uint8_t { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle : uint8_t { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction : uint8_t { caNone, caHide, caFree, caMinimize };
enum TBorderIconBits : uint8_t { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = uint8_t;

using TModalResult = int32_t;
enum : TModalResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8,
};

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TCustomForm : public TWinControl {
public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;
  void BeforeDestruction() override;
  // Ends the set-up of a constructed form: Loaded for every component, then
  // OnCreate. TApplication::CreateForm calls it; call it yourself for forms
  // made otherwise.
  virtual void AfterConstruction();

  void Show();
  void Hide() { SetVisible(false); }
  void Close();
  // Shows the form and runs a message loop until ModalResult is set; the
  // other windows of the application are disabled meanwhile.
  virtual TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  // Frees the form once the messages being handled are done.
  void Release();

  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TWindowState WindowState();
  void SetWindowState(TWindowState Value);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value);
  bool Active() const { return FActive; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  // With KeyPreview the form's OnKeyDown sees a key pressed in any of its
  // controls first; a key it sets to 0 goes no further.
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }

  // Focus bookkeeping: OnExit on the controls left, OnEnter on the ones
  // entered; nothing when the control already is the focused one (as when
  // focus comes back after a modal dialog).
  bool SetFocusedControl(TWinControl* Control);
  // Focus on the active control, or the first one that takes it.
  void SetWindowFocus();
  // Offers a character to every enabled control as CM_DIALOGCHAR (WParam the
  // character); true when one took it (a non-zero result).
  bool DialogChar(uint32_t Char);
  // Forgets a control that leaves the form (focus and active control).
  void ControlRemoved(TControl* Control);

  void SetVisible(bool Value) override;
  void WndProc(TMessage& Message) override;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnPaint;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  virtual bool CloseQuery();

protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void PaintWindow(HDC DC) override;
  virtual void Paint();
  virtual void Activate();
  virtual void Deactivate();
  virtual void DoCreate();
  virtual void DoDestroy();
  virtual void DoClose(TCloseAction& Action);
  void PlaceOnScreen();

  TBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  TWindowState FWindowState = wsNormal;
  TFormStyle FFormStyle = fsNormal;
  TModalResult FModalResult = mrNone;
  bool FActive = false;
  bool FModal = false;
  bool FKeyPreview = false;
  bool FPlaced = false;
  bool FCreated = false;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
  std::unique_ptr<TControlCanvas> FCanvas;
};

class TForm : public TCustomForm {
public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TMessageEvent = std::function<void(TMsg& Msg, bool& Handled)>;
// A hook on the application's main window: true when it handled the message.
using TWindowHook = std::function<bool(TMessage& Message)>;

class TApplication : public TComponent {
public:
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  // Makes a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    T* f = new T(this);
    Reference = f;
    FormCreated(f);
  }
  void FormCreated(TCustomForm* Form);
  // Shows the main form and runs the message loop until Terminate.
  void Run();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Dispatches every waiting message.
  void ProcessMessages();
  // Dispatches one message, or idles and waits for one.
  void HandleMessage();

  TCustomForm* MainForm() const { return FMainForm; }
  // The hidden window of the application (receives activation of the application).
  HWND Handle();
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& HelpFile() const { return FHelpFile; }
  void SetHelpFile(const std::string& Value) { FHelpFile = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value) { FShowHint = Value; }
  bool Active() const { return FActive; }
  // The long part of the hint of the control under the pointer (after a
  // "|", or the whole hint); OnHint fires when it changes.
  const std::string& Hint() const { return FHint; }
  // Hides the hint window and forgets the pending one.
  void CancelHint();
  // The hint window shows the short part of a control's hint (before a "|")
  // after the pointer rests HintPause ms on it, for HintHidePause ms.
  uint32_t HintPause = 500;
  uint32_t HintHidePause = 2500;
  HWND HintWindow() const { return FHintWindow; }
  bool ShowMainForm = true;

  int32_t MessageBox(const std::string& Text, const std::string& Caption, uint32_t Flags);
  // The exception boundary: an exception from a handler becomes
  // OnException or a message box, and the loop goes on.
  void HandleException(TObject* Sender);
  void ShowException(const std::exception& E);

  // Sends CM_MOUSELEAVE and CM_MOUSEENTER when the control under the
  // pointer changed (the idle pass does it; so does the test driver).
  void CheckMouseControl();

  int32_t HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(int32_t Id);

  TExceptionEvent OnException;
  TIdleEvent OnIdle;
  TMessageEvent OnMessage;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnHint;

protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

private:
  bool ProcessMessage(TMsg& Msg);
  void Idle();
  void WndProc(TMessage& Message);
  TCustomForm* FMainForm = nullptr;
  HWND FHandle = nullptr;
  std::string FTitle;
  std::string FHelpFile;
  std::string FHint;
  bool FShowHint = true;
  bool FTerminated = false;
  bool FActive = false;
  int32_t FNextHook = 1;
  std::vector<std::pair<int32_t, TWindowHook>> FHooks;
  TControl* FMouseControl = nullptr;
  HWND FHintWindow = nullptr;
  std::string FHintText;
  void ShowHintWindow();
  friend class TCustomForm;
};

class TScreen : public TComponent {
public:
  explicit TScreen(TComponent* AOwner);
  ~TScreen() override;

  // A cursor other than crDefault overrides every control's.
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  // The cursor table: stock cursors at negative indexes, the program's own
  // at the indexes it installs. An index without a cursor gives the arrow.
  HCURSOR Cursors(int32_t Index);
  void SetCursors(int32_t Index, HCURSOR Cursor);

  TCustomForm* ActiveForm() const { return FActiveForm; }
  TWinControl* ActiveControl() const { return FActiveControl; }
  int32_t FormCount() const { return static_cast<int32_t>(FForms.size()); }
  int32_t Width();
  int32_t Height();
  TRect WorkAreaRect();
  // Bits per pixel of the screen (a setting: tests play 4- and 8-bit screens).
  int32_t ColorDepth();
  void SetColorDepth(int32_t Bits);

  TNotifyEvent OnActiveFormChange;
  TNotifyEvent OnActiveControlChange;

private:
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);
  TCursor FCursor = crDefault;
  std::map<int32_t, HCURSOR> FCursors;
  std::vector<TCustomForm*> FForms;
  TCustomForm* FActiveForm = nullptr;
  TWinControl* FActiveControl = nullptr;
  friend class TCustomForm;
};

extern TApplication* Application;
extern TScreen* Screen;

// Start-up and shut-down of the window system and its two objects.
// argc/argv go to the toolkit; tests pass 0 and nullptr.
void InitializeForms(int argc, char** argv);
void FinalizeForms();

// While one window is answered the program's others wait: every visible,
// enabled top-level window but Except is disabled. EnableWindows enables
// those that still exist and gives the window that was active activation
// and the keyboard back, as a modal form does when it closes, whatever the
// desktop did with them meanwhile. Disable before showing Except, so that
// the window recorded as active is the one it came from.
struct TWaitingWindows {
  std::vector<HWND> Disabled;
  HWND Active = nullptr;
};
TWaitingWindows DisableOtherWindows(HWND Except);
void EnableWindows(const TWaitingWindows& Waiting);

// Called by window procedures for an exception a handler let out.
void HandleApplicationException(TObject* Sender);

// ---- message boxes ----
enum : uint32_t {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_ABORTRETRYIGNORE = 0x02,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_RETRYCANCEL = 0x05,
  MB_ICONHAND = 0x10,
  MB_ICONSTOP = 0x10,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONWARNING = 0x30,
  MB_ICONASTERISK = 0x40,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON1 = 0x000,
  MB_DEFBUTTON2 = 0x100,
  MB_DEFBUTTON3 = 0x200,
  MB_APPLMODAL = 0x0000,
  MB_SYSTEMMODAL = 0x1000,
  MB_TASKMODAL = 0x2000,
};
enum : int32_t { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

using TMessageBoxHook =
    std::function<int32_t(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Type)>;
// Every message box goes through this hook. The default shows a box on a
// real desktop; without one (offscreen) it answers the default button at
// once and writes the text to the error output.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook Hook);
int32_t MessageBox(HWND Owner, const std::string& Text, const std::string& Caption, uint32_t Type);
void ShowMessage(const std::string& Msg);
// The button a box of this type answers when nobody is there to choose.
int32_t DefaultMessageBoxAnswer(uint32_t Type);
