#include "jww/archive.h"

#include "jww/stream.h"

namespace jww {

namespace {

// Every byte of the archive's own structure must be there: a file that ends inside a tag or a
// count ends the read instead of being taken as zeros.
template <class T>
T Need(InStream& s) {
  return s.Get<T>();
}

}  // namespace

EntKind EntityClassOf(std::string_view nameBytes) {
  size_t nul = nameBytes.find('\0');
  if (nul != std::string_view::npos) nameBytes = nameBytes.substr(0, nul);
  for (int k = kEntLine; k <= kEntBlock; ++k)
    if (kClassNames[k] == nameBytes) return static_cast<EntKind>(k);
  return kEntNone;
}

EntKind TArchive::ReadEntityTag(InStream& s) {
  const uint16_t tag = Need<uint16_t>(s);
  if (tag == kNewClassTag) {
    Need<uint16_t>(s);  // schema number, not interpreted
    const uint16_t n = Need<uint16_t>(s);
    if (n > kMaxClassNameBytes) throw TJwwIOError(kIOError);
    char name[kMaxClassNameBytes];
    s.ReadExact(name, n);
    const EntKind kind = EntityClassOf(std::string_view(name, n));
    if (kind == kEntNone) throw TJwwIOError(kIOError);
    Register(kind);
    return kind;
  }
  Cardinal index;
  if (tag == kBigRefTag) index = Need<Cardinal>(s) & ~kBigRefFlag;
  else if (tag > 0x8000) index = tag - 0x8000u;
  else return kEntNone;
  return EntityKindAt(index);
}

void TArchive::ReadDefinitionTag(InStream& s) {
  const uint16_t tag = Need<uint16_t>(s);
  if (tag == kNewClassTag) {
    Need<uint16_t>(s);
    const uint16_t n = Need<uint16_t>(s);
    if (s.Skip(n) != n) throw TJwwIOError(kIOError);
    Register(kEntBlockDef);
  } else if (tag == kBigRefTag) {
    Need<Cardinal>(s);
  }
}

size_t TArchive::NewClassTagOut(int kind, uint16_t schema, uint8_t* out) {
  const std::string_view name = kClassNames[kind];
  const uint16_t head[3] = {kNewClassTag, schema, static_cast<uint16_t>(name.size())};
  std::memcpy(out, head, sizeof head);
  std::memcpy(out + sizeof head, name.data(), name.size());
  Register(kind);
  return sizeof head + name.size();
}

size_t CountBytes(Cardinal count, uint8_t out[6]) {
  if (count < 0xFFFF) {
    const uint16_t w = static_cast<uint16_t>(count);
    std::memcpy(out, &w, 2);
    return 2;
  }
  const uint16_t esc = 0xFFFF;
  std::memcpy(out, &esc, 2);
  std::memcpy(out + 2, &count, 4);
  return 6;
}

Cardinal ReadCount(InStream& s) {
  const uint16_t w = Need<uint16_t>(s);
  return w == 0xFFFF ? Need<Cardinal>(s) : w;
}

}  // namespace jww
