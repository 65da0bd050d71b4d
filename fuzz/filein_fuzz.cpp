// Any bytes given to the whole-drawing reader end in True or False: no crash, no hang, no
// allocation beyond a small multiple of the input's size. The bound-image list is read too (its
// bytes skipped), so that section is exercised without writing files.
#include <cstddef>
#include <cstdint>

#include "jww/JwwUnit.h"
#include "jww/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jww::TJwwData doc;
  doc.BindImageExr = true;
  jww::InStream s(data, size);
  if (doc.DrawingIn(s, false, 0)) {
    doc.GetFontNames();
    double w, h;
    doc.GetPaperSize(w, h);
  }
  return 0;
}
