// Shared resources of the imaging library made by its start-up: the four
// viewer cursors and the font record of the dialogs' information text.
#pragma once

#include "platform/gdi/cursors.h"
#include "platform/gdi/objects.h"

// The picture can be moved with the mouse / is being moved / a selection can
// be drawn / the pointer is over the selection, which can be moved.
extern HCURSOR PGCursorHand;
extern HCURSOR PGCursorHandGrab;
extern HCURSOR PGCursorSelect;
extern HCURSOR PGCursorMoveSelection;

// The font of the open and save dialogs' information text.
extern LOGFONT PGInfoFont;

// Creates the four cursors (32 x 32, from the masks in pg_resources.cpp).
void CreatePGCursors();
void DestroyPGCursors();
// Sets PGInfoFont to its start-up value.
void InitPGInfoFont();
