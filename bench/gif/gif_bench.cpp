// GIF encoding and decoding of a 4000 x 3000 image of 256 colours, ours
// beside giflib on the same palette indices; prints the time and size ratios.
#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif/gif_encoder.h"
#include "gif/gif_read_write.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/gdi/bitmap.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

// Smooth gradients and shapes with a little noise: photo-like indices over
// all 256 palette entries, the same on every run.
const std::vector<uint8_t>& Indices() {
  static std::vector<uint8_t> data = [] {
    std::vector<uint8_t> v(static_cast<size_t>(kWidth) * kHeight);
    uint32_t seed = 0x12345678u;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        double s = 128 + 70 * std::sin(x * 0.004 + std::cos(y * 0.003) * 2) + 40 * std::cos(y * 0.007 - x * 0.001) +
                   12 * std::sin((x + y) * 0.05);
        int noise = static_cast<int>((seed >> 24) % 5) - 2;
        v[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(std::clamp(static_cast<int>(s) + noise, 0, 255));
      }
    return v;
  }();
  return data;
}

std::vector<uint8_t> Palette() {
  std::vector<uint8_t> p(768);
  for (int i = 0; i < 256; ++i) {
    p[3 * i] = static_cast<uint8_t>(i);
    p[3 * i + 1] = static_cast<uint8_t>(255 - i);
    p[3 * i + 2] = static_cast<uint8_t>(i * 7);
  }
  return p;
}

// Our file: the header a one-frame GIF carries, then the compressor's data.
std::vector<uint8_t> EncodeOurs() {
  TMemoryStream s;
  std::vector<uint8_t> pal = Palette();
  const uint8_t head[13] = {'G', 'I', 'F', '8', '9', 'a', kWidth & 0xFF, kWidth >> 8, kHeight & 0xFF, kHeight >> 8,
                            0x87, 0, 0};
  s.WriteBuffer(head, 13);
  s.WriteBuffer(pal.data(), 768);
  const uint8_t desc[10] = {0x2C, 0, 0, 0, 0, kWidth & 0xFF, kWidth >> 8, kHeight & 0xFF, kHeight >> 8, 0};
  s.WriteBuffer(desc, 10);
  const std::vector<uint8_t>& idx = Indices();
  CompressGIFLZW(s, idx.data(), static_cast<int64_t>(idx.size()), 256, kWidth);
  s.WriteBuffer("\x3B", 1);
  return s.Bytes();
}

int WriteToVector(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

std::vector<uint8_t> EncodeGiflib() {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &error);
  std::vector<uint8_t> pal = Palette();
  ColorMapObject* map = GifMakeMapObject(256, reinterpret_cast<const GifColorType*>(pal.data()));
  EGifSetGifVersion(gif, true);
  EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
  EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
  const std::vector<uint8_t>& idx = Indices();
  for (int y = 0; y < kHeight; ++y)
    EGifPutLine(gif, const_cast<GifPixelType*>(idx.data() + static_cast<size_t>(y) * kWidth), kWidth);
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  return out;
}

struct TReadState {
  const std::vector<uint8_t>* Data;
  size_t Pos;
};

int ReadFromVector(GifFileType* gif, GifByteType* data, int n) {
  auto* st = static_cast<TReadState*>(gif->UserData);
  size_t k = std::min<size_t>(static_cast<size_t>(n), st->Data->size() - st->Pos);
  std::memcpy(data, st->Data->data() + st->Pos, k);
  st->Pos += k;
  return static_cast<int>(k);
}

void BM_EncodeOurs(benchmark::State& state) {
  Indices();
  size_t size = 0;
  for (auto _ : state) size = EncodeOurs().size();
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EncodeGiflib(benchmark::State& state) {
  Indices();
  size_t size = 0;
  for (auto _ : state) size = EncodeGiflib().size();
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeOurs(benchmark::State& state) {
  const std::vector<uint8_t> file = EncodeOurs();
  for (auto _ : state) {
    TGIFDecoder d;
    d.ParseStream().Bytes() = file;
    if (!d.ParseGIF() || d.Frame(1).PixelAt(kWidth - 1, kHeight - 1) != Indices().back())
      state.SkipWithError("decoded pixels differ");
  }
}

void BM_DecodeGiflib(benchmark::State& state) {
  const std::vector<uint8_t> file = EncodeOurs();
  std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight);
  for (auto _ : state) {
    TReadState st{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&st, ReadFromVector, &error);
    GifRecordType type;
    while (DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
      if (type == IMAGE_DESC_RECORD_TYPE) {
        DGifGetImageDesc(gif);
        for (int y = 0; y < kHeight; ++y) DGifGetLine(gif, pixels.data() + static_cast<size_t>(y) * kWidth, kWidth);
      } else if (type == EXTENSION_RECORD_TYPE) {
        int code;
        GifByteType* ext;
        DGifGetExtension(gif, &code, &ext);
        while (ext) DGifGetExtensionNext(gif, &ext);
      }
    }
    DGifCloseFile(gif, &error);
    if (pixels.back() != Indices().back()) state.SkipWithError("decoded pixels differ");
  }
}

// The whole save path of the size estimate: palette building from a 24-bit
// bitmap, then compression and the file around it.
void BM_SaveBitmapAsGIF(benchmark::State& state) {
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(kWidth, kHeight);
  const std::vector<uint8_t> pal = Palette();
  const std::vector<uint8_t>& idx = Indices();
  for (int y = 0; y < kHeight; ++y) {
    auto* row = static_cast<uint8_t*>(bmp.ScanLine(y));
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t* c = &pal[3 * idx[static_cast<size_t>(y) * kWidth + x]];
      row[3 * x] = c[2];
      row[3 * x + 1] = c[1];
      row[3 * x + 2] = c[0];
    }
  }
  size_t size = 0;
  for (auto _ : state) {
    TMemoryStream s;
    if (!SaveBitmapAsGIF(s, bmp, false, false, 0)) state.SkipWithError("more than 256 colours");
    size = static_cast<size_t>(s.Size());
  }
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

// The registry's GIF writer on an 8-bit image of the same indices and
// palette: the save path of the main job, beside the coder's own time
// (BM_EncodeOurs). With Arg 1 the picture uses only the first 128 of its
// 256 palette entries, which are still all there, as in a picture saved
// with a palette padded to 256 colours; with Arg 2 it is interlaced.
void BM_WriteGIFFromPalette(benchmark::State& state) {
  TPixelGraphic image;
  image.NewImage(kWidth, kHeight, pf8Bit);
  image.SetPaletteCount(256);
  const std::vector<uint8_t> pal = Palette();
  for (int i = 0; i < 256; ++i) image.SetPaletteEntry(i, RGB(pal[3 * i], pal[3 * i + 1], pal[3 * i + 2]));
  const std::vector<uint8_t>& idx = Indices();
  for (int y = 0; y < kHeight; ++y) {
    uint8_t* row = image.ScanLine(y);
    std::memcpy(row, idx.data() + static_cast<size_t>(y) * kWidth, kWidth);
    if (state.range(0) == 1)
      for (int x = 0; x < kWidth; ++x) row[x] /= 2;
  }
  GIFInterlaced = state.range(0) == 2;
  TGIFFileFormatWriter writer;
  size_t size = 0;
  for (auto _ : state) {
    TMemoryStream s;
    writer.Write(s, image);
    size = static_cast<size_t>(s.Size());
  }
  GIFInterlaced = false;
  state.counters["bytes"] = static_cast<double>(size);
  state.counters["MP/s"] = benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(BM_SaveBitmapAsGIF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteGIFFromPalette)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeGiflib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeGiflib)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so that main can print the ratios.
class TRatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) Times[r.benchmark_name()] = r.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> Times;
};

}  // namespace

int main(int argc, char** argv) {
  PGraphicInitialization();
  benchmark::Initialize(&argc, argv);
  TRatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto ratio = [&](const char* ours, const char* theirs) {
    if (reporter.Times.count(ours) && reporter.Times.count(theirs) && reporter.Times[theirs] > 0)
      std::printf("%s / %s: %.2f\n", ours, theirs, reporter.Times[ours] / reporter.Times[theirs]);
  };
  ratio("BM_EncodeOurs", "BM_EncodeGiflib");
  ratio("BM_WriteGIFFromPalette/0", "BM_EncodeOurs");
  ratio("BM_WriteGIFFromPalette/1", "BM_WriteGIFFromPalette/0");
  ratio("BM_DecodeOurs", "BM_DecodeGiflib");
  size_t ours = EncodeOurs().size(), theirs = EncodeGiflib().size();
  std::printf("size ours %zu, giflib %zu, ratio %.4f\n", ours, theirs, static_cast<double>(ours) / theirs);
  return 0;
}
