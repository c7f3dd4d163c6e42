// Glyphs of buttons and menu items, and the programs' own icons.
//
// Glyphs: the icon theme's icon for the first of
// a list of freedesktop icon names that the theme has (a name and its
// nearest stand-ins), rendered at the size the control needs; when the
// theme has none of them, a glyph drawn here, so a button never goes
// without one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/ui/image_list.h"

// A glyph's icon names, the preferred one first.
using TGlyphNames = std::vector<std::string>;

// Makes Bitmap a Size x Size glyph (24 bits) over Background, which is its
// fixed transparent colour.
void LoadGlyph(TBitmap* Bitmap, const TGlyphNames& Names, int32_t Size, TColor Background = clBtnFace);
// Adds one glyph per entry to List, at the list's size, transparent where
// they show Background.
void AddGlyphs(TCustomImageList* List, const std::vector<TGlyphNames>& Glyphs, TColor Background = clMenu);
// Every glyph loaded so far, by its preferred name, and whether the theme
// had it (false: drawn here).
struct TGlyphUse {
  std::string Name;
  bool FromTheme;
};
const std::vector<TGlyphUse>& GlyphsLoaded();

// The program's own icon, drawn as PNG files of several sizes in the
// program folder ("icons/<Program>_<Size>.png").
std::string ProgramIconFile(const std::string& Program, int32_t Size);
// Makes it the icon of every window of the program.
void SetProgramIcon(const std::string& Program);
// Draws it Size x Size into Bitmap over Background, its fixed transparent
// colour; false (Bitmap unchanged) when the file is missing.
bool LoadProgramIcon(TBitmap* Bitmap, const std::string& Program, int32_t Size, TColor Background);
