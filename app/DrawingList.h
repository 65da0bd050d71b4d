// The window's list of drawings: one row per drawing in slot order, with what its header says
// (memo, paper, scale, last modified) read in the background, so that listing a thousand
// drawings never holds the window up.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "common/Func_2.h"
#include "jww/JwwUnit.h"

namespace dravik {

/// What the header reader found for one drawing.
struct DrawingFacts {
  enum class State { Reading, Drawing, NotDrawing, Missing };
  State state = State::Reading;
  std::u16string memo;      ///< the memo's first line
  std::u16string paper;     ///< paper label (" " for none)
  std::u16string scale;     ///< scale of the drawing's current layer group ("1/100")
  jww::TLocalTime modified; ///< last modified, local time
  bool hasModified = false;
};

/// Reads drawing headers on a thread of its own, one request at a time, in the order asked.
/// Results are handed to `deliver` on that thread; the owner posts them to the window.
class HeaderReader {
 public:
  using Deliver = std::function<void(uint64_t id, const DrawingFacts& facts)>;
  HeaderReader(jww::TRegional regional, Deliver deliver);
  /// Stops after the drawing being read; requests not yet read are dropped.
  ~HeaderReader();
  HeaderReader(const HeaderReader&) = delete;
  HeaderReader& operator=(const HeaderReader&) = delete;

  void Request(uint64_t id, std::u16string path);
  /// Drops the requests not yet read.
  void CancelAll();

  /// The facts of one drawing, read now (the worker's routine).
  static DrawingFacts Read(const std::u16string& path, jww::TJwwData& doc, const jww::TRegional& r);

 private:
  void Run();

  jww::TRegional regional_;
  Deliver deliver_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::pair<uint64_t, std::u16string>> queue_;
  bool stop_ = false;
  std::thread worker_;
};

/// The rows: path and facts, in slot order. Columns: file name, memo, paper, scale, last modified,
/// folder. Rows move by drag and drop inside the view and by the window's buttons; their order is
/// the slot order, and nothing sorts them behind the user's back.
class DrawingListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { NameColumn, MemoColumn, PaperColumn, ScaleColumn, ModifiedColumn, FolderColumn, ColumnCount };
  /// Text shown for a file whose header cannot be read, and for one that is missing.
  static QString NotADrawingText();
  static QString MissingText();

  explicit DrawingListModel(jww::TRegional regional, QObject* parent = nullptr);
  ~DrawingListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  Qt::DropActions supportedDropActions() const override;
  Qt::DropActions supportedDragActions() const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;

  QString path(int row) const { return rows_[static_cast<size_t>(row)].path; }
  QStringList paths() const;
  const DrawingFacts& facts(int row) const { return rows_[static_cast<size_t>(row)].facts; }
  /// Rows not yet read.
  int pending() const { return pending_; }

  /// Appends rows; their headers are read in the background.
  void append(const QStringList& paths);
  /// Replaces every row.
  void setPaths(const QStringList& paths);
  void clear();
  /// Removes the given rows (any order, duplicates ignored).
  void removeRowList(std::vector<int> rows);
  /// Moves the given rows, in their order, so that they stand together before row `before` of the
  /// list as it was (rowCount() for the end). Returns the rows' new first index.
  int moveRowList(std::vector<int> rows, int before);
  /// Reorders the rows by a column (stable; drawings not yet read, or not drawings, last).
  void sortRowsBy(int column);

 signals:
  /// A row's header has been read (also when it turned out to be no drawing).
  void factsArrived();

 private:
  struct Row {
    uint64_t id;
    QString path;
    DrawingFacts facts;
  };
  void Arrived(uint64_t id, const DrawingFacts& facts);
  int RowOf(uint64_t id);

  jww::TRegional regional_;
  std::vector<Row> rows_;
  std::unordered_map<uint64_t, int> rowOf_;  ///< valid while !rowOfStale_
  bool rowOfStale_ = true;
  uint64_t nextId_ = 1;
  int pending_ = 0;
  std::unique_ptr<HeaderReader> reader_;  // last: stopped before the rows go
};

}  // namespace dravik
