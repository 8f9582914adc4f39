// The server's own messages, stored as GBK (code page 936) bytes because the
// log file and the diagnostic trace hold them in that encoding. Each escape
// sequence is followed by the Chinese text it spells.
#pragma once

namespace zv::texts {

// "函数%s发送错误,错误代码%ld." - function %s send error, error code %ld.
inline constexpr char kSendErrorFormat[] =
    "\xba\xaf\xca\xfd%s\xb7\xa2\xcb\xcd\xb4\xed\xce\xf3,\xb4\xed\xce\xf3\xb4\xfa\xc2\xeb%ld.";
// "执行SQL语句出错:" - error while executing the SQL statement.
inline constexpr char kSqlErrorPrefix[] = "\xd6\xb4\xd0\xd0SQL\xd3\xef\xbe\xe4\xb3\xf6\xb4\xed:";
// "用户[%s]发送数据[%d]字节到控制卡[%s]:%s[%d]" - user [%s] sent data [%d] bytes to
// control card [%s]: outcome [%d].
inline constexpr char kUdpForwardFormat[] =
    "\xd3\xc3\xbb\xa7[%s]\xb7\xa2\xcb\xcd\xca\xfd\xbe\xdd[%d]\xd7\xd6\xbd\xda\xb5\xbd\xbf\xd8"
    "\xd6\xc6\xbf\xa8[%s]:%s[%d]";
// "成功" - success.
inline constexpr char kSuccess[] = "\xb3\xc9\xb9\xa6";
// "失败" - failure.
inline constexpr char kFailure[] = "\xca\xa7\xb0\xdc";

// The function name the send layer reports with its socket errors.
inline constexpr char kSendFunction[] = "IssueSendOperation->WSASend()";
inline constexpr char kSendFailed[] = "IssueSendOperation->WSASend occured an error.";
inline constexpr char kNoTcpContext[] =
    "IssueSendOperation->CTcpSendContext::GetContext() occured an error.";
inline constexpr char kNoUdpContext[] =
    "IssueSendOperation->CUdpContext::GetContext() occured an error.";

}  // namespace zv::texts
