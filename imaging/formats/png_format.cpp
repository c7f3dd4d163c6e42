// PNG reader and writer: libpng decodes and encodes, this file maps colour
// types and depths onto TPixelGraphic, flattens transparency onto a
// background colour, and carries gamma, pHYs, tIME and text chunks.
#include "imaging/formats/png_format.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/formats/codec_chunks.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/messages.h"
#include "imaging/core/options.h"
#include "imaging/formats/pg_startup.h"
#include "imaging/formats/png_glue.h"
#include "platform/base/strings.h"

namespace {

const char kDescription[] = "Portable Network Graphics";

[[noreturn]] void Fail(const std::string& Text) { throw EPGPNGFileFormatReaderWriter("PNG: " + Text); }

[[noreturn]] void FailFromLibrary(const TPNGContext& C) {
  if (C.Pending) std::rethrow_exception(C.Pending);
  Fail(C.MessageText);
}

TCodecWarning WarningFor(TPGWarningAction Action) {
  return [Action](const std::string& Text) {
    std::string error;
    if (!PGCodecWarning(Action, "PNG", Text, error)) throw EPGPNGFileFormatReaderWriter(error);
  };
}

// Creates the read or write structure and its info structure over Stream.
std::unique_ptr<TPNGContext> Open(TPNGObject& P, TStream& Stream, TPGWarningAction Action, bool Writing) {
  auto C = std::make_unique<TPNGContext>();
  C->Stream = &Stream;
  C->Warning = WarningFor(Action);
  png_structp png = nullptr;
  if (!CodecGuard(C->Jump, [&] { png = Writing ? PNGCreateWrite(*C) : PNGCreateRead(*C); })) FailFromLibrary(*C);
  if (png == nullptr) Fail(PGMessage(31, Writing ? "png_create_write_struct" : "png_create_read_struct"));
  P.Png = png;
  if (!CodecGuard(C->Jump, [&] { P.Info = png_create_info_struct(png); })) FailFromLibrary(*C);
  if (P.Info == nullptr) Fail(PGMessage(31, "png_create_info_struct"));
  return C;
}

TColor RGBColor(uint32_t R, uint32_t G, uint32_t B) { return (R & 0xFF) | (G & 0xFF) << 8 | (B & 0xFF) << 16; }

// The bKGD colour as an 8-bit colour, by the file's colour type and depth.
TColor BackgroundColor(const png_color_16& Bkgd, int ColorType, int BitDepth, png_const_colorp Palette,
                       int PaletteCount) {
  if (ColorType == PNG_COLOR_TYPE_PALETTE) {
    if (Bkgd.index < PaletteCount) {
      const png_color& c = Palette[Bkgd.index];
      return RGBColor(c.red, c.green, c.blue);
    }
    return RGBColor(Bkgd.red, Bkgd.green, Bkgd.blue);
  }
  if ((ColorType & PNG_COLOR_MASK_COLOR) == 0) {
    uint32_t v = Bkgd.gray;
    if (BitDepth == 16)
      v >>= 8;
    else if (BitDepth < 8)
      v = v * 255 / ((1u << BitDepth) - 1);
    return RGBColor(v, v, v);
  }
  if (BitDepth == 16) return RGBColor(Bkgd.red >> 8, Bkgd.green >> 8, Bkgd.blue >> 8);
  return RGBColor(Bkgd.red, Bkgd.green, Bkgd.blue);
}

// A colour as a background in the units of the rows the library delivers:
// grey at the file's depth below 8 bits, else 8-bit samples (16-bit files
// are stripped to 8 bits, and the library widens the background itself).
png_color_16 OutputBackground(TColor Color, int ColorType, int BitDepth, int PaletteIndex) {
  png_color_16 bg{};
  bg.index = static_cast<png_byte>(PaletteIndex);
  bg.red = Color & 0xFF;
  bg.green = (Color >> 8) & 0xFF;
  bg.blue = (Color >> 16) & 0xFF;
  uint32_t gray = (bg.red + bg.green + bg.blue) / 3;
  if ((ColorType & PNG_COLOR_MASK_COLOR) == 0) {
    if (BitDepth < 8) {
      const uint32_t top = (1u << BitDepth) - 1;
      gray = (gray * top + 127) / 255;
    }
    bg.red = bg.green = bg.blue = static_cast<png_uint_16>(gray);
  }
  bg.gray = static_cast<png_uint_16>(gray);
  return bg;
}

// 2-bit pixels (four to a byte, first in the high bits) as 4-bit pixels.
void ExpandTwoBitRow(const uint8_t* Source, uint8_t* Dest, int32_t Width) {
  for (int32_t x = Width - 1; x >= 0; --x) {
    const uint8_t v = (Source[x / 4] >> (6 - 2 * (x % 4))) & 3;
    uint8_t& d = Dest[x / 2];
    d = x % 2 == 0 ? static_cast<uint8_t>((d & 0x0F) | v << 4) : static_cast<uint8_t>((d & 0xF0) | v);
  }
}

void AddTimeChunk(TCodecChunkSink& Sink, const png_time& Time) {
  double value = 0;
  // An impossible date is skipped: the pixels are fine without it.
  if (EncodeDateTimeValue(Time.year, Time.month, Time.day, Time.hour, Time.minute, Time.second, value))
    Sink.AddPNGTime(value);
}

void AddTextChunks(TCodecChunkSink& Sink, png_structp png, png_infop info) {
  png_textp texts = nullptr;
  const int count = png_get_text(png, info, &texts, nullptr);
  for (int i = 0; i < count; ++i) {
    const png_text& t = texts[i];
    if (t.key == nullptr) continue;
    const size_t length = t.text == nullptr ? 0 : t.text_length != 0 ? t.text_length : t.itxt_length;
    Sink.AddPNGText(t.key, reinterpret_cast<const uint8_t*>(t.text), length);
  }
}

}  // namespace

void RegisterPNGFileFormats() {
  RegisterFileFormatReader(std::make_unique<TPNGFileFormatReader>());
  RegisterFileFormatWriter(std::make_unique<TPNGFileFormatWriter>());
}

// ---------------------------------------------------------------- reader

TPNGFileFormatReader::TPNGFileFormatReader() {
  FExtension = "png";
  FDescription = kDescription;
  FIdentifiedByContent = true;
}

bool TPNGFileFormatReader::Identify(const TPGFileHeader& Header) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return std::memcmp(Header.data(), kSignature, 8) == 0;
}

void TPNGFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int32_t Index) {
  if (Index != 0) Fail(PGMessage(7, "Index"));
  if (!PNGLibraryVersionOK()) Fail("Invalid library version");
  Graphic.SetGamma(PGDefaultGamma);
  TPNGObject P(false);
  auto C = Open(P, Stream, Graphic.ReadWarningAction(), false);
  png_structp png = P.Png;
  png_infop info = P.Info;
  const bool chunks = PGReadChunks && !Graphic.PreviewRead();
  if (!CodecGuard(C->Jump, [&] {
        PNGSelectChunks(png, info, *C, chunks);
        png_read_info(png, info);
      }))
    FailFromLibrary(*C);

  png_uint_32 fileWidth = 0, fileHeight = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(png, info, &fileWidth, &fileHeight, &bitDepth, &colorType, &interlace, nullptr, nullptr);
  const int channels = png_get_channels(png, info);
  const auto width = static_cast<int32_t>(fileWidth);
  const auto height = static_cast<int32_t>(fileHeight);

  uint8_t format = pf24Bit;
  const bool twoBit = channels < 3 && bitDepth == 2;
  if (channels < 3) format = bitDepth == 1 ? pf1Bit : bitDepth <= 4 ? pf4Bit : pf8Bit;
  CheckPGImageSize(width, height, format);

  png_colorp filePalette = nullptr;
  int filePaletteCount = 0;
  png_get_PLTE(png, info, &filePalette, &filePaletteCount);

  // Transparency is flattened onto a background, which then becomes the
  // image's transparent colour.
  bool composite = false;
  TColor transparent = 0;
  const bool hasTransparency =
      (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (hasTransparency) {
    png_color_16p fileBkgd = nullptr;
    int gammaCode = PNG_BACKGROUND_GAMMA_SCREEN;
    int paletteIndex = 0;
    if (PNGUseFileBackground && png_get_bKGD(png, info, &fileBkgd) != 0 && fileBkgd != nullptr) {
      transparent = BackgroundColor(*fileBkgd, colorType, bitDepth, filePalette, filePaletteCount);
      gammaCode = PNG_BACKGROUND_GAMMA_FILE;
      paletteIndex = fileBkgd->index;
    } else {
      transparent = Graphic.GetTransparentColor();
    }
    png_color_16 bg = OutputBackground(transparent, colorType, bitDepth, paletteIndex);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0 && gammaCode == PNG_BACKGROUND_GAMMA_FILE && bitDepth < 8)
      bg.gray = bg.red = bg.green = bg.blue = fileBkgd->gray;  // already at the file's depth
    if (!CodecGuard(C->Jump, [&] { png_set_background(png, &bg, gammaCode, 0, 1.0); })) FailFromLibrary(*C);
    composite = true;
  }

  double fileGamma = 0;
  if (png_get_gAMA(png, info, &fileGamma) != 0 && fileGamma > 0) Graphic.SetGamma(1.0L / fileGamma);

  TCodecChunkSink sink(Graphic);
  png_timep time = nullptr;
  bool timeAdded = false;
  if (chunks && png_get_tIME(png, info, &time) != 0 && time != nullptr) {
    AddTimeChunk(sink, *time);
    timeAdded = true;
  }

  int passes = 1;
  if (!CodecGuard(C->Jump, [&] {
        if (bitDepth == 16) png_set_strip_16(png);
        if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
        passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);
      }))
    FailFromLibrary(*C);

  // The palette after the library's transformations: with tRNS it holds the
  // flattened colours that the pixels show.
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    const int32_t max = format == pf1Bit ? 2 : format == pf4Bit ? 16 : 256;
    if (count > max) count = max;
    Graphic.SetPaletteCount(count);
    for (int i = 0; i < count; ++i)
      Graphic.SetPaletteEntry(i, RGBColor(palette[i].red, palette[i].green, palette[i].blue));
  } else if (channels < 3) {
    Graphic.SetPaletteIdent(bitDepth == 1 ? pBlackWhite : bitDepth == 2 ? pGray4 : bitDepth == 4 ? pGray16 : pGray256);
  }
  Graphic.NewImage(width, height, format);
  if (composite) Graphic.SetTransparentColor(transparent);

  png_uint_32 xppu = 0, yppu = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xppu, &yppu, &unit) != 0 && xppu > 0 && yppu > 0) {
    if (unit == PNG_RESOLUTION_METER) {
      Graphic.SetXResolution(static_cast<int32_t>(xppu));
      Graphic.SetYResolution(static_cast<int32_t>(yppu));
    } else {
      int32_t xres = Graphic.XResolution(), yres = Graphic.YResolution();
      AspectResolution(width, height, xppu, yppu, xres, yres);
      Graphic.SetXResolution(xres);
      Graphic.SetYResolution(yres);
    }
  }

  // The rows the library delivers must fit the image's rows.
  const size_t rowBytes = png_get_rowbytes(png, info);
  if (!twoBit && rowBytes > Graphic.BytesPerLine()) Fail(PGMessage(30));
  if (twoBit && rowBytes > (static_cast<size_t>(width) * 2 + 7) / 8) Fail(PGMessage(30));

  bool aborted = false;
  {
    TPGProgressScope progress(Graphic, this);
    if (width > 0 && height > 0) {
      // 2-bit rows are read into a buffer of their own and widened to 4 bits
      // at once, so an image left early is never half converted. Interlaced
      // passes add to the rows of earlier passes, so then all rows are kept.
      std::vector<uint8_t> packed;
      if (twoBit) packed.resize(rowBytes * (passes > 1 ? static_cast<size_t>(height) : 1));
      for (int pass = 0; pass < passes && !aborted; ++pass) {
        for (int32_t y = 0; y < height; ++y) {
          png_bytep row = twoBit ? packed.data() + (passes > 1 ? rowBytes * static_cast<size_t>(y) : 0)
                                 : Graphic.ScanLine(y);
          if (!CodecGuard(C->Jump, [&] { png_read_row(png, row, nullptr); })) FailFromLibrary(*C);
          if (twoBit) ExpandTwoBitRow(row, Graphic.ScanLine(y), width);
          if (progress.Progress(height * pass + y, height * passes)) {
            aborted = true;
            break;
          }
        }
      }
    }
  }
  if (!aborted && !CodecGuard(C->Jump, [&] { png_read_end(png, info); })) FailFromLibrary(*C);

  if (chunks) {
    AddTextChunks(sink, png, info);
    // A tIME after the image data arrives with the end of the file.
    if (!timeAdded && png_get_tIME(png, info, &time) != 0 && time != nullptr) AddTimeChunk(sink, *time);
  }
}

void TPNGFileFormatReader::GetInfo(TStream& Stream, int32_t Index, TPGGraphicInfo& Info) {
  TFileFormatReader::GetInfo(Stream, Index, Info);
  if (Index != 0) Fail(PGMessage(20, "Index"));
  // The library's warnings are for the load to show or pass over: a file
  // that loads is described (its errors still fail here).
  TPNGObject P(false);
  auto C = Open(P, Stream, pgwaIgnore, false);
  png_structp png = P.Png;
  png_infop info = P.Info;
  if (!CodecGuard(C->Jump, [&] {
        PNGSelectChunks(png, info, *C, false);
        png_read_info(png, info);
      }))
    FailFromLibrary(*C);

  const int colorType = png_get_color_type(png, info);
  Info.FormatText = "GrayScale";
  if (colorType == PNG_COLOR_TYPE_PALETTE)
    Info.FormatText = "palette";
  else if ((colorType & PNG_COLOR_MASK_COLOR) != 0)
    Info.FormatText = "RGB";
  if ((colorType & PNG_COLOR_MASK_ALPHA) != 0) Info.FormatText += ", alpha";
  if (png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7) Info.FormatText += ", interlaced";

  static const struct {
    png_uint_32 Flag;
    const char* Name;
  } kChunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"},
                 {PNG_INFO_PLTE, "plte"}, {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"},
                 {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"}, {PNG_INFO_oFFs, "offs"},
                 {PNG_INFO_tIME, "time"}};
  const png_uint_32 listed = PNG_INFO_gAMA | PNG_INFO_sBIT | PNG_INFO_cHRM | PNG_INFO_PLTE | PNG_INFO_tRNS |
                             PNG_INFO_bKGD | PNG_INFO_hIST | PNG_INFO_pHYs | PNG_INFO_tIME;
  if (png_get_valid(png, info, listed) != 0) {
    std::string names;
    for (const auto& c : kChunks) {
      if (png_get_valid(png, info, c.Flag) == 0) continue;
      if (!names.empty()) names += ", ";
      names += c.Name;
    }
    Info.ExtraText = "(" + names + ")";
  }

  Info.Width = static_cast<int32_t>(png_get_image_width(png, info));
  Info.Height = static_cast<int32_t>(png_get_image_height(png, info));
  Info.BitsPerPixel = png_get_channels(png, info) * png_get_bit_depth(png, info);
  const char* colors = "?";
  switch (Info.BitsPerPixel) {
    case 1: colors = "2"; break;
    case 2: colors = "4"; break;
    case 4: colors = "16"; break;
    case 8: colors = "256"; break;
    case 16: colors = "64K?"; break;
    case 24: colors = "16.7M"; break;
    case 32: colors = "16.7M?"; break;
    default: break;
  }
  Info.ColorsText = std::string(colors);
}

// ---------------------------------------------------------------- writer

TPNGFileFormatWriter::TPNGFileFormatWriter() {
  FExtension = "png";
  FDescription = kDescription;
  FCanWriteResolutions = AllColorResolutions;
}

void TPNGFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  if (!PNGLibraryVersionOK()) Fail("Invalid library version");
  TPNGObject P(true);
  auto C = Open(P, Stream, Graphic.ReadWarningAction(), true);
  png_structp png = P.Png;
  png_infop info = P.Info;

  const int32_t width = Graphic.GetWidth();
  const int32_t height = Graphic.GetHeight();
  const int32_t bits = Graphic.GetBitCount();
  int bitDepth = 8;
  int colorType = PNG_COLOR_TYPE_RGB;
  if (bits != 24) {
    bitDepth = bits;
    colorType = bits == 8 && Graphic.PaletteIdent() == pGray256 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_PALETTE;
  }

  std::vector<png_color> palette;
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    for (int32_t i = 0; i < Graphic.PaletteCount(); ++i) {
      const TColor c = Graphic.GetPaletteEntry(i);
      palette.push_back({static_cast<png_byte>(c & 0xFF), static_cast<png_byte>((c >> 8) & 0xFF),
                         static_cast<png_byte>((c >> 16) & 0xFF)});
    }
  }

  png_time time{};
  bool hasTime = false;
  std::vector<std::string> keys, values;
  if (PGWriteChunks) {
    double value = 0;
    if (FindPNGTimeChunk(Graphic, value)) {
      int32_t y, mo, d, h, mi, s;
      DecodeDateTimeValue(value, y, mo, d, h, mi, s);
      time = {static_cast<png_uint_16>(y), static_cast<png_byte>(mo), static_cast<png_byte>(d),
              static_cast<png_byte>(h), static_cast<png_byte>(mi), static_cast<png_byte>(s)};
      hasTime = true;
    }
    for (const auto& [key, lines] : PNGTextsFromChunks(Graphic)) {
      std::string value;
      for (const std::string& line : lines) value += line + "\n";
      keys.push_back(key);
      values.push_back(value);
    }
  }
  std::vector<png_text> texts(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = keys[i].data();
    texts[i].text = values[i].data();
    texts[i].text_length = values[i].size();
  }

  if (!CodecGuard(C->Jump, [&] {
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                     colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (colorType == PNG_COLOR_TYPE_PALETTE)
          png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
        if (Graphic.XResolution() > 0 && Graphic.YResolution() > 0)
          png_set_pHYs(png, info, static_cast<png_uint_32>(Graphic.XResolution()),
                       static_cast<png_uint_32>(Graphic.YResolution()), PNG_RESOLUTION_METER);
        // A gamma that is not above 0 has no reciprocal to store.
        if (PNGWriteGamma && Graphic.Gamma() > 0) png_set_gAMA(png, info, static_cast<double>(1.0L / Graphic.Gamma()));
        if (hasTime) png_set_tIME(png, info, &time);
        if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
        png_write_info(png, info);
        if (colorType == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
      }))
    FailFromLibrary(*C);

  {
    TPGProgressScope progress(Graphic, this);
    for (int32_t y = 0; y < height; ++y) {
      png_bytep row = Graphic.ScanLine(y);
      if (!CodecGuard(C->Jump, [&] { png_write_row(png, row); })) FailFromLibrary(*C);
      progress.Progress(y, height - 1);
    }
  }
  if (!CodecGuard(C->Jump, [&] {
        png_free_data(png, info, PNG_FREE_TEXT, -1);
        png_write_end(png, info);
      }))
    FailFromLibrary(*C);
}
