// Reading and writing a 4000 x 3000 JPEG and PNG through the registries,
// beside ImageMagick doing the same on the same files (its time includes
// starting the program). Prints the ratios ours / ImageMagick.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"

namespace {

constexpr int32_t kWidth = 4000;
constexpr int32_t kHeight = 3000;
const char kConvert[] = "/usr/bin/convert";

std::string Folder() {
  static const std::string dir = [] {
    const std::string d = (std::filesystem::temp_directory_path() / "quillon_bench_jpegpng").string();
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::string PathOf(const std::string& Name) { return Folder() + "/" + Name; }

// Photo-like colours: smooth waves with a little noise, the same every run.
void FillPicture(TPixelGraphic& G) {
  G.NewImage(kWidth, kHeight, pf24Bit);
  uint32_t seed = 0x2545F491u;
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = G.ScanLine(y);
    for (int32_t x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const int noise = static_cast<int>((seed >> 24) % 7) - 3;
      for (int c = 0; c < 3; ++c) {
        const double v = 128 + 80 * std::sin(x * 0.003 * (c + 1) + std::cos(y * 0.002) * 2) +
                         30 * std::cos(y * 0.005 - x * 0.0007 * c);
        row[x * 3 + c] = static_cast<uint8_t>(std::clamp(static_cast<int>(v) + noise, 0, 255));
      }
    }
  }
}

// The input files, written once by ours.
void PrepareFiles() {
  static bool done = false;
  if (done) return;
  done = true;
  TPixelGraphic g;
  FillPicture(g);
  g.SaveToFile(PathOf("picture.jpg"));
  g.SaveToFile(PathOf("picture.png"));
  // ImageMagick's writes start from a raw copy that it reads quickly.
  TFileStream ppm(PathOf("picture.ppm"), fmCreate);
  const std::string head = "P6\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
  ppm.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
  std::string row(static_cast<size_t>(kWidth) * 3, '\0');
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      const TColor c = g.GetPixel(x, y);
      row[x * 3] = static_cast<char>(c & 0xFF);
      row[x * 3 + 1] = static_cast<char>((c >> 8) & 0xFF);
      row[x * 3 + 2] = static_cast<char>((c >> 16) & 0xFF);
    }
    ppm.WriteBuffer(row.data(), static_cast<int64_t>(row.size()));
  }
}

void BM_ReadOurs(benchmark::State& state, const char* Name) {
  PrepareFiles();
  for (auto _ : state) {
    TPixelGraphic g;
    g.LoadFromFile(PathOf(Name));
    benchmark::DoNotOptimize(g.GetBits());
  }
}

void BM_WriteOurs(benchmark::State& state, const char* Extension) {
  PrepareFiles();
  TPixelGraphic g;
  FillPicture(g);
  for (auto _ : state) {
    TFileStream s(PathOf(std::string("ours_out.") + Extension), fmCreate);
    g.SaveToStreamAs(s, Extension);
  }
}

void BM_Magick(benchmark::State& state, const char* Arguments) {
  PrepareFiles();
  std::string command = std::string(kConvert) + " " + Arguments;
  for (const char* key : {"{jpg}", "{png}", "{ppm}", "{out}"}) {
    const size_t at = command.find(key);
    if (at == std::string::npos) continue;
    const std::string name = std::string(key).substr(1, 3);
    command.replace(at, 5, name == "out" ? PathOf("magick_out") : PathOf("picture." + name));
  }
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError(("failed: " + command).c_str());
}

// ImageMagick reads into its own image and discards it; its writes start from
// the raw copy (whose reading is measured on its own) with the settings ours
// uses (quality 80 with the floating-point DCT; zlib level 6 with adaptive
// filtering).
BENCHMARK_CAPTURE(BM_ReadOurs, jpg, "picture.jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Magick, read_jpg, "{jpg} null:")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteOurs, jpg, "jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Magick, read_ppm, "{ppm} null:")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Magick, write_jpg, "{ppm} -quality 80 -define jpeg:dct-method=float jpg:{out}")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadOurs, png, "picture.png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Magick, read_png, "{png} null:")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WriteOurs, png, "png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Magick, write_png, "{ppm} -quality 65 png24:{out}")->Unit(benchmark::kMillisecond);

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
  auto ratio = [&](const std::string& ours, const std::string& theirs) {
    if (reporter.Times.count(ours) && reporter.Times.count(theirs) && reporter.Times[theirs] > 0)
      std::printf("%s / %s: %.2f\n", ours.c_str(), theirs.c_str(), reporter.Times[ours] / reporter.Times[theirs]);
  };
  // A write's share of ImageMagick's run, without reading the raw copy.
  auto writeRatio = [&](const std::string& ours, const std::string& theirs) {
    const double base = reporter.Times["BM_Magick/read_ppm"];
    if (reporter.Times.count(ours) && reporter.Times[theirs] > base)
      std::printf("%s / (%s - read_ppm): %.2f\n", ours.c_str(), theirs.c_str(),
                  reporter.Times[ours] / (reporter.Times[theirs] - base));
  };
  ratio("BM_ReadOurs/jpg", "BM_Magick/read_jpg");
  ratio("BM_WriteOurs/jpg", "BM_Magick/write_jpg");
  writeRatio("BM_WriteOurs/jpg", "BM_Magick/write_jpg");
  ratio("BM_ReadOurs/png", "BM_Magick/read_png");
  ratio("BM_WriteOurs/png", "BM_Magick/write_png");
  writeRatio("BM_WriteOurs/png", "BM_Magick/write_png");
  PGraphicFinalization();
  return 0;
}
