// Painting a scene with QPainter. Geometry is mapped to device coordinates point by point (so
// block placements never scale pen widths or dash patterns); texts are drawn at a reference font
// size under a painter transform, which keeps them text in vector outputs.
#include "painter/ScenePainter.h"

#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <cmath>

#include "common/codepage.h"
#include "jww/JwwUnit.h"

namespace scene {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRefPx = 64;  // reference font size; texts are scaled from it
constexpr double kEmBottom = 0.12;  // the em box's lower edge below the baseline, in em

struct Canvas {
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

  // The drawing's face where the system has it, else a monospaced Japanese face whose
  // half-width characters are half a cell wide, as the drawing's own faces are.
  const QFont& Font(const std::u16string& name) {
    const QString key = QString::fromStdU16String(name);
    auto it = fonts.find(key);
    if (it != fonts.end()) return *it;
    QFont f;
    QString family = key;
    while (family.startsWith(u'@')) family.remove(0, 1);  // '@' marks a vertical face
    f.setFamilies({family, QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Noto Sans CJK JP")});
    f.setPixelSize(kRefPx);
    f.setHintingPreference(QFont::PreferNoHinting);
    return *fonts.insert(key, f);
  }

  void Text(const Prim& q, const Placement& at) {
    for (const TextRun& r : LayoutText(q, at)) Run(q, r);
  }

  // One run: the cell's lower edge lies kEmBottom em below the baseline, where Japanese faces
  // put the bottom of their em box, so the glyphs fill the cells as on paper. A face whose
  // advances differ from the cells (proportional Latin letters) is fitted to the run's length.
  void Run(const Prim& q, const TextRun& r) {
    const double h = r.cellH * k, w = r.cellW * k;
    if (h < 0.5 || w <= 0 || h > 1e6) return;  // too small to see
    const QString text = QString::fromStdU16String(r.text);
    const QFont& f = Font(q.font);
    const double units = TextUnits(r.text);
    const double natural = QFontMetricsF(f).horizontalAdvance(text);
    const double fit = units > 0 && natural > 0 ? units * kRefPx / natural : 1.0;
    const double sx = w / kRefPx * fit, sy = h / kRefPx;
    p.save();
    p.translate(Dev(Xform{}, r.x, r.y));
    p.rotate(-r.angle * 180 / kPi);
    p.scale(sx, sy);
    p.setPen(QColor::fromRgb(q.rgb));
    QFont spaced = f;
    if (r.gap != 0) spaced.setLetterSpacing(QFont::AbsoluteSpacing, r.gap * k / sx);
    p.setFont(spaced);
    p.drawText(QPointF(0, -kEmBottom * kRefPx), text);
    p.restore();
  }

  void Draw(const Scene& s, const Prim& q, const Placement& at) {
    switch (q.kind) {
      case Kind::Line:
        Stroke(s, q);
        p.drawLine(Dev(at.toPaper, q.p[0], q.p[1]), Dev(at.toPaper, q.p[2], q.p[3]));
        break;
      case Kind::Arc: {
        const double span = q.full ? 2 * kPi : std::fabs(q.sweep);
        const double r = q.radius * std::max(1.0, q.flat) * k *
                         std::sqrt(std::fabs(at.toPaper.a * at.toPaper.d - at.toPaper.b * at.toPaper.c));
        const int n = static_cast<int>(std::clamp(span * std::sqrt(std::max(r, 0.0)) * 2, 8.0, 720.0));
        pts.clear();
        ArcPoints(q, n, pts);
        poly.resize(static_cast<int>(pts.size() / 2));
        for (size_t i = 0; i + 1 < pts.size(); i += 2) poly[int(i / 2)] = Dev(at.toPaper, pts[i], pts[i + 1]);
        Stroke(s, q);
        p.drawPolyline(poly);
        break;
      }
      case Kind::Fill: {
        poly.resize(static_cast<int>(q.ring.size() / 2));
        for (size_t i = 0; i + 1 < q.ring.size(); i += 2)
          poly[int(i / 2)] = Dev(at.toPaper, q.ring[i], q.ring[i + 1]);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(q.rgb));
        p.drawPolygon(poly, Qt::WindingFill);
        break;
      }
      case Kind::Point: {
        const double r = std::max(q.radius * k, 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromRgb(q.rgb));
        p.drawEllipse(Dev(at.toPaper, q.p[0], q.p[1]), r, r);
        break;
      }
      case Kind::Text:
        Text(q, at);
        break;
      case Kind::Insert:
        break;
    }
  }
};

// Writes `bytes` to `path` through a temporary file beside it.
bool Commit(const QString& path, const QByteArray& bytes) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (f.write(bytes) != bytes.size()) {
    f.cancelWriting();
    return false;
  }
  return f.commit();
}

}  // namespace

void Paint(const Scene& s, QPainter& p, const QRectF& target) {
  const double W = s.paperW > 0 ? s.paperW : 1, H = s.paperH > 0 ? s.paperH : 1;
  const double k = std::min(target.width() / W, target.height() / H);
  Canvas c{p, k, target.center().x(), target.center().y(), {}, {}, {}, {}};
  p.save();
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setRenderHint(QPainter::TextAntialiasing, true);
  p.fillRect(QRectF(c.ox - W * k / 2, c.oy - H * k / 2, W * k, H * k), Qt::white);
  p.setClipRect(QRectF(c.ox - W * k / 2, c.oy - H * k / 2, W * k, H * k));
  ForEachPlaced(s, [&](const Prim& q, const Placement& at) {
    if (Printed(s, q)) c.Draw(s, q, at);
  });
  p.restore();
}

QImage RenderDpi(const Scene& s, double dpi) {
  const double k = dpi / 25.4;
  const double w = std::ceil(s.paperW * k), h = std::ceil(s.paperH * k);
  if (!(w >= 1 && h >= 1) || w * h > double(1 << 28)) return {};
  QImage img(static_cast<int>(w), static_cast<int>(h), QImage::Format_RGB32);
  if (img.isNull()) return img;
  img.fill(Qt::white);
  const int dpm = static_cast<int>(std::lround(dpi / 0.0254));
  img.setDotsPerMeterX(dpm);
  img.setDotsPerMeterY(dpm);
  QPainter p(&img);
  Paint(s, p, QRectF(0, 0, s.paperW * k, s.paperH * k));
  return img;
}

QImage RenderFit(const Scene& s, QSize size) {
  if (size.isEmpty() || double(size.width()) * size.height() > double(1 << 28)) return {};
  QImage img(size, QImage::Format_RGB32);
  if (img.isNull()) return img;
  img.fill(QColor(0xE0, 0xE0, 0xE0));
  QPainter p(&img);
  Paint(s, p, QRectF(QPointF(0, 0), QSizeF(size)));
  return img;
}

bool WritePng(const Scene& s, const QString& path, double dpi) {
  if (!(dpi >= 1 && dpi <= 2400)) return false;
  const QImage img = RenderDpi(s, dpi);
  if (img.isNull()) return false;
  QByteArray bytes;
  QBuffer buf(&bytes);
  buf.open(QIODevice::WriteOnly);
  if (!img.save(&buf, "PNG")) return false;
  return Commit(path, bytes);
}

bool WritePdf(const Scene& s, const QString& path) {
  QByteArray bytes;
  {
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QPdfWriter pdf(&buf);
    pdf.setCreator(QStringLiteral("Dravik"));
    pdf.setResolution(1200);
    const QSizeF mm(std::min(s.paperW, s.paperH), std::max(s.paperW, s.paperH));
    const QPageLayout layout(QPageSize(mm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                             s.paperW > s.paperH ? QPageLayout::Landscape : QPageLayout::Portrait,
                             QMarginsF(0, 0, 0, 0));
    if (!pdf.setPageLayout(layout)) return false;
    QPainter p;
    if (!p.begin(&pdf)) return false;
    const double k = pdf.resolution() / 25.4;
    Paint(s, p, QRectF(0, 0, s.paperW * k, s.paperH * k));
    if (!p.end()) return false;
  }
  return !bytes.isEmpty() && Commit(path, bytes);
}

bool WriteSvg(const Scene& s, const QString& path) {
  QByteArray bytes;
  {
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buf);
    // Ten units per millimetre; the declared size is the paper's in millimetres.
    const double k = 10;
    svg.setResolution(254);
    svg.setSize(QSize(static_cast<int>(std::ceil(s.paperW * k)), static_cast<int>(std::ceil(s.paperH * k))));
    svg.setViewBox(QRectF(0, 0, s.paperW * k, s.paperH * k));
    svg.setTitle(QStringLiteral("Dravik"));
    QPainter p;
    if (!p.begin(&svg)) return false;
    Paint(s, p, QRectF(0, 0, s.paperW * k, s.paperH * k));
    if (!p.end()) return false;
  }
  return !bytes.isEmpty() && Commit(path, bytes);
}

QImage RenderDrawingFile(const QString& path, QSize size, int budget) {
  jww::TJwwData d;
  // A file that is no drawing gets no picture (not a blank paper).
  if (!d.FileCheck(path.toStdU16String())) return {};
  d.FilePrevIn(path.toStdU16String(), budget);
  if (d.EntLgrp.size() < 16) return {};  // no header: not a drawing
  return RenderFit(Build(d), size);
}

}  // namespace scene
