// The TWAIN source manager of ours: a shared library exporting DSM_Entry.
// Its sources are the scanners that SANE sees, unless a script is named: then
// its one source is "Scripted Source", which does what the script says (which
// BMP file it delivers, how many images it has ready, whether a transfer is
// done, cancelled or fails, which operations fail with which condition code).
// The script is the file named by QUILLON_TWAIN_SCRIPT, else "twain_32.cfg"
// beside this library when that file has a setting; it is read when the
// manager is opened. Lines are "key=value"; "#" starts a comment:
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
// SANE runs in a scanning program of its own (sane_source.h). The scanner the
// person chose in Select Source is kept through the application's settings
// (TW_PARENT), with the settings last used with each device, and is the
// default from then on: Acquire opens it at once, without looking for the
// others; when it is gone, the first scanner found takes its place and the
// settings step says so. Select Source shows the scanner kept at once and the
// others as SANE finds them.
// A scanner enabled with ShowUI first shows its settings step (mode,
// resolution, area; the application draws it), then scans, showing its
// progress through the application's progress window, where the person may
// cancel. Then it says its image is ready; after the transfer, or a cancel,
// it asks to be closed. Failures are told in words through DAT_STATUSUTF8.
// The sources talk to the application by posting a message of their own to
// the window they were enabled with; the message comes back through
// MSG_PROCESSEVENT and is turned into MSG_XFERREADY or MSG_CLOSEDSREQ.
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "imaging/twain/dsm/sane_source.h"
#include "imaging/twain/twain_protocol.h"
#include "platform/ui/messages.h"

namespace {

constexpr TW_UINT32 SourceMessage = 0xC7A1;  // in the range of registered messages
constexpr WPARAM EventXferReady = 1;
constexpr WPARAM EventCloseRequest = 2;
const char* const ScriptedSourceName = "Scripted Source";

struct TScript {
  std::string Image;
  int32_t Count = 1;
  std::string Transfer = "done";
  std::string Event = "xferready";
  std::string PixelTypes = "enum 0 1 2";
  std::string UserSelect = "ok";
  std::map<std::string, TW_UINT16> Failures;
  std::string Log;
};

// One source of the manager; its Id is its place in the list plus one.
struct TSource {
  TW_IDENTITY Identity{};
  std::string Device;  // SANE's device name; empty for the scripted source
  std::string Title;   // as the person sees it
};

struct TManager {
  bool Open = false;
  TW_PARENT Parent{};
  TW_UINT16 Condition = TWCC_SUCCESS;
  std::string ConditionText;
  bool Scripted = false;
  TScript Script;
  std::vector<TSource> Sources;
  // Sources holds every scanner SANE found (else at most the one kept), and
  // why it found none, if it failed to.
  bool Probed = false;
  std::string ProbeFailure;
  size_t Next = 0;  // MSG_GETNEXT's place in the list
  // The open source: its place in the list (-1 none) and its TWAIN state
  // (4 open, 5 enabled, 6 ready, 7 transferring).
  int32_t Current = -1;
  int32_t SourceState = 0;
  TW_UINT16 SourceCondition = TWCC_SUCCESS;
  std::string SourceText;
  TW_HANDLE Window = nullptr;
  intptr_t Cookie = 0;
  int32_t Pending = 0;
  TW_HANDLE Scanned = nullptr;  // a scanner's image until it is transferred
  // The open scanner: what it offers, the pixel types the application
  // accepts (in its order; none: any) and a line for its settings step.
  TSaneOptions Options;
  std::vector<uint16_t> PixelTypes;
  std::string Note;
};

TManager Dsm;

// The scanner the person chose, kept in the application's settings (and
// here, for an application that keeps none).
struct TKeptSource {
  std::string Device, Vendor, Model;
};
TKeptSource Kept;

// The SANE session of the open manager. Never destroyed: it is stopped when
// the manager closes.
TSaneSession& Sane() {
  static auto* Session = new TSaneSession;
  return *Session;
}

std::string Trim(const std::string& S) {
  size_t b = S.find_first_not_of(" \t\r");
  if (b == std::string::npos) return std::string();
  size_t e = S.find_last_not_of(" \t\r");
  return S.substr(b, e - b + 1);
}

// The settings of a script file.
std::vector<std::pair<std::string, std::string>> ScriptSettings(const std::string& Path) {
  std::vector<std::pair<std::string, std::string>> Settings;
  std::ifstream In(Path);
  std::string Line;
  while (std::getline(In, Line)) {
    size_t Hash = Line.find('#');
    if (Hash != std::string::npos) Line.erase(Hash);
    size_t Eq = Line.find('=');
    if (Eq != std::string::npos) Settings.emplace_back(Trim(Line.substr(0, Eq)), Trim(Line.substr(Eq + 1)));
  }
  return Settings;
}

// The script, when one is named; false when the sources are SANE's.
bool ReadScript(TScript& S) {
  S = TScript{};
  const char* Env = std::getenv("QUILLON_TWAIN_SCRIPT");
  const bool Named = Env && *Env;
  auto Settings = ScriptSettings(Named ? std::string(Env) : ManagerLibraryFolder() + "twain_32.cfg");
  if (!Named && Settings.empty()) return false;
  for (const auto& [Key, Value] : Settings) {
    if (Key == "image") S.Image = Value;
    else if (Key == "count") S.Count = std::atoi(Value.c_str());
    else if (Key == "transfer") S.Transfer = Value;
    else if (Key == "event") S.Event = Value;
    else if (Key == "pixeltypes") S.PixelTypes = Value;
    else if (Key == "userselect") S.UserSelect = Value;
    else if (Key == "log") S.Log = Value;
    else if (Key == "fail") {
      std::istringstream Words(Value);
      std::string Op;
      int32_t Cc = TWCC_BUMMER;
      Words >> Op >> Cc;
      S.Failures[Op] = static_cast<TW_UINT16>(Cc);
    }
  }
  return true;
}

// The condition code of a scripted failure of Operation, or -1 when it succeeds.
int32_t ScriptedFailure(const std::string& Operation) {
  if (!Dsm.Scripted) return -1;
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
    case DAT_STATUSUTF8: return "DAT_STATUSUTF8";
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
  if (!Dsm.Scripted || Dsm.Script.Log.empty()) return;
  std::ofstream Out(Dsm.Script.Log, std::ios::app);
  Out << Line << '\n';
}

TSource MakeSource(const std::string& Manufacturer, const std::string& Family, const std::string& Name) {
  TSource S;
  TW_FillIdentity(S.Identity, 1, 0, 13, 1, "1.0", Manufacturer, Family, Name);
  return S;
}

// ---- the person's settings, kept by the application ----

std::string Setting(const std::string& Key) {
  char Value[1024];
  const TW_UINT32 Size = Dsm.Parent.ReadSetting ? Dsm.Parent.ReadSetting(Key.c_str(), Value, sizeof(Value)) : 0;
  return Size > 0 && Size < sizeof(Value) ? std::string(Value, Size) : std::string();
}

void KeepSetting(const std::string& Key, const std::string& Value) {
  if (Dsm.Parent.WriteSetting) Dsm.Parent.WriteSetting(Key.c_str(), Value.c_str());
}

// The key of a setting of one device: its name with every character that a
// settings file or another device could confuse written as %XX.
std::string DeviceKey(const std::string& Device, const char* What) {
  std::string Key;
  for (unsigned char C : Device) {
    if (std::isalnum(C) || std::strchr(":._-/@", C)) {
      Key += static_cast<char>(C);
    } else {
      char Hex[4];
      std::snprintf(Hex, sizeof(Hex), "%%%02X", C);
      Key += Hex;
    }
  }
  return Key + "." + What;
}

// ---- the sources ----

TSource SaneSource(const TSaneDevice& D) {
  TSource S = MakeSource(D.Vendor, D.Model, D.Name);
  S.Device = D.Name;
  S.Title = Trim(D.Vendor + " " + D.Model) + " (" + D.Name + ")";
  return S;
}

void NumberSources() {
  for (size_t i = 0; i < Dsm.Sources.size(); ++i) Dsm.Sources[i].Identity.Id = static_cast<TW_UINT32>(i + 1);
}

// The sources as the manager opens: the scripted one, or the scanner kept
// (not looked for yet: SANE is asked only when a list is needed).
void ListSources() {
  Dsm.Sources.clear();
  Dsm.Probed = Dsm.Scripted;
  Dsm.ProbeFailure.clear();
  if (Dsm.Scripted) {
    TSource S = MakeSource("Quillon", "Test", ScriptedSourceName);
    S.Title = ScriptedSourceName;
    Dsm.Sources.push_back(S);
  } else {
    if (Dsm.Parent.ReadSetting) Kept = {Setting("Source"), Setting("Source.Vendor"), Setting("Source.Model")};
    if (!Kept.Device.empty()) Dsm.Sources.push_back(SaneSource({Kept.Device, Kept.Vendor, Kept.Model}));
  }
  NumberSources();
}

// The scanners SANE found become the sources.
void TakeDevices(const std::vector<TSaneDevice>& Devices, const TSaneFailure& Failure) {
  Dsm.Sources.clear();
  for (const TSaneDevice& D : Devices) Dsm.Sources.push_back(SaneSource(D));
  NumberSources();
  Dsm.Probed = true;
  Dsm.ProbeFailure = Failure.Text;
}

// Asks SANE for every scanner, and waits for the answer.
void Probe() {
  std::vector<TSaneDevice> Devices;
  TSaneFailure Failure;
  Sane().List(Devices, Failure);
  TakeDevices(Devices, Failure);
}

int32_t KeptSource() {
  for (size_t i = 0; i < Dsm.Sources.size(); ++i)
    if (!Kept.Device.empty() && Dsm.Sources[i].Device == Kept.Device) return static_cast<int32_t>(i);
  return -1;
}

// The default source: the scanner kept while it is there, else the first.
int32_t DefaultSource() {
  const int32_t Which = KeptSource();
  return Which >= 0 || Dsm.Sources.empty() ? Which : 0;
}

// What the manager says when the scanner kept is not among those found.
std::string KeptMissing() {
  if (Dsm.Scripted || !Dsm.Probed || Kept.Device.empty() || KeptSource() >= 0) return std::string();
  return "The scanner chosen before, " + SaneSource({Kept.Device, Kept.Vendor, Kept.Model}).Title +
         ", was not found.";
}

// The source an application names by its Id, else (Id 0) the default.
int32_t NamedSource(const TW_IDENTITY& Id) {
  if (Id.Id == 0) return DefaultSource();
  return Id.Id <= Dsm.Sources.size() ? static_cast<int32_t>(Id.Id - 1) : -1;
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

TW_ENUMERATION* MakeEnumeration(TW_UINT16 ItemType, const std::vector<uint16_t>& Types) {
  size_t Size = offsetof(TW_ENUMERATION, ItemList) + 2 * Types.size();
  auto* Enum = static_cast<TW_ENUMERATION*>(TW_AllocHandle(Size));
  if (!Enum) return nullptr;
  Enum->ItemType = ItemType;
  Enum->NumItems = static_cast<TW_UINT32>(Types.size());
  if (!Types.empty()) std::memcpy(Enum->ItemList, Types.data(), 2 * Types.size());
  return Enum;
}

// ICAP_PIXELTYPE as the script describes it.
TW_UINT16 GetScriptedPixelTypes(TW_CAPABILITY* Cap) {
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
    Cap->hContainer = MakeEnumeration(Kind == "int32" ? TWTY_INT32 : TWTY_UINT16, Types);
  }
  return TWRC_SUCCESS;
}

// The pixel types of a container the application sent, in its order.
std::vector<uint16_t> ContainerTypes(const TW_CAPABILITY* Cap) {
  std::vector<uint16_t> Types;
  const size_t Size = TW_HandleSize(Cap->hContainer);
  if (Cap->ConType == TWON_ONEVALUE && Size >= sizeof(TW_ONEVALUE)) {
    Types.push_back(static_cast<uint16_t>(static_cast<const TW_ONEVALUE*>(Cap->hContainer)->Item));
  } else if (Cap->ConType == TWON_ENUMERATION && Size >= offsetof(TW_ENUMERATION, ItemList)) {
    auto* Enum = static_cast<const TW_ENUMERATION*>(Cap->hContainer);
    if (Enum->ItemType != TWTY_UINT16 && Enum->ItemType != TWTY_INT16) return Types;
    size_t Room = (Size - offsetof(TW_ENUMERATION, ItemList)) / 2;
    for (size_t i = 0; i < Enum->NumItems && i < Room; ++i) {
      uint16_t V;
      std::memcpy(&V, Enum->ItemList + 2 * i, 2);
      Types.push_back(V);
    }
  }
  return Types;
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

TW_UINT16 FailManager(TW_UINT16 Condition, const std::string& Text = std::string()) {
  Dsm.Condition = Condition;
  Dsm.ConditionText = Text;
  return TWRC_FAILURE;
}
TW_UINT16 FailSource(TW_UINT16 Condition, const std::string& Text = std::string()) {
  Dsm.SourceCondition = Condition;
  Dsm.SourceText = Text;
  return TWRC_FAILURE;
}

// DAT_STATUSUTF8: the words kept with the last failure, handed over once.
TW_UINT16 StatusText(TW_STATUSUTF8* Status, std::string& Text) {
  Status->Size = static_cast<TW_UINT32>(Text.size());
  Status->UTF8string = nullptr;
  if (!Text.empty()) {
    Status->UTF8string = TW_AllocHandle(Text.size());
    if (!Status->UTF8string) return TWRC_FAILURE;
    std::memcpy(Status->UTF8string, Text.data(), Text.size());
  }
  Text.clear();
  return TWRC_SUCCESS;
}

void DropScan() {
  TW_FreeHandle(Dsm.Scanned);
  Dsm.Scanned = nullptr;
}

// After the last image the source has nothing more to do and asks to close.
void TransfersDone() {
  Dsm.Pending = 0;
  Dsm.SourceState = 5;
  PostEvent(EventCloseRequest);
}

// ---- a scanner's settings step and scan ----

// A choice of area: a key kept in the settings, what the person reads, and
// the area in micrometres.
struct TArea {
  std::string Key, Caption;
  int32_t Left, Top, Right, Bottom;
};

// The areas the open scanner offers: its whole bed, the common paper sizes
// that fit on it (placed at its top-left corner) and, when it is none of
// these, the area it sets itself.
std::vector<TArea> Areas() {
  const TSaneOptions& O = Dsm.Options;
  std::vector<TArea> List;
  if (!O.HasArea) return List;
  auto Size = [](int32_t Width, int32_t Height) {
    char Text[64];
    std::snprintf(Text, sizeof(Text), "%g x %g mm", std::round(Width / 100.0) / 10, std::round(Height / 100.0) / 10);
    return std::string(Text);
  };
  const int32_t Width = O.BedRight - O.BedLeft, Height = O.BedBottom - O.BedTop;
  List.push_back({"bed", "Whole bed (" + Size(Width, Height) + ")", O.BedLeft, O.BedTop, O.BedRight, O.BedBottom});
  static const struct {
    const char* Name;
    int32_t Width, Height;
  } Papers[] = {{"A4", 210000, 297000},     {"A5", 148000, 210000},     {"A6", 105000, 148000},
                {"B5", 176000, 250000},     {"Letter", 215900, 279400}, {"Legal", 215900, 355600},
                {"10 x 15 cm", 101600, 152400}, {"13 x 18 cm", 127000, 177800}};
  for (const auto& P : Papers)
    if (P.Width <= Width && P.Height <= Height)
      List.push_back({P.Name, std::string(P.Name) + " (" + Size(P.Width, P.Height) + ")", O.BedLeft, O.BedTop,
                      O.BedLeft + P.Width, O.BedTop + P.Height});
  bool Listed = false;
  for (const TArea& A : List) Listed |= A.Left == O.Left && A.Top == O.Top && A.Right == O.Right && A.Bottom == O.Bottom;
  if (!Listed)
    List.push_back({"scanner", "As the scanner sets it (" + Size(O.Right - O.Left, O.Bottom - O.Top) + ")", O.Left,
                    O.Top, O.Right, O.Bottom});
  return List;
}

// The pixel type of the open scanner's current mode.
int32_t CurrentType() {
  return Dsm.Options.Modes.empty() ? Dsm.Options.ScanType : SaneModeType(Dsm.Options.Mode);
}

// The modes the application accepts, in the scanner's order.
std::vector<std::string> Modes() {
  std::vector<std::string> List;
  for (const std::string& M : Dsm.Options.Modes) {
    const int32_t Type = SaneModeType(M);
    if (Dsm.PixelTypes.empty() || std::find(Dsm.PixelTypes.begin(), Dsm.PixelTypes.end(), Type) != Dsm.PixelTypes.end())
      List.push_back(M);
  }
  return List;
}

bool ResolutionOffered(int32_t Dpi) {
  const TSaneOptions& O = Dsm.Options;
  if (!O.Resolutions.empty()) return std::find(O.Resolutions.begin(), O.Resolutions.end(), Dpi) != O.Resolutions.end();
  return O.MaxResolution > 0 && Dpi >= O.MinResolution && Dpi <= O.MaxResolution;
}

// What a scan of the open scanner starts from: the settings last used with
// it, else its own; a mode the application does not accept gives way to the
// first of its accepted types that the scanner offers.
struct TChoice {
  std::string Mode;
  int32_t Resolution = 0;
  std::string Area;
};

TChoice FirstChoice(const std::vector<std::string>& ModeList, const std::vector<TArea>& AreaList) {
  const std::string& Device = Dsm.Sources[Dsm.Current].Device;
  TChoice C;
  C.Mode = Setting(DeviceKey(Device, "mode"));
  if (std::find(ModeList.begin(), ModeList.end(), C.Mode) == ModeList.end()) C.Mode = Dsm.Options.Mode;
  if (std::find(ModeList.begin(), ModeList.end(), C.Mode) == ModeList.end()) {
    C.Mode.clear();
    for (uint16_t T : Dsm.PixelTypes)
      for (const std::string& M : ModeList)
        if (C.Mode.empty() && SaneModeType(M) == T) C.Mode = M;
  }
  C.Resolution = std::atoi(Setting(DeviceKey(Device, "resolution")).c_str());
  if (!ResolutionOffered(C.Resolution)) C.Resolution = Dsm.Options.Resolution;
  C.Area = Setting(DeviceKey(Device, "area"));
  bool Known = false;
  for (const TArea& A : AreaList) Known |= A.Key == C.Area;
  if (Known) return C;
  C.Area.clear();  // the area the scanner sets itself, which the list holds
  const TSaneOptions& O = Dsm.Options;
  for (const TArea& A : AreaList)
    if (C.Area.empty() && A.Left == O.Left && A.Top == O.Top && A.Right == O.Right && A.Bottom == O.Bottom)
      C.Area = A.Key;
  return C;
}

TSaneSettings SettingsOf(const TChoice& C, const std::vector<TArea>& AreaList) {
  TSaneSettings S;
  // The scanner's own mode stays as it is (with its own depth).
  if (C.Mode != Dsm.Options.Mode) S.Mode = C.Mode;
  S.Resolution = ResolutionOffered(C.Resolution) ? C.Resolution : 0;
  for (const TArea& A : AreaList)
    if (A.Key == C.Area && A.Key != "scanner") {
      S.SetArea = true;
      S.Left = A.Left;
      S.Top = A.Top;
      S.Right = A.Right;
      S.Bottom = A.Bottom;
    }
  return S;
}

void KeepChoice(const TChoice& C) {
  const std::string& Device = Dsm.Sources[Dsm.Current].Device;
  if (!C.Mode.empty()) KeepSetting(DeviceKey(Device, "mode"), C.Mode);
  if (C.Resolution > 0) KeepSetting(DeviceKey(Device, "resolution"), std::to_string(C.Resolution));
  if (!C.Area.empty()) KeepSetting(DeviceKey(Device, "area"), C.Area);
}

// Shows the settings step until the scanner takes what the person chose (a
// value it refuses is shown there in SANE's words) or they cancel. False
// when they cancel or the scanner's program failed (Failure says why then).
bool SettingsStep(TChoice& C, const std::vector<std::string>& ModeList, const std::vector<TArea>& AreaList,
                  TSaneFailure& Failure) {
  const TSaneOptions& O = Dsm.Options;
  std::vector<const char*> ModeNames, AreaNames;
  for (const std::string& M : ModeList) ModeNames.push_back(M.c_str());
  for (const TArea& A : AreaList) AreaNames.push_back(A.Caption.c_str());
  std::string Note = Dsm.Note;
  for (;;) {
    TW_SCANSETTINGS S{};
    S.Title = Dsm.Sources[Dsm.Current].Title.c_str();
    S.Note = Note.c_str();
    S.Modes = ModeNames.data();
    S.ModeCount = static_cast<TW_UINT32>(ModeNames.size());
    S.Mode = static_cast<TW_INT32>(std::find(ModeList.begin(), ModeList.end(), C.Mode) - ModeList.begin());
    S.Resolutions = O.Resolutions.data();
    S.ResolutionCount = static_cast<TW_UINT32>(O.Resolutions.size());
    S.MinResolution = O.MinResolution;
    S.MaxResolution = O.MaxResolution;
    S.Resolution = C.Resolution;
    S.Areas = AreaNames.data();
    S.AreaCount = static_cast<TW_UINT32>(AreaNames.size());
    S.Area = -1;
    for (size_t i = 0; i < AreaList.size(); ++i)
      if (AreaList[i].Key == C.Area) S.Area = static_cast<TW_INT32>(i);
    if (!Dsm.Parent.ScanSettings(Dsm.Parent.hWnd, &S)) return false;
    if (S.Mode >= 0 && static_cast<size_t>(S.Mode) < ModeList.size()) C.Mode = ModeList[S.Mode];
    C.Resolution = S.Resolution;
    if (S.Area >= 0 && static_cast<size_t>(S.Area) < AreaList.size()) C.Area = AreaList[S.Area].Key;
    if (Sane().Apply(SettingsOf(C, AreaList), Failure)) return true;
    if (!Sane().Running()) return false;
    Note = Failure.Text;  // the scanner refused a value: the person chooses again
    Failure = TSaneFailure{};
  }
}

// The scan itself, with the application's progress window while it runs.
TSaneResult Scan(TSaneFailure& Failure) {
  const TW_PARENT& P = Dsm.Parent;
  const std::string Text = "Scanning from " + Dsm.Sources[Dsm.Current].Title;
  TW_MEMREF Progress = P.BeginProgress ? P.BeginProgress(P.hWnd, Text.c_str()) : nullptr;
  auto Step = [&](uint32_t Done, uint32_t Lines) {
    return Progress && P.StepProgress && P.StepProgress(Progress, Done, Lines) != 0;
  };
  TSaneResult Result;
  try {
    Result = Sane().Scan(Step, Dsm.Scanned, Failure);
  } catch (...) {
    if (Progress && P.EndProgress) P.EndProgress(Progress);
    throw;
  }
  if (Progress && P.EndProgress) P.EndProgress(Progress);
  return Result;
}

// A scanner enabled: its settings step (with ShowUI), then its scan.
TSaneResult SettingsAndScan(bool ShowUI, TSaneFailure& Failure) {
  const std::vector<std::string> ModeList = Modes();
  const std::vector<TArea> AreaList = Areas();
  TChoice C = FirstChoice(ModeList, AreaList);
  if (ShowUI && Dsm.Parent.ScanSettings) {
    if (!SettingsStep(C, ModeList, AreaList, Failure)) return Sane().Running() ? srCancelled : srFailed;
    KeepChoice(C);
  } else if (!Sane().Apply(SettingsOf(C, AreaList), Failure)) {
    return srFailed;
  }
  return Scan(Failure);
}

TW_UINT16 EnableSource(TW_USERINTERFACE* Ui) {
  if (Dsm.SourceState != 4) return FailSource(TWCC_SEQERROR);
  if (int32_t Cc = ScriptedFailure("enableds"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
  Dsm.Window = Ui->hParent;
  ++Dsm.Cookie;
  Dsm.SourceState = 5;
  WPARAM Event = EventXferReady;
  if (Dsm.Scripted) {
    if (Dsm.Script.Event == "none") return TWRC_SUCCESS;
    if (Dsm.Script.Event == "closereq") Event = EventCloseRequest;
  } else {
    TSaneFailure Failure;
    TSaneResult R = SettingsAndScan(Ui->ShowUI != 0, Failure);
    if (R == srFailed) {
      Dsm.SourceState = 4;
      return FailSource(Failure.Condition, Failure.Text);
    }
    if (R == srCancelled) Event = EventCloseRequest;
  }
  if (!PostEvent(Event)) {
    Dsm.SourceState = 4;
    DropScan();
    return FailSource(TWCC_OPERATIONERROR);
  }
  return TWRC_SUCCESS;
}

// ---- Select Source ----

// The list Select Source shows: the sources known when it opens, filled in
// by a probe of SANE's on a thread of its own while the dialog is up. The
// thread only talks to the scanning program; the sources change on the main
// thread, when the dialog polls.
struct TSelectProbe {
  std::mutex Lock;
  bool Done = false;
  std::vector<TSaneDevice> Devices;
  TSaneFailure Failure;
  TW_MEMREF Window = nullptr;  // told once the probe is done
  TW_UINT32 Message = 0;
  int Cancel = -1;
  std::thread Thread;
  std::vector<const char*> Names;
  std::string Note;

  void Finish() {
    std::lock_guard<std::mutex> Guard(Lock);
    Done = true;
    if (Window && Dsm.Parent.PostMessage) Dsm.Parent.PostMessage(Window, Message, 0, 0);
  }
  static TW_BOOL Poll(TW_MEMREF Context, const char* const** Names, TW_UINT32* Count, TW_INT32* Default,
                      const char** Note) {
    auto* P = static_cast<TSelectProbe*>(Context);
    bool Looking;
    {
      std::lock_guard<std::mutex> Guard(P->Lock);
      Looking = !P->Done;
      if (P->Done && !Dsm.Probed) {
        TakeDevices(P->Devices, P->Failure);
        P->Note = KeptMissing();
        if (P->Note.empty() && !Dsm.ProbeFailure.empty()) P->Note = "No scanner was found: " + Dsm.ProbeFailure;
      }
    }
    P->Names.clear();
    for (const TSource& S : Dsm.Sources) P->Names.push_back(S.Title.c_str());
    *Names = P->Names.data();
    *Count = static_cast<TW_UINT32>(P->Names.size());
    *Default = DefaultSource();
    *Note = P->Note.c_str();
    return Looking ? 1 : 0;
  }
  static void Watch(TW_MEMREF Context, TW_MEMREF Window, TW_UINT32 Message) {
    auto* P = static_cast<TSelectProbe*>(Context);
    std::lock_guard<std::mutex> Guard(P->Lock);
    P->Window = Window;
    P->Message = Message;
    if (P->Done && Dsm.Parent.PostMessage) Dsm.Parent.PostMessage(Window, Message, 0, 0);
  }
};

// The person chooses a scanner while SANE is asked for them; the index
// chosen in Dsm.Sources, or -1 when they cancelled. Cancel stops the
// waiting at once (the scanning program is stopped).
int32_t UserSelect() {
  TSelectProbe Probe;
  if (Dsm.Probed) {
    Probe.Done = true;
    Probe.Note = KeptMissing();
  } else if (Sane().Start(Probe.Failure)) {
    Probe.Cancel = ::eventfd(0, EFD_CLOEXEC);
    Probe.Thread = std::thread([&Probe] {
      Sane().List(Probe.Devices, Probe.Failure, Probe.Cancel);
      Probe.Finish();
    });
  } else {
    Probe.Done = true;
  }
  const TW_SOURCELIST List{&Probe, &TSelectProbe::Poll, &TSelectProbe::Watch};
  int32_t Chosen = -1;
  try {
    Chosen = Dsm.Parent.SelectSource(Dsm.Parent.hWnd, &List);
  } catch (...) {
    Chosen = -1;
  }
  if (Probe.Thread.joinable()) {
    const uint64_t One = 1;
    if (::write(Probe.Cancel, &One, sizeof(One)) < 0) {
      // The probe then ends by its own time limit.
    }
    Probe.Thread.join();
  }
  if (Probe.Cancel >= 0) ::close(Probe.Cancel);
  return Chosen >= 0 && Chosen < static_cast<int32_t>(Dsm.Sources.size()) ? Chosen : -1;
}

// MSG_OPENDS: the source named, or (Id 0) the default. The scanner kept is
// opened without asking SANE for the others; when it cannot be opened and
// SANE does not list it, the first scanner found takes its place, and its
// settings step says so.
TW_UINT16 OpenSource(TW_IDENTITY* Id) {
  if (Dsm.SourceState != 0) return FailManager(TWCC_MAXCONNECTIONS);
  if (int32_t Cc = ScriptedFailure("opends"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
  if (!Dsm.Probed && Dsm.Sources.empty()) Probe();
  int32_t Which = NamedSource(*Id);
  Dsm.Options = TSaneOptions{};
  Dsm.PixelTypes.clear();
  Dsm.Note.clear();
  TSaneFailure Failure;
  if (!Dsm.Scripted && Which >= 0 && !Sane().Open(Dsm.Sources[Which].Device, Dsm.Options, Failure)) {
    if (Dsm.Probed || Id->Id != 0) return FailManager(Failure.Condition, Failure.Text);
    Probe();
    Dsm.Note = KeptMissing();
    if (Dsm.Note.empty()) return FailManager(Failure.Condition, Failure.Text);  // there, but it would not open
    Which = DefaultSource();
    if (Which >= 0 && !Sane().Open(Dsm.Sources[Which].Device, Dsm.Options, Failure))
      return FailManager(Failure.Condition, Failure.Text);
  }
  if (Which < 0 && !Dsm.Sources.empty()) return FailManager(TWCC_NODS);
  if (Which < 0)
    return FailManager(TWCC_NODS, Dsm.ProbeFailure.empty() ? std::string("No scanner was found.")
                                                           : "No scanner was found: " + Dsm.ProbeFailure);
  *Id = Dsm.Sources[Which].Identity;
  Dsm.Current = Which;
  Dsm.SourceState = 4;
  Dsm.SourceCondition = TWCC_SUCCESS;
  return TWRC_SUCCESS;
}

TW_UINT16 ToManager(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (DG != DG_CONTROL) return FailManager(TWCC_BADPROTOCOL);
  if (DAT == DAT_PARENT && MSG == MSG_OPENDSM) {
    if (Dsm.Open) return FailManager(TWCC_SEQERROR);
    Dsm.Scripted = ReadScript(Dsm.Script);
    if (int32_t Cc = ScriptedFailure("opendsm"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
    Dsm.Condition = TWCC_SUCCESS;
    Dsm.Parent = Data ? *static_cast<TW_PARENT*>(Data) : TW_PARENT{};
    ListSources();
    Dsm.Open = true;
    Dsm.Next = 0;
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
  if (DAT == DAT_STATUSUTF8 && MSG == MSG_GET && Data)
    return StatusText(static_cast<TW_STATUSUTF8*>(Data), Dsm.ConditionText);
  if (DAT == DAT_PARENT && MSG == MSG_CLOSEDSM) {
    if (Dsm.SourceState != 0) return FailManager(TWCC_SEQERROR);
    Sane().Stop();
    Dsm.Open = false;
    Dsm.Parent = TW_PARENT{};
    Dsm.Sources.clear();
    return TWRC_SUCCESS;
  }
  if (DAT != DAT_IDENTITY || !Data) return FailManager(TWCC_BADPROTOCOL);
  auto* Id = static_cast<TW_IDENTITY*>(Data);
  switch (MSG) {
    case MSG_USERSELECT: {
      if (int32_t Cc = ScriptedFailure("userselect"); Cc >= 0) return FailManager(static_cast<TW_UINT16>(Cc));
      int32_t Chosen;
      if (Dsm.Scripted) {
        if (Dsm.Script.UserSelect == "cancel") return TWRC_CANCEL;
        Chosen = DefaultSource();
      } else if (Dsm.Parent.SelectSource) {
        Chosen = UserSelect();
        if (Chosen < 0) return TWRC_CANCEL;
        const TSource& S = Dsm.Sources[Chosen];
        Kept = {S.Device, S.Identity.Manufacturer, S.Identity.ProductFamily};
        KeepSetting("Source", Kept.Device);
        KeepSetting("Source.Vendor", Kept.Vendor);
        KeepSetting("Source.Model", Kept.Model);
      } else {
        if (!Dsm.Probed) Probe();
        Chosen = DefaultSource();
      }
      if (Chosen < 0) return FailManager(TWCC_NODS);
      *Id = Dsm.Sources[Chosen].Identity;
      return TWRC_SUCCESS;
    }
    case MSG_GETDEFAULT:
    case MSG_GETFIRST: {
      if (!Dsm.Probed && (MSG == MSG_GETFIRST || Dsm.Sources.empty())) Probe();
      int32_t Which = MSG == MSG_GETFIRST ? (Dsm.Sources.empty() ? -1 : 0) : DefaultSource();
      if (Which < 0) return FailManager(TWCC_NODS);
      Dsm.Next = static_cast<size_t>(Which) + 1;
      *Id = Dsm.Sources[Which].Identity;
      return TWRC_SUCCESS;
    }
    case MSG_GETNEXT:
      if (Dsm.Next >= Dsm.Sources.size()) return TWRC_ENDOFLIST;
      *Id = Dsm.Sources[Dsm.Next++].Identity;
      return TWRC_SUCCESS;
    case MSG_OPENDS: return OpenSource(Id);
    case MSG_CLOSEDS:
      if (Dsm.SourceState != 4) return FailManager(TWCC_SEQERROR);
      if (!Dsm.Scripted) Sane().Stop();
      DropScan();
      Dsm.SourceState = 0;
      Dsm.Current = -1;
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
    Dsm.Pending = Dsm.Scripted && Dsm.Script.Count > 0 ? Dsm.Script.Count : 1;
    Dsm.SourceState = 6;
    Event->TWMessage = MSG_XFERREADY;
  } else if (Msg->wParam == EventCloseRequest) {
    Event->TWMessage = MSG_CLOSEDSREQ;
  }
  return TWRC_DSEVENT;
}

TW_UINT16 NativeTransfer(TW_HANDLE* Handle) {
  if (Dsm.SourceState != 6) return FailSource(TWCC_SEQERROR);
  *Handle = nullptr;
  if (!Dsm.Scripted) {
    if (!Dsm.Scanned) return FailSource(TWCC_SEQERROR);
    *Handle = Dsm.Scanned;  // the application frees it
    Dsm.Scanned = nullptr;
  } else if (Dsm.Script.Transfer == "cancel") {
    Dsm.SourceState = 7;
    return TWRC_CANCEL;
  } else if (Dsm.Script.Transfer == "fail" || !(*Handle = LoadImage())) {
    return FailSource(TWCC_OPERATIONERROR);
  }
  Dsm.SourceState = 7;
  return TWRC_XFERDONE;
}

// The pixel types the open scanner scans in: those of its modes, else the
// one it scans in now.
std::vector<uint16_t> OfferedTypes() {
  std::vector<uint16_t> Types;
  for (const std::string& M : Dsm.Options.Modes) {
    const int32_t T = SaneModeType(M);
    if (T >= 0 && std::find(Types.begin(), Types.end(), T) == Types.end()) Types.push_back(static_cast<uint16_t>(T));
  }
  const int32_t Current = CurrentType();
  if (Current >= 0 && std::find(Types.begin(), Types.end(), Current) == Types.end())
    Types.push_back(static_cast<uint16_t>(Current));
  return Types;
}

TW_UINT16 PixelTypeCapability(TW_UINT16 MSG, TW_CAPABILITY* Cap) {
  if (MSG == MSG_GET) {
    if (int32_t Cc = ScriptedFailure("capget"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
    if (Cap->Cap != ICAP_PIXELTYPE) return FailSource(TWCC_BADCAP);
    if (Dsm.Scripted) return GetScriptedPixelTypes(Cap);
    const std::vector<uint16_t> Types = OfferedTypes();
    if (Types.empty()) return FailSource(TWCC_BADCAP);
    auto* Enum = MakeEnumeration(TWTY_UINT16, Types);
    if (!Enum) return FailSource(TWCC_LOWMEMORY);
    const auto At = std::find(Types.begin(), Types.end(), CurrentType());
    Enum->CurrentIndex = Enum->DefaultIndex = static_cast<TW_UINT32>(At == Types.end() ? 0 : At - Types.begin());
    Cap->ConType = TWON_ENUMERATION;
    Cap->hContainer = Enum;
    return TWRC_SUCCESS;
  }
  if (MSG == MSG_SET) {
    if (Dsm.SourceState != 4) return FailSource(TWCC_SEQERROR);
    if (int32_t Cc = ScriptedFailure("capset"); Cc >= 0) return FailSource(static_cast<TW_UINT16>(Cc));
    if (Dsm.Scripted) return TWRC_SUCCESS;
    if (Cap->Cap != ICAP_PIXELTYPE) return FailSource(TWCC_BADCAP);
    std::vector<uint16_t> Types = ContainerTypes(Cap);
    const std::vector<uint16_t> Offered = OfferedTypes();
    bool Common = false;
    for (uint16_t T : Types) Common |= std::find(Offered.begin(), Offered.end(), T) != Offered.end();
    if (!Common) return FailSource(TWCC_BADVALUE);
    Dsm.PixelTypes = Types;  // the scan takes the first the scanner has, unless its own is among them
    return TWRC_SUCCESS;
  }
  return FailSource(TWCC_BADPROTOCOL);
}

TW_UINT16 ToSource(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (!Data) return FailSource(TWCC_BADVALUE);
  if (DG == DG_IMAGE && DAT == DAT_IMAGENATIVEXFER && MSG == MSG_GET)
    return NativeTransfer(static_cast<TW_HANDLE*>(Data));
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
    case DAT_STATUSUTF8:
      if (MSG != MSG_GET) return FailSource(TWCC_BADPROTOCOL);
      return StatusText(static_cast<TW_STATUSUTF8*>(Data), Dsm.SourceText);
    case DAT_CAPABILITY: return PixelTypeCapability(MSG, static_cast<TW_CAPABILITY*>(Data));
    case DAT_USERINTERFACE: {
      if (MSG == MSG_ENABLEDS) return EnableSource(static_cast<TW_USERINTERFACE*>(Data));
      if (MSG == MSG_DISABLEDS) {
        if (Dsm.SourceState != 5) return FailSource(TWCC_SEQERROR);
        Dsm.SourceState = 4;
        DropScan();
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

TW_UINT16 Entry(TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
  TW_UINT16 Result;
  std::string Extra;
  if (!pDest) {
    Result = ToManager(DG, DAT, MSG, pData);
  } else if (!Dsm.Open || Dsm.SourceState == 0 || pDest->Id != Dsm.Sources[Dsm.Current].Identity.Id) {
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

}  // namespace

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest,
                                                                      TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData) {
  if (!pOrigin) return TWRC_FAILURE;
  try {
    return Entry(pDest, DG, DAT, MSG, pData);
  } catch (const std::bad_alloc&) {
    if (pDest) return FailSource(TWCC_LOWMEMORY);
    return FailManager(TWCC_LOWMEMORY);
  }
}
