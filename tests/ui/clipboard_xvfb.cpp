// The clipboard between processes on a real X display (run under Xvfb): a
// picture another process put there before we looked is seen; our own copy
// reaches a viewer form whose window was made again; a copy by another
// process of ours, whose publications are counted like ours, reaches the
// chain and replaces our picture.
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/gdi/bitmap.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/forms.h"
#include "platform/ui/message_queue.h"
#include "tests/ui/clipboard_viewer_form.h"
#include "tests/ui/xvfb_desktop.h"

extern char** environ;

namespace {

int Failures = 0;

void Check(bool Ok, const char* What) {
  std::printf("%s: %s\n", Ok ? "ok" : "FAILED", What);
  if (!Ok) ++Failures;
}

TColor ClipboardColour() {
  if (!Clipboard()->HasFormat(CF_BITMAP)) return clNone;
  TBitmap b;
  try {
    b.Assign(Clipboard());
  } catch (const std::exception&) {
    return clNone;
  }
  return b.Width() > 0 ? b.Canvas()->Pixels(0, 0) : clNone;
}

void CopyColour(TColor Colour) {
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(8, 6);
  b.Canvas()->Brush()->SetColor(Colour);
  b.Canvas()->FillRect(TRect{0, 0, 8, 6});
  Clipboard()->Assign(&b);
}

// Another process of ours that copies a picture of one colour, says so on
// its standard output and serves the clipboard until its input closes.
struct TPublisher {
  pid_t Pid = -1;
  int In = -1;
  int Out = -1;

  bool Start(TColor Colour) {
    int toChild[2], fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&fa, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&fa, toChild[1]);
    posix_spawn_file_actions_addclose(&fa, fromChild[0]);
    std::string colour = std::to_string(Colour);
    char self[] = "/proc/self/exe";
    char mode[] = "--publish";
    char* argv[] = {self, mode, colour.data(), nullptr};
    int rc = posix_spawn(&Pid, self, &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    close(toChild[0]);
    close(fromChild[1]);
    In = toChild[1];
    Out = fromChild[0];
    if (rc != 0) return false;
    // Its word that the picture is on the clipboard.
    pollfd p{Out, POLLIN, 0};
    char c = 0;
    return poll(&p, 1, 20000) == 1 && read(Out, &c, 1) == 1 && c == 'r';
  }

  ~TPublisher() {
    if (In >= 0) close(In);
    if (Out >= 0) close(Out);
    if (Pid > 0) {
      // It ends when its input closes; the clipboard still answers it meanwhile.
      if (!PumpUntil([this] { return waitpid(Pid, nullptr, WNOHANG) == Pid; }, 10000)) {
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
      }
    }
  }
};

int Publish(TColor Colour) {
  CopyColour(Colour);
  Application->ProcessMessages();
  std::fputc('r', stdout);
  std::fflush(stdout);
  for (;;) {
    Application->ProcessMessages();
    pollfd p{0, POLLIN, 0};
    if (poll(&p, 1, 20) != 0) break;  // input closed (or anything written): done
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InitializeForms(argc, argv);
  if (argc >= 3 && std::strcmp(argv[1], "--publish") == 0) {
    int rc = Publish(static_cast<TColor>(std::stoul(argv[2])));
    FinalizeClipboard();
    FinalizeForms();
    return rc;
  }
  const TColor red = 0x0000FF, green = 0x00FF00, blue = 0xFF0000;
  {
    TPublisher before;
    Check(before.Start(red), "another process copied a red picture");
    Check(PumpUntil([&] { return ClipboardColour() == red; }),
          "the picture on the clipboard before we first looked is seen");
  }

  auto* form = new TViewerForm();
  form->Next = SetClipboardViewer(form->Handle());
  const HWND first = form->Handle();
  form->SetBorderStyle(bsNone);  // the form's window is made again
  Check(form->Handle() != first && GetClipboardViewer() == form->Handle(), "the remade window heads the chain");
  int32_t draws = form->Draws;
  CopyColour(green);
  Check(form->Draws == draws + 1 && ClipboardColour() == green, "our own copy reaches the chain and is there");

  {
    TPublisher other;
    draws = form->Draws;
    Check(other.Start(blue), "another process of ours copied a blue picture");
    Check(PumpUntil([&] { return form->Draws > draws; }), "its copy reaches the chain");
    Check(ClipboardColour() == blue, "its picture replaces ours");
  }
  form->Free();
  FinalizeClipboard();
  FinalizeForms();
  std::printf("%d failure(s)\n", Failures);
  return Failures == 0 ? 0 : 1;
}
