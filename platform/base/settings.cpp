// The settings file and the command line.
#include "platform/base/settings.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/base/exception.h"
#include "platform/base/files.h"
#include "platform/base/safe_write.h"
#include "platform/base/strings.h"

namespace {
// The command line as the start-up stored it.
std::vector<std::string> CommandLine;

// Keys and values are single lines; a key cannot hold "=".
std::string CleanKey(const std::string& Key) {
  std::string k;
  for (char c : Key)
    if (c != '=' && c != '\n' && c != '\r') k += c;
  return Trim(k);
}
std::string CleanValue(const std::string& Value) {
  std::string v;
  for (char c : Value)
    if (c != '\n' && c != '\r') v += c;
  return v;
}
}  // namespace

TSettingsFile::TSettingsFile(std::string FileName) : FFileName(std::move(FileName)) {
  std::ifstream in(FFileName, std::ios::binary);
  if (!in) return;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t last = end;
    if (last > start && text[last - 1] == '\r') --last;
    const size_t eq = text.find('=', start);
    if (eq < last) {
      std::string key = Trim(text.substr(start, eq - start));
      // The first of a repeated key counts.
      if (!key.empty() && key[0] != ';' && key[0] != '#' && FIndex.try_emplace(LowerCase(key), FValues.size()).second)
        FValues.emplace_back(std::move(key), text.substr(eq + 1, last - eq - 1));
    }
    start = end + 1;
  }
}

ptrdiff_t TSettingsFile::Find(const std::string& Key) const {
  auto it = FIndex.find(LowerCase(Key));
  return it == FIndex.end() ? -1 : static_cast<ptrdiff_t>(it->second);
}

bool TSettingsFile::KeyExists(const std::string& Key) const { return Find(CleanKey(Key)) >= 0; }

std::string TSettingsFile::ReadString(const std::string& Key, const std::string& Default) const {
  ptrdiff_t i = Find(CleanKey(Key));
  return i < 0 ? Default : FValues[static_cast<size_t>(i)].second;
}

int32_t TSettingsFile::ReadInteger(const std::string& Key, int32_t Default) const {
  ptrdiff_t i = Find(CleanKey(Key));
  if (i < 0) return Default;
  std::string s = Trim(FValues[static_cast<size_t>(i)].second);
  if (s.empty()) return Default;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno != 0 || !end || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return Default;
  return static_cast<int32_t>(v);
}

bool TSettingsFile::ReadBool(const std::string& Key, bool Default) const {
  return ReadInteger(Key, Default ? 1 : 0) != 0;
}

void TSettingsFile::WriteString(const std::string& Key, const std::string& Value) {
  std::string k = CleanKey(Key);
  if (k.empty()) return;
  std::string v = CleanValue(Value);
  auto [it, added] = FIndex.try_emplace(LowerCase(k), FValues.size());
  if (added) {
    FValues.emplace_back(std::move(k), std::move(v));
    FModified = true;
    return;
  }
  std::string& old = FValues[it->second].second;
  if (old != v) FModified = true;
  old = std::move(v);
}

void TSettingsFile::WriteInteger(const std::string& Key, int32_t Value) { WriteString(Key, std::to_string(Value)); }

void TSettingsFile::WriteBool(const std::string& Key, bool Value) { WriteString(Key, Value ? "1" : "0"); }

void TSettingsFile::DeleteKey(const std::string& Key) {
  ptrdiff_t i = Find(CleanKey(Key));
  if (i < 0) return;
  FIndex.erase(LowerCase(FValues[static_cast<size_t>(i)].first));
  FValues.erase(FValues.begin() + i);
  for (auto& entry : FIndex)
    if (entry.second > static_cast<size_t>(i)) --entry.second;
  FModified = true;
}

bool TSettingsFile::UpdateFile() {
  std::string dir = ExtractFilePath(FFileName);
  if (!dir.empty() && !DirectoryExists(dir) && !ForceDirectories(dir)) return false;
  size_t size = 0;
  for (const auto& [k, v] : FValues) size += k.size() + v.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& [k, v] : FValues) {
    text += k;
    text += '=';
    text += v;
    text += '\n';
  }
  try {
    SafeWriteFile(FFileName, text.data(), static_cast<int64_t>(text.size()));
  } catch (const Exception&) {
    return false;
  }
  FModified = false;
  return true;
}

void SetCommandLine(int argc, const char* const* argv) {
  CommandLine.clear();
  for (int i = 0; i < argc && argv; ++i) CommandLine.emplace_back(argv[i] ? argv[i] : "");
}

void SetCommandLine(const std::vector<std::string>& Args) { CommandLine = Args; }

int32_t ParamCount() { return CommandLine.empty() ? 0 : static_cast<int32_t>(CommandLine.size() - 1); }

std::string ParamStr(int32_t Index) {
  if (Index == 0) {
    // The program's own path as the system knows it, else as it was started.
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    return CommandLine.empty() ? std::string() : CommandLine[0];
  }
  if (Index < 0 || static_cast<size_t>(Index) >= CommandLine.size()) return {};
  return CommandLine[static_cast<size_t>(Index)];
}
