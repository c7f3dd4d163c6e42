// The TWAIN session: loading the source manager, the state machine of
// states 1 to 7, the modal loop that feeds the source its events, the
// error record and the "TWAIN Error" boxes.
#include "imaging/twain/pg_twain.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "imaging/twain/twain_dialogs.h"
#include "platform/base/files.h"
#include "platform/base/settings.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window.h"

const char* const TWAIN_ManagerFileName = "twain_32.so";

namespace {

// ---- module state ----
int32_t TwainState = 1;
TW_IDENTITY AppId{};
TW_IDENTITY SourceId{};
void* ManagerModule = nullptr;
DSMENTRYPROC ManagerEntry = nullptr;
int32_t ManagerPresence = 0;  // 0 unknown, 1 present, -1 absent
HWND ParentWindow = nullptr;
TW_USERINTERFACE UserInterface{};
bool HideInterface = false;
TW_PENDINGXFERS PendingXfers{};
HGLOBAL AcquiredDib = 0;
TW_UINT16 LastResult = TWRC_SUCCESS;
int32_t ErrorCode = 0;
TW_UINT16 ErrorResult = 0;
TW_UINT16 ErrorCondition = 0;
std::string ErrorText;  // the source's or manager's own words, if any
std::string ManagerFolder;

const char* const ErrorDetails[] = {
    "[no details available]",
    "",
    "DAT_CAPABILITY/MSG_GET failed",
    "DAT_CAPABILITY/MSG_SET failed",
    "Source Manager operation failed",
    "DataSource operation failed",
    "",
    "TWAIN session not in State 4 (Source Open)",
    "MSG_GET returned a NULL container handle",
    "MSG_GET returned an invalid container handle",
    "Returned container is not valid type",
    "Returned container has invalid ItemType",
    "Returned container is empty",
    "App and source found NO values in common",
};
const char* const ResultNames[] = {
    "TWRC_SUCCESS",     "TWRC_FAILURE",    "TWRC_CHECKSTATUS ('tried hard')", "TWRC_CANCEL",
    "TWRC_DSEVENT",     "TWRC_NOTDSEVENT", "TWRC_XFERDONE",                   "TWRC_ENDOFLIST",
};
const char* const ConditionNames[] = {
    "TWCC_SUCCESS",
    "TWCC_BUMMER (Failure due to unknown causes)",
    "TWCC_LOWMEMORY",
    "TWCC_NODS (No Data Source)",
    "TWCC_MAXCONNECTIONS (DS is connected to max possible apps)",
    "TWCC_OPERATIONERROR (DS or DSM reported error, app shouldn't)",
    "TWCC_BADCAP (Unknown capability)",
    "7 (undefined)",
    "8 (undefined)",
    "TWCC_BADPROTOCOL (Unrecognized triplet)",
    "TWCC_BADVALUE (Data parameter out of range)",
    "TWCC_SEQERROR (Triplet out of sequence)",
    "TWCC_BADDEST (Unknown dest. App/Src in DSM_Entry)",
};
constexpr int32_t ErrorDetailCount = static_cast<int32_t>(std::size(ErrorDetails));

const char* const ErrorCaption = "TWAIN Error";

// Codes of later protocol versions have no name: show their number.
std::string CodeName(const char* const* Names, size_t Count, uint32_t Code) {
  if (Code < Count) return Names[Code];
  return std::to_string(Code) + " (undefined)";
}

void DefaultApplicationId() { TW_FillIdentity(AppId, 1, 0, 13, 1, "<?>", "<?>", "<?>", "<?>"); }

void PlainBox(const std::string& Text) { MessageBox(nullptr, Text, ErrorCaption, MB_ICONEXCLAMATION); }

// ---- calls into the manager ----
bool CallManager(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  LastResult = TWRC_FAILURE;
  if (ManagerEntry) LastResult = ManagerEntry(&AppId, nullptr, DG, DAT, MSG, Data);
  return LastResult == TWRC_SUCCESS;
}

bool CallSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  LastResult = TWRC_FAILURE;
  if (ManagerEntry) LastResult = ManagerEntry(&AppId, &SourceId, DG, DAT, MSG, Data);
  return LastResult == TWRC_SUCCESS;
}

// ---- error record ----
void ClearError() {
  ErrorCode = 0;
  ErrorResult = 0;
  ErrorCondition = 0;
  ErrorText.clear();
}

// The words the source (or the manager) has for the status just read.
std::string StatusText(const TW_STATUS& Status) {
  TW_STATUSUTF8 Text{Status, 0, nullptr};
  bool Ok = TwainState >= 4 ? CallSource(DG_CONTROL, DAT_STATUSUTF8, MSG_GET, &Text)
                            : CallManager(DG_CONTROL, DAT_STATUSUTF8, MSG_GET, &Text);
  std::string Result;
  if (Ok && Text.UTF8string) {
    const size_t Size = std::min<size_t>(Text.Size, TW_HandleSize(Text.UTF8string));
    Result.assign(static_cast<const char*>(Text.UTF8string), Size);
  }
  TW_FreeHandle(Text.UTF8string);
  return Result;
}

void RecordError(int32_t Code) {
  if (ErrorCode != 0) return;  // the first error of a session is the one reported
  ErrorCode = Code;
  if (Code >= 2 && Code <= 5) {
    ErrorResult = LastResult;
    TW_STATUS Status{};
    bool ok;
    if (TwainState >= 4)
      ok = CallSource(DG_CONTROL, DAT_STATUS, MSG_GET, &Status);
    else if (TwainState == 3)
      ok = CallManager(DG_CONTROL, DAT_STATUS, MSG_GET, &Status);
    else {
      ok = true;
      Status.ConditionCode = TWCC_SEQERROR;
    }
    ErrorCondition = ok ? Status.ConditionCode : TWCC_BUMMER;
    if (ok && TwainState >= 3) ErrorText = StatusText(Status);
  } else {
    ErrorResult = 0;
    ErrorCondition = 0;
  }
}

void ReportError(const std::string& Text) {
  // The report goes through a 256-character buffer: a longer one is cut.
  char Buffer[256];
  int32_t Code = ErrorCode >= 0 && ErrorCode < ErrorDetailCount ? ErrorCode : 0;
  if (ErrorCode >= 2 && ErrorCode <= 5) {
    std::string rc = CodeName(ResultNames, std::size(ResultNames), ErrorResult);
    std::string cc = CodeName(ConditionNames, std::size(ConditionNames), ErrorCondition);
    // The source's own words, when it has some, follow on a line of their own.
    std::string Own = ErrorText.empty() ? std::string() : "\n" + ErrorText;
    std::snprintf(Buffer, sizeof(Buffer), "%s\n%s\nRC:   %s\nCC:   %s%s", Text.c_str(), ErrorDetails[Code], rc.c_str(),
                  cc.c_str(), Own.c_str());
  } else {
    std::snprintf(Buffer, sizeof(Buffer), "%s\n%s", Text.c_str(), ErrorDetails[Code]);
  }
  MessageBox(nullptr, Buffer, ErrorCaption, MB_ICONEXCLAMATION);
}

// ---- loading ----
bool LoadManager() {
  if (TwainState >= 2) return true;
  std::string Path = TWAIN_ManagerFolder() + TWAIN_ManagerFileName;
  if (FileExists(Path)) ManagerModule = ::dlopen(Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (ManagerModule) {
    ManagerEntry = reinterpret_cast<DSMENTRYPROC>(::dlsym(ManagerModule, "DSM_Entry"));
    if (!ManagerEntry) {
      ::dlclose(ManagerModule);
      ManagerModule = nullptr;
    } else {
      ManagerPresence = 1;
      TwainState = 2;
    }
  }
  return TwainState >= 2;
}

void UnloadManager() {
  if (TwainState != 2) return;
  if (ManagerModule) ::dlclose(ManagerModule);
  ManagerModule = nullptr;
  ManagerEntry = nullptr;
  TwainState = 1;
}

// ---- session steps ----
bool OpenManager(HWND Window) {
  ParentWindow = Window;
  if (!LoadManager()) return false;
  if (TwainState == 2) {
    TW_PARENT Parent = TWAIN_ParentRecord(Window);
    if (CallManager(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &Parent)) TwainState = 3;
  }
  return TwainState >= 3;
}

bool OpenDefaultSource() {
  if (TwainState != 3) return false;
  SourceId.ProductName[0] = 0;
  SourceId.Id = 0;
  if (CallManager(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &SourceId))
    TwainState = 4;
  else
    RecordError(4);
  return TwainState == 4;
}

// Narrows an enumeration of pixel types to those in Mask, in place; the
// container holds Capacity bytes.
bool NarrowPixelTypes(TW_ENUMERATION* Enum, size_t Capacity, uint32_t Mask) {
  if (Enum->ItemType != TWTY_UINT16 && Enum->ItemType != TWTY_INT16) {
    RecordError(11);
    return false;
  }
  // Never read past the container, whatever NumItems claims.
  size_t Room = (Capacity - offsetof(TW_ENUMERATION, ItemList)) / 2;
  size_t Count = std::min<size_t>(Enum->NumItems, Room);
  if (Count == 0) {
    RecordError(12);
    return false;
  }
  Enum->CurrentIndex = static_cast<TW_UINT32>(-1);
  Enum->DefaultIndex = static_cast<TW_UINT32>(-1);
  size_t Kept = 0;
  for (size_t i = 0; i < Count; ++i) {
    uint16_t Type;
    std::memcpy(&Type, Enum->ItemList + 2 * i, 2);
    if (Type < 32 && (Mask & (1u << Type))) std::memcpy(Enum->ItemList + 2 * Kept++, &Type, 2);
  }
  Enum->NumItems = static_cast<TW_UINT32>(Kept);
  if (Kept == 0) {
    RecordError(13);
    return false;
  }
  return true;
}

bool NegotiatePixelTypes(uint32_t Mask) {
  if (TwainState != 4) {
    RecordError(7);
    return false;
  }
  if (Mask == 0) return true;
  TW_CAPABILITY Cap{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
  if (!CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &Cap)) {
    RecordError(2);
    return false;
  }
  if (!Cap.hContainer) {
    RecordError(8);
    return false;
  }
  bool Ok = false;
  size_t Capacity = TW_HandleSize(Cap.hContainer);
  if (Cap.ConType == TWON_ENUMERATION) {
    if (Capacity < offsetof(TW_ENUMERATION, ItemList)) {
      RecordError(9);
    } else if (NarrowPixelTypes(static_cast<TW_ENUMERATION*>(Cap.hContainer), Capacity, Mask)) {
      Ok = CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &Cap);
      if (!Ok) RecordError(3);
    }
  } else if (Cap.ConType == TWON_ONEVALUE) {
    if (Capacity < sizeof(TW_ONEVALUE)) {
      RecordError(9);
    } else {
      uint32_t Value = static_cast<TW_ONEVALUE*>(Cap.hContainer)->Item;
      Ok = Value < 32 && (Mask & (1u << Value));
      if (!Ok) RecordError(13);
    }
  } else {
    RecordError(10);
  }
  TW_FreeHandle(Cap.hContainer);
  return Ok;
}

bool EnableSource(HWND Window) {
  if (TwainState != 4) return false;
  UserInterface.ShowUI = HideInterface ? 0 : 1;
  UserInterface.ModalUI = 0;
  UserInterface.hParent = Window;
  CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &UserInterface);
  if (LastResult == TWRC_FAILURE) {
    RecordError(5);
    return false;
  }
  TwainState = 5;
  return true;
}

void DisableSource() {
  if (TwainState != 5) return;
  if (CallSource(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &UserInterface)) TwainState = 4;
}

void EndTransfer() {
  if (TwainState == 7) {
    if (CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &PendingXfers))
      TwainState = PendingXfers.Count != 0 ? 6 : 5;
  }
  if (TwainState == 6) {
    // One image per acquisition: whatever else the source has is dropped.
    if (CallSource(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &PendingXfers)) TwainState = 5;
  }
}

// The source's block becomes a global block of ours, cut to the DIB's own
// size; a block too small for what its header describes gives no image.
HGLOBAL TakeSourceDib(TW_HANDLE Block) {
  HGLOBAL Result = 0;
  size_t Available = TW_HandleSize(Block);
  size_t Size = Block ? TWAIN_DibSize(static_cast<const uint8_t*>(Block), Available) : 0;
  if (Size != 0) {
    Result = GlobalAlloc(GHND, Size);
    if (void* p = GlobalLock(Result)) {
      std::memcpy(p, Block, Size);
      GlobalUnlock(Result);
    }
  }
  TW_FreeHandle(Block);
  return Result;
}

void NativeTransfer() {
  TW_HANDLE Block = nullptr;
  CallSource(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &Block);
  if (LastResult == TWRC_XFERDONE) {
    TwainState = 7;
    AcquiredDib = TakeSourceDib(Block);
  } else {
    if (LastResult == TWRC_CANCEL) TwainState = 7;
    TW_FreeHandle(Block);
  }
  EndTransfer();
}

// Offers a message to the source; true when the source took it.
bool SourceTakesMessage(TMsg& Msg) {
  if (TwainState < 5) return false;
  TW_EVENT Event{&Msg, MSG_NULL};
  CallSource(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &Event);
  bool Taken = LastResult == TWRC_DSEVENT;
  switch (Event.TWMessage) {
    case MSG_XFERREADY:
      TwainState = 6;
      NativeTransfer();
      break;
    case MSG_CLOSEDSREQ: DisableSource(); break;
    default: break;
  }
  return Taken;
}

void ModalLoop() {
  TMsg Msg;
  while (TwainState >= 5 && AcquiredDib == 0) {
    // WM_QUIT (0) ends the loop and is consumed; an error (-1) ends it too.
    if (GetMessage(Msg, nullptr, 0, 0) <= 0) break;
    if (!SourceTakesMessage(Msg)) {
      TranslateMessage(Msg);
      DispatchMessage(Msg);
    }
  }
}

void CloseSource() {
  LastResult = TWRC_SUCCESS;
  if (TwainState == 5) DisableSource();
  if (TwainState == 4 && CallManager(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &SourceId)) TwainState = 3;
}

void CloseManager(HWND Window) {
  LastResult = TWRC_SUCCESS;
  CloseSource();
  if (TwainState == 3) {
    TW_PARENT Parent = TWAIN_ParentRecord(Window);
    if (CallManager(DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &Parent)) TwainState = 2;
  }
}

// Takes the session down step by step to state 1, whatever state it is in.
void ShutSession(HWND Window) {
  DisableSource();
  CloseSource();
  CloseManager(Window);
  UnloadManager();
}

HWND CreateProxyWindow() {
  return CreateWindowEx(0, "Acquire Proxy", WS_POPUP | WS_VISIBLE | WS_BORDER | WS_SYSMENU, 0, 0, 100, 100, nullptr,
                        &DefWindowProc);
}

}  // namespace

void InitializeTwain() {
  TwainState = 1;
  DefaultApplicationId();
  std::memset(&SourceId, 0, sizeof(SourceId));
  ManagerModule = nullptr;
  ManagerEntry = nullptr;
  ManagerPresence = 0;
  ParentWindow = nullptr;
  UserInterface = TW_USERINTERFACE{};
  HideInterface = false;
  PendingXfers = TW_PENDINGXFERS{};
  AcquiredDib = 0;
  LastResult = TWRC_SUCCESS;
  ClearError();
  ManagerFolder = ProgramFolder();
}

void FinalizeTwain() {
  if (ManagerModule) ::dlclose(ManagerModule);
  ManagerModule = nullptr;
  ManagerEntry = nullptr;
  TwainState = 1;
  ManagerPresence = 0;
}

std::string TWAIN_ManagerFolder() {
  if (ManagerFolder.empty()) ManagerFolder = ProgramFolder();
  return ManagerFolder;
}

void TWAIN_SetManagerFolder(const std::string& Folder) {
  ManagerFolder = Folder.empty() ? ProgramFolder() : IncludeTrailingPathDelimiter(Folder);
  if (TwainState < 2) ManagerPresence = 0;
}

void TWAIN_SetApplicationId(uint16_t MajorNum, uint16_t MinorNum, uint16_t Language, uint16_t Country,
                            const std::string& Info, const std::string& Manufacturer,
                            const std::string& ProductFamily, const std::string& ProductName) {
  TW_FillIdentity(AppId, MajorNum, MinorNum, Language, Country, Info, Manufacturer, ProductFamily, ProductName);
}

const TW_IDENTITY& TWAIN_ApplicationId() { return AppId; }

bool TWAIN_ManagerPresent() {
  if (TwainState >= 2) return true;
  if (ManagerPresence == 0) {
    if (LoadManager()) {
      UnloadManager();
    } else {
      ManagerPresence = -1;
    }
  }
  return ManagerPresence > 0;
}

bool TWAIN_SelectImageSource(HWND Window) {
  HWND Proxy = nullptr;
  if (!IsWindow(Window)) {
    if (Window != nullptr) {
      PlainBox("TWAIN_SelectImageSource: window handle is invalid");
      return false;
    }
    Proxy = CreateProxyWindow();
    if (!Proxy) {
      PlainBox("TWAIN_SelectImageSource: Unable to create proxy window");
      return false;
    }
    Window = Proxy;
  }
  bool Result = false;
  try {
    if (!LoadManager()) {
      PlainBox("Unable to load Source Manager (TWAIN_32.DLL)");
    } else if (!OpenManager(Window)) {
      PlainBox("Unable to open Source Manager (TWAIN_32.DLL)");
    } else {
      TW_IDENTITY NewSource{};
      Result = CallManager(DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &NewSource);
      CloseManager(Window);
    }
  } catch (...) {
    ShutSession(Window);
    if (Proxy) DestroyWindow(Proxy);
    throw;
  }
  ShutSession(Window);
  if (Proxy) DestroyWindow(Proxy);
  return Result;
}

bool TWAIN_DefaultSourceKept() {
  const std::string Name = TWAIN_SettingsFileName();
  return !Name.empty() && !TSettingsFile(Name).ReadString("Source", "").empty();
}

HGLOBAL TWAIN_AcquireDib(HWND Window, uint32_t PixelTypeMask) {
  AcquiredDib = 0;
  ClearError();
  HWND Proxy = nullptr;
  if (!IsWindow(Window)) {
    Proxy = CreateProxyWindow();
    Window = Proxy;
  }
  bool Disabled = false;
  try {
    if (!Window) {
      PlainBox("Unable to create proxy window");
    } else if (!LoadManager()) {
      PlainBox("Unable to load Source Manager (TWAIN_32.DLL)");
    } else if (!OpenManager(Window)) {
      PlainBox("Unable to open Source Manager (TWAIN_32.DLL)");
    } else if (!OpenDefaultSource()) {
      ReportError("Unable to open default Data Source.");
    } else if (!NegotiatePixelTypes(PixelTypeMask)) {
      ReportError("Failed to negotiate Pixel Type.");
    } else if (!EnableSource(Window)) {
      ReportError("Failed to enable Data Source.");
    } else {
      EnableWindow(Window, false);
      Disabled = true;
      ModalLoop();
      EnableWindow(Window, true);
      Disabled = false;
    }
  } catch (...) {
    // A handler that let an exception out of the loop: the session still
    // goes down and the image, if one came, is dropped.
    if (Disabled) EnableWindow(Window, true);
    ShutSession(Window);
    if (Proxy) DestroyWindow(Proxy);
    TWAIN_ReleaseDib(AcquiredDib);
    AcquiredDib = 0;
    throw;
  }
  ShutSession(Window);
  if (Proxy) DestroyWindow(Proxy);
  HGLOBAL Result = AcquiredDib;
  AcquiredDib = 0;
  return Result;
}

void TWAIN_ReleaseDib(HGLOBAL Dib) {
  if (Dib) GlobalFree(Dib);
}

int32_t TWAIN_AcquireToFile(HWND Window, const std::string& FileName) {
  HGLOBAL Dib = TWAIN_AcquireDib(Window, 0);
  if (!Dib) return -1;
  int32_t Result = TWAIN_SaveDibToBmpFile(Dib, FileName);
  TWAIN_ReleaseDib(Dib);
  return Result;
}

int32_t TWAIN_SessionState() { return TwainState; }
bool TWAIN_InterfaceHidden() { return HideInterface; }
void TWAIN_SetInterfaceHidden(bool Hide) { HideInterface = Hide; }
int32_t TWAIN_ClientVersion() { return 106; }

bool TWAIN_SetCapOneValue(uint16_t Cap, uint16_t ItemType, uint32_t Value) {
  if (TwainState != 4) {
    PlainBox("Attempt to set capability outside State 4.");
    return false;
  }
  TW_CAPABILITY Capability{Cap, TWON_ONEVALUE, TW_AllocHandle(sizeof(TW_ONEVALUE))};
  if (!Capability.hContainer) {
    PlainBox("Insufficient Memory");
    return false;
  }
  auto* One = static_cast<TW_ONEVALUE*>(Capability.hContainer);
  One->ItemType = ItemType;
  One->Item = Value;
  bool Ok = CallSource(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &Capability);
  TW_FreeHandle(Capability.hContainer);
  return Ok;
}

bool TWAIN_SetTransferCount(int16_t Count) {
  return TWAIN_SetCapOneValue(CAP_XFERCOUNT, TWTY_INT16, static_cast<uint16_t>(Count));
}
bool TWAIN_SetUnits(uint16_t Units) { return TWAIN_SetCapOneValue(ICAP_UNITS, TWTY_UINT16, Units); }
bool TWAIN_SetImageBitDepth(uint16_t Bits) { return TWAIN_SetCapOneValue(ICAP_BITDEPTH, TWTY_UINT16, Bits); }
bool TWAIN_SetImagePixelType(uint16_t PixelType) {
  return TWAIN_SetCapOneValue(ICAP_PIXELTYPE, TWTY_UINT16, PixelType);
}
bool TWAIN_SetImageResolution(long double Dpi) {
  // The item holds the record itself: Whole, then Frac.
  TW_FIX32 Fix = TWAIN_FloatToFix32(Dpi);
  uint32_t Stored;
  std::memcpy(&Stored, &Fix, sizeof(Stored));
  return TWAIN_SetCapOneValue(ICAP_XRESOLUTION, TWTY_FIX32, Stored);
}

int32_t TWAIN_CountBits(uint32_t Value) { return __builtin_popcount(Value); }

TW_FIX32 TWAIN_FloatToFix32(long double Value) {
  // Values beyond what 16.16 bits hold are clamped rather than overflowed.
  long double Scaled = Value * 65536.0L + 0.5L;
  Scaled = Scaled == Scaled ? std::clamp(Scaled, -2147483648.0L, 2147483647.0L) : 0.0L;
  int32_t Fixed = static_cast<int32_t>(Scaled);
  TW_FIX32 Result;
  Result.Whole = static_cast<TW_INT16>(Fixed >> 16);
  Result.Frac = static_cast<TW_UINT16>(Fixed & 0xFFFF);
  return Result;
}
