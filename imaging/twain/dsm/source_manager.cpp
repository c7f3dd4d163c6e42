// The TWAIN source manager of ours: a shared library exporting DSM_Entry,
// with one data source, "Scripted Source", that does what a small script
// says (which BMP file it delivers, how many images it has ready, whether
// a transfer is done, cancelled or fails, which operations fail with which
// condition code). The script is the file named by QUILLON_TWAIN_SCRIPT,
// else "twain_32.cfg" beside this library; it is read when the manager is
// opened. Lines are "key=value"; "#" starts a comment:
//   image=<bmp file>        the image each transfer delivers
//   count=<n>               images ready when the source says so (1)
//   transfer=done|cancel|fail
//   event=xferready|closereq|none  what the source says once enabled
//                           (none: it waits, as for a user who does nothing)
//   pixeltypes=enum <t>... | onevalue <t> | int32 <t>... | range | null | tiny
//   userselect=ok|cancel
//   fail=<operation> <condition code>  for opendsm, userselect, opends,
//                           enableds, capget, capset, status
//   log=<file>              each call is appended as a line
//   source=sane [<device>]  scan through SANE instead (first local device
//                           when none is named), where the manager has it
// The source talks to the application by posting a message of its own to
// the window it was enabled with; the message comes back through
// MSG_PROCESSEVENT and is turned into MSG_XFERREADY or MSG_CLOSEDSREQ.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/twain/dsm/sane_source.h"
#include "imaging/twain/twain_protocol.h"
#include "platform/ui/messages.h"

namespace {

constexpr TW_UINT32 SourceMessage = 0xC7A1;  // in the range of registered messages
constexpr WPARAM EventXferReady = 1;
constexpr WPARAM EventCloseRequest = 2;
constexpr TW_UINT32 SourceId = 1;
const char* const SourceName = "Scripted Source";

struct TScript {
  std::string Image;
  int32_t Count = 1;
  std::string Transfer = "done";
  std::string Event = "xferready";
  std::string PixelTypes = "enum 0 1 2";
  std::string UserSelect = "ok";
  std::map<std::string, TW_UINT16> Failures;
  std::string Log;
  bool Sane = false;
  std::string SaneDevice;
};

struct TManager {
  bool Open = false;
  TW_PARENT Parent{};
  TW_UINT16 Condition = TWCC_SUCCESS;
  TScript Script;
  // The source: 0 closed, else its TWAIN state (4 open, 5 enabled, 6 ready, 7 transferring).
  int32_t SourceState = 0;
  TW_UINT16 SourceCondition = TWCC_SUCCESS;
  TW_HANDLE Window = nullptr;
  intptr_t Cookie = 0;
  int32_t Pending = 0;
};

TManager Dsm;

std::string Trim(const std::string& S) {
  size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = S.find_last_not_of(" \t\r");
  return S.substr(b, e - b + 1);
}

std::string LibraryFolder() {
  Dl_info Info{};
  if (!::dladdr(reinterpret_cast<void*>(&LibraryFolder), &Info) || !Info.dli_fname) return std::string();
  std::string Path = Info.dli_fname;
  size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string("./") : Path.substr(0, Slash + 1);
}

TScript ReadScript() {
  TScript S;
  const char* Env = std::getenv("QUILLON_TWAIN_SCRIPT");
  std::string Path = Env && *Env ? std::string(Env) : LibraryFolder() + "twain_32.cfg";
  std::ifstream In(Path);
  std::string Line;
  while (std::getline(In, Line)) {
    size_t Hash = Line.find('#');
    if (Hash != std::string::npos) Line.erase(Hash);
    size_t Eq = Line.find('=');
    if (Eq == std::string::npos) continue;
    std::string Key = Trim(Line.substr(0, Eq));
    std::string Value = Trim(Line.substr(Eq + 1));
    if (Key == "image") S.Image = Value;
    else if (Key == "count") S.Count = std::atoi(Value.c_str());
    else if (Key == "transfer") S.Transfer = Value;
    else if (Key == "event") S.Event = Value;
    else if (Key == "pixeltypes") S.PixelTypes = Value;
    else if (Key == "userselect") S.UserSelect = Value;
    else if (Key == "log") S.Log = Value;
    else if (Key == "source") {
      std::istringstream Words(Value);
      std::string Kind;
      Words >> Kind >> S.SaneDevice;
      S.Sane = Kind == "sane" && SaneBuilt();
    }
    else if (Key == "fail") {
      std::istringstream Words(Value);
      std::string Op;
      int32_t Cc = TWCC_BUMMER;
      Words >> Op >> Cc;
      S.Failures[Op] = static_cast<TW_UINT16>(Cc);
    }
  }
  return S;
}

// The condition code of a scripted failure of Operation, or -1 when it succeeds.
int32_t ScriptedFailure(const std::string& Operation) {
  auto It = Dsm.Script.Failures.find(Operation);
  return It == Dsm.Script.Failures.end() ? -1 : It->second;
}

const char* DatName(TW_UINT16 DAT) {
  switch (DAT) {
    case DAT_CAPABILITY: return "DAT_CAPABILITY";
    case DAT_EVENT: return "DAT_EVENT";
    case DAT_IDENTITY: return "DAT_IDENTITY";
    case DAT_PARENT: return "DAT_PARENT";
    case DAT_PENDINGXFERS: return "DAT_PENDINGXFERS";
    case DAT_STATUS: return "DAT_STATUS";
    case DAT_USERINTERFACE: return "DAT_USERINTERFACE";
    case DAT_IMAGENATIVEXFER: return "DAT_IMAGENATIVEXFER";
    default: return "DAT_?";
  }
}

const char* MsgName(TW_UINT16 MSG) {
  switch (MSG) {
    case MSG_GET: return "MSG_GET";
    case MSG_GETDEFAULT: return "MSG_GETDEFAULT";
    case MSG_GETFIRST: return "MSG_GETFIRST";
    case MSG_GETNEXT: return "MSG_GETNEXT";
    case MSG_SET: return "MSG_SET";
    case MSG_RESET: return "MSG_RESET";
    case MSG_XFERREADY: return "MSG_XFERREADY";
    case MSG_CLOSEDSREQ: return "MSG_CLOSEDSREQ";
    case MSG_OPENDSM: return "MSG_OPENDSM";
    case MSG_CLOSEDSM: return "MSG_CLOSEDSM";
    case MSG_OPENDS: return "MSG_OPENDS";
    case MSG_CLOSEDS: return "MSG_CLOSEDS";
    case MSG_USERSELECT: return "MSG_USERSELECT";
    case MSG_DISABLEDS: return "MSG_DISABLEDS";
    case MSG_ENABLEDS: return "MSG_ENABLEDS";
    case MSG_PROCESSEVENT: return "MSG_PROCESSEVENT";
    case MSG_ENDXFER: return "MSG_ENDXFER";
    default: return "MSG_?";
  }
}

void Log(const std::string& Line) {
  if (Dsm.Script.Log.empty()) return;
  std::ofstream Out(Dsm.Script.Log, std::ios::app);
  Out << Line << '\n';
}

void FillSourceIdentity(TW_IDENTITY* Id) {
  std::memset(Id, 0, sizeof(*Id));
  Id->Id = SourceId;
  Id->Version.MajorNum = 1;
  Id->Version.Language = 13;
  Id->Version.Country = 1;
  std::strcpy(Id->Version.Info, "1.0");
  Id->ProtocolMajor = 1;
  Id->ProtocolMinor = 6;
  Id->SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(Id->Manufacturer, "Quillon");
  std::strcpy(Id->ProductFamily, "Test");
  std::strcpy(Id->ProductName, Dsm.Script.Sane ? "SANE Source" : SourceName);
}

bool PostEvent(WPARAM Event) {
  if (!Dsm.Parent.PostMessage) return false;
  return Dsm.Parent.PostMessage(Dsm.Window, SourceMessage, Event, Dsm.Cookie) != 0;
}

// The packed DIB of the script's BMP file, or null.
TW_HANDLE LoadImage() {
  std::ifstream In(Dsm.Script.Image, std::ios::binary);
  std::vector<char> Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  if (Bytes.size() <= 14 || Bytes[0] != 'B' || Bytes[1] != 'M') return nullptr;
  TW_HANDLE Block = TW_AllocHandle(Bytes.size() - 14);
  if (Block) std::memcpy(Block, Bytes.data() + 14, Bytes.size() - 14);
  return Block;
}

// ICAP_PIXELTYPE as the script describes it.
TW_UINT16 GetPixelTypes(TW_CAPABILITY* Cap) {
  std::istringstream Words(Dsm.Script.PixelTypes);
  std::string Kind;
  Words >> Kind;
  std::vector<uint16_t> Types;
  uint32_t T;
  while (Words >> T) Types.push_back(static_cast<uint16_t>(T));
  Cap->hContainer = nullptr;
  if (Kind == "null") {
    Cap->ConType = TWON_ONEVALUE;
  } else if (Kind == "onevalue") {
    Cap->ConType = TWON_ONEVALUE;
    auto* One = static_cast<TW_ONEVALUE*>(TW_AllocHandle(sizeof(TW_ONEVALUE)));
    One->ItemType = TWTY_UINT16;
    One->Item = Types.empty() ? 0 : Types[0];
    Cap->hContainer = One;
  } else if (Kind == "tiny") {  // too small for any container
    Cap->ConType = TWON_ENUMERATION;
    Cap->hContainer = TW_AllocHandle(4);
  } else if (Kind == "range") {
    Cap->ConType = TWON_RANGE;
    Cap->hContainer = TW_AllocHandle(32);
  } else {
    Cap->ConType = TWON_ENUMERATION;
    size_t Size = offsetof(TW_ENUMERATION, ItemList) + 2 * Types.size();
    auto* Enum = static_cast<TW_ENUMERATION*>(TW_AllocHandle(Size));
    Enum->ItemType = Kind == "int32" ? TWTY_INT32 : TWTY_UINT16;
    Enum->NumItems = static_cast<TW_UINT32>(Types.size());
    if (!Types.empty()) std::memcpy(Enum->ItemList, Types.data(), 2 * Types.size());
    Cap->hContainer = Enum;
  }
  return TWRC_SUCCESS;
}

std::string DescribeSet(const TW_CAPABILITY* Cap) {
  char Head[32];
  std::snprintf(Head, sizeof(Head), " %04X", Cap->Cap);
  std::string Text = Head;
  if (!Cap->hContainer) return Text + " null";
  if (Cap->ConType == TWON_ONEVALUE) {
    auto* One = static_cast<const TW_ONEVALUE*>(Cap->hContainer);
    return Text + " onevalue " + std::to_string(One->ItemType) + " " + std::to_string(One->Item);
  }
  if (Cap->ConType == TWON_ENUMERATION) {
    auto* Enum = static_cast<const TW_ENUMERATION*>(Cap->hContainer);
    size_t Item = TW_ItemSize(Enum->ItemType);
    size_t Size = TW_HandleSize(Cap->hContainer);
    if (Size < offsetof(TW_ENUMERATION, ItemList)) return Text + " short";
    size_t Room = (Size - offsetof(TW_ENUMERATION, ItemList)) / (Item ? Item : 1);
    Text += " enum";
    for (size_t i = 0; i < Enum->NumItems && i < Room && Item == 2; ++i) {
      uint16_t V;
      std::memcpy(&V, Enum->ItemList + 2 * i, 2);
      Text += " " + std::to_string(V);
    }
    Text += " current " + std::to_string(static_cast<int32_t>(Enum->CurrentIndex));
    return Text;
  }
  return Text + " other";
}

TW_UINT16 FailManager(TW_UINT16 Condition) {
  Dsm.Condition = Condition;
  return TWRC_FAILURE;
}
TW_UINT16 FailSource(TW_UINT16 Condition) {
  Dsm.SourceCondition = Condition;
  return TWRC_FAILURE;
}

// After the last image the source has nothing more to do and asks to close.
void TransfersDone() {
  Dsm.Pending = 0;
  Dsm.SourceState = 5;
  PostEvent(EventCloseRequest);
}

TW_UINT16 ToManager(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (DG != DG_CONTROL) return FailManager(TWCC_BADPROTOCOL);
  if (DAT == DAT_PARENT && MSG == MSG_OPENDSM) {
    if (Dsm.Open) return FailManager(TWCC_SEQERROR);
    Dsm.Script = ReadScript();
    if (int32_t Cc = ScriptedFailure("opendsm"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
    if (Data) Dsm.Parent = *static_cast<TW_PARENT*>(Data);
    Dsm.Open = true;
    Dsm.Condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (!Dsm.Open) return FailManager(TWCC_SEQERROR);
  if (DAT == DAT_STATUS && MSG == MSG_GET) {
    if (ScriptedFailure("status") >= 0 || !Data) return TWRC_FAILURE;
    auto* Status = static_cast<TW_STATUS*>(Data);
    Status->ConditionCode = Dsm.Condition;
    Status->Reserved = 0;
    Dsm.Condition = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) {
    if (Dsm.SourceState != 0) return FailManager(TWCC_SEQERROR);
    Dsm.Open = false;
    Dsm.Parent = TW_PARENT{};
    return TWRC_SUCCESS;
  }
  if (DAT != DAT_IDENTITY || !Data) return FailManager(TWCC_BADPROTOCOL);
  auto* Id = static_cast<TW_IDENTITY*>(Data);
  switch (MSG) {
    case MSG_USERSELECT:
      if (int32_t Cc = ScriptedFailure("userselect"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
      if (Dsm.Script.UserSelect == "cancel") return TWRC_CANCEL;
      FillSourceIdentity(Id);
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
    case MSG_GETFIRST: FillSourceIdentity(Id); return TWRC_SUCCESS;
    case MSG_GETNEXT: return TWRC_ENDOFLIST;
    case MSG_OPENDS:
      if (Dsm.SourceState != 0) return FailManager(TWCC_MAXCONNECTIONS);
      if (int32_t Cc = ScriptedFailure("opends"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
      FillSourceIdentity(Id);
      Dsm.SourceState = 4;
      Dsm.SourceCondition = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    case MSG_CLOSEDS:
      if (Dsm.SourceState != 4) return FailManager(TWCC_SEQERROR);
      Dsm.SourceState = 0;
      return TWRC_SUCCESS;
    default: return FailManager(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 ProcessEvent(TW_EVENT* Event) {
  Event->TWMessage = MSG_NULL;
  auto* Msg = static_cast<const TMsg*>(Event->pEvent);
  if (!Msg || Msg->message != SourceMessage || Msg->lParam != Dsm.Cookie || Dsm.SourceState < 5)
    return TWRC_NOTDSEVENT;
  if (Msg->wParam == EventXferReady && Dsm.SourceState == 5) {
    Dsm.Pending = Dsm.Script.Count > 0 ? Dsm.Script.Count : 1;
    Dsm.SourceState = 6;
    Event->TWMessage = MSG_XFERREADY;
  } else if (Msg->wParam == EventCloseRequest) {
    Event->TWMessage = MSG_CLOSEDSREQ;
  }
  return TWRC_DSEVENT;
}

TW_UINT16 ToSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (!Data) return FailSource(TWCC_BADVALUE);
  if (DG == DG_IMAGE && DAT == DAT_IMAGENATIVEXFER && MSG == MSG_GET) {
    if (Dsm.SourceState != 6) return FailSource(TWCC_SEQERROR);
    auto* Handle = static_cast<TW_HANDLE*>(Data);
    *Handle = nullptr;
    if (Dsm.Script.Transfer == "cancel") {
      Dsm.SourceState = 7;
      return TWRC_CANCEL;
    }
    if (Dsm.Script.Sane) {
      TSaneResult R = SaneScan(Dsm.Script.SaneDevice, *Handle);
      if (R == srFailed) return FailSource(TWCC_OPERATIONERROR);
      Dsm.SourceState = 7;
      return R == srDone ? TWRC_XFERDONE : TWRC_CANCEL;
    }
    if (Dsm.Script.Transfer == "fail") return FailSource(TWCC_OPERATIONERROR);
    *Handle = LoadImage();
    if (!*Handle) return FailSource(TWCC_OPERATIONERROR);
    Dsm.SourceState = 7;
    return TWRC_XFERDONE;
  }
  if (DG != DG_CONTROL) return FailSource(TWCC_BADPROTOCOL);
  switch (DAT) {
    case DAT_STATUS: {
      if (MSG != MSG_GET || ScriptedFailure("status") >= 0) return TWRC_FAILURE;
      auto* Status = static_cast<TW_STATUS*>(Data);
      Status->ConditionCode = Dsm.SourceCondition;
      Status->Reserved = 0;
      Dsm.SourceCondition = TWCC_SUCCESS;
      return TWRC_SUCCESS;
    }
    case DAT_CAPABILITY: {
      auto* Cap = static_cast<TW_CAPABILITY*>(Data);
      if (MSG == MSG_GET) {
        if (int32_t Cc = ScriptedFailure("capget"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
        if (Cap->Cap != ICAP_PIXELTYPE) return FailSource(TWCC_BADCAP);
        return GetPixelTypes(Cap);
      }
      if (MSG == MSG_SET) {
        if (Dsm.SourceState != 4) return FailSource(TWCC_SEQERROR);
        if (int32_t Cc = ScriptedFailure("capset"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
        return TWRC_SUCCESS;
      }
      return FailSource(TWCC_BADPROTOCOL);
    }
    case DAT_USERINTERFACE: {
      auto* Ui = static_cast<TW_USERINTERFACE*>(Data);
      if (MSG == MSG_ENABLEDS) {
        if (Dsm.SourceState != 4) return FailSource(TWCC_SEQERROR);
        if (int32_t Cc = ScriptedFailure("enableds"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
        Dsm.Window = Ui->hParent;
        ++Dsm.Cookie;
        Dsm.SourceState = 5;
        if (Dsm.Script.Event == "none") return TWRC_SUCCESS;
        if (!PostEvent(Dsm.Script.Event == "closereq" ? EventCloseRequest : EventXferReady)) {
          Dsm.SourceState = 4;
          return FailSource(TWCC_OPERATIONERROR);
        }
        return TWRC_SUCCESS;
      }
      if (MSG == MSG_DISABLEDS) {
        if (Dsm.SourceState != 5) return FailSource(TWCC_SEQERROR);
        Dsm.SourceState = 4;
        ++Dsm.Cookie;  // events still queued are no longer ours
        return TWRC_SUCCESS;
      }
      return FailSource(TWCC_BADPROTOCOL);
    }
    case DAT_EVENT:
      if (MSG != MSG_PROCESSEVENT) return FailSource(TWCC_BADPROTOCOL);
      return ProcessEvent(static_cast<TW_EVENT*>(Data));
    case DAT_PENDINGXFERS: {
      auto* Pending = static_cast<TW_PENDINGXFERS*>(Data);
      if (MSG == MSG_ENDXFER) {
        if (Dsm.SourceState != 6 && Dsm.SourceState != 7) return FailSource(TWCC_SEQERROR);
        if (--Dsm.Pending <= 0)
          TransfersDone();
        else
          Dsm.SourceState = 6;
        Pending->Count = static_cast<TW_UINT16>(Dsm.Pending);
        return TWRC_SUCCESS;
      }
      if (MSG == MSG_RESET) {
        if (Dsm.SourceState != 6) return FailSource(TWCC_SEQERROR);
        TransfersDone();
        Pending->Count = 0;
        return TWRC_SUCCESS;
      }
      if (MSG == MSG_GET) {
        Pending->Count = static_cast<TW_UINT16>(Dsm.Pending);
        return TWRC_SUCCESS;
      }
      return FailSource(TWCC_BADPROTOCOL);
    }
    default: return FailSource(TWCC_BADPROTOCOL);
  }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest,
                                                                      TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData) {
  if (!pOrigin) return TWRC_FAILURE;
  TW_UINT16 Result;
  std::string Extra;
  if (!pDest) {
    Result = ToManager(DG, DAT, MSG, pData);
  } else if (!Dsm.Open || Dsm.SourceState == 0 || pDest->Id != SourceId) {
    Dsm.Condition = TWCC_BADDEST;
    Result = TWRC_FAILURE;
  } else {
    Result = ToSource(DG, DAT, MSG, pData);
    if (DAT == DAT_CAPABILITY && MSG == MSG_SET && pData) Extra = DescribeSet(static_cast<TW_CAPABILITY*>(pData));
    if (DAT == DAT_USERINTERFACE && MSG == MSG_ENABLEDS && pData)
      Extra = " ShowUI=" + std::to_string(static_cast<TW_USERINTERFACE*>(pData)->ShowUI);
    if (DAT == DAT_EVENT && pData) {
      TW_UINT16 M = static_cast<TW_EVENT*>(pData)->TWMessage;
      if (Result != TWRC_DSEVENT) return Result;  // the application's own messages go unlogged
      Extra = std::string(" ") + (M == MSG_NULL ? "MSG_NULL" : MsgName(M));
    }
  }
  Log(std::string(DG == DG_IMAGE ? "DG_IMAGE/" : "DG_CONTROL/") + DatName(DAT) + "/" + MsgName(MSG) + Extra + " -> " +
      std::to_string(Result));
  return Result;
}
