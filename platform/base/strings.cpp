#include "platform/base/strings.h"

#include <cerrno>
#include <cstdlib>

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string LowerCase(std::string s) {
  for (auto& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string UpperCase(std::string s) {
  for (auto& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

int64_t StrToIntDef(const std::string& s, int64_t def) {
  std::string t = Trim(s);
  if (t.empty()) return def;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno != 0 || end == t.c_str() || *end != '\0') return def;
  return v;
}

bool SameText(const std::string& a, const std::string& b) { return LowerCase(a) == LowerCase(b); }
