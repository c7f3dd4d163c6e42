// A small TWAIN client in plain functions over module-level state: the
// application's identity, whether a source manager is installed, choosing
// the default image source, and acquiring one image from it as a native
// transfer (a packed DIB in global memory). Every session is opened and
// closed again within one call. Failures show a "TWAIN Error" message box
// and give no image. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/twain/twain_protocol.h"
#include "platform/gdi/clipboard_formats.h"
#include "platform/ui/messages.h"

// File name of the source manager library in its folder.
extern const char* const TWAIN_ManagerFileName;

// Module start-up and shut-down: the identity, the presence cache and the
// manager folder get their initial values; finalizing unloads a manager
// that is still loaded.
void InitializeTwain();
void FinalizeTwain();

// The folder the source manager is loaded from (with a trailing "/"); by
// default the program's folder. Setting it forgets whether a manager was
// found.
std::string TWAIN_ManagerFolder();
void TWAIN_SetManagerFolder(const std::string& Folder);

void TWAIN_SetApplicationId(uint16_t MajorNum, uint16_t MinorNum, uint16_t Language, uint16_t Country,
                            const std::string& Info, const std::string& Manufacturer,
                            const std::string& ProductFamily, const std::string& ProductName);
// The identity the client presents (strings cut to 32 bytes).
const TW_IDENTITY& TWAIN_ApplicationId();

// True when the manager is loaded now; otherwise the first call loads and
// unloads it and the answer is kept for later calls.
bool TWAIN_ManagerPresent();
// Lets the user choose the default source; true when one was chosen.
bool TWAIN_SelectImageSource(HWND Window);
// Whether the person chose a default source in an earlier session: the
// source manager keeps it, and Acquire can use it at once.
bool TWAIN_DefaultSourceKept();
// One image from the default source as a packed DIB, or 0. PixelTypeMask
// has bit (1 << TWPT_x) set for each acceptable pixel type; 0 takes any.
// The caller frees the result with TWAIN_ReleaseDib.
HGLOBAL TWAIN_AcquireDib(HWND Window, uint32_t PixelTypeMask);
void TWAIN_ReleaseDib(HGLOBAL Dib);
// Writes the DIB as a BMP file; an empty name asks for one. 0 success,
// -1 the dialog was cancelled, -2 the file could not be created, -3 the
// handle could not be locked, -4 writing failed.
int32_t TWAIN_SaveDibToBmpFile(HGLOBAL Dib, const std::string& FileName);

// ---- for a fuller client ----
// Acquires with any pixel type and saves the image; -1 when nothing came.
int32_t TWAIN_AcquireToFile(HWND Window, const std::string& FileName);
// The session state, 1 (no manager loaded) to 7 (transferring).
int32_t TWAIN_SessionState();
bool TWAIN_InterfaceHidden();
void TWAIN_SetInterfaceHidden(bool Hide);
// 106: protocol 1.6.
int32_t TWAIN_ClientVersion();
// Capability setters: only while a source is open (state 4).
bool TWAIN_SetTransferCount(int16_t Count);
bool TWAIN_SetUnits(uint16_t Units);
bool TWAIN_SetImageBitDepth(uint16_t Bits);
bool TWAIN_SetImagePixelType(uint16_t PixelType);
bool TWAIN_SetImageResolution(long double Dpi);
// Sets one value of a capability of the open source.
bool TWAIN_SetCapOneValue(uint16_t Cap, uint16_t ItemType, uint32_t Value);

// ---- packed DIBs ----
// Colours of the DIB's table: 2^bcBitCount for a core header, else
// biClrUsed or 2^biBitCount; 0 above 256.
uint32_t TWAIN_DibColorCount(const uint8_t* Dib);
// The DIB's pixels: past the header and the colour table.
const uint8_t* TWAIN_DibBits(const uint8_t* Dib);
// Bytes of a packed DIB (header, table or masks, pixels); 0 for a header
// that makes no sense.
size_t TWAIN_DibSize(const uint8_t* Dib, size_t Available);
int32_t TWAIN_CountBits(uint32_t Value);
TW_FIX32 TWAIN_FloatToFix32(long double Value);
