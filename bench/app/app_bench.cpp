// The full edition's own handlers driven headless on a 12-megapixel JPEG:
// File > Open up to the size estimate (LoadFile) beside the library doing
// the same job on the same file, the GIF save after it (SaveFile) beside
// the disk's own write of the same bytes, and the colour preview of eight
// reductions of a 1024 x 768 picture. Prints the best and the median of
// several runs of each. With "zoom", one run for timing the whole process
// from outside: PHOTO (a 4000 x 3000 test photo, written first when it is
// not there) opened, ZOOM typed and applied (the estimate of the picture
// shown that large); prints the estimate.
//   app_bench [RUNS]
//   app_bench zoom PHOTO ZOOM
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/qln_main.h"
#include "app/preview.h"
#include "app/quillon_pro_startup.h"
#include "bench/reduce/test_images.h"
#include "gif/gif_read_write.h"
#include "imaging/core/median_cut.h"
#include "imaging/core/pixel_graphic.h"
#include "imaging/viewer/pg_image.h"
#include "platform/base/settings.h"
#include "platform/base/stream.h"
#include "platform/ui/std_controls.h"
#include "platform/ui/test_driver.h"

namespace {

using TClock = std::chrono::steady_clock;

double Seconds(const std::function<void()>& Work) {
  const auto start = TClock::now();
  Work();
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// Best and median of Runs timings of Work.
void Report(const char* What, int Runs, const std::function<double()>& Work) {
  std::vector<double> t;
  for (int i = 0; i < Runs; ++i) t.push_back(Work());
  std::sort(t.begin(), t.end());
  std::printf("%-44s best %7.3f s   median %7.3f s\n", What, t.front(), t[t.size() / 2]);
  std::fflush(stdout);
}

// A test picture as a 24-bit image saved under Name.
void WritePicture(const std::string& Picture, int32_t Width, int32_t Height, const std::string& Name) {
  const TRgbPicture p = MakeTestPicture(Picture, Width, Height);
  TPixelGraphic g;
  g.NewImage(Width, Height, pf24Bit);
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* from = p.Row(y);
    uint8_t* to = g.ScanLine(y);
    for (int32_t x = 0; x < Width; ++x)
      to[3 * x] = from[3 * x + 2], to[3 * x + 1] = from[3 * x + 1], to[3 * x + 2] = from[3 * x];
  }
  g.SaveToFile(Name);
}

// The library's job on the same file: read it, reduce it to the optimal
// 256 colours with dithering, encode the GIF in memory while the rows are
// mapped.
double LibraryJob(const std::string& Name) {
  return Seconds([&] {
    TPixelGraphic source, dest;
    source.LoadFromFile(Name);
    dest.NewImage(source.GetWidth(), source.GetHeight(), pf8Bit);
    CreateOptimizedPalette(&dest, &source, 256, false);
    TMemoryStream gif;
    dest.CopyFromWhile(&source, [&] { SavePixelGraphicAsGIF(gif, dest, false, false, 0xFFFFFF); });
  });
}

// Opens Photo, types Zoom and applies it.
int ZoomAndApply(const std::string& Photo, int32_t Zoom) {
  TUiTestDriver driver;
  QuillonProInitialization(0, nullptr, false);
  if (!std::filesystem::exists(Photo)) WritePicture("photo", 4000, 3000, Photo);
  SetCommandLine(std::vector<std::string>{"quillonpro"});
  QuillonProCreateForms();
  Form1->Show();
  driver.ProcessMessages();
  Form1->LoadFile(Photo);
  Form1->edZoom->SetValue(Zoom);
  Form1->btnRefreshClick(nullptr);
  driver.ProcessMessages();
  std::printf("%s at zoom %d: %s\n", Photo.c_str(), Zoom, Form1->StatBar->Panels()->Items(2)->Text().c_str());
  Form1->Free();
  driver.ProcessMessages();
  QuillonProFinalization(false);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (argc == 4 && std::string(argv[1]) == "zoom") {
    const std::filesystem::path config = std::filesystem::temp_directory_path() / "quillon_app_bench_zoom";
    std::filesystem::create_directories(config);
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    try {
      return ZoomAndApply(argv[2], std::atoi(argv[3]));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "app_bench: %s\n", e.what());
      return 1;
    }
  }
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quillon_app_bench";
  std::filesystem::create_directories(dir);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  try {
    TUiTestDriver driver;
    QuillonProInitialization(0, nullptr, false);
    SetCommandLine(std::vector<std::string>{"quillonpro"});
    QuillonProCreateForms();
    Form1->Show();
    driver.ProcessMessages();

    const std::string photo = (dir / "photo.jpg").string();
    const std::string small = (dir / "small.jpg").string();
    const std::string saved = (dir / "saved.gif").string();
    WritePicture("photo", 4000, 3000, photo);
    WritePicture("photo", 1024, 768, small);

    Report("library job: read JPEG, reduce, GIF in memory", runs, [&] { return LibraryJob(photo); });
    Report("full edition: open to estimate (LoadFile)", runs, [&] {
      // Another picture first, so that the estimate has to encode.
      Form1->LoadFile(small);
      driver.ProcessMessages();
      const double t = Seconds([&] { Form1->LoadFile(photo); });
      driver.ProcessMessages();
      return t;
    });
    // Each save follows an open, as a person saves what was estimated.
    Report("full edition: save GIF after it (SaveFile)", runs, [&] {
      Form1->LoadFile(small);
      Form1->LoadFile(photo);
      driver.ProcessMessages();
      const double t = Seconds([&] { Form1->SaveFile(saved); });
      driver.ProcessMessages();
      return t;
    });
    Report("  the disk's own write of the same bytes", runs, [&] {
      TMemoryStream bytes;
      bytes.LoadFromFile(saved);
      return Seconds([&] { bytes.SaveToFile(saved); });
    });

    Form1->LoadFile(small);
    driver.ProcessMessages();
    Report("preview of eight reductions, 1024 x 768", runs, [&] {
      TClock::time_point shown;
      driver.WhenIdle([&] {
        shown = TClock::now();
        Form2->SetModalResult(mrOk);
      });
      const auto start = TClock::now();
      Form1->PreviewColours1Click(nullptr);
      driver.ProcessMessages();
      return std::chrono::duration<double>(shown - start).count();
    });

    Form1->Free();
    driver.ProcessMessages();
    QuillonProFinalization(false);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "app_bench: %s\n", e.what());
    return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
