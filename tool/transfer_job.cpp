#include "tool/transfer_job.hpp"

#include <cstdio>

#include "platform/socket.hpp"
#include "tool/link/connection_manager.hpp"

namespace tarvo {
namespace {
constexpr int kBaudRates[] = {115200, 57600, 38400, 19200, 9600, 4800, 2400};
}

std::string PortName(int port_index) {
  return "COM" + std::to_string(port_index + 1);
}

int BaudRate(int baud_index) {
  if (baud_index < 0 || baud_index >= static_cast<int>(std::size(kBaudRates))) return 0;
  return kBaudRates[baud_index];
}

void FillLinkSettings(ConnectionManager& link, int comm_type, const CommSettings& p, int baud_rate,
                      const PortMap& ports) {
  LinkSettings& s = link.settings;
  switch (EffectiveCommType(comm_type)) {
    case CommType::kNetwork:
      s.controller_address = p.ip_addr;
      s.controller_port = static_cast<uint16_t>(p.ip_port);
      s.id_code = p.id_code;
      break;
    case CommType::kGateway:
      s.gateway_address = platform::FormatIpv4(p.server_ip);
      s.gateway_port = static_cast<uint16_t>(p.server_port);
      s.imei = p.imei;
      break;
    case CommType::kZvServer:
    case CommType::kZvGprs:
      s.device_id = p.device_id;
      s.relay_address = platform::FormatIpv4(p.relay_ip);
      s.relay_port = p.relay_port;
      s.user_name = p.user_name;
      s.password = p.password;
      break;
    default:
      ConfigureSerialPort(link.serial, PortName(p.port_index), std::to_string(baud_rate) + ",8,N,1",
                          ports);
      break;
  }
}

std::string RemoteNameFor(const std::string& local_path, OperationKind kind, int target) {
  size_t sep = local_path.find_last_of("/\\");
  std::string base = sep == std::string::npos ? local_path : local_path.substr(sep + 1);
  if (kind == OperationKind::kWriteFile && target == kTargetSystemDisk) return "S:" + base;
  return base;
}

long ReadWholeFile(const std::string& path, std::vector<uint8_t>& buffer) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  size_t total = 0;
  for (;;) {
    if (total == buffer.size()) {
      // One byte more than the buffer holds means the file is too large.
      int extra = std::fgetc(f);
      std::fclose(f);
      return extra == EOF ? static_cast<long>(total) : -2;
    }
    size_t n = std::fread(buffer.data() + total, 1, buffer.size() - total, f);
    if (n == 0) break;
    total += n;
  }
  // A folder opens on POSIX but cannot be read: it is not an empty file.
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  return failed ? -1 : static_cast<long>(total);
}

bool WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

long FileSize(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  std::fclose(f);
  return size;
}

}  // namespace tarvo
