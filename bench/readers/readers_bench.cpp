// The readers' run-length paths in megabytes of decoded pixels a second:
// an 8192 x 8192 RLE8 BMP, and 8192 x 8192 TGA files of 8 and 24 bits with
// run and raw packets. Then crafted files, each loaded once: progressive
// JPEGs with thousands of empty scans, a 174-byte progressive JPEG declaring
// 32000 x 32000, an 18-byte TGA header declaring 16384 x 8192 and a BMP
// declaring 0 x 2,072,444,928; each reports its time, its peak memory and
// whether it was refused.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "tests/formats/empty_scans_jpeg.h"
#include "tests/process_memory.h"
#include "imaging/core/exceptions.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"

namespace {

using TBytes = std::vector<uint8_t>;

constexpr int32_t kSide = 8192;

void Le(TBytes& B, uint32_t V, int N) {
  for (int i = 0; i < N; ++i) B.push_back(uint8_t(V >> (8 * i)));
}

// Rows of runs of 1..64 pixels alternating with literal runs of 3..33
// pixels (odd ones padded), each row ended by 00 00, the bitmap by 00 01.
const TBytes& RLE8File() {
  static const TBytes file = [] {
    TBytes data;
    uint32_t seed = 1;
    for (int32_t y = 0; y < kSide; ++y) {
      int32_t x = 0;
      while (x < kSide) {
        seed = seed * 1664525u + 1013904223u;
        const int32_t left = kSide - x;
        if ((seed >> 30) == 0 && left >= 3) {
          const int32_t n = std::min<int32_t>(3 + int32_t((seed >> 8) % 31), left);
          data.insert(data.end(), {0, uint8_t(n)});
          for (int32_t i = 0; i < n; ++i) data.push_back(uint8_t(seed >> (i % 24)));
          if (n & 1) data.push_back(0);
          x += n;
        } else {
          const int32_t n = std::min<int32_t>(1 + int32_t((seed >> 8) % 64), left);
          data.insert(data.end(), {uint8_t(n), uint8_t(seed >> 16)});
          x += n;
        }
      }
      data.insert(data.end(), {0, 0});
    }
    data.insert(data.end(), {0, 1});
    TBytes b{'B', 'M'};
    Le(b, 14 + 40 + 1024 + uint32_t(data.size()), 4);
    Le(b, 0, 4);
    Le(b, 14 + 40 + 1024, 4);
    for (uint32_t v : {40u, uint32_t(kSide), uint32_t(kSide)}) Le(b, v, 4);
    Le(b, 1, 2);
    Le(b, 8, 2);
    for (uint32_t v : {1u, uint32_t(data.size()), 2835u, 2835u, 0u, 0u}) Le(b, v, 4);
    for (int i = 0; i < 256; ++i) Le(b, uint32_t(i * 0x010101), 4);
    b.insert(b.end(), data.begin(), data.end());
    return b;
  }();
  return file;
}

// Run packets of 1..128 pixels and raw packets of 1..16 pixels.
TBytes TGAFile(int Depth) {
  const int bpp = Depth / 8;
  TBytes b = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  if (Depth == 8) b[2] = 11;
  Le(b, kSide, 2);
  Le(b, kSide, 2);
  b.push_back(uint8_t(Depth));
  b.push_back(0x20);
  uint32_t seed = 7;
  for (int64_t left = int64_t(kSide) * kSide; left > 0;) {
    seed = seed * 1664525u + 1013904223u;
    if ((seed >> 30) == 0) {
      const int n = int(std::min<int64_t>(1 + (seed >> 8) % 16, left));
      b.push_back(uint8_t(n - 1));
      for (int i = 0; i < n * bpp; ++i) b.push_back(uint8_t(seed >> (i % 24)));
      left -= n;
    } else {
      const int n = int(std::min<int64_t>(1 + (seed >> 8) % 128, left));
      b.push_back(uint8_t(0x80 | (n - 1)));
      for (int i = 0; i < bpp; ++i) b.push_back(uint8_t(seed >> (8 * i)));
      left -= n;
    }
  }
  return b;
}

void Load(const TBytes& File, const std::string& Extension, TPixelGraphic& G) {
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  G.SetReadWarningAction(pgwaIgnore);
  G.LoadImageFromStream(s, Extension, 0);
}

void Decode(benchmark::State& State, const TBytes& File, const std::string& Extension, int64_t PixelBytes) {
  PGraphicInitialization();
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  for (auto _ : State) {
    s.SetPosition(0);
    TPixelGraphic g;
    g.LoadImageFromStream(s, Extension, 0);
    benchmark::DoNotOptimize(g.ScanLine(0));
  }
  State.SetBytesProcessed(State.iterations() * PixelBytes);
  PGraphicFinalization();
}

void Bmp_RLE8(benchmark::State& State) { Decode(State, RLE8File(), "bmp", int64_t(kSide) * kSide); }
void Tga_RLE8(benchmark::State& State) {
  static const TBytes file = TGAFile(8);
  Decode(State, file, "tga", int64_t(kSide) * kSide);
}
void Tga_RLE24(benchmark::State& State) {
  static const TBytes file = TGAFile(24);
  Decode(State, file, "tga", int64_t(kSide) * kSide * 3);
}

// ---- crafted files

void Crafted(benchmark::State& State, const TBytes& File, const std::string& Extension, double PictureBytes) {
  PGraphicInitialization();
  int64_t peak = 0;
  bool refused = false;
  for (auto _ : State) {
    ResetPeakMemory();
    const int64_t before = ProcessStatusBytes("VmRSS");
    const auto t0 = std::chrono::steady_clock::now();
    try {
      TPixelGraphic g;
      Load(File, Extension, g);
      refused = false;
    } catch (const std::exception&) {
      refused = true;
    }
    State.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    peak = ProcessStatusBytes("VmHWM") - before;
  }
  State.counters["file_bytes"] = double(File.size());
  State.counters["peak_MB"] = double(peak) / 1e6;
  State.counters["peak_per_picture_byte"] = double(peak) / PictureBytes;
  State.counters["refused"] = refused ? 1 : 0;
  PGraphicFinalization();
}

void Jpeg_EmptyScans(benchmark::State& State) {
  const int32_t side = int32_t(State.range(0)), scans = int32_t(State.range(1));
  Crafted(State, EmptyScansJPEG(side, side, scans), "jpg", double(side) * side);
}
void Jpeg_ProgressiveHeader32000(benchmark::State& State) {
  Crafted(State, EmptyScansJPEG(32000, 32000, 1), "jpg", 32000.0 * 32000.0);
}
void Tga_BareHeader(benchmark::State& State) {
  TBytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  Le(b, 16384, 2);
  Le(b, 8192, 2);
  b.insert(b.end(), {24, 0});
  Crafted(State, b, "tga", 16384.0 * 8192 * 3);
}
void Bmp_ZeroWidth(benchmark::State& State) {
  TBytes b{'B', 'M'};
  Le(b, 65, 4);
  Le(b, 0, 4);
  Le(b, 54, 4);
  for (uint32_t v : {40u, 0u, uint32_t(-2072444928)}) Le(b, v, 4);
  Le(b, 1, 2);
  Le(b, 16, 2);
  for (int i = 0; i < 6; ++i) Le(b, 0, 4);
  b.resize(65, 0);
  Crafted(State, b, "bmp", 1);
}

}  // namespace

BENCHMARK(Bmp_RLE8)->Unit(benchmark::kMillisecond);
BENCHMARK(Tga_RLE8)->Unit(benchmark::kMillisecond);
BENCHMARK(Tga_RLE24)->Unit(benchmark::kMillisecond);
BENCHMARK(Jpeg_EmptyScans)
    ->Args({8192, 5000})
    ->Args({4096, 5000})
    ->Args({2048, 20000})
    ->Args({8192, 32})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(Jpeg_ProgressiveHeader32000)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Tga_BareHeader)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Bmp_ZeroWidth)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
