// POSIX implementation of platform/stop_signal.hpp.
#include <pthread.h>
#include <signal.h>

#include <atomic>

#include "platform/stop_signal.hpp"

namespace tarvo::platform {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

std::atomic<void (*)()> g_on_stop{nullptr};

void HandleStop(int) {
  if (auto f = g_on_stop.load()) f();
}

}  // namespace

void CallOnFirstStopSignal(void (*on_stop)()) {
  g_on_stop = on_stop;
  struct sigaction sa = {};
  sa.sa_handler = HandleStop;
  sigemptyset(&sa.sa_mask);
  // The handler is used once; the next signal has the default action again.
  sa.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void BlockStopSignals() {
  sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForStopSignal() {
  sigset_t set = StopSet();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) == 0) return sig;
  }
}

}  // namespace tarvo::platform
