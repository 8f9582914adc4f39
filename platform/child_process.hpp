// Starting a program as a child process and reading what it prints (used by
// the tests that drive a whole program, such as the simulator).
#pragma once

#include <string>
#include <vector>

namespace tarvo::platform {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` with `args` (not including the program name); its
  // standard output goes to a pipe read by ReadLine. 1 or 0.
  int Start(const std::string& program, const std::vector<std::string>& args);
  bool IsRunning() const { return pid_ > 0; }
  // The child's process id, or -1 when none runs.
  int Pid() const { return pid_; }
  // One line of the child's standard output without its newline; false when
  // none is complete within timeout_ms or the output ended.
  bool ReadLine(std::string* line, int timeout_ms);
  // Asks the child to stop (SIGTERM). 1 or 0.
  int Terminate();
  // Waits up to timeout_ms for the child to end. Returns its exit code, 128 +
  // the signal number when a signal ended it, or -1 when it is still running
  // (it is then left running; the destructor kills it).
  int Wait(int timeout_ms);

 private:
  int pid_ = -1;
  int out_fd_ = -1;
  std::string pending_;
};

}  // namespace tarvo::platform
