// The settings file and the command line.
#include "platform/base/settings.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/safe_write.h"
#include "platform/base/strings.h"

namespace {
// The command line as the start-up stored it.
std::vector<std::string> CommandLine;

// Keys and values are single lines; a key cannot hold "=".
std::string CleanKey(const std::string& Key) {
  std::string k;
  for (char c : Key)
    if (c != '=' && c != '\n' && c != '\r') k += c;
  return Trim(k);
}
std::string CleanValue(const std::string& Value) {
  std::string v;
  for (char c : Value)
    if (c != '\n' && c != '\r') v += c;
  return v;
}
}  // namespace

namespace {

// The largest settings file read; anything bigger is not one of ours.
constexpr off_t MaxSettingsBytes = 64 << 20;

// The whole file into Text: true when it was read or does not exist; else
// false with Error set. A pipe or device is refused without waiting on it.
bool ReadText(const std::string& Name, std::string& Text, std::string& Error) {
  Text.clear();
  const int fd = ::open(Name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    Error = "Cannot read file \"" + Name + "\": " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  int err = ::fstat(fd, &st) != 0 ? errno : 0;
  std::string reason;
  if (!err && S_ISDIR(st.st_mode)) err = EISDIR;
  else if (!err && !S_ISREG(st.st_mode)) reason = "Not a regular file";
  else if (!err && st.st_size > MaxSettingsBytes) err = EFBIG;
  char buf[65536];
  while (!err && reason.empty()) {
    const ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    Text.append(buf, static_cast<size_t>(n));
    if (static_cast<off_t>(Text.size()) > MaxSettingsBytes) err = EFBIG;
  }
  ::close(fd);
  if (!err && reason.empty()) return true;
  Error = "Cannot read file \"" + Name + "\": " + (reason.empty() ? std::string(std::strerror(err)) : reason);
  Text.clear();
  return false;
}

// How long an update waits for another process to give up the settings: a
// stopped program, a hung network home or another user's process may hold
// them for ever, and the person's program must still close.
constexpr int SettingsLockWaitMs = 2000;

// Holds an exclusive lock on a file beside the settings file while alive, so
// that two processes do not read, change and write it at the same time.
class TSettingsLock {
public:
  explicit TSettingsLock(const std::string& FileName) {
    if (ExtractFileName(FileName).empty()) return;
    FFd = ::open((FileName + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    // Without a lock file (a read-only folder) or without locks (a file
    // system that has none) the update goes on unlocked.
    if (FFd >= 0) FHeld = LockExclusiveWithin(FFd, SettingsLockWaitMs) == EWOULDBLOCK;
  }
  ~TSettingsLock() {
    if (FFd >= 0) ::close(FFd);
  }
  TSettingsLock(const TSettingsLock&) = delete;
  TSettingsLock& operator=(const TSettingsLock&) = delete;
  // Another process held the lock for the whole wait.
  bool HeldElsewhere() const { return FHeld; }

private:
  int FFd = -1;
  bool FHeld = false;
};

}  // namespace

TSettingsFile::TSettingsFile(std::string FileName) : FFileName(std::move(FileName)) {
  std::string text;
  if (ReadText(FFileName, text, FError)) Parse(text);
}

void TSettingsFile::Parse(const std::string& Text) {
  FLines.clear();
  FIndex.clear();
  size_t start = 0;
  while (start < Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos) end = Text.size();
    TLine line;
    line.Text = Text.substr(start, end - start);
    size_t last = line.Text.size();
    if (last > 0 && line.Text[last - 1] == '\r') --last;
    const size_t eq = line.Text.find('=');
    if (eq < last) {
      std::string key = Trim(line.Text.substr(0, eq));
      if (!key.empty() && key[0] != ';' && key[0] != '#') {
        line.Key = std::move(key);
        line.Value = line.Text.substr(eq + 1, last - eq - 1);
        // The first of a repeated key counts.
        FIndex.try_emplace(LowerCase(line.Key), FLines.size());
      }
    }
    FLines.push_back(std::move(line));
    start = end + 1;
  }
}

ptrdiff_t TSettingsFile::Find(const std::string& Key) const {
  auto it = FIndex.find(LowerCase(Key));
  return it == FIndex.end() ? -1 : static_cast<ptrdiff_t>(it->second);
}

bool TSettingsFile::KeyExists(const std::string& Key) const { return Find(CleanKey(Key)) >= 0; }

std::string TSettingsFile::ReadString(const std::string& Key, const std::string& Default) const {
  ptrdiff_t i = Find(CleanKey(Key));
  return i < 0 ? Default : FLines[static_cast<size_t>(i)].Value;
}

int32_t TSettingsFile::ReadInteger(const std::string& Key, int32_t Default) const {
  ptrdiff_t i = Find(CleanKey(Key));
  if (i < 0) return Default;
  std::string s = Trim(FLines[static_cast<size_t>(i)].Value);
  if (s.empty()) return Default;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || !end || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return Default;
  return static_cast<int32_t>(v);
}

bool TSettingsFile::ReadBool(const std::string& Key, bool Default) const {
  return ReadInteger(Key, Default ? 1 : 0) != 0;
}

void TSettingsFile::Set(const std::string& Key, const std::string& Value) {
  auto [it, added] = FIndex.try_emplace(LowerCase(Key), FLines.size());
  if (added) {
    FLines.push_back(TLine{Key + "=" + Value, Key, Value});
    return;
  }
  TLine& line = FLines[it->second];
  if (line.Value == Value) return;
  line.Value = Value;
  line.Text = line.Key + "=" + Value;
}

void TSettingsFile::Remove(const std::string& LowerKey) {
  if (FIndex.erase(LowerKey) == 0) return;
  // Every line of the key goes, or a repeated one would take its place.
  std::vector<TLine> kept;
  kept.reserve(FLines.size());
  for (TLine& line : FLines)
    if (line.Key.empty() || LowerCase(line.Key) != LowerKey) kept.push_back(std::move(line));
  FLines = std::move(kept);
  // The lines after the removed ones moved up.
  FIndex.clear();
  for (size_t i = 0; i < FLines.size(); ++i)
    if (!FLines[i].Key.empty()) FIndex.try_emplace(LowerCase(FLines[i].Key), i);
}

// A key written or deleted wins over what another process wrote meanwhile,
// even with the value that was read; the last change of a key counts.
void TSettingsFile::NoteChange(const std::string& LowerKey, TChange Change) {
  auto [it, added] = FChangeIndex.try_emplace(LowerKey, FChanges.size());
  if (added) FChanges.push_back(std::move(Change));
  else FChanges[it->second] = std::move(Change);
}

void TSettingsFile::WriteString(const std::string& Key, const std::string& Value) {
  std::string k = CleanKey(Key);
  if (k.empty()) return;
  std::string v = CleanValue(Value);
  Set(k, v);
  NoteChange(LowerCase(k), TChange{k, false, v});
}

void TSettingsFile::WriteInteger(const std::string& Key, int32_t Value) { WriteString(Key, std::to_string(Value)); }

void TSettingsFile::DeleteKey(const std::string& Key) {
  std::string k = CleanKey(Key);
  if (k.empty()) return;
  const std::string lower = LowerCase(k);
  Remove(lower);
  NoteChange(lower, TChange{k, true, {}});
}

bool TSettingsFile::UpdateFile() {
  FError.clear();
  if (FChanges.empty()) return true;
  if (FFileName.empty()) {
    // No per-user folder: nowhere to keep them.
    FError = "There is no folder for the settings file: no home folder is set";
    return false;
  }
  std::string dir = ExtractFilePath(FFileName);
  if (!dir.empty() && !DirectoryExists(dir) && !ForceDirectories(dir, 0700)) {
    FError = "Cannot create file \"" + FFileName + "\": " + std::strerror(errno ? errno : ENOENT);
    return false;
  }
  TSettingsLock lock(FFileName);
  if (lock.HeldElsewhere()) {
    FError = "\"" + FFileName + "\" is held by another program";
    return false;
  }
  // The file as it is now, with this store's changes on top.
  std::string text;
  if (!ReadText(FFileName, text, FError)) return false;
  Parse(text);
  for (const TChange& change : FChanges) {
    if (change.Deleted) Remove(LowerCase(change.Key));
    else Set(change.Key, change.Value);
  }
  size_t size = 0;
  for (const TLine& line : FLines) size += line.Text.size() + 1;
  text.clear();
  text.reserve(size);
  for (const TLine& line : FLines) {
    text += line.Text;
    text += '\n';
  }
  try {
    SafeWriteFile(FFileName, text.data(), static_cast<int64_t>(text.size()));
  } catch (const Exception& E) {
    FError = E.Message();
    return false;
  }
  FChanges.clear();
  FChangeIndex.clear();
  return true;
}

void InitializeProcess(int argc, const char* const* argv) {
  IgnoreFileSizeSignal();
  SetCommandLine(argc, argv);
  RecoverInterruptedSaves();
}

void IgnoreFileSizeSignal() { ::signal(SIGXFSZ, SIG_IGN); }

void SetCommandLine(int argc, const char* const* argv) {
  CommandLine.clear();
  for (int i = 0; i < argc && argv; ++i) CommandLine.emplace_back(argv[i] ? argv[i] : "");
}

void SetCommandLine(const std::vector<std::string>& Args) { CommandLine = Args; }

int32_t ParamCount() { return CommandLine.empty() ? 0 : static_cast<int32_t>(CommandLine.size() - 1); }

std::string ParamStr(int32_t Index) {
  if (Index == 0) {
    // The program's own path as the system knows it, else as it was started.
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    return CommandLine.empty() ? std::string() : CommandLine[0];
  }
  if (Index < 0 || static_cast<size_t>(Index) >= CommandLine.size()) return {};
  return CommandLine[static_cast<size_t>(Index)];
}
