// The per-thread message queue and the clock. Every thread that creates
// windows or calls GetMessage has a queue; PostMessage is safe from any
// thread. Retrieval order: sent messages from other threads, posted
// messages and input in the order they were queued, then the quit request,
// then WM_PAINT for windows with an update region, then due WM_TIMERs.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/ui/messages.h"

// Blocks until a message arrives. Returns 0 for WM_QUIT, -1 on error, else 1.
// Under the test driver a wait that nothing can end fails the test.
int32_t GetMessage(TMsg& Msg, HWND Wnd, uint32_t FilterMin, uint32_t FilterMax);
// True when a message matched; PM_REMOVE takes it off the queue.
bool PeekMessage(TMsg& Msg, HWND Wnd, uint32_t FilterMin, uint32_t FilterMax, uint32_t RemoveMsg);
// Queues a message for the window's thread. False when the window is gone.
// A null window posts to the calling thread itself.
bool PostMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
// Calls the window procedure at once; from another thread the call runs
// on the window's thread and this thread waits for its result.
LRESULT SendMessage(HWND Wnd, uint32_t Msg, WPARAM WParam, LPARAM LParam);
void PostQuitMessage(int32_t ExitCode);
// Queues WM_CHAR after WM_KEYDOWN of a key that types a character.
bool TranslateMessage(const TMsg& Msg);
LRESULT DispatchMessage(const TMsg& Msg);
// Waits until the queue holds something.
bool WaitMessage();

// Window timers: WM_TIMER(WParam = id) to Wnd every Elapse ms of the
// clock. A second SetTimer with the same window and id replaces the first.
// Returns the id, or 0 when Wnd is not a window.
uintptr_t SetTimer(HWND Wnd, uintptr_t IDEvent, uint32_t Elapse);
bool KillTimer(HWND Wnd, uintptr_t IDEvent);

// Milliseconds of the clock: real time from start-up, or the test driver's
// virtual time.
uint32_t GetTickCount();
// Sleeps on the same clock (a virtual sleep under the test driver).
void Sleep(uint32_t Milliseconds);
// An alertable sleep of a TThread ends early when AlertThread is called for
// it and then returns WAIT_IO_COMPLETION; otherwise the result is 0.
uint32_t SleepEx(uint32_t Milliseconds, bool Alertable);
constexpr uint32_t WAIT_IO_COMPLETION = 0xC0;
// Ends Thread's alertable SleepEx at once, or, when it is not sleeping, its
// next one (the alert stays pending until an alertable sleep takes it).
class TThread;
void AlertThread(TThread* Thread);

// Runs Proc on the main thread (the one that initialised the window
// system): at once when called there, otherwise through the main queue;
// with Wait the caller blocks until it ran. An exception thrown by Proc is
// passed back to a waiting caller.
void RunOnMainThread(std::function<void()> Proc, bool Wait);
bool IsMainThread();
