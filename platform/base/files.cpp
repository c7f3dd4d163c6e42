#include "platform/base/files.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
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

// "quillon/" in $Variable when that is an absolute path, else in Home +
// Fallback; "" without a home folder.
std::string UserFolderPath(const char* Variable, const char* Fallback) {
  std::string base;
  if (const char* x = std::getenv(Variable); x && x[0] == '/') {
    base = x;
  } else {
    base = HomeFolder();
    if (base.empty()) return "";
    base = IncludeTrailingPathDelimiter(base) + Fallback;
  }
  return IncludeTrailingPathDelimiter(base) + "quillon/";
}

// The same, created (with the folders above it) readable by the person only.
std::string UserFolder(const char* Variable, const char* Fallback) {
  const std::string dir = UserFolderPath(Variable, Fallback);
  if (!dir.empty()) ForceDirectories(dir.substr(0, dir.size() - 1), 0700);
  return dir;
}

}  // namespace

std::string UserConfigFolder() { return UserFolder("XDG_CONFIG_HOME", ".config"); }

std::string UserCacheFolder() { return UserCacheFolder(true, nullptr); }

std::string UserCacheFolder(bool Create, std::string* Problem) {
  std::string problem;
  const std::string dir = UserFolderPath("XDG_CACHE_HOME", ".cache");
  const std::string quoted = "\"" + dir + "\"";
  struct stat st {};
  if (dir.empty()) {
    problem = "there is no home folder";
  } else if (Create && !ForceDirectories(dir.substr(0, dir.size() - 1), 0700)) {
    problem = quoted + ": " + std::strerror(errno);
  } else if (::lstat(dir.c_str(), &st) != 0) {
    // A link in its place fails here too: the folder itself must be the person's.
    problem = quoted + ": " + std::strerror(errno);
  } else if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    // Copies of the person's files must not be where others may read them
    // or put files of their own in their place.
    problem = quoted + " is not a folder of the person's own that only they may enter";
  } else {
    return dir;
  }
  if (Problem) *Problem = problem;
  return "";
}

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

int LockExclusiveWithin(int Fd, int Milliseconds, int (*Attempt)(int Fd)) {
  const int first = Attempt ? Attempt(Fd) : ::flock(Fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
  if (first != EWOULDBLOCK) return first;
  // flock has no time limit of its own: the wait runs on a thread of its
  // own, on a descriptor of its own for the same open file, and is left
  // behind when the time is up; should it get the lock after all, it gives
  // it up at once. Waiting in the kernel's queue, not by trying again, lets
  // a waiter in between the saves of a program that saves all the time.
  struct TWait {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Finished = false;
    bool Abandoned = false;
    int Error = 0;
  };
  const int fd = ::fcntl(Fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return errno;
  auto wait = std::make_shared<TWait>();
  try {
    std::thread([wait, fd] {
      int r;
      while ((r = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
      }
      const int e = r == 0 ? 0 : errno;
      std::lock_guard<std::mutex> guard(wait->Lock);
      if (wait->Abandoned && r == 0) ::flock(fd, LOCK_UN);
      ::close(fd);
      wait->Finished = true;
      wait->Error = e;
      wait->Changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    ::close(fd);
    return EWOULDBLOCK;
  }
  std::unique_lock<std::mutex> guard(wait->Lock);
  if (wait->Changed.wait_for(guard, std::chrono::milliseconds(Milliseconds), [&] { return wait->Finished; }))
    return wait->Error;
  wait->Abandoned = true;
  return EWOULDBLOCK;
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
