// Waiting for the request to stop a long-running program (SIGINT, SIGTERM).
#pragma once

namespace tarvo::platform {

// Blocks the stop signals in the calling thread and in every thread it starts
// afterwards, so that only WaitForStopSignal() receives them. Call it first
// thing in main().
void BlockStopSignals();
// Waits until a stop signal arrives; returns its number.
int WaitForStopSignal();
// Calls `on_stop` at the first SIGINT or SIGTERM instead of ending the
// process; a second one ends it as usual. `on_stop` runs in a signal
// handler, so it may only store to lock-free atomics.
void CallOnFirstStopSignal(void (*on_stop)());

}  // namespace tarvo::platform
