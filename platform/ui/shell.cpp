// Shell execution without a command interpreter.
#include "platform/ui/shell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/base/strings.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/window_internal.h"

extern char** environ;

namespace {

intptr_t Spawn(const TShellRequest& Request) {
  std::vector<std::string> args;
  args.push_back(Request.Program);
  for (const std::string& a : Request.Arguments) args.push_back(a);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!Request.Directory.empty()) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
    posix_spawn_file_actions_addchdir_np(&actions, Request.Directory.c_str());
#endif
  }
  pid_t pid = 0;
  int err = posix_spawnp(&pid, Request.Program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  switch (err) {
    case 0: break;
    case ENOENT: return SE_ERR_FNF;
    case ENOTDIR: return SE_ERR_PNF;
    case EACCES:
    case EPERM: return SE_ERR_ACCESSDENIED;
    case ENOMEM: return SE_ERR_OOM;
    default: return SE_ERR_NOASSOC;
  }
  // The started program lives on its own; this only collects its exit and
  // tells the main thread, when asked to, while it still runs its queue.
  std::thread([pid, onExit = Request.OnExit] {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !onExit) return;
    const int32_t code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 1;
    if (ui_internal::MainQueue()) RunOnMainThread([onExit, code] { onExit(code); }, false);
  }).detach();
  return SE_OK;
}

TShellLauncher& Launcher() {
  static auto* l = new TShellLauncher(Spawn);
  return *l;
}

bool IsAddress(const std::string& File) {
  std::string f = LowerCase(File);
  return f.find("://") != std::string::npos || f.rfind("mailto:", 0) == 0 || f.rfind("www.", 0) == 0;
}

}  // namespace

TShellLauncher SetShellLauncher(TShellLauncher NewLauncher) {
  TShellLauncher old = Launcher();
  Launcher() = NewLauncher ? std::move(NewLauncher) : TShellLauncher(Spawn);
  return old;
}

intptr_t ShellExecute(HWND, const std::string& Operation, const std::string& File, const std::string& Parameters,
                      const std::string& Directory, int32_t, TShellExitEvent OnExit) {
  std::string op = LowerCase(Operation);
  if (!op.empty() && op != "open") return SE_ERR_NOASSOC;
  if (File.empty()) return SE_ERR_FNF;
  TShellRequest r;
  r.Directory = Directory;
  r.OnExit = std::move(OnExit);
  if (IsAddress(File)) {
    r.Program = "xdg-open";
    r.Arguments = {File};
    return Launcher()(r);
  }
  std::string path = File;
  if (!Directory.empty() && path[0] != '/') path = Directory + (Directory.back() == '/' ? "" : "/") + path;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOTDIR ? SE_ERR_PNF : SE_ERR_FNF;
  if (S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0) {
    r.Program = path;
    if (!Parameters.empty()) r.Arguments = {Parameters};
  } else {
    r.Program = "xdg-open";
    r.Arguments = {path};
  }
  return Launcher()(r);
}

std::string FindProgramOnPath(const std::string& Name) {
  const char* path = std::getenv("PATH");
  const std::string folders = path ? path : "";
  for (size_t start = 0; start <= folders.size();) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    if (end > start) {
      std::string candidate = folders.substr(start, end - start);
      candidate += (candidate.back() == '/' ? "" : "/") + Name;
      struct stat st {};
      if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
        return candidate;
    }
    start = end + 1;
  }
  return {};
}

TShellRecorder::TShellRecorder(intptr_t AResult) : Result(AResult) {
  FPrevious = SetShellLauncher([this](const TShellRequest& R) {
    Requests.push_back(R);
    return Result;
  });
}

TShellRecorder::~TShellRecorder() { SetShellLauncher(FPrevious); }
