// Any bytes given to the bounded reader end in True or False; the budget comes from the first
// input byte so that both ends of the budget rule are reached.
#include <cstddef>
#include <cstdint>

#include "jww/JwwUnit.h"
#include "jww/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t budget = static_cast<int8_t>(data[0]);
  jww::TJwwData doc;
  doc.BindImageExp = true;  // must be ignored: a preview never reads or writes images
  jww::InStream s(data + 1, size - 1);
  doc.DrawingIn(s, true, budget);
  return 0;
}
