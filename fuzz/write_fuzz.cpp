// Whatever a drawing read from any bytes holds - a whole drawing or what a failed read left - the
// writer turns into files that read back whole, at every version family: counts, tags, tails and
// strings always agree with what follows them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "jww/JwwUnit.h"
#include "jww/out_stream.h"
#include "jww/stream.h"
#include "jww/writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  jww::TJwwData doc;
  jww::InStream s(data, size);
  doc.DrawingIn(s, false, 0);
  if (!jww::HasHeaderTables(doc)) return 0;
  // Option bits 1 and 8 rewrite image references; take them from the input too.
  doc.SetFileOutOption(size > 0 ? data[size - 1] & 9 : 0);
  for (int ver : {220, 230, 350, 419, 420, 700}) {
    jww::OutStream out;
    jww::HeaderOut(out, doc, ver);
    jww::EntityStreamOut(out, doc, ver);
    out.Commit();
    jww::TJwwData back;
    jww::InStream in(out.Data().data(), out.Data().size());
    if (!back.DrawingIn(in, false, 0) || in.Remaining() != (ver >= 700 ? 4u : 0u)) std::abort();
  }
  return 0;
}
