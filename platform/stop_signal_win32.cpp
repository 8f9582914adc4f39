// Windows implementation of platform/stop_signal.hpp: Ctrl-C, Ctrl-Break and
// closing the console arrive at a console control handler, which Windows runs
// on a thread of its own.
#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/stop_signal.hpp"

namespace tarvo::platform {
namespace {

std::atomic<void (*)()> g_on_stop{nullptr};
std::atomic<int> g_stop_signal{0};
HANDLE g_stop_event = nullptr;

int SignalOf(DWORD event) {
  return event == CTRL_C_EVENT ? SIGINT : SIGTERM;
}

// The first stop runs `on_stop` and is consumed; the handler then takes
// itself away, so the next one ends the process as usual.
BOOL WINAPI OnFirstStop(DWORD event) {
  SetConsoleCtrlHandler(OnFirstStop, FALSE);
  if (auto f = g_on_stop.load()) f();
  return event == CTRL_CLOSE_EVENT ? FALSE : TRUE;
}

BOOL WINAPI RecordStop(DWORD event) {
  g_stop_signal = SignalOf(event);
  SetEvent(g_stop_event);
  return TRUE;
}

}  // namespace

void CallOnFirstStopSignal(void (*on_stop)()) {
  g_on_stop = on_stop;
  SetConsoleCtrlHandler(OnFirstStop, TRUE);
}

// Stops are not delivered to threads here, so there is nothing to block;
// the handler only records them for WaitForStopSignal().
void BlockStopSignals() {
  if (g_stop_event == nullptr) {
    g_stop_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(RecordStop, TRUE);
  }
}

int WaitForStopSignal() {
  BlockStopSignals();
  WaitForSingleObject(g_stop_event, INFINITE);
  return g_stop_signal.load();
}

}  // namespace tarvo::platform
