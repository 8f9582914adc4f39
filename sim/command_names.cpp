#include "sim/command_names.hpp"

#include "sim/command_codes.hpp"

namespace tarvo::sim {
namespace {

std::string Folded(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

}  // namespace

const std::vector<std::pair<std::string, uint8_t>>& CommandNames() {
  static const std::vector<std::pair<std::string, uint8_t>> kNames = {
      {"EraseBootSector", kEraseBootSector},
      {"WriteBootData", kWriteBootData},
      {"FormatDisk", kFormatDisk},
      {"ListFiles", kListFiles},
      {"GetFreeSpace", kGetFreeSpace},
      {"DeleteFile", kDeleteFile},
      {"ResetController", kResetController},
      {"GetControllerType", kGetControllerType},
      {"CreateStreamFile", kCreateStreamFile},
      {"WriteStreamData", kWriteStreamData},
      {"FinishStreamFile", kFinishStreamFile},
      {"OpenFileForRead", kOpenFileForRead},
      {"ReadFileData", kReadFileData},
      {"GetFileInfo", kGetFileInfo},
      {"CloseFile", kCloseFile},
      {"GetVersions", kGetVersions},
      {"CreateBlockFile", kCreateBlockFile},
      {"WriteFileBlock", kWriteFileBlock},
      {"GetMissingBlocks", kGetMissingBlocks},
      {"SetScreenConfig", kSetScreenConfig},
      {"ReadScreenConfig", kReadScreenConfig}};
  return kNames;
}

bool CommandByName(const std::string& name, uint8_t* code) {
  for (const auto& [known, value] : CommandNames()) {
    if (Folded(known) == Folded(name)) {
      *code = value;
      return true;
    }
  }
  return false;
}

}  // namespace tarvo::sim
