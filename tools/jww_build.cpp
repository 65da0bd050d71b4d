// jww build: a drawing made from a JSON recipe. Each item of the recipe is one construction call
// of the library, so its checks, corrections and derived geometry apply. A recipe is checked
// whole before anything is written: a wrong item gets one line naming it (its index and JSON
// path), exit status 2, and no output file.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <new>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>

#include "common/codepage.h"
#include "tools/jww_commands.h"

namespace jwwtool {

namespace {

using json = nlohmann::json;
using jww::Double;
using jww::Integer;
using jww::string;

struct RecipeError {
  std::string where;  // "item 3 at /items/3/to"
  std::string what;
};

struct Pt {
  Double x = 0, y = 0;
};

/// One JSON object of the recipe with the fields a reader took from it, so that fields nobody
/// reads (a misspelt name) are reported instead of silently ignored.
class Fields {
 public:
  Fields(const json& j, std::string pointer, std::string item) : j_(j), ptr_(std::move(pointer)), item_(std::move(item)) {
    if (!j_.is_object()) Fail("", "expected an object");
  }

  [[noreturn]] void Fail(const std::string& key, const std::string& what) const {
    const std::string p = key.empty() ? ptr_ : ptr_ + "/" + key;
    throw RecipeError{(item_.empty() ? "" : item_ + " at ") + (p.empty() ? "/" : p), what};
  }

  bool Has(const char* key) const { return j_.contains(key); }
  const json* Get(const char* key) {
    used_.insert(key);
    auto it = j_.find(key);
    return it == j_.end() ? nullptr : &*it;
  }

  Double Num(const char* key, std::optional<Double> def = std::nullopt) {
    const json* v = Get(key);
    if (!v) {
      if (!def) Fail(key, "missing number");
      return *def;
    }
    if (!v->is_number()) Fail(key, "expected a number");
    return v->get<Double>();
  }

  Integer Int(const char* key, std::optional<Integer> def = std::nullopt) {
    const json* v = Get(key);
    if (!v) {
      if (!def) Fail(key, "missing integer");
      return *def;
    }
    if (!v->is_number_integer()) Fail(key, "expected an integer");
    // A number past 2^63 is held unsigned and would wrap to a negative one through int64_t.
    if ((v->is_number_unsigned() && v->get<uint64_t>() > uint64_t{std::numeric_limits<Integer>::max()}) ||
        v->get<int64_t>() < std::numeric_limits<Integer>::min() || v->get<int64_t>() > std::numeric_limits<Integer>::max())
      Fail(key, "expected an integer from " + std::to_string(std::numeric_limits<Integer>::min()) + " to " +
                    std::to_string(std::numeric_limits<Integer>::max()));
    return static_cast<Integer>(v->get<int64_t>());
  }

  /// An integer setting that the drawing only holds within [lo, hi].
  Integer IntIn(const char* key, Integer lo, Integer hi) {
    const Integer v = Int(key);
    if (v < lo || v > hi) Fail(key, "expected " + std::to_string(lo) + " to " + std::to_string(hi));
    return v;
  }

  bool Bool(const char* key) {
    const json* v = Get(key);
    if (!v) return false;
    if (!v->is_boolean()) Fail(key, "expected true or false");
    return v->get<bool>();
  }

  string Str(const char* key, std::optional<std::string> def = std::nullopt) {
    const json* v = Get(key);
    if (!v) {
      if (!def) Fail(key, "missing text");
      return jww::Utf8ToStr(*def);
    }
    if (!v->is_string()) Fail(key, "expected a text");
    return jww::Utf8ToStr(v->get<std::string>());
  }

  static bool IsPoint(const json& v) { return v.is_array() && v.size() == 2 && v[0].is_number() && v[1].is_number(); }

  Pt Point(const char* key) {
    const json* v = Get(key);
    if (!v) Fail(key, "missing point [x, y]");
    if (!IsPoint(*v)) Fail(key, "expected a point [x, y]");
    return {(*v)[0].get<Double>(), (*v)[1].get<Double>()};
  }

  std::vector<Pt> Points(const char* key, size_t lo, size_t hi) {
    const json* v = Get(key);
    if (!v) Fail(key, "missing list of points");
    if (!v->is_array() || v->size() < lo || v->size() > hi)
      Fail(key, "expected " + std::to_string(lo) + (lo == hi ? "" : " to " + std::to_string(hi)) + " points");
    std::vector<Pt> out;
    for (size_t i = 0; i < v->size(); ++i) {
      if (!IsPoint((*v)[i])) Fail(std::string(key) + "/" + std::to_string(i), "expected a point [x, y]");
      out.push_back({(*v)[i][0].get<Double>(), (*v)[i][1].get<Double>()});
    }
    return out;
  }

  /// Every field was read by someone.
  void Done() const {
    for (auto it = j_.begin(); it != j_.end(); ++it)
      if (!used_.count(it.key())) Fail(it.key(), "unknown field");
  }

  const std::string& Pointer() const { return ptr_; }
  const std::string& Item() const { return item_; }

 private:
  const json& j_;
  std::string ptr_, item_;
  std::set<std::string> used_;
};

/// The attribute fields every item shares: tag (cn), group, layer, color, style, width, flags.
struct Attr {
  Integer cn, lg, ly, co, tp, wd, fl;
};

Attr ReadAttr(Fields& f, Integer style) {
  return {f.Int("tag", 0),   f.Int("group", 0), f.Int("layer", 0), f.Int("color", 1),
          f.Int("style", style), f.Int("width", 0), f.Int("flags", 0)};
}

class Builder {
 public:
  explicit Builder(jww::TJwwData& d) : d_(d) {}

  void Settings(Fields& f) {
    if (f.Has("memo")) d_.Enthd.strMemo = f.Str("memo");
    if (const json* p = f.Get("paper")) {
      if (p->is_string()) {
        const string want = jww::Utf8ToStr(p->get<std::string>());
        bool found = false;
        for (Integer code = 0; code < 100 && !found; ++code)
          if (!want.empty() && jww::PaperLabel(code) == want) d_.Enthd.nZumen = code, found = true;
        if (!found) f.Fail("paper", "unknown paper size");
      } else {
        const Integer code = f.Int("paper");
        if (jww::PaperLabel(code).empty()) f.Fail("paper", "unknown paper code (0..4 for A0..A4, 8..14)");
        d_.Enthd.nZumen = code;
      }
    }
    if (const json* s = f.Get("scales")) {
      if (!s->is_array() || s->size() > 16) f.Fail("scales", "expected up to 16 scale denominators");
      for (size_t g = 0; g < s->size(); ++g) {
        if (!(*s)[g].is_number() || !((*s)[g].get<Double>() > 0))
          f.Fail("scales/" + std::to_string(g), "expected a positive scale denominator");
        d_.EntLgrp[g].adScale = (*s)[g].get<Double>();
      }
    }
    if (f.Has("write_group")) d_.Enthd.nWriteGLay = f.IntIn("write_group", 0, 15);
  }

  /// "units": "paper" (the default: coordinates as they lie on the paper, as the drawing holds
  /// them) or "real" (real millimetres, which each item's layer group's scale turns into paper).
  void Units(Fields& f) {
    const std::string units = jww::StrToUtf8(f.Str("units", "paper"));
    if (units != "paper" && units != "real") f.Fail("units", "expected \"paper\" or \"real\"");
    real_ = units == "real";
  }

  void Items(const json& items, const std::string& pointer, Integer bdn, const std::string& owner) {
    if (!items.is_array()) throw RecipeError{pointer, "expected a list of items"};
    for (size_t i = 0; i < items.size(); ++i) {
      const std::string ptr = pointer + "/" + std::to_string(i);
      const std::string item = owner + "item " + std::to_string(i);
      const json paper = real_ ? InPaperUnits(items[i], bdn) : json();
      Fields f(paper.is_null() ? items[i] : paper, ptr, item);
      Item(f, bdn);
      f.Done();
    }
  }

 private:
  [[noreturn]] static void Refused(Fields& f) { f.Fail("", "the drawing library refused this item"); }

  void Item(Fields& f, Integer bdn) {
    const string typeText = f.Str("type");
    const std::string type(jww::StrToUtf8(typeText));
    bool ok;
    if (type == "line") ok = Line(f, bdn);
    else if (type == "arc" || type == "circle") ok = Arc(f, bdn, type == "circle");
    else if (type == "point") ok = Point(f, bdn);
    else if (type == "text") ok = Text(f, bdn);
    else if (type == "dimension") ok = Dimension(f, bdn);
    else if (type == "solid" || type == "disc" || type == "curved_solid" || type == "ring") ok = Solid(f, bdn, type);
    else if (type == "block") ok = Block(f, bdn);
    else if (type == "insert") ok = Insert(f, bdn);
    else f.Fail("type", "unknown item type '" + type + "' (line, arc, circle, point, text, dimension, solid, disc, "
                        "curved_solid, ring, block, insert)");
    if (!ok) Refused(f);
  }

  bool Line(Fields& f, Integer bdn) {
    const Attr a = ReadAttr(f, 1);
    const Pt p = f.Point("from"), q = f.Point("to");
    return bdn < 0 ? d_.AddEntLine(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, p.x, p.y, q.x, q.y)
                   : d_.AddBlkLine(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, p.x, p.y, q.x, q.y);
  }

  bool Arc(Fields& f, Integer bdn, bool circle) {
    Attr a = ReadAttr(f, 1);
    if (circle) a.fl |= 8;
    const Pt c = f.Point("center");
    const Double r = f.Num("radius"), ph = f.Num("flatness", 1.0), tilt = f.Num("tilt", 0.0);
    const Double start = circle ? 0 : f.Num("start", 0.0), sweep = circle ? 360 : f.Num("sweep", 360.0);
    return bdn < 0 ? d_.AddEntArc(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, c.x, c.y, r, ph, start, sweep, tilt)
                   : d_.AddBlkArc(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, c.x, c.y, r, ph, start, sweep, tilt);
  }

  bool Point(Fields& f, Integer bdn) {
    Attr a = ReadAttr(f, 0);
    a.tp = f.Int("code", 0);
    if (f.Bool("temporary")) a.fl |= 8;
    const Pt p = f.Point("at");
    const Double angle = f.Num("angle", 0.0), scale = f.Num("scale", 1.0);
    return bdn < 0 ? d_.AddEntTen(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, p.x, p.y, angle, scale)
                   : d_.AddBlkTen(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, p.x, p.y, angle, scale);
  }

  struct TextPart {
    Integer co, tp, wd, fl, ms;
    Double pw, ph, pd, pa;
    string pf, ps;
    bool byEnds;
    Pt at, from, to;
  };

  // The text of a text item ("color", "base", ...) or of a dimension ("text_color", "text_base", ...).
  TextPart ReadText(Fields& f, const std::string& prefix, Integer color, Integer flags) {
    auto k = [&](const char* name) { return keys_.insert(prefix + name).first->c_str(); };
    TextPart t;
    t.co = prefix.empty() ? color : f.Int(k("color"), 1);
    t.tp = f.Int(k("base"), 1);
    t.wd = prefix.empty() ? 0 : f.Int(k("width"), 0);
    t.fl = prefix.empty() ? flags : f.Int(k("flags"), 0);
    if (f.Bool(k("vertical"))) t.fl |= 4;
    t.ms = f.Int(k("type_no"), 0);
    t.pw = t.ph = 3.0;
    if (const json* s = f.Get(k("size"))) {
      if (!Fields::IsPoint(*s) || !((*s)[0].get<Double>() > 0) || !((*s)[1].get<Double>() > 0))
        f.Fail(prefix + "size", "expected [width, height], both positive");
      t.pw = (*s)[0].get<Double>();
      t.ph = (*s)[1].get<Double>();
    }
    t.pd = f.Num(k("spacing"), 0.0);
    t.pa = f.Num(k("angle"), 0.0);
    t.pf = f.Str(k("font"), "");
    t.ps = f.Str("text");
    t.byEnds = f.Has(k("from")) || f.Has(k("to"));
    if (t.byEnds) {
      t.from = f.Point(k("from"));
      t.to = f.Point(k("to"));
      if (f.Has(k("at"))) f.Fail(prefix + "at", "give either \"" + prefix + "at\" or \"" + prefix + "from\"/\"" +
                                                    prefix + "to\", not both");
    } else {
      t.at = f.Point(k("at"));
    }
    return t;
  }

  bool Text(Fields& f, Integer bdn) {
    const Attr a = ReadAttr(f, 1);
    if (f.Has("style")) f.Fail("style", "a text has a base point (\"base\"), not a line style");
    TextPart t = ReadText(f, "", a.co, a.fl);
    if (t.byEnds)
      return bdn < 0 ? d_.AddEntMoji(a.cn, a.lg, a.ly, t.co, t.tp, a.wd, t.fl, t.ms, t.from.x, t.from.y, t.to.x,
                                     t.to.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps)
                     : d_.AddBlkMoji(bdn, a.cn, a.lg, a.ly, t.co, t.tp, a.wd, t.fl, t.ms, t.from.x, t.from.y,
                                     t.to.x, t.to.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps);
    return bdn < 0 ? d_.AddEntMoji(a.cn, a.lg, a.ly, t.co, t.tp, a.wd, t.fl, t.ms, t.at.x, t.at.y, t.pw, t.ph,
                                   t.pd, t.pa, t.pf, t.ps)
                   : d_.AddBlkMoji(bdn, a.cn, a.lg, a.ly, t.co, t.tp, a.wd, t.fl, t.ms, t.at.x, t.at.y, t.pw,
                                   t.ph, t.pd, t.pa, t.pf, t.ps);
  }

  bool Dimension(Fields& f, Integer bdn) {
    const Attr a = ReadAttr(f, 1);
    const Pt p1 = f.Point("from"), p2 = f.Point("to");
    TextPart t = ReadText(f, "text_", 1, 0);
    // Auxiliary parts: reference points with derived or explicit auxiliary lines, end marks.
    const bool refs = f.Has("refs"), lines = f.Has("aux_lines");
    const Integer ends = f.Int("end_marks", 0);
    if (ends < 0 || ends > 2) f.Fail("end_marks", "expected 0 (none), 1 (turned outward) or 2 (turned inward)");
    const Integer endCode = f.Int("end_code", 0), refCode = f.Int("ref_code", 0);
    std::vector<Pt> kt(2);
    if (refs) kt = f.Points("refs", 2, 2);
    Pt h[4];
    if (lines) {
      const json* v = f.Get("aux_lines");
      if (!v->is_array() || v->size() != 2) f.Fail("aux_lines", "expected two lines [[x, y], [x, y]]");
      for (int i = 0; i < 2; ++i) {
        const json& l = (*v)[static_cast<size_t>(i)];
        if (!l.is_array() || l.size() != 2 || !Fields::IsPoint(l[0]) || !Fields::IsPoint(l[1]))
          f.Fail("aux_lines/" + std::to_string(i), "expected a line [[x, y], [x, y]]");
        h[2 * i] = {l[0][0].get<Double>(), l[0][1].get<Double>()};
        h[2 * i + 1] = {l[1][0].get<Double>(), l[1][1].get<Double>()};
      }
    }
    const bool gaps = f.Has("gap") || f.Has("overshoot");
    const Double d1 = f.Num("gap", 0.0), d2 = f.Num("overshoot", 0.0);
    if (gaps && (!refs || lines)) f.Fail(f.Has("gap") ? "gap" : "overshoot", "\"gap\" and \"overshoot\" need \"refs\" and no \"aux_lines\"");
    const Integer exL = (refs && !lines) || lines ? 1 : 0, exR = refs ? 1 : 0;
    const Integer co = a.co, tp = a.tp, wd = a.wd;

    if (!refs && !lines && ends == 0) {
      if (bdn < 0)
        return t.byEnds ? d_.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd,
                                         t.fl, t.ms, t.from.x, t.from.y, t.to.x, t.to.y, t.pw, t.ph, t.pd, t.pa, t.pf,
                                         t.ps)
                        : d_.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd,
                                         t.fl, t.ms, t.at.x, t.at.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps);
      return t.byEnds ? d_.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp,
                                       t.wd, t.fl, t.ms, t.from.x, t.from.y, t.to.x, t.to.y, t.pw, t.ph, t.pd, t.pa,
                                       t.pf, t.ps)
                      : d_.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp,
                                       t.wd, t.fl, t.ms, t.at.x, t.at.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps);
    }
    if (refs && !lines) {
      if (t.byEnds) f.Fail("text_from", "derived auxiliary lines place the text at \"text_at\"");
      if (bdn < 0)
        return d_.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl, t.ms,
                              t.at.x, t.at.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps, d1, d2,  //
                              exL, co, tp, wd, a.fl, exL, co, tp, wd, a.fl,             //
                              ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,  //
                              exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,           //
                              exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
      return d_.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl,
                            t.ms, t.at.x, t.at.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps, d1, d2,  //
                            exL, co, tp, wd, a.fl, exL, co, tp, wd, a.fl,                 //
                            ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,  //
                            exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,               //
                            exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
    }
    // Explicit auxiliary lines (or end marks alone).
    const Double tx1 = t.byEnds ? t.from.x : t.at.x, ty1 = t.byEnds ? t.from.y : t.at.y;
    if (bdn < 0 && t.byEnds)
      return d_.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl, t.ms,
                            tx1, ty1, t.to.x, t.to.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps,                   //
                            exL, co, tp, wd, a.fl, h[0].x, h[0].y, h[1].x, h[1].y,                      //
                            exL, co, tp, wd, a.fl, h[2].x, h[2].y, h[3].x, h[3].y,                      //
                            ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,               //
                            exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,                             //
                            exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
    if (bdn < 0)
      return d_.AddEntSunpo(a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl, t.ms,
                            tx1, ty1, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps,                               //
                            exL, co, tp, wd, a.fl, h[0].x, h[0].y, h[1].x, h[1].y,                      //
                            exL, co, tp, wd, a.fl, h[2].x, h[2].y, h[3].x, h[3].y,                      //
                            ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,               //
                            exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,                             //
                            exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
    if (t.byEnds)
      return d_.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl,
                            t.ms, tx1, ty1, t.to.x, t.to.y, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps,           //
                            exL, co, tp, wd, a.fl, h[0].x, h[0].y, h[1].x, h[1].y,                      //
                            exL, co, tp, wd, a.fl, h[2].x, h[2].y, h[3].x, h[3].y,                      //
                            ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,               //
                            exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,                             //
                            exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
    return d_.AddBlkSunpo(bdn, a.cn, a.lg, a.ly, co, tp, wd, a.fl, p1.x, p1.y, p2.x, p2.y, t.co, t.tp, t.wd, t.fl,
                          t.ms, tx1, ty1, t.pw, t.ph, t.pd, t.pa, t.pf, t.ps,                           //
                          exL, co, tp, wd, a.fl, h[0].x, h[0].y, h[1].x, h[1].y,                        //
                          exL, co, tp, wd, a.fl, h[2].x, h[2].y, h[3].x, h[3].y,                        //
                          ends, co, endCode, wd, 0, 1.0, ends, co, endCode, wd, 0, 1.0,                 //
                          exR, co, refCode, wd, 0, kt[0].x, kt[0].y, 1.0,                               //
                          exR, co, refCode, wd, 0, kt[1].x, kt[1].y, 1.0);
  }

  bool Solid(Fields& f, Integer bdn, const std::string& type) {
    const Attr a = ReadAttr(f, 1);
    const Integer fc = f.Int("fill", 0);
    const bool in = bdn >= 0;
    if (type == "solid") {
      const std::vector<Pt> c = f.Points("corners", 2, 4);
      if (c.size() == 2)
        return in ? d_.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y)
                  : d_.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y);
      if (c.size() == 3)
        return in ? d_.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y,
                                   c[2].x, c[2].y)
                  : d_.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y,
                                   c[2].x, c[2].y);
      return in ? d_.AddBlkSolid(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y,
                                 c[2].x, c[2].y, c[3].x, c[3].y)
                : d_.AddEntSolid(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, fc, c[0].x, c[0].y, c[1].x, c[1].y, c[2].x,
                                 c[2].y, c[3].x, c[3].y);
    }
    const Pt c = f.Point("center");
    const Double r = f.Num("radius"), ph = f.Num("flatness", 1.0), tilt = f.Num("tilt", 0.0);
    if (type == "disc") {
      if (f.Has("style")) f.Fail("style", "a disc has no style");
      if (!f.Has("start") && !f.Has("sweep"))
        return in ? d_.AddBlkSolidA(bdn, a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt)
                  : d_.AddEntSolidA(a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt);
      const Double s = f.Num("start", 0.0), w = f.Num("sweep", 360.0);
      return in ? d_.AddBlkSolidA(bdn, a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt, s, w)
                : d_.AddEntSolidA(a.cn, a.lg, a.ly, a.co, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt, s, w);
    }
    const Double s = f.Num("start", 0.0), w = f.Num("sweep", 360.0);
    if (type == "curved_solid") {
      const Integer form = f.Int("form", 0);
      return in ? d_.AddBlkSolidC(bdn, a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt, s, w)
                : d_.AddEntSolidC(a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, c.x, c.y, r, ph, tilt, s, w);
    }
    const Double inner = f.Num("inner");
    const Integer form = f.Int("form", 1);
    return in ? d_.AddBlkSolidD(bdn, a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, c.x, c.y, r, inner, ph, tilt, s, w)
              : d_.AddEntSolidD(a.cn, a.lg, a.ly, a.co, form, a.wd, a.fl, fc, c.x, c.y, r, inner, ph, tilt, s, w);
  }

  bool Block(Fields& f, Integer bdn) {
    if (bdn >= 0) f.Fail("type", "a block is defined at the top level; insert it into others with \"insert\"");
    const Attr a = ReadAttr(f, 1);
    const std::string name = jww::StrToUtf8(f.Str("name"));
    if (name.empty()) f.Fail("name", "a block needs a name");
    if (names_.count(name)) f.Fail("name", "a block named '" + name + "' is already defined");
    const Integer flag = f.Int("flag", 4);
    const json* items = f.Get("items");
    if (!items) f.Fail("items", "missing list of items");
    if (!d_.AddBlkDef(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, flag, jww::Utf8ToStr(name))) return false;
    const Integer index = d_.EntBlockDefN - 1;
    names_[name] = index;
    Items(*items, f.Pointer() + "/items", index, f.Item() + " (block '" + name + "'), ");
    d_.AddBlkDefPost(index);
    return true;
  }

  bool Insert(Fields& f, Integer bdn) {
    const Attr a = ReadAttr(f, 1);
    const std::string name = jww::StrToUtf8(f.Str("block"));
    auto it = names_.find(name);
    if (it == names_.end()) f.Fail("block", "no block named '" + name + "' is defined before this item");
    const Pt p = f.Point("at");
    Double sx = 1, sy = 1;
    if (const json* s = f.Get("scale")) {
      if (s->is_number()) sx = sy = s->get<Double>();
      else if (Fields::IsPoint(*s)) sx = (*s)[0].get<Double>(), sy = (*s)[1].get<Double>();
      else f.Fail("scale", "expected a number or [x, y]");
    }
    const Double angle = f.Num("angle", 0.0);
    const Integer bn = it->second;
    if (bdn < 0) return d_.AddEntBlock(a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, bn, p.x, p.y, sx, sy, angle);
    if (bn == bdn) f.Fail("block", "a block cannot insert itself");
    if (!d_.AddBlkBlock(bdn, a.cn, a.lg, a.ly, a.co, a.tp, a.wd, a.fl, bn, p.x, p.y, sx, sy, angle))
      f.Fail("block", "inserting '" + name + "' here would make a block insert itself");
    return true;
  }

  // A recipe in real millimetres: a copy of the item with every coordinate and length divided by
  // its layer group's scale (a block's items by the block's group), or null when nothing changes.
  // Text sizes and spacings stay paper millimetres, as a drawing's text sizes are; angles, point
  // and insertion scales and flatness are no lengths. Fields of the wrong shape are left for the
  // item's reader to report.
  json InPaperUnits(const json& item, Integer bdn) const {
    if (!item.is_object() || item.value("type", json()) == "block") return {};
    Integer g = 0;
    if (bdn >= 0) {
      g = d_.EntBlockDef[static_cast<size_t>(bdn)].att.nGLayer;
    } else if (const auto it = item.find("group"); it != item.end() && it->is_number_integer()) {
      g = it->get<int64_t>() >= 0 && it->get<int64_t>() < 16 ? static_cast<Integer>(it->get<int64_t>()) : 0;
    }
    const Double scale = g >= 0 && g < 16 ? d_.EntLgrp[static_cast<size_t>(g)].adScale : 1;
    if (!(scale > 0) || scale == 1) return {};
    json out = item;
    auto point = [scale](json& p) {
      if (Fields::IsPoint(p)) p = json::array({p[0].get<Double>() / scale, p[1].get<Double>() / scale});
    };
    for (const char* key : {"from", "to", "center", "at", "text_at", "text_from", "text_to"})
      if (const auto it = out.find(key); it != out.end()) point(*it);
    for (const char* key : {"corners", "refs", "aux_lines"})  // points, or lines of two points
      if (const auto it = out.find(key); it != out.end() && it->is_array())
        for (json& p : *it) {
          point(p);
          if (p.is_array() && !Fields::IsPoint(p))
            for (json& q : p) point(q);
        }
    for (const char* key : {"radius", "inner", "gap", "overshoot"})
      if (const auto it = out.find(key); it != out.end() && it->is_number()) *it = it->get<Double>() / scale;
    return out;
  }

  jww::TJwwData& d_;
  bool real_ = false;
  std::map<std::string, Integer> names_;
  std::set<std::string> keys_;  // stable storage for prefixed field names
};

// The line said when memory runs out while the recipe is read or built, made beforehand.
std::string outOfMemoryLine;

// A JSON tree frees a large list through a helper list it allocates inside a destructor: once
// memory has run out while a recipe is parsed, unwinding would end in std::terminate. Nothing has
// been written by then, so the command ends here with its one line.
[[noreturn]] void OutOfMemory() {
  const ssize_t ignored = ::write(STDERR_FILENO, outOfMemoryLine.data(), outOfMemoryLine.size());
  (void)ignored;
  ::_exit(1);
}

}  // namespace

int Build(int argc, char** argv) {
  CLI::App app{"Builds a drawing from a JSON recipe (see docs/recipes.md) and writes it as a JWW file."};
  std::string recipe, out;
  int version = 600;
  app.add_option("recipe", recipe, "The recipe (.json)")->required();
  app.add_option("output", out, "The drawing to write (.jww); an existing file is replaced only on success")
      ->required();
  app.add_option("--version", version, "Format version to write, 220..700 (default 600)")->check(CLI::Range(220, 700));
  if (int status; !ParseOptions(app, argc, argv, status)) return status;

  const std::string shown = Shown(recipe);
  std::ifstream in(recipe, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "jww: %s: cannot read the recipe: %s\n", shown.c_str(), std::strerror(errno));
    return 2;
  }
  outOfMemoryLine = "jww: " + shown + ": the recipe is too large for the memory available\n";
  const std::new_handler before = std::set_new_handler(OutOfMemory);
  json plan;
  try {
    plan = json::parse(in);
  } catch (const json::exception& e) {  // bad syntax, or a number beyond the range of a double
    std::fprintf(stderr, "jww: %s: not JSON: %s\n", shown.c_str(), e.what());
    return 2;
  }

  jww::TJwwData d;
  d.DataDefaultSet();
  try {
    Fields top(plan, "", "");
    Builder b(d);
    b.Settings(top);
    b.Units(top);
    const json* items = top.Get("items");
    if (!items) top.Fail("items", "missing list of items");
    b.Items(*items, "/items", -1, "");
    top.Done();
  } catch (const RecipeError& e) {
    std::fprintf(stderr, "jww: %s: %s: %s\n", shown.c_str(), Shown(e.where).c_str(), Shown(e.what).c_str());
    return 2;
  } catch (const std::exception& e) {  // JSON the checks above missed
    std::fprintf(stderr, "jww: %s: %s\n", shown.c_str(), e.what());
    return 2;
  }
  plan = json();
  std::set_new_handler(before);  // the writer reports its own failures
  d.AddEntPost();
  if (!d.FileOut(jww::PathFromNative(out), version)) {
    std::fprintf(stderr, "jww: %s: cannot write a version %d drawing: %s\n", Shown(out).c_str(), version,
                 d.LastError().message.c_str());
    return 1;
  }
  return 0;
}

}  // namespace jwwtool
