// tarvo-cli: every button of the maintenance dialog as a subcommand, on the
// same core as the desktop tool.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "platform/stop_signal.hpp"
#include "tool/cli/cli_commands.hpp"
#include "tool/cli/cli_options.hpp"
#include "tool/cli/cli_view.hpp"
#include "tool/cli/json_writer.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"
#include "tool/transfer_job.hpp"
#if TARVO_HAVE_RELAY_BINDING
#include "tool/link/relay_binding.hpp"
#endif
// The relay library's pacing can be replaced where the library exports more
// than its nine functions (libZvServerAPI.so); ZvServerAPI.dll exports only
// those, and the tool binds it by ordinal.
#if TARVO_HAVE_RELAY_BINDING && !defined(_WIN32)
#define TARVO_HAVE_RELAY_TIMING 1
#include "relay/client/session_timing.hpp"
#else
#define TARVO_HAVE_RELAY_TIMING 0
#endif

namespace {

using namespace tarvo;
using namespace tarvo::cli;

// The dialog whose transfer Ctrl-C stops.
std::atomic<CToolDlg*> g_transfer_dialog{nullptr};

// The application moves to its own folder at start-up, so paths given on
// the command line are fixed against the folder the user is in first.
std::string Absolute(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.string();
}

// Prints how the run ended: the JSON object, or the reason on stderr.
int Finish(const CliOptions& o, const CommandOutcome& outcome, JsonObject* json,
           const std::vector<std::string>& messages) {
  if (o.json) {
    json->Add("ok", outcome.status == kExitOk);
    json->Add("exit", outcome.status);
    if (outcome.status != kExitOk) {
      json->Add("error", outcome.error);
      json->Add("reason", outcome.reason);
    }
    json->Add("messages", messages);
    std::cout << json->Text() << std::endl;
  }
  if (outcome.status != kExitOk && !outcome.reason.empty())
    std::cerr << "tarvo-cli: " << outcome.reason << std::endl;
  return outcome.status;
}

// Checks made before anything is sent: where a read file goes, whether the
// settings can be written, whether an upgrade has its access code.
bool CheckLocalThings(CliOptions* o, const std::string& user_dir, CommandOutcome* refused) {
  auto refuse = [&](const std::string& code, const std::string& reason) {
    *refused = {kExitUsage, code, reason};
    return false;
  };
  if (o->command == "read" && o->output == "-" && o->json)
    return refuse("usage", "-o - writes the file to standard output; --json needs it too");
  if (o->command == "read" && o->output != "-") {
    std::string name = o->target;
    if (name.rfind("S:", 0) == 0 || name.rfind("s:", 0) == 0) name = name.substr(2);
    std::string path = o->output.empty() ? user_dir + "/" + name : o->output;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (std::filesystem::is_directory(path))
      return refuse("local", path + " is a folder; name the file to write (-o FILE)");
    if (std::filesystem::exists(path) && !o->force)
      return refuse("local", path + " exists (use --force to replace it)");
    if (!platform::IsDirectoryWritable(folder.empty() ? "." : folder.string()))
      return refuse("local", "cannot write in " + folder.string());
  }
  if (o->command == "upgrade" && !o->access_code && !platform::IsTerminal(0))
    return refuse("usage", "no access code (use --access-code)");
  if (!o->no_save && !o->settings_path.empty()) {
    std::filesystem::path folder = std::filesystem::path(o->settings_path).parent_path();
    bool writable = std::filesystem::exists(o->settings_path)
                        ? platform::IsFileWritable(o->settings_path)
                        : platform::IsDirectoryWritable(folder.empty() ? "." : folder.string());
    if (!writable)
      return refuse("local", "cannot write the settings file " + o->settings_path +
                                 " (use --no-save to leave it alone)");
  }
  return true;
}

void ShortenPacing(CToolApp& app) {
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
#if TARVO_HAVE_RELAY_TIMING
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

// A file in the temporary folder for this run (read to stdout, verify).
std::string ScratchFile(const char* purpose) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = ".";
  static int counter = 0;
  return (dir / ("tarvo-cli-" + std::to_string(std::rand()) + "-" + std::to_string(counter++) +
                 "." + purpose))
      .string();
}

bool CopyToStdout(const std::string& path) {
  std::vector<uint8_t> bytes(kTransferBufferSize);
  long n = ReadWholeFile(path, bytes);
  if (n < 0) return false;
  std::cout.flush();
  return std::fwrite(bytes.data(), 1, static_cast<size_t>(n), stdout) == static_cast<size_t>(n) &&
         std::fflush(stdout) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  CliOptions options;
  std::string message;
  bool to_stderr = false;
  int parsed = ParseCliArguments(argc, argv, &options, &message, &to_stderr);
  if (parsed >= 0) {
    (to_stderr ? std::cerr : std::cout) << message;
    if (parsed != 0 && JsonAsked(argc, argv)) {
      // Usage errors are one JSON object too; the reason is the first line.
      JsonObject json;
      json.Add("command", options.command);
      json.Add("ok", false);
      json.Add("exit", parsed);
      json.Add("error", "usage");
      json.Add("reason", message.substr(0, message.find('\n')));
      std::cout << json.Text() << std::endl;
    }
    return parsed;
  }
  options.settings_path = Absolute(options.settings_path);
  if (options.command == "write" || options.command == "upgrade")
    options.target = Absolute(options.target);
  if (options.command == "read" && !options.output.empty() && options.output != "-")
    options.output = Absolute(options.output);
  // Read without -o saves under the file's own name in the user's folder.
  std::string user_dir = platform::CurrentDir();

  JsonObject json;
  json.Add("command", options.command);
  CommandOutcome outcome;
  if (!CheckLocalThings(&options, user_dir, &outcome)) return Finish(options, outcome, &json, {});

  const bool to_stdout = options.command == "read" && options.output == "-";
  // Standard output then carries the file's bytes and nothing else.
  if (to_stdout) options.quiet = true;
  std::string read_copy = to_stdout ? ScratchFile("read") : options.output;
  if (options.verify) options.verify_copy = ScratchFile("verify");

  CliViewOptions view_options;
  view_options.json = options.json;
  view_options.quiet = options.quiet;
  view_options.assume_yes = options.yes;
  view_options.have_access_code = options.access_code.has_value();
  view_options.access_code = options.access_code.value_or("");
  view_options.open_path = options.target;
  view_options.progress_bar = !options.json && !options.quiet && platform::IsTerminal(2);
  view_options.save_path = read_copy;
  view_options.save_dir = user_dir;

  CToolApp app;
  app.InitInstance(options.settings_path);
#if TARVO_HAVE_RELAY_BINDING
  app.link().relay = ZvServerRelayApi();
#endif
  if (options.fast_pacing) ShortenPacing(app);
  if (options.verbose) app.link().trace = &std::cerr;

  CliView view(view_options);
  // The socket library at version 2.2, as the dialog program starts it. A
  // failure is told and the run goes on; the network media then fail.
  const int sockets = platform::StartSocketLibrary(2, 2);
  if (sockets == 0) view.ShowMessage(kTextSocketStartFailed, kAppTitle, MessageIcon::kExclamation);
  if (sockets < 0) view.ShowMessage(kTextSocketTooOld, kAppTitle, MessageIcon::kExclamation);
  CToolDlg dlg(view, app);
  dlg.OnInitDialog();

  std::string error;
  PortToRemember remember;
  if (!ApplyLinkOverrides(dlg, app, options.link, &error, &remember)) {
    dlg.OnDestroy(false);
    return Finish(options, {kExitUsage, "usage", error}, &json, {});
  }
  // Before anything that changes the controller, say which one it is.
  std::string target = TargetText(dlg, app);
  view_options.target = target;
  view.set_target(target);
  const std::string& c = options.command;
  bool destructive = c == "write" || c == "delete" || c == "format" || c == "upgrade";
  if (destructive && !options.quiet) std::cerr << "tarvo-cli: target: " << target << std::endl;
  if (destructive) json.Add("target", target);

  // Ctrl-C during a transfer stops the worker at its next piece or block:
  // the link is closed and the run ends with status 1. A second Ctrl-C, or
  // one during a short command, ends the program at once as usual.
  if (c == "write" || c == "upgrade") {
    g_transfer_dialog = &dlg;
    platform::CallOnFirstStopSignal([] {
      if (CToolDlg* d = g_transfer_dialog.load()) d->StopTransfer();
    });
  }
  outcome = RunCommand(dlg, view, options, &json);
  if (!destructive && outcome.status != kExitOk) json.Add("target", target);

  // What the command line gave is kept only when the run reached a
  // controller with it.
  bool save = !options.no_save && app.link().whole_replies > 0;
  bool saved = dlg.OnDestroy(save);
  if (save && !remember.name.empty())
    saved = SavePortDevice(app.settings_path(), remember.name, remember.device) && saved;
  if (save && !saved)
    std::cerr << "tarvo-cli: cannot write the settings file " << app.settings_path() << std::endl;

  if (to_stdout) {
    if (outcome.status == kExitOk && !CopyToStdout(read_copy))
      outcome = {kExitUsage, "local", "cannot write the file to standard output"};
    std::filesystem::remove(read_copy);
  }
  if (!options.verify_copy.empty()) std::filesystem::remove(options.verify_copy);
  if (sockets == 1) platform::StopSocketLibrary();
  return Finish(options, outcome, &json, view.Messages());
}
