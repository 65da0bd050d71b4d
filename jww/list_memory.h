// Memory for the large lists a reader fills: reserved once, and advised for transparent huge
// pages where the system offers them. Filling a list of fresh memory costs mostly the kernel
// clearing pages; in 2 MiB pages that is several times cheaper than in 4 KiB pages (128 MB: about
// 25 ms against 170 ms on the machine of docs/PERFORMANCE.md).
#pragma once

#include <cstddef>
#include <new>
#include <stdexcept>
#include <vector>

namespace jww {

/// Asks the kernel to back the 2 MiB-aligned interior of [p, p + bytes) with huge pages. Only for
/// blocks of 32 MiB or more; without the feature (or when refused) nothing changes.
void AdviseHugePages(void* p, size_t bytes);

/// Reserves room for `n` entries of a list about to be filled, in memory advised for huge pages.
/// Reserving is only an optimisation: when the memory is not there the list grows as it fills.
template <class T>
void ReserveList(std::vector<T>& v, size_t n) {
  if (n <= v.capacity()) return;
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
