// POSIX implementation of platform/child_process.hpp.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/child_process.hpp"

namespace tarvo::platform {
namespace {

long long NowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
}

int ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  if (pid_ > 0) return 0;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return 0;
  std::vector<std::string> owned;
  owned.push_back(program);
  owned.insert(owned.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
  }
  if (pid == 0) {
    // Child: only async-signal-safe calls until exec. The stop signals are
    // unblocked in case the parent had them blocked.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::dup2(fds[1], 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  pid_ = pid;
  out_fd_ = fds[0];
  return 1;
}

bool ChildProcess::ReadLine(std::string* line, int timeout_ms) {
  const long long deadline = NowMs() + timeout_ms;
  for (;;) {
    size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      *line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return true;
    }
    if (out_fd_ < 0) return false;
    long long left = deadline - NowMs();
    if (left <= 0) return false;
    pollfd p{out_fd_, POLLIN, 0};
    int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char buf[512];
    ssize_t n = ::read(out_fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(out_fd_);
      out_fd_ = -1;
      continue;
    }
    pending_.append(buf, static_cast<size_t>(n));
  }
}

int ChildProcess::Terminate() {
  return pid_ > 0 && ::kill(pid_, SIGTERM) == 0 ? 1 : 0;
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  const long long deadline = NowMs() + timeout_ms;
  for (;;) {
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0 && errno != EINTR) return -1;
    if (NowMs() >= deadline) return -1;
    timespec ts{0, 10 * 1000000L};
    ::nanosleep(&ts, nullptr);
  }
}

}  // namespace tarvo::platform
