// Where an account command's password comes from. A password on the command
// line is visible to every user of the machine (ps), so it is one source
// among several and never the only one.
#pragma once

#include <ostream>
#include <string>

namespace zv::daemon {

inline constexpr const char* kPasswordVariable = "ZVRELAYD_PASSWORD";

struct PasswordSources {
  bool given = false;    // --password was on the command line
  std::string password;  // its value
  std::string file;      // --password-file; empty: none
};

// The password, taken from the first of: --password, --password-file (its
// first line), the environment variable ZVRELAYD_PASSWORD, a prompt on the
// terminal (typed twice, not echoed). 0 with *out set; 1 the file cannot be
// read or the two typed passwords differ; 2 no source (no terminal to ask
// on). The reason goes to `err`; the password never does.
int ResolvePassword(const PasswordSources& sources, std::string* out, std::ostream& err);

}  // namespace zv::daemon
