// Loads one file the way one part of the program does and reports its cost:
//   hostile_load PATH FILE
// prints one line "SECONDS CPU-SECONDS PEAK-GROWTH-BYTES OUTCOME": the wall
// time of the load, the processor time it took (all threads, user and
// system), and the growth of the peak resident memory over what the process
// held before it, as the kernel counts them. The process ends without
// cleaning up, so that only the load is measured.
#include "tests/hostile/hostile_load.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gif/gif_read_write.h"
#include "imaging/core/file_formats.h"
#include "imaging/core/options.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/formats/pg_startup.h"
#include "platform/base/stream.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/clipboard_formats.h"
#include "tests/process_memory.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void StartLibrary() {
  PGraphicInitialization();
  GIFReadWriteInitialization();
}

THostileLoad PrepareLoad(const std::string& Path) {
  if (Path == "registry" || Path == "preview" || Path == "chunks") {
    StartLibrary();
    const bool preview = Path == "preview";
    // Metadata chunks read, as the library option allows.
    PGReadChunks = Path == "chunks";
    return [preview](const std::string& File) {
      TPixelGraphic g;
      g.SetReadWarningAction(pgwaIgnore);
      g.SetPreviewRead(preview);
      g.SetPreviewSize(300);
      g.LoadFromFile(File);
      return Loaded(g.GetWidth(), g.GetHeight());
    };
  }
  if (Path == "info") {
    StartLibrary();
    return [](const std::string& File) {
      std::string description;
      TPGGraphicInfo info;
      if (!GetGraphicFileInfo(File, 0, description, info)) return std::string("refused: no information");
      return Loaded(info.Width, info.Height);
    };
  }
  // TBitmap from a file, then in 8 bits; from the clipboard's DIB format.
  if (Path == "bitmap") {
    return [](const std::string& File) {
      TBitmap b;
      b.LoadFromFile(File);
      b.SetPixelFormat(pf8bit);
      return Loaded(b.Width(), b.Height());
    };
  }
  if (Path == "clipboard") {
    return [](const std::string& File) {
      TMemoryStream m;
      m.LoadFromFile(File);
      const int64_t skip = m.Size() >= 14 && m.Memory()[0] == 'B' && m.Memory()[1] == 'M' ? 14 : 0;
      HGLOBAL block = GlobalFromBytes(std::vector<uint8_t>(m.Memory() + skip, m.Memory() + m.Size()));
      TBitmap b;
      b.LoadFromClipboardFormat(CF_DIB, block, nullptr);
      GlobalFree(block);
      return Loaded(b.Width(), b.Height());
    };
  }
  return PrepareEditionLoad(Path);
}

}  // namespace

std::string Loaded(int32_t Width, int32_t Height) {
  return "loaded " + std::to_string(Width) + " x " + std::to_string(Height);
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: hostile_load PATH FILE\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const THostileLoad load = PrepareLoad(argv[1]);
  if (!load) {
    std::fprintf(stderr, "hostile_load: no path \"%s\" here\n", argv[1]);
    return 2;
  }
  // The peak is counted afresh from here (writing 5 resets it).
  ResetPeakMemory();
  const int64_t before = ProcessStatusBytes("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  const double cpuStart = CpuSeconds();
  std::string outcome;
  try {
    outcome = load(argv[2]);
  } catch (const std::exception& E) {
    outcome = std::string("refused: ") + E.what();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuStart;
  const int64_t growth = ProcessStatusBytes("VmHWM") - before;
  for (char& c : outcome)
    if (c == '\n' || c == '\t') c = ' ';
  std::printf("%.3f %.3f %lld %s\n", seconds, cpu, static_cast<long long>(growth), outcome.c_str());
  std::fflush(stdout);
  _exit(0);
}
