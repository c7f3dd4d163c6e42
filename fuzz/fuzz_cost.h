// The cost check of the reader targets: a read may take the time and memory
// of a small multiple of the picture its input declares, never more. Memory
// is the growth of the process's peak resident size during the read (the
// kernel's count, so pixel memory mapped straight from the system counts
// too); time is the processor time the process spent in its own code (the
// kernel's clearing of new pages, which the memory check already weighs,
// varies widely from machine to machine). A read over its budget is run
// once more, so that a moment of a busy machine is not taken for a finding;
// over it again, the target stops with what and by how much.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "fuzz/fuzz_input.h"
#include "tests/process_memory.h"

// The largest picture the fuzz targets let a reader make: a quarter of the
// library's own cap, large enough that what a declared picture costs shows,
// small enough for a fuzzer's memory.
constexpr uint32_t FuzzImageBytes = 256u << 20;

namespace fuzz_cost {

// Processor time spent in the process's own code, all threads.
inline double UserSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6;
}

}  // namespace fuzz_cost

// What a read may cost: the bytes of the pictures it may hold at once, and
// the bytes of pixels it may go through (a job that shows several frames
// goes through each).
struct TFuzzPicture {
  int64_t Memory = 0;
  int64_t Work = 0;
};

// Runs Read within the budget of what it returns: the bytes of the picture
// its input declares (0 when it declares none it can tell), or a
// TFuzzPicture. The budget is 2 x the picture and 96 MiB of working memory,
// and 1 s and 40 ns a byte of work (sanitizers and coverage make the code
// several times slower than a release build).
template <class F>
void CheckedRead(const char* What, F&& Read) {
  TFuzzPicture picture;
  int64_t growth = 0;
  double seconds = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    ResetPeakMemory();
    const int64_t before = ProcessStatusBytes("VmRSS");
    const double start = fuzz_cost::UserSeconds();
    const auto result = Read();
    if constexpr (std::is_same_v<std::decay_t<decltype(result)>, TFuzzPicture>)
      picture = result;
    else
      picture = TFuzzPicture{result, result};
    seconds = fuzz_cost::UserSeconds() - start;
    growth = ProcessStatusBytes("VmHWM") - before;
    if (seconds <= 1.0 + 40e-9 * double(picture.Work) && growth <= 2 * picture.Memory + (int64_t(96) << 20)) return;
  }
  std::fprintf(stderr, "%s: a picture of %lld bytes (%lld of work) took %.2f s and %lld bytes\n", What,
               static_cast<long long>(picture.Memory), static_cast<long long>(picture.Work), seconds,
               static_cast<long long>(growth));
  FuzzFailure("cost beyond the picture");
}
