// Writing a person's file so that it is never lost and never silently
// damaged. Every save of an image, the settings and the scanner's temporary
// image goes through SafeWriteFile; README.md in this folder lists what a
// save promises under each fault.
//
// The complete content goes to a new file in the target's folder: an unnamed
// one (O_TMPFILE) where the file system has them, so that a process killed
// half-way leaves nothing behind, else one with a name nobody can guess.
// Every write is checked, the file is flushed to the disk and closed (both
// checked), and only then renamed over the target. On any failure the new
// file is deleted and the target is left as it was. The new file is readable
// by the saving person only until it is complete; it then takes the target's
// mode and, where the process may, its owner and group.
//
// What the system would refuse to a plain open() for writing is refused:
// a write-protected target, a symbolic link (the last name or a folder on
// the way) in a sticky folder that others may write unless the link is the
// person's or the folder owner's (the kernel's rule for such links), and
// anything but a regular file (a pipe or a device would block or be
// replaced). Other links stay links: the file they lead to gets the content.
//
// A target with other hard links, or in a folder that refuses new files, is
// written in place, so that every link sees the new content. The content is
// first produced in memory; the target is then locked (a second in-place
// save of it, in any process, waits for the first, for a while), the old
// content copied beside it (or into the person's cache folder when the
// folder refuses new files) with a record of what the save is about to
// write, and synced; the new content is written, synced and closed, and only
// then the copy deleted. A failure puts the old content back; where the disk
// refuses that too, the copy is renamed over the target when it lies beside
// it, else left where the message says.
//
// A copy left by a process that was killed is settled before the file is
// next read (every TFileStream opened for reading does it) or saved, and at
// the programs' start: a file still as its save left it half written gets
// its old content back, and the person is told; a file the save completed,
// or that was changed since by something else, is left as it is, and the
// copy deleted.
//
// Failures raise EFCreateError (the file cannot be created or opened) or
// EWriteError (it cannot be written, flushed, closed or renamed), with the
// text 'Cannot create file "<FileName>": <the system's reason>'; the name is
// the one the caller gave, never the temporary one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/stream.h"

// Writes the complete content of the file into Stream, from position 0. An
// exception it raises ends the save, leaving the target as it was.
using TSafeWriteProc = std::function<void(TStream& Stream)>;

void SafeWriteFile(const std::string& FileName, const TSafeWriteProc& Produce);
void SafeWriteFile(const std::string& FileName, const void* Data, int64_t Size);

// The system calls of a save that a disk can fail, and the files they act
// on, for tests that make them fail: a fault hook is asked before each call
// and a non-zero answer is taken as the call's error number (the call is not
// made, but a close still releases its descriptor). UnnamedFile failing
// makes the save use a named temporary file, as on a file system without
// unnamed ones. Offset is where a Write begins in its file.
// Lock is each try of the in-place save's lock (EWOULDBLOCK: held elsewhere).
enum class TSafeWriteCall { UnnamedFile, Write, Sync, Close, Link, Rename, Truncate, Lock };
enum class TSafeWriteFile {
  NewContent,  // the new file that replaces the target
  Backup,      // the copy of the old content an in-place save keeps
  Target,      // the target itself, written in place
};
using TSafeWriteFaultHook = std::function<int(TSafeWriteCall Call, TSafeWriteFile File, int64_t Offset)>;
// Installs Hook (nullptr removes it) and returns the one it replaces.
TSafeWriteFaultHook SetSafeWriteFaultHook(TSafeWriteFaultHook Hook);

// Settles what in-place saves of FileName left when their process was
// killed (see above) before it is read. Never raises; quick when there is
// nothing to do.
void RecoverInterruptedSave(const std::string& FileName);
// The same for every copy in the person's cache folder, whatever its file:
// both programs' start-up.
void RecoverInterruptedSaves();
// What the person is told of files that got their old content back since
// the last call, each once: 'The last save of "<FileName>" was interrupted;
// its earlier content was restored.'
std::vector<std::string> TakeRestoredSaveMessages();

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
  // Raises EWriteError with Text when a write or resize failed.
  void Check(const std::string& Text) const;

private:
  TStream& FTarget;
  bool FFailed = false;
};
