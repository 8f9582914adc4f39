// Waiting for the request to stop a long-running program (SIGINT, SIGTERM).
#pragma once

namespace tarvo::platform {

// Blocks the stop signals in the calling thread and in every thread it starts
// afterwards, so that only WaitForStopSignal() receives them. Call it first
// thing in main().
void BlockStopSignals();
// Waits until a stop signal arrives; returns its number.
int WaitForStopSignal();

}  // namespace tarvo::platform
