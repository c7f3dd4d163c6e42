// SANE's own "test" backend, or our misbehaving one (sane_fault_backend.cpp),
// as the only backend SANE loads, configured in a folder of the test
// program's own: test.conf gives the test devices and their defaults. Each
// scanning session is a program of its own, which reads the folder afresh;
// the folder is the same for every test of the program, its files rewritten.
#pragma once

#include <stdlib.h>
#include <sys/syscall.h>
#include <poll.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// The folder, made on first use and removed when the program ends.
inline const std::string& SaneTestConfigDir() {
  struct TFolder {
    std::string Path;
    TFolder() {
      char Template[] = "/tmp/quillon_sane_XXXXXX";
      if (::mkdtemp(Template)) Path = std::string(Template) + "/";
    }
    ~TFolder() {
      std::error_code Ec;
      if (!Path.empty()) std::filesystem::remove_all(Path, Ec);
    }
  };
  static TFolder Folder;
  return Folder.Path;
}

// No backend at all: SANE sees no scanner.
inline void UseNoSaneBackend() {
  std::ofstream(SaneTestConfigDir() + "dll.conf", std::ios::trunc) << "";
  ::setenv("SANE_CONFIG_DIR", SaneTestConfigDir().c_str(), 1);
}

// Two devices whose scans are 100 x 50 pixels (10 x 5 mm at 254 dpi) of
// solid black, in Mode ("Gray" or "Color") at Depth bits; Extra lines follow.
inline void UseSaneTestBackend(const std::string& Mode, int Depth, const std::vector<std::string>& Extra = {}) {
  const std::string& Dir = SaneTestConfigDir();
  std::ofstream(Dir + "dll.conf", std::ios::trunc) << "test\n";
  std::ofstream Conf(Dir + "test.conf", std::ios::trunc);
  Conf << "number_of_devices 2\nmode " << Mode << "\ndepth " << Depth
       << "\nresolution 254\ntest-picture \"Solid black\"\ntl_x 0\ntl_y 0\nbr_x 10\nbr_y 5\n";
  for (const std::string& L : Extra) Conf << L << '\n';
  ::setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
}

#ifdef QUILLON_SANE_FAULT_DIR
// The misbehaving backend, with Faults (lines of its quillonfault.conf); the
// process id of the scanning program that loads it goes to PidFile.
inline void UseSaneFaultBackend(const std::vector<std::string>& Faults, const std::string& PidFile) {
  const std::string& Dir = SaneTestConfigDir();
  std::ofstream(Dir + "dll.conf", std::ios::trunc) << "quillonfault\n";
  std::ofstream Conf(Dir + "quillonfault.conf", std::ios::trunc);
  Conf << "pid " << PidFile << '\n';
  for (const std::string& F : Faults) Conf << F << '\n';
  ::setenv("SANE_CONFIG_DIR", Dir.c_str(), 1);
  ::setenv("LD_LIBRARY_PATH", QUILLON_SANE_FAULT_DIR, 1);
}
#endif

// Whether the process of the id in PidFile has ended, waiting at most
// Seconds for it.
inline bool ProcessEnds(const std::string& PidFile, int Seconds) {
  pid_t Pid = 0;
  std::ifstream(PidFile) >> Pid;
  if (Pid <= 0) return false;
  const int Fd = static_cast<int>(::syscall(SYS_pidfd_open, Pid, 0));
  if (Fd < 0) return errno == ESRCH;  // ended and reaped
  pollfd P{Fd, POLLIN, 0};
  const bool Ended = ::poll(&P, 1, Seconds * 1000) > 0;
  ::close(Fd);
  return Ended;
}
