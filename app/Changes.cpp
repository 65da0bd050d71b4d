#include "app/Changes.h"

#include <exception>

#include "compare/Compare.h"
#include "jww/JwwUnit.h"

namespace dravik {

namespace {

// A whole read without unpacking bound images: the window writes nothing beside a drawing, so
// images compare by name and size.
bool Read(jww::TJwwData& d, const QString& path) {
  d.BindImageInit();
  d.BindImageExp = false;
  d.BindImageExr = false;
  return d.FileIn(path.toStdU16String());
}

}  // namespace

DrawingChanges CompareDrawings(const QString& oldPath, const QString& newPath) {
  DrawingChanges out;
  try {
    jww::TJwwData a, b;
    if (!Read(a, oldPath)) {
      out.unreadable = oldPath;
      return out;
    }
    if (!Read(b, newPath)) {
      out.unreadable = newPath;
      return out;
    }
    const compare::Result r = compare::Compare(a, b);
    out.removed = r.removed;
    out.added = r.added;
    out.changed = r.changed;
    out.moved = r.moved;
    out.other = r.header.size() + r.images.size();
    out.same = r.Same();
    scene::Look look;
    look.colour = scene::Look::Colour::Colour;  // the colours are the point of the picture
    out.picture = std::make_shared<const scene::Scene>(scene::Build(compare::ChangeDrawing(a, b, r), look));
  } catch (const std::exception&) {
    out = {};
    out.unreadable = newPath;
  }
  return out;
}

}  // namespace dravik
