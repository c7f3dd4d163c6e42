// Helpers of the programs that run on a real X desktop: message pumping,
// input through xdotool and failures. The desktop's answers take time, so
// they wait on the wall clock, unlike the headless tests: for a condition,
// with a generous limit that only catches what never comes.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/ui/forms.h"

// Delivers our messages until Done holds (true) or Milliseconds pass
// (false). The limit only catches what never comes: on a loaded machine the
// desktop may take many seconds to answer.
inline bool PumpUntil(const std::function<bool()>& Done, int32_t Milliseconds = 60000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  for (;;) {
    Application->ProcessMessages();
    if (Done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// Delivers our messages for Milliseconds: only to watch that something does
// not happen, where nothing can be waited for.
inline void Pump(int32_t Milliseconds) {
  PumpUntil([] { return false; }, Milliseconds);
}

// Whether the desktop shows the client area of Control's window, and of
// every window inside it, as we drew them, at nine points of each that no
// child window covers and the parents do not clip (Clip, on the screen):
// the window manager has mapped the window where we think it is and the
// toolkit has presented our latest drawing.
inline bool ScreenShows(TWinControl* Control, TRect Clip = TRect{-32768, -32768, 32767, 32767}) {
  if (!Control->Showing()) return false;
  const int32_t w = Control->ClientWidth(), h = Control->ClientHeight();
  const TPoint origin = Control->ClientToScreen(TPoint{0, 0});
  Clip = TRect{std::max(Clip.Left, origin.X), std::max(Clip.Top, origin.Y), std::min(Clip.Right, origin.X + w),
               std::min(Clip.Bottom, origin.Y + h)};
  std::vector<TWinControl*> children;
  for (int32_t i = 0; i < Control->ControlCount(); ++i)
    if (auto* c = dynamic_cast<TWinControl*>(Control->Controls(i)); c && c->Visible()) children.push_back(c);
  bool same = true;
  HDC screen = GetDC(nullptr);
  HDC own = GetDC(Control->Handle());
  for (int32_t y : {3, h / 2, h - 4})
    for (int32_t x : {3, w / 2, w - 4}) {
      const TPoint p{x, y}, s{origin.X + x, origin.Y + y};
      bool hidden = x < 0 || y < 0 || !PtInRect(Clip, s);
      for (TWinControl* c : children) hidden = hidden || PtInRect(c->BoundsRect(), p);
      if (!hidden) same = same && GetPixel(screen, s.X, s.Y) == GetPixel(own, x, y);
    }
  ReleaseDC(Control->Handle(), own);
  ReleaseDC(nullptr, screen);
  for (TWinControl* c : children) same = same && ScreenShows(c, Clip);
  return same;
}

// Failures reported so far; the program exits non-zero when there are any.
inline int DesktopFailures = 0;

inline void Fail(const std::string& What) {
  std::fprintf(stderr, "FAILED: %s\n", What.c_str());
  ++DesktopFailures;
}

// Input as the X server delivers it to whatever window has the keyboard.
inline void XdoTool(const std::string& Args) {
  const std::string cmd = "/usr/bin/xdotool " + Args;
  if (std::system(cmd.c_str()) != 0) Fail("xdotool " + Args);
}

// Whether the desktop gives the keyboard to the window of this title.
inline bool DesktopActive(const std::string& Title) {
  const std::string cmd = "/usr/bin/xdotool getactivewindow getwindowname 2>/dev/null | grep -qx '" + Title + "'";
  return std::system(cmd.c_str()) == 0;
}
