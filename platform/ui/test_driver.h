// The test driver: runs the window system headless on a virtual clock,
// injects mouse and key input, advances the clock (timers and sleeping
// threads follow it), answers message boxes by script, reads back a
// window's pixels and saves them as PNG. A blocking wait that nothing can
// end throws ETestDriverBlocked instead of hanging.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/exception.h"
#include "platform/gdi/types.h"
#include "platform/ui/messages.h"

class TControl;

class ETestDriverBlocked : public Exception { using Exception::Exception; };

// A window's pixels as composed on screen.
struct TWindowImage {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint8_t> Pixels;  // top-down, 4 bytes per pixel: blue, green, red, 0
  // The colour at (X, Y) as 0x00BBGGRR, or 0xFFFFFFFF outside.
  TColor Pixel(int32_t X, int32_t Y) const;
  bool SavePng(const std::string& FileName) const;
};

struct TMessageBoxRecord {
  std::string Text;
  std::string Caption;
  uint32_t Type = 0;
  int32_t Answer = 0;
};

class TUiTestDriver {
public:
  // Starts the window system if it is not running (Application and Screen
  // included), with a virtual clock at 0 and a fixed screen size.
  explicit TUiTestDriver(int32_t ScreenWidth = 1024, int32_t ScreenHeight = 768);
  ~TUiTestDriver();
  TUiTestDriver(const TUiTestDriver&) = delete;
  TUiTestDriver& operator=(const TUiTestDriver&) = delete;

  // ---- input, in screen coordinates (queued; ProcessMessages delivers) ----
  void MouseMove(TPoint P);
  void MouseDown(TPoint P, uint32_t Button = MK_LBUTTON);
  void MouseUp(TPoint P, uint32_t Button = MK_LBUTTON);
  void Click(TPoint P, uint32_t Button = MK_LBUTTON);
  void DoubleClick(TPoint P);
  // Press at From, Steps moves to To, release at To.
  void Drag(TPoint From, TPoint To, int32_t Steps = 4);
  void Wheel(TPoint P, int32_t Delta);
  void KeyDown(uint32_t VirtualKey, uint32_t Char = 0);
  void KeyUp(uint32_t VirtualKey);
  // Key down (typing Char) and up.
  void PressKey(uint32_t VirtualKey, uint32_t Char = 0);
  // Modifier keys held for the following input (MK_SHIFT, MK_CONTROL).
  void SetModifiers(uint32_t Modifiers) { FModifiers = Modifiers; }
  // The screen point of a control's client point.
  static TPoint ScreenPoint(TControl* Control, int32_t X, int32_t Y);

  // ---- running ----
  // Delivers every waiting message (paint included) until the queue is
  // empty and no worker thread is busy.
  void ProcessMessages();
  // Moves the clock on by Milliseconds in steps that stop at every timer and
  // sleeper due, delivering messages at each step.
  void AdvanceClock(uint32_t Milliseconds);
  uint32_t Now() const;
  // A step run when a message loop would wait for ever (a modal form, a
  // loop reading the queue itself): steps run one per wait, in order.
  void WhenIdle(std::function<void()> Step);
  size_t PendingSteps() const { return FSteps.size(); }
  // Real time a blocked wait gives worker threads before failing. It only
  // catches a wait that never ends: a worker on a loaded machine may take
  // many seconds, and a test that expects the failure sets its own.
  void SetBlockTimeout(int32_t Milliseconds) { FBlockTimeoutMs = Milliseconds; }

  // ---- message boxes ----
  // Answers for the next boxes, in order; a box without an answer gets its
  // default button.
  void AnswerMessageBoxes(std::vector<int32_t> Answers);
  const std::vector<TMessageBoxRecord>& MessageBoxes() const { return FBoxes; }
  void ClearMessageBoxes() { FBoxes.clear(); }

  // ---- read-back ----
  TWindowImage ReadWindow(HWND Wnd, bool ClientOnly = true) const;
  TColor Pixel(HWND Wnd, int32_t X, int32_t Y) const;  // client coordinates
  // Saves the whole window (frame included) as PNG.
  bool SaveWindowPng(HWND Wnd, const std::string& FileName) const;
  // A PNG of what the desktop shows (a real screen only).
  static bool SaveScreenshot(const std::string& FileName);
  // Puts text on the desktop's clipboard the way another program would, so
  // that the change arrives through the toolkit like a real one.
  static void SetClipboardTextFromOutside(const std::string& Text);
  // A left click delivered through the toolkit's input path, as a real
  // desktop delivers it (queued like any input).
  static bool NativeClick(TPoint P);
  static std::string PlatformName();

  // ---- the desktop around the windows ----
  // Plays the window manager: it minimises (1), maximises (2) or restores (0)
  // a top-level window and gives it Bounds (screen, frame included), as a
  // person does through the desktop's title bar and frame.
  void DesktopSetsWindow(HWND Wnd, int32_t ShowState, const TRect& Bounds);
  // What the desktop shows in a screen rectangle, taken through the toolkit
  // (the windows as presented, not as our records compose them).
  TWindowImage ReadScreen(const TRect& R) const;
  // The screen rectangles that the locked desktop's drawing (a drag
  // outline) covers with windows of its own.
  static std::vector<TRect> DesktopOverlay();
  // The title-bar buttons a top-level window asks the desktop for: 1 close,
  // 2 minimise, 4 maximise.
  static uint32_t FrameButtons(HWND Wnd);

private:
  void QueueMouse(uint32_t Kind, TPoint P, uint32_t Buttons, WPARAM Extra = 0);
  bool OnBlock();
  void Settle();
  std::deque<std::function<void()>> FSteps;
  std::deque<int32_t> FAnswers;
  std::vector<TMessageBoxRecord> FBoxes;
  uint32_t FModifiers = 0;
  uint32_t FButtons = 0;
  int32_t FBlockTimeoutMs = 60000;
  bool FOwnsForms = false;
};
