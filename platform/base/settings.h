// A key/value settings file (one "key=value" per line, kept in the order
// the keys first appeared, with an index by key so that reading and writing
// take time in proportion to the keys) and the program's command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class TSettingsFile {
public:
  // Reads FileName when it exists; a missing or unreadable file gives an
  // empty store. Nothing is written until UpdateFile.
  explicit TSettingsFile(std::string FileName);
  ~TSettingsFile() = default;

  const std::string& FileName() const { return FFileName; }
  bool KeyExists(const std::string& Key) const;
  std::string ReadString(const std::string& Key, const std::string& Default) const;
  // A value that is not a whole number in the 32-bit range reads as Default.
  int32_t ReadInteger(const std::string& Key, int32_t Default) const;
  bool ReadBool(const std::string& Key, bool Default) const;
  void WriteString(const std::string& Key, const std::string& Value);
  void WriteInteger(const std::string& Key, int32_t Value);
  void WriteBool(const std::string& Key, bool Value);
  void DeleteKey(const std::string& Key);
  // Writes the store through SafeWriteFile (durable, the old file kept on
  // failure, a symbolic link kept), creating the folder when needed. False
  // on failure.
  bool UpdateFile();
  bool Modified() const { return FModified; }

private:
  // The line of a key (compared without regard to case), or -1.
  ptrdiff_t Find(const std::string& Key) const;
  std::string FFileName;
  std::vector<std::pair<std::string, std::string>> FValues;
  std::unordered_map<std::string, size_t> FIndex;  // lower-case key -> line
  bool FModified = false;
};

// The command line: the program's start-up stores it; ParamStr(0) is the
// program's path, 1..ParamCount the arguments.
void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(const std::vector<std::string>& Args);
int32_t ParamCount();
// An empty string for an index out of range.
std::string ParamStr(int32_t Index);
