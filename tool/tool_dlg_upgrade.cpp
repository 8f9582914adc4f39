// The firmware upgrade buttons: image upgrades through a transfer worker and
// the boot-loader upgrade with its own flash commands.
#include <algorithm>
#include <cstdio>

#include "tool/codec/packet.hpp"
#include "tool/firmware_image.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo {
namespace {
constexpr uint32_t kBootSectors[] = {0x0000, 0x1000, 0x2000, 0x3000};
}

void CToolDlg::OnUpgradeImage(OperationKind kind) {
  if (!UpdateData(true)) return;
  if (!RequestAccess(static_cast<int>(kind))) return;
  std::string path;
  if (!view_.ChooseOpenFile(kFilterBin, &path)) return;
  long size = LoadForTransfer(path);
  if (size < 0) return;
  if (!ImageTagMatches(static_cast<int>(kind), app_.transfer_buffer().data(),
                       static_cast<size_t>(size))) {
    Message(kTextFileMaskIncorrect, MessageIcon::kExclamation);
    return;
  }
  StartJob(kind, 0, path, static_cast<size_t>(size));
}

void CToolDlg::OnUpgradeBoot() {
  if (!UpdateData(true)) return;
  if (!RequestAccess(static_cast<int>(OperationKind::kBootLoader))) return;
  std::string path;
  if (!view_.ChooseOpenFile(kFilterBin, &path)) return;
  long file_size = FileSize(path);
  if (file_size < 0) return;
  std::vector<uint8_t>& buffer = app_.boot_buffer();
  if (static_cast<size_t>(file_size) + kBootFiller > buffer.size()) {
    Message(kTextBootTooLarge, MessageIcon::kExclamation);
    return;
  }
  // Bytes after the end of the file read as erased flash.
  std::fill(buffer.begin(), buffer.end(), 0xFF);
  std::vector<uint8_t> file(static_cast<size_t>(file_size));
  if (ReadWholeFile(path, file) != file_size) return;
  std::copy(file.begin(), file.end(), buffer.begin());

  BootImageHeader header{};
  if (CheckBootImage(buffer, file.size(), &header) != BootImageCheck::kOk) {
    Message(kTextBootFormatErr);
    return;
  }
  // The panel is applied first, so the link uses what the panel shows.
  if (!ApplyLinkSettings()) return;
  ConnectionManager& link = app_.link();
  if (!link.OpenLink(kControllerTypeCode, static_cast<uint8_t>(members_.card_id))) {
    Message(kTextCommFailed);
    return;
  }
  for (uint32_t address : kBootSectors) EraseBootSector(link, address);
  const char* result = nullptr;
  const uint8_t* image = buffer.data() + BootImageHeader::kSize;
  for (uint32_t offset = 0; offset < header.length; offset += kBootPiece) {
    uint16_t count = static_cast<uint16_t>(std::min<uint32_t>(kBootPiece, header.length - offset));
    if (WriteBootData(link, image + offset, offset, count) == 0) {
      result = kTextDoNotPowerDown;
      break;
    }
  }
  if (!result) result = ResetController(link) ? kTextSuccessful : kTextRestartController;
  link.CloseLink();
  Message(result);
}

}  // namespace tarvo
