// What a Windows build does differently from POSIX: COMn names the system's
// own port device, libraries number their exports, Winsock reports time-outs
// with its own code, and the program's paths use the drive letter.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "platform/dynlib.hpp"
#include "platform/process.hpp"
#include "platform/socket.hpp"
#include "platform/socket_timeout.hpp"
#include "tool/link/serial_port.hpp"
#include "tool/settings_file.hpp"

namespace {

using namespace tarvo;

TEST(WindowsSerialPorts, ComNamesOpenTheWin32DeviceAndAMissingPortFailsQuietly) {
  EXPECT_EQ(ResolveSerialDevice("COM1", {}), "\\\\.\\COM1");
  EXPECT_EQ(ResolveSerialDevice("COM12", {}), "\\\\.\\COM12");
  EXPECT_EQ(ResolveSerialDevice("COM3", {{"COM3", "\\\\.\\COM7"}}), "\\\\.\\COM7");
  EXPECT_EQ(ResolveSerialDevice("COM0", {}), "");

  // No system maps COM98: the open fails without a diagnostic line, as a
  // missing device does on POSIX, and the record stays closed.
  SerialPort port;
  std::ostringstream out;
  port.diagnostics = &out;
  ConfigureSerialPort(port, "COM98", "9600,8,N,1", {});
  EXPECT_EQ(port.device_path, "\\\\.\\COM98");
  EXPECT_EQ(OpenSerialPort(port), 0);
  EXPECT_EQ(out.str(), "");
  uint8_t b[4] = {};
  EXPECT_EQ(WriteSerialPort(port, b, 4), 0);
}

TEST(WindowsLibraries, TheRelayLibraryAnswersByOrdinalAsByNameAndNothingElse) {
  const char* names[9] = {"ZvServer_Login",
                          "ZvServer_Logout",
                          "ZvServer_LockCard",
                          "ZvServer_UnLockCard",
                          "ZvServer_SendCommPacket",
                          "ZvServer_RecvCommPacket",
                          "ZvServer_SendHeartbeatPacket",
                          "ZvServer_SetReceiveTimeout",
                          "ZvServer_QueryCardStatus"};
  platform::DynamicLibrary lib;
  ASSERT_TRUE(lib.Open(platform::ExecutableDir() + "ZvServerAPI.dll")) << lib.Error();
  for (int i = 0; i < 9; ++i) {
    EXPECT_NE(lib.SymbolByOrdinal(i + 1), nullptr) << i + 1;
    EXPECT_EQ(lib.SymbolByOrdinal(i + 1), lib.Symbol(names[i])) << names[i];
  }
  EXPECT_EQ(lib.SymbolByOrdinal(0), nullptr);
  EXPECT_EQ(lib.SymbolByOrdinal(10), nullptr);
  // The domain classes stay inside the DLL.
  EXPECT_EQ(lib.Symbol("_ZN2zv16SetSessionTimingERKNS_17RelaySocketTimingE"), nullptr);

  EXPECT_EQ(platform::SharedLibraryFileName("dcc"), "dcc.dll");
  platform::DynamicLibrary missing;
  EXPECT_FALSE(missing.Open(platform::ExecutableDir() + "no-such-library.dll"));
  EXPECT_FALSE(missing.Error().empty());
}

TEST(WindowsSockets, ReceiveTimeOutIsReportedAsSuchAndARefusedConnectFails) {
  ASSERT_EQ(platform::StartSocketLibrary(2, 2), 1);
  platform::TcpListener listener;
  ASSERT_EQ(listener.Listen(0x7F000001, 0), 1);
  platform::TcpSocket client;
  ASSERT_EQ(client.Connect(0x7F000001, listener.Port(), 2000), 1);
  platform::TcpSocket served = listener.Accept(2000);
  ASSERT_TRUE(served.IsOpen());
  ASSERT_TRUE(client.SetReceiveTimeout(200));
  uint8_t b[8];
  EXPECT_EQ(client.ReceiveSome(b, sizeof b), -1);
  EXPECT_TRUE(platform::IsSocketTimeout(platform::LastSocketError()));
  EXPECT_EQ(client.WaitReadable(50), 0);
  ASSERT_EQ(served.SendAll("ok", 2), 1);
  EXPECT_EQ(client.WaitReadable(2000), 1);
  EXPECT_EQ(client.ReceiveSome(b, sizeof b), 2);
  served.Close();
  EXPECT_EQ(client.ReceiveSome(b, sizeof b), 0);  // the peer closed

  const uint16_t closed_port = listener.Port();
  listener.Close();
  platform::TcpSocket refused;
  EXPECT_EQ(refused.Connect(0x7F000001, closed_port, 2000), 0);
  EXPECT_FALSE(refused.IsOpen());
  EXPECT_FALSE(platform::IsSocketTimeout(platform::LastSocketError()));
  platform::StopSocketLibrary();
}

TEST(WindowsPaths, TheSettingsFileIsBesideTheExecutable) {
  std::string exe = platform::ExecutablePath();
  ASSERT_GT(exe.size(), 3u);
  EXPECT_EQ(exe[1], ':');  // a drive letter
  EXPECT_EQ(exe.find('\\'), std::string::npos);
  EXPECT_EQ(exe.substr(exe.size() - 4), ".exe");
  EXPECT_EQ(SettingsPathBeside(exe), exe.substr(0, exe.size() - 4) + ".ini");
  // D:\Apps\Tool.EXE keeps its settings in d:/apps/tool.ini.
  std::string lower = SettingsPathBeside(exe);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(DefaultSettingsPath(), lower);
  EXPECT_TRUE(platform::IsDirectoryWritable(platform::ExecutableDir()));
  // Where the folder is not writable, the settings go to the roaming profile.
  std::string config = platform::UserConfigDir();
  EXPECT_FALSE(config.empty());
  EXPECT_EQ(config.find('\\'), std::string::npos);
  EXPECT_NE(ChooseSettingsPath(exe, false, config).find(config + "/tarvo/"), std::string::npos);
}

}  // namespace
