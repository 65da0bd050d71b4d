// Memory for the large lists a reader fills, and the memory kept between documents.
//
// Filling a list of fresh memory costs mostly the kernel clearing pages. Two things keep that cost
// down. Reserved lists of 32 MiB or more are advised for transparent huge pages where the system
// offers them (128 MB: about 25 ms against 170 ms in 4 KiB pages). And the list blocks a document
// frees are kept by the library, up to a bound, for the next document read in the process: given
// back to the allocator, a block of a few MiB is returned to the system (unmapped, or trimmed off
// the heap) and the next read faults every page of it in again, at about 10 µs per fault on a
// busy machine - more than the whole decoding of the entities that fill it. The library keeps the
// blocks itself instead of changing the allocator's process-wide settings.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

namespace jww {

/// Asks the kernel to back the 2 MiB-aligned interior of [p, p + bytes) with huge pages. Only for
/// blocks of 32 MiB or more; without the feature (or when refused) nothing changes.
void AdviseHugePages(void* p, size_t bytes);

namespace list_cache {

/// At most this much memory (capacity of the kept blocks) and this many blocks are kept.
inline constexpr size_t kMaxBytes = size_t{64} << 20;
inline constexpr size_t kMaxBlocks = 48;
/// Smaller blocks are left to the allocator, which hands them out again from its own free lists,
/// except the lists of a drawing's own entity list of kSmallListsFrom objects or more
/// (RecycleList's `owner`): kept, a drawing read again finds every kind's room where it was and
/// needs no count walk to size it. Of those, at most kMaxSmallBlocks are kept, apart from the
/// larger blocks and their bound: at most 256 KiB.
inline constexpr size_t kMinBlockBytes = size_t{16} << 10;
inline constexpr size_t kMaxSmallBlocks = 16;
inline constexpr size_t kSmallListsFrom = 16;

/// What tells kept blocks of one element type from those of another: the address of KeyOf<T>::id,
/// one per type in the program. (Comparing type_info objects of different types compares their
/// names, a string comparison for every kept block a look-up passes over.)
template <class T>
struct KeyOf {
  static constexpr char id = 0;
};
template <class T>
constexpr const void* Key() {
  return &KeyOf<T>::id;
}

/// A kept block: an empty list of some element type with its capacity, and the object count of
/// the drawing whose list it was (0: none), so that a drawing read again takes its own blocks.
struct Block {
  virtual ~Block() = default;
  const void* key = nullptr;
  size_t bytes = 0;
  size_t owner = 0;
};

template <class T>
struct ListBlock final : Block {
  std::vector<T> list;
};

/// Takes the kept block of element type `key` (Key<T>()) that best fits `bytes`, of at least
/// kMinBlockBytes (see list_memory.cpp); nullptr when none does.
std::unique_ptr<Block> Take(const void* key, size_t bytes);
/// Takes a kept block, small ones included, of element type `key` for a list whose length is not
/// known ahead, of a drawing of `owner` objects: the largest one that drawing's list had, else
/// the largest of at most `most` bytes; nullptr when none is kept.
std::unique_ptr<Block> TakeLargest(const void* key, size_t most, size_t owner = 0);
/// Keeps `block` (already emptied), making room by freeing the blocks kept longest (a small
/// block: the small blocks kept longest); frees it instead when it alone exceeds the bound.
void Keep(std::unique_ptr<Block> block);

}  // namespace list_cache

class TJwwData;

/// The nine header tables of a document being reset or freed (DataInit) are kept, one set for the
/// whole process, for the next header read: reading into them needs no allocation, no clearing
/// and no freeing of some thirty kilobytes of entries and their names. A name holding memory for
/// more than kMaxKeptName characters gives it back first, so a set keeps at most a few hundred
/// kilobytes. The header read checks each name as it writes it (giving back such memory a name
/// still held from before), so the tables of a document whose read found every name within the
/// bound are kept without a walk over their 562 names. A name a caller lengthened after that
/// read gives its memory back at the next header read into the set; one the caller also emptied
/// again only when a read writes a name there, a document's names are walked, or at
/// ReleaseListMemory. Neither call waits: when another thread is using the set, nothing happens.
namespace header_tables {
inline constexpr size_t kMaxKeptName = 256;
/// Moves `d`'s tables into the kept set when the set is free and the tables have their fixed
/// sizes, and with them the memory of its header record's identification and memo (which it
/// leaves empty: `d` is being reset or freed); otherwise `d` keeps them. `namesChecked`: the
/// header read that wrote the tables found every name within kMaxKeptName, so none needs
/// trimming.
void Keep(TJwwData& d, bool namesChecked);
/// Moves the kept set into `d`, whose tables must all be empty (the identification's and memo's
/// memory into them when they are empty); false when there is none.
bool Take(TJwwData& d);
}  // namespace header_tables

/// Gives `v`'s memory to the library's store for the next document (its entries are destroyed;
/// `v` is left empty without capacity). `owner`: the object count of the drawing whose own list
/// `v` is, 0 for any other list. Small lists are simply freed, unless their drawing has
/// list_cache::kSmallListsFrom objects or more.
template <class T>
void RecycleList(std::vector<T>& v, size_t owner = 0) {
  const size_t bytes = v.capacity() * sizeof(T);
  if (bytes == 0 || (bytes < list_cache::kMinBlockBytes && owner < list_cache::kSmallListsFrom) ||
      bytes > list_cache::kMaxBytes) {
    std::vector<T>().swap(v);
    return;
  }
  v.clear();
  std::unique_ptr<list_cache::ListBlock<T>> b;
  try {
    b = std::make_unique<list_cache::ListBlock<T>>();
  } catch (const std::bad_alloc&) {
    std::vector<T>().swap(v);
    return;
  }
  b->key = list_cache::Key<T>();
  b->owner = owner;
  b->bytes = bytes;
  b->list.swap(v);
  list_cache::Keep(std::move(b));
}

/// Reserves room for `n` entries of an empty list about to be filled: a kept block when one
/// fits, otherwise fresh memory (advised for huge pages when large). Reserving is only an
/// optimisation: when the memory is not there the list grows as it fills.
template <class T>
void ReserveList(std::vector<T>& v, size_t n) {
  if (n <= v.capacity()) return;
  if (v.empty() && n <= list_cache::kMaxBytes / sizeof(T) && n * sizeof(T) >= list_cache::kMinBlockBytes) {
    if (auto b = list_cache::Take(list_cache::Key<T>(), n * sizeof(T))) {
      auto& kept = static_cast<list_cache::ListBlock<T>&>(*b).list;
      if (kept.capacity() >= n) {
        v.swap(kept);
        return;
      }
    }
  }
  try {
    v.reserve(n);
  } catch (const std::bad_alloc&) {
    return;
  } catch (const std::length_error&) {
    return;
  }
  AdviseHugePages(v.data(), v.capacity() * sizeof(T));
}

}  // namespace jww
