// The shell: opens web and mail addresses and documents with the desktop's
// opener (xdg-open) and starts programs with exactly one argument, never
// through a command interpreter. Results follow the classic convention:
// above 32 is success, anything else an error code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/messages.h"

enum : intptr_t {
  SE_ERR_OOM = 0,
  SE_ERR_FNF = 2,
  SE_ERR_PNF = 3,
  SE_ERR_ACCESSDENIED = 5,
  SE_ERR_NOASSOC = 31,
  SE_OK = 42,
};

// Called on the main thread with the exit code of a started program once
// it ends (128 + the signal's number when a signal ended it).
using TShellExitEvent = std::function<void(int32_t ExitCode)>;

// One program start: the program (a path or a name found on PATH) and its
// arguments, each passed as one argument; OnExit, when set, hears how it
// ended (the opener of a document fails after it started, when the
// desktop has no program for the document).
struct TShellRequest {
  std::string Program;
  std::vector<std::string> Arguments;
  std::string Directory;
  TShellExitEvent OnExit;
};

// Starts the program of a request and returns the shell result. The
// default spawns the process; tests install a recorder.
using TShellLauncher = std::function<intptr_t(const TShellRequest& Request)>;
TShellLauncher SetShellLauncher(TShellLauncher Launcher);

// Operation "open" (or empty) on File:
// - a web address (scheme "://", "www.") or a "mailto:" address, or a file
//   that is not a program: the desktop's opener with File as its argument;
// - an executable file: the program itself with Parameters as its one
//   argument (none when Parameters is empty).
// A File that is empty, or names no existing file and no address, gives
// SE_ERR_FNF. Wnd and ShowCmd are accepted for the callers' sake. OnExit,
// when given, hears the started program's exit without blocking.
intptr_t ShellExecute(HWND Wnd, const std::string& Operation, const std::string& File, const std::string& Parameters,
                      const std::string& Directory, int32_t ShowCmd, TShellExitEvent OnExit = nullptr);

// The executable file Name in the first folder of PATH that holds one,
// "" when none does.
std::string FindProgramOnPath(const std::string& Name);

// Records every request instead of starting anything, while it exists.
class TShellRecorder {
public:
  explicit TShellRecorder(intptr_t Result = SE_OK);
  ~TShellRecorder();
  TShellRecorder(const TShellRecorder&) = delete;
  TShellRecorder& operator=(const TShellRecorder&) = delete;
  std::vector<TShellRequest> Requests;
  intptr_t Result;

private:
  TShellLauncher FPrevious;
};
