#include "controls/install_check.h"

#include <cstdio>
#include <cstdlib>

#include "controls/glyphs.h"
#include "platform/base/files.h"
#include "platform/ui/desktop.h"

bool InstallCheckRequested() {
  const char* v = std::getenv("QUILLON_INSTALL_CHECK");
  return v && *v;
}

void TInstallCheck::Fact(const std::string& What, const std::string& Found, bool Ok) {
  FLines.push_back(std::string(Ok ? "ok      " : "MISSING ") + What + ": " + Found);
  FOk = FOk && Ok;
}

void TInstallCheck::File(const std::string& What, const std::string& Path) { Fact(What, Path, FileExists(Path)); }

int TInstallCheck::Finish() {
  Fact("program folder", ProgramFolder(), DirectoryExists(ProgramFolder()));
  Fact("icon theme", IconThemeName(), !IconThemeName().empty());
  if (GlyphsLoaded().empty()) Fact("glyphs", "none loaded", false);
  for (const TGlyphUse& g : GlyphsLoaded()) Fact("glyph " + g.Name, g.FromTheme ? "from the theme" : "drawn, not in the theme", g.FromTheme);
  for (const std::string& l : FLines) std::printf("%s\n", l.c_str());
  std::printf("%s\n", FOk ? "install check passed" : "install check FAILED");
  std::fflush(stdout);
  return FOk ? 0 : 1;
}
