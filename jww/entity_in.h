// Library-internal pieces of the whole-drawing reader shared between its source files.
#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

#include "jww/JwwUnit.h"
#include "jww/stream.h"

namespace jww {

/// StrInNoCtrl for the entity stream: the same string forms, but a file that ends inside a
/// string ends the read ("File I/O Error") instead of yielding a shortened text.
string StrInNoCtrlStrict(InStream& s);

/// The bound-image section of a version 700 drawing (BindImageExp / BindImageExr decide whether
/// it is read at all and whether image files are written).
/// Returns "" or, when BindImageExp could not write an image into BindImageFolder (or would not:
/// a name that is no plain file name), which and why; the read itself goes on.
std::string BindImagesIn(TJwwData& d, InStream& s);

/// True when `name` may be used as a file name inside the bound-image folder: not empty, no path
/// separator of any platform, no drive colon, no "..", no control character.
bool IsPlainImageName(const string& name);

/// Builds FontNames and FontNameN from the names of texts visited in the order GetFontNames
/// visits them: the drawing's texts, its dimensions, then each definition's texts and dimensions.
/// Visiting a name again changes nothing, so a reader may visit each distinct name once.
class TFontNameList {
 public:
  explicit TFontNameList(TJwwData& d);  ///< empties the document's list
  void Visit(const string& name);
  void VisitLists(const std::vector<TEntJwwMoji>& moji, Integer mojiN,
                  const std::vector<TEntJwwSunpo>& sunpo, Integer sunpoN);
  void VisitDefinitions();

 private:
  TJwwData& d_;
  std::unordered_set<string> stored_;
};

}  // namespace jww
