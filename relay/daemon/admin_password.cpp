#include "relay/daemon/admin_password.hpp"

#include <fstream>

#include "platform/process.hpp"

namespace zv::daemon {

int ResolvePassword(const PasswordSources& sources, std::string* out, std::ostream& err) {
  if (sources.given) {
    *out = sources.password;
    return 0;
  }
  if (!sources.file.empty()) {
    std::ifstream in(sources.file, std::ios::binary);
    std::string line;
    if (!in || (!std::getline(in, line) && !in.eof())) {
      err << "cannot read the password file " << sources.file << "\n";
      return 1;
    }
    // A file written by an editor on Windows ends its line with CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    *out = line;
    return 0;
  }
  const std::string from_environment = tarvo::platform::EnvironmentVariable(kPasswordVariable);
  if (!from_environment.empty()) {
    *out = from_environment;
    return 0;
  }
  if (!tarvo::platform::IsTerminal(0)) {
    err << "no password: give --password-file, set " << kPasswordVariable
        << " or run on a terminal to be asked\n";
    return 2;
  }
  std::string first, second;
  err << "Password: " << std::flush;
  if (!tarvo::platform::ReadHiddenLine(&first)) return 2;
  err << "Password again: " << std::flush;
  if (!tarvo::platform::ReadHiddenLine(&second)) return 2;
  if (first != second) {
    err << "the two passwords differ\n";
    return 1;
  }
  *out = first;
  return 0;
}

}  // namespace zv::daemon
