// The object archive that carries a drawing's entity stream: class tags, the archive counter and
// counts. Reader and writer both go through this one description, so that every class reference
// the writer emits is the one the reader resolves.
//
// On file every object is preceded by a Word tag:
//   0xFFFF, Word schema, Word name length n, n name bytes  a new class, registered under the
//                                                          counter's current value
//   0x7FFF, Cardinal (bit 31 set by writers)                reference to the class with that index
//   0x8001..0xFFFE                                          reference to index tag - 0x8000
// Any other tag, or a reference to an index no class holds, is unrecognised.
//
// One counter runs through a whole stream (the drawing's entity list, the definitions and their
// entity lists), starting at 1: introducing a class takes one value, and every object of a
// recognised class takes one more once it has been handled.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "jww/jwwtype.h"

namespace jww {

class InStream;

/// Class names by kind (EntType 1..7; 8 is the block definition). Index 0 is no class.
inline constexpr std::array<std::string_view, 9> kClassNames = {
    "", "CDataSen", "CDataEnko", "CDataTen", "CDataMoji", "CDataSunpou", "CDataSolid", "CDataBlock",
    "CDataList"};

/// The entity kind (1..7) a class name denotes, 0 when it names none. Names compare exactly, as
/// their bytes up to the first NUL. The definition class is not an entity kind.
EntKind EntityClassOf(std::string_view nameBytes);

/// Class names longer than this name no known class (the name must fit a 2048-byte buffer with a
/// terminating zero).
inline constexpr uint32_t kMaxClassNameBytes = 2047;

/// Counter and class registrations of one stream, for one read or one write.
class TArchive {
 public:
  static constexpr uint16_t kNewClassTag = 0xFFFF;
  static constexpr uint16_t kBigRefTag = 0x7FFF;
  static constexpr Cardinal kBigRefFlag = 0x80000000u;

  /// The index the next class or object takes.
  Cardinal Counter() const { return counter_; }
  /// One object handled: it takes the counter's current value.
  void ObjectDone() { ++counter_; }
  /// `n` objects handled.
  void ObjectsDone(Cardinal n) { counter_ += n; }
  /// Introduces `kind` (1..8) under the counter's current value; a class introduced again moves
  /// to the new index, and its old index then names nothing.
  Cardinal Register(int kind) {
    index_[kind] = counter_;
    return counter_++;
  }
  /// Index under which `kind` was introduced; 0 when it has not been.
  Cardinal IndexOf(int kind) const { return index_[kind]; }
  /// The entity kind (1..7) registered under `index`, 0 when no entity class holds it.
  /// Every kind is compared and the match selected without a branch: the readers' loops
  /// already branch on the kind this returns, and an early exit here added a second
  /// mispredicted branch wherever the kinds of a list alternate.
  EntKind EntityKindAt(Cardinal index) const {
    if (index == 0) return kEntNone;
    int kind = kEntNone;
    for (int k = kEntBlock; k >= kEntLine; --k) kind = index_[k] == index ? k : kind;
    return static_cast<EntKind>(kind);
  }

  // ---- reading -------------------------------------------------------------------------------
  /// Reads one tag of an entity list and returns the entity kind it selects, or kEntNone for an
  /// unrecognised tag (which has then consumed only its own 2 or 6 bytes). A new class whose name
  /// is not one of the seven entity classes throws "File I/O Error", as does a file that ends
  /// inside the tag.
  EntKind ReadEntityTag(InStream& s);
  /// Reads the tag before a block definition. Its class name is not compared: a new class is
  /// registered as the definition class, a reference is read and ignored.
  void ReadDefinitionTag(InStream& s);

  // ---- writing -------------------------------------------------------------------------------
  /// The bytes of the tag that precedes one object of `kind` (1..8): a new-class tag carrying
  /// `schema` (the format version) when the class has not been introduced yet, which registers
  /// it; otherwise a reference. The object itself still calls ObjectDone once written.
  static constexpr size_t kMaxTagBytes = 6 + 11;
  struct TTagBytes {
    uint8_t bytes[kMaxTagBytes];
    size_t size = 0;
  };
  TTagBytes TagOut(int kind, uint16_t schema) {
    TTagBytes t;
    t.size = TagOut(kind, schema, t.bytes);
    return t;
  }
  /// The same tag put at `out` (room for kMaxTagBytes); returns its size.
  size_t TagOut(int kind, uint16_t schema, uint8_t* out);

 private:
  size_t NewClassTagOut(int kind, uint16_t schema, uint8_t* out);

  Cardinal counter_ = 1;
  std::array<Cardinal, 9> index_{};
};

/// The tag that refers to a class introduced under `index` (ClassRefOut): the Word
/// 0x8000 + index below 32767, otherwise 0x7FFF and the Cardinal 0x80000000 + index.
/// Returns the number of bytes put into `out` (2 or 6).
inline size_t ClassRefBytes(Cardinal index, uint8_t out[6]) {
  if (index < 32767) {
    const uint16_t tag = static_cast<uint16_t>(0x8000u + index);
    std::memcpy(out, &tag, 2);
    return 2;
  }
  const uint16_t tag = TArchive::kBigRefTag;
  const Cardinal big = TArchive::kBigRefFlag + index;
  std::memcpy(out, &tag, 2);
  std::memcpy(out + 2, &big, 4);
  return 6;
}

inline size_t TArchive::TagOut(int kind, uint16_t schema, uint8_t* out) {
  // Every object but the first of its class is a reference: kept inline for the writer's loop.
  if (index_[kind] != 0) return ClassRefBytes(index_[kind], out);
  return NewClassTagOut(kind, schema, out);
}

/// Counts on file: a Word, or 0xFFFF and the real count as a Cardinal (CountOut/ReadCount).
size_t CountBytes(Cardinal count, uint8_t out[6]);
/// Reads a count; throws "File I/O Error" when the file ends inside it.
Cardinal ReadCount(InStream& s);

}  // namespace jww
