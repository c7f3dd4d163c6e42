// Cursors as data.
#include "platform/gdi/cursors.h"

#include <mutex>

struct CursorObject {
  TCursorInfo Info;
};

TCursorPixel TCursorInfo::Pixel(int32_t X, int32_t Y) const {
  if (StockId || X < 0 || Y < 0 || X >= Width || Y >= Height) return cpTransparent;
  size_t stride = static_cast<size_t>((Width + 15) / 16) * 2;
  size_t i = Y * stride + X / 8;
  int bit = 7 - (X & 7);
  bool a = (AndMask[i] >> bit) & 1, x = (XorMask[i] >> bit) & 1;
  return a ? (x ? cpInvert : cpTransparent) : (x ? cpWhite : cpBlack);
}

HCURSOR CreateCursor(void*, int32_t XHotSpot, int32_t YHotSpot, int32_t Width, int32_t Height, const void* AndMask,
                     const void* XorMask) {
  if (Width < 1 || Height < 1 || Width > 256 || Height > 256 || !AndMask || !XorMask) return nullptr;
  auto* c = new CursorObject;
  size_t n = static_cast<size_t>((Width + 15) / 16) * 2 * Height;
  c->Info.Width = Width;
  c->Info.Height = Height;
  c->Info.HotX = XHotSpot;
  c->Info.HotY = YHotSpot;
  c->Info.AndMask.assign(static_cast<const uint8_t*>(AndMask), static_cast<const uint8_t*>(AndMask) + n);
  c->Info.XorMask.assign(static_cast<const uint8_t*>(XorMask), static_cast<const uint8_t*>(XorMask) + n);
  return c;
}

bool DestroyCursor(HCURSOR Cursor) {
  if (!Cursor || Cursor->Info.StockId) return false;
  delete Cursor;
  return true;
}

namespace {

constexpr intptr_t kStockIds[] = {IDC_ARROW,    IDC_IBEAM,    IDC_WAIT,   IDC_CROSS,   IDC_UPARROW,
                                  IDC_SIZENWSE, IDC_SIZENESW, IDC_SIZEWE, IDC_SIZENS,  IDC_SIZEALL,
                                  IDC_NO,       IDC_HAND,     IDC_APPSTARTING, IDC_HELP};
constexpr size_t kStockCount = sizeof(kStockIds) / sizeof(kStockIds[0]);

}  // namespace

HCURSOR LoadCursor(void* Instance, intptr_t Name) {
  static CursorObject stock[kStockCount];
  static std::once_flag once;
  std::call_once(once, [] {
    for (size_t i = 0; i < kStockCount; ++i) {
      stock[i].Info.StockId = kStockIds[i];
      stock[i].Info.Width = stock[i].Info.Height = 32;
    }
  });
  if (Instance) return nullptr;
  for (size_t i = 0; i < kStockCount; ++i)
    if (kStockIds[i] == Name) return &stock[i];
  return nullptr;
}

HCURSOR StockCursor(TCursor Cursor) {
  switch (Cursor) {
    case crNone: return nullptr;
    case crCross: return LoadCursor(nullptr, IDC_CROSS);
    case crIBeam: return LoadCursor(nullptr, IDC_IBEAM);
    case crSizeNESW: return LoadCursor(nullptr, IDC_SIZENESW);
    case crSizeNS:
    case crVSplit: return LoadCursor(nullptr, IDC_SIZENS);
    case crSizeNWSE: return LoadCursor(nullptr, IDC_SIZENWSE);
    case crSizeWE:
    case crHSplit: return LoadCursor(nullptr, IDC_SIZEWE);
    case crUpArrow: return LoadCursor(nullptr, IDC_UPARROW);
    case crHourGlass:
    case crSQLWait: return LoadCursor(nullptr, IDC_WAIT);
    case crNoDrop:
    case crNo: return LoadCursor(nullptr, IDC_NO);
    case crAppStart: return LoadCursor(nullptr, IDC_APPSTARTING);
    case crHelp: return LoadCursor(nullptr, IDC_HELP);
    case crHandPoint: return LoadCursor(nullptr, IDC_HAND);
    case crSizeAll: return LoadCursor(nullptr, IDC_SIZEALL);
    default: return LoadCursor(nullptr, IDC_ARROW);
  }
}

bool GetCursorInfo(HCURSOR Cursor, TCursorInfo& Info) {
  if (!Cursor) return false;
  Info = Cursor->Info;
  return true;
}
