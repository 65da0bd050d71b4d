// What a list of drawings shows of a file, taken with one open of it: the file's date and size,
// and from a drawing's header the memo, the paper code and the layer-group scales. The list reads
// thousands of files; FileDateSize, FileCheck and FileHeaderIn one after the other would open each
// file twice, stat it three times and decode every name of its header into a fresh document.
#pragma once

#include <memory>

#include "common/Func_2.h"
#include "jww/jwwtype.h"

namespace jww {

class InStream;

struct TDrawingGlance {
  TFileDateSize dateSize;  ///< as FileDateSize gives them
  /// FileCheck and FileHeaderIn would both succeed; the fields below are valid only then.
  bool drawing = false;
  string memo;
  Integer nZumen = 0;
  Double scales[16] = {};
};

class HeaderGlance {
 public:
  HeaderGlance();
  ~HeaderGlance();
  HeaderGlance(const HeaderGlance&) = delete;
  HeaderGlance& operator=(const HeaderGlance&) = delete;

  /// The facts of the file at `path`; the result stays valid until the next call. A file that
  /// cannot be opened still has the date and size stat gives; a file that is no regular file, no
  /// drawing or a drawing whose header ends early is no drawing.
  const TDrawingGlance& Glance(const string& path);

  /// The header part over a stream positioned at its start: true exactly when FileCheck and
  /// HeaderIn would accept the same bytes; then memo, nZumen and scales are filled.
  bool HeaderOf(InStream& s, TDrawingGlance& out);

 private:
  struct Scratch;
  std::unique_ptr<Scratch> scratch_;
  TDrawingGlance result_;
};

}  // namespace jww
