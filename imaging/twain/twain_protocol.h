// The TWAIN protocol (version 1.6) as the client and our source manager
// speak it: the records passed through DSM_Entry and the numbers of the
// data groups, data argument types, messages, return and condition codes,
// container types, item types and capabilities.
//
// Memory handles (TW_HANDLE) are blocks made by TW_AllocHandle: whoever
// receives a handle that the other side made frees it with TW_FreeHandle.
// Both sides live in one process and share its heap, so a block can change
// hands.
//
// The source manager is a shared library loaded at run time; it reaches the
// application's message queue and dialogs only through the TW_PARENT record
// handed over with MSG_OPENDSM. A failure can be told in words through
// DAT_STATUSUTF8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;
using TW_HANDLE = void*;
using TW_MEMREF = void*;
using TW_STR32 = char[34];  // 32 characters, a terminating zero and a pad byte

#pragma pack(push, 2)
struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

// pEvent points to the application's queued message (a TMsg).
struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  TW_UINT32 Reserved;
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;
  TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

// ItemList holds NumItems items of ItemType, packed.
struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

static_assert(sizeof(TW_IDENTITY) == 156);
static_assert(sizeof(TW_ONEVALUE) == 6);
static_assert(offsetof(TW_ENUMERATION, ItemList) == 14);

// DAT_STATUSUTF8 / MSG_GET, sent where the TW_STATUS came from: the words
// of the failure behind that status, for the person (a handle of Size
// bytes, no terminating zero, freed by the receiver; null when there are
// none).
struct TW_STATUSUTF8 {
  TW_STATUS Status;
  TW_UINT32 Size;
  TW_HANDLE UTF8string;
};
#pragma pack(pop)

// The sources Select Source offers while the manager may still be looking
// for more. Poll gives the list as it stands (Names stay valid until the
// next Poll): Default is the one chosen at first (-1 none), Note a line for
// the person ("" none); it returns true while the manager is still looking.
// Watch asks the manager to post Message to Window once it stops looking (at
// once when it has).
struct TW_SOURCELIST {
  TW_MEMREF Context;
  TW_BOOL (*Poll)(TW_MEMREF Context, const char* const** Names, TW_UINT32* Count, TW_INT32* Default,
                  const char** Note);
  void (*Watch)(TW_MEMREF Context, TW_MEMREF Window, TW_UINT32 Message);
};

// The source's settings step before a scan. Each choice is a list of names
// with the index chosen, which the step writes back; an empty list is a
// choice the device does not offer. With no resolutions listed, a range
// MinResolution..MaxResolution (both 0: none) is offered, Resolution the
// value chosen. Note is a line for the person ("" none).
struct TW_SCANSETTINGS {
  const char* Title;
  const char* Note;
  const char* const* Modes;
  TW_UINT32 ModeCount;
  TW_INT32 Mode;
  const TW_INT32* Resolutions;
  TW_UINT32 ResolutionCount;
  TW_INT32 MinResolution;
  TW_INT32 MaxResolution;
  TW_INT32 Resolution;
  const char* const* Areas;
  TW_UINT32 AreaCount;
  TW_INT32 Area;
};

// MSG_OPENDSM / MSG_CLOSEDSM: the parent window and the services of the
// application that the manager may use (any of them may be null):
// - PostMessage queues a message for a window of the application (false
//   when the window is gone); it may be called from any thread;
// - SelectSource lets the person choose one of the sources of List, shown
//   at once and filled as the manager finds them; the chosen index in the
//   list as last polled, or -1 when they cancelled;
// - BeginProgress shows a progress window with a Cancel button over hWnd,
//   which the application waits behind; StepProgress shows Step of Max (Max 0:
//   the length is unknown), lets the application handle its messages and
//   tells whether the person cancelled; EndProgress takes the window away;
// - ScanSettings shows the settings step over hWnd, the application waiting
//   behind it; true for Scan, false for Cancel;
// - ReadSetting and WriteSetting keep the manager's settings for the person
//   (the chosen source, the settings last used with each device): ReadSetting
//   copies the value of Key into Value (Size bytes with its terminating zero)
//   and returns its length, 0 when there is none or it does not fit.
using TW_POSTPROC = TW_BOOL (*)(TW_MEMREF hWnd, TW_UINT32 Msg, uintptr_t WParam, intptr_t LParam);
using TW_SELECTPROC = TW_INT32 (*)(TW_MEMREF hWnd, const TW_SOURCELIST* List);
using TW_BEGINPROGRESSPROC = TW_MEMREF (*)(TW_MEMREF hWnd, const char* Text);
using TW_STEPPROGRESSPROC = TW_BOOL (*)(TW_MEMREF Progress, TW_UINT32 Step, TW_UINT32 Max);
using TW_ENDPROGRESSPROC = void (*)(TW_MEMREF Progress);
using TW_SCANSETTINGSPROC = TW_BOOL (*)(TW_MEMREF hWnd, TW_SCANSETTINGS* Settings);
using TW_READSETTINGPROC = TW_UINT32 (*)(const char* Key, char* Value, TW_UINT32 Size);
using TW_WRITESETTINGPROC = TW_BOOL (*)(const char* Key, const char* Value);
struct TW_PARENT {
  TW_MEMREF hWnd;
  TW_POSTPROC PostMessage;
  TW_SELECTPROC SelectSource;
  TW_BEGINPROGRESSPROC BeginProgress;
  TW_STEPPROGRESSPROC StepProgress;
  TW_ENDPROGRESSPROC EndProgress;
  TW_SCANSETTINGSPROC ScanSettings;
  TW_READSETTINGPROC ReadSetting;
  TW_WRITESETTINGPROC WriteSetting;
};

// The source manager's one entry point.
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                   TW_UINT16 MSG, TW_MEMREF pData);

// Memory handles: zeroed blocks of the C heap that know their size (kept
// in front of the block), so that the receiver never reads past one.
constexpr size_t TW_HandleHeader = 16;  // keeps the block 16-byte aligned
inline TW_HANDLE TW_AllocHandle(size_t Size) {
  if (Size > (size_t{1} << 40)) return nullptr;
  auto* Block = static_cast<unsigned char*>(std::calloc(1, TW_HandleHeader + Size));
  if (!Block) return nullptr;
  *reinterpret_cast<size_t*>(Block) = Size;
  return Block + TW_HandleHeader;
}
inline void TW_FreeHandle(TW_HANDLE Handle) {
  if (Handle) std::free(static_cast<unsigned char*>(Handle) - TW_HandleHeader);
}
// The size the block was made with; 0 for none.
inline size_t TW_HandleSize(TW_HANDLE Handle) {
  return Handle ? *reinterpret_cast<const size_t*>(static_cast<unsigned char*>(Handle) - TW_HandleHeader) : 0;
}

// Data groups.
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;

// Data argument types.
constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_STATUSUTF8 = 0x0029;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;

// Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0;
constexpr TW_UINT16 TWRC_FAILURE = 1;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
constexpr TW_UINT16 TWRC_CANCEL = 3;
constexpr TW_UINT16 TWRC_DSEVENT = 4;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
constexpr TW_UINT16 TWRC_XFERDONE = 6;
constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// Condition codes.
constexpr TW_UINT16 TWCC_SUCCESS = 0;
constexpr TW_UINT16 TWCC_BUMMER = 1;
constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
constexpr TW_UINT16 TWCC_NODS = 3;
constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
constexpr TW_UINT16 TWCC_BADCAP = 6;
constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
constexpr TW_UINT16 TWCC_BADVALUE = 10;
constexpr TW_UINT16 TWCC_SEQERROR = 11;
constexpr TW_UINT16 TWCC_BADDEST = 12;

// Container types.
constexpr TW_UINT16 TWON_ARRAY = 3;
constexpr TW_UINT16 TWON_ENUMERATION = 4;
constexpr TW_UINT16 TWON_ONEVALUE = 5;
constexpr TW_UINT16 TWON_RANGE = 6;
constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;

// Item types.
constexpr TW_UINT16 TWTY_INT8 = 0;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT8 = 3;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;

// Capabilities.
constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
constexpr TW_UINT16 ICAP_UNITS = 0x0102;
constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
constexpr TW_UINT16 ICAP_BITDEPTH = 0x112B;

// Pixel types (ICAP_PIXELTYPE values).
constexpr TW_UINT16 TWPT_BW = 0;
constexpr TW_UINT16 TWPT_GRAY = 1;
constexpr TW_UINT16 TWPT_RGB = 2;
constexpr TW_UINT16 TWPT_PALETTE = 3;

// Size in bytes of one item of a type (0 for types a container of ours
// never holds).
constexpr size_t TW_ItemSize(TW_UINT16 ItemType) {
  switch (ItemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL: return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32: return 4;
    default: return 0;
  }
}

// Fills an identity of protocol 1.6 (DG_CONTROL and DG_IMAGE), Id 0. The
// strings are cut to the 32-character fields at a character boundary, so
// that no UTF-8 sequence is split.
inline void TW_FillIdentity(TW_IDENTITY& Id, TW_UINT16 MajorNum, TW_UINT16 MinorNum, TW_UINT16 Language,
                            TW_UINT16 Country, const std::string& Info, const std::string& Manufacturer,
                            const std::string& ProductFamily, const std::string& ProductName) {
  auto Set = [](TW_STR32& Field, const std::string& Text) {
    size_t n = Text.size() < 32 ? Text.size() : 32;
    if (n < Text.size())
      while (n > 0 && (static_cast<uint8_t>(Text[n]) & 0xC0) == 0x80) --n;
    std::memset(Field, 0, sizeof(Field));
    std::memcpy(Field, Text.data(), n);
  };
  std::memset(&Id, 0, sizeof(Id));
  Id.Version.MajorNum = MajorNum;
  Id.Version.MinorNum = MinorNum;
  Id.Version.Language = Language;
  Id.Version.Country = Country;
  Set(Id.Version.Info, Info);
  Id.ProtocolMajor = 1;
  Id.ProtocolMinor = 6;
  Id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  Set(Id.Manufacturer, Manufacturer);
  Set(Id.ProductFamily, ProductFamily);
  Set(Id.ProductName, ProductName);
}
