// Test data made with libjpeg and libpng directly.
#include "codec_test_util.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

TPlainImage PlainFromGraphic(TPixelGraphic& Graphic, int32_t Channels) {
  TPlainImage img;
  img.Width = Graphic.GetWidth();
  img.Height = Graphic.GetHeight();
  img.Channels = Channels;
  img.Pixels.reserve(static_cast<size_t>(img.Width) * img.Height * Channels);
  for (int32_t y = 0; y < img.Height; ++y)
    for (int32_t x = 0; x < img.Width; ++x) {
      const TColor c = Graphic.GetPixelColor(x, y);
      img.Pixels.push_back(c & 0xFF);
      if (Channels == 3) {
        img.Pixels.push_back((c >> 8) & 0xFF);
        img.Pixels.push_back((c >> 16) & 0xFF);
      }
    }
  return img;
}

int MaxDifference(const TPlainImage& A, const TPlainImage& B) {
  if (A.Width != B.Width || A.Height != B.Height || A.Channels != B.Channels || A.Pixels.size() != B.Pixels.size())
    return -1;
  int most = 0;
  for (size_t i = 0; i < A.Pixels.size(); ++i) most = std::max(most, std::abs(A.Pixels[i] - B.Pixels[i]));
  return most;
}

TPlainImage Pattern(int32_t Width, int32_t Height, int32_t Channels) {
  TPlainImage img;
  img.Width = Width;
  img.Height = Height;
  img.Channels = Channels;
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x)
      for (int32_t c = 0; c < Channels; ++c) {
        int v = (x * 255 / std::max(1, Width - 1) + c * 85 + (y * 255 / std::max(1, Height - 1)) * (c + 1) / 2) & 0xFF;
        if ((x / 8 + y / 8) % 5 == 0) v = 255 - v;
        img.Pixels.push_back(static_cast<uint8_t>(v));
      }
  return img;
}

TMemoryStream StreamOf(const TBytes& Bytes) {
  TMemoryStream s;
  if (!Bytes.empty()) s.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  s.SetPosition(0);
  return s;
}

TBytes BytesOf(TMemoryStream& Stream) { return TBytes(Stream.Memory(), Stream.Memory() + Stream.Size()); }

void SaveBytes(const std::string& Path, const TBytes& Bytes) {
  std::ofstream out(Path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
}

TBytes LoadBytes(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  return TBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TempPath(const std::string& Name) {
  const std::string dir = std::string(QUILLON_BUILD_DIR) + "/formats_tmp";
  std::filesystem::create_directories(dir);
  return dir + "/" + Name;
}

bool RunTool(const std::string& Command) { return std::system((Command + " >/dev/null 2>&1").c_str()) == 0; }

void WritePNM(const std::string& Path, const TPlainImage& Image) {
  std::ofstream out(Path, std::ios::binary);
  out << (Image.Channels == 1 ? "P5\n" : "P6\n") << Image.Width << " " << Image.Height << "\n255\n";
  out.write(reinterpret_cast<const char*>(Image.Pixels.data()), static_cast<std::streamsize>(Image.Pixels.size()));
}

TPlainImage ReadPNM(const std::string& Path) {
  TBytes b = LoadBytes(Path);
  size_t pos = 0;
  auto token = [&]() {
    std::string t;
    while (pos < b.size()) {
      if (b[pos] == '#') {
        while (pos < b.size() && b[pos] != '\n') ++pos;
      } else if (std::isspace(b[pos])) {
        if (!t.empty()) break;
        ++pos;
      } else {
        t.push_back(static_cast<char>(b[pos++]));
      }
    }
    return t;
  };
  TPlainImage img;
  const std::string magic = token();
  if (magic != "P5" && magic != "P6") throw std::runtime_error("not a binary PNM: " + Path);
  img.Channels = magic == "P5" ? 1 : 3;
  img.Width = std::stoi(token());
  img.Height = std::stoi(token());
  if (std::stoi(token()) != 255) throw std::runtime_error("maxval other than 255: " + Path);
  ++pos;  // the single white space after maxval
  img.Pixels.assign(b.begin() + static_cast<std::ptrdiff_t>(pos), b.end());
  img.Pixels.resize(static_cast<size_t>(img.Width) * img.Height * img.Channels);
  return img;
}

// ---------------------------------------------------------------- JPEG

TBytes MakeJPEG(TJPEGMaker M) {
  const int inChannels = M.Components == 4 ? 4 : M.Components;
  if (M.Source.Pixels.empty()) M.Source = Pattern(M.Width, M.Height, inChannels == 4 ? 4 : inChannels);
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&cinfo, &out, &outSize);
  cinfo.image_width = static_cast<JDIMENSION>(M.Source.Width);
  cinfo.image_height = static_cast<JDIMENSION>(M.Source.Height);
  cinfo.input_components = M.Source.Channels;
  cinfo.in_color_space = M.Source.Channels == 1 ? JCS_GRAYSCALE : M.Source.Channels == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  cinfo.write_JFIF_header = M.JFIF ? TRUE : FALSE;
  cinfo.density_unit = static_cast<UINT8>(M.DensityUnit);
  cinfo.X_density = M.XDensity;
  cinfo.Y_density = M.YDensity;
  jpeg_set_quality(&cinfo, M.Quality, TRUE);
  if (M.Progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  for (auto& [code, payload] : M.Markers)
    jpeg_write_marker(&cinfo, code, payload.data(), static_cast<unsigned int>(payload.size()));
  const size_t stride = static_cast<size_t>(M.Source.Width) * M.Source.Channels;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = M.Source.Pixels.data() + stride * cinfo.next_scanline;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  TBytes result(out, out + outSize);
  std::free(out);
  return result;
}

std::vector<std::pair<int, TBytes>> JPEGMarkers(const TBytes& File) {
  std::vector<std::pair<int, TBytes>> markers;
  size_t pos = 2;
  while (pos + 4 <= File.size() && File[pos] == 0xFF) {
    const int code = File[pos + 1];
    const size_t length = static_cast<size_t>(File[pos + 2]) << 8 | File[pos + 3];
    if (code == 0xDA || length < 2 || pos + 2 + length > File.size()) break;
    markers.emplace_back(code, TBytes(File.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                                      File.begin() + static_cast<std::ptrdiff_t>(pos + 2 + length)));
    pos += 2 + length;
  }
  return markers;
}

// ---------------------------------------------------------------- PNG

namespace {

void AppendData(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

TBytes MakePNG(const TPNGMaker& M) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("MakePNG: libpng refused the test file");
  }
  png_set_write_fn(png, &out, AppendData, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(M.Width), static_cast<png_uint_32>(M.Height), M.BitDepth,
               M.ColorType, M.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  for (auto& c : M.Palette) palette.push_back({c[0], c[1], c[2]});
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_color_16 trans{};
  if (!M.TransAlpha.empty() || M.TransGray >= 0 || M.TransRGB[0] >= 0) {
    trans.gray = static_cast<png_uint_16>(M.TransGray);
    trans.red = static_cast<png_uint_16>(M.TransRGB[0]);
    trans.green = static_cast<png_uint_16>(M.TransRGB[1]);
    trans.blue = static_cast<png_uint_16>(M.TransRGB[2]);
    png_set_tRNS(png, info, M.TransAlpha.empty() ? nullptr : M.TransAlpha.data(),
                 M.TransAlpha.empty() ? 0 : static_cast<int>(M.TransAlpha.size()), &trans);
  }
  if (M.Bkgd) {
    png_color_16 bg{};
    bg.index = static_cast<png_byte>(M.BkgdIndex);
    bg.gray = M.BkgdGray;
    bg.red = M.BkgdR;
    bg.green = M.BkgdG;
    bg.blue = M.BkgdB;
    png_set_bKGD(png, info, &bg);
  }
  if (M.Gamma > 0) png_set_gAMA(png, info, M.Gamma);
  if (M.Phys) png_set_pHYs(png, info, M.PhysX, M.PhysY, M.PhysUnit);
  if (M.Offs) png_set_oFFs(png, info, 5, 7, PNG_OFFSET_PIXEL);
  if (M.Time) {
    png_time t{static_cast<png_uint_16>(M.TimeYear), static_cast<png_byte>(M.TimeMonth),
               static_cast<png_byte>(M.TimeDay), static_cast<png_byte>(M.TimeHour),
               static_cast<png_byte>(M.TimeMinute), static_cast<png_byte>(M.TimeSecond)};
    png_set_tIME(png, info, &t);
  }
  std::vector<png_text> texts(M.Texts.size());
  for (size_t i = 0; i < M.Texts.size(); ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = const_cast<char*>(M.Texts[i].first.c_str());
    texts[i].text = const_cast<char*>(M.Texts[i].second.c_str());
    texts[i].text_length = M.Texts[i].second.size();
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));

  const int samples = M.ColorType == PNG_COLOR_TYPE_RGB ? 3 : M.ColorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                      : M.ColorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  const size_t rowBytes = (static_cast<size_t>(M.Width) * samples * M.BitDepth + 7) / 8;
  std::vector<TBytes> rows(static_cast<size_t>(M.Height), TBytes(rowBytes));
  for (int32_t y = 0; y < M.Height; ++y)
    for (int32_t x = 0; x < M.Width; ++x)
      for (int s = 0; s < samples; ++s) {
        const uint32_t v = M.Sample(x, y, s);
        const size_t index = static_cast<size_t>(x) * samples + s;
        TBytes& row = rows[static_cast<size_t>(y)];
        if (M.BitDepth == 16) {
          row[index * 2] = static_cast<uint8_t>(v >> 8);
          row[index * 2 + 1] = static_cast<uint8_t>(v);
        } else if (M.BitDepth == 8) {
          row[index] = static_cast<uint8_t>(v);
        } else {
          const size_t bit = index * M.BitDepth;
          row[bit / 8] |= static_cast<uint8_t>(v << (8 - M.BitDepth - bit % 8));
        }
      }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

TBytes InsertPNGChunk(const TBytes& File, const std::string& Type, const TBytes& Data, const std::string& BeforeType) {
  size_t pos = 8;
  while (pos + 8 <= File.size()) {
    if (std::string(File.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                    File.begin() + static_cast<std::ptrdiff_t>(pos + 8)) == BeforeType)
      break;
    pos += 12 + Be32(&File[pos]);
  }
  TBytes chunk(4);
  const uint32_t n = static_cast<uint32_t>(Data.size());
  chunk = {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
  chunk.insert(chunk.end(), Type.begin(), Type.end());
  chunk.insert(chunk.end(), Data.begin(), Data.end());
  const uint32_t crc = static_cast<uint32_t>(crc32(0, chunk.data() + 4, static_cast<uInt>(4 + Data.size())));
  chunk.insert(chunk.end(), {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)});
  TBytes result(File.begin(), File.begin() + static_cast<std::ptrdiff_t>(pos));
  result.insert(result.end(), chunk.begin(), chunk.end());
  result.insert(result.end(), File.begin() + static_cast<std::ptrdiff_t>(pos), File.end());
  return result;
}

std::vector<std::string> PNGChunkTypes(const TBytes& File) {
  std::vector<std::string> types;
  size_t pos = 8;
  while (pos + 8 <= File.size()) {
    types.emplace_back(File.begin() + static_cast<std::ptrdiff_t>(pos + 4),
                       File.begin() + static_cast<std::ptrdiff_t>(pos + 8));
    pos += 12 + Be32(&File[pos]);
  }
  return types;
}
