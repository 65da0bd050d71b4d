#include "jww/list_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "jww/JwwUnit.h"
#include "jww/stream.h"

namespace jww {

void AdviseHugePages(void* p, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  // A list's last huge page is partly unused, and so is its first when few entries reach it:
  // from 32 MiB on, that is at most an eighth more memory.
  if (bytes < 16 * kHuge) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
  // The advice only changes how untouched pages are backed; its failure changes nothing.
  if (end > begin) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)p;
  (void)bytes;
#endif
}

namespace list_cache {

namespace {

// The kept blocks, oldest first: those of kMinBlockBytes or more, within kMaxBytes and
// kMaxBlocks, and apart from them the small ones, within kMaxSmallBlocks (so that a drawing's
// small lists never push out the large blocks). Documents may be read and freed on several
// threads at once.
struct Store {
  std::mutex mutex;
  std::vector<std::unique_ptr<Block>> blocks;
  size_t bytes = 0;
  std::vector<std::unique_ptr<Block>> small;
};

Store& TheStore() {
  // Never destroyed: documents freed by static destructors after it may still hand blocks in.
  static Store* store = new Store;
  return *store;
}

}  // namespace

std::unique_ptr<Block> Take(const void* key, size_t bytes) {
  Store& st = TheStore();
  std::lock_guard<std::mutex> lock(st.mutex);
  // The smallest block that holds the list, unless it is so much larger that a list of its own
  // size is more likely to want it: a small drawing read after a large one takes fresh memory
  // for its small lists and leaves the large blocks for the next large drawing.
  const size_t wasteLimit = std::max(bytes, kMinBlockBytes) * 4;
  size_t best = st.blocks.size();
  for (size_t i = 0; i < st.blocks.size(); ++i) {
    const Block& b = *st.blocks[i];
    if (b.key != key || b.bytes < bytes || b.bytes > wasteLimit) continue;
    if (best == st.blocks.size() || b.bytes < st.blocks[best]->bytes) best = i;
  }
  if (best == st.blocks.size()) return nullptr;
  std::unique_ptr<Block> b = std::move(st.blocks[best]);
  st.blocks.erase(st.blocks.begin() + static_cast<std::ptrdiff_t>(best));
  st.bytes -= b->bytes;
  return b;
}

std::unique_ptr<Block> TakeLargest(const void* key, size_t most, size_t owner) {
  Store& st = TheStore();
  std::lock_guard<std::mutex> lock(st.mutex);
  // A block of the same drawing first (it fits that drawing's list exactly, where a larger one
  // is memory another drawing may want), then the largest block, so a small block is only looked
  // for when no large one is there.
  auto largest = [&](const std::vector<std::unique_ptr<Block>>& blocks) {
    size_t best = blocks.size();
    bool own = false;
    for (size_t i = 0; i < blocks.size(); ++i) {
      const Block& b = *blocks[i];
      if (b.key != key) continue;
      const bool mine = owner != 0 && b.owner == owner;
      if (!mine && (own || b.bytes > most)) continue;
      if (best == blocks.size() || mine > own || b.bytes > blocks[best]->bytes) best = i;
      own = own || mine;
    }
    return std::pair{best, own};
  };
  auto take = [](std::vector<std::unique_ptr<Block>>& blocks, size_t i) {
    std::unique_ptr<Block> b = std::move(blocks[i]);
    blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(i));
    return b;
  };
  const auto [large, largeOwn] = largest(st.blocks);
  const auto [small, smallOwn] = largest(st.small);
  if (large != st.blocks.size() && (largeOwn || !smallOwn)) {
    st.bytes -= st.blocks[large]->bytes;
    return take(st.blocks, large);
  }
  if (small != st.small.size()) return take(st.small, small);
  return nullptr;
}

void Keep(std::unique_ptr<Block> block) {
  if (!block || block->bytes > kMaxBytes) return;
  std::vector<std::unique_ptr<Block>> evicted;  // freed after the lock is let go
  Store& st = TheStore();
  try {
    std::lock_guard<std::mutex> lock(st.mutex);
    if (block->bytes < kMinBlockBytes) {
      st.small.reserve(kMaxSmallBlocks);
      if (st.small.size() >= kMaxSmallBlocks) {
        evicted.push_back(std::move(st.small.front()));
        st.small.erase(st.small.begin());
      }
      st.small.push_back(std::move(block));
      return;
    }
    size_t drop = 0;
    size_t bytes = st.bytes;
    while (drop < st.blocks.size() &&
           (bytes + block->bytes > kMaxBytes || st.blocks.size() - drop + 1 > kMaxBlocks)) {
      bytes -= st.blocks[drop]->bytes;
      ++drop;
    }
    st.blocks.reserve(kMaxBlocks);
    evicted.reserve(drop);
    for (size_t i = 0; i < drop; ++i) evicted.push_back(std::move(st.blocks[i]));
    st.blocks.erase(st.blocks.begin(), st.blocks.begin() + static_cast<std::ptrdiff_t>(drop));
    st.bytes = bytes + block->bytes;
    st.blocks.push_back(std::move(block));
  } catch (const std::bad_alloc&) {
    // Nothing kept: the block (and any taken out) is freed on return.
  }
}

}  // namespace list_cache

namespace header_tables {

namespace {

struct Set {
  std::vector<TEntJwwLayerGroup> lgrp;
  std::vector<TEntJwwLayer> lay;
  std::vector<TEntJwwColorNo> col;
  std::vector<TEntJwwLineTypeNo> ltp1;
  std::vector<TEntJwwRandomLineNo> ltp2;
  std::vector<TEntJwwLineTypeNo> ltp3;
  std::vector<TEntJwwMojiType> moj;
  std::vector<TEntJwwColorExNo> colS;
  std::vector<TEntJwwLineTypeExNo> ltpS;
  // The memory of the header record's identification and memo (emptied), which every read
  // writes again.
  string id, memo;
  bool full = false;

  // Swaps every table with the document's.
  void Swap(TJwwData& d) {
    lgrp.swap(d.EntLgrp);
    lay.swap(d.EntLay);
    col.swap(d.EntCol);
    ltp1.swap(d.EntLtp1);
    ltp2.swap(d.EntLtp2);
    ltp3.swap(d.EntLtp3);
    moj.swap(d.EntMoj);
    colS.swap(d.EntColS);
    ltpS.swap(d.EntLtpS);
  }
};

// The kept set and a flag that one thread at a time holds while it moves the set; one that finds
// the flag taken goes on without the set.
struct Place {
  std::atomic_flag busy;
  Set set;
};

Place& ThePlace() {
  static Place* place = new Place;  // never destroyed, as the list store
  return *place;
}

template <class T>
bool FixedSize(const std::vector<T>& v, size_t n) {
  return v.size() == n && v.capacity() == n;
}

[[gnu::noinline]] void FreeName(string& s) { string().swap(s); }

[[gnu::always_inline]] inline void TrimName(string& s) {
  if (s.capacity() > kMaxKeptName) [[unlikely]] FreeName(s);
}

}  // namespace

void Keep(TJwwData& d, bool namesChecked) {
  if (!(FixedSize(d.EntLgrp, 16) && FixedSize(d.EntLay, 256) && FixedSize(d.EntCol, 10) &&
        FixedSize(d.EntLtp1, 8) && FixedSize(d.EntLtp2, 5) && FixedSize(d.EntLtp3, 4) &&
        FixedSize(d.EntMoj, 10) && FixedSize(d.EntColS, 257) && FixedSize(d.EntLtpS, 33)))
    return;
  Place& p = ThePlace();
  if (p.busy.test_and_set(std::memory_order_acquire)) return;
  if (!p.set.full) {
    if (!namesChecked) {
      for (auto& g : d.EntLgrp) TrimName(g.aStrGLayName);
      for (auto& l : d.EntLay) TrimName(l.aStrLayName);
      for (auto& c : d.EntColS) TrimName(c.astrUDColorName);
      for (auto& t : d.EntLtpS) TrimName(t.astrUDLTypeName);
    }
    p.set.Swap(d);
    TrimName(d.Enthd.strMemo);
    p.set.id.swap(d.Enthd.jwID);
    p.set.memo.swap(d.Enthd.strMemo);
    p.set.id.clear();
    p.set.memo.clear();
    p.set.full = true;
  }
  p.busy.clear(std::memory_order_release);
}

bool Take(TJwwData& d) {
  if (!(d.EntLgrp.empty() && d.EntLay.empty() && d.EntCol.empty() && d.EntLtp1.empty() &&
        d.EntLtp2.empty() && d.EntLtp3.empty() && d.EntMoj.empty() && d.EntColS.empty() &&
        d.EntLtpS.empty()))
    return false;
  Place& p = ThePlace();
  if (p.busy.test_and_set(std::memory_order_acquire)) return false;
  const bool took = p.set.full;
  if (took) {
    p.set.Swap(d);
    if (d.Enthd.jwID.empty()) d.Enthd.jwID.swap(p.set.id);
    if (d.Enthd.strMemo.empty()) d.Enthd.strMemo.swap(p.set.memo);
    p.set.full = false;
  }
  p.busy.clear(std::memory_order_release);
  return took;
}

// Frees the kept set (ReleaseListMemory). Waits for a thread moving it, which takes no time.
void Release() {
  Place& p = ThePlace();
  while (p.busy.test_and_set(std::memory_order_acquire)) {
  }
  Set freed;
  if (p.set.full) {
    std::swap(freed, p.set);
    p.set.full = false;
  }
  p.busy.clear(std::memory_order_release);
}

}  // namespace header_tables

void ReleaseListMemory() {
  header_tables::Release();
  ReleaseLastFileBuffer();
  std::vector<std::unique_ptr<list_cache::Block>> blocks, small;
  {
    list_cache::Store& st = list_cache::TheStore();
    std::lock_guard<std::mutex> lock(st.mutex);
    blocks.swap(st.blocks);
    small.swap(st.small);
    st.bytes = 0;
  }
}

}  // namespace jww
