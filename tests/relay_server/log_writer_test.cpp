// The log file: line format, the switch, GBK messages, whole lines under
// concurrency, and the trace staying out of the file.
#include "relay/server/log_writer.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "relay/server/diagnostic_trace.hpp"
#include "relay/server/srv_exception.hpp"
#include "test_db.hpp"

namespace zv {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Messages of the lines in the file, with each stamp checked and stripped.
std::vector<std::string> Messages(const std::string& path) {
  std::vector<std::string> out;
  std::istringstream in(ReadFile(path));
  std::string line;
  const std::regex stamp(R"(^\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}:\d{3}\]  )");
  while (std::getline(in, line)) {
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    out.push_back(line.substr(27));
  }
  return out;
}

TEST(LogWriter, LineFormatHasTwoBlanksAndMillisecondsAfterAColon) {
  tarvo::platform::CalendarTime t;
  t.year = 2013;
  t.month = 4;
  t.day = 5;
  t.hour = 14;
  t.minute = 3;
  t.second = 9;
  t.millisecond = 7;
  EXPECT_EQ(FormatLogLine(t, "hello"), "[2013-04-05 14:03:09:007]  hello\n");
  // A percent sign is part of the message, never a format.
  EXPECT_EQ(FormatLogLine(t, "100% %s %d"), "[2013-04-05 14:03:09:007]  100% %s %d\n");
}

TEST(LogWriter, WritesOnlyWhileTheSwitchIsSetAndLosesLinesItCannotStore) {
  test::TempDatabase tmp;  // only for its private folder
  std::string path = tmp.Folder() + "/server.log";
  CLogWriter log;
  log.SetPath(path);
  log.WriteLog("dropped");
  EXPECT_FALSE(std::filesystem::exists(path));

  log.SetSwitch("on");
  log.WriteLog("first %s %d");
  log.WriteLog("second");
  EXPECT_EQ(Messages(path), (std::vector<std::string>{"first %s %d", "second"}));

  // A folder that does not exist: the line is lost, nothing fails.
  log.SetPath(tmp.Folder() + "/missing/dir/server.log");
  log.WriteLog("lost");
  EXPECT_FALSE(std::filesystem::exists(tmp.Folder() + "/missing"));
}

TEST(LogWriter, SendErrorAndExceptionMessagesAreTheFixedTexts) {
  test::TempDatabase tmp;
  std::string path = tmp.Folder() + "/server.log";
  CLogWriter log;
  log.SetPath(path);
  log.SetSwitch("1");
  log.LogSendError("IssueSendOperation->WSASend()", 10054);
  log.LogException(CSrvException(
      "IssueSendOperation->CTcpSendContext::GetContext() occured an error.", -1, 123));
  std::vector<std::string> m = Messages(path);
  ASSERT_EQ(m.size(), 2u);
  // 函数IssueSendOperation->WSASend()发送错误,错误代码10054. in GBK.
  EXPECT_EQ(m[0],
            "\xba\xaf\xca\xfdIssueSendOperation->WSASend()\xb7\xa2\xcb\xcd\xb4\xed\xce\xf3,"
            "\xb4\xed\xce\xf3\xb4\xfa\xc2\xeb"
            "10054.");
  EXPECT_EQ(m[1],
            "IssueSendOperation->CTcpSendContext::GetContext() occured an error. at line:123, "
            "errorCode: -1.");
}

TEST(LogWriter, ExceptionMessageIsCutToItsField) {
  std::string long_text(2000, 'x');
  CSrvException e(long_text.c_str(), -1, 1);
  EXPECT_EQ(std::string(e.Message()).size(), CSrvException::kMessageSize - 1);
}

TEST(LogWriter, LinesFromManyThreadsStayWhole) {
  test::TempDatabase tmp;
  std::string path = tmp.Folder() + "/server.log";
  CLogWriter log;
  log.SetPath(path);
  log.SetSwitch("on");
  const std::string a(300, 'a'), b(300, 'b');
  std::thread t1([&] {
    for (int i = 0; i < 200; ++i) log.WriteLog(a);
  });
  std::thread t2([&] {
    for (int i = 0; i < 200; ++i) log.WriteLog(b);
  });
  t1.join();
  t2.join();
  std::vector<std::string> m = Messages(path);
  ASSERT_EQ(m.size(), 400u);
  for (const std::string& line : m) EXPECT_TRUE(line == a || line == b);
}

TEST(DiagnosticTrace, IsSilentByDefaultAndReachesOnlyTheInstalledChannel) {
  EXPECT_FALSE(DiagnosticTraceEnabled());
  DiagnosticTrace("nobody hears %d", 1);
  std::vector<std::string> seen;
  SetDiagnosticTrace([&](const std::string& s) { seen.push_back(s); });
  DiagnosticTrace("value %d text %s", 42, "x");
  SetDiagnosticTrace(nullptr);
  DiagnosticTrace("after %d", 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"value 42 text x"}));
}

}  // namespace
}  // namespace zv
