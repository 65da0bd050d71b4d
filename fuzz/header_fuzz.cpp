// Any bytes given to the header reader end in True or False: no crash, no hang, no allocation
// beyond the input's size. The list's glance at the same bytes must agree with it: accepted
// exactly when the reader accepts, ending at the same byte, with the same memo, paper code and
// scales.
#include <cstdint>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "jww/JwwUnit.h"
#include "jww/header_glance.h"
#include "jww/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jww::TJwwData doc;
  jww::InStream s(data, size);
  const bool read = doc.HeaderIn(s);

  static jww::HeaderGlance glance;
  jww::TDrawingGlance g;
  jww::InStream t(data, size);
  const bool glanced = glance.HeaderOf(t, g);
  if (glanced != read) std::abort();
  if (read && (t.Position() != s.Position() || g.memo != doc.Enthd.strMemo ||
               g.nZumen != doc.Enthd.nZumen))
    std::abort();
  for (int k = 0; read && k < 16; ++k)
    if (std::memcmp(&g.scales[k], &doc.EntLgrp[k].adScale, sizeof(double)) != 0) std::abort();
  return 0;
}
