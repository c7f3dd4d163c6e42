// Helpers shared by the readers and writers that sit on a C codec library
// (JPEG, PNG): leaving the library by longjmp, handing C++ exceptions across
// its frames, splitting metadata text into lines and mapping aspect-only
// densities to a resolution.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Receives a codec warning (the library's formatted text). It may throw to
// end the read or write; the glue carries the exception past the library.
using TCodecWarning = std::function<void(const std::string& Text)>;

// Runs Body, whose library calls may leave by longjmp(Jump, 1). Returns false
// when they did. Body must hold no object with a destructor while it is in
// the library, since longjmp skips its frame.
template <class F>
bool CodecGuard(std::jmp_buf& Jump, F&& Body) {
  if (setjmp(Jump) != 0) return false;
  Body();
  return true;
}

// Splits metadata text into lines. Every byte other than 0, LF and CR joins
// the current line; a line ends at a 0 byte, at an LF or CR that does not
// complete a CR LF or LF CR pair, and at the last byte. An ended line is kept
// unless the ending byte is 0 and the line is empty; a 0 byte ends the whole
// text. So "a" CR LF CR LF "b" gives a, an empty line and b.
std::vector<std::string> SplitTextLines(const uint8_t* Data, size_t Size);

// Resolution in pixels per metre from a density that gives only the aspect
// ratio (JFIF unit 0, pHYs unit 0). Leaves XRes and YRes alone when the ratio
// XDensity / YDensity lies within 1/1.05 .. 1.05 or a density is not above 0.
void AspectResolution(int32_t Width, int32_t Height, uint32_t XDensity, uint32_t YDensity,
                      int32_t& XRes, int32_t& YRes);

// A calendar date and time of day as a date-time value: days since 30
// December 1899, the fraction the time of day (before that day, the fraction
// counts the other way, as the date-time type of the system does). False for
// a date or time that does not exist (month 13, 31 February, hour 24, ...).
bool EncodeDateTimeValue(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute,
                         int32_t Second, double& Value);
// The reverse, to the second.
void DecodeDateTimeValue(double Value, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour,
                         int32_t& Minute, int32_t& Second);
