// Colour reduction on deterministic 4000 x 3000 pictures: the optimal palette
// of 256 colours, the dithered conversion onto it, and the two together.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>

#include "bench/reduce/test_images.h"
#include "imaging/core/dither.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"

namespace {

constexpr int32_t PictureWidth = 4000;
constexpr int32_t PictureHeight = 3000;

// The 24-bit image of a test picture, made on first use.
TPixelGraphic& Picture(int64_t Index) {
  static std::map<int64_t, std::unique_ptr<TPixelGraphic>> images;
  std::unique_ptr<TPixelGraphic>& image = images[Index];
  if (!image) {
    InitClampTable();
    InitPGPalettes();
    const TRgbPicture picture =
        MakeTestPicture(TestPictureNames().at(size_t(Index)), PictureWidth, PictureHeight);
    image = std::make_unique<TPixelGraphic>();
    image->NewImage(PictureWidth, PictureHeight, pf24Bit);
    for (int32_t y = 0; y < PictureHeight; ++y) {
      const uint8_t* from = picture.Row(y);
      uint8_t* to = image->ScanLine(y);
      for (int32_t x = 0; x < PictureWidth; ++x)
        to[3 * x] = from[3 * x + 2], to[3 * x + 1] = from[3 * x + 1], to[3 * x + 2] = from[3 * x];
    }
  }
  return *image;
}

void Label(benchmark::State& State) {
  State.SetLabel(TestPictureNames().at(size_t(State.range(0))));
  State.SetItemsProcessed(State.iterations() * int64_t(PictureWidth) * PictureHeight);
}

void BM_OptimalPalette(benchmark::State& State) {
  TPixelGraphic& source = Picture(State.range(0));
  TPixelGraphic dest;
  dest.NewImage(PictureWidth, PictureHeight, pf8Bit);
  for (auto _ : State) CreateOptimizedPalette(&dest, &source, 256, false);
  Label(State);
}

void Convert(benchmark::State& State, bool Dither) {
  TPixelGraphic& source = Picture(State.range(0));
  TPixelGraphic dest;
  dest.NewImage(PictureWidth, PictureHeight, pf8Bit);
  CreateOptimizedPalette(&dest, &source, 256, false);
  dest.SetDither(Dither);
  for (auto _ : State) dest.CopyFrom(&source);
  Label(State);
}
void BM_DitherToPalette(benchmark::State& State) { Convert(State, true); }
void BM_MapToPalette(benchmark::State& State) { Convert(State, false); }

// The main job: a new 8-bit image, its optimal palette, the picture mapped on.
void MainJob(benchmark::State& State, bool Dither) {
  TPixelGraphic& source = Picture(State.range(0));
  for (auto _ : State) {
    TPixelGraphic dest;
    dest.NewImage(PictureWidth, PictureHeight, pf8Bit);
    CreateOptimizedPalette(&dest, &source, 256, false);
    dest.SetDither(Dither);
    dest.CopyFrom(&source);
    benchmark::DoNotOptimize(dest.ScanLine(0));
  }
  Label(State);
}
void BM_MainJob(benchmark::State& State) { MainJob(State, true); }
void BM_MainJobNoDither(benchmark::State& State) { MainJob(State, false); }

// 0 = photo, 1 = fractal, 2 = flat.
BENCHMARK(BM_OptimalPalette)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DitherToPalette)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MapToPalette)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MainJob)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MainJobNoDither)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
