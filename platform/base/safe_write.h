// Writing a person's file so that it is never lost and never silently
// damaged. Every save of an image, the settings and the scanner's temporary
// image goes through SafeWriteFile.
//
// The complete content goes to a new temporary file beside the target, every
// write is checked, the file is flushed to the disk and closed (both
// checked), and only then renamed over the target. On any failure the
// temporary file is deleted and the target is left as it was. The new file
// keeps the target's mode and, where the process may, its owner and group; a
// symbolic link stays a link (the file it points to is replaced). When a
// rename would break the target's other hard links, when the target is not a
// regular file, or when the folder refuses new files but the target itself
// is writable, the file is written in place instead, but only once the whole
// content has been produced in memory, so that a failing writer still leaves
// it untouched.
//
// Failures raise EFCreateError (the file cannot be created or opened) or
// EWriteError (it cannot be written, flushed, closed or renamed), with the
// text 'Cannot create file "<FileName>": <the system's reason>'; the name is
// the one the caller gave, never the temporary one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/base/stream.h"

// Writes the complete content of the file into Stream, from position 0. An
// exception it raises ends the save, leaving the target as it was.
using TSafeWriteProc = std::function<void(TStream& Stream)>;

void SafeWriteFile(const std::string& FileName, const TSafeWriteProc& Produce);
void SafeWriteFile(const std::string& FileName, const void* Data, int64_t Size);

// A stream that forwards to another and notes every write that comes back
// short and every resize that fails, so that a writer which does not check
// its writes still cannot report a damaged result as written.
class TWriteCheckStream : public TStream {
public:
  explicit TWriteCheckStream(TStream& Target) : FTarget(Target) {}
  int64_t Read(void* Buffer, int64_t Count) override { return FTarget.Read(Buffer, Count); }
  int64_t Write(const void* Buffer, int64_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override { return FTarget.Seek(Offset, Origin); }
  int64_t Size() override { return FTarget.Size(); }
  void SetSize(int64_t NewSize) override;
  bool Failed() const { return FFailed; }
  // Bytes handed to Write and bytes the target took.
  int64_t BytesHanded() const { return FHanded; }
  int64_t BytesWritten() const { return FWritten; }
  // Raises EWriteError with Text when a write or resize failed.
  void Check(const std::string& Text) const;

private:
  TStream& FTarget;
  int64_t FHanded = 0;
  int64_t FWritten = 0;
  bool FFailed = false;
};
