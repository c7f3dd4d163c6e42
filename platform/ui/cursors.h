// The current mouse cursor. Cursors themselves (stock shapes, cursors made
// from masks) are platform/gdi's data; the desktop shows the cursor set here
// while the pointer is over one of our windows.
#pragma once

#include "platform/gdi/cursors.h"

// Sets the cursor shown now; returns the previous one.
HCURSOR SetCursor(HCURSOR Cursor);
HCURSOR GetCursor();
