#include "relay/daemon/node_message.hpp"

#include <algorithm>

#include "common/wire.hpp"

namespace zv::daemon {
namespace {

using tarvo::wire::Reader;
using tarvo::wire::Writer;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// A name field: one length byte, then the bytes.
void PutName(Writer& w, const std::string& s) {
  const size_t n = std::min<size_t>(s.size(), 255);
  w.U8(static_cast<uint8_t>(n));
  w.Bytes(reinterpret_cast<const uint8_t*>(s.data()), n);
}

bool GetName(Reader& r, std::string* s) {
  const uint8_t n = r.U8();
  if (!r.Has(n)) return false;
  s->assign(reinterpret_cast<const char*>(r.Here()), n);
  return r.Skip(n);
}

bool KnownKind(uint8_t k) {
  switch (static_cast<NodeMessageKind>(k)) {
    case NodeMessageKind::kPacket:
    case NodeMessageKind::kAnswer:
    case NodeMessageKind::kLock:
    case NodeMessageKind::kUnlock:
    case NodeMessageKind::kDrop:
    case NodeMessageKind::kMoved:
    case NodeMessageKind::kGone:
    case NodeMessageKind::kDone:
    case NodeMessageKind::kDisconnect:
      return true;
  }
  return false;
}

int Sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (i + 1 < size ? uint32_t{data[i + 1]} << 8 : 0) |
                       (i + 2 < size ? uint32_t{data[i + 2]} : 0);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(v >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[v & 63] : '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::vector<uint8_t>* out) {
  if (text.size() % 4 != 0) return false;
  out->clear();
  out->reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=');
    if (pad && !last) return false;
    uint32_t v = 0;
    for (int k = 0; k < 4 - pad; ++k) {
      const int s = Sextet(text[i + k]);
      if (s < 0) return false;
      v |= static_cast<uint32_t>(s) << (18 - 6 * k);
    }
    out->push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out->push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out->push_back(static_cast<uint8_t>(v));
  }
  return true;
}

std::vector<std::string> EncodeNodeMessage(const NodeMessage& message, uint32_t serial) {
  std::vector<uint8_t> body;
  Writer b(body);
  PutName(b, message.device);
  PutName(b, message.user);
  b.Bytes(message.data.data(), message.data.size());

  // Each part: kind, sender, serial, part number, part count, then a slice
  // of the body; its base64 must fit one payload.
  const size_t header = 1 + 1 + std::min<size_t>(message.from.size(), 255) + 4 + 2 + 2;
  const size_t slice = kMaxNodePayload / 4 * 3 - header;
  const size_t parts = std::max<size_t>(1, (body.size() + slice - 1) / slice);
  std::vector<std::string> payloads;
  if (parts > 0xFFFF) return payloads;
  std::vector<uint8_t> part;
  for (size_t i = 0; i < parts; ++i) {
    part.clear();
    Writer w(part);
    w.U8(static_cast<uint8_t>(message.kind));
    PutName(w, message.from);
    w.Le32(serial);
    w.Le16(static_cast<uint16_t>(i));
    w.Le16(static_cast<uint16_t>(parts));
    const size_t at = i * slice;
    w.Bytes(body.data() + std::min(at, body.size()),
            std::min(slice, body.size() - std::min(at, body.size())));
    payloads.push_back(Base64Encode(part.data(), part.size()));
  }
  return payloads;
}

std::optional<NodeMessage> CNodeReassembler::Feed(const std::string& payload) {
  std::vector<uint8_t> bytes;
  if (payload.size() > kMaxNodePayload || !Base64Decode(payload, &bytes)) return std::nullopt;
  Reader r(bytes.data(), bytes.size());
  const uint8_t kind = r.U8();
  std::string from;
  if (!GetName(r, &from)) return std::nullopt;
  const uint32_t serial = r.Le32();
  const uint16_t index = r.Le16();
  const uint16_t parts = r.Le16();
  if (!r.ok() || !KnownKind(kind) || parts == 0 || index >= parts) return std::nullopt;

  Partial& p = partial_[from];
  if (index == 0) {
    p = Partial{serial, 0, parts, static_cast<NodeMessageKind>(kind), {}};
  } else if (p.parts == 0 || p.serial != serial || p.next != index || p.parts != parts ||
             p.kind != static_cast<NodeMessageKind>(kind)) {
    partial_.erase(from);  // a part went missing: the message is lost
    return std::nullopt;
  }
  if (p.bytes.size() + r.remaining() > kMaxNodeMessage) {
    partial_.erase(from);
    return std::nullopt;
  }
  p.bytes.insert(p.bytes.end(), r.Here(), r.Here() + r.remaining());
  if (++p.next < p.parts) return std::nullopt;

  NodeMessage m;
  m.kind = p.kind;
  m.from = from;
  Reader body(p.bytes.data(), p.bytes.size());
  const bool ok = GetName(body, &m.device) && GetName(body, &m.user);
  if (ok) m.data.assign(body.Here(), body.Here() + body.remaining());
  partial_.erase(from);
  if (!ok) return std::nullopt;
  return m;
}

}  // namespace zv::daemon
