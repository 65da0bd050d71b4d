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
#include <typeinfo>
#include <vector>

namespace jww {

/// Asks the kernel to back the 2 MiB-aligned interior of [p, p + bytes) with huge pages. Only for
/// blocks of 32 MiB or more; without the feature (or when refused) nothing changes.
void AdviseHugePages(void* p, size_t bytes);

namespace list_cache {

/// At most this much memory (capacity of the kept blocks) and this many blocks are kept.
inline constexpr size_t kMaxBytes = size_t{64} << 20;
inline constexpr size_t kMaxBlocks = 48;
/// Smaller blocks are left to the allocator, which hands them out again from its own free lists.
inline constexpr size_t kMinBlockBytes = size_t{16} << 10;

/// A kept block: an empty list of some element type with its capacity.
struct Block {
  virtual ~Block() = default;
  const std::type_info* type = nullptr;
  size_t bytes = 0;
};

template <class T>
struct ListBlock final : Block {
  std::vector<T> list;
};

/// Takes the kept block of element type `type` that best fits `bytes` (see list_memory.cpp);
/// nullptr when none does.
std::unique_ptr<Block> Take(const std::type_info& type, size_t bytes);
/// Takes the largest kept block of element type `type` of at most `most` bytes, for a list whose
/// length is not known ahead; nullptr when none is kept.
std::unique_ptr<Block> TakeLargest(const std::type_info& type, size_t most);
/// Keeps `block` (already emptied), making room by freeing the blocks kept longest; frees it
/// instead when it alone exceeds the bound.
void Keep(std::unique_ptr<Block> block);

}  // namespace list_cache

class TJwwData;

/// The nine header tables of a document being reset or freed (DataInit) are kept, one set for the
/// whole process, for the next header read: reading into them needs no allocation, no clearing
/// and no freeing of some thirty kilobytes of entries and their names. A name holding memory for
/// more than kMaxKeptName characters gives it back first, so a set keeps at most a few hundred
/// kilobytes. Neither call waits: when another thread is using the set, nothing happens.
namespace header_tables {
inline constexpr size_t kMaxKeptName = 256;
/// Moves `d`'s tables into the kept set when the set is free and the tables have their fixed
/// sizes; otherwise `d` keeps them.
void Keep(TJwwData& d);
/// Moves the kept set into `d`, whose tables must all be empty; false when there is none.
bool Take(TJwwData& d);
}  // namespace header_tables

/// Gives `v`'s memory to the library's store for the next document (its entries are destroyed;
/// `v` is left empty without capacity). Small lists are simply freed.
template <class T>
void RecycleList(std::vector<T>& v) {
  const size_t bytes = v.capacity() * sizeof(T);
  if (bytes < list_cache::kMinBlockBytes || bytes > list_cache::kMaxBytes) {
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
  b->type = &typeid(T);
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
    if (auto b = list_cache::Take(typeid(T), n * sizeof(T))) {
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
