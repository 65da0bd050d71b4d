// Painting a scene with QPainter (the window's preview, PNG and SVG; the PDF has its own writer,
// PdfOut.cpp). Geometry is mapped to device coordinates point by point (so block placements never
// scale pen widths or dash patterns); texts are drawn at a reference font size under a painter
// transform, which keeps them text in the SVG.
#include "painter/ScenePainter.h"


#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPaintEngine>
#include <QPainterPath>
#include <QSvgGenerator>

#include <cmath>

#include "common/Func_2.h"
#include "common/codepage.h"
#include "jww/JwwUnit.h"
#include "painter/PaintShared.h"

namespace scene {

namespace {

constexpr double kPi = 3.14159265358979323846;
using paint::kEmBottom;
using paint::kRefPx;
using paint::Face;

// While an SVG is painted: its texts as SVG elements, each drawn as a placeholder that names its
// index here and is replaced afterwards (the SVG generator writes a text as pieces in its own
// font's metrics, with one face, which browsers render gappy and overlapping).
thread_local std::vector<QString>* svgTexts = nullptr;
const QString kSvgMark = QStringLiteral("@@dravik-text-%1@@");

// The faces an SVG names for a drawing's face: the face itself, a Japanese face of the same
// style the system may have, then generic families.
QString SvgFamilies(const std::u16string& name) {
  QString family = QString::fromStdU16String(name);
  while (family.startsWith(u'@')) family.remove(0, 1);
  const bool serif = family.contains(u"明朝") || family.contains(QLatin1String("Mincho"), Qt::CaseInsensitive);
  QStringList list;
  if (!family.isEmpty()) list << family;
  if (serif) list << QStringLiteral("MS Mincho") << QStringLiteral("Noto Serif CJK JP") << QStringLiteral("serif");
  else
    list << QStringLiteral("MS Gothic") << QStringLiteral("Noto Sans Mono CJK JP") << QStringLiteral("Noto Sans CJK JP")
         << QStringLiteral("sans-serif");
  QStringList quoted;
  for (QString f : list) {
    if (f == QLatin1String("serif") || f == QLatin1String("sans-serif")) quoted << f;
    else quoted << QLatin1Char('\'') + f.remove(u'\'').toHtmlEscaped() + QLatin1Char('\'');
  }
  return quoted.join(QLatin1String(", "));
}

QString SvgEscaped(const std::u16string& text) {
  QString t;
  for (char16_t c : text)
    if (c >= 0x20 || c == u'\t') t += QChar(c);  // control characters are no XML
  return t.toHtmlEscaped();
}

QString Num(double v) { return QString::number(v, 'f', 3); }

struct Canvas {
  Canvas(QPainter& painter, double scale, double x, double y) : p(painter), k(scale), ox(x), oy(y) {}
  QPainter& p;
  double k;       // device units per paper millimetre
  double ox, oy;  // device position of the paper's centre
  QHash<QString, QFont> fonts;
  std::vector<double> pts;
  QPolygonF poly;

  QPointF Dev(const Xform& m, double x, double y) const {
    double X, Y;
    m.Apply(x, y, X, Y);
    return {ox + X * k, oy - Y * k};
  }

  void SetPen(const Prim& q, bool dashed) {
    const double w = std::max(q.width * k, 0.35);  // a hairline stays visible
    QPen pen(QColor::fromRgb(q.rgb), w);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    if (dashed) {
      pen.setCapStyle(Qt::FlatCap);
      QList<qreal> pattern;
      for (double d : dashes) pattern << std::max(d * k, 0.5) / w;
      pen.setDashPattern(pattern);
    }
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
  }
  std::vector<double> dashes;

  void Stroke(const Scene& s, const Prim& q) {
    const LineType& lt = s.lineTypes[q.lineType < s.lineTypes.size() ? q.lineType : 0];
    dashes = lt.dashes;
    SetPen(q, !dashes.empty() && dashes.size() % 2 == 0);
  }

  const QFont& Font(const std::u16string& name) {
    const QString key = QString::fromStdU16String(name);
    auto it = fonts.find(key);
    if (it != fonts.end()) return *it;
    return *fonts.insert(key, Face(name));
  }

  void Text(const Prim& q, const Placement& at) {
    const std::vector<TextRun> runs = LayoutText(q, at);
    if (svgTexts && p.paintEngine() && p.paintEngine()->type() == QPaintEngine::SVG) {
      SvgText(q, runs);
      return;
    }
    for (const TextRun& r : runs) Run(q, r);
  }

  // A text as one SVG <text>, one <tspan> per run, each given the length it takes on the paper
  // (textLength), its spacing and a list of faces that ends in a generic family, so that any
  // renderer draws it in its box.
  void SvgText(const Prim& q, const std::vector<TextRun>& runs) {
    if (runs.empty()) return;
    const TextRun& first = runs.front();
    if (first.cellH * k < 0.05 || first.cellH * k > 1e6) return;
    const QPointF o = Dev(Xform{}, first.x, first.y);
    const double th = -first.angle;  // the frame's turn on the device (y downwards)
    const double c = std::cos(th), sn = std::sin(th);
    QString e = QStringLiteral("<text transform=\"translate(%1 %2) rotate(%3)\" fill=\"#%4\" stroke=\"none\" "
                               "font-family=\"%5\" xml:space=\"preserve\">")
                    .arg(Num(o.x()), Num(o.y()), Num(th * 180 / kPi))
                    .arg(q.rgb, 6, 16, QLatin1Char('0'))
                    .arg(SvgFamilies(q.font));
    for (const TextRun& r : runs) {
      const QPointF d = Dev(Xform{}, r.x, r.y) - o;
      const double lx = d.x() * c + d.y() * sn, ly = -d.x() * sn + d.y() * c;
      const double h = r.cellH * k;
      const double length = (TextUnits(r.text) * r.cellW + static_cast<double>(r.text.size()) * r.gap) * k;
      e += QStringLiteral("<tspan x=\"%1\" y=\"%2\" font-size=\"%3\"").arg(Num(lx), Num(ly - kEmBottom * h), Num(h));
      if (r.gap != 0) e += QStringLiteral(" letter-spacing=\"%1\"").arg(Num(r.gap * k));
      if (length > 0) e += QStringLiteral(" textLength=\"%1\" lengthAdjust=\"spacingAndGlyphs\"").arg(Num(length));
      e += QLatin1Char('>') + SvgEscaped(r.text) + QStringLiteral("</tspan>");
    }
    e += QStringLiteral("</text>");
    p.save();
    p.resetTransform();
    p.setPen(QColor::fromRgb(q.rgb));
    p.drawText(QPointF(0, 0), kSvgMark.arg(svgTexts->size()));
    p.restore();
    svgTexts->push_back(std::move(e));
  }

  // One run: the cell's lower edge lies kEmBottom em below the baseline, where Japanese faces
  // put the bottom of their em box, so the glyphs fill the cells as on paper. A face whose
  // advances differ from the cells (proportional Latin letters) is fitted to them. A spaced run
  // is drawn character by character at its cells: the toolkit's letter spacing comes out
  // differently on different devices (twice as wide in PDF).
  void Run(const Prim& q, const TextRun& r) {
    const double h = r.cellH * k, w = r.cellW * k;
    if (h < 0.5 || w <= 0 || h > 1e6) return;  // too small to see
    const QFont& f = Font(q.font);
    const QFontMetricsF fm(f);
    p.save();
    p.translate(Dev(Xform{}, r.x, r.y));
    p.rotate(-r.angle * 180 / kPi);
    p.setPen(QColor::fromRgb(q.rgb));
    p.setFont(f);
    auto draw = [&](const QString& text, double units, double at) {
      const double natural = fm.horizontalAdvance(text);
      const double fit = units > 0 && natural > 0 ? units * kRefPx / natural : 1.0;
      p.save();
      p.translate(at, 0);
      p.scale(w / kRefPx * fit, h / kRefPx);
      p.drawText(QPointF(0, -kEmBottom * kRefPx), text);
      p.restore();
    };
    if (r.gap == 0) {
      draw(QString::fromStdU16String(r.text), TextUnits(r.text), 0);
    } else {
      double at = 0;
      for (size_t i = 0; i < r.text.size(); ++i) {
        const size_t n = QChar::isHighSurrogate(r.text[i]) && i + 1 < r.text.size() ? 2 : 1;
        const std::u16string one = r.text.substr(i, n);
        const double units = TextUnits(one);  // counted as the scene counts it
        draw(QString::fromStdU16String(one), units, at);
        at += units * w + static_cast<double>(n) * r.gap * k;
        i += n - 1;
      }
    }
    p.restore();
  }

  // Consecutive lines and curves of one pen and line type go into one path, drawn when the pen
  // changes, before anything else is drawn (so the drawing order stays) and at the end: a path per
  // run rather than a call per primitive keeps PDF and SVG small and fast. Each primitive is its
  // own subpath, so dash patterns start afresh on each as they did.
  QPainterPath run;
  int runElements = 0;
  bool runOpen = false;
  uint32_t runRgb = 0;
  float runWidth = 0;
  uint16_t runType = 0;

  void Flush() {
    if (runOpen && !run.isEmpty()) p.drawPath(run);
    run.clear();
    runElements = 0;
    runOpen = false;
  }

  void Begin(const Scene& s, const Prim& q) {
    if (runOpen && q.rgb == runRgb && q.width == runWidth && q.lineType == runType && runElements < 4096)
      return;
    Flush();
    Stroke(s, q);
    runOpen = true, runRgb = q.rgb, runWidth = q.width, runType = q.lineType;
  }

  // An elliptic arc as cubic curves of at most 45 degrees each (within a few millionths of the
  // radius), mapped to the device exactly: affine maps keep curves curves.
  void AddArc(const Prim& q, const Placement& at) {
    const double ct = std::cos(q.tilt), st = std::sin(q.tilt);
    const Xform local{ct, -st, st, ct, q.p[0], q.p[1]};
    const Xform m = Xform{k, 0, 0, -k, ox, oy}.Then(at.toPaper.Then(local));
    const double rx = q.radius, ry = q.radius * q.flat;
    const QRectF box(-rx, -ry, 2 * rx, 2 * ry);
    // Qt measures angles with y downwards: -t gives the point (rx cos t, ry sin t).
    const double start = q.full ? 0 : q.start * 180 / kPi, sweep = q.full ? 360 : q.sweep * 180 / kPi;
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::fabs(sweep) / 45)), 1, 8);
    QPainterPath arc;
    arc.arcMoveTo(box, -start);
    for (int i = 0; i < pieces; ++i) arc.arcTo(box, -(start + sweep * i / pieces), -sweep / pieces);
    run.addPath(QTransform(m.a, m.c, m.b, m.d, m.e, m.f).map(arc));
    runElements += 1 + 3 * pieces;
  }

  void Draw(const Scene& s, const Prim& q, const Placement& at) {
    switch (q.kind) {
      case Kind::Line:
        Begin(s, q);
        run.moveTo(Dev(at.toPaper, q.p[0], q.p[1]));
        run.lineTo(Dev(at.toPaper, q.p[2], q.p[3]));
        runElements += 2;
        break;
      case Kind::Arc:
        Begin(s, q);
        AddArc(q, at);
        break;
      case Kind::Fill: {
        Flush();
        poly.resize(static_cast<int>(q.ring.size() / 2));
        for (size_t i = 0; i + 1 < q.ring.size(); i += 2)
          poly[int(i / 2)] = Dev(at.toPaper, q.ring[i], q.ring[i + 1]);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(q.rgb));
        p.drawPolygon(poly, Qt::WindingFill);
        break;
      }
      case Kind::Point: {
        Flush();
        const double r = std::max(q.radius * k, 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(q.rgb));
        p.drawEllipse(Dev(at.toPaper, q.p[0], q.p[1]), r, r);
        break;
      }
      case Kind::Text:
        Flush();
        Text(q, at);
        break;
      case Kind::Insert:
        break;
    }
  }
};

// The SVG with each placeholder text replaced by the element it names.
QByteArray WithSvgTexts(const QByteArray& svg, const std::vector<QString>& texts) {
  if (texts.empty()) return svg;
  QByteArray out;
  out.reserve(svg.size() + svg.size() / 4);
  const QByteArray mark = "@@dravik-text-";
  qsizetype from = 0;
  for (qsizetype at = svg.indexOf(mark); at >= 0; at = svg.indexOf(mark, at + 1)) {
    const qsizetype open = svg.lastIndexOf("<text", at), end = svg.indexOf("</text>", at);
    const qsizetype numEnd = svg.indexOf("@@", at + mark.size());
    if (open < from || end < 0 || numEnd < 0) continue;
    bool ok = false;
    const size_t i = svg.mid(at + mark.size(), numEnd - at - mark.size()).toULongLong(&ok);
    if (!ok || i >= texts.size()) continue;
    out += svg.mid(from, open - from);
    out += texts[i].toUtf8();
    from = end + 7;
  }
  out += svg.mid(from);
  return out;
}

}  // namespace

// The drawing's face where the system has it, else a monospaced Japanese face whose
// half-width characters are half a cell wide, as the drawing's own faces are; at the reference
// size.
QFont paint::Face(const std::u16string& name) {
  QFont f;
  QString family = QString::fromStdU16String(name);
  while (family.startsWith(u'@')) family.remove(0, 1);  // '@' marks a vertical face
  // Only a face the system has: an unknown name would let the system substitute any face,
  // a different one for Latin letters than for Japanese.
  QStringList families{QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP")};
  if (!family.isEmpty() && QFontDatabase::hasFamily(family)) families.prepend(family);
  f.setFamilies(families);
  f.setPixelSize(kRefPx);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

// Writes `bytes` to `path` (UTF-16 as PathFromNative gives it, so that a name that is not UTF-8
// keeps its bytes) through the project's one output routine; the system's reason on failure.
bool paint::Commit(const QString& path, std::string_view bytes, PaintReport* report) {
  std::string why;
  const bool ok = jww::WriteFileAtomic(path.toStdU16String(), bytes, &why);
  if (!ok && report) report->reason = why;
  return ok;
}

WalkOptions paint::Walking(const QRectF& view, double k, size_t budget, bool vector) {
  WalkOptions w;
  w.budget = budget;
  // Vector outputs keep curves as curves: their work does not grow with the device's resolution,
  // so it is counted as for a picture at 150 dpi.
  w.pxPerMm = vector ? 150 / 25.4 : k;
  w.clip[0] = view.left(), w.clip[1] = view.top(), w.clip[2] = view.right(), w.clip[3] = view.bottom();
  return w;
}

QRectF View(const Scene& s, bool fitDrawing) {
  const double W = s.paperW > 0 ? s.paperW : 1, H = s.paperH > 0 ? s.paperH : 1;
  const QRectF paper(-W / 2, -H / 2, W, H);
  double x0, y0, x1, y1;
  if (!fitDrawing || !Bounds(s, x0, y0, x1, y1)) return paper;
  // What is drawn on the paper, a margin around it, and no more than the paper.
  x0 = std::max(x0, -W / 2), y0 = std::max(y0, -H / 2);
  x1 = std::min(x1, W / 2), y1 = std::min(y1, H / 2);
  if (!(x0 <= x1 && y0 <= y1)) return paper;  // nothing on the paper
  const double margin = std::max(5.0, 0.02 * std::max(x1 - x0, y1 - y0));
  x0 = std::max(x0 - margin, -W / 2), y0 = std::max(y0 - margin, -H / 2);
  x1 = std::min(x1 + margin, W / 2), y1 = std::min(y1 + margin, H / 2);
  return QRectF(x0, y0, x1 - x0, y1 - y0);
}

namespace {

// Refuses a picture whose walk would take more than the budget, before anything is drawn; the
// budget of the painting itself then becomes the work it takes, which makes its progress exact.
bool Affordable(const Scene& s, const QRectF& view, double k, bool vector, PaintOptions& o,
                PaintReport* report) {
  const WalkResult w = Measure(s, paint::Walking(view, k, o.budget, vector));
  if (report) report->walk = w, report->overBudget = !w.complete;
  if (!w.complete) return false;
  o.budget = w.work;
  return true;
}

void Stage(const PaintOptions& o, const char* stage, double fraction) {
  if (o.progress) o.progress(stage, fraction);
}

}  // namespace

WalkResult Paint(const Scene& s, QPainter& p, const QRectF& target, const PaintOptions& o) {
  const QRectF view = View(s, o.fitDrawing);
  const double k = std::min(target.width() / view.width(), target.height() / view.height());
  Canvas c(p, k, target.center().x() - view.center().x() * k, target.center().y() + view.center().y() * k);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  const QRectF sheet(c.ox + view.left() * k, c.oy - view.bottom() * k, view.width() * k, view.height() * k);
  p.fillRect(sheet, Qt::white);
  p.setClipRect(sheet);
  const QPaintEngine* engine = p.paintEngine();
  const bool vector = engine && engine->type() == QPaintEngine::SVG;
  WalkOptions w = paint::Walking(view, k, o.budget, vector);
  if (o.progress)
    w.progress = [&](size_t spent) { o.progress("painting", o.budget ? double(spent) / o.budget : 1.0); };
  const WalkResult r = Walk(s, [&](const Prim& q, const Placement& at) {
    if (Printed(s, q)) c.Draw(s, q, at);
  }, w);
  c.Flush();
  p.restore();
  return r;
}

QImage RenderDpi(const Scene& s, double dpi, const PaintOptions& opt, PaintReport* report) {
  PaintOptions o = opt;
  const QRectF view = View(s, o.fitDrawing);
  const double k = dpi / 25.4;
  const double w = std::ceil(view.width() * k), h = std::ceil(view.height() * k);
  if (!(w >= 1 && h >= 1) || w * h > kMaxPixels) {
    if (report) {
      report->tooManyPixels = true;
      report->pixels = w * h;
      // The largest whole resolution whose picture fits.
      double d = std::floor(25.4 * std::sqrt(kMaxPixels / (view.width() * view.height())));
      while (d > 0 && std::ceil(view.width() * d / 25.4) * std::ceil(view.height() * d / 25.4) > kMaxPixels) --d;
      report->maxDpi = std::max(d, 0.0);
    }
    return {};
  }
  if (!Affordable(s, view, k, false, o, report)) return {};
  QImage img(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
  if (img.isNull()) return img;
  img.fill(Qt::white);
  const int dpm = static_cast<int>(std::lround(dpi / 0.0254));
  img.setDotsPerMeterX(dpm);
  img.setDotsPerMeterY(dpm);
  QPainter p(&img);
  const WalkResult r = Paint(s, p, QRectF(0, 0, view.width() * k, view.height() * k), o);
  if (report) report->walk = r;
  return img;
}

QImage RenderFit(const Scene& s, QSize size, size_t budget) {
  if (size.isEmpty() || double(size.width()) * size.height() > kMaxPixels) return {};
  QImage img(size, QImage::Format_RGB32);
  if (img.isNull()) return img;
  img.fill(QColor(0xE0, 0xE0, 0xE0));
  QPainter p(&img);
  PaintOptions o;
  o.budget = budget;
  Paint(s, p, QRectF(QPointF(0, 0), QSizeF(size)), o);
  return img;
}

bool WritePng(const Scene& s, const QString& path, double dpi, const PaintOptions& o, PaintReport* report) {
  if (!(dpi >= 1 && dpi <= 2400)) return false;
  const QImage img = RenderDpi(s, dpi, o, report);
  if (img.isNull()) return false;
  Stage(o, "writing", 0);
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  if (!img.save(&buf, "PNG")) return false;
  const bool ok = paint::Commit(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), report);
  Stage(o, "writing", 1);
  return ok;
}

bool WriteSvg(const Scene& s, const QString& path, const PaintOptions& opt, PaintReport* report) {
  PaintOptions o = opt;
  const QRectF view = View(s, o.fitDrawing);
  // Ten units per millimetre; the declared size is the view's in millimetres.
  const double k = 10;
  if (!Affordable(s, view, k, true, o, report)) return false;
  const double vw = view.width(), vh = view.height();
  QByteArray bytes;
  {
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buf);
    svg.setResolution(254);
    svg.setSize(QSize(static_cast<int>(std::ceil(vw * k)), static_cast<int>(std::ceil(vh * k))));
    svg.setViewBox(QRectF(0, 0, vw * k, vh * k));
    svg.setTitle(QStringLiteral("Dravik"));
    QPainter p;
    if (!p.begin(&svg)) return false;
    std::vector<QString> texts;
    svgTexts = &texts;
    const WalkResult r = Paint(s, p, QRectF(0, 0, vw * k, vh * k), o);
    svgTexts = nullptr;
    if (report) report->walk = r;
    Stage(o, "writing", 0);
    if (!p.end()) return false;
    bytes = WithSvgTexts(bytes, texts);
  }
  const bool ok = !bytes.isEmpty() && paint::Commit(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), report);
  Stage(o, "writing", 1);
  return ok;
}

QImage RenderDrawingFile(const QString& path, QSize size, int budget) {
  jww::TJwwData d;
  // A file that is no drawing gets no picture (not a blank paper).
  if (!d.FileCheck(path.toStdU16String())) return {};
  d.FilePrevIn(path.toStdU16String(), budget);
  if (d.EntLgrp.size() < 16) return {};  // no header: not a drawing
  return RenderFit(Build(d), size, kPictureWork);
}

}  // namespace scene
