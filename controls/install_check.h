// The check of an installed program, for the package tests: with
// QUILLON_INSTALL_CHECK set in the environment, a program runs its start-up
// as usual (headless with QT_QPA_PLATFORM=offscreen), then, instead of its
// message loop, prints what it found on standard output, one "ok" or
// "MISSING" line each, and exits with 0 when everything was there.
#pragma once

#include <string>
#include <vector>

bool InstallCheckRequested();

class TInstallCheck {
public:
  // A file the program reads: it must exist.
  void File(const std::string& What, const std::string& Path);
  // Anything else, with what was found.
  void Fact(const std::string& What, const std::string& Found, bool Ok);
  // Adds a line per glyph loaded (each must come from the icon theme),
  // prints everything and gives the exit code.
  int Finish();

private:
  std::vector<std::string> FLines;
  bool FOk = true;
};
