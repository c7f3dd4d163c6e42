#include "controls/glyphs.h"

#include <algorithm>
#include <cctype>

#include "platform/base/files.h"
#include "platform/gdi/colors.h"
#include "platform/ui/desktop.h"

namespace {

std::vector<TGlyphUse> Loaded;

void Record(const std::string& Name, bool FromTheme) {
  for (TGlyphUse& u : Loaded)
    if (u.Name == Name) {
      u.FromTheme = FromTheme;
      return;
    }
  Loaded.push_back({Name, FromTheme});
}

// The glyph for a name no theme has: a rounded frame around the initial of
// the name's last word ("document-open" shows "O").
void DrawOwnGlyph(TBitmap* Bitmap, const std::string& Name, int32_t Size, TColor Background) {
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Size, Size);
  TCanvas* c = Bitmap->Canvas();
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(Background);
  c->FillRect(TRect{0, 0, Size, Size});
  const TColor ink = static_cast<TColor>(0x404040);
  c->Pen()->SetColor(ink);
  c->Pen()->SetWidth(1);
  c->Brush()->SetStyle(bsClear);
  const int32_t corner = std::max(2, Size / 4);
  c->RoundRect(1, 1, Size - 1, Size - 1, corner, corner);
  const size_t dash = Name.rfind('-');
  const std::string word = dash == std::string::npos ? Name : Name.substr(dash + 1);
  if (!word.empty()) {
    const std::string letter(1, static_cast<char>(std::toupper(static_cast<unsigned char>(word[0]))));
    c->Font()->SetName("DejaVu Sans");
    c->Font()->SetHeight(-std::max(6, Size * 5 / 8));
    c->Font()->SetStyle(fsBold);
    c->Font()->SetColor(ink);
    c->TextOut((Size - c->TextWidth(letter)) / 2, (Size - c->TextHeight(letter)) / 2, letter);
  }
  Bitmap->FreeContext();
}

}  // namespace

void LoadGlyph(TBitmap* Bitmap, const TGlyphNames& Names, int32_t Size, TColor Background) {
  const TColor bg = ColorToRGB(Background) & 0xFFFFFF;
  bool fromTheme = false;
  for (const std::string& n : Names)
    if (DrawThemeIcon(n, Size, bg, Bitmap)) {
      fromTheme = true;
      break;
    }
  const std::string name = Names.empty() ? std::string() : Names.front();
  if (!fromTheme) DrawOwnGlyph(Bitmap, name, Size, bg);
  Bitmap->SetTransparentColor(bg);
  Bitmap->SetTransparentMode(tmFixed);
  Record(name, fromTheme);
}

void AddGlyphs(TCustomImageList* List, const std::vector<TGlyphNames>& Glyphs, TColor Background) {
  const TColor bg = ColorToRGB(Background) & 0xFFFFFF;
  for (const TGlyphNames& names : Glyphs) {
    TBitmap glyph;
    LoadGlyph(&glyph, names, std::min(List->Width(), List->Height()), bg);
    List->AddMasked(&glyph, bg);
  }
}

const std::vector<TGlyphUse>& GlyphsLoaded() { return Loaded; }

namespace {
const int32_t ProgramIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
}

std::string ProgramIconFile(const std::string& Program, int32_t Size) {
  return IncludeTrailingPathDelimiter(ProgramFolder()) + "icons/" + Program + "_" + std::to_string(Size) + ".png";
}

void SetProgramIcon(const std::string& Program) {
  std::vector<std::string> files;
  for (int32_t size : ProgramIconSizes) files.push_back(ProgramIconFile(Program, size));
  SetApplicationIcon(files);
}

bool LoadProgramIcon(TBitmap* Bitmap, const std::string& Program, int32_t Size, TColor Background) {
  const TColor bg = ColorToRGB(Background) & 0xFFFFFF;
  // The nearest drawn size at or above Size, scaled down if need be.
  int32_t from = ProgramIconSizes[std::size(ProgramIconSizes) - 1];
  for (int32_t size : ProgramIconSizes)
    if (size >= Size) {
      from = size;
      break;
    }
  if (!DrawIconFile(ProgramIconFile(Program, from), Size, bg, Bitmap)) return false;
  Bitmap->SetTransparentColor(bg);
  Bitmap->SetTransparentMode(tmFixed);
  return true;
}
