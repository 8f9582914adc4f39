#include "tool/cli/cli_commands.hpp"

#include <cstdio>
#include <iostream>

#include "tool/cli/cli_view.hpp"
#include "tool/cli/config_items.hpp"
#include "tool/control_ids.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/scr_config_dlg.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"
#include "tool/transfer_job.hpp"

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
  if (!o.json) std::cout << text << std::endl;
}

int Outcome(bool ok, const std::vector<std::string>& messages) {
  if (ok) return kExitOk;
  for (const std::string& m : messages)
    if (IsLocalProblem(m)) return kExitUsage;
  return kExitController;
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
    char text[40];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%d", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF,
                  a & 0xFF, port);
    return std::string(text);
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

bool ApplyLinkOverrides(CToolDlg& dlg, CToolApp& app, const LinkOverrides& l, std::string* error) {
  CommSettings& p = dlg.panel();
  if (l.comm_type) {
    int id = kMediumButtons[*l.comm_type - 1];
    if (!dlg.IsEnabled(id)) {
      *error = std::string("the ") + kMediumNames[*l.comm_type - 1] +
               " medium needs libdcc.so beside tarvo-cli";
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
      // A device path stands for the selected port name during this run.
      if (p.port_index < 0) p.port_index = 0;
      app.SetPortDevice(PortName(p.port_index), port);
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

int RunCommand(CToolDlg& dlg, CliView& view, const CliOptions& o, JsonObject* json) {
  const DiskButtons b = ButtonsOf(o.disk);
  std::vector<std::string> said;
  int status = kExitController;
  const std::string& cmd = o.command;

  if (cmd == "list") {
    dlg.OnCommand(b.refresh);
    std::vector<JsonObject> files;
    bool ok = view.Messages().empty();
    if (ok) {
      for (const FileRow& r : dlg.rows(b.list)) {
        std::string joined = r.type.empty() ? r.name : r.name + "." + r.type;
        char line[160];
        std::snprintf(line, sizeof line, "%-24s %10s  %s", joined.c_str(), Trimmed(r.size).c_str(),
                      r.date.c_str());
        if (!o.json) std::cout << line << std::endl;
        JsonObject f;
        f.Add("name", r.name);
        f.Add("type", r.type);
        f.Add("size", static_cast<int64_t>(std::atoll(r.size.c_str())));
        f.Add("date", r.date);
        files.push_back(f);
      }
      json->Add("files", files);
    }
    status = Outcome(ok, view.Messages());
  } else if (cmd == "free") {
    dlg.OnCommand(b.free);
    std::vector<std::string> m = view.Messages();
    bool ok =
        m.size() == 1 && m[0] != kTextFailed && m[0] != kTextCommFailed && m[0] != kTextNoAnswer;
    if (ok) {
      size_t open = m[0].find('(');
      json->Add("free_bytes", static_cast<int64_t>(std::atoll(
                                  m[0].c_str() + (open == std::string::npos ? 0 : open + 1))));
    }
    status = Outcome(ok, m);
  } else if (cmd == "read" || cmd == "delete") {
    dlg.SetRows(b.list, {RowFor(o.target)});
    dlg.SelectRow(b.list, 0);
    if (cmd == "read") {
      dlg.OnCommand(b.read);
      bool ok = view.Messages().empty() && !view.saved_path().empty();
      if (ok) {
        Say(o, &said, kTextSuccessful);
        json->Add("saved", view.saved_path());
      } else if (view.Messages().empty()) {
        Say(o, &said, kTextFailedBang);  // the controller could not open the file
      }
      status = Outcome(ok, view.Messages());
    } else {
      dlg.OnCommand(b.del);
      bool ok = dlg.rows(b.list).empty();
      if (view.Messages().empty()) Say(o, &said, ok ? kTextSuccessful : kTextFailedBang);
      status = Outcome(ok, view.Messages());
    }
  } else if (cmd == "format") {
    dlg.OnCommand(b.format);
    if (view.declined()) {
      status = kExitUsage;
    } else {
      bool ok = view.Messages().empty();
      if (ok) Say(o, &said, kTextSuccessful);
      status = Outcome(ok, view.Messages());
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
      if (!dlg.IsEnabled(button)) {
        std::cerr << "upgrade boot works on the serial medium only (--medium serial)" << std::endl;
        json->Add("error", "upgrade boot works on the serial medium only");
        return kExitUsage;
      }
    }
    dlg.OnCommand(button);
    dlg.WaitForTransfer();
    std::vector<std::string> m = view.Messages();
    status = Outcome(!m.empty() && m.back() == kTextSuccessful, m);
  } else if (cmd == "version") {
    dlg.OnCommand(ctl::kCheckVersion);
    std::vector<std::string> m = view.Messages();
    bool ok =
        m.size() == 1 && m[0] != kTextFailed && m[0] != kTextCommFailed && m[0] != kTextNoAnswer;
    if (ok) json->Add("text", TerminalText(m[0]));
    status = Outcome(ok, m);
  } else if (cmd == "reset") {
    dlg.OnCommand(ctl::kReset);
    std::vector<std::string> m = view.Messages();
    status = Outcome(m.size() == 1 && m[0] == kTextSuccessful, m);
  } else if (cmd == "config") {
    ConfigRunner runner(o);
    dlg.set_config_runner(&runner);
    dlg.OnCommand(ctl::kConfig);
    dlg.set_config_runner(nullptr);
    if (!runner.error.empty()) {
      std::cerr << "config: " << runner.error << std::endl;
      json->Add("error", runner.error);
      return kExitUsage;
    }
    JsonObject values;
    for (auto& [item, value] : runner.values) {
      Say(o, &said, item + "=" + value);
      values.Add(item, value);
    }
    if (!runner.values.empty()) json->Add("config", values);
    status = Outcome(runner.ok, view.Messages());
  }
  if (!said.empty()) json->Add("output", said);
  // Silence and a link that did not open name the controller meant, so a
  // technician sees at once which port or address was tried.
  for (const std::string& m : view.Messages()) {
    if (m == kTextNoAnswer || m == kTextCommFailed) {
      std::string target = TargetText(dlg, dlg.app());
      std::cerr << "tarvo-cli: " << (m == kTextNoAnswer ? "no valid reply from " : "no link to ")
                << target << std::endl;
      json->Add("target", target);
      break;
    }
  }
  return status;
}

}  // namespace tarvo::cli
