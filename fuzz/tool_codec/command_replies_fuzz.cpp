// Every reply parser of the command set on arbitrary reply bytes. The
// destinations are exactly as large as the commands promise their callers,
// so any write past them is caught by the sanitizers.
#include <cstdlib>
#include <vector>

#include "tool/codec/command_replies.hpp"

using tarvo::ControllerCommand;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t selector = data[0];
  // The reply in a buffer of exactly its own size.
  std::vector<uint8_t> reply(data + 1, data + size);
  const uint8_t* r = reply.data();
  const size_t n = reply.size();

  tarvo::ParseResultByte(r, n, static_cast<ControllerCommand>(selector), 0);
  tarvo::ParseCheckedResultByte(r, n, ControllerCommand::kResetController);
  tarvo::ParseCheckedResultByte(r, n, ControllerCommand::kSetScreenConfig);

  std::vector<uint8_t> page(selector % 4 == 0 ? 2 + 64 * 4 : selector);
  tarvo::ParseListFilesReply(r, n, page.data(), page.size());
  tarvo::ParseGetFreeSpaceReply(r, n);
  tarvo::ControllerTypeInfo info;
  tarvo::ParseGetControllerTypeReply(r, n, &info);
  tarvo::VersionWords words{};
  tarvo::ParseGetVersionsReply(r, n, &words);
  uint16_t index = 0;
  tarvo::ParseOpenFileForReadReply(r, n, &index);
  std::vector<uint8_t> data_out(selector * 8u + 1);
  uint16_t got =
      tarvo::ParseReadFileDataReply(r, n, data_out.data(), static_cast<uint16_t>(data_out.size()));
  if (got > data_out.size()) std::abort();
  std::vector<uint8_t> entry(tarvo::DirectoryEntry::kSize);
  tarvo::ParseGetFileInfoReply(r, n, entry.data());
  tarvo::DirectoryEntry decoded;
  tarvo::DecodeDirectoryEntry(entry.data(), entry.size(), &decoded);
  std::vector<uint8_t> missing(tarvo::kMissingBlocksSize);
  tarvo::ParseGetMissingBlocksReply(r, n, missing.data());
  std::vector<uint8_t> screen(selector);
  size_t s = tarvo::ParseReadScreenConfigReply(r, n, screen.data(), screen.size());
  if (s > screen.size()) std::abort();
  return 0;
}
