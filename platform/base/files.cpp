#include "platform/base/files.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <vector>

bool FileExists(const std::string& FileName) {
  struct stat st {};
  return ::stat(FileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& Dir) {
  struct stat st {};
  return ::stat(Dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool DeleteFile(const std::string& FileName) { return ::unlink(FileName.c_str()) == 0; }

bool RenameFile(const std::string& OldName, const std::string& NewName) {
#ifdef SYS_renameat2
  long r = ::syscall(SYS_renameat2, AT_FDCWD, OldName.c_str(), AT_FDCWD, NewName.c_str(), 1u /*RENAME_NOREPLACE*/);
  if (r == 0) return true;
  if (errno != ENOSYS && errno != EINVAL) return false;
#endif
  // Fallback: a hard link fails when the target exists.
  if (::link(OldName.c_str(), NewName.c_str()) != 0) return false;
  ::unlink(OldName.c_str());
  return true;
}

bool ReplaceFile(const std::string& Source, const std::string& Target) {
  return std::rename(Source.c_str(), Target.c_str()) == 0;
}

bool ForceDirectories(const std::string& Dir, unsigned Mode) {
  if (Dir.empty()) return false;
  std::string path;
  size_t i = 0;
  while (i <= Dir.size()) {
    size_t j = Dir.find('/', i);
    if (j == std::string::npos) j = Dir.size();
    path = Dir.substr(0, j);
    if (!path.empty() && !DirectoryExists(path) && ::mkdir(path.c_str(), static_cast<mode_t>(Mode)) != 0 && errno != EEXIST)
      return false;
    i = j + 1;
  }
  return DirectoryExists(Dir);
}

static size_t NameStart(const std::string& FileName) {
  size_t p = FileName.find_last_of('/');
  return p == std::string::npos ? 0 : p + 1;
}

std::string ExtractFileExt(const std::string& FileName) {
  size_t start = NameStart(FileName);
  size_t dot = FileName.rfind('.');
  if (dot == std::string::npos || dot < start) return "";
  return FileName.substr(dot);
}

std::string ExtractFileName(const std::string& FileName) { return FileName.substr(NameStart(FileName)); }

std::string ExtractFilePath(const std::string& FileName) { return FileName.substr(0, NameStart(FileName)); }

std::string ChangeFileExt(const std::string& FileName, const std::string& Extension) {
  size_t start = NameStart(FileName);
  size_t dot = FileName.rfind('.');
  if (dot == std::string::npos || dot < start) return FileName + Extension;
  return FileName.substr(0, dot) + Extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& Dir) {
  if (!Dir.empty() && Dir.back() == '/') return Dir;
  return Dir + "/";
}

std::string ProgramFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return "./";
  buf[n] = '\0';
  return ExtractFilePath(std::string(buf));
}

std::string HomeFolder() {
  if (const char* h = std::getenv("HOME"); h && h[0] == '/') return h;
  // The password database's entry; its buffer grows until the entry fits.
  std::vector<char> buf(1024);
  for (int tries = 0; tries < 8; ++tries) {
    passwd entry {};
    passwd* found = nullptr;
    const int r = ::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found);
    if (r == ERANGE) {
      buf.resize(buf.size() * 4);
      continue;
    }
    if (r == 0 && found && found->pw_dir && found->pw_dir[0] == '/') return found->pw_dir;
    break;
  }
  return "";
}

namespace {

// $Variable when it is an absolute path, else Home + Fallback ("" without a
// home folder); then "quillon/", created readable by the person only.
std::string UserFolder(const char* Variable, const char* Fallback) {
  std::string base;
  if (const char* x = std::getenv(Variable); x && x[0] == '/') {
    base = x;
  } else {
    base = HomeFolder();
    if (base.empty()) return "";
    base = IncludeTrailingPathDelimiter(base) + Fallback;
  }
  const std::string dir = IncludeTrailingPathDelimiter(base) + "quillon";
  ForceDirectories(dir, 0700);
  return dir + "/";
}

}  // namespace

std::string UserConfigFolder() { return UserFolder("XDG_CONFIG_HOME", ".config"); }

std::string UserCacheFolder() { return UserFolder("XDG_CACHE_HOME", ".cache"); }

std::string UserRuntimeFolder() {
  // The runtime folder counts only when it is the person's and nobody
  // else's, as the XDG rules require of it.
  if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && x[0] == '/') {
    struct stat st {};
    if (::stat(x, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0) {
      const std::string dir = IncludeTrailingPathDelimiter(x) + "quillon";
      if (ForceDirectories(dir, 0700)) return dir + "/";
    }
  }
  return UserCacheFolder();
}

std::string RandomNamePart() {
  uint8_t bytes[8] = {};
  size_t got = 0;
  while (got < sizeof(bytes)) {
    const ssize_t n = ::getrandom(bytes + got, sizeof(bytes) - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
    else if (errno != EINTR) break;
  }
  if (got < sizeof(bytes)) {
    // No random source: the clock, the process and a counter still differ
    // from one name to the next.
    static std::atomic<uint64_t> counter{0};
    uint64_t v = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    v ^= (static_cast<uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
    for (size_t i = 0; i < sizeof(bytes); ++i) bytes[i] ^= static_cast<uint8_t>(v >> (8 * i));
  }
  static const char digits[] = "0123456789abcdef";
  std::string name;
  for (uint8_t b : bytes) {
    name += digits[b >> 4];
    name += digits[b & 15];
  }
  return name;
}
