// Stock and mask cursors, and the current cursor.
#include "platform/ui/cursors.h"

#include <map>
#include <mutex>

#include "platform/ui/window_internal.h"

namespace {
HCURSOR CurrentCursor = nullptr;

std::map<uintptr_t, TCursorObject*>& Stock() {
  static auto* m = new std::map<uintptr_t, TCursorObject*>();
  return *m;
}
}  // namespace

HCURSOR LoadCursor(void* Instance, uintptr_t Id) {
  if (Instance) return nullptr;
  switch (Id) {
    case IDC_ARROW: case IDC_IBEAM: case IDC_WAIT: case IDC_CROSS: case IDC_UPARROW: case IDC_SIZENWSE:
    case IDC_SIZENESW: case IDC_SIZEWE: case IDC_SIZENS: case IDC_SIZEALL: case IDC_NO: case IDC_HAND:
    case IDC_APPSTARTING: case IDC_HELP: break;
    default: return nullptr;
  }
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  TCursorObject*& c = Stock()[Id];
  if (!c) {
    c = new TCursorObject();
    c->StockId = Id;
    c->Width = c->Height = 32;
  }
  return c;
}

HCURSOR CreateCursor(void*, int32_t HotX, int32_t HotY, int32_t Width, int32_t Height, const void* AndMask,
                     const void* XorMask) {
  if (Width <= 0 || Height <= 0 || Width > 256 || Height > 256 || !AndMask || !XorMask) return nullptr;
  auto* c = new TCursorObject();
  c->HotX = HotX;
  c->HotY = HotY;
  c->Width = Width;
  c->Height = Height;
  size_t n = static_cast<size_t>((Width + 15) / 16) * 2 * static_cast<size_t>(Height);
  const auto* a = static_cast<const uint8_t*>(AndMask);
  const auto* x = static_cast<const uint8_t*>(XorMask);
  c->AndMask.assign(a, a + n);
  c->XorMask.assign(x, x + n);
  return c;
}

bool DestroyCursor(HCURSOR Cursor) {
  if (!Cursor || Cursor->StockId) return false;
  if (CurrentCursor == Cursor) SetCursor(LoadCursor(nullptr, IDC_ARROW));
  delete Cursor;
  return true;
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
