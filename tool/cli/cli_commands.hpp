// Runs one subcommand of tarvo-cli by pressing the dialog's buttons: the
// workflows stay in the core; this file only picks the button, answers the
// dialog's questions from the command line and turns what the dialog showed
// into output and an exit status.
#pragma once

#include <string>
#include <vector>

#include "tool/cli/cli_options.hpp"
#include "tool/cli/json_writer.hpp"

namespace tarvo {
class CToolApp;
class CToolDlg;
}  // namespace tarvo

namespace tarvo::cli {

class CliView;

inline constexpr int kExitOk = 0;
inline constexpr int kExitController = 1;
inline constexpr int kExitUsage = 2;

// How a run ended: the exit status, a stable error code for scripts
// ("no-answer", "link-failed", "login-refused", "card-offline",
// "card-locked", "not-found", "refused", "disk-full", "stopped",
// "verify-failed", "usage", "local"; empty on success) and the reason in
// words. docs/cli-json.md lists them.
struct CommandOutcome {
  int status = kExitOk;
  std::string error;
  std::string reason;
};

// A serial device given with --port that the settings should remember
// under a COMn name (empty when there is none to enter).
struct PortToRemember {
  std::string name, device;
};

// Applies the link options to the dialog's panel. False with `error` when
// one cannot be used (a medium whose library is missing, a field too long).
// A device path given with --port is mapped to the COMn the PORTS section
// already gives it, else to a free COMn (named in `remember`), and selected.
bool ApplyLinkOverrides(CToolDlg& dlg, CToolApp& app, const LinkOverrides& link, std::string* error,
                        PortToRemember* remember);

// Runs the subcommand; fills `json` with its results.
CommandOutcome RunCommand(CToolDlg& dlg, CliView& view, const CliOptions& options,
                          JsonObject* json);

// The serial devices of this machine with the COMn name that reaches each
// (from the PORTS section, else COMn for /dev/ttyS(n-1)).
struct SerialPortListing {
  std::string device, com;
  std::vector<std::string> by_id;
};
std::vector<SerialPortListing> ListPorts(CToolApp& app);

// The controller the panel addresses, in a technician's words: "Controller 1
// on /dev/ttyUSB0 at 115200 baud", "the controller at 192.168.1.100:5200",
// "modem 123456789012345 via gateway 10.0.0.2:5200", "card 100001 via relay
// 10.0.0.5:5202".
std::string TargetText(CToolDlg& dlg, CToolApp& app);

// True for texts that report a problem on this side (local file, access
// code, field length) rather than the controller's.
bool IsLocalProblem(const std::string& text);

}  // namespace tarvo::cli
