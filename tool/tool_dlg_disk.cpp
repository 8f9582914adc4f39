// The two disk panels: Refresh, Free Space, Read File, Delete File, Format
// and Write File.
#include <algorithm>
#include <cstdio>

#include "common/wire.hpp"
#include "tool/control_ids.hpp"
#include "tool/link/connection_manager.hpp"
#include "tool/protocol/commands.hpp"
#include "tool/tool_app.hpp"
#include "tool/tool_dlg.hpp"
#include "tool/tool_texts.hpp"

namespace tarvo {
namespace {

constexpr size_t kReadPiece = 512;
// A directory page has room for as many entries as a 600-byte reply carries.
constexpr size_t kPageEntries = 9;
// Name and type columns of the row that Read File takes.
constexpr size_t kColumnMax = 255;
// Shortest whole replies: a directory page with no entry, a free space.
constexpr size_t kListReplyMin = 12, kFreeSpaceReplyMin = 12;

uint8_t DiskOf(bool user_disk) {
  return user_disk ? kUserDisk : kSystemDisk;
}
int ListOf(bool user_disk) {
  return user_disk ? ctl::kUserList : ctl::kSystemList;
}
std::string Prefix(bool user_disk) {
  return user_disk ? "" : "S:";
}

// Shows the wait cursor for the lifetime of a direct operation.
class WaitCursor {
 public:
  explicit WaitCursor(ToolView& view) : view_(view) { view_.SetWaitCursor(true); }
  ~WaitCursor() { view_.SetWaitCursor(false); }

 private:
  ToolView& view_;
};

}  // namespace

FileRow MakeFileRow(const std::string& name, const std::string& type, uint32_t size, int year,
                    int month, int day, int hour, int minute) {
  char size_text[16], date[48];
  std::snprintf(size_text, sizeof size_text, "%10u", size);
  std::snprintf(date, sizeof date, "%.2d-%.2d-%.2d %.2d:%.2d", year, month, day, hour, minute);
  return FileRow{name, type, size_text, date};
}

std::string FreeSpaceText(uint32_t bytes) {
  char buf[64];
  if (bytes == 0) return kTextFailed;
  if (bytes < 1048576u)
    std::snprintf(buf, sizeof buf, "%lu bytes", static_cast<unsigned long>(bytes));
  else
    std::snprintf(buf, sizeof buf, "%.1fM bytes (%lu bytes)", bytes / 1048576.0,
                  static_cast<unsigned long>(bytes));
  return buf;
}

void CToolDlg::OnRefresh(bool user_disk) {
  const int list = ListOf(user_disk);
  SetRows(list, {});
  WaitCursor wait(view_);
  if (!OpenDirect(kAppTitle)) return;
  ConnectionManager& link = app_.link();
  std::vector<FileRow> rows;
  uint8_t page[2 + DirectoryEntry::kSize * kPageEntries];
  uint32_t first = 0;
  bool answered = true;
  for (;;) {
    std::fill(std::begin(page), std::end(page), 0);
    uint16_t count =
        ListFiles(link, static_cast<uint16_t>(first), page, sizeof page, DiskOf(user_disk));
    // Silence or a garbled page is not an empty disk.
    if (!link.last_reply.Answered(kListReplyMin)) {
      answered = false;
      break;
    }
    size_t shown = std::min<size_t>(count, kPageEntries);
    for (size_t i = 0; i < shown; ++i) {
      DirectoryEntry e;
      if (!DecodeDirectoryEntry(page + 2 + i * DirectoryEntry::kSize, DirectoryEntry::kSize, &e))
        break;
      rows.push_back(MakeFileRow(e.name, e.type, e.size, e.year, e.month, e.day, e.hour, e.minute));
    }
    if (count != kListPageFull) break;
    // The next page starts behind the last entry of this one. A controller
    // whose index does not move on would otherwise be asked for ever.
    uint32_t next = static_cast<uint32_t>(wire::GetLe16(page)) + 1;
    if (next <= first || next > 0xFFFF) break;
    first = next;
  }
  link.CloseLink();
  SetRows(list, std::move(rows));
  if (!answered) Message(kTextNoAnswer);
}

void CToolDlg::OnFreeSpace(bool user_disk) {
  WaitCursor wait(view_);
  if (!OpenDirect(kAppTitle)) return;
  uint32_t bytes = GetFreeSpace(app_.link(), DiskOf(user_disk));
  // A size is shown only from a whole reply, never from a garbled one.
  bool answered = app_.link().last_reply.Answered(kFreeSpaceReplyMin);
  app_.link().CloseLink();
  Message(answered ? FreeSpaceText(bytes) : kTextNoAnswer);
}

void CToolDlg::OnReadFile(bool user_disk) {
  const int list = ListOf(user_disk);
  int sel = selected_row(list);
  if (sel < 0) {
    Message(kTextNoFileSelected);
    return;
  }
  const FileRow& row = rows(list)[static_cast<size_t>(sel)];
  // The whole name and type as listed: cut to 11 and 3 characters they
  // could name another file (LONGFILENAM.BMP for LONGFILENAME1.BMP).
  std::string name = row.name.substr(0, kColumnMax);
  std::string type = row.type.substr(0, kColumnMax);
  std::string local_name = name + "." + type;

  bool whole = false;
  size_t size = 0;
  {
    WaitCursor wait(view_);
    if (!OpenDirect(kAppTitle)) return;
    ConnectionManager& link = app_.link();
    uint16_t index = 0;
    uint8_t handle = OpenFileForRead(link, Prefix(user_disk) + local_name, "rb", &index);
    if (handle == 255) {
      link.CloseLink();
      return;
    }
    uint8_t info[DirectoryEntry::kSize] = {};
    DirectoryEntry entry;
    bool known = GetFileInfo(link, info, index, DiskOf(user_disk)) != 0xFFFF &&
                 DecodeDirectoryEntry(info, sizeof info, &entry);
    if (known && entry.size > app_.transfer_buffer().size()) {
      CloseFile(link, handle);
      link.CloseLink();
      Message(kTextRemoteTooLarge, MessageIcon::kExclamation);
      return;
    }
    if (known) {
      size = entry.size;
      // Every piece is checked: a file that does not arrive whole is not saved.
      size_t got = 0;
      uint8_t* buffer = app_.transfer_buffer().data();
      while (got < size) {
        uint16_t want = static_cast<uint16_t>(std::min(kReadPiece, size - got));
        uint16_t n = ReadFileData(link, buffer + got, want, handle);
        if (n == 0 || n > want) break;
        got += n;
      }
      whole = got == size;
    }
    CloseFile(link, handle);
    link.CloseLink();
  }
  if (!whole) {
    Message(kTextFailedBang);
    return;
  }
  std::string path;
  if (!view_.ChooseSaveFile(kFilterAll, local_name, &path)) return;
  if (!WriteWholeFile(path, app_.transfer_buffer().data(), size))
    Message(kTextFailedOpenFile, MessageIcon::kExclamation);
}

void CToolDlg::OnDeleteFile(bool user_disk) {
  const int list = ListOf(user_disk);
  int sel = selected_row(list);
  if (sel < 0) {
    Message(kTextNoFileSelected);
    return;
  }
  const FileRow& row = rows(list)[static_cast<size_t>(sel)];
  std::string remote =
      Prefix(user_disk) + row.name.substr(0, kColumnMax) + "." + row.type.substr(0, kColumnMax);
  WaitCursor wait(view_);
  if (!OpenDirect(kAppTitle)) return;
  uint8_t result = DeleteFile(app_.link(), remote);
  app_.link().CloseLink();
  if (result == 1) {
    std::vector<FileRow> kept = rows(list);
    kept.erase(kept.begin() + sel);
    SetRows(list, std::move(kept));
  }
}

void CToolDlg::OnFormat(bool user_disk) {
  if (!view_.AskYesNo(user_disk ? kTextSureFormatUser : kTextSureFormatSystem, kAppTitle)) return;
  uint8_t result = 0;
  {
    WaitCursor wait(view_);
    if (!OpenDirect(kAppTitle)) return;
    result = FormatDisk(app_.link(), DiskOf(user_disk));
    app_.link().CloseLink();
  }
  if (result != 0)
    OnRefresh(user_disk);
  else
    Message(user_disk ? kTextLowFormatNg : kTextLowFormatFailed);
}

void CToolDlg::OnWriteFile(bool user_disk) {
  if (!UpdateData(true)) return;
  if (!RequestAccess(static_cast<int>(OperationKind::kWriteFile))) return;
  std::string path;
  if (!view_.ChooseOpenFile(kFilterAll, &path)) return;
  long size = LoadForTransfer(path);
  if (size < 0) return;
  StartJob(OperationKind::kWriteFile, user_disk ? kTargetUserDisk : kTargetSystemDisk, path,
           static_cast<size_t>(size));
}

}  // namespace tarvo
