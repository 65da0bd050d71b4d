// Any bytes given to the header reader end in True or False: no crash, no hang, no allocation
// beyond the input's size.
#include <cstdint>
#include <cstddef>

#include "jww/JwwUnit.h"
#include "jww/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jww::TJwwData doc;
  jww::InStream s(data, size);
  doc.HeaderIn(s);
  return 0;
}
