// SafeWriteFile: the new content in a file of its own, renamed over the
// target once it is on the disk; or, for a target that must keep its inode,
// written in place under a lock, with the old content kept aside until the
// new one is on the disk. Every system call that a disk can fail goes through
// a function below that asks the fault hook first, so tests can fail each of
// them.
#include "platform/base/safe_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/base/exception.h"
#include "platform/base/files.h"

namespace {

TSafeWriteFaultHook& FaultHook() {
  static TSafeWriteFaultHook hook;
  return hook;
}

int Fault(TSafeWriteCall Call, TSafeWriteFile File, int64_t Offset = 0) {
  const TSafeWriteFaultHook& hook = FaultHook();
  return hook ? hook(Call, File, Offset) : 0;
}

const char* const NotRegular = "Not a regular file";

std::string CannotCreate(const std::string& FileName, const std::string& Reason) {
  return "Cannot create file \"" + FileName + "\": " + Reason;
}

std::string ReasonOf(int Error) { return std::strerror(Error ? Error : EIO); }

[[noreturn]] void FailCreate(const std::string& FileName, int Error) {
  throw EFCreateError(CannotCreate(FileName, ReasonOf(Error)));
}

[[noreturn]] void FailCreate(const std::string& FileName, const std::string& Reason) {
  throw EFCreateError(CannotCreate(FileName, Reason));
}

[[noreturn]] void FailWrite(const std::string& FileName, const std::string& Reason) {
  throw EWriteError(CannotCreate(FileName, Reason));
}

[[noreturn]] void FailWrite(const std::string& FileName, int Error) { FailWrite(FileName, ReasonOf(Error)); }

// A descriptor closed when it goes out of scope. Closes whose result matters
// go through CloseChecked.
class TFd {
public:
  explicit TFd(int Fd = -1) : FFd(Fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  void Reset(int Fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = Fd;
  }
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }

private:
  int FFd;
};

// ---- the calls a disk can fail; each returns the error number, or 0

constexpr int64_t Chunk = 1 << 20;

// Writes Size bytes of Data at Offset; Done counts what was written.
int WriteAt(int Fd, const uint8_t* Data, int64_t Size, int64_t Offset, TSafeWriteFile File, int64_t* Done = nullptr) {
  while (Size > 0) {
    if (const int e = Fault(TSafeWriteCall::Write, File, Offset)) return e;
    const ssize_t n = ::pwrite(Fd, Data, static_cast<size_t>(std::min(Size, Chunk)), static_cast<off_t>(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    Data += n;
    Size -= n;
    Offset += n;
    if (Done) *Done += n;
  }
  return 0;
}

int Truncate(int Fd, int64_t Size, TSafeWriteFile File) {
  if (const int e = Fault(TSafeWriteCall::Truncate, File)) return e;
  return ::ftruncate(Fd, static_cast<off_t>(Size)) == 0 ? 0 : errno;
}

int Sync(int Fd, TSafeWriteFile File) {
  if (const int e = Fault(TSafeWriteCall::Sync, File)) return e;
  return ::fsync(Fd) == 0 ? 0 : errno;
}

// The descriptor is released whatever happens; some file systems report a
// write they could not store only here.
int CloseChecked(TFd& Fd, TSafeWriteFile File) {
  const int e = Fault(TSafeWriteCall::Close, File);
  const int r = ::close(Fd.Release());
  if (e) return e;
  return r != 0 && errno != EINTR ? errno : 0;
}

int RenameIn(int Dir, const std::string& From, const std::string& To, TSafeWriteFile File) {
  if (const int e = Fault(TSafeWriteCall::Rename, File)) return e;
  return ::renameat(Dir, From.c_str(), Dir, To.c_str()) == 0 ? 0 : errno;
}

// Reads exactly Size bytes at Offset.
bool ReadAt(int Fd, uint8_t* Data, int64_t Size, int64_t Offset) {
  while (Size > 0) {
    const ssize_t n = ::pread(Fd, Data, static_cast<size_t>(Size), static_cast<off_t>(Offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    Data += n;
    Size -= n;
    Offset += n;
  }
  return true;
}

// Copies the first Size bytes of From over To, which ends up Size long.
int CopyContent(int From, int To, int64_t Size, TSafeWriteFile File) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::min(Size, Chunk)));
  for (int64_t at = 0; at < Size;) {
    const ssize_t n = ::pread(From, buf.data(), static_cast<size_t>(std::min(Size - at, Chunk)), static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    if (const int e = WriteAt(To, buf.data(), n, at, File)) return e;
    at += n;
  }
  return Truncate(To, Size, File);
}

// Makes names in a folder durable. A folder that cannot be flushed (some
// file systems refuse it) changes nothing about the files' content.
void SyncFolder(int Dir) { ::fsync(Dir); }

// A folder to create and rename files in (a folder that may not be listed
// still may be written).
int OpenFolder(const std::string& Path) {
  const char* p = Path.empty() ? "." : Path.c_str();
  int fd = ::open(p, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == EACCES) fd = ::open(p, O_PATH | O_DIRECTORY | O_CLOEXEC);
  return fd;
}

// ---- the file a save writes
//
// Symbolic links are followed to the name they lead to (which need not
// exist yet), so that the links themselves stay: in the folders on the way
// as in the last name. A link in a sticky folder that others may write is
// followed only when it is the person's or the folder owner's, as the
// kernel's rule for such folders has it; otherwise another user's link could
// make a save replace, or create, a file anywhere the person may write.
// Each folder is opened from the one before it, so no link is followed that
// was not checked.

// The folder that holds FileName's file, opened, and the file's name in it
// (Leaf); -1 with errno set when a folder on the way is missing or refused,
// or the name ends in a folder.
int OpenTargetFolder(const std::string& FileName, std::string& Leaf) {
  std::vector<std::string> parts;  // still to walk, the next one last
  auto push = [&parts](const std::string& Path) {
    for (size_t end = Path.size(); end > 0;) {
      const size_t slash = Path.rfind('/', end - 1);
      const size_t begin = slash == std::string::npos ? 0 : slash + 1;
      if (end > begin && Path.compare(begin, end - begin, ".") != 0) parts.push_back(Path.substr(begin, end - begin));
      if (slash == std::string::npos) break;
      end = slash;
    }
  };
  push(FileName);
  TFd dir(::open(!FileName.empty() && FileName[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (int links = 0; dir.Get() >= 0 && !parts.empty();) {
    const std::string part = std::move(parts.back());
    parts.pop_back();
    struct stat st {};
    if (::fstatat(dir.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT || !parts.empty()) return -1;
      Leaf = part;  // a new file
      return dir.Release();
    }
    if (S_ISLNK(st.st_mode)) {
      struct stat folder {};
      if (++links > 40) {
        errno = ELOOP;
        return -1;
      }
      if (st.st_uid != ::geteuid() && ::fstat(dir.Get(), &folder) == 0 && (folder.st_mode & S_ISVTX) &&
          (folder.st_mode & S_IWOTH) && st.st_uid != folder.st_uid) {
        errno = EACCES;
        return -1;
      }
      char buf[4096];
      const ssize_t n = ::readlinkat(dir.Get(), part.c_str(), buf, sizeof(buf));
      if (n <= 0 || n >= static_cast<ssize_t>(sizeof(buf))) {
        if (n >= 0) errno = n == 0 ? ENOENT : ENAMETOOLONG;
        return -1;
      }
      push(std::string(buf, static_cast<size_t>(n)));
      if (buf[0] == '/') dir.Reset(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
      continue;
    }
    if (parts.empty()) {
      Leaf = part;
      return dir.Release();
    }
    dir.Reset(::openat(dir.Get(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (dir.Get() >= 0) errno = EISDIR;  // nothing left for a file name
  return -1;
}

// The folder Dir (opened by OpenTargetFolder) as one to list, flush and
// create files in; a folder that may not be listed still may be written.
int UsableFolder(TFd& Dir) {
  const int fd = ::openat(Dir.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd >= 0 ? fd : Dir.Release();
}

// The absolute path of an open folder, with a trailing "/"; "" when the
// system does not say.
std::string FolderPathOf(int Dir) {
  char buf[4096];
  const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(Dir)).c_str(), buf, sizeof(buf));
  if (n <= 0 || n >= static_cast<ssize_t>(sizeof(buf)) || buf[0] != '/') return "";
  return IncludeTrailingPathDelimiter(std::string(buf, static_cast<size_t>(n)));
}

// ---- the files a save makes beside its target
//
// ".<name>.<16 hex digits>.tmp": new content, or a copy of old content being
// made; ".<name>.<inode>-<16 hex digits>.keep": a complete copy of the old
// content of the target with that inode, kept while it is written in place
// (in the cache folder "<device>-<inode>-<16 hex digits>.tmp" and ".keep").
// A save holds a shared lock on each of its files for as long as it runs, so
// a file nobody holds a lock on was left by a process that is gone.

std::string WorkStem(const std::string& Leaf) {
  return "." + Leaf.substr(0, 200) + ".";  // room for the suffixes within the longest name
}

std::string KeepStemBeside(const std::string& Leaf, const struct stat& Target) {
  return WorkStem(Leaf) + std::to_string(Target.st_ino) + "-";
}

std::string CacheStem(const struct stat& Target) {
  return std::to_string(Target.st_dev) + "-" + std::to_string(Target.st_ino) + "-";
}

bool IsHex16(const std::string& Name, size_t At) {
  return Name.size() >= At + 16 && std::all_of(Name.begin() + static_cast<ptrdiff_t>(At),
                                               Name.begin() + static_cast<ptrdiff_t>(At + 16),
                                               [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool IsWorkName(const std::string& Name, const std::string& Stem, const std::string& Suffix) {
  return Name.size() == Stem.size() + 16 + Suffix.size() && Name.compare(0, Stem.size(), Stem) == 0 &&
         Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) == 0 && IsHex16(Name, Stem.size());
}

// A copy of old content kept beside the file with inode Inode, whichever of
// the file's names was saved.
bool IsKeepBesideOf(const std::string& Name, ino_t Inode) {
  const std::string mark = "." + std::to_string(Inode) + "-";
  if (Name.size() < 2 + mark.size() + 16 + 5 || Name[0] != '.') return false;
  const size_t stem = Name.size() - 16 - 5;
  return Name.compare(stem - mark.size(), mark.size(), mark) == 0 && IsWorkName(Name, Name.substr(0, stem), ".keep");
}

// A file of the cache folder: "<device>-<inode>-<16 hex digits>" and Suffix.
bool IsCacheWorkName(const std::string& Name, const std::string& Suffix) {
  const size_t first = Name.find('-'), second = first == std::string::npos ? first : Name.find('-', first + 1);
  if (second == std::string::npos || first == 0 || second == first + 1) return false;
  const std::string stem = Name.substr(0, second + 1);
  return std::all_of(stem.begin(), stem.end(), [](char c) { return c == '-' || (c >= '0' && c <= '9'); }) &&
         IsWorkName(Name, stem, Suffix);
}

// A temporary file of earlier versions, named ".<name>.<process>-<count>.tmp",
// whose process is gone. Earlier versions held no lock on it.
bool LeftByEarlierVersion(const std::string& Name, const std::string& Stem) {
  if (Name.size() < Stem.size() + 7 || Name.compare(0, Stem.size(), Stem) != 0 ||
      Name.compare(Name.size() - 4, 4, ".tmp") != 0)
    return false;
  const std::string middle = Name.substr(Stem.size(), Name.size() - Stem.size() - 4);
  const size_t dash = middle.find('-');
  if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size() || middle.size() > 30) return false;
  for (size_t i = 0; i < middle.size(); ++i)
    if (i != dash && (middle[i] < '0' || middle[i] > '9')) return false;
  const auto pid = static_cast<pid_t>(std::strtol(middle.c_str(), nullptr, 10));
  return pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

bool UnnamedFilesLinkable() {
  static const bool linkable = ::access("/proc/self/fd", X_OK) == 0;
  return linkable;
}

// Make (an openat or linkat) with the name Stem, random digits and Suffix,
// drawn afresh while the name is taken; on failure Name is "" and errno set.
template <typename TMake>
int UnderNewName(const std::string& Stem, const std::string& Suffix, std::string& Name, TMake Make) {
  for (int attempt = 0; attempt < 16; ++attempt) {
    Name = Stem + RandomNamePart() + Suffix;
    const int r = Make(Name.c_str());
    if (r >= 0) return r;
    if (errno != EEXIST) break;
  }
  const int e = errno;
  Name.clear();
  errno = e;
  return -1;
}

// A new, empty file in Dir for content that is not complete yet, locked as in
// use: an unnamed one where the file system has them (Name stays empty),
// else one named Stem, random digits and Suffix. -1 with errno set when the
// folder refuses it.
int CreateWorkFile(int Dir, const std::string& Stem, const std::string& Suffix, mode_t Mode, TSafeWriteFile File,
                   std::string& Name) {
  Name.clear();
  int fd = -1;
  if (UnnamedFilesLinkable()) {
    int e = Fault(TSafeWriteCall::UnnamedFile, File);
    if (!e) {
      fd = ::openat(Dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, Mode);
      if (fd < 0) e = errno;
    }
    // Only a file system without unnamed files goes on to a named one.
    if (e && e != EOPNOTSUPP && e != EISDIR && e != EINVAL) {
      errno = e;
      return -1;
    }
  }
  if (fd < 0)
    fd = UnderNewName(Stem, Suffix, Name, [&](const char* N) {
      return ::openat(Dir, N, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, Mode);
    });
  if (fd >= 0) ::flock(fd, LOCK_SH);
  return fd;
}

// Gives the unnamed file Fd a name in Dir: Stem, random digits and Suffix.
int LinkIn(int Fd, int Dir, const std::string& Stem, const std::string& Suffix, TSafeWriteFile File,
           std::string& Name) {
  if (const int e = Fault(TSafeWriteCall::Link, File)) return e;
  const std::string self = "/proc/self/fd/" + std::to_string(Fd);
  const int r = UnderNewName(Stem, Suffix, Name, [&](const char* N) {
    return ::linkat(AT_FDCWD, self.c_str(), Dir, N, AT_SYMLINK_FOLLOW);
  });
  return r < 0 ? errno : 0;
}

// Opens Name in Folder when a save whose process is gone left it: a regular
// file of this person's, with no other link, that no process holds in use.
// The descriptor holds it locked; -1 otherwise.
int OpenStale(int Folder, const std::string& Name) {
  TFd fd(::openat(Folder, Name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  // A temporary file of a write-only target may be opened for writing only.
  if (fd.Get() < 0 && errno == EACCES) fd.Reset(::openat(Folder, Name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      st.st_nlink != 1 || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
    return -1;
  return fd.Release();
}

void Drop(int Folder, const std::string& Name) {
  ::unlinkat(Folder, Name.c_str(), 0);
  SyncFolder(Folder);
}

void DeleteStale(int Folder, const std::string& Name) {
  TFd stale(OpenStale(Folder, Name));
  if (stale.Get() >= 0) ::unlinkat(Folder, Name.c_str(), 0);
}

std::vector<std::string> NamesIn(int Folder) {
  std::vector<std::string> names;
  const int fd = ::openat(Folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return names;
  DIR* d = ::fdopendir(fd);
  if (!d) {
    ::close(fd);
    return names;
  }
  while (const dirent* e = ::readdir(d)) names.emplace_back(e->d_name);
  ::closedir(d);
  return names;
}

// ---- what a copy of old content says about its save
//
// A copy holds the old content of the target and, after it, a record of the
// save: the target (device, inode, path), its old and new sizes, and a hash
// of each page of the new content. Against that record the file shows how
// far the save went: every page old or new, and the size between the two,
// is what a save stopped half-way leaves (the system writes a page whole);
// the whole new content is a save that was complete; anything else was
// changed since by someone else, or is another file that got the same
// inode, and is left alone.

constexpr int64_t Page = 4096;
constexpr uint64_t RecordMark = 0x51554B4545503031ull;  // "QUKEEP01"
constexpr uint64_t RecordEnd = 0x514B454550454E44ull;   // "QKEEPEND"
constexpr uint64_t MaxRecordBytes = 64ull << 20;

struct TKeepRecord {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t OldSize = 0;
  int64_t NewSize = 0;
  std::string Path;
  std::vector<uint64_t> NewPages;
};

uint64_t PageHash(const uint8_t* Data, int64_t Size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(Size);
  for (int64_t i = 0; i < Size; i += 8) {
    uint64_t w = 0;
    std::memcpy(&w, Data + i, static_cast<size_t>(std::min<int64_t>(8, Size - i)));
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  return h;
}

void Put(std::vector<uint8_t>& Out, uint64_t V) {
  const auto* p = reinterpret_cast<const uint8_t*>(&V);
  Out.insert(Out.end(), p, p + 8);
}

// The record of a save of the target Target at Path that writes New.
std::vector<uint8_t> KeepRecord(const struct stat& Target, const std::string& Path, const std::vector<uint8_t>& New) {
  const auto size = static_cast<int64_t>(New.size());
  std::vector<uint8_t> r;
  r.reserve(static_cast<size_t>(64 + Path.size() + (size / Page + 1) * 8));
  for (uint64_t v : {RecordMark, static_cast<uint64_t>(Target.st_dev), static_cast<uint64_t>(Target.st_ino),
                     static_cast<uint64_t>(Target.st_size), static_cast<uint64_t>(size),
                     static_cast<uint64_t>(Path.size())})
    Put(r, v);
  r.insert(r.end(), Path.begin(), Path.end());
  Put(r, static_cast<uint64_t>((size + Page - 1) / Page));
  for (int64_t at = 0; at < size; at += Page) Put(r, PageHash(New.data() + at, std::min(Page, size - at)));
  Put(r, r.size());
  Put(r, RecordEnd);
  return r;
}

// Reads the record at the end of the copy Copy; false for a file that holds
// none (not one of ours, or cut short).
bool ReadKeepRecord(int Copy, TKeepRecord& R) {
  struct stat st {};
  uint64_t tail[2] = {};
  if (::fstat(Copy, &st) != 0 || st.st_size < 16 ||
      !ReadAt(Copy, reinterpret_cast<uint8_t*>(tail), 16, st.st_size - 16) || tail[1] != RecordEnd ||
      tail[0] < 56 || tail[0] > MaxRecordBytes || tail[0] > static_cast<uint64_t>(st.st_size - 16))
    return false;
  std::vector<uint8_t> r(static_cast<size_t>(tail[0]));
  const int64_t at = st.st_size - 16 - static_cast<int64_t>(tail[0]);
  if (!ReadAt(Copy, r.data(), static_cast<int64_t>(r.size()), at)) return false;
  size_t pos = 0;
  auto get = [&](uint64_t& V) {
    if (r.size() - pos < 8) return false;
    std::memcpy(&V, r.data() + pos, 8);
    pos += 8;
    return true;
  };
  uint64_t mark = 0, oldSize = 0, newSize = 0, pathSize = 0, pages = 0;
  if (!get(mark) || mark != RecordMark || !get(R.Device) || !get(R.Inode) || !get(oldSize) || !get(newSize) ||
      !get(pathSize) || oldSize != static_cast<uint64_t>(at) || pathSize > r.size() - pos)
    return false;
  R.Path.assign(reinterpret_cast<const char*>(r.data() + pos), static_cast<size_t>(pathSize));
  pos += static_cast<size_t>(pathSize);
  if (!get(pages) || newSize > (MaxRecordBytes / 8) * Page || pages != (newSize + Page - 1) / Page ||
      pages * 8 != r.size() - pos)
    return false;
  R.NewPages.resize(static_cast<size_t>(pages));
  for (uint64_t& h : R.NewPages) get(h);
  R.OldSize = static_cast<int64_t>(oldSize);
  R.NewSize = static_cast<int64_t>(newSize);
  return true;
}

enum class TKeptState { Foreign, Unchanged, Complete, Interrupted };

// How far the save recorded in R went with the target Target, Size long.
TKeptState Classify(int Target, int64_t Size, int Copy, const TKeepRecord& R) {
  if (Size < std::min(R.OldSize, R.NewSize) || Size > std::max(R.OldSize, R.NewSize)) return TKeptState::Foreign;
  bool allOld = Size == R.OldSize, allNew = Size == R.NewSize;
  std::vector<uint8_t> now(static_cast<size_t>(std::min(Size, Chunk))), old(now.size());
  for (int64_t at = 0; at < Size; at += Chunk) {
    const int64_t n = std::min(Chunk, Size - at);
    // Past the old end, a file grown in place holds zeros until written.
    const int64_t fromCopy = std::clamp<int64_t>(R.OldSize - at, 0, n);
    std::fill(old.begin() + static_cast<ptrdiff_t>(fromCopy), old.begin() + static_cast<ptrdiff_t>(n), 0);
    if (!ReadAt(Target, now.data(), n, at) || !ReadAt(Copy, old.data(), fromCopy, at)) return TKeptState::Foreign;
    for (int64_t p = 0; p < n; p += Page) {
      const int64_t o = at + p, length = std::min(Page, Size - o);
      const bool isOld = std::memcmp(now.data() + p, old.data() + p, static_cast<size_t>(length)) == 0;
      const bool isNew = o < R.NewSize && length == std::min(Page, R.NewSize - o) &&
                         PageHash(now.data() + p, length) == R.NewPages[static_cast<size_t>(o / Page)];
      if (!isOld && !isNew) return TKeptState::Foreign;
      allOld = allOld && isOld;
      allNew = allNew && isNew;
    }
  }
  return allNew ? TKeptState::Complete : allOld ? TKeptState::Unchanged : TKeptState::Interrupted;
}

// Writes the first Size bytes of Copy over Target, which ends up Size long,
// and syncs it.
int PutBack(int Target, int Copy, int64_t Size) {
  const int e = CopyContent(Copy, Target, Size, TSafeWriteFile::Target);
  return e ? e : Sync(Target, TSafeWriteFile::Target);
}

// Settles the copy Name of Folder (open as Copy, locked, its record R) for
// the file Leaf of Dir: a file still as its save left it half written gets
// its old content back; the copy is deleted unless it may be needed later
// (the file could not be read, written or locked now). True when put back.
bool SettleCopy(int Folder, const std::string& Name, int Copy, const TKeepRecord& R, int Dir,
                const std::string& Leaf) {
  bool writable = true;
  TFd target(::openat(Dir, Leaf.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (target.Get() < 0 && errno == EACCES) {
    writable = false;
    target.Reset(::openat(Dir, Leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  }
  struct stat st {};
  if (target.Get() < 0 || ::fstat(target.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (static_cast<uint64_t>(st.st_dev) != R.Device || static_cast<uint64_t>(st.st_ino) != R.Inode) {
    Drop(Folder, Name);
    return false;
  }
  // A save under way holds the file locked; it settles the copy itself.
  if (::flock(target.Get(), LOCK_EX | LOCK_NB) != 0) return false;
  const TKeptState state = Classify(target.Get(), st.st_size, Copy, R);
  if (state == TKeptState::Interrupted &&
      (!writable || PutBack(target.Get(), Copy, R.OldSize) != 0 || CloseChecked(target, TSafeWriteFile::Target) != 0))
    return false;
  Drop(Folder, Name);
  return state == TKeptState::Interrupted;
}

// One settling at a time in the process: the open dialog's preview reads
// the file on its own thread while the window reads it on the main one, and
// neither may read it while the other puts it back.
std::mutex& SettleLock() {
  static std::mutex lock;
  return lock;
}

// What saves of the file Leaf of Dir left when their process was killed:
// every copy of old content kept for the file (beside it or in the cache
// folder) is settled, and with Temporaries the named temporary files of
// saves of this name whose process is gone are deleted. True when the file
// got its old content back.
bool SettleInterruptedSaves(int Dir, const std::string& Leaf, bool Temporaries) {
  std::lock_guard<std::mutex> guard(SettleLock());
  struct stat st {};
  const bool exists = ::fstatat(Dir, Leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode);
  bool restored = false;
  auto settle = [&](int Folder, const std::string& Name) {
    TFd kept(OpenStale(Folder, Name));
    TKeepRecord r;
    if (kept.Get() < 0) return;
    if (!ReadKeepRecord(kept.Get(), r)) Drop(Folder, Name);
    else restored = SettleCopy(Folder, Name, kept.Get(), r, Dir, Leaf) || restored;
  };
  const std::string tempStem = WorkStem(Leaf);
  for (const std::string& name : NamesIn(Dir)) {
    if (Temporaries && (IsWorkName(name, tempStem, ".tmp") || LeftByEarlierVersion(name, tempStem)))
      DeleteStale(Dir, name);
    else if (exists && IsKeepBesideOf(name, st.st_ino))
      settle(Dir, name);
  }
  if (!exists) return restored;
  const std::string cache = UserCacheFolder(false, nullptr);
  TFd cacheDir(cache.empty() ? -1 : OpenFolder(cache));
  if (cacheDir.Get() < 0) return restored;
  const std::string stem = CacheStem(st);
  for (const std::string& name : NamesIn(cacheDir.Get())) {
    if (Temporaries && IsWorkName(name, stem, ".tmp")) DeleteStale(cacheDir.Get(), name);
    else if (IsWorkName(name, stem, ".keep")) settle(cacheDir.Get(), name);
  }
  return restored;
}

// The messages for files put back, until the program takes them.
std::mutex RestoredLock;
std::vector<std::string> Restored;

void NoteRestored(const std::string& FileName) {
  std::lock_guard<std::mutex> guard(RestoredLock);
  Restored.push_back("The last save of \"" + FileName + "\" was interrupted; its earlier content was restored.");
}

// ---- writing in place

// How long a save waits for another save of the same file to end.
constexpr int InPlaceLockWaitMs = 10000;

int TryLockTarget(int Fd) {
  if (const int e = Fault(TSafeWriteCall::Lock, TSafeWriteFile::Target)) return e;
  return ::flock(Fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
}

// The copy of the old content an in-place save keeps: deleted by Remove once
// the new content is on the disk, else left for the file's next reader.
struct TBackup {
  TFd Fd;
  TFd OwnFolder;           // the cache folder, when the copy is there
  int Folder = -1;
  std::string FolderPath;  // the folder's path, for the person
  std::string Name;
  void Remove() {
    if (Name.empty()) return;
    Drop(Folder, Name);
    Name.clear();
  }
};

// Copies Size bytes of Target and then Record into a new file of Folder,
// syncs it, and only then names it KeepStem... so that a ".keep" file is
// always complete.
int KeepIn(int Folder, const std::string& TempStem, const std::string& KeepStem, int Target, int64_t Size,
           const std::vector<uint8_t>& Record, TBackup& Backup) {
  std::string name;
  TFd fd(CreateWorkFile(Folder, TempStem, ".tmp", 0600, TSafeWriteFile::Backup, name));
  if (fd.Get() < 0) return errno;
  int e = CopyContent(Target, fd.Get(), Size, TSafeWriteFile::Backup);
  if (!e) e = WriteAt(fd.Get(), Record.data(), static_cast<int64_t>(Record.size()), Size, TSafeWriteFile::Backup);
  if (!e) e = Sync(fd.Get(), TSafeWriteFile::Backup);
  std::string keep;
  if (!e && name.empty()) {
    e = LinkIn(fd.Get(), Folder, KeepStem, ".keep", TSafeWriteFile::Backup, keep);
  } else if (!e) {
    keep = KeepStem + RandomNamePart() + ".keep";
    e = RenameIn(Folder, name, keep, TSafeWriteFile::Backup);
  }
  if (e) {
    if (!name.empty()) ::unlinkat(Folder, name.c_str(), 0);
    return e;
  }
  SyncFolder(Folder);
  Backup.Folder = Folder;
  Backup.Name = keep;
  Backup.Fd.Reset(fd.Release());
  return 0;
}

// Keeps the old content beside the target, or in the person's cache folder
// when the target's folder refuses new files; a failure names the place.
void KeepOldContent(const std::string& FileName, int Target, const struct stat& St, int Dir, const std::string& Leaf,
                    const std::string& FolderPath, bool Beside, const std::vector<uint8_t>& Record,
                    TBackup& Backup) {
  if (Beside) {
    const int e = KeepIn(Dir, WorkStem(Leaf), KeepStemBeside(Leaf, St), Target, St.st_size, Record, Backup);
    Backup.FolderPath = FolderPath;
    if (!e) return;
    if (e != EACCES && e != EPERM) FailWrite(FileName, e);
  }
  const std::string nowhere = "no copy of its content can be kept while it is written in place: ";
  std::string problem;
  const std::string cache = UserCacheFolder(true, &problem);
  if (cache.empty()) FailWrite(FileName, nowhere + problem);
  Backup.OwnFolder.Reset(OpenFolder(cache));
  Backup.FolderPath = cache;
  const std::string stem = CacheStem(St);
  const int e = Backup.OwnFolder.Get() < 0 ? errno
                                           : KeepIn(Backup.OwnFolder.Get(), stem, stem, Target, St.st_size, Record, Backup);
  if (e) FailWrite(FileName, nowhere + "\"" + cache + "\": " + ReasonOf(e));
}

// The new content over the old, synced. Growing the file reserves the space
// first, so that a full disk is found before the old content is touched.
int WriteContent(int Fd, const std::vector<uint8_t>& Content, int64_t OldSize) {
  const auto size = static_cast<int64_t>(Content.size());
  if (size > OldSize) {
    const int r = ::posix_fallocate(Fd, 0, static_cast<off_t>(size));
    if (r != 0 && r != EOPNOTSUPP && r != EINVAL) return r;
  }
  if (const int e = WriteAt(Fd, Content.data(), size, 0, TSafeWriteFile::Target)) return e;
  if (const int e = Truncate(Fd, size, TSafeWriteFile::Target)) return e;
  return Sync(Fd, TSafeWriteFile::Target);
}

// Gives the new file the owner, group and mode of the one it replaces. A
// process that may not give the owner still tries the group; the mode comes
// last because a change of owner clears the set-id bits.
void KeepAttributes(int Handle, const struct stat& Old) {
  struct stat now {};
  if (::fstat(Handle, &now) == 0 && (now.st_uid != Old.st_uid || now.st_gid != Old.st_gid)) {
    if (::fchown(Handle, Old.st_uid, Old.st_gid) != 0 && ::fchown(Handle, static_cast<uid_t>(-1), Old.st_gid) != 0) {
      // Neither may be kept: the file belongs to whoever saved it.
    }
  }
  ::fchmod(Handle, Old.st_mode & 07777);
}

// The target (St) could not be written (Error): its old content goes back in
// place; where the disk refuses that too, the copy becomes the person's
// file: renamed over the target when it lies beside it (the file's other
// links keep the damaged content), else left under a name of its own. The
// message says which.
[[noreturn]] void FailInPlace(const std::string& FileName, int Dir, const std::string& Leaf, const struct stat& St,
                              TBackup& Backup, int Error) {
  TFd fd(::openat(Dir, Leaf.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat now {};
  if (fd.Get() >= 0 && ::fstat(fd.Get(), &now) == 0 && now.st_dev == St.st_dev && now.st_ino == St.st_ino &&
      PutBack(fd.Get(), Backup.Fd.Get(), St.st_size) == 0 && CloseChecked(fd, TSafeWriteFile::Target) == 0) {
    Backup.Remove();
    FailWrite(FileName, Error);
  }
  fd.Reset();
  // First out of the copies' names, so that nothing settles it later as a
  // copy; then cut to the old content alone.
  std::string kept = "(earlier) " + Leaf;
  if (::renameat2(Backup.Folder, Backup.Name.c_str(), Backup.Folder, kept.c_str(), RENAME_NOREPLACE) != 0) {
    kept = "(earlier " + RandomNamePart() + ") " + Leaf;
    if (::renameat2(Backup.Folder, Backup.Name.c_str(), Backup.Folder, kept.c_str(), RENAME_NOREPLACE) != 0)
      FailWrite(FileName, ReasonOf(Error) + "; the file was damaged, and its earlier content is kept in \"" +
                              Backup.FolderPath + Backup.Name + "\"");
  }
  Backup.Name.clear();
  SyncFolder(Backup.Folder);
  bool cut = Truncate(Backup.Fd.Get(), St.st_size, TSafeWriteFile::Backup) == 0;
  if (cut) {
    KeepAttributes(Backup.Fd.Get(), St);
    cut = Sync(Backup.Fd.Get(), TSafeWriteFile::Backup) == 0;
  }
  if (cut && Backup.Folder == Dir && RenameIn(Dir, kept, Leaf, TSafeWriteFile::Backup) == 0) {
    SyncFolder(Dir);
    FailWrite(FileName, ReasonOf(Error) + "; its earlier content was put back, but its other links keep the damaged one");
  }
  FailWrite(FileName, ReasonOf(Error) + "; the file was damaged, and its earlier content is kept in \"" +
                          Backup.FolderPath + kept + "\"");
}

void WriteInPlace(const std::string& FileName, int Dir, const std::string& Leaf, const std::string& FolderPath,
                  TMemoryStream& Content, bool Beside) {
  TFd target(::openat(Dir, Leaf.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (target.Get() < 0) FailCreate(FileName, errno);
  struct stat st {};
  if (::fstat(target.Get(), &st) != 0) FailCreate(FileName, errno);
  if (!S_ISREG(st.st_mode)) FailCreate(FileName, NotRegular);
  // One in-place save of a file at a time, in every process: two at once
  // would mix their contents. A file system without locks goes on unlocked.
  if (LockExclusiveWithin(target.Get(), InPlaceLockWaitMs, TryLockTarget) == EWOULDBLOCK)
    FailCreate(FileName, "another program is saving it");
  // Held through a second descriptor until the copy is gone.
  const TFd hold(::fcntl(target.Get(), F_DUPFD_CLOEXEC, 0));
  if (hold.Get() < 0 || ::fstat(target.Get(), &st) != 0) FailCreate(FileName, errno);
  TBackup backup;
  KeepOldContent(FileName, target.Get(), st, Dir, Leaf, FolderPath, Beside,
                 KeepRecord(st, FolderPath + Leaf, Content.Bytes()), backup);
  int e = WriteContent(target.Get(), Content.Bytes(), st.st_size);
  if (!e) e = CloseChecked(target, TSafeWriteFile::Target);
  if (e) {
    target.Reset();
    FailInPlace(FileName, Dir, Leaf, st, backup, e);
  }
  backup.Remove();
}

// ---- the new content in a file of its own

// The new file as a stream; the first failing write or resize is kept.
class TContentStream : public TStream {
public:
  explicit TContentStream(int Fd) : FFd(Fd) {}
  int64_t Read(void* Buffer, int64_t Count) override {
    int64_t done = 0;
    auto* p = static_cast<uint8_t*>(Buffer);
    while (done < Count) {
      const ssize_t n = ::pread(FFd, p + done, static_cast<size_t>(Count - done), static_cast<off_t>(FPos + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    FPos += done;
    return done;
  }
  int64_t Write(const void* Buffer, int64_t Count) override {
    if (Count <= 0 || FError) return 0;
    int64_t done = 0;
    FError = WriteAt(FFd, static_cast<const uint8_t*>(Buffer), Count, FPos, TSafeWriteFile::NewContent, &done);
    FPos += done;
    FSize = std::max(FSize, FPos);
    // The disk starts on each megabyte written while the rest is produced,
    // so that the closing fsync, which alone makes the content durable,
    // finds little left to wait for.
    if (FPos - FWritebackFrom >= Chunk) {
      ::sync_file_range(FFd, static_cast<off_t>(FWritebackFrom), static_cast<off_t>(FPos - FWritebackFrom),
                        SYNC_FILE_RANGE_WRITE);
      FWritebackFrom = FPos;
    }
    return done;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    const int64_t pos = (Origin == soBeginning ? 0 : Origin == soCurrent ? FPos : FSize) + Offset;
    if (pos >= 0) FPos = pos;
    return FPos;
  }
  int64_t Size() override { return FSize; }
  void SetSize(int64_t NewSize) override {
    if (NewSize < 0 || ::ftruncate(FFd, static_cast<off_t>(NewSize)) != 0) {
      if (!FError) FError = NewSize < 0 ? EINVAL : errno;
      throw EWriteError("Stream write error");
    }
    FSize = NewSize;
    FPos = std::min(FPos, NewSize);
  }
  int Error() const { return FError; }

private:
  int FFd;
  int64_t FPos = 0;
  int64_t FWritebackFrom = 0;  // writeback was started for the bytes before this
  int64_t FSize = 0;
  int FError = 0;
};

}  // namespace

void SafeWriteFile(const std::string& FileName, const TSafeWriteProc& Produce) {
  const std::string given = ExtractFileName(FileName);
  if (given.empty() || given == "." || given == "..") FailCreate(FileName, FileName.empty() ? ENOENT : EISDIR);
  std::string leaf;
  TFd resolved(OpenTargetFolder(FileName, leaf));
  if (resolved.Get() < 0) FailCreate(FileName, errno);
  if (leaf == "..") FailCreate(FileName, EISDIR);
  TFd dir(UsableFolder(resolved));

  struct stat old {};
  const bool exists = ::fstatat(dir.Get(), leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  if (!exists && errno != ENOENT) FailCreate(FileName, errno);
  if (exists) {
    if (S_ISDIR(old.st_mode)) FailCreate(FileName, EISDIR);
    if (S_ISLNK(old.st_mode)) FailCreate(FileName, ELOOP);  // a link put there since it was followed
    // A pipe or a device would block the save or be replaced by a file.
    if (!S_ISREG(old.st_mode)) FailCreate(FileName, NotRegular);
    // What a plain open() for writing refuses (a write-protected file, a
    // read-only file system) is refused, although a rename could replace it.
    if (::faccessat(dir.Get(), leaf.c_str(), W_OK, AT_EACCESS) != 0) FailCreate(FileName, errno);
  }
  // A rename would cut the other hard links off the new content, and is
  // impossible where the folder refuses new files.
  const bool folderWritable = ::faccessat(dir.Get(), ".", W_OK, AT_EACCESS) == 0;
  const bool inPlace = exists && (old.st_nlink > 1 || !folderWritable);
  // What earlier saves of the file left when their process was killed is
  // settled before anything else; this save says nothing of it.
  SettleInterruptedSaves(dir.Get(), leaf, true);
  if (inPlace) {
    TMemoryStream content;
    Produce(content);
    WriteInPlace(FileName, dir.Get(), leaf, FolderPathOf(dir.Get()), content, folderWritable);
    return;
  }

  // Readable by the person only until it is complete; a new file gets the
  // usual permissions (limited by the umask) from the start.
  std::string temp;
  TFd fd(CreateWorkFile(dir.Get(), WorkStem(leaf), ".tmp", exists ? 0600 : 0666, TSafeWriteFile::NewContent, temp));
  if (fd.Get() < 0) FailCreate(FileName, errno);
  try {
    TContentStream out(fd.Get());
    try {
      Produce(out);
    } catch (...) {
      // A writer that noticed the failing disk reports it in its own words;
      // the person learns the file and the system's reason instead.
      if (out.Error()) FailWrite(FileName, out.Error());
      throw;
    }
    if (out.Error()) FailWrite(FileName, out.Error());
    if (exists) KeepAttributes(fd.Get(), old);
    if (const int e = Sync(fd.Get(), TSafeWriteFile::NewContent)) FailWrite(FileName, e);
    if (temp.empty()) {
      if (const int e = LinkIn(fd.Get(), dir.Get(), WorkStem(leaf), ".tmp", TSafeWriteFile::NewContent, temp))
        FailWrite(FileName, e);
    }
    // A second lock keeps the file in use between the close and the rename.
    TFd hold(::openat(dir.Get(), temp.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (hold.Get() >= 0) ::flock(hold.Get(), LOCK_SH);
    if (const int e = CloseChecked(fd, TSafeWriteFile::NewContent)) FailWrite(FileName, e);
    if (const int e = RenameIn(dir.Get(), temp, leaf, TSafeWriteFile::NewContent)) FailWrite(FileName, e);
  } catch (...) {
    if (!temp.empty()) ::unlinkat(dir.Get(), temp.c_str(), 0);
    throw;
  }
  SyncFolder(dir.Get());
}

void SafeWriteFile(const std::string& FileName, const void* Data, int64_t Size) {
  SafeWriteFile(FileName, [Data, Size](TStream& Stream) { Stream.WriteBuffer(Data, Size); });
}

TSafeWriteFaultHook SetSafeWriteFaultHook(TSafeWriteFaultHook Hook) {
  TSafeWriteFaultHook old = std::move(FaultHook());
  FaultHook() = std::move(Hook);
  return old;
}

void RecoverInterruptedSave(const std::string& FileName) {
  try {
    const std::string given = ExtractFileName(FileName);
    std::string leaf;
    if (given.empty() || given == "." || given == "..") return;
    TFd found(OpenTargetFolder(FileName, leaf));
    if (found.Get() < 0) return;
    TFd dir(UsableFolder(found));
    if (SettleInterruptedSaves(dir.Get(), leaf, false)) NoteRestored(FileName);
  } catch (...) {
    // Reading goes on with the file as it is.
  }
}

void RecoverInterruptedSaves() {
  try {
    const std::string cache = UserCacheFolder(false, nullptr);
    TFd folder(cache.empty() ? -1 : OpenFolder(cache));
    if (folder.Get() < 0) return;
    for (const std::string& name : NamesIn(folder.Get())) {
      if (IsCacheWorkName(name, ".tmp")) {
        DeleteStale(folder.Get(), name);
        continue;
      }
      if (!IsCacheWorkName(name, ".keep")) continue;
      TFd kept(OpenStale(folder.Get(), name));
      TKeepRecord r;
      if (kept.Get() < 0) continue;
      if (!ReadKeepRecord(kept.Get(), r)) {
        Drop(folder.Get(), name);
        continue;
      }
      // A folder that is not there (a disk not mounted now) keeps the copy
      // for later; a file that is gone, or is another one now, does not.
      std::string leaf;
      TFd found(OpenTargetFolder(r.Path, leaf));
      if (found.Get() < 0) continue;
      TFd dir(UsableFolder(found));
      struct stat st {};
      const bool same = ::fstatat(dir.Get(), leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        static_cast<uint64_t>(st.st_dev) == r.Device && static_cast<uint64_t>(st.st_ino) == r.Inode;
      if (!same) {
        Drop(folder.Get(), name);
        continue;
      }
      kept.Reset();  // the settling locks it again
      if (SettleInterruptedSaves(dir.Get(), leaf, false)) NoteRestored(r.Path);
    }
  } catch (...) {
    // The program starts all the same.
  }
}

std::vector<std::string> TakeRestoredSaveMessages() {
  std::lock_guard<std::mutex> guard(RestoredLock);
  return std::exchange(Restored, {});
}

// ---- TWriteCheckStream

int64_t TWriteCheckStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return FTarget.Write(Buffer, Count);
  const int64_t n = FTarget.Write(Buffer, Count);
  if (n != Count) FFailed = true;
  return n;
}

void TWriteCheckStream::SetSize(int64_t NewSize) {
  try {
    FTarget.SetSize(NewSize);
  } catch (...) {
    FFailed = true;
    throw;
  }
}

void TWriteCheckStream::Check(const std::string& Text) const {
  if (FFailed) throw EWriteError(Text);
}
