// Three-dimensional edges and frame controls drawn in the system colours.
#pragma once

#include <cstdint>

#include "platform/gdi/types.h"

enum : uint32_t {
  BDR_RAISEDOUTER = 0x0001,
  BDR_SUNKENOUTER = 0x0002,
  BDR_RAISEDINNER = 0x0004,
  BDR_SUNKENINNER = 0x0008,
  BDR_OUTER = 0x0003,
  BDR_INNER = 0x000C,
  EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER,
  EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER,
  EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER,
  EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER,
};
enum : uint32_t {
  BF_LEFT = 0x0001,
  BF_TOP = 0x0002,
  BF_RIGHT = 0x0004,
  BF_BOTTOM = 0x0008,
  BF_TOPLEFT = BF_TOP | BF_LEFT,
  BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT,
  BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM,
  BF_MIDDLE = 0x0800,
  BF_SOFT = 0x1000,
  BF_ADJUST = 0x2000,
  BF_FLAT = 0x4000,
  BF_MONO = 0x8000,
};
// Draws the outer and inner one-pixel borders Edge asks for on the sides in
// Flags. Raised: outer light / dark shadow, inner highlight / shadow (top-left
// / bottom-right); sunken: the reverse. BF_SOFT draws the top-left of a
// raised edge with the highlight outside and the light inside. BF_MIDDLE
// fills the inside with the button face; BF_ADJUST shrinks R to the inside.
bool DrawEdge(HDC DC, TRect* R, uint32_t Edge, uint32_t Flags);

enum : uint32_t { DFC_CAPTION = 1, DFC_MENU = 2, DFC_SCROLL = 3, DFC_BUTTON = 4 };
enum : uint32_t {
  DFCS_CAPTIONCLOSE = 0x0000,
  DFCS_CAPTIONMIN = 0x0001,
  DFCS_CAPTIONMAX = 0x0002,
  DFCS_CAPTIONRESTORE = 0x0003,
  DFCS_INACTIVE = 0x0100,
  DFCS_PUSHED = 0x0200,
  DFCS_FLAT = 0x4000,
};
// A caption button: a raised (pushed: sunken) button face with its glyph; the
// close glyph is a diagonal cross. Only DFC_CAPTION is drawn.
bool DrawFrameControl(HDC DC, TRect* R, uint32_t Type, uint32_t State);
