// Text lines and aspect-ratio resolution for the codec readers.
#include "imaging/formats/codec_glue.h"

#include "platform/base/numeric.h"

std::vector<std::string> SplitTextLines(const uint8_t* Data, size_t Size) {
  std::vector<std::string> lines;
  std::string line;
  int prev = -1;  // the previous byte, or -1 once a CR LF / LF CR pair is complete
  for (size_t i = 0; i < Size; ++i) {
    const uint8_t b = Data[i];
    bool ends = i + 1 == Size;
    if (b == 0) {
      ends = true;
    } else if (b == '\n' || b == '\r') {
      const int partner = b == '\n' ? '\r' : '\n';
      if (prev == partner) {
        prev = -1;
      } else {
        ends = true;
        prev = b;
      }
    } else {
      line.push_back(static_cast<char>(b));
      prev = b;
    }
    if (!ends) continue;
    if (!(b == 0 && line.empty())) lines.push_back(line);
    line.clear();
    if (b == 0) break;
  }
  return lines;
}

void AspectResolution(int32_t Width, int32_t Height, uint32_t XDensity, uint32_t YDensity,
                      int32_t& XRes, int32_t& YRes) {
  if (XDensity == 0 || YDensity == 0) return;
  const long double ratio = static_cast<long double>(XDensity) / YDensity;
  if (ratio <= 1.05L && ratio >= 1.0L / 1.05L) return;
  const long double a = static_cast<long double>(Width) / XDensity;
  const long double b = static_cast<long double>(Height) / YDensity;
  if (a > b) {
    XRes = static_cast<int32_t>(static_cast<int64_t>(Width) * 10);
    YRes = static_cast<int32_t>(Round(static_cast<long double>(Width) * 10 * YDensity / XDensity));
  } else {
    YRes = static_cast<int32_t>(static_cast<int64_t>(Height) * 10);
    XRes = static_cast<int32_t>(Round(static_cast<long double>(Height) * 10 * XDensity / YDensity));
  }
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date, by 400-year eras.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& Year, int32_t& Month, int32_t& Day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  Day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
  Month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
  Year = static_cast<int32_t>(yoe + era * 400 + (Month <= 2));
}

constexpr int64_t kDaysTo1899 = -25569;  // 1899-12-30 counted from 1970-01-01

}  // namespace

bool EncodeDateTimeValue(int32_t Year, int32_t Month, int32_t Day, int32_t Hour, int32_t Minute,
                         int32_t Second, double& Value) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1) return false;
  const bool leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
  if (Day > kDays[Month - 1] + (Month == 2 && leap ? 1 : 0)) return false;
  if (Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59) return false;
  const int64_t days = DaysFromCivil(Year, Month, Day) - kDaysTo1899;
  const double time = (Hour * 3600.0 + Minute * 60.0 + Second) / 86400.0;
  Value = days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
  return true;
}

void DecodeDateTimeValue(double Value, int32_t& Year, int32_t& Month, int32_t& Day, int32_t& Hour,
                         int32_t& Minute, int32_t& Second) {
  // Outside years 1..9999 (and for NaN) the value is taken as day 0.
  if (!(Value > -693594.0 && Value < 2958466.0)) Value = 0;
  const auto days = static_cast<int64_t>(Value);  // truncates toward zero
  double fraction = Value - static_cast<double>(days);
  if (fraction < 0) fraction = -fraction;
  // Round to the second, so that values stored as binary fractions come back.
  int64_t seconds = static_cast<int64_t>(fraction * 86400.0 + 0.5);
  if (seconds >= 86400) seconds = 86399;
  CivilFromDays(days + kDaysTo1899, Year, Month, Day);
  Hour = static_cast<int32_t>(seconds / 3600);
  Minute = static_cast<int32_t>(seconds / 60 % 60);
  Second = static_cast<int32_t>(seconds % 60);
}
