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
  // Reads FileName when it exists; a missing file gives an empty store, and
  // so does one that cannot be read (Error says why). Nothing is written
  // until UpdateFile. Reading never blocks on a pipe and never raises.
  explicit TSettingsFile(std::string FileName);
  ~TSettingsFile() = default;

  // Why the file could not be read, or why the last UpdateFile failed, naming
  // the file and the system's reason; "" when nothing failed.
  const std::string& Error() const { return FError; }
  bool KeyExists(const std::string& Key) const;
  std::string ReadString(const std::string& Key, const std::string& Default) const;
  // A value that is not a whole number in the 32-bit range reads as Default.
  int32_t ReadInteger(const std::string& Key, int32_t Default) const;
  bool ReadBool(const std::string& Key, bool Default) const;
  void WriteString(const std::string& Key, const std::string& Value);
  void WriteInteger(const std::string& Key, int32_t Value);
  void DeleteKey(const std::string& Key);
  // Writes the keys written and deleted since the file was read (or last
  // updated) into the file as it is now on the disk, so that another
  // process's changes in between are kept: under a lock (a ".lock" file
  // beside it, waited for at most two seconds: a lock another program
  // holds longer fails the update, and Error says that program holds the
  // file), the file is read again, these changes applied, and the
  // result written through SafeWriteFile (durable, the old file kept on
  // failure, a symbolic link kept), creating the folder when needed. Lines
  // that hold no key (comments, blank lines) stay where they stand. A file
  // that cannot be read is never written over. False on failure (Error says
  // why); the changes stay pending.
  bool UpdateFile();
  bool Modified() const { return !FChanges.empty(); }

private:
  // One line of the file: key lines carry their key and value, other lines
  // (comments, lines without "=") only their text.
  struct TLine {
    std::string Text;
    std::string Key;  // "" for a line that holds no key
    std::string Value;
  };
  // A key written (with its value) or deleted since the file was read.
  struct TChange {
    std::string Key;
    bool Deleted = false;
    std::string Value;
  };
  void Parse(const std::string& Text);
  void Set(const std::string& Key, const std::string& Value);
  void Remove(const std::string& LowerKey);
  void NoteChange(const std::string& LowerKey, TChange Change);
  // The line of a key (compared without regard to case), or -1.
  ptrdiff_t Find(const std::string& Key) const;
  std::string FFileName;
  std::string FError;
  std::vector<TLine> FLines;
  std::unordered_map<std::string, size_t> FIndex;  // lower-case key -> its first line
  std::vector<TChange> FChanges;                   // in the order first made
  std::unordered_map<std::string, size_t> FChangeIndex;  // lower-case key -> change
};

// What both programs do first at start-up: the command line is stored,
// SIGXFSZ is ignored (IgnoreFileSizeSignal), so that under a file-size limit
// (ulimit -f) a save fails with "File too large" instead of the signal
// ending the program with the person's unsaved work, and the copies that
// interrupted saves left in the cache folder are settled
// (RecoverInterruptedSaves; the programs tell TakeRestoredSaveMessages).
void InitializeProcess(int argc, const char* const* argv);
void IgnoreFileSizeSignal();

// The command line: the program's start-up stores it; ParamStr(0) is the
// program's path, 1..ParamCount the arguments.
void SetCommandLine(int argc, const char* const* argv);
void SetCommandLine(const std::vector<std::string>& Args);
int32_t ParamCount();
// An empty string for an index out of range.
std::string ParamStr(int32_t Index);
