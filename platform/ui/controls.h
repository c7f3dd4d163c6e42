// The control classes: TControl (bounds, parent, alignment, visibility,
// colour and font with parent inheritance, cursor, hints, mouse events),
// TWinControl (a control with a window: creation parameters, handle,
// message handlers, children, alignment pass, focus, keys),
// TGraphicControl (windowless, painted by its parent), TCustomControl
// (windowed with a canvas and Paint) and TControlCanvas.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/colors.h"
#include "platform/ui/component.h"
#include "platform/ui/cursors.h"
#include "platform/ui/messages.h"
#include "platform/ui/window.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;  // menus live with the standard controls

class EOutOfResources : public EOutOfMemory { using EOutOfMemory::EOutOfMemory; };

enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient, alCustom };
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle };
enum TShiftStateBits : uint32_t {
  ssShift = 0x01,
  ssAlt = 0x02,
  ssCtrl = 0x04,
  ssLeft = 0x08,
  ssRight = 0x10,
  ssMiddle = 0x20,
  ssDouble = 0x40,
};
using TShiftState = uint32_t;

enum TControlStyleBits : uint32_t {
  csAcceptsControls = 0x0001,
  csCaptureMouse = 0x0002,
  csDesignInteractive = 0x0004,
  csClickEvents = 0x0008,
  csFramed = 0x0010,
  csSetCaption = 0x0020,
  csOpaque = 0x0040,
  csDoubleClicks = 0x0080,
  csFixedWidth = 0x0100,
  csFixedHeight = 0x0200,
  csNoDesignVisible = 0x0400,
  csReplicatable = 0x0800,
  csNoStdEvents = 0x1000,
};
using TControlStyle = uint32_t;

enum TControlStateBits : uint32_t {
  csLButtonDown = 0x01,
  csClicked = 0x02,
  csPalette = 0x04,
  csAlignmentNeeded = 0x10,
  csFocusing = 0x20,
  csCreating = 0x40,
  csCustomPaint = 0x100,
  csDestroyingHandle = 0x200,
};
using TControlState = uint32_t;

enum TBorderStyle : uint8_t { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
using TFormBorderStyle = TBorderStyle;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;
using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;

// Drag and drop between controls. A drag starts by BeginDrag, or by a left
// press on a control whose DragMode is dmAutomatic (the press is then no
// mouse-down). While it runs the pointer shows the dragged control's
// DragCursor over a control whose OnDragOver accepts, crNoDrop elsewhere;
// releasing the left button drops there (OnDragDrop) and the dragged
// control hears where it ended (OnEndDrag, no target when nothing took it).
enum TDragMode : uint8_t { dmManual, dmAutomatic };
enum TDragState : uint8_t { dsDragEnter, dsDragLeave, dsDragMove };
// What a drag carries when OnStartDrag gives one (its giver keeps it);
// otherwise the targets see the dragged control as the drag's source.
class TDragObject : public TObject {};
using TStartDragEvent = std::function<void(TObject* Sender, TDragObject*& DragObject)>;
using TDragOverEvent =
    std::function<void(TObject* Sender, TObject* Source, int32_t X, int32_t Y, TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int32_t X, int32_t Y)>;
using TEndDragEvent = std::function<void(TObject* Sender, TObject* Target, int32_t X, int32_t Y)>;

// The shift state of a mouse message's key flags, or of the keyboard now.
TShiftState KeysToShiftState(uint32_t Keys);
TShiftState KeyboardStateToShiftState();

class TControl : public TComponent {
public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;
  void BeforeDestruction() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetLeft(int32_t Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int32_t Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int32_t Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int32_t Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  TRect BoundsRect() const { return TRect{FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
  void SetBoundsRect(const TRect& R) { SetBounds(R.Left, R.Top, R.Width(), R.Height()); }
  // The client area in client coordinates ((0, 0) at its top-left).
  virtual TRect GetClientRect();
  TRect ClientRect() { return GetClientRect(); }
  int32_t ClientWidth() { return GetClientRect().Width(); }
  int32_t ClientHeight() { return GetClientRect().Height(); }
  void SetClientWidth(int32_t Value) { SetClientSize(Value, ClientHeight()); }
  void SetClientHeight(int32_t Value) { SetClientSize(ClientWidth(), Value); }
  virtual void SetClientSize(int32_t AWidth, int32_t AHeight);
  // Screen position of the client area's top-left pixel.
  virtual TPoint ClientOrigin();
  TPoint ClientToScreen(const TPoint& P);
  TPoint ScreenToClient(const TPoint& P);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TFont* Font() { return FFont.get(); }
  void SetFont(TFont* Value);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor Value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool Value);
  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* Value) { FPopupMenu = Value; }
  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& Text() const { return FText; }
  virtual void SetText(const std::string& Value);
  TControlStyle ControlStyle() const { return FControlStyle; }
  void SetControlStyle(TControlStyle Value) { FControlStyle = Value; }
  TControlState ControlState() const { return FControlState; }
  void SetControlState(TControlState Value) { FControlState = Value; }

  // The mouse goes to this control until released; a windowless control
  // captures through its parent's window.
  bool MouseCapture();
  void SetMouseCapture(bool Value);

  virtual void Invalidate();
  // Paints what waits to be painted at once (a windowless control: its
  // parent's window; a windowed one: its own window and child windows).
  virtual void Update();
  virtual void Repaint();
  void BringToFront();
  bool IsWindowed() const { return FWindowed; }

  // Messages: WindowProc is where every message enters (replace it to
  // subclass, call the previous one to pass on); it starts as WndProc.
  std::function<void(TMessage&)> WindowProc;
  virtual void WndProc(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);
  LRESULT Perform(uint32_t Msg, WPARAM WParam, LPARAM LParam);

  virtual HPALETTE GetPalette() { return nullptr; }
  // The form that this control sits on (its top-most parent that is a form).
  TCustomForm* ParentForm();

  TCursor DragCursor() const { return FDragCursor; }
  void SetDragCursor(TCursor Value) { FDragCursor = Value; }
  TDragMode DragMode() const { return FDragMode; }
  void SetDragMode(TDragMode Value) { FDragMode = Value; }
  // Starts dragging this control: at once, or once the pointer has moved
  // Threshold pixels (5 when negative) with the button held.
  void BeginDrag(bool Immediate, int32_t Threshold = -1);
  bool Dragging() const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TStartDragEvent OnStartDrag;
  TDragOverEvent OnDragOver;
  TDragDropEvent OnDragDrop;
  TEndDragEvent OnEndDrag;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  virtual void Click();
  virtual void DblClick();

protected:
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseMove(TShiftState Shift, int32_t X, int32_t Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void Resize();
  virtual void ChangeScale(int32_t M, int32_t D);
  virtual void VisibleChanging() {}
  // Tells the parent that this control's alignment may have changed.
  void RequestAlign();
  // The colour and font of the parent, taken when ParentColor/ParentFont is set.
  void ParentColorChanged();
  void ParentFontChanged();
  void FontChanged();
  // Called when the bounds changed; the windowless default repaints the old
  // and new areas of the parent.
  virtual void BoundsChanged(const TRect& Old);

  TWinControl* FParent = nullptr;
  int32_t FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  TAlign FAlign = alNone;
  bool FVisible = true;
  bool FEnabled = true;
  TColor FColor = clWindow;
  bool FParentColor = true;
  std::unique_ptr<TFont> FFont;
  bool FParentFont = true;
  TCursor FCursor = crDefault;
  TCursor FDragCursor = crDrag;
  TDragMode FDragMode = dmManual;
  std::string FHint;
  bool FShowHint = false;
  bool FParentShowHint = true;
  TPopupMenu* FPopupMenu = nullptr;
  std::string FText;
  TControlStyle FControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks;
  TControlState FControlState = 0;
  bool FWindowed = false;
  bool FInSetBounds = false;

private:
  void MouseMessage(TMessage& Message, TMouseButton Button, bool Down, bool Double);
  // The running drag's handling of a message to the dragged control; true
  // when the drag took it.
  bool DragMessage(TMessage& Message);
  friend class TWinControl;
};

// What CreateWnd uses to make the window.
struct TCreateParams {
  std::string Caption;
  uint32_t Style = 0;
  uint32_t ExStyle = 0;
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  HWND WndParent = nullptr;
  uint32_t WindowClassStyle = CS_DBLCLKS;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;
  void BeforeDestruction() override;

  // The window, made on first use (the parent's first).
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys the window and makes it again from CreateParams.
  void RecreateWnd();
  // Whether the control and all its parents are visible with windows.
  bool Showing();

  void SetParent(TWinControl* AParent) override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  TRect GetClientRect() override;
  void SetClientSize(int32_t AWidth, int32_t AHeight) override;
  TPoint ClientOrigin() override;
  void SetVisible(bool Value) override;
  void SetEnabled(bool Value) override;
  void SetText(const std::string& Value) override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;

  int32_t ControlCount() const { return static_cast<int32_t>(FControls.size()); }
  TControl* Controls(int32_t Index) const { return FControls.at(static_cast<size_t>(Index)); }
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  // The child at a point of the client area, topmost first; windowed ones
  // only with AllowWinControls, disabled ones only with AllowDisabled.
  TControl* ControlAtPos(const TPoint& Pos, bool AllowDisabled, bool AllowWinControls = false);
  bool ContainsControl(TControl* Control);

  void Realign();
  // Places the aligned children within Rect (the client rectangle).
  virtual void AlignControls(TControl* AControl, TRect& Rect);
  virtual void AdjustClientRect(TRect& Rect) { (void)Rect; }

  void ScrollBy(int32_t DeltaX, int32_t DeltaY);

  virtual bool CanFocus();
  bool Focused();
  virtual void SetFocus();
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value) { FTabStop = Value; }
  int32_t TabOrder() const { return FTabOrder; }
  void SetTabOrder(int32_t Value) { FTabOrder = Value; }
  TBrush* Brush() { return FBrush.get(); }
  // Three-dimensional look (sunken client edges); children follow their
  // parent's while ParentCtl3D is set. A change sends CM_CTL3DCHANGED.
  bool Ctl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value);
  bool ParentCtl3D() const { return FParentCtl3D; }
  void SetParentCtl3D(bool Value);

  // The procedure that unhandled messages go to: DefWindowProc, or the
  // default procedure of a window we wrap.
  WNDPROC DefWndProc;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void WndProc(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;
  // Paints the window and its windowless children into DC (client coordinates).
  void PaintHandler(TMessage& Message);
  void PaintControls(HDC DC, TControl* First);

  // The control whose window this is, or null.
  static TWinControl* FindControl(HWND Wnd);

  // Focus bookkeeping of forms calls these (they fire OnEnter/OnExit).
  virtual void DoEnter();
  virtual void DoExit();

protected:
  void Loaded() override;
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void CreateWindowHandle(const TCreateParams& Params);
  virtual void DestroyWnd();
  virtual void CreateHandle();
  void DestroyHandle();
  virtual void PaintWindow(HDC DC);
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  void UpdateBounds();
  void BoundsChanged(const TRect& Old) override;
  // Shows or hides the window as the control's visibility says.
  virtual void UpdateShowing();
  // The message that made the window go through the message loop: used by
  // the window procedure that catches exceptions.
  LRESULT MainWndProc(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
  // A windowless child handles mouse messages itself.
  bool IsControlMouseMsg(TMessage& Message);

  HWND FHandle = nullptr;
  std::vector<TControl*> FControls;  // in z-order, bottom first
  std::vector<TWinControl*> FWinControls;
  bool FAligning = false;
  bool FTabStop = false;
  int32_t FTabOrder = -1;
  std::unique_ptr<TBrush> FBrush;
  bool FRecreating = false;
  bool FCtl3D = true;
  bool FParentCtl3D = true;
  friend class TControl;
};

// A canvas that draws on a control: its window, or for a windowless
// control its parent's window clipped to the control.
class TControlCanvas : public TCanvas {
public:
  TControlCanvas() = default;
  ~TControlCanvas() override;
  TControl* Control() const { return FControl; }
  void SetControl(TControl* Value);
  // Gives the window DC back (drawing later takes a new one).
  void FreeHandle();
  // Releases the DCs of every control canvas not locked (after each message).
  static void FreeDeviceContexts();
  // Runs Paint with the canvas locked onto DC, and lets DC go afterwards,
  // also when Paint throws.
  void PaintOn(HDC DC, const std::function<void()>& Paint);

protected:
  void CreateHandle() override;

private:
  TControl* FControl = nullptr;
  HDC FDeviceContext = nullptr;
  HWND FWindowHandle = nullptr;
};

// A windowless control that its parent paints.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }
  void WndProc(TMessage& Message) override;

protected:
  virtual void Paint() {}

private:
  std::unique_ptr<TControlCanvas> FCanvas;
};

// A windowed control with a canvas, painted by Paint.
class TCustomControl : public TWinControl {
public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas* Canvas() { return FCanvas.get(); }

protected:
  virtual void Paint() {}
  void PaintWindow(HDC DC) override;

private:
  std::unique_ptr<TControlCanvas> FCanvas;
};

// A hidden window of its own for a non-visual component (timers): every
// message goes to Method, which sets Result (and calls DefWindowProc for
// what it does not handle). Exceptions go to the application's boundary.
HWND AllocateHWnd(std::function<void(TMessage&)> Method);
void DeallocateHWnd(HWND Wnd);

// Controls draw in the newer style (client edges rather than borders).
extern bool NewStyleControls;

// The control of ours under a screen point (windowless ones included);
// disabled ones only with AllowDisabled.
TControl* FindDragTarget(const TPoint& Pos, bool AllowDisabled);
TWinControl* FindVCLWindow(const TPoint& Pos);
// Scrolling a window by the wheel and the keys, as the scroll messages of
// its own bars sent to it (LParam 0): a notch of the wheel (a WM_MOUSEWHEEL
// WParam) is three lines down or up, sideways with Shift; WheelRest keeps
// what a fine-grained wheel turned short of a line. The arrow keys scroll a
// line, Page Up and Page Down a page, Home and End to the top and the
// bottom, when pressed without Shift, Alt or Ctrl; Key becomes 0 when it
// scrolled.
void ScrollByWheel(HWND Wnd, WPARAM WParam, int32_t& WheelRest);
void ScrollByKey(HWND Wnd, uint16_t& Key, TShiftState Shift);
// Shows a control's popup menu (set by the menu module); true when shown.
// Menu is the control's own popup menu, or null (the hook may look further up).
extern std::function<bool(TPopupMenu* Menu, TControl* Control, TPoint ScreenPos)> PopupMenuHook;
// Key hooks of the menu and standard-controls modules: ShortCutHook sees a
// key press before the control does, DialogKeyHook after the control's
// OnKeyDown left it (Tab, Enter, Esc, accelerators). True when they used it.
extern std::function<bool(TWinControl* Control, uint16_t Key, TShiftState Shift)> ShortCutHook;
extern std::function<bool(TWinControl* Control, uint16_t Key, TShiftState Shift)> DialogKeyHook;
