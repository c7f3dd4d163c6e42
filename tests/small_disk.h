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
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <fstream>
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

// For a call that must not wait on the pipe Pipe: when the call has not
// returned (Done) within Grace, the pipe's other ends are opened, drained
// and closed until it does, so that a call blocked on the pipe ends and its
// test fails (Rescued) instead of hanging.
class TPipeRescue {
public:
  explicit TPipeRescue(std::string Pipe, std::chrono::seconds Grace = std::chrono::seconds(20))
      : FPipe(std::move(Pipe)), FThread([this, Grace] { Run(Grace); }) {}
  ~TPipeRescue() { Done(); }
  TPipeRescue(const TPipeRescue&) = delete;
  TPipeRescue& operator=(const TPipeRescue&) = delete;
  void Done() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FDone = true;
    }
    FWake.notify_all();
    if (FThread.joinable()) FThread.join();
  }
  bool Rescued() const { return FRescued; }

private:
  void Run(std::chrono::seconds Grace) {
    std::unique_lock<std::mutex> lock(FMutex);
    while (!FWake.wait_for(lock, Grace, [this] { return FDone; })) {
      FRescued = true;
      Grace = std::chrono::seconds(0);
      lock.unlock();
      // A blocked writer gets a reader, a blocked reader a writer that closes.
      const int r = ::open(FPipe.c_str(), O_RDONLY | O_NONBLOCK);
      const int w = ::open(FPipe.c_str(), O_WRONLY | O_NONBLOCK);
      if (w >= 0) ::close(w);
      char buf[4096];
      for (int i = 0; i < 20; ++i) {
        while (r >= 0 && ::read(r, buf, sizeof(buf)) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (r >= 0) ::close(r);
      lock.lock();
    }
  }
  std::string FPipe;
  std::mutex FMutex;
  std::condition_variable FWake;
  bool FDone = false;
  std::atomic<bool> FRescued{false};
  std::thread FThread;
};
