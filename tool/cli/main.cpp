// tarvo-cli: every button of the maintenance dialog as a subcommand, on the
// same core as the desktop tool.
#include <atomic>
#include <filesystem>
#include <iostream>

#include "platform/process.hpp"
#include "platform/stop_signal.hpp"
#include "tool/cli/cli_commands.hpp"
#include "tool/cli/cli_options.hpp"
#include "tool/cli/cli_view.hpp"
#include "tool/cli/json_writer.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#if TARVO_HAVE_RELAY_BINDING
#include "relay/client/session_timing.hpp"
#include "tool/link/relay_binding.hpp"
#endif

namespace {

// The dialog whose transfer Ctrl-C stops.
std::atomic<tarvo::CToolDlg*> g_transfer_dialog{nullptr};

// The application moves to its own folder at start-up, so paths given on
// the command line are fixed against the folder the user is in first.
std::string Absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvo;
  using namespace tarvo::cli;
  CliOptions options;
  std::string message;
  bool to_stderr = false;
  int parsed = ParseCliArguments(argc, argv, &options, &message, &to_stderr);
  if (parsed >= 0) {
    (to_stderr ? std::cerr : std::cout) << message;
    return parsed;
  }
  options.settings_path = Absolute(options.settings_path);
  if (options.command == "write" || options.command == "upgrade")
    options.target = Absolute(options.target);
  if (options.command == "read" && !options.output.empty())
    options.output = Absolute(options.output);
  // Read without -o saves under the file's own name in the user's folder.
  std::string user_dir = platform::CurrentDir();

  CliViewOptions view_options;
  view_options.json = options.json;
  view_options.assume_yes = options.yes;
  view_options.have_access_code = options.access_code.has_value();
  view_options.access_code = options.access_code.value_or("");
  view_options.open_path = options.target;
  view_options.progress_bar = !options.json && platform::IsTerminal(2);

  CToolApp app;
  app.InitInstance(options.settings_path);
#if TARVO_HAVE_RELAY_BINDING
  app.link().relay = ZvServerRelayApi();
#endif
  view_options.save_path = options.output;
  view_options.save_dir = user_dir;
  if (options.fast_pacing) {
    app.timing.block_delay_ms = app.timing.block_delay_zv_server_ms = 0;
    app.timing.block_delay_zv_gprs_ms = 0;
    app.timing.query_delay_ms = app.timing.query_delay_zv_gprs_ms = 1;
    app.timing.finish_delay_ms = 0;
    app.timing.not_ready_delay_ms = 10;
    app.link().serial.timing.piece_pause_ms = 0;
    app.link().tcp.timing.pause_before_connect_ms = 0;
    // A silent controller costs 2 s instead of the 10 s bound.
    app.link().tcp.timing.receive_timeout_ms = 2000;
    app.link().command_timing.missing_blocks_file_wait_ms = 1;
    app.link().command_timing.missing_blocks_firmware_wait_ms = 1;
#if TARVO_HAVE_RELAY_BINDING
    // The relay library's own pauses cost about 24 ms per packet, and a card
    // that left would be waited for 30 s.
    zv::RelaySocketTiming relay;
    relay.connect_pause_ms = 0;
    relay.after_connect_pause_ms = 0;
    relay.read_pause_ms = 0;
    relay.receive_timeout_ms = 3000;
    zv::SetSessionTiming(relay);
#endif
  }
  CliView view(view_options);
  CToolDlg dlg(view, app);
  dlg.OnInitDialog();
  // Ctrl-C during a transfer stops the worker at its next piece or block:
  // the link is closed, the run ends with status 1 and the settings are
  // saved whole. A second Ctrl-C, or one during a short command, ends the
  // program at once as usual.
  if (options.command == "write" || options.command == "upgrade") {
    g_transfer_dialog = &dlg;
    platform::CallOnFirstStopSignal([] {
      if (CToolDlg* d = g_transfer_dialog.load()) d->StopTransfer();
    });
  }

  JsonObject json;
  json.Add("command", options.command);
  std::string error;
  int status;
  if (!ApplyLinkOverrides(dlg, app, options.link, &error)) {
    std::cerr << "tarvo-cli: " << error << std::endl;
    json.Add("error", error);
    status = kExitUsage;
  } else {
    status = RunCommand(dlg, view, options, &json);
    dlg.OnDestroy();
  }
  if (options.json) {
    json.Add("ok", status == kExitOk);
    json.Add("exit", status);
    json.Add("messages", view.Messages());
    std::cout << json.Text() << std::endl;
  }
  return status;
}
