// Text rendering with FreeType; faces found through fontconfig.
#include "platform/gdi/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "platform/base/strings.h"
#include "platform/gdi/dc.h"
#include "platform/gdi/internal.h"

namespace {

std::recursive_mutex gTextLock;
FT_Library gLib = nullptr;
std::map<std::string, FT_Face> gFaces;       // by file path and index
std::map<std::string, std::string> gLookups;  // face request -> file path and index

// Faces of the system's forms that stand for the common sans-serif face.
std::string MapFace(const std::string& Face) {
  std::string f = LowerCase(Face);
  if (f.empty() || f == "ms sans serif" || f == "microsoft sans serif" || f == "system" || f == "arial" ||
      f == "tahoma" || f == "segoe ui" || f == "helvetica" || f == "small fonts" || f == "ms shell dlg" ||
      f == "ms shell dlg 2" || f == "default")
    return "DejaVu Sans";
  if (f == "courier new" || f == "courier" || f == "fixedsys" || f == "terminal") return "DejaVu Sans Mono";
  if (f == "times new roman" || f == "times" || f == "ms serif") return "DejaVu Serif";
  return Face;
}

// "path|index" of the fontconfig match.
std::string Lookup(const std::string& Face, bool Bold, bool Italic) {
  std::string key = Face + (Bold ? "|b" : "|") + (Italic ? "i" : "");
  auto it = gLookups.find(key);
  if (it != gLookups.end()) return it->second;
  std::string result;
  static bool finalizerSet = false;
  if (!finalizerSet) {
    // Fonts and the font configuration are released when the process ends.
    finalizerSet = true;
    std::atexit(FinalizeText);
  }
  if (FcInit()) {
    FcPattern* pat = FcPatternCreate();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(MapFace(Face).c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    FcPattern* m = FcFontMatch(nullptr, pat, &res);
    if (m) {
      FcChar8* file = nullptr;
      int index = 0;
      if (FcPatternGetString(m, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(m, FC_INDEX, 0, &index);
        result = std::string(reinterpret_cast<char*>(file)) + "|" + std::to_string(index);
      }
      FcPatternDestroy(m);
    }
    FcPatternDestroy(pat);
  }
  gLookups[key] = result;
  return result;
}

FT_Face OpenFace(const std::string& PathIndex) {
  if (PathIndex.empty()) return nullptr;
  auto it = gFaces.find(PathIndex);
  if (it != gFaces.end()) return it->second;
  if (!gLib && FT_Init_FreeType(&gLib)) return nullptr;
  size_t bar = PathIndex.rfind('|');
  FT_Face face = nullptr;
  if (FT_New_Face(gLib, PathIndex.substr(0, bar).c_str(), std::stol(PathIndex.substr(bar + 1)), &face)) face = nullptr;
  gFaces[PathIndex] = face;
  return face;
}

// A font realised at a pixel size.
struct Font {
  FT_Face Face = nullptr;
  int32_t Em = 16;
  int32_t Ascent = 0, Descent = 0;
  bool Bold = false, FakeBold = false, FakeItalic = false, Underline = false, StrikeOut = false;
  int32_t UnderlinePos = 1, UnderlineThick = 1;
};

bool Prepare(DeviceContext* DC, Font& F) {
  const LOGFONT& lf = DC->S.Font ? DC->S.Font->Log : static_cast<GdiFont*>(GetStockObject(SYSTEM_FONT))->Log;
  bool bold = lf.lfWeight >= 600, italic = lf.lfItalic != 0;
  F.Face = OpenFace(Lookup(lf.lfFaceName, bold, italic));
  if (!F.Face) return false;
  F.Bold = bold;
  F.FakeBold = bold && !(F.Face->style_flags & FT_STYLE_FLAG_BOLD);
  F.FakeItalic = italic && !(F.Face->style_flags & FT_STYLE_FLAG_ITALIC);
  F.Underline = lf.lfUnderline != 0;
  F.StrikeOut = lf.lfStrikeOut != 0;
  double units = F.Face->units_per_EM ? F.Face->units_per_EM : 2048;
  double cellRatio = (F.Face->ascender - F.Face->descender) / units;
  if (cellRatio <= 0) cellRatio = 1.0;
  int32_t h = lf.lfHeight;
  if (h < 0) F.Em = -h;
  else F.Em = static_cast<int32_t>(std::lround((h == 0 ? 16 : h) / cellRatio));
  F.Em = std::clamp(F.Em, 1, 2000);
  FT_Set_Pixel_Sizes(F.Face, 0, F.Em);
  F.Ascent = static_cast<int32_t>(std::ceil(F.Face->ascender * F.Em / units));
  F.Descent = static_cast<int32_t>(std::ceil(-F.Face->descender * F.Em / units));
  F.UnderlinePos = std::max(1, static_cast<int32_t>(std::lround(-F.Face->underline_position * F.Em / units)));
  F.UnderlineThick = std::max(1, static_cast<int32_t>(std::lround(F.Face->underline_thickness * F.Em / units)));
  return true;
}

std::u32string Decode(const char* s, int32_t n) {
  std::u32string out;
  int32_t i = 0;
  while (i < n) {
    uint8_t c = static_cast<uint8_t>(s[i]);
    char32_t cp;
    int32_t len;
    if (c < 0x80) { cp = c; len = 1; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; len = 2; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; len = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    if (i + len > n) { out.push_back(0xFFFD); break; }
    bool ok = true;
    for (int32_t k = 1; k < len; ++k) {
      uint8_t cc = static_cast<uint8_t>(s[i + k]);
      if ((cc & 0xC0) != 0x80) { ok = false; break; }
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    out.push_back(cp);
    i += len;
  }
  return out;
}

int32_t Len(const char* Text, int32_t Count) {
  if (!Text) return 0;
  return Count < 0 ? static_cast<int32_t>(std::char_traits<char>::length(Text)) : Count;
}

// Loads (and renders when Render) one glyph; returns its advance in pixels.
int32_t LoadGlyph(Font& F, char32_t Cp, bool Mono, bool Render) {
  FT_UInt gi = FT_Get_Char_Index(F.Face, Cp);
  FT_Int32 flags = FT_LOAD_DEFAULT | (Mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
  if (FT_Load_Glyph(F.Face, gi, flags)) return 0;
  FT_GlyphSlot g = F.Face->glyph;
  int32_t adv = static_cast<int32_t>((g->advance.x + 32) >> 6);
  if (F.FakeBold) ++adv;
  if (!Render) return adv;
  if (g->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (F.FakeBold) FT_Outline_Embolden(&g->outline, 64);
    if (F.FakeItalic) {
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&g->outline, &shear);
    }
  }
  FT_Render_Glyph(g, Mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL);
  return adv;
}

int32_t Measure(Font& F, const std::u32string& T) {
  int32_t w = 0;
  for (char32_t c : T) w += LoadGlyph(F, c, false, false);
  return w;
}

// Draws T with its top-left cell corner at device (X, Y); Underline marks
// characters to underline individually (DrawText prefixes).
void Render(DeviceContext* DC, Font& F, int32_t X, int32_t Y, const std::u32string& T,
            const std::vector<bool>* UnderlineAt) {
  GdiBitmap* b = DC->S.Bitmap;
  if (!b || !b->Bits) return;
  bool mono = b->HasTable();
  TColor tc = gdi::ResolveColor(DC, DC->S.TextColor);
  uint32_t tv = b->Nearest(tc);
  int32_t height = F.Ascent + F.Descent;
  int32_t width = Measure(F, T);
  if (DC->S.BkMode == OPAQUE) {
    gdi::PreparedBrush bk;
    bk.Null = false;
    bk.Values.assign(1, gdi::ColorValue(DC, DC->S.BkColor));
    for (int32_t y = Y; y < Y + height; ++y) gdi::FillSpanRop2(DC, bk, y, X, X + width, R2_COPYPEN);
  }
  int32_t baseline = Y + F.Ascent;
  int32_t pen = X;
  auto plot = [&](int32_t x, int32_t y, int32_t a) {
    if (a <= 0) return;
    gdi::ForSpans(DC, y, x, x + 1, [&](int32_t, int32_t) {
      if (a >= 255 || mono) b->Set(x, y, tv);
      else {
        TColor d = b->ValueColor(b->Get(x, y));
        auto mix = [a](int32_t t, int32_t dd) { return static_cast<uint8_t>((t * a + dd * (255 - a) + 127) / 255); };
        b->Set(x, y, RGB(mix(GetRValue(tc), GetRValue(d)), mix(GetGValue(tc), GetGValue(d)),
                         mix(GetBValue(tc), GetBValue(d))));
      }
    });
  };
  for (size_t k = 0; k < T.size(); ++k) {
    int32_t adv = LoadGlyph(F, T[k], mono, true);
    FT_GlyphSlot g = F.Face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    int32_t ox = pen + g->bitmap_left, oy = baseline - g->bitmap_top;
    for (uint32_t r = 0; r < bm.rows; ++r) {
      const uint8_t* row = bm.buffer + static_cast<int64_t>(r) * bm.pitch;
      for (uint32_t c = 0; c < bm.width; ++c) {
        int32_t a = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (((row[c >> 3] >> (7 - (c & 7))) & 1) ? 255 : 0) : row[c];
        if (mono && a < 128) a = 0;
        plot(ox + static_cast<int32_t>(c), oy + static_cast<int32_t>(r), a);
      }
    }
    bool under = F.Underline || (UnderlineAt && k < UnderlineAt->size() && (*UnderlineAt)[k]);
    if (under)
      for (int32_t t = 0; t < F.UnderlineThick; ++t)
        for (int32_t x = pen; x < pen + adv; ++x) plot(x, baseline + F.UnderlinePos + t, 255);
    if (F.StrikeOut)
      for (int32_t t = 0; t < F.UnderlineThick; ++t)
        for (int32_t x = pen; x < pen + adv; ++x) plot(x, baseline - F.Ascent / 3 + t, 255);
    pen += adv;
  }
}

}  // namespace

bool ExtTextOut(HDC DC, int32_t X, int32_t Y, uint32_t Options, const TRect* R, const char* Text, int32_t Count) {
  if (!DC) return false;
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  if (R && (Options & ETO_OPAQUE)) {
    gdi::PreparedBrush bk;
    bk.Null = false;
    bk.Values.assign(1, gdi::ColorValue(DC, DC->S.BkColor));
    int32_t ox = DC->S.ViewportOrg.X, oy = DC->S.ViewportOrg.Y;
    if (DC->S.Bitmap)
      for (int32_t y = R->Top + oy; y < R->Bottom + oy; ++y)
        gdi::FillSpanRop2(DC, bk, y, R->Left + ox, R->Right + ox, R2_COPYPEN);
  }
  Font f;
  if (!Prepare(DC, f)) return false;
  std::u32string t = Decode(Text ? Text : "", Len(Text, Count));
  bool clipped = R && (Options & ETO_CLIPPED);
  if (clipped) {
    SaveDC(DC);
    IntersectClipRect(DC, R->Left, R->Top, R->Right, R->Bottom);
  }
  Render(DC, f, X + DC->S.ViewportOrg.X, Y + DC->S.ViewportOrg.Y, t, nullptr);
  if (clipped) RestoreDC(DC, -1);
  return true;
}

bool TextOut(HDC DC, int32_t X, int32_t Y, const std::string& Text) {
  return ExtTextOut(DC, X, Y, 0, nullptr, Text.data(), static_cast<int32_t>(Text.size()));
}

bool GetTextExtentPoint32(HDC DC, const char* Text, int32_t Count, TSize* Size) {
  if (!DC || !Size) return false;
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  Font f;
  if (!Prepare(DC, f)) return false;
  Size->cx = Measure(f, Decode(Text ? Text : "", Len(Text, Count)));
  Size->cy = f.Ascent + f.Descent;
  return true;
}

TSize TextExtent(HDC DC, const std::string& Text) {
  TSize s;
  GetTextExtentPoint32(DC, Text.data(), static_cast<int32_t>(Text.size()), &s);
  return s;
}

bool GetTextMetrics(HDC DC, TEXTMETRIC* M) {
  if (!DC || !M) return false;
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  Font f;
  if (!Prepare(DC, f)) return false;
  M->tmAscent = f.Ascent;
  M->tmDescent = f.Descent;
  M->tmHeight = f.Ascent + f.Descent;
  M->tmInternalLeading = std::max(0, M->tmHeight - f.Em);
  M->tmExternalLeading = 0;
  // Average width: the width of "x", as the usual approximation of the lower-case average.
  M->tmAveCharWidth = LoadGlyph(f, U'x', false, false);
  M->tmMaxCharWidth = LoadGlyph(f, U'W', false, false);
  const LOGFONT& lf = DC->S.Font ? DC->S.Font->Log : LOGFONT{};
  M->tmWeight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
  M->tmItalic = lf.lfItalic;
  M->tmUnderlined = lf.lfUnderline;
  M->tmStruckOut = lf.lfStrikeOut;
  return true;
}

std::string ResolveFontFile(const std::string& Face, bool Bold, bool Italic) {
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  std::string r = Lookup(Face, Bold, Italic);
  return r.substr(0, r.rfind('|'));
}

namespace {

struct Line {
  std::u32string Text;
  std::vector<bool> Under;
};

}  // namespace

int32_t DrawText(HDC DC, const char* Text, int32_t Count, TRect* R, uint32_t Format) {
  if (!DC || !R) return 0;
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  Font f;
  if (!Prepare(DC, f)) return 0;
  std::u32string src = Decode(Text ? Text : "", Len(Text, Count));
  bool prefix = !(Format & DT_NOPREFIX), hide = (Format & DT_HIDEPREFIX) != 0;
  int32_t lineH = f.Ascent + f.Descent;
  int32_t tabW = std::max(1, LoadGlyph(f, U'x', false, false)) * 8;
  int32_t maxW = R->Right - R->Left;
  // 1. Hard lines, with prefixes and tabs resolved.
  std::vector<Line> hard(1);
  for (size_t i = 0; i < src.size(); ++i) {
    char32_t c = src[i];
    if (c == U'\r' || c == U'\n') {
      if (Format & DT_SINGLELINE) continue;
      if (c == U'\r' && i + 1 < src.size() && src[i + 1] == U'\n') ++i;
      hard.emplace_back();
      continue;
    }
    Line& l = hard.back();
    if (prefix && c == U'&') {
      if (i + 1 < src.size()) {
        ++i;
        l.Text.push_back(src[i]);
        l.Under.push_back(src[i] != U'&' && !hide);
      }
      continue;
    }
    if (c == U'\t' && (Format & DT_EXPANDTABS)) {
      int32_t w = Measure(f, l.Text);
      int32_t target = (w / tabW + 1) * tabW;
      int32_t sp = std::max(1, LoadGlyph(f, U' ', false, false));
      while (w < target) {
        l.Text.push_back(U' ');
        l.Under.push_back(false);
        w += sp;
      }
      continue;
    }
    l.Text.push_back(c);
    l.Under.push_back(false);
  }
  // 2. Word breaking.
  std::vector<Line> lines;
  for (Line& l : hard) {
    if (!(Format & DT_WORDBREAK) || (Format & DT_SINGLELINE) || Measure(f, l.Text) <= maxW) {
      lines.push_back(std::move(l));
      continue;
    }
    size_t start = 0;
    while (start < l.Text.size()) {
      size_t end = start, lastBreak = std::string::npos;
      int32_t w = 0;
      while (end < l.Text.size()) {
        int32_t cw = LoadGlyph(f, l.Text[end], false, false);
        if (l.Text[end] == U' ') lastBreak = end;
        if (w + cw > maxW && end > start) break;
        w += cw;
        ++end;
      }
      size_t cut = end;
      if (end < l.Text.size()) {
        if (l.Text[end] == U' ') cut = end;
        else if (lastBreak != std::string::npos && lastBreak > start) cut = lastBreak;
      }
      Line part;
      part.Text = l.Text.substr(start, cut - start);
      part.Under.assign(l.Under.begin() + start, l.Under.begin() + cut);
      while (!part.Text.empty() && part.Text.back() == U' ') {
        part.Text.pop_back();
        part.Under.pop_back();
      }
      lines.push_back(std::move(part));
      start = cut;
      while (start < l.Text.size() && l.Text[start] == U' ') ++start;
    }
    if (l.Text.empty()) lines.emplace_back();
  }
  int32_t total = lineH * static_cast<int32_t>(lines.size());
  if (Format & DT_CALCRECT) {
    int32_t w = 0;
    for (auto& l : lines) w = std::max(w, Measure(f, l.Text));
    R->Right = R->Left + w;
    R->Bottom = R->Top + total;
    return total;
  }
  int32_t y = R->Top;
  if (Format & DT_SINGLELINE) {
    if (Format & DT_VCENTER) y = R->Top + (R->Bottom - R->Top - lineH) / 2;
    else if (Format & DT_BOTTOM) y = R->Bottom - lineH;
  }
  bool clip = !(Format & DT_NOCLIP);
  if (clip) {
    SaveDC(DC);
    IntersectClipRect(DC, R->Left, R->Top, R->Right, R->Bottom);
  }
  for (auto& l : lines) {
    int32_t w = Measure(f, l.Text);
    int32_t x = R->Left;
    if (Format & DT_CENTER) x = R->Left + (maxW - w) / 2;
    else if (Format & DT_RIGHT) x = R->Right - w;
    Render(DC, f, x + DC->S.ViewportOrg.X, y + DC->S.ViewportOrg.Y, l.Text, &l.Under);
    y += lineH;
  }
  if (clip) RestoreDC(DC, -1);
  return (Format & DT_SINGLELINE) ? (y - R->Top) : total;
}

int32_t DrawText(HDC DC, const std::string& Text, TRect* R, uint32_t Format) {
  return DrawText(DC, Text.data(), static_cast<int32_t>(Text.size()), R, Format);
}

void FinalizeText() {
  std::lock_guard<std::recursive_mutex> lock(gTextLock);
  for (auto& [k, face] : gFaces)
    if (face) FT_Done_Face(face);
  gFaces.clear();
  gLookups.clear();
  if (gLib) FT_Done_FreeType(gLib);
  gLib = nullptr;
  FcFini();
}
