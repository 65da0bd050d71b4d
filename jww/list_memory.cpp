#include "jww/list_memory.h"

#include <sys/mman.h>

#include <cstdint>

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

}  // namespace jww
