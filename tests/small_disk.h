// Disks that fill up, for the tests of saving: a small tmpfs mounted for the
// test (root only: other runs skip those tests), and a limit on the size of
// the files the process writes (write() then fails with EFBIG after N bytes),
// which needs no privilege and always runs.
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <set>
#include <string>
#include <thread>
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

// While alive, every file this process writes stops growing at Bytes, as
// under "ulimit -f": write() fails with EFBIG, as a full disk fails with
// ENOSPC. Only a process that ignores SIGXFSZ survives that, as both
// programs do from their start-up (IgnoreFileSizeSignal, which the test must
// call itself, as the programs' start-up does): this helper leaves the
// signal alone and refuses to set the limit for a process that would die.
class TFileSizeLimit {
public:
  explicit TFileSizeLimit(rlim_t Bytes) {
    struct sigaction now {};
    ::sigaction(SIGXFSZ, nullptr, &now);
    if (now.sa_handler != SIG_IGN) {
      ADD_FAILURE() << "SIGXFSZ would end the test: call IgnoreFileSizeSignal() as the programs' start-up does";
      return;
    }
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    rlimit limit = FOld;
    limit.rlim_cur = Bytes;
    FSet = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~TFileSizeLimit() {
    if (FSet) ::setrlimit(RLIMIT_FSIZE, &FOld);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
  rlimit FOld{};
  bool FSet = false;
};

// Runs Body as the unprivileged user Uid (a child process when the test runs
// as root, so that permissions apply); true when Body returned true.
inline bool AsUnprivileged(const std::function<bool()>& Body, uid_t Uid = 65534) {
  if (::geteuid() != 0) return Body();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(Uid) != 0 || ::setuid(Uid) != 0) ::_exit(2);
    bool ok = false;
    try {
      ok = Body();
    } catch (...) {
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs Body in a child process; true when SIGKILL ended it (a test's fault
// hook kills the child where it wants a save stopped).
inline bool KilledInChild(const std::function<void()>& Body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      Body();
    } catch (...) {
    }
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

inline std::vector<uint8_t> ReadWholeFile(const std::string& Name) {
  std::vector<uint8_t> bytes;
  std::ifstream in(Name, std::ios::binary);
  char buf[1 << 16];
  while (in.read(buf, sizeof(buf)) || in.gcount() > 0) bytes.insert(bytes.end(), buf, buf + in.gcount());
  return bytes;
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

// For a call that must not wait on the pipe Pipe: unless Done() comes within
// 20 seconds, the pipe's other ends are opened (the read end until Done), so
// that a call blocked on it ends and its test fails (Rescued) instead of
// hanging.
class TPipeRescue {
public:
  explicit TPipeRescue(const std::string& Pipe)
      : FThread([this, Pipe, done = FDone.get_future()] {
          if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) return;
          FRescued = true;
          const int r = ::open(Pipe.c_str(), O_RDONLY | O_NONBLOCK);
          const int w = ::open(Pipe.c_str(), O_WRONLY | O_NONBLOCK);
          if (w >= 0) ::close(w);
          done.wait();
          if (r >= 0) ::close(r);
        }) {}
  ~TPipeRescue() { Done(); }
  void Done() {
    if (!FThread.joinable()) return;
    FDone.set_value();
    FThread.join();
  }
  bool Rescued() const { return FRescued; }

private:
  std::promise<void> FDone;
  std::atomic<bool> FRescued{false};
  std::thread FThread;
};
