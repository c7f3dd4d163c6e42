// The clipboard: formats CF_BITMAP (a bitmap handle), CF_DIB (a packed DIB
// in a global block) and CF_TEXT, the classic open/set/get/close calls, the
// TClipboard object, and the clipboard viewer chain (WM_DRAWCLIPBOARD on
// every change, WM_CHANGECBCHAIN when a viewer leaves). The desktop's
// clipboard is Qt's: what we put there is published as an image or text,
// and changes made by other programs reach the chain as WM_DRAWCLIPBOARD.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gdi/clipboard_formats.h"
#include "platform/gdi/graphic.h"
#include "platform/ui/messages.h"

class EClipboardException : public Exception { using Exception::Exception; };

// Opens the clipboard for the calling window (false when already open).
bool OpenClipboard(HWND Owner);
// Publishes what was set since EmptyClipboard and tells the viewers.
bool CloseClipboard();
// Drops every format (the clipboard must be open).
bool EmptyClipboard();
// The clipboard takes Data: an HBITMAP for CF_BITMAP, a global block for
// CF_DIB and CF_TEXT (zero-terminated text). Returns Data, 0 on failure.
uintptr_t SetClipboardData(uint16_t Format, uintptr_t Data);
// The clipboard's own handle of the format (0 when absent): CF_BITMAP gives
// a bitmap and CF_DIB a packed DIB, each made from the other on demand.
uintptr_t GetClipboardData(uint16_t Format);
bool IsClipboardFormatAvailable(uint16_t Format);

// The viewer chain. SetClipboardViewer makes Wnd the head and returns the
// previous head (the window Wnd must pass messages on to); Wnd then gets
// WM_DRAWCLIPBOARD. ChangeClipboardChain sends WM_CHANGECBCHAIN(Remove,
// Next) to the head and, when Remove is the head, makes Next the head. A
// head destroyed without leaving gives way to the viewer that joined before it.
HWND SetClipboardViewer(HWND Wnd);
bool ChangeClipboardChain(HWND Remove, HWND Next);
HWND GetClipboardViewer();

class TClipboard : public TPersistent {
public:
  TClipboard() = default;
  void Open();
  void Close();
  void Clear();
  bool HasFormat(uint16_t Format);
  // A TGraphic (or a TPicture's graphic) goes on as the format it gives.
  void Assign(TPersistent* Source) override;
  std::string AsText();
  void SetAsText(const std::string& Value);
  uintptr_t GetAsHandle(uint16_t Format);
  void SetAsHandle(uint16_t Format, uintptr_t Value);
  // The CF_DIB bytes (empty when there is no image) and setting them.
  std::vector<uint8_t> PackedDIB();
  void SetPackedDIB(const std::vector<uint8_t>& Bytes);

protected:
  // Gives the clipboard's picture to a TBitmap or TPicture (as CF_BITMAP)
  // or to another TGraphic (as CF_DIB).
  void AssignTo(TPersistent* Dest) override;

private:
  int32_t FOpenRefCount = 0;
  bool FEmptied = false;
};

// The process's clipboard object.
TClipboard* Clipboard();

// Shut-down: frees what the clipboard holds and forgets the viewer chain.
void FinalizeClipboard();
