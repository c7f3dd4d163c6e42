// SafeWriteFile: the new content in a file of its own, renamed over the
// target once it is on the disk; or, for a target that must keep its inode,
// written in place with the old content kept aside until the new one is on
// the disk. Every system call that a disk can fail goes through a function
// below that asks the fault hook first, so tests can fail each of them.
#include "platform/base/safe_write.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

[[noreturn]] void FailWrite(const std::string& FileName, int Error) {
  throw EWriteError(CannotCreate(FileName, ReasonOf(Error)));
}

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
  return ::ftruncate(To, static_cast<off_t>(Size)) == 0 ? 0 : errno;
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

bool IsWorkName(const std::string& Name, const std::string& Stem, const std::string& Suffix) {
  if (Name.size() != Stem.size() + 16 + Suffix.size() || Name.compare(0, Stem.size(), Stem) != 0 ||
      Name.compare(Name.size() - Suffix.size(), Suffix.size(), Suffix) != 0)
    return false;
  return std::all_of(Name.begin() + static_cast<ptrdiff_t>(Stem.size()),
                     Name.begin() + static_cast<ptrdiff_t>(Stem.size() + 16),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
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
  // A copy of a write-only file may be opened for writing only.
  if (fd.Get() < 0 && errno == EACCES) fd.Reset(::openat(Folder, Name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat st {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
      st.st_nlink != 1 || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
    return -1;
  return fd.Release();
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

// Puts the content of Backup back into the target Leaf of Dir, when that is
// still the file Target; true once it is on the disk.
bool PutBack(int Dir, const std::string& Leaf, const struct stat& Target, int Backup) {
  TFd fd(::openat(Dir, Leaf.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat now {}, kept {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &now) != 0 || now.st_dev != Target.st_dev || now.st_ino != Target.st_ino ||
      ::fstat(Backup, &kept) != 0)
    return false;
  return CopyContent(Backup, fd.Get(), kept.st_size, TSafeWriteFile::Target) == 0 &&
         Sync(fd.Get(), TSafeWriteFile::Target) == 0 && CloseChecked(fd, TSafeWriteFile::Target) == 0;
}

// Deletes in Folder the temporary files of saves (TempStem) whose process is
// gone, and puts copies of old content (KeepStem) left by killed in-place
// saves of Target back into it.
void CleanUpFolder(int Folder, const std::string& TempStem, const std::string& KeepStem, int Dir,
                   const std::string& Leaf, const struct stat* Target) {
  for (const std::string& name : NamesIn(Folder)) {
    if (IsWorkName(name, TempStem, ".tmp") || LeftByEarlierVersion(name, TempStem)) {
      TFd stale(OpenStale(Folder, name));
      if (stale.Get() >= 0) ::unlinkat(Folder, name.c_str(), 0);
    } else if (Target && IsWorkName(name, KeepStem, ".keep")) {
      TFd kept(OpenStale(Folder, name));
      if (kept.Get() >= 0 && PutBack(Dir, Leaf, *Target, kept.Get())) {
        ::unlinkat(Folder, name.c_str(), 0);
        SyncFolder(Folder);
      }
    }
  }
}

// What saves of this target left behind when their process was killed.
void RecoverAndCleanUp(int Dir, const std::string& Leaf, const struct stat* Target, bool InPlace) {
  CleanUpFolder(Dir, WorkStem(Leaf), Target ? KeepStemBeside(Leaf, *Target) : std::string(), Dir, Leaf, Target);
  if (!InPlace || !Target) return;
  const std::string cache = UserCacheFolder();
  TFd cacheDir(cache.empty() ? -1 : OpenFolder(cache));
  if (cacheDir.Get() < 0) return;
  const std::string cacheStem = CacheStem(*Target);
  CleanUpFolder(cacheDir.Get(), cacheStem, cacheStem, Dir, Leaf, Target);
}

// ---- writing in place

// The copy of the old content an in-place save keeps: deleted by Remove once
// the new content is on the disk, else left for the next save to put back.
struct TBackup {
  TFd Fd;
  TFd OwnFolder;  // the cache folder, when the copy is there
  int Folder = -1;
  std::string Name;
  void Remove() {
    if (Name.empty()) return;
    ::unlinkat(Folder, Name.c_str(), 0);
    SyncFolder(Folder);
    Name.clear();
  }
};

// Copies Size bytes of Target into a new file of Folder, syncs it, and only
// then names it KeepStem... so that a ".keep" file is always complete.
int KeepIn(int Folder, const std::string& TempStem, const std::string& KeepStem, int Target, int64_t Size,
           TBackup& Backup) {
  std::string name;
  TFd fd(CreateWorkFile(Folder, TempStem, ".tmp", 0600, TSafeWriteFile::Backup, name));
  if (fd.Get() < 0) return errno;
  int e = CopyContent(Target, fd.Get(), Size, TSafeWriteFile::Backup);
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
// when the target's folder refuses new files.
int KeepOldContent(int Target, const struct stat& St, int Dir, const std::string& Leaf, bool Beside,
                   TBackup& Backup) {
  if (Beside) {
    const int e = KeepIn(Dir, WorkStem(Leaf), KeepStemBeside(Leaf, St), Target, St.st_size, Backup);
    if (e != EACCES && e != EPERM) return e;
  }
  const std::string cache = UserCacheFolder();
  if (cache.empty()) return EACCES;
  Backup.OwnFolder.Reset(OpenFolder(cache));
  if (Backup.OwnFolder.Get() < 0) return errno;
  const std::string stem = CacheStem(St);
  return KeepIn(Backup.OwnFolder.Get(), stem, stem, Target, St.st_size, Backup);
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
  if (::ftruncate(Fd, static_cast<off_t>(size)) != 0) return errno;
  return Sync(Fd, TSafeWriteFile::Target);
}

void WriteInPlace(const std::string& FileName, int Dir, const std::string& Leaf, TMemoryStream& Content,
                  bool Beside) {
  TFd target(::openat(Dir, Leaf.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (target.Get() < 0) FailCreate(FileName, errno);
  struct stat st {};
  if (::fstat(target.Get(), &st) != 0) FailCreate(FileName, errno);
  if (!S_ISREG(st.st_mode)) FailCreate(FileName, NotRegular);
  TBackup backup;
  if (const int e = KeepOldContent(target.Get(), st, Dir, Leaf, Beside, backup)) FailWrite(FileName, e);
  int e = WriteContent(target.Get(), Content.Bytes(), st.st_size);
  if (!e) e = CloseChecked(target, TSafeWriteFile::Target);
  if (e) {
    target.Reset();
    if (PutBack(Dir, Leaf, st, backup.Fd.Get())) backup.Remove();
    FailWrite(FileName, e);
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

// The file a save replaces: symbolic links are followed to the name they
// lead to (which need not exist yet), so that the links themselves stay. A
// link in a sticky folder that others may write is followed only when it is
// the person's or the folder owner's, as the kernel's rule for such folders
// has it; otherwise another user's link could make the save replace any file
// the person may write.
std::string FollowLinks(const std::string& FileName) {
  std::string name = FileName;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    const std::string folder = ExtractFilePath(name);
    struct stat dir {};
    if (st.st_uid != ::geteuid() && ::stat(folder.empty() ? "." : folder.c_str(), &dir) == 0 &&
        (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH) && st.st_uid != dir.st_uid)
      FailCreate(FileName, EACCES);
    char buf[4096];
    const ssize_t n = ::readlink(name.c_str(), buf, sizeof(buf));
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof(buf))) FailCreate(FileName, n < 0 ? errno : ENAMETOOLONG);
    const std::string link(buf, static_cast<size_t>(n));
    name = link[0] == '/' ? link : folder + link;
  }
  FailCreate(FileName, ELOOP);
}

}  // namespace

void SafeWriteFile(const std::string& FileName, const TSafeWriteProc& Produce) {
  if (ExtractFileName(FileName).empty()) FailCreate(FileName, FileName.empty() ? ENOENT : EISDIR);
  const std::string target = FollowLinks(FileName);
  const std::string leaf = ExtractFileName(target);
  if (leaf == "." || leaf == "..") FailCreate(FileName, EISDIR);
  TFd dir(OpenFolder(ExtractFilePath(target)));
  if (dir.Get() < 0) FailCreate(FileName, errno);

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
  RecoverAndCleanUp(dir.Get(), leaf, exists ? &old : nullptr, inPlace);
  if (inPlace) {
    TMemoryStream content;
    Produce(content);
    WriteInPlace(FileName, dir.Get(), leaf, content, folderWritable);
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

// ---- TWriteCheckStream

int64_t TWriteCheckStream::Write(const void* Buffer, int64_t Count) {
  if (Count <= 0) return FTarget.Write(Buffer, Count);
  FHanded += Count;
  const int64_t n = FTarget.Write(Buffer, Count);
  if (n > 0) FWritten += n;
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
