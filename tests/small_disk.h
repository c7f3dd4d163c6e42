// Disks that fill up, for the tests of saving: a small tmpfs mounted for the
// test (root only: other runs skip those tests), and a limit on the size of
// the files the process writes (write() then fails with EFBIG after N bytes),
// which needs no privilege and always runs.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

#include <dirent.h>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

// A folder on a tmpfs of Kilobytes; Mounted() is false where mounting is
// refused (not root, or a container without the privilege).
class TSmallDisk {
public:
  explicit TSmallDisk(int Kilobytes = 64, bool ReadOnly = false) {
    char tmpl[] = "/tmp/quillon_disk_XXXXXX";
    if (!mkdtemp(tmpl)) return;
    FDir = std::string(tmpl) + "/";
    const std::string options = "size=" + std::to_string(Kilobytes) + "k";
    FMounted = ::mount("tmpfs", tmpl, "tmpfs", ReadOnly ? MS_RDONLY : 0, options.c_str()) == 0;
  }
  ~TSmallDisk() {
    if (FMounted) ::umount2(FDir.c_str(), MNT_DETACH);
    if (!FDir.empty()) ::rmdir(FDir.c_str());
  }
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;
  bool Mounted() const { return FMounted; }
  const std::string& Dir() const { return FDir; }
  // Makes the disk read-only (a remount).
  bool MakeReadOnly() {
    return ::mount("tmpfs", FDir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  // Fills the disk up to its last few bytes with a file of its own.
  void Fill() {
    std::ofstream out(FDir + "filler", std::ios::binary);
    std::vector<char> block(4096, 'f');
    while (out.write(block.data(), static_cast<std::streamsize>(block.size()))) {
    }
  }

private:
  std::string FDir;
  bool FMounted = false;
};

#define QUILLON_NEED_SMALL_DISK(Disk) \
  if (!(Disk).Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root?)"

// While alive, every file this process writes stops growing at Bytes:
// write() fails with EFBIG, as a full disk fails with ENOSPC.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t Bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldSignal = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = Bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    ::signal(SIGXFSZ, FOldSignal);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit FOld{};
  sighandler_t FOldSignal = SIG_DFL;
};

inline std::vector<uint8_t> ReadWholeFile(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteWholeFile(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  std::ofstream(Name, std::ios::binary).write(reinterpret_cast<const char*>(Bytes.data()),
                                              static_cast<std::streamsize>(Bytes.size()));
}

// The names in a folder (no "." or ".."), to see that no temporary file stays.
inline std::set<std::string> FolderNames(const std::string& Dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(Dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    ::closedir(d);
  }
  return names;
}
