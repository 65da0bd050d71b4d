// The Python module `dravik`: drawings read, built, written and exported through the library's
// public operations (TJwwData, the scene, the painter, the list file). The binding adds names in
// Python's manner and conversions; every check, correction and derivation stays in the library.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "compare/Compare.h"
#include "jww/JwwUnit.h"
#include "list/ListFile.h"
#include "painter/ScenePainter.h"
#include "scene/DxfOut.h"
#include "scene/Scene.h"

namespace py = pybind11;
using namespace jww;

namespace {

struct DrawingErrorTag {};
struct PictureErrorTag {};

// ---- conversions -------------------------------------------------------------------------------

py::str Py(const string& s) { return py::str(StrToUtf8(s)); }
string U16(const std::string& utf8) { return Utf8ToStr(utf8); }

/// A path as the file system names it: str or os.PathLike, bytes kept as they are.
string PathArg(const py::object& p) {
  py::object fs = py::module_::import("os").attr("fsencode")(p);
  return PathFromNative(fs.cast<std::string>());
}

py::handle g_DrawingError;  // held by the module
py::handle g_PictureError;  // held by the module

[[noreturn]] void RaiseDrawingError(const std::string& path, const std::string& reason, uint64_t offset) {
  py::object e = g_DrawingError(path + ": " + reason + " (byte " + std::to_string(offset) + ")");
  e.attr("path") = path;
  e.attr("reason") = reason;
  e.attr("offset") = offset;
  PyErr_SetObject(g_DrawingError.ptr(), e.ptr());
  throw py::error_already_set();
}

// ---- the drawing -------------------------------------------------------------------------------

/// A drawing held by Python; definitions made here are found by the name they were given.
struct Drawing {
  std::shared_ptr<TJwwData> d = std::make_shared<TJwwData>();
  bool dirty = false;  ///< additions since the lists were last trimmed and the block tree built
  std::mutex lock;     ///< one operation at a time on this drawing while the GIL is released

  void Settle() {
    if (!dirty) return;
    for (Integer i = 0; i < d->EntBlockDefN; ++i) d->AddBlkDefPost(i);
    d->AddEntPost();
    dirty = false;
  }
};
using DrawingPtr = std::shared_ptr<Drawing>;

/// The definition a name stands for: the stored name itself, or the name the drawing decorated
/// ("door" for "door@@SFIG4"). -1 when there is none.
Integer FindDefinition(const TJwwData& d, const string& name) {
  const Integer n = std::min<Integer>(d.EntBlockDefN, static_cast<Integer>(d.EntBlockDef.size()));
  for (Integer i = 0; i < n; ++i)
    if (d.EntBlockDef[static_cast<size_t>(i)].strName == name) return i;
  const string decorated = name + u"@@";
  for (Integer i = 0; i < n; ++i) {
    const string& s = d.EntBlockDef[static_cast<size_t>(i)].strName;
    if (s.size() > decorated.size() && s.compare(0, decorated.size(), decorated) == 0) return i;
  }
  return -1;
}

/// The name a definition is shown by: its stored name without the drawing's decoration.
string ShownName(const string& s) {
  const size_t p = s.find(u"@@");
  return p == string::npos ? s : s.substr(0, p);
}

// ---- entity records ------------------------------------------------------------------------------

/// Lists of one owner: the drawing's own (def < 0) or one block definition's.
struct Owner {
  DrawingPtr dr;
  Integer def = -1;

  TEntJwwBlockDef* Def() const {
    if (def < 0 || def >= static_cast<Integer>(dr->d->EntBlockDef.size())) return nullptr;
    return &dr->d->EntBlockDef[static_cast<size_t>(def)];
  }
  template <class T>
  std::pair<const std::vector<T>*, Integer> List() const;
  std::pair<const std::vector<TEntJwwNo>*, Integer> Order() const {
    if (auto* b = Def()) return {&b->mNo, b->N};
    return {&dr->d->EntNo, dr->d->Enthd.n1};
  }
};

#define OWNER_LIST(T, drawingList, drawingN, defList, defN)                       \
  template <>                                                                   \
  std::pair<const std::vector<T>*, Integer> Owner::List<T>() const {           \
    if (auto* b = Def()) return {&b->defList, b->defN};                         \
    return {&dr->d->drawingList, dr->d->drawingN};                              \
  }
OWNER_LIST(TEntJwwLine, EntLine, EntLineN, mLine, mLineN)
OWNER_LIST(TEntJwwEnko, EntEnko, EntEnkoN, mEnko, mEnkoN)
OWNER_LIST(TEntJwwTen, EntTen, EntTenN, mTen, mTenN)
OWNER_LIST(TEntJwwMoji, EntMoji, EntMojiN, mMoji, mMojiN)
OWNER_LIST(TEntJwwSunpo, EntSunpo, EntSunpoN, mSunpo, mSunpoN)
OWNER_LIST(TEntJwwSolid, EntSolid, EntSolidN, mSolid, mSolidN)
OWNER_LIST(TEntJwwBlock, EntBlock, EntBlockN, mBlock, mBlockN)
#undef OWNER_LIST

/// Valid entries: the count, bounded by what the list holds.
template <class V>
size_t Count(const V* v, Integer n) {
  return n <= 0 ? 0 : std::min(static_cast<size_t>(n), v->size());
}

/// An insertion with the name of the definition it places (resolved when it is handed out).
struct Insertion {
  TEntJwwBlock rec;
  string name;
};

Insertion MakeInsertion(const TJwwData& d, const TEntJwwBlock& b) {
  Insertion ins{b, {}};
  const Integer n = std::min<Integer>(d.EntBlockDefN, static_cast<Integer>(d.EntBlockDef.size()));
  for (Integer i = 0; i < n; ++i)
    if (d.EntBlockDef[static_cast<size_t>(i)].nNumber == b.nNumber) {
      ins.name = ShownName(d.EntBlockDef[static_cast<size_t>(i)].strName);
      break;
    }
  return ins;
}

template <class T>
py::object Wrap(const Owner&, const T& rec) {
  return py::cast(rec);
}
template <>
py::object Wrap<TEntJwwBlock>(const Owner& o, const TEntJwwBlock& rec) {
  return py::cast(MakeInsertion(*o.dr->d, rec));
}

/// A sequence of one kind (len, [i], iteration) without a Python object per entity until asked.
template <class T>
struct Seq {
  Owner o;
  size_t Len() const {
    std::lock_guard<std::mutex> g(o.dr->lock);
    auto [v, n] = o.List<T>();
    return Count(v, n);
  }
  py::object At(py::ssize_t i) const {
    std::lock_guard<std::mutex> g(o.dr->lock);
    auto [v, n] = o.List<T>();
    const auto len = static_cast<py::ssize_t>(Count(v, n));
    if (i < 0) i += len;
    if (i < 0 || i >= len) throw py::index_error("entity index out of range");
    return Wrap(o, (*v)[static_cast<size_t>(i)]);
  }
};

/// An N x k array of doubles filled per record; numbers only, no Python object per entity.
template <class T, class F>
py::array_t<double> Columns(const Seq<T>& s, size_t k, F fill) {
  std::lock_guard<std::mutex> g(s.o.dr->lock);
  auto [v, n] = s.o.template List<T>();
  const size_t len = Count(v, n);
  py::array_t<double> a({len, k});
  double* out = a.mutable_data();
  for (size_t i = 0; i < len; ++i) fill((*v)[i], out + i * k);
  return a;
}

template <class T>
py::array_t<int32_t> LayerColumns(const Seq<T>& s) {
  std::lock_guard<std::mutex> g(s.o.dr->lock);
  auto [v, n] = s.o.template List<T>();
  const size_t len = Count(v, n);
  py::array_t<int32_t> a({len, size_t{2}});
  int32_t* out = a.mutable_data();
  for (size_t i = 0; i < len; ++i) {
    out[2 * i] = (*v)[i].att.nGLayer;
    out[2 * i + 1] = (*v)[i].att.nLayer;
  }
  return a;
}

template <class T>
py::array_t<int32_t> ColorColumn(const Seq<T>& s) {
  std::lock_guard<std::mutex> g(s.o.dr->lock);
  auto [v, n] = s.o.template List<T>();
  const size_t len = Count(v, n);
  py::array_t<int32_t> a(static_cast<py::ssize_t>(len));
  int32_t* out = a.mutable_data();
  for (size_t i = 0; i < len; ++i) out[i] = (*v)[i].att.nPenColor;
  return a;
}

py::list EntitiesOf(const Owner& o) {
  std::lock_guard<std::mutex> g(o.dr->lock);
  auto [order, n] = o.Order();
  py::list out;
  const size_t len = Count(order, n);
  for (size_t i = 0; i < len; ++i) {
    const TEntJwwNo& e = (*order)[i];
    if (e.EntNo < 0) continue;
    auto pick = [&](auto tag) -> py::object {
      using T = decltype(tag);
      auto [v, vn] = o.List<T>();
      if (static_cast<size_t>(e.EntNo) >= Count(v, vn)) return py::none();
      return Wrap(o, (*v)[static_cast<size_t>(e.EntNo)]);
    };
    py::object ent;
    switch (e.EntType) {
      case kEntLine: ent = pick(TEntJwwLine{}); break;
      case kEntEnko: ent = pick(TEntJwwEnko{}); break;
      case kEntTen: ent = pick(TEntJwwTen{}); break;
      case kEntMoji: ent = pick(TEntJwwMoji{}); break;
      case kEntSunpo: ent = pick(TEntJwwSunpo{}); break;
      case kEntSolid: ent = pick(TEntJwwSolid{}); break;
      case kEntBlock: ent = pick(TEntJwwBlock{}); break;
      default: continue;
    }
    if (!ent.is_none()) out.append(ent);
  }
  return out;
}

/// The kinds' sequences of an owner (the drawing or a definition).
struct Kinds {
  Owner o;
};

struct Definition {
  Owner o;
};

struct Definitions {
  DrawingPtr dr;
  size_t Len() const {
    const TJwwData& d = *dr->d;
    return Count(&d.EntBlockDef, d.EntBlockDefN);
  }
};

// ---- reading -----------------------------------------------------------------------------------

DrawingPtr Read(const py::object& path, std::optional<int> budget) {
  auto dr = std::make_shared<Drawing>();
  const string name = PathArg(path);
  bool ok;
  {
    py::gil_scoped_release nogil;
    ok = budget ? dr->d->FilePrevIn(name, *budget) : dr->d->FileIn(name);
  }
  if (!ok) {
    const TJwwError& e = dr->d->LastError();
    RaiseDrawingError(StrToUtf8(name), e.message.empty() ? "cannot read the drawing" : e.message, e.offset);
  }
  return dr;
}

// ---- building ----------------------------------------------------------------------------------

/// Where additions go: the drawing (bdn < 0) or one of its block definitions.
struct Target {
  Drawing* dr;
  Integer bdn = -1;
  std::unique_lock<std::mutex> hold{dr->lock};
};

struct Attr {
  Integer cn, lg, ly, co, tp, wd, fl;
};

Attr MakeAttr(std::pair<int, int> layer, int color, int line_type, int pen_width, int flags, int tag) {
  return {tag, layer.first, layer.second, color, line_type, pen_width, flags};
}

void Check(bool ok, const char* what) {
  if (!ok) throw py::value_error(std::string("the drawing refused the ") + what);
}

void AddLine(Target& t, double x1, double y1, double x2, double y2, std::pair<int, int> layer, int color,
             int line_type, int pen_width, int flags, int tag) {
  const Attr a = MakeAttr(layer, color, line_type, pen_width, flags, tag);
  TJwwData& d = *t.dr->d;
  Check(t.bdn < 0 ? d.AddEntLine(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, x1, y1, x2, y2)
                  : d.AddBlkLine(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, x1, y1, x2, y2),
        "line");
  t.dr->dirty = true;
}

void AddArc(Target& t, double cx, double cy, double radius, double start, double sweep, double flatness,
            double tilt, std::optional<bool> full, std::pair<int, int> layer, int color, int line_type,
            int pen_width, int flags, int tag) {
  Attr a = MakeAttr(layer, color, line_type, pen_width, flags, tag);
  if (full.value_or(sweep >= 360.0)) a.fl |= 8;
  TJwwData& d = *t.dr->d;
  Check(t.bdn < 0 ? d.AddEntArc(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, cx, cy, radius, flatness, start, sweep, tilt)
                  : d.AddBlkArc(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, cx, cy, radius, flatness, start,
                                sweep, tilt),
        "arc");
  t.dr->dirty = true;
}

void AddPoint(Target& t, double x, double y, int code, double angle, double scale, std::pair<int, int> layer,
              int color, int pen_width, int flags, int tag) {
  const Attr a = MakeAttr(layer, color, code, pen_width, flags, tag);
  TJwwData& d = *t.dr->d;
  Check(t.bdn < 0 ? d.AddEntTen(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, x, y, angle, scale)
                  : d.AddBlkTen(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, x, y, angle, scale),
        "point");
  t.dr->dirty = true;
}

struct TextArgs {
  string text, font;
  int base_point, text_type;
  double w, h, spacing, angle;
  bool vertical;
  std::optional<std::pair<double, double>> end;
};

TextArgs MakeText(const std::string& text, std::pair<double, double> size, double spacing, double angle,
                  int base_point, int text_type, const std::string& font, bool vertical,
                  std::optional<std::pair<double, double>> end) {
  return {U16(text), U16(font), base_point, text_type, size.first, size.second, spacing, angle, vertical, end};
}

void AddText(Target& t, const std::string& text, double x, double y, std::pair<double, double> size,
             double spacing, double angle, int base_point, int text_type, const std::string& font, bool vertical,
             std::optional<std::pair<double, double>> end, std::pair<int, int> layer, int color, int pen_width,
             int flags, int tag) {
  const TextArgs s = MakeText(text, size, spacing, angle, base_point, text_type, font, vertical, end);
  Attr a = MakeAttr(layer, color, base_point, pen_width, flags, tag);
  if (vertical) a.fl |= 4;
  TJwwData& d = *t.dr->d;
  bool ok;
  if (end)
    ok = t.bdn < 0 ? d.AddEntMoji(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, s.text_type, x, y, end->first,
                                  end->second, s.w, s.h, s.spacing, s.angle, s.font, s.text)
                   : d.AddBlkMoji(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, s.text_type, x, y, end->first,
                                  end->second, s.w, s.h, s.spacing, s.angle, s.font, s.text);
  else
    ok = t.bdn < 0 ? d.AddEntMoji(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, s.text_type, x, y, s.w, s.h, s.spacing,
                                  s.angle, s.font, s.text)
                   : d.AddBlkMoji(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, s.text_type, x, y, s.w, s.h,
                                  s.spacing, s.angle, s.font, s.text);
  Check(ok, "text");
  t.dr->dirty = true;
}

using Pt = std::pair<double, double>;

/// A dimension from (x1, y1) to (x2, y2) with its text at `at` (its base point) or between the
/// ends `text_ends`; reference points `refs` with auxiliary lines derived from them (`gap`,
/// `overshoot`) or given (`aux_lines`); end marks 0 (none), 1 or 2.
void AddDimension(Target& t, double x1, double y1, double x2, double y2, const std::string& text,
                  std::optional<Pt> at, std::optional<std::pair<Pt, Pt>> text_ends, std::pair<double, double> size,
                  double spacing, double angle, int base_point, int text_type, const std::string& font,
                  int text_color, std::optional<std::pair<Pt, Pt>> refs,
                  std::optional<std::pair<std::pair<Pt, Pt>, std::pair<Pt, Pt>>> aux_lines, double gap,
                  double overshoot, int end_marks, int end_code, int ref_code, std::pair<int, int> layer, int color,
                  int line_type, int pen_width, int flags, int tag) {
  if (at.has_value() == text_ends.has_value())
    throw py::value_error("give the text's place either as at=(x, y) or as text_ends=((x, y), (x, y))");
  if (end_marks < 0 || end_marks > 2) throw py::value_error("end_marks: 0 (none), 1 (outward) or 2 (inward)");
  if ((gap != 0 || overshoot != 0) && (!refs || aux_lines))
    throw py::value_error("gap and overshoot derive the auxiliary lines: they need refs and no aux_lines");
  if (refs && !aux_lines && text_ends)
    throw py::value_error("derived auxiliary lines place the text at its base point (at=)");
  const Attr a = MakeAttr(layer, color, line_type, pen_width, flags, tag);
  const string ps = U16(text), pf = U16(font);
  const Integer co = a.co, tp = a.tp, wd = a.wd, tco = text_color, ttp = base_point, twd = 0, tfl = 0;
  const Integer ms = text_type;
  const double pw = size.first, ph = size.second;
  TJwwData& d = *t.dr->d;
  const Integer bdn = t.bdn;
  bool ok;
  const Pt k0 = refs ? refs->first : Pt{0, 0}, k1 = refs ? refs->second : Pt{0, 0};
  const Integer exL = refs || aux_lines ? 1 : 0, exR = refs ? 1 : 0;
  if (!refs && !aux_lines && end_marks == 0) {
    if (text_ends) {
      const Pt f = text_ends->first, e = text_ends->second;
      ok = bdn < 0 ? d.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms, f.first,
                                   f.second, e.first, e.second, pw, ph, spacing, angle, pf, ps)
                   : d.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                                   f.first, f.second, e.first, e.second, pw, ph, spacing, angle, pf, ps);
    } else {
      ok = bdn < 0 ? d.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                                   at->first, at->second, pw, ph, spacing, angle, pf, ps)
                   : d.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                                   at->first, at->second, pw, ph, spacing, angle, pf, ps);
    }
  } else if (refs && !aux_lines) {
    ok = bdn < 0 ? d.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                                 at->first, at->second, pw, ph, spacing, angle, pf, ps, gap, overshoot,  //
                                 exL, co, tp, wd, a.fl, exL, co, tp, wd, a.fl,                          //
                                 end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                                 exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                   //
                                 exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0)
                 : d.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                                 at->first, at->second, pw, ph, spacing, angle, pf, ps, gap, overshoot,  //
                                 exL, co, tp, wd, a.fl, exL, co, tp, wd, a.fl,                          //
                                 end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                                 exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                   //
                                 exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0);
  } else {
    Pt h[4] = {};
    if (aux_lines) {
      h[0] = aux_lines->first.first, h[1] = aux_lines->first.second;
      h[2] = aux_lines->second.first, h[3] = aux_lines->second.second;
    }
    const Pt f = text_ends ? text_ends->first : *at;
    if (text_ends) {
      const Pt e = text_ends->second;
      ok = bdn < 0
               ? d.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms, f.first,
                               f.second, e.first, e.second, pw, ph, spacing, angle, pf, ps,            //
                               exL, co, tp, wd, a.fl, h[0].first, h[0].second, h[1].first, h[1].second,  //
                               exL, co, tp, wd, a.fl, h[2].first, h[2].second, h[3].first, h[3].second,  //
                               end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                               exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                       //
                               exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0)
               : d.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                               f.first, f.second, e.first, e.second, pw, ph, spacing, angle, pf, ps,   //
                               exL, co, tp, wd, a.fl, h[0].first, h[0].second, h[1].first, h[1].second,  //
                               exL, co, tp, wd, a.fl, h[2].first, h[2].second, h[3].first, h[3].second,  //
                               end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                               exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                       //
                               exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0);
    } else {
      ok = bdn < 0
               ? d.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms, f.first,
                               f.second, pw, ph, spacing, angle, pf, ps,                               //
                               exL, co, tp, wd, a.fl, h[0].first, h[0].second, h[1].first, h[1].second,  //
                               exL, co, tp, wd, a.fl, h[2].first, h[2].second, h[3].first, h[3].second,  //
                               end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                               exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                       //
                               exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0)
               : d.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, x1, y1, x2, y2, tco, ttp, twd, tfl, ms,
                               f.first, f.second, pw, ph, spacing, angle, pf, ps,                      //
                               exL, co, tp, wd, a.fl, h[0].first, h[0].second, h[1].first, h[1].second,  //
                               exL, co, tp, wd, a.fl, h[2].first, h[2].second, h[3].first, h[3].second,  //
                               end_marks, co, end_code, wd, 0, 1.0, end_marks, co, end_code, wd, 0, 1.0,  //
                               exR, co, ref_code, wd, 0, k0.first, k0.second, 1.0,                       //
                               exR, co, ref_code, wd, 0, k1.first, k1.second, 1.0);
    }
  }
  Check(ok, "dimension");
  t.dr->dirty = true;
}

/// A solid: 2 corners (a rectangle), 3 or 4 corners; or, with `center`, a disc, sector, curved or
/// ring solid.
void AddSolid(Target& t, std::vector<Pt> corners, int fill_rgb, std::pair<int, int> layer, int color,
              int line_type, int pen_width, int flags, int tag) {
  const Attr a = MakeAttr(layer, color, line_type, pen_width, flags, tag);
  TJwwData& d = *t.dr->d;
  const Integer bdn = t.bdn;
  const Integer fc = fill_rgb;
  const auto& c = corners;
  bool ok;
  switch (c.size()) {
    case 2:
      ok = bdn < 0 ? d.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second)
                   : d.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second);
      break;
    case 3:
      ok = bdn < 0 ? d.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second, c[2].first, c[2].second)
                   : d.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second, c[2].first, c[2].second);
      break;
    case 4:
      ok = bdn < 0 ? d.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second, c[2].first, c[2].second, c[3].first, c[3].second)
                   : d.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].first, c[0].second,
                                   c[1].first, c[1].second, c[2].first, c[2].second, c[3].first, c[3].second);
      break;
    default:
      throw py::value_error("a solid has 2 (opposite corners of a rectangle), 3 or 4 corners");
  }
  Check(ok, "solid");
  t.dr->dirty = true;
}

void AddDisc(Target& t, double cx, double cy, double radius, double flatness, double tilt,
             std::optional<double> start, std::optional<double> sweep, std::optional<double> inner, int form,
             int fill_rgb, std::pair<int, int> layer, int color, int pen_width, int flags, int tag) {
  const Attr a = MakeAttr(layer, color, 1, pen_width, flags, tag);
  TJwwData& d = *t.dr->d;
  const Integer bdn = t.bdn, fc = fill_rgb;
  const double s = start.value_or(0), w = sweep.value_or(360);
  bool ok;
  if (inner)
    ok = bdn < 0 ? d.AddEntSolidD(a.cn, a.lg, a.ly, a.co, form ? form : 1, a.wd, a.fl, fc, cx, cy, radius, *inner,
                                  flatness, tilt, s, w)
                 : d.AddBlkSolidD(bdn, a.cn, a.lg, a.ly, a.co, form ? form : 1, a.wd, a.fl, fc, cx, cy, radius,
                                  *inner, flatness, tilt, s, w);
  else if (form != 0)
    ok = bdn < 0 ? d.AddEntSolidC(a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt, s, w)
                 : d.AddBlkSolidC(bdn, a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt,
                                  s, w);
  else if (!start && !sweep)
    ok = bdn < 0 ? d.AddEntSolidA(a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt)
                 : d.AddBlkSolidA(bdn, a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt);
  else
    ok = bdn < 0 ? d.AddEntSolidA(a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt, s, w)
                 : d.AddBlkSolidA(bdn, a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, cx, cy, radius, flatness, tilt, s, w);
  Check(ok, "disc");
  t.dr->dirty = true;
}

void Insert(Target& t, const std::string& name, double x, double y, double angle, std::pair<double, double> scale,
            std::pair<int, int> layer, int color, int line_type, int pen_width, int flags, int tag) {
  TJwwData& d = *t.dr->d;
  const Integer bn = FindDefinition(d, U16(name));
  if (bn < 0) throw py::key_error("no block definition named '" + name + "'");
  const Attr a = MakeAttr(layer, color, line_type, pen_width, flags, tag);
  const bool ok =
      t.bdn < 0 ? d.AddEntBlock(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, bn, x, y, scale.first, scale.second, angle)
                : d.AddBlkBlock(t.bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl,
                                static_cast<Integer>(d.EntBlockDef[static_cast<size_t>(bn)].nNumber), x, y,
                                scale.first, scale.second, angle);
  if (!ok && t.bdn >= 0) throw py::value_error("a block cannot insert itself, directly or through others");
  Check(ok, "insertion");
  t.dr->dirty = true;
}

// ---- exports ------------------------------------------------------------------------------------

/// The painter needs a GUI application for its fonts; one is made on first use (offscreen unless
/// the environment names a platform) and kept, or the caller's own is used.
void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  static int argc = 1;
  static char name[] = "dravik";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv);  // lives as long as the process, as the toolkit expects
}

std::string FormatOf(const std::string& path, const std::optional<std::string>& format) {
  std::string f;
  if (format) {
    f = *format;
  } else {
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.find('/', dot) == std::string::npos) f = path.substr(dot + 1);
  }
  for (char& c : f) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (f != "pdf" && f != "svg" && f != "png" && f != "dxf")
    throw py::value_error("export to .pdf, .svg, .png or .dxf (or name format=)");
  return f;
}

/// How a picture or DXF is made: the export's keywords, checked.
struct ExportHow {
  std::string format;
  double dpi = 150;
  scene::Look look;
  scene::PaintOptions paint;
};

ExportHow MakeHow(const std::string& outBytes, double dpi, const std::optional<std::string>& format,
                  const std::string& colour, bool aux, const std::string& fit, std::optional<int64_t> budget) {
  ExportHow h;
  h.format = FormatOf(outBytes, format);
  if (!(dpi > 0 && dpi <= 2400)) throw py::value_error("dpi must lie in (0, 2400]");
  h.dpi = dpi;
  if (colour == "colour" || colour == "color") h.look.colour = scene::Look::Colour::Colour;
  else if (colour == "mono") h.look.colour = scene::Look::Colour::Mono;
  else if (colour != "drawing") throw py::value_error("colour: 'drawing', 'colour' or 'mono'");
  h.look.aux = aux;
  if (fit != "paper" && fit != "drawing") throw py::value_error("fit: 'paper' or 'drawing'");
  h.paint.fitDrawing = fit == "drawing";
  if (budget) {
    if (*budget < 1) throw py::value_error("budget must be at least 1");
    h.paint.budget = static_cast<size_t>(*budget);
  }
  // The DXF is for exchange: it keeps the pens' print colours whatever the colour printing says.
  if (h.format == "dxf") h.look.colour = scene::Look::Colour::Colour;
  if (h.format != "dxf") EnsureGuiApplication();
  return h;
}

/// What became of an export: written, refused as a picture (the report says why), or not written
/// (`reason`, the system's words).
struct ExportOutcome {
  bool ok = false;
  scene::PaintReport report;
  std::string reason;
};

/// Builds the scene of `d` and writes it; run without the GIL.
ExportOutcome ExportScene(const TJwwData& d, const string& out, const ExportHow& h) {
  ExportOutcome r;
  const scene::Scene s = scene::Build(d, h.look);
  if (h.format == "dxf") {
    r.ok = scene::WriteDxf(s, out, nullptr, &r.reason);
    return r;
  }
  // The toolkit's font database is shared by the whole process: one picture at a time.
  static std::mutex painting;
  std::lock_guard<std::mutex> p(painting);
  const QString qpath = QString::fromStdU16String(out);
  r.ok = h.format == "pdf"   ? scene::WritePdf(s, qpath, h.paint, &r.report)
         : h.format == "svg" ? scene::WriteSvg(s, qpath, h.paint, &r.report)
                             : scene::WritePng(s, qpath, h.dpi, h.paint, &r.report);
  r.reason = r.report.reason;
  return r;
}

/// Raises what a failed export means: PictureError for a picture refused (over its budget, too
/// many pixels), OSError with the system's reason otherwise.
[[noreturn]] void RaiseExportFailure(const std::string& outBytes, const ExportHow& h, const ExportOutcome& r) {
  const scene::PaintReport& p = r.report;
  if (p.overBudget || p.tooManyPixels) {
    char msg[512];
    if (p.overBudget)
      std::snprintf(msg, sizeof msg, "%s: the picture would hold more than %zu items; nothing written "
                    "(budget= sets the limit)", outBytes.c_str(), h.paint.budget);
    else if (p.maxDpi >= 1)
      std::snprintf(msg, sizeof msg, "%s: at %g dpi the picture would have %.0f million pixels, more than the "
                    "%.0f million a picture may have; %g dpi is the most that fits (or fit='drawing')",
                    outBytes.c_str(), h.dpi, p.pixels / 1e6, scene::kMaxPixels / 1e6, p.maxDpi);
    else
      std::snprintf(msg, sizeof msg, "%s: the picture would have more than the %.0f million pixels a picture may have",
                    outBytes.c_str(), scene::kMaxPixels / 1e6);
    py::object e = g_PictureError(std::string(msg));
    e.attr("path") = outBytes;
    e.attr("over_budget") = p.overBudget;
    e.attr("budget") = h.paint.budget;
    e.attr("too_many_pixels") = p.tooManyPixels;
    e.attr("pixels") = p.pixels;
    e.attr("max_dpi") = p.maxDpi;
    PyErr_SetObject(g_PictureError.ptr(), e.ptr());
    throw py::error_already_set();
  }
  const std::string msg = outBytes + ": cannot write the " + h.format + " file" + (r.reason.empty() ? "" : ": " + r.reason);
  PyErr_SetString(PyExc_OSError, msg.c_str());
  throw py::error_already_set();
}

void Export(Drawing& dr, const py::object& path, double dpi, const std::optional<std::string>& format,
            const std::string& colour, bool aux, const std::string& fit, std::optional<int64_t> budget) {
  const string out = PathArg(path);
  const std::string outBytes = NativePath(out);
  const ExportHow h = MakeHow(outBytes, dpi, format, colour, aux, fit, budget);
  ExportOutcome r;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> g(dr.lock);
    dr.Settle();
    r = ExportScene(*dr.d, out, h);
  }
  if (!r.ok) RaiseExportFailure(outBytes, h, r);
}

void Write(Drawing& dr, const py::object& path, int version) {
  if (version < 220 || version > 700) throw py::value_error("version must lie in 220..700");
  const string out = PathArg(path);
  bool ok;
  {
    py::gil_scoped_release nogil;
    std::lock_guard<std::mutex> g(dr.lock);
    dr.Settle();
    ok = dr.d->FileOut(out, version);
  }
  if (!ok) {
    const std::string msg = StrToUtf8(out) + ": cannot write a version " + std::to_string(version) +
                            " drawing: " + dr.d->LastError().message;
    PyErr_SetString(PyExc_OSError, msg.c_str());
    throw py::error_already_set();
  }
}

/// A path as the list names it: absolute, the bytes kept ("./" in front dropped), as dravik-list.
string ListPath(const string& p) {
  std::string rel = NativePath(p);
  if (!rel.empty() && rel.front() == '/') return p;
  while (rel.size() > 2 && rel.compare(0, 2, "./") == 0) rel.erase(0, 2);
  std::string cwd(256, '\0');
  while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
    if (errno != ERANGE) return p;
    cwd.resize(cwd.size() * 2);
  }
  cwd.resize(std::char_traits<char>::length(cwd.c_str()));
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return PathFromNative(cwd + rel);
}

void ListFile(const std::vector<py::object>& paths, int64_t slotArg, const py::object& out) {
  if (paths.empty()) throw py::value_error("no drawing given");
  std::vector<string> files;
  files.reserve(paths.size());
  for (const py::object& p : paths) files.push_back(ListPath(PathArg(p)));
  const string lst = PathArg(out);
  const int slotCount = dravik::SlotCountOf(slotArg);
  if (dravik::ListFileMinimumSize(files.size(), slotCount) > dravik::ListFileRoom(lst))
    throw py::value_error(std::to_string(slotCount) + " slots need more than the memory or disk space available");
  bool ok;
  {
    py::gil_scoped_release nogil;
    TJwwData JWW;
    ok = dravik::WriteListFile(lst, files, slotCount, JWW, RegionalFromLocale());
  }
  if (!ok) {
    const std::string msg = StrToUtf8(lst) + ": cannot write the list file";
    PyErr_SetString(PyExc_OSError, msg.c_str());
    throw py::error_already_set();
  }
}

// ---- comparing ---------------------------------------------------------------------------------

/// A private folder for the bound images of a drawing read to be compared, so that images are
/// compared by content; removed with them.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "dravik-diff-XXXXXX").string();
    if (!ec && ::mkdtemp(tmpl.data())) dir_ = tmpl;
  }
  ~ScratchFolder() {
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  void Use(TJwwData& d) const {
    if (dir_.empty()) return;
    d.BindImageFolder = Utf8ToStr(dir_ + "/");
    d.BindImageExp = true;
  }

 private:
  std::string dir_;
};

/// One entity (or block definition) that is not the same in both drawings.
struct Change {
  std::string status, kind, where, what;
  std::vector<std::string> changes;
  int beforeIndex = -1, afterIndex = -1;
  py::object before, after;
};

struct DiffResult {
  bool same = true;
  std::vector<std::string> header, images;
  std::vector<Change> entities;
  size_t unchanged = 0, removed = 0, added = 0, changed = 0, moved = 0;
};

/// The entity a comparison's reference names, as the drawing's sequences hand it out.
py::object EntityAt(const DrawingPtr& dr, const compare::EntityRef& ref) {
  if (ref.index < 0) return py::none();
  if (ref.kind == kEntBlockDef) {
    if (static_cast<size_t>(ref.index) >= Count(&dr->d->EntBlockDef, dr->d->EntBlockDefN)) return py::none();
    return py::cast(Definition{Owner{dr, ref.index}});
  }
  const Owner o{dr, ref.def};
  auto pick = [&](auto tag) -> py::object {
    using T = decltype(tag);
    auto [v, n] = o.List<T>();
    if (static_cast<size_t>(ref.index) >= Count(v, n)) return py::none();
    return Wrap(o, (*v)[static_cast<size_t>(ref.index)]);
  };
  switch (ref.kind) {
    case kEntLine: return pick(TEntJwwLine{});
    case kEntEnko: return pick(TEntJwwEnko{});
    case kEntTen: return pick(TEntJwwTen{});
    case kEntMoji: return pick(TEntJwwMoji{});
    case kEntSunpo: return pick(TEntJwwSunpo{});
    case kEntSolid: return pick(TEntJwwSolid{});
    case kEntBlock: return pick(TEntJwwBlock{});
    default: return py::none();
  }
}

/// A drawing to compare: a Drawing as it is, or a path read whole with its images in `images`.
DrawingPtr DrawingToCompare(const py::object& x, const ScratchFolder& images) {
  if (py::isinstance<Drawing>(x)) return x.cast<DrawingPtr>();
  auto dr = std::make_shared<Drawing>();
  const string name = PathArg(x);
  images.Use(*dr->d);
  bool ok;
  {
    py::gil_scoped_release nogil;
    ok = dr->d->FileIn(name);
  }
  if (!ok) {
    const TJwwError& e = dr->d->LastError();
    RaiseDrawingError(StrToUtf8(name), e.message.empty() ? "cannot read the drawing" : e.message, e.offset);
  }
  return dr;
}

DiffResult Diff(const py::object& a, const py::object& b, double tolerance, const std::optional<py::object>& out,
                double dpi, const std::string& fit, std::optional<int64_t> budget) {
  if (!(tolerance > 0) || !std::isfinite(tolerance)) throw py::value_error("tolerance must be a positive finite number");
  string outPath;
  std::string outBytes;
  std::optional<ExportHow> how;
  if (out && !out->is_none()) {
    outPath = PathArg(*out);
    outBytes = NativePath(outPath);
    how = MakeHow(outBytes, dpi, std::nullopt, "colour", false, fit, budget);
    if (how->format == "dxf") throw py::value_error("the change picture is .pdf, .svg or .png");
  }
  ScratchFolder imagesA, imagesB;
  const DrawingPtr da = DrawingToCompare(a, imagesA), db = DrawingToCompare(b, imagesB);
  compare::Result r;
  ExportOutcome picture;
  {
    py::gil_scoped_release nogil;
    std::unique_lock<std::mutex> la(da->lock), lb;
    if (db != da) lb = std::unique_lock<std::mutex>(db->lock);
    da->Settle();
    db->Settle();
    compare::Options opt;
    opt.tolerance = tolerance;
    r = compare::Compare(*da->d, *db->d, opt);
    if (how) picture = ExportScene(compare::ChangeDrawing(*da->d, *db->d, r), outPath, *how);
  }
  if (how && !picture.ok) RaiseExportFailure(outBytes, *how, picture);
  DiffResult d;
  d.same = r.Same();
  d.header = std::move(r.header);
  d.images = std::move(r.images);
  d.unchanged = r.unchanged, d.removed = r.removed, d.added = r.added, d.changed = r.changed, d.moved = r.moved;
  d.entities.reserve(r.entities.size());
  for (compare::EntityChange& e : r.entities) {
    Change c;
    c.status = e.status == compare::Status::Removed ? "removed"
               : e.status == compare::Status::Added ? "added"
               : e.status == compare::Status::Moved ? "moved"
                                                    : "changed";
    c.kind = compare::KindLabel(e.kind);
    c.where = std::move(e.where);
    c.what = std::move(e.what);
    c.changes = std::move(e.changes);
    c.beforeIndex = e.before.index;
    c.afterIndex = e.after.index;
    {
      std::unique_lock<std::mutex> la(da->lock), lb;
      if (db != da) lb = std::unique_lock<std::mutex>(db->lock);
      c.before = EntityAt(da, e.before);
      c.after = EntityAt(db, e.after);
    }
    d.entities.push_back(std::move(c));
  }
  return d;
}

// ---- binding helpers -----------------------------------------------------------------------------

template <class C>
void AttrProps(C& c) {
  using T = typename C::type;
  c.def_property_readonly("layer", [](const T& e) { return std::pair<int, int>(e.att.nGLayer, e.att.nLayer); },
                          "(layer group, layer): nGLayer, nLayer")
      .def_property_readonly("color", [](const T& e) { return e.att.nPenColor; }, "Pen colour: nPenColor")
      .def_property_readonly("line_type", [](const T& e) { return e.att.nPenStyle; }, "Line type: nPenStyle")
      .def_property_readonly("pen_width", [](const T& e) { return e.att.nPenWidth; }, "Pen width: nPenWidth")
      .def_property_readonly("tag", [](const T& e) { return e.att.lGroup; }, "Curve/group tag: lGroup")
      .def_property_readonly("flags", [](const T& e) { return e.att.sFlg; }, "Flag word: sFlg");
}

template <class T>
py::class_<Seq<T>> BindSeq(py::module_& m, const char* name) {
  return py::class_<Seq<T>>(m, name)
      .def("__len__", &Seq<T>::Len)
      .def("__getitem__", &Seq<T>::At)
      .def("__iter__", [](const Seq<T>& s) {
        py::list l;
        for (size_t i = 0; i < s.Len(); ++i) l.append(s.At(static_cast<py::ssize_t>(i)));
        return py::iter(l);
      })
      .def_property_readonly("layers", &LayerColumns<T>, "N x 2 int32: (layer group, layer) of each entity")
      .def_property_readonly("colors", &ColorColumn<T>, "N int32: pen colour of each entity");
}


struct Block {
  DrawingPtr dr;
  Integer bdn;
  std::string name;
};

template <class C, class GetTarget>
void BindAdders(C& c, GetTarget tg) {
  using Self = typename C::type;
  using LayerT = std::pair<int, int>;
  const LayerT L0{0, 0};
  c.def(
       "add_line",
       [tg](Self& s, double x1, double y1, double x2, double y2, LayerT layer, int color, int line_type,
            int pen_width, int flags, int tag) {
         Target t = tg(s);
         AddLine(t, x1, y1, x2, y2, layer, color, line_type, pen_width, flags, tag);
       },
       py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"), py::kw_only(), py::arg("layer") = L0,
       py::arg("color") = 1, py::arg("line_type") = 1, py::arg("pen_width") = 0, py::arg("flags") = 0,
       py::arg("tag") = 0, "Adds a line (AddEntLine).")
      .def(
          "add_arc",
          [tg](Self& s, double cx, double cy, double r, double start, double sweep, double flatness, double tilt,
               std::optional<bool> full, LayerT layer, int color, int line_type, int pen_width, int flags, int tag) {
            Target t = tg(s);
            AddArc(t, cx, cy, r, start, sweep, flatness, tilt, full, layer, color, line_type, pen_width, flags, tag);
          },
          py::arg("cx"), py::arg("cy"), py::arg("radius"), py::arg("start") = 0.0, py::arg("sweep") = 360.0,
          py::kw_only(), py::arg("flatness") = 1.0, py::arg("tilt") = 0.0, py::arg("full") = py::none(),
          py::arg("layer") = L0, py::arg("color") = 1, py::arg("line_type") = 1, py::arg("pen_width") = 0,
          py::arg("flags") = 0, py::arg("tag") = 0,
          "Adds an arc, circle or ellipse (AddEntArc); angles in degrees. A sweep of 360 or more makes a\n"
          "full circle unless full= says otherwise.")
      .def(
          "add_point",
          [tg](Self& s, double x, double y, int code, double angle, double scale, LayerT layer, int color,
               int pen_width, int flags, int tag) {
            Target t = tg(s);
            AddPoint(t, x, y, code, angle, scale, layer, color, pen_width, flags, tag);
          },
          py::arg("x"), py::arg("y"), py::kw_only(), py::arg("code") = 0, py::arg("angle") = 0.0,
          py::arg("scale") = 1.0, py::arg("layer") = L0, py::arg("color") = 1, py::arg("pen_width") = 0,
          py::arg("flags") = 0, py::arg("tag") = 0, "Adds a point (AddEntTen); code is the point mark (-7..11).")
      .def(
          "add_text",
          [tg](Self& s, const std::string& text, double x, double y, std::pair<double, double> size, double spacing,
               double angle, int base_point, int text_type, const std::string& font, bool vertical,
               std::optional<std::pair<double, double>> end, LayerT layer, int color, int pen_width, int flags,
               int tag) {
            Target t = tg(s);
            AddText(t, text, x, y, size, spacing, angle, base_point, text_type, font, vertical, end, layer, color,
                    pen_width, flags, tag);
          },
          py::arg("text"), py::arg("x"), py::arg("y"), py::kw_only(),
          py::arg("size") = std::pair<double, double>(3.0, 3.0), py::arg("spacing") = 0.0, py::arg("angle") = 0.0,
          py::arg("base_point") = 1, py::arg("text_type") = 0, py::arg("font") = "", py::arg("vertical") = false,
          py::arg("end") = py::none(), py::arg("layer") = L0, py::arg("color") = 1, py::arg("pen_width") = 0,
          py::arg("flags") = 0, py::arg("tag") = 0,
          "Adds a text (AddEntMoji) whose base point (1..9) lies at (x, y), or between (x, y) and end.\n"
          "text_type 1..10 takes size, spacing and colour from the drawing's text types.")
      .def(
          "add_dimension",
          [tg](Self& s, double x1, double y1, double x2, double y2, const std::string& text, std::optional<Pt> at,
               std::optional<std::pair<Pt, Pt>> text_ends, std::pair<double, double> size, double spacing,
               double angle, int base_point, int text_type, const std::string& font, int text_color,
               std::optional<std::pair<Pt, Pt>> refs,
               std::optional<std::pair<std::pair<Pt, Pt>, std::pair<Pt, Pt>>> aux_lines, double gap,
               double overshoot, int end_marks, int end_code, int ref_code, LayerT layer, int color, int line_type,
               int pen_width, int flags, int tag) {
            Target t = tg(s);
            AddDimension(t, x1, y1, x2, y2, text, at, text_ends, size, spacing, angle, base_point, text_type, font,
                         text_color, refs, aux_lines, gap, overshoot, end_marks, end_code, ref_code, layer, color,
                         line_type, pen_width, flags, tag);
          },
          py::arg("x1"), py::arg("y1"), py::arg("x2"), py::arg("y2"), py::arg("text"), py::kw_only(),
          py::arg("at") = py::none(), py::arg("text_ends") = py::none(),
          py::arg("size") = std::pair<double, double>(3.0, 3.0), py::arg("spacing") = 0.0, py::arg("angle") = 0.0,
          py::arg("base_point") = 1, py::arg("text_type") = 0, py::arg("font") = "", py::arg("text_color") = 1,
          py::arg("refs") = py::none(), py::arg("aux_lines") = py::none(), py::arg("gap") = 0.0,
          py::arg("overshoot") = 0.0, py::arg("end_marks") = 0, py::arg("end_code") = 0, py::arg("ref_code") = 0,
          py::arg("layer") = L0, py::arg("color") = 1, py::arg("line_type") = 1, py::arg("pen_width") = 0,
          py::arg("flags") = 0, py::arg("tag") = 0,
          "Adds a dimension (AddEntSunpo): the dimension line from (x1, y1) to (x2, y2) and its text at\n"
          "at=(x, y) or between text_ends=((x, y), (x, y)). refs=((x, y), (x, y)) adds reference points\n"
          "with auxiliary lines derived from them (gap, overshoot) or given as aux_lines; end_marks 1\n"
          "(outward) or 2 (inward) adds end points of mark end_code.")
      .def(
          "add_solid",
          [tg](Self& s, std::vector<Pt> corners, int fill_rgb, LayerT layer, int color, int line_type,
               int pen_width, int flags, int tag) {
            Target t = tg(s);
            AddSolid(t, std::move(corners), fill_rgb, layer, color, line_type, pen_width, flags, tag);
          },
          py::arg("corners"), py::kw_only(), py::arg("fill_rgb") = 0, py::arg("layer") = L0, py::arg("color") = 1,
          py::arg("line_type") = 1, py::arg("pen_width") = 0, py::arg("flags") = 0, py::arg("tag") = 0,
          "Adds a solid (AddEntSolid) of 2 (a rectangle's opposite corners), 3 or 4 corners; fill_rgb is\n"
          "its own colour (0xBBGGRR as the drawing keeps it), used when color is 10.")
      .def(
          "add_disc",
          [tg](Self& s, double cx, double cy, double r, double flatness, double tilt, std::optional<double> start,
               std::optional<double> sweep, std::optional<double> inner, int form, int fill_rgb, LayerT layer,
               int color, int pen_width, int flags, int tag) {
            Target t = tg(s);
            AddDisc(t, cx, cy, r, flatness, tilt, start, sweep, inner, form, fill_rgb, layer, color, pen_width,
                    flags, tag);
          },
          py::arg("cx"), py::arg("cy"), py::arg("radius"), py::kw_only(), py::arg("flatness") = 1.0,
          py::arg("tilt") = 0.0, py::arg("start") = py::none(), py::arg("sweep") = py::none(),
          py::arg("inner") = py::none(), py::arg("form") = 0, py::arg("fill_rgb") = 0, py::arg("layer") = L0,
          py::arg("color") = 1, py::arg("pen_width") = 0, py::arg("flags") = 0, py::arg("tag") = 0,
          "Adds a filled circle, ellipse or sector (AddEntSolidA), a curved solid when form is 1..3\n"
          "(AddEntSolidC) or a ring of inner radius inner (AddEntSolidD).")
      .def(
          "insert",
          [tg](Self& s, const std::string& name, double x, double y, double angle, std::pair<double, double> scale,
               LayerT layer, int color, int line_type, int pen_width, int flags, int tag) {
            Target t = tg(s);
            Insert(t, name, x, y, angle, scale, layer, color, line_type, pen_width, flags, tag);
          },
          py::arg("name"), py::arg("x"), py::arg("y"), py::kw_only(), py::arg("angle") = 0.0,
          py::arg("scale") = std::pair<double, double>(1.0, 1.0), py::arg("layer") = L0, py::arg("color") = 1,
          py::arg("line_type") = 1, py::arg("pen_width") = 0, py::arg("flags") = 0, py::arg("tag") = 0,
          "Inserts the block definition `name` at (x, y) (AddEntBlock); angle in degrees.");
}

template <class C>
void BindKinds(C& c) {
  using Self = typename C::type;
  c.def_property_readonly("lines", [](const Self& s) { return Seq<TEntJwwLine>{s.o}; }, "Lines (EntLine)")
      .def_property_readonly("arcs", [](const Self& s) { return Seq<TEntJwwEnko>{s.o}; }, "Arcs (EntEnko)")
      .def_property_readonly("points", [](const Self& s) { return Seq<TEntJwwTen>{s.o}; }, "Points (EntTen)")
      .def_property_readonly("texts", [](const Self& s) { return Seq<TEntJwwMoji>{s.o}; }, "Texts (EntMoji)")
      .def_property_readonly("dimensions", [](const Self& s) { return Seq<TEntJwwSunpo>{s.o}; },
                             "Dimensions (EntSunpo)")
      .def_property_readonly("solids", [](const Self& s) { return Seq<TEntJwwSolid>{s.o}; }, "Solids (EntSolid)")
      .def_property_readonly("insertions", [](const Self& s) { return Seq<TEntJwwBlock>{s.o}; },
                             "Block insertions (EntBlock)")
      .def_property_readonly("entities", [](const Self& s) { return EntitiesOf(s.o); },
                             "Every entity in drawing order (EntNo)");
}


}  // namespace

PYBIND11_MODULE(dravik, m) {
  m.attr("__version__") = DRAVIK_VERSION;
  m.doc() =
      "Drawings (.jww) read, built, written and exported with Dravik's library.\n\n"
      "    d = dravik.read('plan.jww')\n"
      "    len(d.lines), d.lines.xy, d.layer_groups[0].layers[1].name\n"
      "    d.export('plan.pdf')\n";

  static py::exception<DrawingErrorTag> drawingError(m, "DrawingError");
  g_DrawingError = drawingError;
  m.attr("DrawingError").attr("__doc__") =
      "A drawing could not be read: .reason (the library's reason), .offset (byte offset), .path.";
  static py::exception<PictureErrorTag> pictureError(m, "PictureError", PyExc_ValueError);
  g_PictureError = pictureError;
  m.attr("PictureError").attr("__doc__") =
      "A picture was refused before anything was written: .over_budget (it would take more than\n"
      ".budget items of work), .too_many_pixels (a PNG of more than 2^28 .pixels; .max_dpi is the\n"
      "largest resolution that fits), .path.";

  // Entities -------------------------------------------------------------------------------------
  auto line = py::class_<TEntJwwLine>(m, "Line", "A line (TEntJwwLine).");
  AttrProps(line);
  line.def_readonly("x1", &TEntJwwLine::start_x, "start_x")
      .def_readonly("y1", &TEntJwwLine::start_y, "start_y")
      .def_readonly("x2", &TEntJwwLine::end_x, "end_x")
      .def_readonly("y2", &TEntJwwLine::end_y, "end_y")
      .def("__repr__", [](const TEntJwwLine& l) {
        return "Line(" + std::to_string(l.start_x) + ", " + std::to_string(l.start_y) + ", " +
               std::to_string(l.end_x) + ", " + std::to_string(l.end_y) + ")";
      });

  auto arc = py::class_<TEntJwwEnko>(m, "Arc", "An arc, circle or ellipse (TEntJwwEnko); angles in radians.");
  AttrProps(arc);
  arc.def_readonly("cx", &TEntJwwEnko::start_x, "Centre: start_x")
      .def_readonly("cy", &TEntJwwEnko::start_y, "Centre: start_y")
      .def_readonly("radius", &TEntJwwEnko::dHankei, "dHankei")
      .def_readonly("start", &TEntJwwEnko::radKaishiKaku, "Start angle: radKaishiKaku")
      .def_readonly("sweep", &TEntJwwEnko::radEnkoKaku, "Swept angle: radEnkoKaku")
      .def_readonly("tilt", &TEntJwwEnko::radKatamukiKaku, "radKatamukiKaku")
      .def_readonly("flatness", &TEntJwwEnko::dHenpeiRitsu, "dHenpeiRitsu")
      .def_property_readonly("full", [](const TEntJwwEnko& a) { return a.bZenEnFlg != 0; }, "bZenEnFlg")
      .def("__repr__", [](const TEntJwwEnko& a) {
        return "Arc(" + std::to_string(a.start_x) + ", " + std::to_string(a.start_y) + ", r=" +
               std::to_string(a.dHankei) + ")";
      });

  auto point = py::class_<TEntJwwTen>(m, "Point", "A point (TEntJwwTen).");
  AttrProps(point);
  point.def_readonly("x", &TEntJwwTen::start_x, "start_x")
      .def_readonly("y", &TEntJwwTen::start_y, "start_y")
      .def_property_readonly("temporary", [](const TEntJwwTen& t) { return t.bKariten != 0; }, "bKariten")
      .def_readonly("code", &TEntJwwTen::nCode, "nCode")
      .def_readonly("angle", &TEntJwwTen::radKaitenKaku, "radKaitenKaku")
      .def_readonly("scale", &TEntJwwTen::dBairitsu, "dBairitsu")
      .def("__repr__", [](const TEntJwwTen& t) {
        return "Point(" + std::to_string(t.start_x) + ", " + std::to_string(t.start_y) + ")";
      });

  auto text = py::class_<TEntJwwMoji>(m, "Text", "A text (TEntJwwMoji).");
  AttrProps(text);
  text.def_readonly("x1", &TEntJwwMoji::start_x, "start_x")
      .def_readonly("y1", &TEntJwwMoji::start_y, "start_y")
      .def_readonly("x2", &TEntJwwMoji::end_x, "end_x")
      .def_readonly("y2", &TEntJwwMoji::end_y, "end_y")
      .def_readonly("text_type", &TEntJwwMoji::nMojiShu, "nMojiShu")
      .def_readonly("width", &TEntJwwMoji::dSizeX, "Character width: dSizeX")
      .def_readonly("height", &TEntJwwMoji::dSizeY, "Character height: dSizeY")
      .def_readonly("spacing", &TEntJwwMoji::dKankaku, "dKankaku")
      .def_readonly("angle", &TEntJwwMoji::degKakudo, "Degrees: degKakudo")
      .def_property_readonly("font", [](const TEntJwwMoji& t) { return Py(t.strFontName); }, "strFontName")
      .def_property_readonly("text", [](const TEntJwwMoji& t) { return Py(t.str); }, "str")
      .def("__repr__", [](const TEntJwwMoji& t) { return "Text(" + StrToUtf8(t.str) + ")"; });

  auto dim = py::class_<TEntJwwSunpo>(m, "Dimension", "A dimension (TEntJwwSunpo) and its parts.");
  AttrProps(dim);
  dim.def_readonly("line", &TEntJwwSunpo::Sen, "The dimension line: Sen")
      .def_readonly("text", &TEntJwwSunpo::Moji, "The dimension's text: Moji")
      .def_readonly("sxf_mode", &TEntJwwSunpo::bSxfMode, "bSxfMode")
      .def_property_readonly("aux_lines", [](const TEntJwwSunpo& s) { return py::make_tuple(s.Ho1, s.Ho2); },
                             "Auxiliary lines: (Ho1, Ho2)")
      .def_property_readonly("end_points", [](const TEntJwwSunpo& s) { return py::make_tuple(s.Te1, s.Te2); },
                             "End points: (Te1, Te2)")
      .def_property_readonly("ref_points", [](const TEntJwwSunpo& s) { return py::make_tuple(s.Kt1, s.Kt2); },
                             "Reference points: (Kt1, Kt2)")
      .def("__repr__", [](const TEntJwwSunpo& s) { return "Dimension(" + StrToUtf8(s.Moji.str) + ")"; });

  auto solid = py::class_<TEntJwwSolid>(m, "Solid", "A solid (TEntJwwSolid).");
  AttrProps(solid);
  solid
      .def_property_readonly("corners",
                             [](const TEntJwwSolid& s) {
                               return py::make_tuple(py::make_tuple(s.start_x, s.start_y),
                                                     py::make_tuple(s.end_x, s.end_y),
                                                     py::make_tuple(s.DPoint2_x, s.DPoint2_y),
                                                     py::make_tuple(s.DPoint3_x, s.DPoint3_y));
                             },
                             "((start_x, start_y), (end_x, end_y), (DPoint2_x, DPoint2_y), (DPoint3_x, DPoint3_y))")
      .def_readonly("fill_rgb", &TEntJwwSolid::Color, "Own colour: Color")
      .def("__repr__", [](const TEntJwwSolid&) { return std::string("Solid()"); });

  auto ins = py::class_<Insertion>(m, "Insertion", "A block insertion (TEntJwwBlock).");
  ins.def_property_readonly("layer", [](const Insertion& e) { return std::pair<int, int>(e.rec.att.nGLayer, e.rec.att.nLayer); })
      .def_property_readonly("color", [](const Insertion& e) { return e.rec.att.nPenColor; })
      .def_property_readonly("line_type", [](const Insertion& e) { return e.rec.att.nPenStyle; })
      .def_property_readonly("pen_width", [](const Insertion& e) { return e.rec.att.nPenWidth; })
      .def_property_readonly("tag", [](const Insertion& e) { return e.rec.att.lGroup; })
      .def_property_readonly("flags", [](const Insertion& e) { return e.rec.att.sFlg; })
      .def_property_readonly("x", [](const Insertion& e) { return e.rec.DPKijunTen_x; }, "DPKijunTen_x")
      .def_property_readonly("y", [](const Insertion& e) { return e.rec.DPKijunTen_y; }, "DPKijunTen_y")
      .def_property_readonly("scale_x", [](const Insertion& e) { return e.rec.dBairitsuX; }, "dBairitsuX")
      .def_property_readonly("scale_y", [](const Insertion& e) { return e.rec.dBairitsuY; }, "dBairitsuY")
      .def_property_readonly("angle", [](const Insertion& e) { return e.rec.radKaitenKaku; }, "Radians: radKaitenKaku")
      .def_property_readonly("number", [](const Insertion& e) { return e.rec.nNumber; }, "Definition number: nNumber")
      .def_property_readonly("name", [](const Insertion& e) { return Py(e.name); },
                             "The placed definition's name ('' when the drawing has none of that number)")
      .def("__repr__", [](const Insertion& e) { return "Insertion(" + StrToUtf8(e.name) + ")"; });

  // Sequences --------------------------------------------------------------------------------------
  BindSeq<TEntJwwLine>(m, "Lines").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwLine>& s) {
        return Columns(s, 4, [](const TEntJwwLine& l, double* o) {
          o[0] = l.start_x, o[1] = l.start_y, o[2] = l.end_x, o[3] = l.end_y;
        });
      },
      "N x 4: x1, y1, x2, y2 of each line");
  BindSeq<TEntJwwEnko>(m, "Arcs").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwEnko>& s) {
        return Columns(s, 7, [](const TEntJwwEnko& a, double* o) {
          o[0] = a.start_x, o[1] = a.start_y, o[2] = a.dHankei, o[3] = a.radKaishiKaku, o[4] = a.radEnkoKaku,
          o[5] = a.radKatamukiKaku, o[6] = a.dHenpeiRitsu;
        });
      },
      "N x 7: cx, cy, radius, start, sweep, tilt, flatness of each arc");
  BindSeq<TEntJwwTen>(m, "Points").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwTen>& s) {
        return Columns(s, 2, [](const TEntJwwTen& t, double* o) { o[0] = t.start_x, o[1] = t.start_y; });
      },
      "N x 2: x, y of each point");
  BindSeq<TEntJwwMoji>(m, "Texts").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwMoji>& s) {
        return Columns(s, 4, [](const TEntJwwMoji& t, double* o) {
          o[0] = t.start_x, o[1] = t.start_y, o[2] = t.end_x, o[3] = t.end_y;
        });
      },
      "N x 4: x1, y1, x2, y2 of each text");
  BindSeq<TEntJwwSunpo>(m, "Dimensions").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwSunpo>& s) {
        return Columns(s, 4, [](const TEntJwwSunpo& d, double* o) {
          o[0] = d.Sen.start_x, o[1] = d.Sen.start_y, o[2] = d.Sen.end_x, o[3] = d.Sen.end_y;
        });
      },
      "N x 4: x1, y1, x2, y2 of each dimension line");
  BindSeq<TEntJwwSolid>(m, "Solids").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwSolid>& s) {
        return Columns(s, 8, [](const TEntJwwSolid& d, double* o) {
          o[0] = d.start_x, o[1] = d.start_y, o[2] = d.end_x, o[3] = d.end_y;
          o[4] = d.DPoint2_x, o[5] = d.DPoint2_y, o[6] = d.DPoint3_x, o[7] = d.DPoint3_y;
        });
      },
      "N x 8: the four corners of each solid");
  BindSeq<TEntJwwBlock>(m, "Insertions").def_property_readonly(
      "xy",
      [](const Seq<TEntJwwBlock>& s) {
        return Columns(s, 5, [](const TEntJwwBlock& b, double* o) {
          o[0] = b.DPKijunTen_x, o[1] = b.DPKijunTen_y, o[2] = b.dBairitsuX, o[3] = b.dBairitsuY,
          o[4] = b.radKaitenKaku;
        });
      },
      "N x 5: x, y, scale_x, scale_y, angle of each insertion");

  // Definitions ------------------------------------------------------------------------------------
  auto def = py::class_<Definition>(m, "Definition", "A block definition (TEntJwwBlockDef).");
  BindKinds(def);
  def.def_property_readonly("name", [](const Definition& d) { return Py(ShownName(d.o.Def()->strName)); },
                            "The name, without the drawing's decoration")
      .def_property_readonly("stored_name", [](const Definition& d) { return Py(d.o.Def()->strName); }, "strName")
      .def_property_readonly("number", [](const Definition& d) { return d.o.Def()->nNumber; }, "nNumber")
      .def("__repr__", [](const Definition& d) { return "Definition(" + StrToUtf8(d.o.Def()->strName) + ")"; });

  py::class_<Definitions>(m, "Definitions", "The drawing's block definitions by name or index.")
      .def("__len__", &Definitions::Len)
      .def("__getitem__",
           [](const Definitions& s, const py::object& key) {
             Integer i;
             if (py::isinstance<py::int_>(key)) {
               py::ssize_t k = key.cast<py::ssize_t>();
               if (k < 0) k += static_cast<py::ssize_t>(s.Len());
               if (k < 0 || k >= static_cast<py::ssize_t>(s.Len())) throw py::index_error("definition index out of range");
               i = static_cast<Integer>(k);
             } else {
               if (!py::isinstance<py::str>(key)) throw py::type_error("a definition is found by its name or index");
               i = FindDefinition(*s.dr->d, U16(key.cast<std::string>()));
               if (i < 0) throw py::key_error(key.cast<std::string>());
             }
             return Definition{Owner{s.dr, i}};
           })
      .def("__contains__",
           [](const Definitions& s, const std::string& name) { return FindDefinition(*s.dr->d, U16(name)) >= 0; })
      .def("keys",
           [](const Definitions& s) {
             py::list l;
             for (size_t i = 0; i < s.Len(); ++i) l.append(Py(ShownName(s.dr->d->EntBlockDef[i].strName)));
             return l;
           })
      .def("__iter__", [](const Definitions& s) {
        py::list l;
        for (size_t i = 0; i < s.Len(); ++i) l.append(Py(ShownName(s.dr->d->EntBlockDef[i].strName)));
        return py::iter(l);
      });

  // Layers -------------------------------------------------------------------------------------------
  struct Layer {
    DrawingPtr dr;
    int g, l;
    /// The layer's record; an empty one when the drawing holds fewer layers than 16 x 16.
    const TEntJwwLayer& Rec() const {
      static const TEntJwwLayer kNone;
      const size_t i = static_cast<size_t>(g * 16 + l);
      return i < dr->d->EntLay.size() ? dr->d->EntLay[i] : kNone;
    }
  };
  struct LayerGroup {
    DrawingPtr dr;
    int g;
  };
  py::class_<Layer>(m, "Layer", "A layer (TEntJwwLayer).")
      .def_property_readonly("name", [](const Layer& l) { return Py(l.Rec().aStrLayName); },
                             "aStrLayName")
      .def_property_readonly("state", [](const Layer& l) { return l.Rec().aanLay; },
                             "aanLay")
      .def_property_readonly("protect", [](const Layer& l) { return l.Rec().aanLayProtect; },
                             "aanLayProtect")
      .def("__repr__", [](const Layer& l) { return "Layer(" + std::to_string(l.g) + ", " + std::to_string(l.l) + ")"; });
  py::class_<LayerGroup>(m, "LayerGroup", "A layer group (TEntJwwLayerGroup).")
      .def_property_readonly("name", [](const LayerGroup& g) { return Py(g.dr->d->EntLgrp[static_cast<size_t>(g.g)].aStrGLayName); },
                             "aStrGLayName")
      .def_property_readonly("scale", [](const LayerGroup& g) { return g.dr->d->EntLgrp[static_cast<size_t>(g.g)].adScale; },
                             "Scale denominator: adScale")
      .def_property_readonly("state", [](const LayerGroup& g) { return g.dr->d->EntLgrp[static_cast<size_t>(g.g)].anGLay; },
                             "anGLay")
      .def_property_readonly("write_layer", [](const LayerGroup& g) { return g.dr->d->EntLgrp[static_cast<size_t>(g.g)].anWriteLay; },
                             "anWriteLay")
      .def_property_readonly("protect", [](const LayerGroup& g) { return g.dr->d->EntLgrp[static_cast<size_t>(g.g)].anGLayProtect; },
                             "anGLayProtect")
      .def_property_readonly("layers", [](const LayerGroup& g) {
        std::vector<Layer> v;
        for (int l = 0; l < 16; ++l) v.push_back({g.dr, g.g, l});
        return v;
      }, "The group's 16 layers");

  // The drawing --------------------------------------------------------------------------------------
  auto drawing = py::class_<Drawing, DrawingPtr>(m, "Drawing", "A drawing (TJwwData).");
  drawing.def_static("new", [] {
    auto dr = std::make_shared<Drawing>();
    dr->d->DataDefaultSet();
    return dr;
  }, "An empty drawing with the settings of a new drawing (DataDefaultSet).");
  drawing
      .def_property_readonly("version", [](const Drawing& d) { return d.d->Enthd.jwVer; }, "Format version: jwVer")
      .def_property_readonly("memo", [](const Drawing& d) { return Py(d.d->Enthd.strMemo); }, "strMemo")
      .def_property_readonly("paper", [](const Drawing& d) { return Py(PaperLabel(d.d->Enthd.nZumen)); },
                             "Paper label ('A3', ...; '' for codes without one): nZumen")
      .def_property_readonly("paper_code", [](const Drawing& d) { return d.d->Enthd.nZumen; }, "nZumen")
      .def_property_readonly("paper_size", [](const Drawing& d) {
        Double w, h;
        d.d->GetPaperSize(w, h);
        return std::pair<double, double>(w, h);
      }, "(width, height) of the paper in millimetres")
      .def_property_readonly("scales", [](const Drawing& d) {
        std::vector<double> v;
        for (const auto& g : d.d->EntLgrp) v.push_back(g.adScale);
        return v;
      }, "The 16 layer groups' scale denominators (adScale)")
      .def_property_readonly("layer_groups", [](const DrawingPtr& d) {
        std::vector<LayerGroup> v;
        for (int g = 0; g < static_cast<int>(std::min<size_t>(16, d->d->EntLgrp.size())); ++g) v.push_back({d, g});
        return v;
      }, "The 16 layer groups")
      .def_property_readonly("definitions", [](const DrawingPtr& d) { return Definitions{d}; },
                             "Block definitions by name or index (EntBlockDef)")
      .def_property_readonly("lines", [](const DrawingPtr& d) { return Seq<TEntJwwLine>{{d, -1}}; }, "Lines (EntLine)")
      .def_property_readonly("arcs", [](const DrawingPtr& d) { return Seq<TEntJwwEnko>{{d, -1}}; }, "Arcs (EntEnko)")
      .def_property_readonly("points", [](const DrawingPtr& d) { return Seq<TEntJwwTen>{{d, -1}}; }, "Points (EntTen)")
      .def_property_readonly("texts", [](const DrawingPtr& d) { return Seq<TEntJwwMoji>{{d, -1}}; }, "Texts (EntMoji)")
      .def_property_readonly("dimensions", [](const DrawingPtr& d) { return Seq<TEntJwwSunpo>{{d, -1}}; },
                             "Dimensions (EntSunpo)")
      .def_property_readonly("solids", [](const DrawingPtr& d) { return Seq<TEntJwwSolid>{{d, -1}}; },
                             "Solids (EntSolid)")
      .def_property_readonly("insertions", [](const DrawingPtr& d) { return Seq<TEntJwwBlock>{{d, -1}}; },
                             "Block insertions (EntBlock)")
      .def_property_readonly("entities", [](const DrawingPtr& d) { return EntitiesOf(Owner{d, -1}); },
                             "Every entity in drawing order (EntNo)")
      .def("write", &Write, py::arg("path"), py::kw_only(), py::arg("version") = 600,
           "Writes the drawing as format version 220..700 (FileOut); OSError when it cannot be written.")
      .def("export", &Export, py::arg("path"), py::kw_only(), py::arg("dpi") = 150.0,
           py::arg("format") = py::none(), py::arg("colour") = "drawing", py::arg("aux") = false,
           py::arg("fit") = "paper", py::arg("budget") = py::none(),
           "Exports the drawing's scene as PDF, SVG, PNG (at dpi) or DXF, by the path's extension or\n"
           "format=. colour: 'drawing' (its own colour printing), 'colour' or 'mono'; aux draws the\n"
           "auxiliary lines too; fit: 'paper' (the whole paper) or 'drawing' (the drawn content plus a\n"
           "margin); budget: the most work a picture may take, in items (default 32,000,000).\n"
           "PictureError when a picture is refused (over the budget, too many pixels), nothing written;\n"
           "OSError with the system's reason when the file cannot be written.")
      .def(
          "define_block",
          [](const DrawingPtr& d, const std::string& name, int flag, std::pair<int, int> layer) {
            if (name.empty()) throw py::value_error("a block needs a name");
            if (FindDefinition(*d->d, U16(name)) >= 0) throw py::value_error("a block named '" + name + "' is already defined");
            if (!d->d->AddBlkDef(0, layer.first, layer.second, 1, 1, 0, 0, flag, U16(name)))
              throw py::value_error("the drawing refused the block definition");
            d->dirty = true;
            return Block{d, d->d->EntBlockDefN - 1, name};
          },
          py::arg("name"), py::kw_only(), py::arg("flag") = 4, py::arg("layer") = std::pair<int, int>(0, 0),
          "Defines an empty block (AddBlkDef) and returns it: add to it with the same add_* operations.");
  BindAdders(drawing, [](Drawing& s) { return Target{&s, -1}; });

  auto block = py::class_<Block>(m, "Block", "A block definition being built: add_* adds to it (AddBlk*).");
  block.def_property_readonly("name", [](const Block& b) { return b.name; });
  BindAdders(block, [](Block& b) { return Target{b.dr.get(), b.bdn}; });

  py::class_<Change>(m, "Change", "One entity or block definition that is not the same in both drawings.")
      .def_readonly("status", &Change::status, "'removed', 'added', 'changed' or 'moved'")
      .def_readonly("kind", &Change::kind,
                    "'line', 'arc', 'point', 'text', 'dimension', 'solid', 'block' or 'block definition'")
      .def_readonly("where", &Change::where, "'' for the drawing's own entities, else the block definition's name")
      .def_readonly("what", &Change::what, "The entity as it was (removed, changed) or is (added), in words")
      .def_readonly("changes", &Change::changes,
                    "For a change: one line per attribute, 'colour 1 \u2192 3'; for a move: 'moved by (5, 0)'")
      .def_readonly("before_index", &Change::beforeIndex, "Its index in the old drawing's list of its kind (-1: none)")
      .def_readonly("after_index", &Change::afterIndex, "Its index in the new drawing's list of its kind (-1: none)")
      .def_readonly("before", &Change::before, "The old entity (Line, Text, ..., Definition), None when added")
      .def_readonly("after", &Change::after, "The new entity, None when removed")
      .def("__repr__", [](const Change& c) { return "Change(" + c.status + " " + c.kind + ": " + c.what + ")"; });
  py::class_<DiffResult>(m, "Diff", "What changed from one drawing to another (compare::Result).")
      .def_readonly("same", &DiffResult::same, "True when nothing differs: header, entities and images")
      .def_readonly("header", &DiffResult::header, "The header's differences, 'layer group 2 scale 1/100 \u2192 1/50'")
      .def_readonly("entities", &DiffResult::entities, "The entities and definitions removed, added or changed")
      .def_readonly("images", &DiffResult::images, "The bound images' differences")
      .def_readonly("unchanged", &DiffResult::unchanged, "Entities and definitions the same in both")
      .def_readonly("removed", &DiffResult::removed)
      .def_readonly("added", &DiffResult::added)
      .def_readonly("changed", &DiffResult::changed)
      .def_readonly("moved", &DiffResult::moved, "Entities alike but for one translation")
      .def("__bool__", [](const DiffResult& d) { return !d.same; }, "True when the drawings differ")
      .def("__repr__", [](const DiffResult& d) {
        return d.same ? std::string("Diff(same)")
                      : "Diff(" + std::to_string(d.removed) + " removed, " + std::to_string(d.added) + " added, " +
                            std::to_string(d.changed) + " changed, " +
                            (d.moved ? std::to_string(d.moved) + " moved, " : std::string()) +
                            std::to_string(d.unchanged) + " unchanged, " +
                            std::to_string(d.header.size()) + " header, " + std::to_string(d.images.size()) +
                            " images)";
      });
  m.def("diff", &Diff, py::arg("a"), py::arg("b"), py::kw_only(), py::arg("tolerance") = 1e-6,
        py::arg("out") = py::none(), py::arg("dpi") = 150.0, py::arg("fit") = "paper", py::arg("budget") = py::none(),
        "Compares drawing a (old) with b (new), each a Drawing or a path (read whole, bound images\n"
        "compared by content): header values, entities in any order (matched within tolerance paper\n"
        "millimetres), block definitions by name, bound images. With out= also writes the change\n"
        "picture (.pdf, .svg, .png at dpi): unchanged grey, removed red, added blue, changed orange,\n"
        "moved purple.\n"
        "DrawingError for a path that is no drawing; PictureError or OSError as Drawing.export.");
  m.def("read", &Read, py::arg("path"), py::arg("budget") = py::none(),
        "Reads a drawing (FileIn), or with budget its first items as a preview (FilePrevIn).\n"
        "Raises DrawingError with the reason and byte offset when it cannot be read.");
  m.def("list_file", &ListFile, py::arg("paths"), py::kw_only(), py::arg("slots") = 10,
        py::arg("out") = "List.txt",
        "Writes the list file of the drawings `paths` with `slots` slots to `out`: the same bytes\n"
        "as dravik-list.");
}
