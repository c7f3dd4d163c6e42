// Files met at start-up and on opening: the settings file with 100,000 keys
// read and written (both linear in the keys), and a 35-byte GIF whose one
// frame declares 20000 x 20000 pixels, loaded through the registries. The
// load reports its peak memory beside the frame's own 400 MB of pixels: with
// the transparent colour 0 the fresh pixel memory is never touched; with the
// viewer's white background (argument 1) every pixel is written.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/process_memory.h"
#include "gif/gif_read_write.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/settings.h"

namespace {

constexpr int kKeys = 100000;
constexpr int kSide = 20000;

std::string Folder() {
  static std::string dir = [] {
    std::string d = (std::filesystem::temp_directory_path() / "quillon-files-bench").string();
    std::filesystem::create_directories(d);
    return d + "/";
  }();
  return dir;
}

const std::string& SettingsFile() {
  static std::string name = [] {
    std::string n = Folder() + "quillonpro.cfg";
    std::ofstream out(n, std::ios::binary);
    for (int i = 0; i < kKeys; ++i) out << "Key" << i << '=' << i * 7 << '\n';
    return n;
  }();
  return name;
}

void Settings_Read100k(benchmark::State& State) {
  const std::string& name = SettingsFile();
  for (auto _ : State) {
    TSettingsFile s(name);
    benchmark::DoNotOptimize(s.ReadInteger("Key99999", 0));
  }
}

void Settings_Write100k(benchmark::State& State) {
  const std::string name = Folder() + "written.cfg";
  for (auto _ : State) {
    TSettingsFile s(name);
    for (int i = 0; i < kKeys; ++i) s.WriteInteger("Key" + std::to_string(i), i);
    if (!s.UpdateFile()) State.SkipWithError("UpdateFile failed");
  }
}


void Gif_Load20000Square(benchmark::State& State) {
  PGraphicInitialization();
  GIFReadWriteInitialization();
  // Screen and frame 20000 x 20000, a 2-entry table and a raster that ends
  // at once: the rows the data never reaches stay at index 0.
  const uint8_t file[35] = {'G', 'I', 'F', '8', '9', 'a', 0x20, 0x4E, 0x20, 0x4E, 0x80, 0, 0, 0, 0, 0, 255, 255,
                            255, 0x2C, 0, 0, 0, 0, 0x20, 0x4E, 0x20, 0x4E, 0, 2, 2, 0x4C, 0x01, 0, 0x3B};
  int64_t peak = 0;
  for (auto _ : State) {
    TMemoryStream stream;
    stream.WriteBuffer(file, sizeof(file));
    stream.SetPosition(0);
    ResetPeakMemory();
    const int64_t before = ProcessStatusBytes("VmRSS");
    TPixelGraphic image;
    if (State.range(0) == 1) image.SetTransparentColor(0xFFFFFF);
    image.LoadFromStream(stream);
    peak = ProcessStatusBytes("VmHWM") - before;
    benchmark::DoNotOptimize(image.ScanLine(0));
  }
  const double frame = double(kSide) * kSide;
  State.counters["peak_MB"] = double(peak) / 1e6;
  State.counters["peak_per_frame_byte"] = double(peak) / frame;
  GIFReadWriteFinalization();
  PGraphicFinalization();
}

}  // namespace

BENCHMARK(Settings_Read100k)->Unit(benchmark::kMillisecond);
BENCHMARK(Settings_Write100k)->Unit(benchmark::kMillisecond);
BENCHMARK(Gif_Load20000Square)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
