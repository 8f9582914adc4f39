// POSIX implementation of platform/stop_signal.hpp.
#include <pthread.h>
#include <signal.h>

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

}  // namespace

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
