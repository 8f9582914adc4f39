#include "tool/cli/cli_commands.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "platform/dynlib.hpp"
#include "platform/serial_list.hpp"
#include "platform/socket.hpp"
#include "tool/cli/cli_view.hpp"
#include "tool/cli/config_items.hpp"
#include "tool/control_ids.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/scr_config_dlg.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"
#include "tool/transfer_job.hpp"
#include "tool/version_text.hpp"

namespace tarvo::cli {
namespace {

constexpr int kMediumButtons[] = {ctl::kSerial, ctl::kNetwork, ctl::kGprs, ctl::kZvServer,
                                  ctl::kZvGprs};
constexpr const char* kMediumNames[] = {"RS232/485", "NetWork", "GPRS Server", "Zv Server",
                                        "Zv GPRS"};

struct DiskButtons {
  int list, refresh, free, read, del, format, write;
};
DiskButtons ButtonsOf(const std::string& disk) {
  if (disk == "system")
    return {ctl::kSystemList,   ctl::kSystemRefresh, ctl::kSystemFreeSpace, ctl::kSystemRead,
            ctl::kSystemDelete, ctl::kSystemFormat,  ctl::kSystemWrite};
  return {ctl::kUserList,   ctl::kUserRefresh, ctl::kUserFreeSpace, ctl::kUserRead,
          ctl::kUserDelete, ctl::kUserFormat,  ctl::kUserWrite};
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// Text printed by the command line itself (not by a dialog message).
void Say(const CliOptions& o, std::vector<std::string>* said, const std::string& text) {
  said->push_back(text);
  bool status_only = text == kTextSuccessful || text.rfind("Verified", 0) == 0;
  if (!o.json && !(o.quiet && status_only)) std::cout << text << std::endl;
}

// NAME.TYPE split at its last dot; "S:" in front is dropped (the disk says it).
FileRow RowFor(std::string name) {
  if (StartsWith(name, "S:") || StartsWith(name, "s:")) name = name.substr(2);
  size_t dot = name.rfind('.');
  FileRow row;
  row.name = dot == std::string::npos ? name : name.substr(0, dot);
  row.type = dot == std::string::npos ? std::string() : name.substr(dot + 1);
  return row;
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b);
}

class ConfigRunner : public ConfigDialogRunner {
 public:
  explicit ConfigRunner(const CliOptions& o) : o_(o) {}
  void Run(CScrConfigDlg& dlg) override {
    if (o_.config_action == "set") {
      for (const std::string& item : o_.items)
        if (!SetConfigItem(dlg, item, &error)) return;
      dlg.OnSetToScreen();
      ok = dlg.last_result() == kTextConfigSuccessful;
      return;
    }
    for (const std::string& item : o_.items) {
      if (!TickConfigItem(dlg, item)) {
        error = "unknown item: " + item + " (font, temperature, humidity, screen, speed, refresh)";
        return;
      }
    }
    dlg.OnReadFromScreen();
    ok = dlg.last_result() == kTextConfigSuccessful;
    if (ok)
      for (const std::string& item : o_.items)
        values.push_back({item, DescribeConfigItem(dlg, item)});
  }
  std::string error;
  bool ok = false;
  std::vector<std::pair<std::string, std::string>> values;

 private:
  const CliOptions& o_;
};

}  // namespace

std::string TargetText(CToolDlg& dlg, CToolApp& app) {
  const CommSettings& p = dlg.panel();
  auto address = [](uint32_t a, int port) {
    return platform::FormatIpv4(a) + ":" + std::to_string(port);
  };
  switch (EffectiveCommType(app.link().comm_type)) {
    case CommType::kNetwork:
      return "the controller at " + address(p.ip_addr, p.ip_port);
    case CommType::kGateway:
      return "modem " + p.imei + " via gateway " + address(p.server_ip, p.server_port);
    case CommType::kZvServer:
    case CommType::kZvGprs:
      return "card " + p.device_id + " via relay " + address(p.relay_ip, p.relay_port);
    case CommType::kSerial:
      break;
  }
  std::string device = ResolveSerialDevice(PortName(p.port_index), app.ports());
  std::string controller = dlg.controller_id() == 255
                               ? std::string("Any controller")
                               : "Controller " + std::to_string(dlg.controller_id());
  return controller + " on " + (device.empty() ? PortName(p.port_index) : device) + " at " +
         std::to_string(BaudRate(p.baud_index)) + " baud";
}

bool IsLocalProblem(const std::string& text) {
  return text == kTextFailedOpenFile || text == kTextFileMaskIncorrect ||
         text == kTextBootFormatErr || text == kTextFileTooLarge || text == kTextBootTooLarge ||
         text == kTextPasswordIncorrect || text == kTextPortRange || text == kTextEnterDeviceId ||
         StartsWith(text, "Please enter no more than");
}

std::vector<SerialPortListing> ListPorts(CToolApp& app) {
  std::vector<SerialPortListing> out;
  for (const platform::SerialDeviceInfo& d : platform::ListSerialDevices()) {
    SerialPortListing p{d.path, "", d.by_id};
    for (int n = 1; n <= 99 && p.com.empty(); ++n)
      if (ResolveSerialDevice(PortName(n - 1), app.ports()) == d.path) p.com = PortName(n - 1);
    out.push_back(p);
  }
  return out;
}

bool ApplyLinkOverrides(CToolDlg& dlg, CToolApp& app, const LinkOverrides& l, std::string* error,
                        PortToRemember* remember) {
  CommSettings& p = dlg.panel();
  if (l.comm_type) {
    int id = kMediumButtons[*l.comm_type - 1];
    if (!dlg.IsEnabled(id)) {
      *error = std::string("the ") + kMediumNames[*l.comm_type - 1] + " medium needs " +
               platform::SharedLibraryFileName("dcc") + " beside tarvo-cli";
      return false;
    }
    dlg.OnCommand(id);
  }
  if (l.port) {
    const std::string& port = *l.port;
    if (StartsWith(port, "COM")) {
      int n = std::atoi(port.c_str() + 3);
      if (n < 1 || n > 99 || port != "COM" + std::to_string(n)) {
        *error = "--port: COM1..COM99 or a device path: " + port;
        return false;
      }
      p.port_index = n - 1;
    } else if (StartsWith(port, "/")) {
      // The COMn that already reaches the device, else the first name that
      // neither the PORTS section nor the machine's own ttyS ports use.
      int chosen = -1;
      for (int n = 0; n < 99 && chosen < 0; ++n)
        if (ResolveSerialDevice(PortName(n), app.ports()) == port) chosen = n;
      for (int n = 0; n < 99 && chosen < 0; ++n) {
        std::string own = ResolveSerialDevice(PortName(n), PortMap{});
        if (app.ports().count(PortName(n)) == 0 && !std::filesystem::exists(own)) chosen = n;
      }
      if (chosen < 0) {
        *error = "--port: every name COM1..COM99 is taken; map the device in the PORTS section";
        return false;
      }
      if (ResolveSerialDevice(PortName(chosen), app.ports()) != port) {
        app.SetPortDevice(PortName(chosen), port);
        *remember = PortToRemember{PortName(chosen), port};
      }
      p.port_index = chosen;
    } else {
      *error = "--port: COM1..COM99 or a device path: " + port;
      return false;
    }
  }
  if (l.baud) {
    std::vector<std::string> bauds = BaudListEntries();
    for (size_t i = 0; i < bauds.size(); ++i)
      if (bauds[i] == std::to_string(*l.baud)) p.baud_index = static_cast<int>(i);
  }
  if (l.controller_id) dlg.OnControllerIdChanged(*l.controller_id - 1);
  if (l.ip) p.ip_addr = *l.ip;
  if (l.ip_port) p.ip_port = *l.ip_port;
  if (l.id_code) p.id_code = *l.id_code;
  if (l.server_ip) p.server_ip = *l.server_ip;
  if (l.server_port) p.server_port = *l.server_port;
  if (l.relay_ip) p.relay_ip = *l.relay_ip;
  if (l.relay_port) p.relay_port = *l.relay_port;
  auto text = [&](const std::optional<std::string>& v, size_t max, const char* name,
                  std::string* field) {
    if (!v) return true;
    if (v->size() > max) {
      *error = std::string(name) + ": at most " + std::to_string(max) + " characters";
      return false;
    }
    *field = *v;
    return true;
  };
  return text(l.imei, 15, "--imei", &p.imei) &&
         text(l.device_id, 30, "--device-id", &p.device_id) &&
         text(l.user, 50, "--user", &p.user_name) &&
         text(l.password, 50, "--password", &p.password);
}

namespace {

bool IsUsageProblem(const std::string& text) {
  return text == kTextPasswordIncorrect || text == kTextPortRange || text == kTextEnterDeviceId ||
         StartsWith(text, "Please enter no more than");
}

// What the dialog's messages (and the link's own account) say went wrong.
CommandOutcome Classify(CToolDlg& dlg, const std::vector<std::string>& messages) {
  for (const std::string& m : messages)
    if (IsLocalProblem(m)) return {kExitUsage, IsUsageProblem(m) ? "usage" : "local", m};
  const LinkProblem& problem = dlg.app().link().problem;
  std::string target = TargetText(dlg, dlg.app());
  for (const std::string& m : messages)
    if (m == kTextNoAnswer) return {kExitController, "no-answer", "no valid reply from " + target};
  for (const std::string& m : messages) {
    if (m == kTextCommFailed) {
      if (problem.code.empty()) return {kExitController, "link-failed", "no link to " + target};
      bool local = problem.code == "usage" || problem.code == "local";
      return {local ? kExitUsage : kExitController, problem.code, problem.reason};
    }
  }
  if (!problem.code.empty()) return {kExitController, problem.code, problem.reason};
  for (const std::string& m : messages)
    if (m == kTextTransferStopped) return {kExitController, "stopped", "stopped by the user"};
  std::string last = messages.empty() ? std::string(kTextFailedBang) : messages.back();
  return {kExitController, "refused", "the controller refused (" + TerminalText(last) + ")"};
}

// Lower-case ASCII, for names that differ only in case.
std::string Folded(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A file the controller would not open or delete: the disk's list tells
// whether it is there, there in another case, or missing.
CommandOutcome ExplainMissingFile(CToolDlg& dlg, CliView& view, const DiskButtons& b,
                                  const std::string& disk, const FileRow& wanted) {
  view.set_muted(true);
  dlg.OnCommand(b.refresh);
  view.set_muted(false);
  std::vector<std::string> muted = view.MutedMessages();
  if (!muted.empty()) return Classify(dlg, muted);
  std::string name = wanted.type.empty() ? wanted.name : wanted.name + "." + wanted.type;
  std::string similar;
  for (const FileRow& r : dlg.rows(b.list)) {
    std::string listed = r.type.empty() ? r.name : r.name + "." + r.type;
    if (listed == name)
      return {kExitController, "refused", "the controller would not open " + name};
    if (Folded(listed) == Folded(name)) similar = listed;
  }
  std::string reason = "no file " + name + " on the " + disk + " disk";
  if (!similar.empty()) reason += "; did you mean " + similar + "?";
  return {kExitController, "not-found", reason};
}

// The byte count of Free Space's text ("1048575 bytes", "1.5M bytes (1572864 bytes)").
long long FreeBytesShown(const std::string& text) {
  size_t open = text.find('(');
  return std::atoll(text.c_str() + (open == std::string::npos ? 0 : open + 1));
}

// A write the controller refused: a disk without room for the file is the
// usual reason, and the free space shows it.
CommandOutcome ExplainRefusedWrite(CToolDlg& dlg, CliView& view, const DiskButtons& b,
                                   const std::string& disk, const std::string& path,
                                   const CommandOutcome& refused) {
  long size = FileSize(path);
  view.set_muted(true);
  size_t before = view.MutedMessages().size();
  dlg.OnCommand(b.free);
  view.set_muted(false);
  std::vector<std::string> muted = view.MutedMessages();
  if (size < 0 || muted.size() != before + 1) return refused;
  const std::string& text = muted.back();
  long long free_bytes = FreeBytesShown(text);
  if (text == kTextFailed || text == kTextNoAnswer || free_bytes >= size) return refused;
  return {kExitController, "disk-full",
          "the " + disk + " disk has " + std::to_string(free_bytes) +
              " bytes free; the file needs " + std::to_string(size)};
}

// "26-12-08 07:37" as ISO 8601 local time (the controller keeps no zone).
std::string IsoDate(const std::string& row_date) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  if (std::sscanf(row_date.c_str(), "%d-%d-%d %d:%d", &y, &mo, &d, &h, &mi) != 5) return row_date;
  char out[32];
  std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d:00", 2000 + y, mo, d, h, mi);
  return out;
}

bool SameBytes(const std::string& a, const std::string& b, long* first_difference) {
  std::vector<uint8_t> x(kTransferBufferSize), y(kTransferBufferSize);
  long nx = ReadWholeFile(a, x), ny = ReadWholeFile(b, y);
  if (nx < 0 || ny < 0) {
    *first_difference = 0;
    return false;
  }
  long n = std::min(nx, ny);
  for (long i = 0; i < n; ++i) {
    if (x[static_cast<size_t>(i)] != y[static_cast<size_t>(i)]) {
      *first_difference = i;
      return false;
    }
  }
  *first_difference = n;
  return nx == ny;
}

}  // namespace

CommandOutcome RunCommand(CToolDlg& dlg, CliView& view, const CliOptions& o, JsonObject* json) {
  const DiskButtons b = ButtonsOf(o.disk);
  std::vector<std::string> said;
  CommandOutcome out;
  const std::string& cmd = o.command;

  if (cmd == "list") {
    dlg.OnCommand(b.refresh);
    if (view.Messages().empty()) {
      std::vector<JsonObject> files;
      for (const FileRow& r : dlg.rows(b.list)) {
        std::string joined = r.type.empty() ? r.name : r.name + "." + r.type;
        char line[160];
        std::snprintf(line, sizeof line, "%-24s %10s  %s", joined.c_str(), Trimmed(r.size).c_str(),
                      r.date.c_str());
        if (!o.json) std::cout << line << std::endl;
        JsonObject f;
        f.Add("name", joined);
        f.Add("base", r.name);
        f.Add("type", r.type);
        f.Add("size", static_cast<int64_t>(std::atoll(r.size.c_str())));
        f.Add("date", IsoDate(r.date));
        files.push_back(f);
      }
      json->Add("files", files);
    } else {
      out = Classify(dlg, view.Messages());
    }
  } else if (cmd == "free") {
    dlg.OnCommand(b.free);
    std::vector<std::string> m = view.Messages();
    bool ok =
        m.size() == 1 && m[0] != kTextFailed && m[0] != kTextCommFailed && m[0] != kTextNoAnswer;
    if (ok) {
      json->Add("free_bytes", static_cast<int64_t>(FreeBytesShown(m[0])));
    } else if (m.size() == 1 && m[0] == kTextFailed) {
      out = {kExitController, "refused", "the controller reports no free space on the disk"};
    } else {
      out = Classify(dlg, m);
    }
  } else if (cmd == "read" || cmd == "delete") {
    FileRow wanted = RowFor(o.target);
    dlg.SetRows(b.list, {wanted});
    dlg.SelectRow(b.list, 0);
    if (cmd == "read") {
      dlg.OnCommand(b.read);
      if (view.Messages().empty() && !view.saved_path().empty()) {
        Say(o, &said, kTextSuccessful);
        if (o.output != "-") json->Add("saved", view.saved_path());
        json->Add("bytes", static_cast<int64_t>(FileSize(view.saved_path())));
      } else if (view.Messages().empty()) {
        Say(o, &said, kTextFailedBang);
        out = ExplainMissingFile(dlg, view, b, o.disk, wanted);
      } else {
        out = Classify(dlg, view.Messages());
      }
    } else {
      dlg.OnCommand(b.del);
      if (!view.Messages().empty()) {
        out = Classify(dlg, view.Messages());
      } else if (dlg.rows(b.list).empty()) {
        Say(o, &said, kTextSuccessful);
      } else {
        Say(o, &said, kTextFailedBang);
        out = ExplainMissingFile(dlg, view, b, o.disk, wanted);
      }
    }
  } else if (cmd == "format") {
    dlg.OnCommand(b.format);
    if (view.declined()) {
      out = {kExitUsage, "usage", "not confirmed (use --yes)"};
    } else if (view.Messages().empty()) {
      Say(o, &said, kTextSuccessful);
    } else {
      out = Classify(dlg, view.Messages());
    }
  } else if (cmd == "write" || cmd == "upgrade") {
    int button = b.write;
    if (cmd == "upgrade") {
      const std::string& k = o.upgrade_kind;
      button = k == "app"    ? ctl::kUpgradeApp
               : k == "bios" ? ctl::kUpgradeBios
               : k == "net"  ? ctl::kUpgradeNet
               : k == "scan" ? ctl::kUpgradeScan
                             : ctl::kUpgradeBoot;
      if (!dlg.IsEnabled(button))
        return {kExitUsage, "usage",
                "upgrade boot works on the serial medium only (--medium serial)"};
    }
    dlg.OnCommand(button);
    dlg.WaitForTransfer();
    std::vector<std::string> m = view.Messages();
    // The name the worker gave the file on the controller.
    const TransferJob& job = dlg.job();
    const std::string remote = RemoteNameFor(job.local_path, job.kind, job.target);
    if (!m.empty() && m.back() == kTextSuccessful) {
      json->Add("remote", remote);
      json->Add("bytes", static_cast<int64_t>(FileSize(o.target)));
    } else {
      out = Classify(dlg, m);
      if (out.error == "refused" && cmd == "write")
        out = ExplainRefusedWrite(dlg, view, b, o.disk, o.target, out);
    }
    if (out.status == kExitOk && o.verify) {
      // The file is read back under its name on the controller and compared.
      std::string copy = o.verify_copy;
      view.set_save_path(copy);
      dlg.SetRows(b.list, {RowFor(remote)});
      dlg.SelectRow(b.list, 0);
      view.set_muted(true);
      dlg.OnCommand(b.read);
      view.set_muted(false);
      long at = 0;
      if (!view.MutedMessages().empty() || view.saved_path() != copy) {
        out = {kExitController, "verify-failed", "the file could not be read back"};
      } else if (!SameBytes(o.target, copy, &at)) {
        out = {kExitController, "verify-failed", "Verify failed at byte " + std::to_string(at)};
      } else {
        Say(o, &said, "Verified: identical");
        json->Add("verified", true);
      }
    }
  } else if (cmd == "version") {
    dlg.OnCommand(ctl::kCheckVersion);
    const CToolDlg::VersionsRead& v = dlg.versions_read();
    if (v.shown) {
      json->Add("text", TerminalText(view.Messages().back()));
      json->Add("model", ControllerModelName(v.model));
      JsonObject versions;
      const char* names[] = {"boot", "logic", "bios", "app", "scan", "net"};
      for (int i = 0; i < 6; ++i) versions.Add(names[i], VersionField(v.words, i));
      json->Add("versions", versions);
    } else {
      out = Classify(dlg, view.Messages());
    }
  } else if (cmd == "reset") {
    dlg.OnCommand(ctl::kReset);
    std::vector<std::string> m = view.Messages();
    if (!(m.size() == 1 && m[0] == kTextSuccessful)) out = Classify(dlg, m);
  } else if (cmd == "config") {
    ConfigRunner runner(o);
    dlg.set_config_runner(&runner);
    dlg.OnCommand(ctl::kConfig);
    dlg.set_config_runner(nullptr);
    if (!runner.error.empty()) return {kExitUsage, "usage", "config: " + runner.error};
    JsonObject values;
    for (auto& [item, value] : runner.values) {
      Say(o, &said, item + "=" + value);
      values.Add(item, value);
    }
    if (!runner.values.empty()) json->Add("config", values);
    if (!runner.ok) out = Classify(dlg, view.Messages());
  } else if (cmd == "ports") {
    std::vector<JsonObject> list;
    for (const SerialPortListing& p : ListPorts(dlg.app())) {
      std::string line = p.device + "  " + (p.com.empty() ? "-" : p.com);
      for (const std::string& id : p.by_id) line += "  " + id;
      Say(o, &said, line);
      JsonObject entry;
      entry.Add("device", p.device);
      entry.Add("com", p.com);
      entry.Add("by_id", p.by_id);
      list.push_back(entry);
    }
    json->Add("ports", list);
  }
  if (!said.empty()) json->Add("output", said);
  return out;
}

}  // namespace tarvo::cli
