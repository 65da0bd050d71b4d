// PDF written straight from the scene, without the toolkit's painter: path operators for lines,
// arcs and solids, point marks as one shared form, and texts as text in Type 3 fonts whose glyph procedures are the very
// outlines the PNG fills (the toolkit's glyphs of the same faces), so the three pictures look the
// same and the text layer (a ToUnicode map per font) gives back the characters drawn.
//
// Why Type 3 and not an embedded font subset: the PNG draws each character from whichever face
// the toolkit picks for it (the drawing's face, a Japanese face, a fallback), and only the
// outlines are common to all of them; a subset would need each face's own format (CFF, TrueType,
// collections) cut down and re-encoded. An outline is written once per character and face, and a
// drawing uses a few hundred characters.
//
// Content coordinates are integers of 1/100 mm (a quarter of a 1200 dpi dot at most off), under
// one page transform to points, so most numbers are short integers formatted without printf.
// Consecutive lines and arcs of one pen and line type are one path (each its own subpath, so a
// dash pattern starts afresh on each, as in the PNG); colours, widths and dash patterns are set
// only when they change. The content is compressed (libdeflate at its fastest level, a sixth of
// the bytes) in streams of about 1 MiB, each on a second thread while the next is made.
#include <QGlyphRun>
#include <QPainterPath>
#include <QRawFont>
#include <QTextLayout>

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <future>
#include <system_error>
#include <memory>
#include <unordered_map>

#include "painter/PaintShared.h"

namespace scene {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kUnits = 100;  // content units per paper millimetre
constexpr double kDot = 25.4 / 1200;  // a 1200 dpi dot in millimetres
constexpr double kHairline = 0.35 * kDot;  // thinnest pen: a hairline stays visible
constexpr double kMinDash = 0.5 * kDot;
constexpr double kMinPoint = 0.5 * kDot;  // radius of the smallest point mark
constexpr int kMaxPathElements = 4096;
constexpr int kEm = 1000;  // glyph space units per em

// Rounded to the nearest integer, halves away from zero (inline, unlike llround).
inline int64_t Round(double v) { return static_cast<int64_t>(v + (v < 0 ? -0.5 : 0.5)); }

// Writes v in decimal at p; returns the end. Two digits a step.
inline char* Digits(char* p, int64_t v) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  uint64_t u = static_cast<uint64_t>(v);
  if (v < 0) *p++ = '-', u = 0 - u;
  // Digits of u: from its bit length (log10 2 ~ 1233 / 4096), one comparison to settle it.
  static constexpr uint64_t kTens[] = {1ull, 10ull, 100ull, 1000ull, 10000ull, 100000ull, 1000000ull,
                                       10000000ull, 100000000ull, 1000000000ull, 10000000000ull,
                                       100000000000ull, 1000000000000ull, 10000000000000ull,
                                       100000000000000ull, 1000000000000000ull, 10000000000000000ull,
                                       100000000000000000ull, 1000000000000000000ull,
                                       10000000000000000000ull};
  const int b = (64 - __builtin_clzll(u | 1)) * 1233 >> 12;
  int n = b + (u >= kTens[b]);
  n += n == 0;
  char* t = p + n;
  while (u >= 100) {
    const unsigned d = static_cast<unsigned>(u % 100) * 2;
    u /= 100;
    *--t = kPairs[d + 1], *--t = kPairs[d];
  }
  if (u >= 10) {
    *--t = kPairs[u * 2 + 1], *--t = kPairs[u * 2];
  } else {
    *--t = char('0' + u);
  }
  return p + n;
}

// A growing byte buffer (never zero-filled); numbers are formatted in place.
class Sink {
 public:
  Sink() = default;
  Sink(Sink&&) = default;
  Sink& operator=(Sink&&) = default;
  void Lit(std::string_view v) {
    std::memcpy(Room(v.size()), v.data(), v.size());
    n_ += v.size();
  }
  // A literal: its length known here, so the copy is a few moves rather than a call.
  template <size_t N>
  void Lit(const char (&v)[N]) {
    std::memcpy(Room(N - 1), v, N - 1);
    n_ += N - 1;
  }
  void Ch(char c) { *Room(1) = c, ++n_; }
  void Int(int64_t v) { n_ = static_cast<size_t>(Digits(Room(21), v) - buf_.get()); }
  // Rounded to `decimals` places, trailing zeros dropped.
  void Fix(double v, int decimals) {
    static constexpr int64_t kPow[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
    const int64_t p = kPow[decimals];
    const double scaled = v * double(p);
    if (!(std::fabs(scaled) < 9e15)) return Ch('0');
    int64_t i = Round(scaled);
    if (i == 0) return Ch('0');
    if (i < 0) Ch('-'), i = -i;
    Int(i / p);
    int64_t f = i % p;
    if (f == 0) return;
    int d = decimals;
    while (f % 10 == 0) f /= 10, --d;
    char* out = Room(12);
    *out++ = '.';
    for (int k = d - 1; k >= 0; --k) out[k] = char('0' + f % 10), f /= 10;
    n_ += 1 + size_t(d);
  }
  // A coordinate: whole content units, followed by a space.
  void Co(double v) {
    char* p = Digits(Room(22), Round(v));
    *p++ = ' ';
    n_ = static_cast<size_t>(p - buf_.get());
  }
  // A point and an operator on a line of their own.
  void Pt(double x, double y, char op) {
    char* p = Digits(Room(48), Round(x));
    *p++ = ' ';
    p = Digits(p, Round(y));
    *p++ = ' ';
    *p++ = op;
    *p++ = '\n';
    n_ = static_cast<size_t>(p - buf_.get());
  }
  // The same with whole content units already rounded.
  void Pt(int64_t x, int64_t y, char op) {
    char* p = Digits(Room(48), x);
    *p++ = ' ';
    p = Digits(p, y);
    *p++ = ' ';
    *p++ = op;
    *p++ = '\n';
    n_ = static_cast<size_t>(p - buf_.get());
  }
  void Hex2(uint8_t b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    char* p = Room(2);
    p[0] = kHex[b >> 4], p[1] = kHex[b & 15];
    n_ += 2;
  }
  void Hex4(uint16_t v) { Hex2(uint8_t(v >> 8)), Hex2(uint8_t(v & 0xFF)); }
  size_t size() const { return n_; }
  std::string_view view() const { return {buf_.get(), n_}; }
  void Clear() { n_ = 0; }
  // Room for `k` bytes at the end, to be taken with Took.
  char* Room(size_t k) {
    if (n_ + k > cap_) Grow(n_ + k);
    return buf_.get() + n_;
  }
  void Took(size_t k) { n_ += k; }

 private:
  void Grow(size_t need) {
    const size_t cap = std::max({cap_ * 2, need, size_t(1) << 16});
    std::unique_ptr<char[]> b(new char[cap]);
    if (n_) std::memcpy(b.get(), buf_.get(), n_);
    buf_ = std::move(b);
    cap_ = cap;
  }
  std::unique_ptr<char[]> buf_;
  size_t n_ = 0, cap_ = 0;
};

// Colour components as PDF writes them ("0.502"), one per byte value.
const std::array<std::string, 256>& Components() {
  static const std::array<std::string, 256> table = [] {
    std::array<std::string, 256> t;
    for (int i = 0; i < 256; ++i) {
      Sink s;
      s.Fix(i / 255.0, 3);
      t[size_t(i)] = std::string(s.view());
    }
    return t;
  }();
  return table;
}

void Colour(Sink& out, uint32_t rgb, std::string_view op) {
  const auto& c = Components();
  out.Lit(c[(rgb >> 16) & 0xFF]), out.Ch(' ');
  out.Lit(c[(rgb >> 8) & 0xFF]), out.Ch(' ');
  out.Lit(c[rgb & 0xFF]), out.Ch(' ');
  out.Lit(op), out.Ch('\n');
}

// The glyphs texts are drawn with: per face and character, a code in one of the document's
// Type 3 fonts (256 codes each). A character the faces share a glyph with another (an ideograph
// and its radical) still gets its own code, so the text layer names the character drawn.
class Glyphs {
 public:
  struct Ref {
    uint32_t font = 0;
    uint8_t code = 0;
    int width = 0;  // advance in 1/kEm em
  };
  struct Font {
    std::vector<std::string> procs;
    std::vector<int> widths;
    std::vector<char32_t> chars;
    double box[4] = {0, 0, 0, 0};
  };

  int FaceOf(const std::u16string& name) {
    if (lastFace_ >= 0 && *lastName_ == name) return lastFace_;
    auto it = faceIds_.find(name);
    if (it == faceIds_.end()) {
      it = faceIds_.emplace(name, static_cast<int>(faces_.size())).first;
      faces_.push_back(paint::Face(name));
    }
    lastName_ = &it->first;
    return lastFace_ = it->second;
  }

  // Most characters of a drawing recur often: the ones met lately are kept in a small table in
  // front of the map (whose entries stay where they are as it grows).
  const Ref& Get(int face, char32_t c) {
    const uint64_t key = (uint64_t(uint32_t(face)) << 32) | c;
    Recent& r = recent_[(c ^ (uint32_t(face) * 0x9E3779B1u)) % recent_.size()];
    if (r.ref && r.key == key) return *r.ref;
    auto it = refs_.find(key);
    if (it == refs_.end()) it = refs_.emplace(key, Make(face, c)).first;
    r.key = key, r.ref = &it->second;
    return it->second;
  }

  const std::vector<Font>& fonts() const { return fonts_; }

 private:
  // The glyph the toolkit draws for `c` in the face (its own fallback included): outline and
  // advance in glyph space (y up, kEm to the em).
  Ref Make(int face, char32_t c) {
    int width = kEm / 2;
    QRectF bounds;
    const QString one = QString::fromUcs4(&c, 1);
    QTextLayout layout(one, faces_[size_t(face)]);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    QPainterPath path;
    if (!runs.isEmpty() && !runs.front().glyphIndexes().isEmpty()) {
      const QRawFont raw = runs.front().rawFont();
      const quint32 g = runs.front().glyphIndexes().front();
      const double em = raw.pixelSize() > 0 ? raw.pixelSize() : paint::kRefPx;
      const QList<QPointF> adv = raw.advancesForGlyphIndexes(QList<quint32>{g}, QRawFont::UseDesignMetrics);
      if (!adv.isEmpty()) width = static_cast<int>(std::lround(adv.front().x() * kEm / em));
      path = raw.pathForGlyph(g);
      path = QTransform::fromScale(kEm / em, -kEm / em).map(path);
      bounds = path.boundingRect();
    }
    Sink s;
    s.Int(width), s.Lit(" 0 d0\n");
    bool any = false;
    for (int i = 0; i < path.elementCount(); ++i) {
      const QPainterPath::Element e = path.elementAt(i);
      if (e.type == QPainterPath::CurveToElement && i + 2 < path.elementCount()) {
        const QPainterPath::Element b = path.elementAt(i + 1), d = path.elementAt(i + 2);
        s.Co(e.x), s.Co(e.y), s.Co(b.x), s.Co(b.y);
        s.Pt(d.x, d.y, 'c');
        i += 2;
      } else {
        s.Pt(e.x, e.y, e.type == QPainterPath::MoveToElement ? 'm' : 'l');
      }
      any = true;
    }
    if (any) s.Lit("f\n");
    if (fonts_.empty() || fonts_.back().procs.size() == 256) fonts_.emplace_back();
    Font& f = fonts_.back();
    Ref r;
    r.font = static_cast<uint32_t>(fonts_.size() - 1);
    r.code = static_cast<uint8_t>(f.procs.size());
    r.width = width;
    f.procs.emplace_back(s.view());
    f.widths.push_back(width);
    f.chars.push_back(c);
    if (!bounds.isEmpty()) {
      f.box[0] = std::min(f.box[0], std::floor(bounds.left())), f.box[1] = std::min(f.box[1], std::floor(bounds.top()));
      f.box[2] = std::max(f.box[2], std::ceil(bounds.right())), f.box[3] = std::max(f.box[3], std::ceil(bounds.bottom()));
    }
    return r;
  }

  std::unordered_map<std::u16string, int> faceIds_;
  std::vector<QFont> faces_;
  const std::u16string* lastName_ = nullptr;
  int lastFace_ = -1;
  std::unordered_map<uint64_t, Ref> refs_;
  struct Recent {
    uint64_t key = 0;
    const Ref* ref = nullptr;
  };
  std::array<Recent, 512> recent_{};
  std::vector<Font> fonts_;
};

// A zlib stream (what FlateDecode reads) at the fastest level, into `out`.
bool Deflate(std::string_view in, std::string& out) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(1);
  if (!c) return false;
  out.resize(libdeflate_zlib_compress_bound(c, in.size()));
  const size_t n = libdeflate_zlib_compress(c, in.data(), in.size(), out.data(), out.size());
  libdeflate_free_compressor(c);
  out.resize(n);
  return n > 0;
}

// The file: objects written as they are made, their offsets kept for the cross-reference table.
class Document {
 public:
  Document() {
    out_.Lit("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    offsets_.resize(5);  // 1 catalog, 2 page tree, 3 information, 4 resources
  }
  int NewObject() {
    offsets_.push_back(0);
    return static_cast<int>(offsets_.size() - 1);
  }
  void Begin(int id) {
    offsets_[size_t(id)] = out_.size();
    out_.Int(id), out_.Lit(" 0 obj\n");
  }
  void End() { out_.Lit("endobj\n"); }
  void Object(int id, std::string_view body) {
    Begin(id);
    out_.Lit(body), out_.Ch('\n');
    End();
  }
  // `dict`: entries of the stream's dictionary besides its length and filter.
  void Stream(int id, std::string_view data, bool deflated, std::string_view dict = {}) {
    Begin(id);
    out_.Lit("<< ");
    if (!dict.empty()) out_.Lit(dict);
    out_.Lit("/Length "), out_.Int(static_cast<int64_t>(data.size()));
    if (deflated) out_.Lit(" /Filter /FlateDecode");
    out_.Lit(" >>\nstream\n"), out_.Lit(data), out_.Lit("\nendstream\n");
    End();
  }
  Sink& out() { return out_; }

  void Finish() {
    const size_t xref = out_.size();
    out_.Lit("xref\n0 "), out_.Int(static_cast<int64_t>(offsets_.size())), out_.Lit("\n0000000000 65535 f \n");
    for (size_t i = 1; i < offsets_.size(); ++i) {
      char line[21];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets_[i]);
      out_.Lit(std::string_view(line, 20));
    }
    out_.Lit("trailer\n<< /Size "), out_.Int(static_cast<int64_t>(offsets_.size()));
    out_.Lit(" /Root 1 0 R /Info 3 0 R >>\nstartxref\n"), out_.Int(static_cast<int64_t>(xref));
    out_.Lit("\n%%EOF\n");
  }

 private:
  Sink out_;
  std::vector<size_t> offsets_;
};

// Block definitions drawn once each, as forms (XObjects) that their insertions place: a form
// holds what the walk would visit expanding the definition, in its coordinates (content units of
// the definition's millimetres), and an insertion draws it with one `cm` and `Do`. The walk
// offers only placements that keep lengths, under which pen widths, dash patterns and point marks
// are what the expansion draws; this class further turns down what the expansion would draw
// otherwise: a mirror of a form holding texts (the picture keeps glyphs readable where a form
// would mirror them), and a form whose content could reach beyond what the walk represents
// where it is placed. Forms are shared by every page of the document.
class Content;
class Forms {
 public:
  struct Form {
    enum : uint8_t { kUnknown, kBuilding, kReady, kUnusable } state = kUnknown;
    int name = -1;      // /X<name> in the resources
    bool text = false;  // holds a text, its own or a nested form's
    double pen = 0;     // its widest pen (millimetres)
    // What it draws, in the definition's millimetres, and how far it reaches from the origin.
    double box[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    double reach = 0;
  };

  Forms(Glyphs& glyphs, Document& doc, size_t budget) : glyphs_(glyphs), doc_(doc), budget_(budget) {}

  // Whether the insertion `q`, its owner placed by `at`, is drawn as a form: `limit` is how far
  // from the owner's origin its content may reach.
  bool Take(const Scene& s, const Prim& q, const Placement& at, double limit) {
    const Form* f = Get(s, q.def);
    if (!f) return false;
    const Xform m = at.toPaper.Then(q.place);
    if (f->text && m.a * m.d - m.b * m.c < 0) return false;
    return std::max(std::fabs(m.e), std::fabs(m.f)) + f->reach <= limit;
  }

  // The form of an insertion taken whole (made by Take).
  const Form& Of(const Scene& s, int def) { return Of(s).forms[size_t(def)]; }

  // What the walks of a scene know of its definitions, worked out once for all of them.
  const Survey& SurveyFor(const Scene& s) { return Of(s).survey; }

  // The forms' object numbers, by name.
  const std::vector<int>& ids() const { return ids_; }

  // The point mark, /P: a disc of radius 1 filled in the colour it is placed with, written on
  // first use. A mark placed by `q r 0 0 r x y cm /P Do Q` takes a fifth of the bytes of its
  // outline written out, and its outline is the one the marks had.
  void UsePointMark() {
    if (pointMark_ > 0) return;
    pointMark_ = doc_.NewObject();
    doc_.Stream(pointMark_,
                "1 0 m\n1 0.55228475 0.55228475 1 0 1 c\n-0.55228475 1 -1 0.55228475 -1 0 c\n"
                "-1 -0.55228475 -0.55228475 -1 0 -1 c\n0.55228475 -1 1 -0.55228475 1 0 c f\n",
                false, "/Type /XObject /Subtype /Form /BBox [-2 -2 2 2] /Resources << >> ");
  }
  // Its object number, 0 while unused.
  int pointMark() const { return pointMark_; }

 private:
  const Form* Get(const Scene& s, int def);

  Glyphs& glyphs_;
  Document& doc_;
  size_t budget_;  // the walks making forms spend no more than a page may
  size_t spent_ = 0;
  struct OfScene {
    Survey survey;
    std::vector<Form> forms;
  };
  OfScene& Of(const Scene& s) {
    auto it = scenes_.find(&s);
    if (it == scenes_.end()) it = scenes_.emplace(&s, OfScene{SurveyOf(s), std::vector<Form>(s.defs.size())}).first;
    return it->second;
  }

  std::unordered_map<const Scene*, OfScene> scenes_;
  std::vector<int> ids_;
  int pointMark_ = 0;
};

// What a form draws: a box around everything, texts with room for their glyphs.
struct Extent {
  double box[4] = {HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  double pen = 0;  // the widest pen
  bool text = false;

  void Add(double x, double y, double r = 0) {
    box[0] = std::min(box[0], x - r), box[1] = std::min(box[1], y - r);
    box[2] = std::max(box[2], x + r), box[3] = std::max(box[3], y + r);
  }
  void Add(const Prim& q, const Placement& at) {
    const Xform& m = at.toPaper;
    const double stretch = std::sqrt(m.a * m.a + m.b * m.b + m.c * m.c + m.d * m.d);  // no less than any
    double x, y;
    switch (q.kind) {
      case Kind::Line:
        m.Apply(q.p[0], q.p[1], x, y), Add(x, y);
        m.Apply(q.p[2], q.p[3], x, y), Add(x, y);
        pen = std::max(pen, double(q.width));
        break;
      case Kind::Arc:
        m.Apply(q.p[0], q.p[1], x, y);
        Add(x, y, std::fabs(q.radius) * std::max(1.0, std::fabs(q.flat)) * stretch);
        pen = std::max(pen, double(q.width));
        break;
      case Kind::Fill:
        for (size_t i = 0; i + 1 < q.ring.size(); i += 2) m.Apply(q.ring[i], q.ring[i + 1], x, y), Add(x, y);
        break;
      case Kind::Point:
        m.Apply(q.p[0], q.p[1], x, y), Add(x, y, std::max(q.radius, kMinPoint));
        break;
      case Kind::Text: {
        // Every run, raised or lowered, vertical or spaced, lies within its characters' cells
        // and gaps from the start point; the glyphs may stand out of their cells a little.
        const double cell = std::fabs(q.sizeX) + std::fabs(q.sizeY);
        m.Apply(q.p[0], q.p[1], x, y);
        Add(x, y, stretch * (double(q.text.size()) * (cell + std::fabs(q.spacing)) + 2 * cell));
        text = true;
        break;
      }
      case Kind::Insert:
        break;
    }
  }
};

// Content of a page or a form. A page's goes out in streams of about kChunk bytes each,
// compressed and written to the document as they fill (a path may go on in the next; streams
// split between tokens), so it is never held whole; a form's is held until it ends.
class Content {
 public:
  static constexpr size_t kChunk = size_t(1) << 20;

  // A page of the view.
  Content(const Scene& s, const QRectF& view, Glyphs& glyphs, Document& doc, Forms& forms)
      : s_(s), glyphs_(glyphs), doc_(doc), forms_(forms),
        dev_{kUnits, 0, 0, kUnits, -view.left() * kUnits, -view.top() * kUnits} {
    out_.Fix(72 / 25.4 / kUnits, 7);
    out_.Lit(" 0 0 ");
    out_.Fix(72 / 25.4 / kUnits, 7);
    out_.Lit(" 0 0 cm 1 j\n");
  }

  // A form in its definition's coordinates. It draws in whatever state its placement leaves, so
  // it sets everything it uses.
  Content(const Scene& s, Glyphs& glyphs, Document& doc, Forms& forms)
      : s_(s), glyphs_(glyphs), doc_(doc), forms_(forms), dev_{kUnits, 0, 0, kUnits, 0, 0} {
    stroke_ = fill_ = -1, width_ = -1;
    out_.Lit("1 j\n");
  }

  void Draw(const Prim& q, const Placement& at) {
    switch (q.kind) {
      case Kind::Line: {
        Begin(q);
        const Xform m = dev_.Then(at.toPaper);
        double x, y;
        m.Apply(q.p[0], q.p[1], x, y);
        const int64_t x0 = Round(x), y0 = Round(y);
        m.Apply(q.p[2], q.p[3], x, y);
        const int64_t x1 = Round(x), y1 = Round(y);
        // A continuous line starting where the path's last one ended goes on from there: with
        // round caps and joins it looks the same as a subpath of its own. A dashed one starts
        // afresh, so that its pattern restarts as in the PNG.
        if (!(joinable_ && x0 == endX_ && y0 == endY_)) out_.Pt(x0, y0, 'm'), ++runElements_;
        out_.Pt(x1, y1, 'l'), ++runElements_;
        endX_ = x1, endY_ = y1, joinable_ = dash_ == -1;
        break;
      }
      case Kind::Arc:
        Begin(q);
        Arc(q, at);
        joinable_ = false;
        break;
      case Kind::Fill: {
        Flush();
        EndText();
        if (q.ring.size() < 6) break;
        Fill(q.rgb);
        const Xform m = dev_.Then(at.toPaper);
        int64_t c[8];
        if (q.ring.size() == 8) {
          for (size_t i = 0; i < 4; ++i) {
            double x, y;
            m.Apply(q.ring[2 * i], q.ring[2 * i + 1], x, y);
            c[2 * i] = Round(x), c[2 * i + 1] = Round(y);
          }
          // A rectangle standing square on the page (either way round) is one `re`.
          if ((c[0] == c[2] && c[3] == c[5] && c[4] == c[6] && c[7] == c[1]) ||
              (c[1] == c[3] && c[2] == c[4] && c[5] == c[7] && c[6] == c[0])) {
            const int64_t x0 = std::min(c[0], c[4]), y0 = std::min(c[1], c[5]);
            out_.Int(x0), out_.Ch(' '), out_.Int(y0), out_.Ch(' ');
            out_.Int(std::max(c[0], c[4]) - x0), out_.Ch(' '), out_.Int(std::max(c[1], c[5]) - y0);
            out_.Lit(" re f\n");
            break;
          }
          for (size_t i = 0; i < 4; ++i) out_.Pt(c[2 * i], c[2 * i + 1], i == 0 ? 'm' : 'l');
          out_.Lit("f\n");
          break;
        }
        for (size_t i = 0; i + 1 < q.ring.size(); i += 2) {
          double x, y;
          m.Apply(q.ring[i], q.ring[i + 1], x, y);
          out_.Pt(x, y, i == 0 ? 'm' : 'l');
        }
        out_.Lit("f\n");
        break;
      }
      case Kind::Point: {
        Flush();
        EndText();
        Fill(q.rgb);
        double x, y;
        dev_.Then(at.toPaper).Apply(q.p[0], q.p[1], x, y);
        Disc(x, y, std::max(q.radius, kMinPoint) * kUnits);
        break;
      }
      case Kind::Text:
        Flush();
        Text(q, at);
        break;
      case Kind::Insert:
        Place(q, at);
        break;
    }
  }

  // Ends a form: its whole content.
  std::string_view Rest() {
    Flush();
    EndText();
    return out_.view();
  }

  // Ends the page: false when a stream could not be compressed.
  bool Finish() {
    Flush();
    EndText();
    Emit();
    Collect();
    return ok_;
  }

  ~Content() {
    if (packing_.valid()) packing_.wait();
  }

  // The content streams' object numbers.
  const std::vector<int>& streams() const { return streams_; }

  // Writes what is pending as a stream of its own once there is enough of it.
  void Pace() {
    if (out_.size() >= kChunk) Emit();
  }

 private:
  // Hands the pending content to a second thread to compress while the next is made; the
  // streams reach the document in order, from this thread.
  void Emit() {
    Collect();
    if (out_.size() == 0) return;
    std::swap(out_, spare_);
    out_.Clear();
    auto pack = [this] { return Deflate(spare_.view(), packed_); };
    try {
      packing_ = std::async(std::launch::async, pack);
    } catch (const std::system_error&) {  // no thread to be had: compressed when collected
      packing_ = std::async(std::launch::deferred, pack);
    }
  }

  // Writes the stream being compressed, once it is.
  void Collect() {
    if (!packing_.valid()) return;
    if (!packing_.get()) ok_ = false;
    streams_.push_back(doc_.NewObject());
    doc_.Stream(streams_.back(), packed_, true);
  }

  void Flush() {
    if (runOpen_ && runElements_ > 0) out_.Lit("S\n");
    runOpen_ = false;
    runElements_ = 0;
    joinable_ = false;
  }

  // Consecutive texts share one text object; anything else ends it.
  void EndText() {
    if (textOpen_) out_.Lit("ET\n"), textOpen_ = false;
  }

  // A stroked primitive joins the open path when it has its pen, else starts one.
  void Begin(const Prim& q) {
    if (runOpen_ && q.rgb == runRgb_ && q.width == runWidth_ && q.lineType == runType_ &&
        runElements_ < kMaxPathElements)
      return;
    Flush();
    EndText();
    runOpen_ = true, runRgb_ = q.rgb, runWidth_ = q.width, runType_ = q.lineType;
    if (int64_t(q.rgb) != stroke_) Colour(out_, q.rgb, "RG"), stroke_ = q.rgb;
    const double w = std::max(double(q.width), kHairline) * kUnits;
    if (w != width_) out_.Fix(w, 2), out_.Lit(" w\n"), width_ = w;
    const LineType& lt = s_.lineTypes[q.lineType < s_.lineTypes.size() ? q.lineType : 0];
    const bool dashed = !lt.dashes.empty() && lt.dashes.size() % 2 == 0;
    const int dash = dashed ? q.lineType : -1;
    if (dash != dash_) {
      out_.Ch('[');
      if (dashed)
        for (size_t i = 0; i < lt.dashes.size(); ++i) {
          if (i) out_.Ch(' ');
          out_.Fix(std::max(lt.dashes[i], kMinDash) * kUnits, 2);
        }
      // Dashes end flat, continuous lines round.
      out_.Lit(dashed ? "] 0 d 0 J\n" : "] 0 d 1 J\n");
      dash_ = dash;
    }
  }

  void Fill(uint32_t rgb) {
    if (int64_t(rgb) != fill_) Colour(out_, rgb, "rg"), fill_ = rgb;
  }

  // An insertion taken whole: its definition's form, mapped from the form's content units.
  // Everything the page had set comes back after it.
  void Place(const Prim& q, const Placement& at) {
    Flush();
    EndText();
    const Forms::Form& f = forms_.Of(s_, q.def);
    const Xform m = dev_.Then(at.toPaper.Then(q.place)).Then(Xform{1 / kUnits, 0, 0, 1 / kUnits, 0, 0});
    out_.Lit("q "), out_.Fix(m.a, 8), out_.Ch(' '), out_.Fix(m.c, 8), out_.Ch(' ');
    out_.Fix(m.b, 8), out_.Ch(' '), out_.Fix(m.d, 8), out_.Ch(' ');
    out_.Fix(m.e, 2), out_.Ch(' '), out_.Fix(m.f, 2), out_.Lit(" cm /X"), out_.Int(f.name), out_.Lit(" Do Q\n");
  }

  // An elliptic arc as cubic curves mapped to the page exactly (affine maps keep curves curves):
  // quarter turns where their deviation (2.7e-4 of the radius) stays under a quarter of a
  // content unit, else eighths (4.2e-6 of the radius).
  void Arc(const Prim& q, const Placement& at) {
    const double ct = q.tilt == 0 ? 1 : std::cos(q.tilt), st = q.tilt == 0 ? 0 : std::sin(q.tilt);
    const Xform m = dev_.Then(at.toPaper.Then(Xform{ct, -st, st, ct, q.p[0], q.p[1]}));
    const double rx = q.radius, ry = q.radius * q.flat;
    const double start = q.full ? 0 : q.start, sweep = q.full ? 2 * kPi : q.sweep;
    const double r = std::fabs(q.radius) * std::max(1.0, std::fabs(q.flat)) *
                     std::max(std::hypot(m.a, m.c), std::hypot(m.b, m.d));
    const double turn = r * 2.7e-4 < 0.25 ? kPi / 2 : kPi / 4;
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / turn - 1e-9)), 1, 8);
    // Most arcs are whole circles: the last step's turn is kept.
    const double step = sweep / pieces;
    if (step != step_) step_ = step, stepA_ = 4.0 / 3.0 * std::tan(step / 4), stepC_ = std::cos(step), stepS_ = std::sin(step);
    const double a = stepA_, cs = stepC_, ss = stepS_;
    double c0 = start == 0 ? 1 : std::cos(start), s0 = start == 0 ? 0 : std::sin(start), x, y;
    m.Apply(rx * c0, ry * s0, x, y);
    out_.Pt(x, y, 'm');
    for (int i = 1; i <= pieces; ++i) {
      const double c1 = c0 * cs - s0 * ss, s1 = s0 * cs + c0 * ss;
      m.Apply(rx * (c0 - a * s0), ry * (s0 + a * c0), x, y);
      out_.Co(x), out_.Co(y);
      m.Apply(rx * (c1 + a * s1), ry * (s1 - a * c1), x, y);
      out_.Co(x), out_.Co(y);
      m.Apply(rx * c1, ry * s1, x, y);
      out_.Pt(x, y, 'c');
      c0 = c1, s0 = s1;
    }
    runElements_ += 1 + 3 * pieces;
  }

  // A filled circle of radius r (content units) at (x, y): the point mark scaled. A mark may be a
  // fraction of a unit, so small ones keep two decimals of their place and three of their size.
  void Disc(double x, double y, double r) {
    forms_.UsePointMark();
    out_.Lit("q "), out_.Fix(r, 3), out_.Lit(" 0 0 "), out_.Fix(r, 3), out_.Ch(' ');
    if (r >= 4) {  // a quarter unit off is nothing on a mark this size
      out_.Co(x), out_.Co(y);
    } else {
      out_.Fix(x, 2), out_.Ch(' '), out_.Fix(y, 2), out_.Ch(' ');
    }
    out_.Lit("cm /P Do Q\n");
  }

  // Texts as the PNG lays them out: each run's cells, the glyphs fitted to them.
  void Text(const Prim& q, const Placement& at) {
    LayoutText(q, at, runs_);
    const std::vector<TextRun>& runs = runs_;
    if (runs.empty()) return;
    const int face = glyphs_.FaceOf(q.font);
    for (const TextRun& r : runs) {
      const double h = r.cellH, w = r.cellW;
      if (h < 0.5 * kDot || w <= 0 || h > 1e6 * kDot) continue;  // too small to see
      codes_.clear();
      double natural = 0;  // the glyphs' advances, 1/kEm em
      for (size_t i = 0; i < r.text.size(); ++i) {
        char32_t c = r.text[i];
        if (QChar::isHighSurrogate(c) && i + 1 < r.text.size() && QChar::isLowSurrogate(r.text[i + 1]))
          c = QChar::surrogateToUcs4(r.text[i], r.text[i + 1]), ++i;
        const Glyphs::Ref& g = glyphs_.Get(face, c);
        codes_.push_back({g, uint32_t(i + 1)});
        natural += g.width;
      }
      if (codes_.empty()) continue;
      Fill(q.rgb);  // colours may change inside a text object
      if (!textOpen_) out_.Lit("BT\n"), textOpen_ = true, moved_ = true, lineX_ = lineY_ = 0;
      const double c = std::cos(r.angle), sn = std::sin(r.angle);
      // The glyphs' origin: the baseline lies kEmBottom em above the cells' lower edge.
      const double ox = r.x - sn * paint::kEmBottom * h, oy = r.y + c * paint::kEmBottom * h;
      if (r.gap == 0) {
        const double units = TextUnits(r.text);
        const double fit = units > 0 && natural > 0 ? units * kEm / natural : 1.0;
        Show(ox, oy, c, sn, w * fit, h, 0, codes_.size());
      } else {
        // Spaced: each character in its own cell, fitted to it.
        double along = 0;
        size_t from = 0;
        for (size_t k = 0; k < codes_.size(); ++k) {
          const std::u16string_view one = std::u16string_view(r.text).substr(from, codes_[k].end - from);
          const double units = TextUnits(std::u16string(one));  // counted as the scene counts it
          const int wk = codes_[k].g.width;
          const double fit = units > 0 && wk > 0 ? units * kEm / wk : 1.0;
          Show(ox + c * along, oy + sn * along, c, sn, w * fit, h, k, k + 1);
          along += units * w + static_cast<double>(one.size()) * r.gap;
          from = codes_[k].end;
        }
      }
    }
  }

  // Glyphs codes_[from, to) from (x, y) mm along (c, sn), an em `sx` wide and `sy` high (mm).
  // Upright glyphs as wide as high, the most common, take their em as the font's size and move
  // from the last text's start with `Td` (in hundredths of a unit, so nothing adds up); others
  // are placed by a whole text matrix at size 1.
  void Show(double x, double y, double c, double sn, double sx, double sy, size_t from, size_t to) {
    sx *= kUnits, sy *= kUnits;
    double X, Y;
    dev_.Apply(x, y, X, Y);
    const int64_t em = Round(sx * 1000);
    int64_t size = 1000;  // thousandths
    if (sn == 0 && c > 0 && em == Round(sy * 1000) && em > 0) {
      size = em;
      const int64_t hx = Round(X * 100), hy = Round(Y * 100);
      if (moved_) {
        out_.Fix(double(hx - lineX_) / 100, 2), out_.Ch(' '), out_.Fix(double(hy - lineY_) / 100, 2), out_.Lit(" Td");
      } else {
        out_.Lit("1 0 0 1 "), out_.Fix(double(hx) / 100, 2), out_.Ch(' '), out_.Fix(double(hy) / 100, 2);
        out_.Lit(" Tm");
      }
      moved_ = true, lineX_ = hx, lineY_ = hy;
    } else {
      out_.Fix(sx * c, 3), out_.Ch(' '), out_.Fix(sx * sn, 3), out_.Ch(' ');
      out_.Fix(-sy * sn, 3), out_.Ch(' '), out_.Fix(sy * c, 3), out_.Ch(' ');
      out_.Fix(X, 2), out_.Ch(' '), out_.Fix(Y, 2), out_.Lit(" Tm");
      moved_ = false;
    }
    bool inString = false;
    for (size_t k = from; k < to; ++k) {
      const Glyphs::Ref& g = codes_[k].g;
      if (int64_t(g.font) != font_ || size != size_) {
        if (inString) out_.Lit("> Tj");
        out_.Lit(" /F"), out_.Int(g.font), out_.Ch(' '), out_.Fix(double(size) / 1000, 3), out_.Lit(" Tf");
        font_ = g.font, size_ = size;
        inString = false;
      }
      if (!inString) out_.Lit(" <"), inString = true;
      out_.Hex2(g.code);
    }
    if (inString) out_.Lit("> Tj");
    out_.Ch('\n');
  }

  struct Code {
    Glyphs::Ref g;
    uint32_t end;  // index past the character in the run's text
  };

  const Scene& s_;
  Glyphs& glyphs_;
  Document& doc_;
  Forms& forms_;
  Sink out_, spare_;  // being made, being compressed
  std::string packed_;
  std::future<bool> packing_;
  std::vector<int> streams_;
  bool ok_ = true;
  const Xform dev_;  // paper millimetres -> content units
  std::vector<Code> codes_;
  std::vector<TextRun> runs_;  // the text being drawn, its storage kept for the next
  bool runOpen_ = false;
  bool textOpen_ = false;
  bool joinable_ = false;  // a continuous line may go on from (endX_, endY_)
  int64_t endX_ = 0, endY_ = 0;
  int runElements_ = 0;
  uint32_t runRgb_ = 0;
  float runWidth_ = 0;
  uint16_t runType_ = 0;
  int64_t stroke_ = 0, fill_ = 0;  // PDF starts with black for both
  double width_ = 1 * 1.0;  // PDF's initial line width: one unit
  int dash_ = -2;  // none set yet: PDF starts with flat caps
  int64_t font_ = -1;  // none chosen yet
  double step_ = 0, stepA_ = 0, stepC_ = 1, stepS_ = 0;  // the last arc's step, its handle and turn
  int64_t size_ = -1;  // its size in thousandths, none yet
  // The text line matrix is a translation to (lineX_, lineY_), in hundredths of a unit: at the
  // start of a text object, and after an upright text.
  bool moved_ = false;
  int64_t lineX_ = 0, lineY_ = 0;
};

// Forms reaching further than this from their origin (paper millimetres) are expanded instead:
// the eight decimals of a placement keep what they draw within a hundredth of a millimetre.
constexpr double kMaxFormReach = 1e6;

const Forms::Form* Forms::Get(const Scene& s, int def) {
  OfScene& scene = Of(s);
  Form& f = scene.forms[size_t(def)];
  if (f.state == Form::kReady) return &f;
  if (f.state != Form::kUnknown) return nullptr;
  f.state = Form::kBuilding;
  Content c(s, glyphs_, doc_, *this);
  Extent e;
  WalkOptions w;
  w.budget = budget_ - spent_;
  w.survey = &scene.survey;
  w.clip[0] = w.clip[1] = -1e300, w.clip[2] = w.clip[3] = 1e300;  // its work wherever it is placed
  // Inside, a nested form lies within the reach of this one, which its placements check.
  w.whole = [&](const Prim& q, const Placement& at) { return Take(s, q, at, HUGE_VAL); };
  const WalkResult r = WalkDefinition(s, def, Placement{}, [&](const Prim& q, const Placement& at) {
    if (q.kind == Kind::Insert) {
      const Form& g = Of(s, q.def);
      const Xform m = at.toPaper.Then(q.place);
      double x, y;
      for (int k = 0; k < 4; ++k) m.Apply(g.box[k & 1 ? 2 : 0], g.box[k & 2 ? 3 : 1], x, y), e.Add(x, y);
      e.text = e.text || g.text, e.pen = std::max(e.pen, g.pen);
    } else if (Printed(s, q)) {
      e.Add(q, at);
    } else {
      return;
    }
    c.Draw(q, at);
  }, w);
  spent_ += r.work;
  if (!r.complete || r.unrepresentable) return f.state = Form::kUnusable, nullptr;
  if (!(e.box[0] <= e.box[2])) e.box[0] = e.box[1] = e.box[2] = e.box[3] = 0;  // draws nothing
  f.text = e.text, f.pen = e.pen;
  std::copy(e.box, e.box + 4, f.box);
  f.reach = 0;
  for (int k = 0; k < 4; ++k) f.reach = std::max(f.reach, std::hypot(f.box[k & 1 ? 2 : 0], f.box[k & 2 ? 3 : 1]));
  std::string packed;
  if (!(f.reach <= kMaxFormReach) || !Deflate(c.Rest(), packed)) return f.state = Form::kUnusable, nullptr;
  // The box clips what the form draws: its pens' and marks' width beyond the geometry.
  const double pad = f.pen + 1;
  Sink d;
  d.Lit("/Type /XObject /Subtype /Form /BBox [");
  d.Int(int64_t(std::floor((f.box[0] - pad) * kUnits))), d.Ch(' ');
  d.Int(int64_t(std::floor((f.box[1] - pad) * kUnits))), d.Ch(' ');
  d.Int(int64_t(std::ceil((f.box[2] + pad) * kUnits))), d.Ch(' ');
  d.Int(int64_t(std::ceil((f.box[3] + pad) * kUnits))), d.Lit("] /Resources 4 0 R ");
  const int id = doc_.NewObject();
  doc_.Stream(id, packed, true, d.view());
  f.name = static_cast<int>(ids_.size());
  ids_.push_back(id);
  f.state = Form::kReady;
  return &f;
}

// Each font as a Type 3 font: its glyph procedures, widths and the characters they draw.
void WriteFonts(Document& doc, const Glyphs& glyphs, std::vector<int>& ids) {
  for (const Glyphs::Font& f : glyphs.fonts()) {
    const int font = doc.NewObject(), procs = doc.NewObject(), unicode = doc.NewObject();
    ids.push_back(font);
    std::vector<int> procIds;
    for (const std::string& p : f.procs) {
      procIds.push_back(doc.NewObject());
      doc.Stream(procIds.back(), p, false);
    }
    Sink d;
    d.Lit("<<");
    for (size_t i = 0; i < procIds.size(); ++i)
      d.Lit(" /g"), d.Int(int64_t(i)), d.Ch(' '), d.Int(procIds[i]), d.Lit(" 0 R");
    d.Lit(" >>");
    doc.Object(procs, d.view());

    Sink m;
    m.Lit("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
          "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
          "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
          "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n");
    for (size_t from = 0; from < f.chars.size(); from += 100) {
      const size_t to = std::min(f.chars.size(), from + 100);
      m.Int(int64_t(to - from)), m.Lit(" beginbfchar\n");
      for (size_t i = from; i < to; ++i) {
        m.Ch('<'), m.Hex2(uint8_t(i)), m.Lit("> <");
        const char32_t c = f.chars[i];
        if (c >= 0x10000) {
          m.Hex4(uint16_t(0xD800 + ((c - 0x10000) >> 10))), m.Hex4(uint16_t(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
          m.Hex4(uint16_t(c));
        }
        m.Lit(">\n");
      }
      m.Lit("endbfchar\n");
    }
    m.Lit("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    doc.Stream(unicode, m.view(), false);

    Sink t;
    t.Lit("<< /Type /Font /Subtype /Type3 /FontBBox [");
    for (int i = 0; i < 4; ++i) t.Int(static_cast<int64_t>(f.box[i])), t.Ch(i < 3 ? ' ' : ']');
    t.Lit(" /FontMatrix [0.001 0 0 0.001 0 0] /CharProcs "), t.Int(procs);
    t.Lit(" 0 R\n/Encoding << /Type /Encoding /Differences [0");
    for (size_t i = 0; i < f.procs.size(); ++i) t.Lit(" /g"), t.Int(int64_t(i));
    t.Lit("] >>\n/FirstChar 0 /LastChar "), t.Int(int64_t(f.procs.size()) - 1), t.Lit(" /Widths [");
    for (size_t i = 0; i < f.widths.size(); ++i) {
      if (i) t.Ch(' ');
      t.Int(f.widths[i]);
    }
    t.Lit("]\n/ToUnicode "), t.Int(unicode), t.Lit(" 0 R >>");
    doc.Object(font, t.view());
  }
}

// Writes the pages, one a scene, each of its own view's size; false when a page would need more
// than the budget (nothing is written then) or the file cannot be written.
//
// Insertions drawn as forms are charged a bound of their expansion's work, so a page near its
// budget may stop short where the expanded walk would not: then the exact work decides, as for
// any picture, and a page that fits after all is made again without forms.
bool WriteDocument(const std::vector<const Scene*>& pages, const QString& path, const PaintOptions& opt,
                   PaintReport* report) {
  if (pages.empty()) return false;
  std::vector<bool> plain(pages.size());  // pages made without forms
  std::vector<double> shown(pages.size());  // progress shown per page, never going back
  for (;;) {
    Document doc;
    Glyphs glyphs;
    Forms forms(glyphs, doc, opt.budget);
    std::vector<int> pageIds;
    size_t again = pages.size();  // a page to make again without forms
    for (size_t i = 0; i < pages.size() && again == pages.size(); ++i) {
      const Scene& s = *pages[i];
      const QRectF view = View(s, opt.fitDrawing);
      WalkOptions w = paint::Walking(view, 1, opt.budget, true);
      if (opt.progress) {
        // Measured first, so that the progress is exact.
        const WalkResult m = Measure(s, w);
        if (report) report->walk = m, report->overBudget = !m.complete;
        if (!m.complete) return false;
        const size_t total = std::max<size_t>(m.work, 1);
        w.progress = [&opt, &shown, i, total](size_t spent) {
          const double f = std::min(1.0, double(spent) / double(total));
          if (f > shown[i]) shown[i] = f, opt.progress("painting", f);
        };
      }
      if (!plain[i]) {
        w.whole = [&](const Prim& q, const Placement& at) {
          return forms.Take(s, q, at, kMaxCoordinate * (1 - 1e-6));
        };
        w.survey = &forms.SurveyFor(s);
      }
      Content page(s, view, glyphs, doc, forms);
      const WalkResult r = Walk(s, [&](const Prim& q, const Placement& at) {
        // An insertion taken whole is drawn whatever its own marks: what it places decides.
        if (q.kind != Kind::Insert && !Printed(s, q)) return;
        page.Draw(q, at);
        page.Pace();
      }, w);
      if (report) report->walk = r, report->overBudget = !r.complete;
      if (!r.complete && !plain[i]) {
        bool fits = opt.progress != nullptr;  // measured above
        if (!fits) {
          const WalkResult m = Measure(s, paint::Walking(view, 1, opt.budget, true));
          if (report) report->walk = m;
          fits = m.complete;
        }
        if (fits) {
          again = i;
          break;
        }
      }
      if (!r.complete || !page.Finish()) return false;
      const int pageId = doc.NewObject();
      Sink p;
      p.Lit("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 ");
      p.Fix(view.width() * 72 / 25.4, 3), p.Ch(' '), p.Fix(view.height() * 72 / 25.4, 3);
      p.Lit("] /Resources 4 0 R");
      if (!page.streams().empty()) {  // an empty page has no content
        p.Lit(" /Contents [");
        for (int id : page.streams()) p.Int(id), p.Lit(" 0 R ");
        p.Ch(']');
      }
      p.Lit(" >>");
      doc.Object(pageId, p.view());
      pageIds.push_back(pageId);
    }
    if (again < pages.size()) {
      plain[again] = true;
      continue;
    }
    if (opt.progress) opt.progress("writing", 0);
    std::vector<int> fontIds;
    WriteFonts(doc, glyphs, fontIds);
    Sink r;
    r.Lit("<< /Font <<");
    for (size_t i = 0; i < fontIds.size(); ++i) r.Lit(" /F"), r.Int(int64_t(i)), r.Ch(' '), r.Int(fontIds[i]), r.Lit(" 0 R");
    r.Lit(" >>");
    if (!forms.ids().empty() || forms.pointMark()) {
      r.Lit(" /XObject <<");
      for (size_t i = 0; i < forms.ids().size(); ++i)
        r.Lit(" /X"), r.Int(int64_t(i)), r.Ch(' '), r.Int(forms.ids()[i]), r.Lit(" 0 R");
      if (forms.pointMark()) r.Lit(" /P "), r.Int(forms.pointMark()), r.Lit(" 0 R");
      r.Lit(" >>");
    }
    r.Lit(" >>");
    doc.Object(4, r.view());
    Sink kids;
    kids.Lit("<< /Type /Pages /Kids [");
    for (size_t i = 0; i < pageIds.size(); ++i) {
      if (i) kids.Ch(' ');
      kids.Int(pageIds[i]), kids.Lit(" 0 R");
    }
    kids.Lit("] /Count "), kids.Int(int64_t(pageIds.size())), kids.Lit(" >>");
    doc.Object(2, kids.view());
    doc.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    doc.Object(3, "<< /Creator (Dravik) /Producer (Dravik) >>");
    doc.Finish();
    const bool ok = paint::Commit(path, doc.out().view(), report);
    if (opt.progress) opt.progress("writing", 1);
    return ok;
  }
}

}  // namespace

bool WritePdf(const Scene& s, const QString& path, const PaintOptions& o, PaintReport* report) {
  return WriteDocument({&s}, path, o, report);
}

bool WritePdfPages(const std::vector<const Scene*>& pages, const QString& path, const PaintOptions& o,
                   PaintReport* report) {
  for (const Scene* p : pages)
    if (!p) return false;
  return WriteDocument(pages, path, o, report);
}

}  // namespace scene
