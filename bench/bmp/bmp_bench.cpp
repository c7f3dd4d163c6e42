// A 4000 x 3000 24-bit BMP loaded and saved through the registries, and
// rotated by 90 and by 30 degrees, each job beside ImageMagick's convert
// doing the same job on the same file; prints our time as a ratio of theirs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

std::string Folder() {
  static std::string dir = [] {
    std::string d = (std::filesystem::temp_directory_path() / "quillon-bmp-bench").string();
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// A deterministic photo-like picture: smooth gradients, shapes and a little noise.
const std::string& Input() {
  static std::string name = [] {
    TPixelGraphic g;
    g.NewImage(kWidth, kHeight, pf24Bit);
    uint32_t seed = 0x2468ACE1u;
    for (int y = 0; y < kHeight; ++y) {
      uint8_t* row = g.ScanLine(y);
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = int(seed >> 28) - 8;
        const double r = 128 + 90 * std::sin(x * 0.003 + y * 0.001), gg = 128 + 80 * std::cos(y * 0.004 - x * 0.002),
                     b = 128 + 100 * std::sin((x + 2 * y) * 0.0015);
        row[3 * x] = uint8_t(std::clamp(int(b) + noise, 0, 255));
        row[3 * x + 1] = uint8_t(std::clamp(int(gg) + noise, 0, 255));
        row[3 * x + 2] = uint8_t(std::clamp(int(r) + noise, 0, 255));
      }
    }
    std::string n = Folder() + "/input.bmp";
    g.SaveToFile(n);
    return n;
  }();
  return name;
}

// Best seconds per job, ours and theirs.
std::map<std::string, double> OursBest, TheirsBest;

void Record(std::map<std::string, double>& Into, const std::string& Job, double Seconds) {
  auto it = Into.find(Job);
  if (it == Into.end() || Seconds < it->second) Into[Job] = Seconds;
}

template <class F>
void TimeOurs(benchmark::State& State, const std::string& Job, F&& Work) {
  for (auto _ : State) {
    auto t0 = std::chrono::steady_clock::now();
    Work();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    State.SetIterationTime(s);
    Record(OursBest, Job, s);
  }
}

void Ours_LoadSave(benchmark::State& State) {
  const std::string in = Input(), out = Folder() + "/ours.bmp";
  TimeOurs(State, "load and save", [&] {
    TPixelGraphic g;
    g.LoadFromFile(in);
    g.SaveToFile(out);
  });
}

void OursRotate(benchmark::State& State, long double Angle, const std::string& Job) {
  const std::string in = Input(), out = Folder() + "/ours.bmp";
  TimeOurs(State, Job, [&] {
    TPixelGraphic g, r;
    g.LoadFromFile(in);
    r.NewImage(g.GetWidth(), g.GetHeight(), g.PixelFormat());
    r.Rotate(true, &g, Angle);
    r.SaveToFile(out);
  });
}
void Ours_Rotate90(benchmark::State& State) { OursRotate(State, 90, "rotate 90"); }
void Ours_Rotate30(benchmark::State& State) { OursRotate(State, 30, "rotate 30"); }

void Theirs(benchmark::State& State, const std::string& Options, const std::string& Job) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    State.SkipWithError("ImageMagick's convert is not installed");
    return;
  }
  const std::string command = "convert " + Input() + " " + Options + " BMP3:" + Folder() + "/theirs.bmp";
  for (auto _ : State) {
    auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      State.SkipWithError("convert failed");
      return;
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    State.SetIterationTime(s);
    Record(TheirsBest, Job, s);
  }
}
void ImageMagick_LoadSave(benchmark::State& State) { Theirs(State, "", "load and save"); }
void ImageMagick_Rotate90(benchmark::State& State) { Theirs(State, "-rotate 90", "rotate 90"); }
void ImageMagick_Rotate30(benchmark::State& State) { Theirs(State, "-rotate 30", "rotate 30"); }

}  // namespace

BENCHMARK(Ours_LoadSave)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ImageMagick_LoadSave)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(Ours_Rotate90)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(ImageMagick_Rotate90)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(Ours_Rotate30)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(ImageMagick_Rotate30)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
  PGraphicInitialization();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\nBest time of each job, %d x %d 24-bit BMP, file to file:\n", kWidth, kHeight);
  std::printf("%-16s %12s %14s %8s\n", "job", "ours (ms)", "ImageMagick", "ratio");
  for (auto& [job, ours] : OursBest) {
    auto it = TheirsBest.find(job);
    if (it == TheirsBest.end()) {
      std::printf("%-16s %12.1f %14s %8s\n", job.c_str(), ours * 1e3, "-", "-");
    } else {
      std::printf("%-16s %12.1f %14.1f %8.2f\n", job.c_str(), ours * 1e3, it->second * 1e3, ours / it->second);
    }
  }
  benchmark::Shutdown();
  PGraphicFinalization();
  return 0;
}
