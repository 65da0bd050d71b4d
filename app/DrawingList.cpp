#include "app/DrawingList.h"

#include <QBrush>
#include <QDataStream>
#include <QFont>
#include <QIODevice>
#include <QMimeData>
#include <QPalette>

#include <algorithm>

#include "list/ListFile.h"

namespace dravik {

namespace {

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }

// Rows dragged inside one list: the model they come from and their row numbers.
const QString kRowsMime = QStringLiteral("application/x-dravik-rows");

QString ModifiedText(const DrawingFacts& f, const jww::TRegional& r) {
  if (!f.hasModified) return {};
  const jww::TLocalTime& t = f.modified;
  return Q(DateText(t, r) + u" " + jww::TwoDigits(t.hour) + r.timeSep + jww::TwoDigits(t.minute));
}

// Sort key of a date and time: yyyymmddhhnnss as a number.
int64_t TimeKey(const jww::TLocalTime& t) {
  return ((((t.year * 100LL + t.month) * 100 + t.day) * 100 + t.hour) * 100 + t.minute) * 100 + t.second;
}

}  // namespace

// ---- the header reader -------------------------------------------------------------------------

HeaderReader::HeaderReader(jww::TRegional regional, Deliver deliver)
    : regional_(std::move(regional)), deliver_(std::move(deliver)), worker_([this] { Run(); }) {}

HeaderReader::~HeaderReader() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  worker_.join();
}

void HeaderReader::Request(uint64_t id, std::u16string path) {
  {
    std::lock_guard<std::mutex> g(lock_);
    queue_.emplace_back(id, std::move(path));
  }
  wake_.notify_one();
}

void HeaderReader::CancelAll() {
  std::lock_guard<std::mutex> g(lock_);
  queue_.clear();
}

DrawingFacts HeaderReader::Read(const std::u16string& path, jww::TJwwData& doc, const jww::TRegional& r) {
  DrawingFacts f;
  if (!jww::FileExists(path)) {
    f.state = DrawingFacts::State::Missing;
    return f;
  }
  const jww::TFileDateSize ds = jww::FileDateSize(path);
  f.modified = ds.time;
  f.hasModified = true;
  if (!doc.FileCheck(path) || !doc.FileHeaderIn(path)) {
    doc.DataFree();
    f.state = DrawingFacts::State::NotDrawing;
    return f;
  }
  const std::u16string& memo = doc.Enthd.strMemo;
  f.memo = memo.substr(0, memo.find(u"\r\n"));
  f.paper = PaperLabel(doc.Enthd.nZumen);
  const int group = std::clamp(doc.Enthd.nWriteGLay, 0, 15);
  f.scale = ScaleText(doc.EntLgrp[static_cast<size_t>(group)].adScale, r);
  f.state = DrawingFacts::State::Drawing;
  doc.DataFree();
  return f;
}

void HeaderReader::Run() {
  // The worker's own document: the window's is used only by the list button.
  jww::TJwwData doc;
  for (;;) {
    std::pair<uint64_t, std::u16string> job;
    {
      std::unique_lock<std::mutex> g(lock_);
      wake_.wait(g, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    DrawingFacts facts;
    try {
      facts = Read(job.second, doc, regional_);
    } catch (const std::exception&) {
      facts.state = DrawingFacts::State::NotDrawing;
    }
    deliver_(job.first, facts);
  }
}

// ---- the model ---------------------------------------------------------------------------------

QString DrawingListModel::NotADrawingText() { return QStringLiteral("× 図面ではありません"); }
QString DrawingListModel::MissingText() { return QStringLiteral("× ファイルがありません"); }

DrawingListModel::DrawingListModel(jww::TRegional regional, QObject* parent)
    : QAbstractTableModel(parent), regional_(regional) {
  reader_ = std::make_unique<HeaderReader>(regional, [this](uint64_t id, const DrawingFacts& facts) {
    // Runs on the reader's thread: the facts reach the rows on the window's thread, and not at
    // all once the model is gone.
    QMetaObject::invokeMethod(this, [this, id, facts] { Arrived(id, facts); }, Qt::QueuedConnection);
  });
}

DrawingListModel::~DrawingListModel() { reader_.reset(); }

int DrawingListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DrawingListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant DrawingListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Row& r = rows_[static_cast<size_t>(index.row())];
  const DrawingFacts& f = r.facts;
  const bool unreadable = f.state == DrawingFacts::State::NotDrawing || f.state == DrawingFacts::State::Missing;
  if (role == Qt::DisplayRole) {
    const std::u16string path = r.path.toStdU16String();
    switch (index.column()) {
      case NameColumn: return Q(PathText(jww::ExtractFileName(path)));
      case MemoColumn:
        if (f.state == DrawingFacts::State::NotDrawing) return NotADrawingText();
        if (f.state == DrawingFacts::State::Missing) return MissingText();
        return Q(PathText(f.memo));
      case PaperColumn: return f.paper == u" " ? QString() : Q(f.paper);
      case ScaleColumn: return f.scale == u" " ? QString() : Q(f.scale);
      case ModifiedColumn: return ModifiedText(f, regional_);
      case FolderColumn: return Q(PathText(jww::ExtractFileFolder(path)));
    }
    return {};
  }
  if (role == Qt::ToolTipRole) return r.path;
  if (role == Qt::ForegroundRole && unreadable && index.column() == MemoColumn)
    return QBrush(QColor(0xB0, 0x20, 0x20));
  if (role == Qt::FontRole && unreadable && index.column() == MemoColumn) {
    QFont font;
    font.setItalic(true);
    return font;
  }
  return {};
}

QVariant DrawingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char16_t* const kTitles[ColumnCount] = {u"ファイル名", u"メモ", u"用紙", u"縮尺",
                                                        u"更新日時",  u"フォルダ"};
  return section >= 0 && section < ColumnCount ? QString::fromUtf16(kTitles[section]) : QVariant();
}

Qt::ItemFlags DrawingListModel::flags(const QModelIndex& index) const {
  // Rows can be dragged; drops land between rows (never onto a row: the list has no tree).
  if (!index.isValid()) return Qt::ItemIsDropEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

Qt::DropActions DrawingListModel::supportedDropActions() const { return Qt::MoveAction | Qt::CopyAction; }
// Copy is offered only so that a drop inside the list can report itself as one: the rows are moved by
// the model, and a drop reported as a move would make the dragging view remove them.
Qt::DropActions DrawingListModel::supportedDragActions() const { return Qt::MoveAction | Qt::CopyAction; }

QStringList DrawingListModel::mimeTypes() const { return {kRowsMime}; }

QMimeData* DrawingListModel::mimeData(const QModelIndexList& indexes) const {
  std::vector<int> rows;
  for (const QModelIndex& i : indexes) rows.push_back(i.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out << quint64(reinterpret_cast<quintptr>(this)) << qint32(rows.size());
  for (int r : rows) out << qint32(r);
  auto* mime = new QMimeData;
  mime->setData(kRowsMime, bytes);
  return mime;
}

bool DrawingListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                       const QModelIndex&) const {
  if (!data || !data->hasFormat(kRowsMime)) return false;
  QDataStream in(data->data(kRowsMime));
  quint64 from = 0;
  in >> from;
  return from == quint64(reinterpret_cast<quintptr>(this));
}

bool DrawingListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                    const QModelIndex& parent) {
  if (!canDropMimeData(data, action, row, column, parent)) return false;
  QDataStream in(data->data(kRowsMime));
  quint64 from = 0;
  qint32 n = 0;
  in >> from >> n;
  std::vector<int> rows;
  for (qint32 i = 0; i < n && !in.atEnd(); ++i) {
    qint32 r = -1;
    in >> r;
    if (r >= 0 && r < rowCount()) rows.push_back(r);
  }
  // A drop onto a row puts the rows before it; a drop below the last row, at the end.
  int before = parent.isValid() ? parent.row() : row;
  (void)column;
  if (before < 0 || before > rowCount()) before = rowCount();
  moveRowList(rows, before);
  // The rows are already in place: the view must not remove them as it would after a move.
  return false;
}

QStringList DrawingListModel::paths() const {
  QStringList out;
  out.reserve(static_cast<qsizetype>(rows_.size()));
  for (const Row& r : rows_) out << r.path;
  return out;
}

void DrawingListModel::append(const QStringList& paths) {
  if (paths.isEmpty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(paths.size()) - 1);
  for (const QString& p : paths) {
    const uint64_t id = nextId_++;
    rows_.push_back({id, p, {}});
    reader_->Request(id, p.toStdU16String());
    ++pending_;
  }
  rowOfStale_ = true;
  endInsertRows();
}

void DrawingListModel::setPaths(const QStringList& paths) {
  clear();
  append(paths);
}

void DrawingListModel::clear() {
  reader_->CancelAll();
  beginResetModel();
  rows_.clear();
  rowOfStale_ = true;
  pending_ = 0;
  endResetModel();
}

void DrawingListModel::removeRowList(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // From the bottom, each run of neighbouring rows in one step.
  for (size_t end = rows.size(); end > 0;) {
    size_t start = end - 1;
    while (start > 0 && rows[start - 1] == rows[start] - 1) --start;
    const int first = rows[start], last = rows[end - 1];
    if (first >= 0 && last < rowCount()) {
      beginRemoveRows({}, first, last);
      for (int r = first; r <= last; ++r)
        if (rows_[static_cast<size_t>(r)].facts.state == DrawingFacts::State::Reading) --pending_;
      rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
      endRemoveRows();
    }
    end = start;
  }
  rowOfStale_ = true;
}

int DrawingListModel::moveRowList(std::vector<int> rows, int before) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= rowCount(); }),
             rows.end());
  before = std::clamp(before, 0, rowCount());
  if (rows.empty()) return before;
  // The new order: the rows above `before` that stay, the moved rows, the rest.
  std::vector<bool> moved(rows_.size(), false);
  for (int r : rows) moved[static_cast<size_t>(r)] = true;
  std::vector<Row> order;
  order.reserve(rows_.size());
  int firstMoved = 0;
  for (int i = 0; i <= rowCount(); ++i) {
    if (i == before) {
      firstMoved = static_cast<int>(order.size());
      for (int r : rows) order.push_back(rows_[static_cast<size_t>(r)]);
    }
    if (i < rowCount() && !moved[static_cast<size_t>(i)]) order.push_back(rows_[static_cast<size_t>(i)]);
  }
  // Persistent indexes (the selection) follow their rows.
  emit layoutAboutToBeChanged();
  const QModelIndexList old = persistentIndexList();
  std::vector<uint64_t> oldIds;
  for (const QModelIndex& i : old) oldIds.push_back(rows_[static_cast<size_t>(i.row())].id);
  rows_ = std::move(order);
  rowOfStale_ = true;
  QModelIndexList now;
  for (size_t k = 0; k < oldIds.size(); ++k) now << index(RowOf(oldIds[k]), old[static_cast<qsizetype>(k)].column());
  changePersistentIndexList(old, now);
  emit layoutChanged();
  return firstMoved;
}

void DrawingListModel::sortRowsBy(int column) {
  std::vector<int> order(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  auto key = [this, column](const Row& r) -> QString {
    const std::u16string path = r.path.toStdU16String();
    switch (column) {
      case NameColumn: return Q(jww::ExtractFileName(path));
      case FolderColumn: return Q(jww::ExtractFileFolder(path)) + Q(jww::ExtractFileName(path));
      case MemoColumn: return Q(r.facts.memo);
      case PaperColumn: return Q(r.facts.paper);
      case ScaleColumn: return Q(r.facts.scale);
      case ModifiedColumn: return QString::number(TimeKey(r.facts.modified)).rightJustified(20, u'0');
    }
    return {};
  };
  auto known = [column](const Row& r) {
    if (column == NameColumn || column == FolderColumn) return true;
    if (column == ModifiedColumn) return r.facts.hasModified;
    return r.facts.state == DrawingFacts::State::Drawing;
  };
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const Row& ra = rows_[static_cast<size_t>(a)];
    const Row& rb = rows_[static_cast<size_t>(b)];
    if (known(ra) != known(rb)) return known(ra);
    return QString::localeAwareCompare(key(ra), key(rb)) < 0;
  });
  emit layoutAboutToBeChanged();
  const QModelIndexList old = persistentIndexList();
  std::vector<uint64_t> oldIds;
  for (const QModelIndex& i : old) oldIds.push_back(rows_[static_cast<size_t>(i.row())].id);
  std::vector<Row> sorted;
  sorted.reserve(rows_.size());
  for (int i : order) sorted.push_back(rows_[static_cast<size_t>(i)]);
  rows_ = std::move(sorted);
  rowOfStale_ = true;
  QModelIndexList now;
  for (size_t k = 0; k < oldIds.size(); ++k) now << index(RowOf(oldIds[k]), old[static_cast<qsizetype>(k)].column());
  changePersistentIndexList(old, now);
  emit layoutChanged();
}

int DrawingListModel::RowOf(uint64_t id) {
  if (rowOfStale_) {
    rowOf_.clear();
    for (size_t i = 0; i < rows_.size(); ++i) rowOf_[rows_[i].id] = static_cast<int>(i);
    rowOfStale_ = false;
  }
  const auto it = rowOf_.find(id);
  return it == rowOf_.end() ? -1 : it->second;
}

void DrawingListModel::Arrived(uint64_t id, const DrawingFacts& facts) {
  const int row = RowOf(id);
  if (row < 0) return;  // deleted meanwhile
  Row& r = rows_[static_cast<size_t>(row)];
  if (r.facts.state == DrawingFacts::State::Reading) --pending_;
  r.facts = facts;
  emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
  emit factsArrived();
}

}  // namespace dravik
