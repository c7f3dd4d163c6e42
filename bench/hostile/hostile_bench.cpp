// TBitmap's format change of a 7168 x 8192 textured picture (4 to 8 bits,
// 8 to 24 bits; megabytes of output a second), and the animated GIF
// control's load of one 8192 x 8192 frame of a single colour held in 27 KB
// (an LZW bomb), with its first bitmap as the lite edition takes it.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "gif/control/gif_img.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"

namespace {

constexpr int32_t kWidth = 7168;
constexpr int32_t kHeight = 8192;

void Texture(TBitmap& B) {
  for (int32_t y = 0; y < B.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int32_t i = 0; i < B.BytesPerLine(); ++i) row[i] = static_cast<uint8_t>((i * 7) ^ (y * 13));
  }
}

void FormatChange(benchmark::State& State, TPixelFormat From, TPixelFormat To, int32_t OutBits) {
  for (auto _ : State) {
    State.PauseTiming();
    TBitmap b;
    b.SetPixelFormat(From);
    b.SetSize(kWidth, kHeight);
    Texture(b);
    State.ResumeTiming();
    b.SetPixelFormat(To);
    benchmark::DoNotOptimize(b.ScanLine(0));
  }
  State.counters["MB/s"] = benchmark::Counter(double(kWidth) * kHeight * OutBits / 8 / 1e6,
                                               benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FormatChange4To8(benchmark::State& State) { FormatChange(State, pf4bit, pf8bit, 8); }
void BM_FormatChange8To24(benchmark::State& State) { FormatChange(State, pf8bit, pf24bit, 24); }

// The LZW data of Count values 1 of 2 bits: each code one value longer
// than the last until the table is full, then the longest over and over.
std::vector<uint8_t> LzwBomb(int64_t Count) {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int32_t bits = 0;
  auto put = [&](uint32_t Code, int32_t Size) {
    acc |= uint64_t(Code) << bits;
    for (bits += Size; bits >= 8; bits -= 8, acc >>= 8) out.push_back(static_cast<uint8_t>(acc));
  };
  int32_t size = 3, next = 6, longest = 1;
  put(4, size);
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(longest, Count);
    put(n == 1 ? 1 : static_cast<uint32_t>(6 + n - 2), size);
    if ((Count -= n) == 0) break;
    if (next < 4096) {
      if (next == 1 << size) ++size;
      ++next, ++longest;
    }
  }
  if (next < 4096 && next == 1 << size) ++size;
  put(5, size);
  if (bits) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

std::vector<uint8_t> BombGif() {
  std::vector<uint8_t> g = {'G', 'I', 'F', '8', '9', 'a', 0, 0x20, 0, 0x20, 0x81, 0, 0, 0, 0, 0, 85, 85, 85,
                            170, 170, 170, 255, 255, 255, 0x2C, 0, 0, 0, 0, 0, 0x20, 0, 0x20, 0, 2};
  const std::vector<uint8_t> data = LzwBomb(int64_t(8192) * 8192);
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    g.push_back(static_cast<uint8_t>(n));
    g.insert(g.end(), data.begin() + static_cast<ptrdiff_t>(i), data.begin() + static_cast<ptrdiff_t>(i + n));
  }
  g.push_back(0);
  g.push_back(0x3B);
  return g;
}

void BM_GIFControlLoadsBomb(benchmark::State& State) {
  TMemoryStream file;
  file.Bytes() = BombGif();
  for (auto _ : State) {
    TGIFImg gif(nullptr);
    file.SetPosition(0);
    if (!gif.LoadFromStream(file) || gif.GetBitmap() == nullptr) State.SkipWithError("not loaded");
  }
}

}  // namespace

BENCHMARK(BM_FormatChange4To8)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FormatChange8To24)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GIFControlLoadsBomb)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
