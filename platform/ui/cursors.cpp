// The current cursor.
#include "platform/ui/cursors.h"

#include "platform/ui/window_internal.h"

namespace {
HCURSOR CurrentCursor = nullptr;
}

HCURSOR SetCursor(HCURSOR Cursor) {
  HCURSOR old = CurrentCursor;
  if (Cursor != CurrentCursor) {
    CurrentCursor = Cursor;
    ui_internal::ApplyCursor(Cursor);
  }
  return old;
}

HCURSOR GetCursor() { return CurrentCursor; }

void ui_internal::ApplyCursor(HCURSOR Cursor) { ui_backend::SetCursorShape(Cursor); }
