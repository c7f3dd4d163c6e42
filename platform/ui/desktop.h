// What the programs take from the desktop they run on: the Qt platform
// they ask for, icons of the desktop's icon theme by their freedesktop
// names rendered into our bitmaps, and the icon of their windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"

// The Qt platform a program asks for, given the values of QT_QPA_PLATFORM
// and DISPLAY (null when unset): "xcb" when the person chose none and an X
// display is there (X11, or XWayland under a Wayland desktop), because the
// programs place their own top-level windows (floating toolbars, centred
// dialogs, the drag outline), which Wayland does not let a client do; ""
// otherwise: the person's choice stands, or Qt picks.
std::string QtPlatformFor(const char* QtPlatform, const char* Display);
// Puts QtPlatformFor's choice into this process's environment; call it
// before InitializeForms.
void ChooseQtPlatform();

// The theme that lends its icons when the desktop's theme lacks a name, or
// when no desktop sets a theme at all.
inline constexpr const char* FallbackIconTheme = "breeze";

// The theme icons come from (the desktop's, else FallbackIconTheme). Needs
// InitializeForms, as do the functions below.
std::string IconThemeName();
// Whether the desktop's theme, its parents or the fallback theme has Name.
bool HasThemeIcon(const std::string& Name);
// Renders the theme's icon Name at Size x Size pixels into Bitmap (24 bits,
// resized) over Background: pixels the icon covers less than half stay
// exactly Background, the others are the icon blended over it. False, with
// Bitmap unchanged, when no theme has the name.
bool DrawThemeIcon(const std::string& Name, int32_t Size, TColor Background, TBitmap* Bitmap);
// The same for an image file (PNG or SVG); false when it cannot be read.
bool DrawIconFile(const std::string& FileName, int32_t Size, TColor Background, TBitmap* Bitmap);
// The icon of every window of the program, from image files of several
// sizes (the desktop takes the size it needs); missing files are skipped.
void SetApplicationIcon(const std::vector<std::string>& FileNames);

// The person's pictures folder as the desktop names it (XDG_PICTURES_DIR),
// else their home folder when that folder does not exist; no trailing "/".
std::string PicturesFolder();
