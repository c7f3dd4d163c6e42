// The clipboard store, its publication through Qt and the viewer chain.
#include "platform/ui/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <algorithm>
#include <cstring>
#include <map>
#include <random>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/objects.h"
#include "platform/gdi/picture.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"
#include "platform/ui/window_internal.h"

namespace {

const char* const MarkerMime = "application/x-quillon-clipboard";

// What the clipboard holds: handles it owns, by format.
std::map<uint16_t, uintptr_t> Store;
bool Open = false;
bool Changed = false;
HWND OpenOwner = nullptr;
// The viewers in the order of the chain, head first, as they joined and
// left: when the head is destroyed without leaving, the next living one
// becomes the head, so the rest of the chain still hears of changes.
std::vector<HWND> Viewers;

HWND ViewerHead() {
  while (!Viewers.empty() && !IsWindow(Viewers.front())) Viewers.erase(Viewers.begin());
  return Viewers.empty() ? nullptr : Viewers.front();
}
// Serial of our last publication; the desktop's echo of it is not a
// change by another program. The marker pairs it with a token of this
// process, since another process of ours counts its publications too.
uint64_t Serial = 0;
QByteArray OwnMarker() {
  static const QByteArray token = [] {
    std::random_device r;
    return QByteArray::number(static_cast<qulonglong>(r()) << 32 | r(), 16);
  }();
  return token + ':' + QByteArray::number(static_cast<qulonglong>(Serial));
}
// The clipboard belongs to another program: formats come from Qt. So it is
// until we put something on it, since the desktop's clipboard may hold data
// from before we started.
bool Foreign = true;
QObject* ConnectedApp = nullptr;
QMetaObject::Connection Connection;

void FreeEntry(uint16_t Format, uintptr_t H) {
  if (!H) return;
  if (Format == CF_BITMAP) DeleteObject(reinterpret_cast<HGDIOBJ>(H));
  else GlobalFree(static_cast<HGLOBAL>(H));
}

void ClearStore() {
  for (auto& [f, h] : Store) FreeEntry(f, h);
  Store.clear();
}

void NotifyViewers() {
  if (HWND head = ViewerHead()) SendMessage(head, WM_DRAWCLIPBOARD, 0, 0);
}

const QMimeData* QtData() {
  QClipboard* c = QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr;
  return c ? c->mimeData() : nullptr;
}

void OnQtChanged() {
  const QMimeData* m = QtData();
  if (m && m->hasFormat(MarkerMime) && m->data(MarkerMime) == OwnMarker()) return;  // our own publication
  // Another program changed the clipboard: our formats are gone.
  ClearStore();
  Foreign = true;
  NotifyViewers();
}

// Follows the desktop clipboard of the running application object.
void Connect() {
  QObject* app = QGuiApplication::instance();
  if (app == ConnectedApp) return;
  ConnectedApp = app;
  if (!app) return;
  QObject::connect(app, &QObject::destroyed, [] { ConnectedApp = nullptr; });
  Connection = QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, [] { OnQtChanged(); });
}

// A 24-bit bottom-up packed DIB of a Qt image.
std::vector<uint8_t> DIBFromImage(const QImage& Source) {
  QImage img = Source.convertToFormat(QImage::Format_RGB888);
  int32_t w = img.width(), h = img.height();
  if (w <= 0 || h <= 0) return {};
  int64_t stride = (static_cast<int64_t>(w) * 3 + 3) & ~int64_t{3};
  std::vector<uint8_t> out(40 + static_cast<size_t>(stride * h), 0);
  auto put32 = [&out](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(w));
  put32(8, static_cast<uint32_t>(h));
  out[12] = 1;
  out[14] = 24;
  put32(20, static_cast<uint32_t>(stride * h));
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = img.constScanLine(y);
    uint8_t* dst = out.data() + 40 + static_cast<size_t>(stride * (h - 1 - y));
    for (int32_t x = 0; x < w; ++x) {
      dst[x * 3] = src[x * 3 + 2];
      dst[x * 3 + 1] = src[x * 3 + 1];
      dst[x * 3 + 2] = src[x * 3];
    }
  }
  return out;
}

// The Qt image of a bitmap handle (copied through a 24-bit TBitmap).
QImage ImageFromBitmap(HBITMAP H) {
  std::vector<uint8_t> dib = PackedDIBFromBitmap(H);
  HBITMAP copy = dib.empty() ? nullptr : BitmapFromPackedDIB(dib.data(), dib.size());
  if (!copy) return {};
  TBitmap b;
  b.SetHandle(copy);
  b.SetPixelFormat(pf24bit);
  QImage img(b.Width(), b.Height(), QImage::Format_RGB888);
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto* src = static_cast<const uint8_t*>(b.ScanLine(y));
    uint8_t* dst = img.scanLine(y);
    for (int32_t x = 0; x < b.Width(); ++x) {
      dst[x * 3] = src[x * 3 + 2];
      dst[x * 3 + 1] = src[x * 3 + 1];
      dst[x * 3 + 2] = src[x * 3];
    }
  }
  return img;
}

std::string TextOfBlock(uintptr_t H) {
  auto* p = static_cast<const char*>(GlobalLock(static_cast<HGLOBAL>(H)));
  if (!p) return {};
  size_t n = GlobalSize(static_cast<HGLOBAL>(H));
  std::string s(p, strnlen(p, n));
  GlobalUnlock(static_cast<HGLOBAL>(H));
  return s;
}

void Publish() {
  QClipboard* c = QGuiApplication::instance() ? QGuiApplication::clipboard() : nullptr;
  if (!c) return;
  auto* m = new QMimeData();
  m->setData(MarkerMime, OwnMarker());
  if (uintptr_t h = GetClipboardData(CF_BITMAP)) {
    QImage img = ImageFromBitmap(reinterpret_cast<HBITMAP>(h));
    if (!img.isNull()) m->setImageData(img);
  }
  if (auto it = Store.find(CF_TEXT); it != Store.end()) m->setText(QString::fromStdString(TextOfBlock(it->second)));
  c->setMimeData(m);
}

// Takes a foreign clipboard's image or text into the store, on demand.
uintptr_t FromForeign(uint16_t Format) {
  const QMimeData* m = QtData();
  if (!m) return 0;
  if ((Format == CF_DIB || Format == CF_BITMAP) && m->hasImage()) {
    std::vector<uint8_t> dib = DIBFromImage(qvariant_cast<QImage>(m->imageData()));
    if (dib.empty()) return 0;
    Store[CF_DIB] = GlobalFromBytes(dib);
    if (Format == CF_DIB) return Store[CF_DIB];
    HBITMAP b = BitmapFromPackedDIB(dib.data(), dib.size());
    Store[CF_BITMAP] = reinterpret_cast<uintptr_t>(b);
    return Store[CF_BITMAP];
  }
  if (Format == CF_TEXT && m->hasText()) {
    std::string s = m->text().toStdString();
    std::vector<uint8_t> bytes(s.begin(), s.end());
    bytes.push_back(0);
    Store[CF_TEXT] = GlobalFromBytes(bytes);
    return Store[CF_TEXT];
  }
  return 0;
}

}  // namespace

bool OpenClipboard(HWND Owner) {
  Connect();
  if (Open) return false;
  Open = true;
  Changed = false;
  OpenOwner = Owner;
  return true;
}

bool CloseClipboard() {
  if (!Open) return false;
  Open = false;
  OpenOwner = nullptr;
  if (Changed) {
    Changed = false;
    ++Serial;
    Foreign = false;
    Publish();
    NotifyViewers();
  }
  return true;
}

bool EmptyClipboard() {
  if (!Open) return false;
  ClearStore();
  Foreign = false;
  Changed = true;
  return true;
}

uintptr_t SetClipboardData(uint16_t Format, uintptr_t Data) {
  if (!Open || !Data) return 0;
  if (Format != CF_BITMAP && Format != CF_DIB && Format != CF_TEXT) return 0;
  if (Foreign) {
    ClearStore();
    Foreign = false;
  }
  auto it = Store.find(Format);
  if (it != Store.end()) FreeEntry(Format, it->second);
  Store[Format] = Data;
  // An image set in one form replaces the other form made from the old one.
  uint16_t other = Format == CF_BITMAP ? CF_DIB : Format == CF_DIB ? CF_BITMAP : 0;
  if (other) {
    auto o = Store.find(other);
    if (o != Store.end()) {
      FreeEntry(other, o->second);
      Store.erase(o);
    }
  }
  Changed = true;
  return Data;
}

uintptr_t GetClipboardData(uint16_t Format) {
  auto it = Store.find(Format);
  if (it != Store.end()) return it->second;
  if (Foreign) return FromForeign(Format);
  if (Format == CF_DIB) {
    auto b = Store.find(CF_BITMAP);
    if (b == Store.end()) return 0;
    HGLOBAL g = BitmapToPackedDIB(reinterpret_cast<HBITMAP>(b->second));
    if (g) Store[CF_DIB] = g;
    return g;
  }
  if (Format == CF_BITMAP) {
    auto d = Store.find(CF_DIB);
    if (d == Store.end()) return 0;
    auto* p = static_cast<const uint8_t*>(GlobalLock(static_cast<HGLOBAL>(d->second)));
    HBITMAP b = p ? BitmapFromPackedDIB(p, GlobalSize(static_cast<HGLOBAL>(d->second))) : nullptr;
    GlobalUnlock(static_cast<HGLOBAL>(d->second));
    if (b) Store[CF_BITMAP] = reinterpret_cast<uintptr_t>(b);
    return reinterpret_cast<uintptr_t>(b);
  }
  return 0;
}

bool IsClipboardFormatAvailable(uint16_t Format) {
  Connect();
  if (Foreign) {
    const QMimeData* m = QtData();
    if (!m) return false;
    if (Format == CF_BITMAP || Format == CF_DIB) return m->hasImage();
    if (Format == CF_TEXT) return m->hasText();
    return false;
  }
  if (Store.count(Format)) return true;
  if (Format == CF_BITMAP || Format == CF_DIB) return Store.count(CF_BITMAP) || Store.count(CF_DIB);
  return false;
}

HWND SetClipboardViewer(HWND Wnd) {
  Connect();
  HWND previous = ViewerHead();
  if (!Wnd || !IsWindow(Wnd)) return previous;
  Viewers.erase(std::remove(Viewers.begin(), Viewers.end(), Wnd), Viewers.end());
  Viewers.insert(Viewers.begin(), Wnd);
  SendMessage(Wnd, WM_DRAWCLIPBOARD, 0, 0);
  return previous;
}

bool ChangeClipboardChain(HWND Remove, HWND Next) {
  HWND head = ViewerHead();
  Viewers.erase(std::remove(Viewers.begin(), Viewers.end(), Remove), Viewers.end());
  if (head && IsWindow(head))
    SendMessage(head, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(Remove), reinterpret_cast<LPARAM>(Next));
  return true;
}

HWND GetClipboardViewer() { return ViewerHead(); }

namespace ui_internal {
void ClipboardViewerRecreated(HWND Old, HWND New) { std::replace(Viewers.begin(), Viewers.end(), Old, New); }
}  // namespace ui_internal

// ---------------------------------------------------------------------------
// TClipboard

void TClipboard::Open() {
  if (FOpenRefCount == 0 && !OpenClipboard(nullptr)) throw EClipboardException("Cannot open clipboard");
  ++FOpenRefCount;
  FEmptied = false;
}

void TClipboard::Close() {
  if (FOpenRefCount == 0) return;
  if (--FOpenRefCount == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(uint16_t Format) { return IsClipboardFormatAvailable(Format); }

void TClipboard::SetAsHandle(uint16_t Format, uintptr_t Value) {
  Open();
  try {
    // The first format set in one opening replaces the whole clipboard.
    if (!FEmptied) {
      EmptyClipboard();
      FEmptied = true;
    }
    if (!SetClipboardData(Format, Value)) throw EClipboardException("Cannot set clipboard data");
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

uintptr_t TClipboard::GetAsHandle(uint16_t Format) {
  Open();
  uintptr_t h = GetClipboardData(Format);
  Close();
  return h;
}

std::string TClipboard::AsText() {
  Open();
  uintptr_t h = GetClipboardData(CF_TEXT);
  std::string s = h ? TextOfBlock(h) : std::string();
  Close();
  return s;
}

namespace {
// Puts a block of ours on the clipboard; it is freed when the clipboard
// does not take it.
void SetOwnBlock(TClipboard* C, uint16_t Format, const std::vector<uint8_t>& Bytes) {
  HGLOBAL h = GlobalFromBytes(Bytes);
  try {
    C->SetAsHandle(Format, h);
  } catch (...) {
    GlobalFree(h);
    throw;
  }
}
}  // namespace

void TClipboard::SetAsText(const std::string& Value) {
  std::vector<uint8_t> bytes(Value.begin(), Value.end());
  bytes.push_back(0);
  SetOwnBlock(this, CF_TEXT, bytes);
}

std::vector<uint8_t> TClipboard::PackedDIB() {
  Open();
  std::vector<uint8_t> out;
  if (uintptr_t h = GetClipboardData(CF_DIB)) {
    auto* p = static_cast<const uint8_t*>(GlobalLock(static_cast<HGLOBAL>(h)));
    if (p) out.assign(p, p + GlobalSize(static_cast<HGLOBAL>(h)));
    GlobalUnlock(static_cast<HGLOBAL>(h));
  }
  Close();
  return out;
}

void TClipboard::SetPackedDIB(const std::vector<uint8_t>& Bytes) {
  if (Bytes.empty()) throw EClipboardException("Cannot set clipboard data");
  SetOwnBlock(this, CF_DIB, Bytes);
}

void TClipboard::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TPicture*>(Source)) Source = p->Graphic();
  auto* g = dynamic_cast<TGraphic*>(Source);
  if (!g) {
    TPersistent::Assign(Source);
    return;
  }
  uint16_t format = 0;
  uintptr_t data = 0;
  HPALETTE palette = nullptr;
  g->SaveToClipboardFormat(format, data, palette);
  if (palette) DeleteObject(palette);
  SetAsHandle(format, data);
}

void TClipboard::AssignTo(TPersistent* Dest) {
  if (auto* p = dynamic_cast<TPicture*>(Dest)) Dest = p->Bitmap();
  auto* g = dynamic_cast<TGraphic*>(Dest);
  if (!g) {
    TPersistent::AssignTo(Dest);
    return;
  }
  Open();
  try {
    // A bitmap takes the bitmap handle; other graphics read the packed DIB
    // from its global block.
    uint16_t format = dynamic_cast<TBitmap*>(g) ? CF_BITMAP : CF_DIB;
    uintptr_t h = GetClipboardData(format);
    if (!h) throw EClipboardException("Clipboard does not hold a picture");
    g->LoadFromClipboardFormat(format, h, nullptr);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

TClipboard* Clipboard() {
  static auto* c = new TClipboard();
  return c;
}

void FinalizeClipboard() {
  ClearStore();
  Open = false;
  Changed = false;
  Foreign = true;
  Viewers.clear();
  if (ConnectedApp) QObject::disconnect(Connection);
  ConnectedApp = nullptr;
}

namespace ui_backend {
void SetDesktopClipboardText(const std::string& Text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(Text));
}
}  // namespace ui_backend
