// The process's resident memory as the kernel counts it, for the programs
// that measure what a load costs (the hostile-file set, the fuzz targets'
// cost check, the benchmarks). Neither call allocates.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

// A field of /proc/self/status ("VmRSS", "VmHWM"), in bytes; 0 when absent.
inline int64_t ProcessStatusBytes(const char* Field) {
  char buffer[4096];
  const int fd = open("/proc/self/status", O_RDONLY);
  if (fd < 0) return 0;
  const ssize_t n = read(fd, buffer, sizeof buffer - 1);
  close(fd);
  if (n <= 0) return 0;
  buffer[n] = 0;
  for (const char* p = buffer; *p; ++p) {
    if (p == buffer || p[-1] == '\n') {
      size_t k = 0;
      while (Field[k] && p[k] == Field[k]) ++k;
      if (!Field[k] && p[k] == ':') return std::atoll(p + k + 1) * 1024;
    }
  }
  return 0;
}

// Counts the peak resident size ("VmHWM") afresh from now.
inline void ResetPeakMemory() {
  const int fd = open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return;
  const ssize_t ignored = write(fd, "5", 1);
  (void)ignored;
  close(fd);
}
