// The manager's side of a SANE session: the scanning program started with
// posix_spawn (safe in a program with threads), its answers read with
// poll() and a time limit, its last words kept from its output, and its end
// enforced in the background. Everything the program sends is checked
// before it sizes anything: it runs third-party drivers.
#include "imaging/twain/dsm/sane_source.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace {

constexpr uint64_t MaxScanBytes = uint64_t{1} << 30;  // of DIB pixels
constexpr size_t LastWordsKept = 4096;
const char* const ProgramName = "twain_sane";

// Programs stopped whose end is still awaited in the background. Never
// destroyed: a background wait may outlive the program's static objects.
std::mutex& EndingLock() {
  static auto* M = new std::mutex;
  return *M;
}
std::condition_variable& EndingDone() {
  static auto* C = new std::condition_variable;
  return *C;
}
int32_t Ending = 0;

// Gives a stopped program 2 s to end by itself, then SIGTERM, a second more,
// then SIGKILL; it is reaped in every case.
void EndInBackground(pid_t Pid) {
  {
    std::lock_guard<std::mutex> Lock(EndingLock());
    ++Ending;
  }
  std::thread([Pid] {
    int Status;
    auto Reaped = [&](int32_t Ms) {
      for (int32_t Waited = 0;; Waited += 10) {
        if (::waitpid(Pid, &Status, WNOHANG) == Pid) return true;
        if (Waited >= Ms) return false;
        ::usleep(10000);
      }
    };
    if (!Reaped(2000)) {
      ::kill(Pid, SIGTERM);
      if (!Reaped(1000)) {
        ::kill(Pid, SIGKILL);
        while (::waitpid(Pid, &Status, 0) < 0 && errno == EINTR) {
        }
      }
    }
    std::lock_guard<std::mutex> Lock(EndingLock());
    --Ending;
    EndingDone().notify_all();
  }).detach();
}

void WaitForEndingPrograms() {
  std::unique_lock<std::mutex> Lock(EndingLock());
  EndingDone().wait_for(Lock, std::chrono::seconds(5), [] { return Ending == 0; });
}

// A descriptor moved to 10 or above, so that the child's own numbers (0 to
// 3) can be given to it whatever it was.
int MovedUp(int Fd) {
  if (Fd >= 10) return Fd;
  const int Moved = ::fcntl(Fd, F_DUPFD_CLOEXEC, 10);
  ::close(Fd);
  return Moved;
}

std::string LastLine(const std::string& Text) {
  size_t End = Text.find_last_not_of(" \t\r\n");
  if (End == std::string::npos) return std::string();
  size_t Begin = Text.find_last_of('\n', End);
  Begin = Begin == std::string::npos ? 0 : Begin + 1;
  Begin = Text.find_first_not_of(" \t", Begin);
  return Text.substr(Begin, std::min<size_t>(End + 1 - Begin, 200));
}

void Put32(uint8_t*& P, uint32_t V) {
  for (int32_t i = 0; i < 4; ++i) *P++ = static_cast<uint8_t>(V >> (8 * i));
}

// The rows (top first, Stride bytes each) as a packed DIB block.
TW_HANDLE MakeDib(uint32_t Width, uint32_t Bits, size_t Stride, const std::vector<uint8_t>& Rows, size_t Count) {
  const uint32_t Colours = Bits == 24 ? 0 : (Bits == 1 ? 2 : 256);
  TW_HANDLE Block = TW_AllocHandle(40 + 4 * Colours + Stride * Count);
  if (!Block) return nullptr;
  uint8_t* P = static_cast<uint8_t*>(Block);
  Put32(P, 40);
  Put32(P, Width);
  Put32(P, static_cast<uint32_t>(Count));
  Put32(P, 1 | (Bits << 16));  // planes, bits per pixel
  Put32(P, 0);                 // no compression
  Put32(P, static_cast<uint32_t>(Stride * Count));
  Put32(P, 0);
  Put32(P, 0);
  Put32(P, Colours);
  Put32(P, 0);
  for (uint32_t i = 0; i < Colours; ++i) {
    const uint8_t Level = Bits == 1 ? (i == 0 ? 255 : 0) : static_cast<uint8_t>(i);
    *P++ = Level;
    *P++ = Level;
    *P++ = Level;
    *P++ = 0;
  }
  for (size_t y = 0; y < Count; ++y)  // bottom-up
    std::memcpy(P + (Count - 1 - y) * Stride, Rows.data() + y * Stride, Stride);
  return Block;
}

bool ReadFailure(const std::string& Payload, TSaneFailure& Failure) {
  TWireReader R(Payload);
  const int32_t Condition = R.Int();
  Failure.Text = R.Str();
  Failure.Condition = Condition > 0 && Condition <= 0xFFFF ? static_cast<TW_UINT16>(Condition) : TWCC_OPERATIONERROR;
  return R.Good();
}

}  // namespace

std::string ManagerLibraryFolder() {
  Dl_info Info{};
  if (!::dladdr(reinterpret_cast<void*>(&ManagerLibraryFolder), &Info) || !Info.dli_fname) return std::string();
  std::string Path = Info.dli_fname;
  size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string("./") : Path.substr(0, Slash + 1);
}

bool TSaneSession::Start(TSaneFailure& Failure) {
  if (FPid > 0) return true;
#ifndef QUILLON_HAVE_SANE
  Failure = {TWCC_NODS, ""};
  return false;
#else
  WaitForEndingPrograms();
  const std::string Program = ManagerLibraryFolder() + ProgramName;
  int Sockets[2], Words[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, Sockets) != 0) {
    Failure = {TWCC_LOWMEMORY, std::strerror(errno)};
    return false;
  }
  if (::pipe2(Words, O_CLOEXEC) != 0) {
    Failure = {TWCC_LOWMEMORY, std::strerror(errno)};
    ::close(Sockets[0]);
    ::close(Sockets[1]);
    return false;
  }
  const int ChildSocket = MovedUp(Sockets[1]), ChildWords = MovedUp(Words[1]);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&Actions, ChildWords, 1);
  posix_spawn_file_actions_adddup2(&Actions, ChildWords, 2);
  posix_spawn_file_actions_adddup2(&Actions, ChildSocket, 3);
  // The program starts with every signal at its default and none blocked,
  // whatever this process changed (SIGXFSZ, for one, is ignored here).
  posix_spawnattr_t Attributes;
  posix_spawnattr_init(&Attributes);
  sigset_t Signals;
  sigemptyset(&Signals);
  posix_spawnattr_setsigmask(&Attributes, &Signals);
  sigfillset(&Signals);
  sigdelset(&Signals, SIGKILL);
  sigdelset(&Signals, SIGSTOP);
  posix_spawnattr_setsigdefault(&Attributes, &Signals);
  posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const std::string Parent = std::to_string(::getpid());
  char* Argv[] = {const_cast<char*>(Program.c_str()), const_cast<char*>(Parent.c_str()), nullptr};
  pid_t Pid = -1;
  const int Error = ::posix_spawn(&Pid, Program.c_str(), &Actions, &Attributes, Argv, environ);
  posix_spawn_file_actions_destroy(&Actions);
  posix_spawnattr_destroy(&Attributes);
  if (ChildSocket >= 0) ::close(ChildSocket);
  if (ChildWords >= 0) ::close(ChildWords);
  if (Error != 0 || ChildSocket < 0 || ChildWords < 0) {
    if (Error == 0) EndInBackground(Pid);
    ::close(Sockets[0]);
    ::close(Words[0]);
    Failure = {TWCC_OPERATIONERROR,
               "The scanning program " + Program + " could not be started: " + std::strerror(Error ? Error : EMFILE)};
    return false;
  }
  FPid = Pid;
  FSocket = Sockets[0];
  FWords = Words[0];
  ::fcntl(FSocket, F_SETFL, O_NONBLOCK);
  ::fcntl(FWords, F_SETFL, O_NONBLOCK);
  FBuffer.clear();
  FLastWords.clear();
  return true;
#endif
}

void TSaneSession::Stop() {
  if (FPid <= 0) return;
  ::close(FSocket);
  ::close(FWords);
  FSocket = FWords = -1;
  EndInBackground(FPid);
  FPid = -1;
}

void TSaneSession::ReadLastWords() {
  char Piece[4096];
  for (;;) {
    const ssize_t N = ::read(FWords, Piece, sizeof(Piece));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) {
      if (N == 0) {  // the program and everything it started are gone
        ::close(FWords);
        FWords = -1;
      }
      return;
    }
    FLastWords.append(Piece, static_cast<size_t>(N));
    if (FLastWords.size() > 2 * LastWordsKept) FLastWords.erase(0, FLastWords.size() - LastWordsKept);
  }
}

TSaneSession::TWait TSaneSession::Next(uint32_t& Kind, std::string& Payload, int32_t TimeoutMs, int Cancel) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  for (;;) {
    if (FBuffer.size() >= FrameHeader) {
      uint32_t Size;
      std::memcpy(&Kind, FBuffer.data(), 4);
      std::memcpy(&Size, FBuffer.data() + 4, 4);
      if (Size > MaxFramePayload) return wtBad;
      if (FBuffer.size() >= FrameHeader + Size) {
        Payload.assign(FBuffer, FrameHeader, Size);
        FBuffer.erase(0, FrameHeader + Size);
        return wtFrame;
      }
    }
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline - std::chrono::steady_clock::now());
    if (Left.count() < 0) return wtTimeout;
    pollfd P[3] = {{FSocket, POLLIN, 0}, {FWords, POLLIN, 0}, {Cancel, POLLIN, 0}};
    const int Ready = ::poll(P, 3, static_cast<int>(Left.count()));
    if (Ready < 0 && errno != EINTR) return wtGone;
    if (P[2].revents) return wtCancel;
    if (P[1].revents) ReadLastWords();
    if (P[0].revents) {
      char Piece[65536];
      const ssize_t N = ::read(FSocket, Piece, sizeof(Piece));
      if (N == 0 || (N < 0 && errno != EINTR && errno != EAGAIN)) return wtGone;
      if (N > 0) FBuffer.append(Piece, static_cast<size_t>(N));
    }
  }
}

void TSaneSession::Lost(TWait Why, TSaneFailure& Failure) {
  if (Why == wtGone) {
    // Its last words are in its pipe: read them until the pipe closes, for
    // a moment at most (a driver may have left a process of its own holding it).
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (FWords >= 0 && std::chrono::steady_clock::now() < Deadline) {
      pollfd P{FWords, POLLIN, 0};
      if (::poll(&P, 1, 100) > 0) ReadLastWords();
    }
    const std::string Words = LastLine(FLastWords);
    Failure = {TWCC_OPERATIONERROR, Words.empty() ? std::string("The scanner's driver stopped.") : Words};
  } else if (Why == wtTimeout) {
    Failure = {TWCC_OPERATIONERROR, "The scanner's driver gave no answer."};
  } else {
    Failure = {TWCC_OPERATIONERROR, "The scanner's driver sent something that cannot be read."};
  }
  Stop();
}

bool TSaneSession::Ask(uint32_t Kind, const std::string& Request, uint32_t Expected, std::string& Answer,
                       TSaneFailure& Failure, int Cancel) {
  if (!Start(Failure)) return false;
  if (!SendFrame(FSocket, Kind, Request)) {
    Lost(wtGone, Failure);
    return false;
  }
  uint32_t Got;
  const TWait Wait = Next(Got, Answer, AnswerSeconds * 1000, Cancel);
  if (Wait == wtCancel) {
    Failure = {TWCC_SUCCESS, ""};
    Stop();
    return false;
  }
  if (Wait != wtFrame || (Got != Expected && Got != wkFailure)) {
    Lost(Wait == wtFrame ? wtBad : Wait, Failure);
    return false;
  }
  if (Got == wkFailure) {
    if (!ReadFailure(Answer, Failure)) Lost(wtBad, Failure);
    return false;
  }
  return true;
}

bool TSaneSession::List(std::vector<TSaneDevice>& Devices, TSaneFailure& Failure, int Cancel) {
  Devices.clear();
#ifndef QUILLON_HAVE_SANE
  (void)Failure;
  (void)Cancel;
  return true;
#else
  std::string Answer;
  if (!Ask(wkList, std::string(), wkDevices, Answer, Failure, Cancel)) return false;
  TWireReader R(Answer);
  const std::vector<std::string> Fields = R.Strs();
  if (!R.Good() || Fields.size() % 3 != 0) {
    Lost(wtBad, Failure);
    return false;
  }
  for (size_t i = 0; i < Fields.size(); i += 3) Devices.push_back({Fields[i], Fields[i + 1], Fields[i + 2]});
  return true;
#endif
}

bool TSaneSession::Open(const std::string& Device, TSaneOptions& Options, TSaneFailure& Failure) {
  std::string Answer;
  if (!Ask(wkOpen, Device, wkOptions, Answer, Failure)) return false;
  if (!GetOptions(Answer, Options)) {
    Lost(wtBad, Failure);
    return false;
  }
  return true;
}

bool TSaneSession::Apply(const TSaneSettings& Settings, TSaneFailure& Failure) {
  std::string Answer;
  return Ask(wkSet, PutSettings(Settings), wkDone, Answer, Failure);
}

TSaneResult TSaneSession::Scan(const TSaneProgress& Progress, TW_HANDLE& Dib, TSaneFailure& Failure) {
  Dib = nullptr;
  if (FPid <= 0) {
    Failure = {TWCC_SEQERROR, ""};
    return srFailed;
  }
  if (!SendFrame(FSocket, wkScan, std::string())) {
    Lost(wtGone, Failure);
    return srFailed;
  }
  uint32_t Width = 0, Bits = 0;
  size_t Stride = 0, Expected = 0, MaxLines = 0, Count = 0;
  std::vector<uint8_t> Rows;
  uint32_t Kind;
  std::string Payload;
  for (;;) {
    if (Progress && Progress(static_cast<uint32_t>(Count), static_cast<uint32_t>(Expected))) {
      Stop();
      return srCancelled;
    }
    // A short wait, so that the progress window answers the person meanwhile.
    const TWait Wait = Next(Kind, Payload, 50, -1);
    if (Wait == wtTimeout) continue;
    if (Wait != wtFrame) {
      Lost(Wait, Failure);
      return srFailed;
    }
    bool Sound = true;
    switch (Kind) {
      case wkLayout: {
        TWireReader R(Payload);
        const int32_t W = R.Int(), B = R.Int(), Lines = R.Int();
        Sound = R.Good() && Stride == 0 && W > 0 && (B == 1 || B == 8 || B == 24) && Lines >= 0;
        if (!Sound) break;
        Width = static_cast<uint32_t>(W);
        Bits = static_cast<uint32_t>(B);
        Stride = static_cast<size_t>((uint64_t{Width} * Bits + 31) / 32 * 4);
        MaxLines = static_cast<size_t>(MaxScanBytes / Stride);
        Expected = static_cast<size_t>(Lines);
        Sound = Stride <= MaxFramePayload && Expected <= MaxLines;
        break;
      }
      case wkRows: {
        Sound = Stride > 0 && !Payload.empty() && Payload.size() % Stride == 0;
        if (!Sound) break;
        size_t Lines = Payload.size() / Stride;
        if (Expected > 0) Lines = std::min(Lines, Expected - std::min(Count, Expected));
        if (Count + Lines > MaxLines) {
          Failure = {TWCC_LOWMEMORY, "The scan is too large."};
          Stop();
          return srFailed;
        }
        Rows.insert(Rows.end(), Payload.begin(), Payload.begin() + static_cast<ptrdiff_t>(Lines * Stride));
        Count += Lines;
        break;
      }
      case wkEnd:
        if (Count == 0) {
          Failure = {TWCC_OPERATIONERROR, "The scanner sent no image."};
          return srFailed;
        }
        Dib = MakeDib(Width, Bits, Stride, Rows, Count);
        if (!Dib) Failure = {TWCC_LOWMEMORY, "Out of memory"};
        return Dib ? srDone : srFailed;
      case wkCancelled: return srCancelled;
      case wkFailure:
        if (ReadFailure(Payload, Failure)) return srFailed;
        Sound = false;
        break;
      default: Sound = false; break;
    }
    if (!Sound) {
      Lost(wtBad, Failure);
      return srFailed;
    }
  }
}
