// A SANE backend that misbehaves as its quillonfault.conf (in SANE's
// configuration folder) says, for the tests of what a bad driver may cost:
//   hang list          sane_get_devices never returns
//   hang cancel        sane_cancel never returns
//   crash read         the third read writes last words and dies (SIGSEGV)
//   fail read          the third read fails (SANE_STATUS_IO_ERROR)
//   refuse resolution  setting the resolution fails (SANE_STATUS_INVAL)
//   pid <file>         its process id is written to the file at sane_init
// Its one device, "quillonfault:0", scans 100 x 50 pixels of grey, a line
// per read, with a mode (Gray), a resolution (50..600 dpi) and an area
// (up to 100 x 100 mm).
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

namespace {

std::set<std::string> Faults;
int32_t Reads = 0;
int32_t Lines = 0;
SANE_Word Resolution = 100;
SANE_Word Area[4] = {0, 0, SANE_FIX(10), SANE_FIX(5)};

const SANE_Device Device{"0", "Quillon", "fault", "virtual device"};  // SANE calls it "quillonfault:0"
const SANE_Device* DeviceList[] = {&Device, nullptr};
const SANE_String_Const ModeList[] = {"Gray", nullptr};
const SANE_Range ResolutionRange{50, 600, 1};
const SANE_Range AreaRange{0, SANE_FIX(100), 0};

SANE_Option_Descriptor Options[7];

void Forever() {
  for (;;) ::pause();
}

void Describe() {
  Options[0] = {"", "Number of options", "", SANE_TYPE_INT, SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT,
                SANE_CONSTRAINT_NONE, {nullptr}};
  Options[1] = {SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE, "", SANE_TYPE_STRING, SANE_UNIT_NONE, 8,
                SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_STRING_LIST, {nullptr}};
  Options[1].constraint.string_list = ModeList;
  Options[2] = {SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION, "", SANE_TYPE_INT, SANE_UNIT_DPI,
                sizeof(SANE_Word), SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_RANGE, {nullptr}};
  Options[2].constraint.range = &ResolutionRange;
  const char* Names[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X, SANE_NAME_SCAN_BR_Y};
  for (int i = 0; i < 4; ++i) {
    Options[3 + i] = {Names[i], Names[i], "", SANE_TYPE_FIXED, SANE_UNIT_MM, sizeof(SANE_Word),
                      SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_RANGE, {nullptr}};
    Options[3 + i].constraint.range = &AreaRange;
  }
}

}  // namespace

extern "C" {

SANE_Status sane_quillonfault_init(SANE_Int* Version, SANE_Auth_Callback) {
  if (Version) *Version = SANE_VERSION_CODE(1, 0, 0);
  const char* Dir = std::getenv("SANE_CONFIG_DIR");
  std::ifstream Conf(std::string(Dir ? Dir : ".") + "/quillonfault.conf");
  std::string Line;
  while (std::getline(Conf, Line)) {
    if (Line.rfind("pid ", 0) == 0) {
      // Written whole or not at all: whoever sees the file can read it.
      const std::string File = Line.substr(4);
      std::ofstream(File + ".new") << ::getpid();
      std::rename((File + ".new").c_str(), File.c_str());
    } else if (!Line.empty()) {
      Faults.insert(Line);
    }
  }
  Describe();
  return SANE_STATUS_GOOD;
}

void sane_quillonfault_exit() {}

SANE_Status sane_quillonfault_get_devices(const SANE_Device*** List, SANE_Bool) {
  if (Faults.count("hang list")) Forever();
  *List = DeviceList;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_quillonfault_open(SANE_String_Const Name, SANE_Handle* Handle) {
  if (std::strcmp(Name, "0") != 0) return SANE_STATUS_INVAL;
  *Handle = &Faults;
  return SANE_STATUS_GOOD;
}

void sane_quillonfault_close(SANE_Handle) {}

const SANE_Option_Descriptor* sane_quillonfault_get_option_descriptor(SANE_Handle, SANE_Int Option) {
  return Option >= 0 && Option < 7 ? &Options[Option] : nullptr;
}

SANE_Status sane_quillonfault_control_option(SANE_Handle, SANE_Int Option, SANE_Action Action, void* Value,
                                             SANE_Int* Info) {
  if (Info) *Info = 0;
  if (Option < 0 || Option >= 7) return SANE_STATUS_INVAL;
  const bool Set = Action == SANE_ACTION_SET_VALUE;
  if (Option == 0 && !Set) *static_cast<SANE_Word*>(Value) = 7;
  if (Option == 1 && !Set) std::strcpy(static_cast<char*>(Value), "Gray");
  if (Option == 2) {
    if (Set && Faults.count("refuse resolution")) return SANE_STATUS_INVAL;
    if (Set) Resolution = *static_cast<SANE_Word*>(Value);
    else *static_cast<SANE_Word*>(Value) = Resolution;
  }
  if (Option >= 3) {
    if (Set) Area[Option - 3] = *static_cast<SANE_Word*>(Value);
    else *static_cast<SANE_Word*>(Value) = Area[Option - 3];
  }
  return SANE_STATUS_GOOD;
}

SANE_Status sane_quillonfault_get_parameters(SANE_Handle, SANE_Parameters* P) {
  *P = SANE_Parameters{SANE_FRAME_GRAY, SANE_TRUE, 100, 100, 50, 8};
  return SANE_STATUS_GOOD;
}

SANE_Status sane_quillonfault_start(SANE_Handle) {
  Reads = Lines = 0;
  return SANE_STATUS_GOOD;
}

SANE_Status sane_quillonfault_read(SANE_Handle, SANE_Byte* Data, SANE_Int MaxLength, SANE_Int* Length) {
  *Length = 0;
  if (++Reads == 3 && Faults.count("crash read")) {
    std::fprintf(stderr, "[quillonfault] the lamp failed at line %d\n", Lines);
    std::fflush(stderr);
    ::raise(SIGSEGV);
  }
  if (Reads == 3 && Faults.count("fail read")) return SANE_STATUS_IO_ERROR;
  if (Lines == 50) return SANE_STATUS_EOF;
  *Length = MaxLength < 100 ? MaxLength : 100;
  std::memset(Data, 0x80, static_cast<size_t>(*Length));
  ++Lines;
  return SANE_STATUS_GOOD;
}

void sane_quillonfault_cancel(SANE_Handle) {
  if (Faults.count("hang cancel")) Forever();
}

SANE_Status sane_quillonfault_set_io_mode(SANE_Handle, SANE_Bool NonBlocking) {
  return NonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

SANE_Status sane_quillonfault_get_select_fd(SANE_Handle, SANE_Int*) { return SANE_STATUS_UNSUPPORTED; }

}  // extern "C"
