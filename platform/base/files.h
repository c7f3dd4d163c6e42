// File and path helpers. "/" separates folders; an extension is what follows
// the last "." of the file name, never of a folder.
#pragma once

#include <string>

bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Dir);
bool DeleteFile(const std::string& FileName);
// Renames OldName to NewName; fails (returns false) when NewName exists.
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Replaces Target by Source atomically (Source is renamed over Target).
bool ReplaceFile(const std::string& Source, const std::string& Target);
bool ForceDirectories(const std::string& Dir);

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
// The per-user folder for files the program writes:
// $XDG_CONFIG_HOME/quillon/, else ~/.config/quillon/; created on demand.
std::string UserConfigFolder();
