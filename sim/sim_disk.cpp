#include "sim/sim_disk.hpp"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace tarvo::sim {
namespace fs = std::filesystem;

namespace {

constexpr const char* kDirectoryFile = "directory.txt";

bool ReadWholeFile(const fs::path& p, std::vector<uint8_t>* out) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool WriteWholeFile(const fs::path& p, const std::vector<uint8_t>& data) {
  // Written beside and renamed over, so a crash never leaves half a file.
  fs::path tmp = p;
  tmp += ".part";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(tmp, p, ec);
  return !ec;
}

}  // namespace

std::string SimDisk::HostPath(const SimFile& f) const {
  return (fs::path(folder_) / "files" / f.Joined()).string();
}

int SimDisk::AttachFolder(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(fs::path(folder) / "files", ec);
  if (!fs::is_directory(fs::path(folder) / "files", ec)) return 0;
  const fs::path files_dir = fs::path(folder) / "files";
  folder_ = folder;
  files_.clear();
  // directory.txt: "year month day hour minute second name" per line, in
  // directory order. Host files it does not list are added after them.
  std::ifstream dir(fs::path(folder) / kDirectoryFile);
  std::string line;
  while (dir && std::getline(dir, line)) {
    std::istringstream fields(line);
    unsigned y, mo, d, h, mi, s;
    if (!(fields >> y >> mo >> d >> h >> mi >> s)) continue;
    std::string joined;
    fields.get();  // the single space before the name
    std::getline(fields, joined);
    RemoteName rn;
    if (!ParseStoredName(joined, number_, &rn) || Find(rn.name, rn.type, rn.has_dot) >= 0) continue;
    SimFile f{rn.name, rn.type, rn.has_dot, {}, {}};
    f.date = {static_cast<uint8_t>(y), static_cast<uint8_t>(mo), static_cast<uint8_t>(d),
              static_cast<uint8_t>(h), static_cast<uint8_t>(mi), static_cast<uint8_t>(s)};
    if (!ReadWholeFile(files_dir / joined, &f.data)) continue;
    files_.push_back(std::move(f));
  }
  for (const fs::directory_entry& e : fs::directory_iterator(files_dir, ec)) {
    if (!e.is_regular_file()) continue;
    std::string joined = e.path().filename().string();
    RemoteName rn;
    if (!ParseStoredName(joined, number_, &rn)) continue;
    if (joined.size() > 5 && joined.compare(joined.size() - 5, 5, ".part") == 0) continue;
    if (Find(rn.name, rn.type, rn.has_dot) >= 0) continue;
    SimFile f{rn.name, rn.type, rn.has_dot, {}, {}};
    if (ReadWholeFile(e.path(), &f.data)) files_.push_back(std::move(f));
  }
  return SaveDirectory();
}

int SimDisk::Find(const std::string& name, const std::string& type, bool has_dot) const {
  for (size_t i = 0; i < files_.size(); ++i) {
    const SimFile& f = files_[i];
    if (f.name == name && f.type == type && f.has_dot == has_dot) return static_cast<int>(i);
  }
  return -1;
}

uint64_t SimDisk::UsedBytes() const {
  uint64_t used = 0;
  for (const SimFile& f : files_) used += f.data.size();
  return used;
}

uint32_t SimDisk::FreeSpace() const {
  uint64_t used = UsedBytes();
  return used >= capacity_ ? 0 : static_cast<uint32_t>(capacity_ - used);
}

bool SimDisk::HasRoomFor(const RemoteName& target, uint64_t size) const {
  uint64_t used = UsedBytes();
  int old = Find(target.name, target.type, target.has_dot);
  if (old >= 0) used -= files_[static_cast<size_t>(old)].data.size();
  return used + size <= capacity_;
}

int SimDisk::Store(SimFile file) {
  RemoteName rn{number_, file.name, file.type, file.has_dot};
  if (!HasRoomFor(rn, file.data.size())) return 0;
  if (!folder_.empty() && !WriteWholeFile(HostPath(file), file.data)) return 0;
  int old = Find(file.name, file.type, file.has_dot);
  if (old >= 0) {
    files_[static_cast<size_t>(old)] = std::move(file);
  } else {
    files_.push_back(std::move(file));
  }
  return folder_.empty() ? 1 : SaveDirectory();
}

int SimDisk::Remove(const RemoteName& target) {
  int i = Find(target.name, target.type, target.has_dot);
  if (i < 0) return 0;
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove(HostPath(files_[static_cast<size_t>(i)]), ec);
  }
  files_.erase(files_.begin() + i);
  if (!folder_.empty()) SaveDirectory();
  return 1;
}

int SimDisk::Format() {
  int ok = 1;
  if (!folder_.empty()) {
    for (const SimFile& f : files_) {
      std::error_code ec;
      fs::remove(HostPath(f), ec);
      if (ec) ok = 0;
    }
  }
  files_.clear();
  if (!folder_.empty() && !SaveDirectory()) ok = 0;
  return ok;
}

int SimDisk::SaveDirectory() const {
  if (folder_.empty()) return 1;
  std::ostringstream text;
  for (const SimFile& f : files_) {
    text << unsigned(f.date.year) << ' ' << unsigned(f.date.month) << ' ' << unsigned(f.date.day)
         << ' ' << unsigned(f.date.hour) << ' ' << unsigned(f.date.minute) << ' '
         << unsigned(f.date.second) << ' ' << f.Joined() << '\n';
  }
  std::string s = text.str();
  return WriteWholeFile(fs::path(folder_) / kDirectoryFile,
                        std::vector<uint8_t>(s.begin(), s.end()))
             ? 1
             : 0;
}

}  // namespace tarvo::sim
