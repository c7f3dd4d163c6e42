#include "platform/base/safe_write.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/strings.h"

namespace {

std::string CannotCreate(const std::string& FileName, int Error) {
  return "Cannot create file \"" + FileName + "\": " + std::strerror(Error ? Error : EIO);
}

[[noreturn]] void FailCreate(const std::string& FileName, int Error) {
  throw EFCreateError(CannotCreate(FileName, Error));
}

[[noreturn]] void FailWrite(const std::string& FileName, int Error) {
  throw EWriteError(CannotCreate(FileName, Error));
}

// The file a save replaces: symbolic links are followed to the name they
// lead to (which need not exist yet), so that the links themselves stay.
std::string FollowLinks(const std::string& FileName) {
  std::string name = FileName;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    char buf[4096];
    const ssize_t n = ::readlink(name.c_str(), buf, sizeof(buf));
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof(buf))) FailCreate(FileName, n < 0 ? errno : ENAMETOOLONG);
    const std::string link(buf, static_cast<size_t>(n));
    name = link[0] == '/' ? link : ExtractFilePath(name) + link;
  }
  FailCreate(FileName, ELOOP);
}

// Creates a new, empty file beside Target (the usual permissions, limited by
// the umask); -1 with errno set when the folder refuses it.
int CreateTempBeside(const std::string& Target, std::string& TempName) {
  static std::atomic<unsigned> counter{0};
  std::string name = ExtractFileName(Target);
  if (name.size() > 200) name.resize(200);  // room for the suffix within the longest name
  const std::string stem = ExtractFilePath(Target) + "." + name + "." + IntToStr(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    TempName = stem + IntToStr(++counter) + ".tmp";
    const int fd = ::open(TempName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
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

// Makes the rename itself durable. A folder that cannot be flushed (some
// file systems refuse it) changes nothing about the file's content.
void SyncFolder(const std::string& Dir) {
  const int fd = ::open(Dir.empty() ? "." : Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Overwrites an existing file with content already complete in memory.
// Growing a regular file reserves the space first, so that a full disk is
// found before the old content is touched.
void WriteInPlace(const std::string& FileName, const std::string& Target, const struct stat& Old,
                  TMemoryStream& Content) {
  const int fd = ::open(Target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) FailCreate(FileName, errno);
  TFileStream file(fd, Target);
  const bool regular = S_ISREG(Old.st_mode);
  const int64_t size = Content.Size();
  if (regular && size > Old.st_size) {
    const int r = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (r != 0 && r != EOPNOTSUPP && r != EINVAL) FailWrite(FileName, r);
  }
  if (file.Write(Content.Memory(), size) != size) FailWrite(FileName, file.Error());
  if (regular && ::ftruncate(fd, static_cast<off_t>(size)) != 0) FailWrite(FileName, errno);
  if (!file.Close(regular)) FailWrite(FileName, file.Error());
}

}  // namespace

void SafeWriteFile(const std::string& FileName, const TSafeWriteProc& Produce) {
  if (ExtractFileName(FileName).empty()) FailCreate(FileName, FileName.empty() ? ENOENT : EISDIR);
  const std::string target = FollowLinks(FileName);
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists && S_ISDIR(old.st_mode)) FailCreate(FileName, EISDIR);

  // A rename would cut the other hard links off the new content, and would
  // replace a device or pipe by a plain file.
  bool inPlace = exists && (!S_ISREG(old.st_mode) || old.st_nlink > 1);
  std::string temp;
  int fd = -1;
  if (!inPlace) {
    fd = CreateTempBeside(target, temp);
    if (fd < 0) {
      const int err = errno;
      if (exists && (err == EACCES || err == EPERM) && ::access(target.c_str(), W_OK) == 0) inPlace = true;
      else FailCreate(FileName, err);
    }
  }
  if (inPlace) {
    TMemoryStream content;
    Produce(content);
    WriteInPlace(FileName, target, old, content);
    return;
  }

  try {
    TFileStream file(fd, temp);
    if (exists) KeepAttributes(fd, old);
    TWriteCheckStream checked(file);
    try {
      Produce(checked);
    } catch (...) {
      // A writer that noticed the failing disk reports it in its own words;
      // the person learns the file and the system's reason instead.
      if (file.Error()) FailWrite(FileName, file.Error());
      throw;
    }
    if (checked.Failed() || file.Error()) FailWrite(FileName, file.Error());
    if (!file.Close(true)) FailWrite(FileName, file.Error());
    if (::rename(temp.c_str(), target.c_str()) != 0) FailWrite(FileName, errno);
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
  SyncFolder(ExtractFilePath(target));
}

void SafeWriteFile(const std::string& FileName, const void* Data, int64_t Size) {
  SafeWriteFile(FileName, [Data, Size](TStream& Stream) { Stream.WriteBuffer(Data, Size); });
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
