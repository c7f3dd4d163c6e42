#include "platform/base/files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

bool ForceDirectories(const std::string& Dir) {
  if (Dir.empty()) return false;
  std::string path;
  size_t i = 0;
  while (i <= Dir.size()) {
    size_t j = Dir.find('/', i);
    if (j == std::string::npos) j = Dir.size();
    path = Dir.substr(0, j);
    if (!path.empty() && !DirectoryExists(path) && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST)
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

std::string UserConfigFolder() {
  std::string base;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    base = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    base = std::string(h) + "/.config";
  } else {
    base = "/tmp";
  }
  std::string dir = IncludeTrailingPathDelimiter(base) + "quillon/";
  ForceDirectories(dir.substr(0, dir.size() - 1));
  return dir;
}
