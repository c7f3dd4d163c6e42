// SANE's own "test" backend as the only backend SANE loads, configured in a
// folder of the test program's own: its test.conf gives the devices and
// their defaults. SANE reads SANE_CONFIG_DIR once per process, so the folder
// is the same for every test of the program; its files are rewritten.
#pragma once

#include <stdlib.h>

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
