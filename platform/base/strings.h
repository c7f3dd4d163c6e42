// Small string helpers under the names the system's code uses.
#pragma once

#include <cstdint>
#include <string>

std::string IntToStr(int64_t value);
std::string LowerCase(std::string s);  // ASCII letters only
std::string UpperCase(std::string s);  // ASCII letters only
std::string Trim(const std::string& s);
// Parses a decimal integer; returns def when s is not one.
int64_t StrToIntDef(const std::string& s, int64_t def);
bool SameText(const std::string& a, const std::string& b);
