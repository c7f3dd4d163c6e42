// Loading a TPixelGraphic through the reader registry (with gamma
// correction) and saving it through the writer registry (with the
// colour-resolution fallback and its warning).
#include <array>
#include <cmath>

#include "imaging/core/exceptions.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/long_operation.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/core/pg_math.h"
#include "imaging/core/pixel_graphic.h"
#include "platform/base/safe_write.h"
#include "platform/base/strings.h"

namespace {

// For each current colour resolution the resolutions to try, in order.
constexpr std::array<std::array<uint8_t, 8>, 8> ColorResFallback = {{
    {0, 1, 2, 3, 4, 5, 6, 7},
    {1, 4, 6, 7, 3, 0, 2, 5},
    {2, 4, 5, 6, 7, 3, 0, 1},
    {3, 4, 6, 7, 2, 5, 0, 1},
    {4, 6, 7, 3, 2, 5, 0, 1},
    {5, 6, 7, 2, 4, 3, 0, 1},
    {6, 7, 4, 3, 5, 2, 0, 1},
    {7, 6, 4, 3, 5, 2, 0, 1},
}};

uint8_t ColorResolutionOf(uint8_t Format, TPaletteIdent Ident) {
  switch (Format) {
    case pf1Bit: return Ident == pBlackWhite ? crBlackWhite : cr2Colors;
    case pf4Bit: return Ident == pGray16 ? cr16Grays : (Ident == pSys16 ? cr16SysColors : cr16Colors);
    case pf8Bit: return Ident == pGray256 ? cr256Grays : cr256Colors;
    default: return cr16M;
  }
}

uint8_t ColorResolutionOf(const TPixelGraphic& G) { return ColorResolutionOf(G.PixelFormat(), G.PaletteIdent()); }

// Gamma correction applies only to a finite gamma above 0 that differs from
// the default by more than 5 %.
bool NeedsGammaCorrection(long double Gamma) {
  if (!PGGammaCorrectOnLoad) return false;
  if (!std::isfinite(Gamma) || Gamma <= 0 || !std::isfinite(PGDefaultGamma) || PGDefaultGamma <= 0) return false;
  return std::fabs(Gamma / PGDefaultGamma - 1) > 0.05L;
}

// Writes G to the stream, or through SafeWriteFile to FileName, which keeps
// the file as it was when anything fails. Every write the writer makes is
// checked here, whatever the writer checks itself.
void WriteThrough(TFileFormatWriter& Writer, bool ToFile, const std::string& FileName, TStream* Stream,
                  TPixelGraphic& G) {
  if (ToFile) {
    SafeWriteFile(FileName, [&](TStream& Out) { Writer.Write(Out, G); });
    return;
  }
  TWriteCheckStream checked(*Stream);
  Writer.Write(checked, G);
  checked.Check("Stream write error");
}

}  // namespace

// ---- loading

void TPixelGraphic::LoadFromFile(const std::string& FileName) { LoadImageFromFile(FileName, 0); }

void TPixelGraphic::LoadFromStream(TStream& Stream) { LoadImageFromStream(Stream, "", 0); }

void TPixelGraphic::LoadImageFromFile(const std::string& FileName, int32_t Index) {
  TFileStream stream(FileName, fmOpenRead);
  LoadImageFromStream(stream, GetFileExtension(FileName), Index);
}

void TPixelGraphic::LoadImageFromStream(TStream& Stream, const std::string& Extension, int32_t Index) {
  FlushGdi();
  TPGUpdateScope update(*this);
  NewImage(0, 0, pf24Bit);
  FXResolution = 0;
  FYResolution = 0;
  FGamma = PGDefaultGamma;
  FreeChunks();

  TFileFormatReader* shared = FindFileFormatReader(Stream, Extension);
  if (!shared) throw EPGUnknownFileFormat(PGMessage(6));
  std::unique_ptr<TFileFormatReader> own = shared->CreatePerCallInstance();
  (own ? *own : *shared).Read(Stream, *this, Index);

  if (NeedsGammaCorrection(FGamma) && !GetEmpty()) {
    const long double exponent = FGamma / PGDefaultGamma;
    std::array<uint8_t, 256> table;
    for (int i = 0; i < 256; ++i)
      table[i] = uint8_t(std::clamp<int64_t>(Round(255 * Power(i / 255.0L, exponent)), 0, 255));
    if (FPixelFormat == pf24Bit) {
      for (int32_t y = 0; y < FHeight; ++y) {
        uint8_t* row = ScanLine(y);
        for (int64_t i = 0; i < int64_t(FWidth) * 3; ++i) row[i] = table[row[i]];
      }
    } else {
      for (int32_t i = 0; i < FPaletteCount; ++i) {
        const TColor c = FPalette[size_t(i)];
        SetPaletteEntry(i, TColor(table[c & 0xFF]) | TColor(table[(c >> 8) & 0xFF]) << 8 |
                               TColor(table[(c >> 16) & 0xFF]) << 16);
      }
    }
    FGamma = PGDefaultGamma;
  }
  DetectPaletteIdent();
}

// ---- saving

void TPixelGraphic::SaveToStream(TStream& Stream) {
  FlushGdi();
  if (!PGDefaultBMPWriter) throw EPixelGraphic(PGMessage(16, "PGDefaultBMPWriter"));
  PGDefaultBMPWriter->Write(Stream, *this);
}

void TPixelGraphic::SaveToStreamAs(TStream& Stream, const std::string& Extension) {
  SaveWithWriter(false, "", Extension, &Stream);
}

void TPixelGraphic::SaveToFile(const std::string& FileName) {
  SaveWithWriter(true, FileName, GetFileExtension(FileName), nullptr);
}

void TPixelGraphic::CopyFromAndSaveToFile(TPixelGraphic* Source, const std::string& FileName) {
  SaveWithWriter(true, FileName, GetFileExtension(FileName), nullptr, Source);
}

void TPixelGraphic::SaveWithWriter(bool ToFile, const std::string& FileName, const std::string& Extension,
                                   TStream* Stream, TPixelGraphic* MapFrom) {
  FlushGdi();
  const std::string ext = LowerCase(!Extension.empty() && Extension[0] == '.' ? Extension.substr(1) : Extension);
  if (!FileFormatWriters || FileFormatWriters->Count() == 0)
    throw EPGFileFormatWritersEmpty(PGMessage(16, "FileFormatWriters"));
  TFileFormatWriter* shared = FindFileFormatWriter(ext);
  if (!shared) throw EPGUnknownExtension(PGMessage(19, ext));
  std::unique_ptr<TFileFormatWriter> own = shared->CreatePerCallInstance();
  TFileFormatWriter& writer = own ? *own : *shared;

  // The rows are mapped first, unless the writer takes them as they are
  // mapped: it then writes them on a second thread while they are, when it
  // stores the image's colour resolution (the palette is fixed, so the
  // resolution is known before the pixels are).
  if (MapFrom) {
    const uint8_t resolution = ColorResolutionOf(FPixelFormat, DetectedPaletteIdent());
    if (writer.WritesRowsAsFinished() && (writer.GetCanWriteResolutions() & (1u << resolution))) {
      CopyFromWhile(MapFrom, [&] { WriteThrough(writer, ToFile, FileName, Stream, *this); });
      DetectPaletteIdent();
      return;
    }
    CopyFrom(MapFrom);
  }

  DetectPaletteIdent();
  const uint8_t current = ColorResolutionOf(*this);
  const TPGColorResolutions storable = writer.GetCanWriteResolutions();
  int target = -1;
  for (uint8_t r : ColorResFallback[current])
    if (storable & (1u << r)) {
      target = r;
      break;
    }
  if (target < 0) throw EPGCanWriteResolutionsEmpty(PGMessage(16, writer.ClassName() + ".GetCanWriteResolutions"));

  auto writeOut = [&](TPixelGraphic& G) { WriteThrough(writer, ToFile, FileName, Stream, G); };

  if (target == current) {
    DetectPaletteIdent();
    writeOut(*this);
    return;
  }

  std::string description = writer.Description();
  if (std::string sub = writer.GetSubFormat(); !sub.empty()) description += " (" + sub + ")";
  const std::string currentName = ColorResolutionName(current), targetName = ColorResolutionName(uint8_t(target));
  switch (FSaveColorResWarningAction) {
    case pgwaIgnore:
      break;
    case pgwaOKBox:
      PGWarningBox(PGMessage(17, description, currentName, targetName), PGMessage(28), pgbOK);
      break;
    case pgwaOKCancelBox:
      if (PGWarningBox(PGMessage(17, description, currentName, targetName), PGMessage(28), pgbOKCancel)) break;
      [[fallthrough]];
    case pgwaRaise:
      throw EPGCannotWriteColorRes(PGMessage(18, description, currentName));
  }

  TPixelGraphic temp;
  temp.OnProgress = OnProgress;
  temp.OnProgressEnd = OnProgressEnd;
  temp.OnProgressStart = OnProgressStart;
  static constexpr uint8_t formats[8] = {pf1Bit, pf1Bit, pf4Bit, pf4Bit, pf4Bit, pf8Bit, pf8Bit, pf24Bit};
  temp.NewImage(0, 0, formats[target]);
  switch (target) {
    case crBlackWhite: temp.SetPaletteIdent(pBlackWhite); break;
    case cr2Colors: CreateOptimizedPalette(&temp, this, 2, false); break;
    case cr16Grays: temp.SetPaletteIdent(pGray16); break;
    case cr16SysColors: temp.SetPaletteIdent(pSys16); break;
    case cr16Colors: CreateOptimizedPalette(&temp, this, 16, false); break;
    case cr256Grays: temp.SetPaletteIdent(pGray256); break;
    case cr256Colors: CreateOptimizedPalette(&temp, this, 252, true); break;
    default: break;
  }
  temp.NewImage(FWidth, FHeight, formats[target]);
  temp.FXResolution = FXResolution;
  temp.FYResolution = FYResolution;
  temp.FGamma = FGamma;
  temp.CopyChunksFrom(this);
  if (writer.WritesRowsAsFinished()) {
    // The writer codes each row as soon as it is mapped.
    temp.CopyFromWhile(this, [&] { writeOut(temp); });
    return;
  }
  temp.CopyFrom(this);
  temp.DetectPaletteIdent();
  writeOut(temp);
}
