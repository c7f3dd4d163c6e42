// File and path helpers. "/" separates folders; an extension is what follows
// the last "." of the file name, never of a folder.
#pragma once

#include <string>

bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Dir);
bool DeleteFile(const std::string& FileName);
// Renames OldName to NewName; fails (returns false) when NewName exists.
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Creates Dir and every missing folder above it, each with Mode (less the
// umask).
bool ForceDirectories(const std::string& Dir, unsigned Mode = 0777);

// "dir/name.ext" -> ".ext" (with the dot), "" when the name has no dot.
std::string ExtractFileExt(const std::string& FileName);
// "dir/name.ext" -> "name.ext".
std::string ExtractFileName(const std::string& FileName);
// "dir/name.ext" -> "dir/" (with the trailing separator), "" without a folder.
std::string ExtractFilePath(const std::string& FileName);
// Replaces (or adds) the extension; Extension includes its dot.
std::string ChangeFileExt(const std::string& FileName, const std::string& Extension);
std::string IncludeTrailingPathDelimiter(const std::string& Dir);

// The folder of the running executable, with a trailing "/".
std::string ProgramFolder();
// The person's home folder: $HOME when it is an absolute path, else the one
// the password database gives; "" when neither does.
std::string HomeFolder();
// The per-user folders the program writes to, each with a trailing "/" and
// created (with every missing folder above it) readable by the person only.
// A relative XDG value is ignored, as the XDG rules say; without a home
// folder the result is "" (never a folder other users share).
// Settings: $XDG_CONFIG_HOME/quillon/, else ~/.config/quillon/.
std::string UserConfigFolder();
// Copies kept a while (the old content an in-place save keeps until the new
// one is on the disk): $XDG_CACHE_HOME/quillon/, else ~/.cache/quillon/.
// It counts only when it is a folder of the person's own that nobody else
// may enter (0700), as the runtime folder must be: "" otherwise.
std::string UserCacheFolder();
// The same; with Create false it is only looked for, and Problem (when
// given) says why there is none, naming the folder and the reason.
std::string UserCacheFolder(bool Create, std::string* Problem);
// Files made and deleted within one command (the scanner's image):
// $XDG_RUNTIME_DIR/quillon/ when that is the person's own private folder,
// else the cache folder.
std::string UserRuntimeFolder();
// Takes an exclusive flock on Fd, waiting while another open file holds
// it, for up to Milliseconds: 0, or the error number (EWOULDBLOCK when it
// was still held at the end). Attempt, when given, makes the first try in
// place of flock(Fd, LOCK_EX | LOCK_NB) and returns 0 or an error number.
int LockExclusiveWithin(int Fd, int Milliseconds, int (*Attempt)(int Fd) = nullptr);
// Characters for a file name that nobody can guess beforehand: 16 lower-case
// hexadecimal digits from the system's random source.
std::string RandomNamePart();
