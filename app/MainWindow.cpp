#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeySequence>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QShortcut>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QResizeEvent>
#include <QSet>
#include <QSettings>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <initializer_list>
#include <optional>
#include <vector>

#include "app/Changes.h"
#include "app/DrawingList.h"
#include "app/Places.h"
#include "app/Preview.h"
#include "list/Fill.h"
#include "list/ListFile.h"
#include "painter/ScenePainter.h"
#include "list/Settings.h"
#include "common/Func_2.h"

namespace dravik {

namespace {

// The designed client area, and the help lines' distance from the window's edges.
constexpr int kDesignWidth = 551;
constexpr int kDesignHeight = 355;
constexpr int kHelpIndent = 2;
constexpr int kHelpHeight = 51;

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string U(const QString& s) { return s.toStdU16String(); }

// The slot count the edit box holds: the absolute value of its integer, 0 for a text that is no
// integer. |INT_MIN| does not fit an int, so it stays at INT_MAX.
int SlotCountOf(const QString& text) { return dravik::SlotCountOf(jww::StrToIntDef0(U(text))); }

bool IsDrawingName(const QString& path) {
  return path.endsWith(QStringLiteral(".jww"), Qt::CaseInsensitive);
}

// The local drawings among dropped URLs; folders and other files are left out.
QStringList DroppedDrawings(const QMimeData* mime) {
  QStringList out;
  if (!mime || !mime->hasUrls()) return out;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (IsDrawingName(path) && QFileInfo(path).isFile()) out << QFileInfo(path).absoluteFilePath();
  }
  return out;
}

// Sets the wait cursor for the life of the guard.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int y, int h) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setGeometry(8, y, 105, h);
  b->setAutoDefault(false);
  return b;
}

QLabel* MakeStatusLabel(QWidget* parent, const char* name, const QString& text, int h) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setTextFormat(Qt::PlainText);
  l->setFixedHeight(h);
  // The help lines are wider than the window may be: they are cut at the right edge instead of
  // holding the window open that wide.
  l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  return l;
}

// The key help lines must be readable whole at the design width. Their font is 11 px high, the
// tallest whose lines fit the 16 px rows, and is narrowed as far as the widest line needs.
void FitHelpLines(std::initializer_list<QLabel*> labels, int width) {
  QFont f = labels.begin()[0]->font();
  f.setPixelSize(11);
  auto widest = [&labels](const QFont& font) {
    int w = 0;
    for (QLabel* l : labels) w = std::max(w, QFontMetrics(font).horizontalAdvance(l->text()));
    return w;
  };
  for (int stretch = 100; stretch > 70 && widest(f) > width; stretch -= 2) f.setStretch(stretch - 2);
  for (QLabel* l : labels) l->setFont(f);
}

// The kept list and a saved list of drawings: one path a line, as the file system names it (the
// form `dravik-list --from` reads); blank lines are skipped, a CR before the LF is dropped.
std::string DrawingListBytes(const QStringList& paths) {
  std::string out;
  for (const QString& p : paths) {
    out += jww::NativePath(U(p));
    out += '\n';
  }
  return out;
}

QStringList DrawingListPaths(const std::string& bytes, const std::u16string& folder) {
  QStringList out;
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::u16string path = jww::PathFromNative(line);
    if (path.front() != jww::kPathDelim) path = folder + path;  // relative to the list's folder
    out << Q(path);
  }
  return out;
}

}  // namespace

// ---- file dialogs ------------------------------------------------------------------------------

QStringList DesktopFileDialogs::chooseDrawings(QWidget* parent, const QString& folder) {
  QFileDialog dlg(parent, QStringLiteral("ファイル追加"), folder);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFiles);
  dlg.setNameFilter(QStringLiteral("Jw_cad ファイル(*.jww)"));
  dlg.setDefaultSuffix(QStringLiteral("jww"));
  if (dlg.exec() != QDialog::Accepted) return {};
  QStringList files = dlg.selectedFiles();
  for (QString& f : files) f = QDir::toNativeSeparators(f);
  return files;
}

QString DesktopFileDialogs::chooseListFile(QWidget* parent, const QString& folder, const QString& fileName) {
  QFileDialog dlg(parent, QStringLiteral("リスト出力"), folder);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(QStringLiteral("リストファイル(*.txt)"));
  dlg.setDefaultSuffix(QStringLiteral("txt"));
  dlg.selectFile(fileName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dlg.selectedFiles().first());
}

QString DesktopFileDialogs::chooseDrawingListToOpen(QWidget* parent, const QString& folder) {
  QFileDialog dlg(parent, QStringLiteral("図面リストを開く"), folder);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilters({QStringLiteral("図面リスト(*.txt)"), QStringLiteral("すべてのファイル(*)")});
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dlg.selectedFiles().first());
}

QString DesktopFileDialogs::chooseDrawingListToSave(QWidget* parent, const QString& folder) {
  QFileDialog dlg(parent, QStringLiteral("図面リストを保存"), folder);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter(QStringLiteral("図面リスト(*.txt)"));
  dlg.setDefaultSuffix(QStringLiteral("txt"));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
  return QDir::toNativeSeparators(dlg.selectedFiles().first());
}

QTranslator* InstallToolkitTranslations(const QLocale& locale) {
  auto* texts = new QTranslator(QCoreApplication::instance());
  if (texts->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
      QCoreApplication::installTranslator(texts))
    return texts;
  delete texts;
  return nullptr;
}

// ---- the line buffer and the list view -----------------------------------------------------------

void LineBuffer::setList(std::shared_ptr<const ListBytes> bytes) {
  bytes_ = std::move(bytes);
  clear();
  filled_ = !bytes_;
  if (isVisible() && !filled_) showEvent(nullptr);
}

QString LineBuffer::text() const {
  QString out;
  if (!bytes_) return out;
  for (const std::string& part : bytes_->Parts()) out += QString::fromStdU16String(jww::AnsiToStr(part));
  return out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

void LineBuffer::showEvent(QShowEvent* event) {
  if (!filled_) {
    filled_ = true;
    setPlainText(text());
  }
  if (event) QPlainTextEdit::showEvent(event);
}

DrawingListView::DrawingListView(QWidget* parent) : QTreeView(parent) {
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  // A width the user drags (or fits by double-clicking the handle) is kept; the other columns
  // share what is left.
  connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int width) {
    if (fitting_ || column < 0) return;
    while (userWidths_.size() <= column) userWidths_ << 0;
    userWidths_[column] = width;
    fitColumns();
  });
}

void DrawingListView::setUserWidths(const QList<int>& widths) {
  userWidths_ = widths;
  fitColumns();
}

void DrawingListView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  fitColumns();
}

// The file name is what tells the rows apart: its values are the last to be cut (see below).
void DrawingListView::fitColumns() {
  if (!model() || fitting_) return;
  const int columns = model()->columnCount();
  if (columns != DrawingListModel::ColumnCount) return;
  fitting_ = true;
  const QFontMetrics fm(font());
  const int pad = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
  auto userWidth = [this](int column) { return column < userWidths_.size() ? userWidths_[column] : 0; };
  auto setWidth = [this](int column, int width) {
    if (header()->sectionSize(column) != width) header()->resizeSection(column, width);
  };
  const int view = viewport()->width();
  int rest = view;
  // Paper, scale and last modified: as wide as their widest value or their title.
  for (auto [column, widest] : {std::pair{DrawingListModel::PaperColumn, u"A0 "}, {DrawingListModel::ScaleColumn, u"1/1000"},
                                {DrawingListModel::ModifiedColumn, u"0000/00/00 00:00"}}) {
    int w = userWidth(column);
    if (w == 0) w = std::max(header()->sectionSizeHint(column), fm.horizontalAdvance(QString::fromUtf16(widest)) + pad);
    setWidth(column, w);
    rest -= w;
  }
  // File name, memo and folder: the width their contents need (measured over the rows near the
  // visible ones) where it fits, and the room left over shared 2 : 1 : 1.
  struct Flex {
    int column, weight, want = 0, least = 0;
    bool shares = true;
  };
  Flex flex[] = {{DrawingListModel::NameColumn, 2}, {DrawingListModel::MemoColumn, 1}, {DrawingListModel::FolderColumn, 1}};
  std::vector<Flex*> sharers;
  for (Flex& f : flex) {
    if (const int user = userWidth(f.column); user != 0) {
      f.shares = false;
      setWidth(f.column, user);
      rest -= user;
      continue;
    }
    f.want = std::max(sizeHintForColumn(f.column), header()->sectionSizeHint(f.column));
    f.least = std::min(f.want, 5 * fm.averageCharWidth());
    sharers.push_back(&f);
  }
  rest = std::max(0, rest);
  int wants = 0, weights = 0;
  for (const Flex* f : sharers) wants += f->want, weights += f->weight;
  // Each sharer gets `base(f)` plus its part of `room`; the last takes what rounding left, so the
  // columns end at the view's edge.
  auto share = [&](const std::vector<Flex*>& among, int room, auto base, auto part) {
    int left = room;
    for (size_t i = 0; i < among.size(); ++i) {
      const int extra = i + 1 == among.size() ? left : part(among[i], room);
      left -= extra;
      setWidth(among[i]->column, std::max(among[i]->least, base(among[i]) + extra));
    }
  };
  if (wants <= rest) {
    share(sharers, rest - wants, [](const Flex* f) { return f->want; },
          [weights](const Flex* f, int room) { return room * f->weight / std::max(weights, 1); });
  } else {
    // Too narrow for every value whole: the names first — what they need, up to what memo and
    // folder leave at their least, and never less than half the view (narrower windows scroll
    // sideways rather than cut every name); memo and folder share the rest by what they need.
    std::vector<Flex*> others = sharers;
    if (flex[0].shares) {
      others.erase(others.begin());
      int othersLeast = 0;
      for (const Flex* f : others) othersLeast += f->least;
      const int name = std::min(flex[0].want, std::max(view / 2, rest - othersLeast));
      setWidth(DrawingListModel::NameColumn, name);
      rest = std::max(0, rest - name);
    }
    int otherWants = 0;
    for (const Flex* f : others) otherWants += f->want;
    share(others, rest, [](const Flex*) { return 0; },
          [otherWants](const Flex* f, int room) { return otherWants > 0 ? room * f->want / otherWants : 0; });
  }
  fitting_ = false;
}

void StatusLine::showMessage(const QString& before, const QString& path, const QString& after) {
  before_ = before;
  path_ = path;
  after_ = after;
  setToolTip(message());
  fit();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  fit();
}

// The file's name is what tells one list file from another: it stays whole while the folder in
// front of it is elided in the middle, and only then are the words before the path cut.
void StatusLine::fit() {
  const QFontMetrics fm(font());
  const int room = contentsRect().width();
  QString shown = message();
  if (path_.isEmpty()) {
    shown = fm.elidedText(shown, Qt::ElideRight, room);
  } else if (fm.horizontalAdvance(shown) > room) {
    const qsizetype slash = path_.lastIndexOf(QLatin1Char('/'));
    const QString folder = path_.left(slash + 1), name = path_.mid(slash + 1);
    const int fixed = fm.horizontalAdvance(name + after_);
    const int beforeWidth = fm.horizontalAdvance(before_);
    const QString ellipsis(QChar(0x2026));
    if (beforeWidth + fixed + fm.horizontalAdvance(ellipsis) <= room) {
      shown = before_ + fm.elidedText(folder, Qt::ElideMiddle, room - beforeWidth - fixed) + name + after_;
    } else {
      // No room for the folder at all: the words before give way, the name stays.
      shown = fm.elidedText(before_, Qt::ElideRight, std::max(0, room - fixed)) + name + after_;
    }
  }
  if (text() != shown) setText(shown);
}

void DrawingListView::dropEvent(QDropEvent* event) {
  auto* rows = qobject_cast<DrawingListModel*>(model());
  if (!rows || !rows->canDropMimeData(event->mimeData(), Qt::MoveAction, -1, -1, {})) {
    QTreeView::dropEvent(event);
    return;
  }
  // Dropped on the upper half of a row: before it; on the lower half: after it; below the rows:
  // at the end.
  const QPoint at = event->position().toPoint();
  const QModelIndex over = indexAt(at);
  int before = rows->rowCount();
  if (over.isValid()) before = at.y() < visualRect(over).center().y() ? over.row() : over.row() + 1;
  rows->dropMimeData(event->mimeData(), Qt::MoveAction, before, 0, {});
  // The rows are already in place: reported as a move, the drop would make the dragging view
  // remove them.
  event->setDropAction(Qt::CopyAction);
  event->accept();
  stopAutoScroll();
  setState(NoState);
  viewport()->update();
}

// ---- the window --------------------------------------------------------------------------------

MainWindow::MainWindow(std::unique_ptr<FileDialogs> dialogs, QString exePath, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<DesktopFileDialogs>()),
      exePath_(std::move(exePath)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Dravik"));
  setAcceptDrops(true);
  // Japanese forms of the shared Han characters where that font is installed; the desktop's own
  // font stays first for everything else.
  QFont f = font();
  f.setFamilies({f.family(), QStringLiteral("Noto Sans CJK JP")});
  setFont(f);

  regional_ = jww::RegionalFromLocale();
  model_ = new DrawingListModel(regional_, this);
  fileList = new DrawingListView(this);
  fileList->setObjectName(QStringLiteral("ListBox1"));
  fileList->setModel(model_);
  fileList->setRootIsDecorated(false);
  fileList->setUniformRowHeights(true);  // a thousand rows lay out without measuring each
  fileList->setItemsExpandable(false);
  fileList->setAllColumnsShowFocus(true);
  fileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  fileList->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Drags carry the model's own type, which only this list takes (DrawingListView::dropEvent);
  // drawings dropped from a file manager go on to the window.
  fileList->setDragDropMode(QAbstractItemView::DragDrop);
  fileList->setDefaultDropAction(Qt::MoveAction);
  fileList->setDragDropOverwriteMode(false);
  fileList->setContextMenuPolicy(Qt::CustomContextMenu);
  fileList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The names' width is measured over the rows near the visible ones, never a thousand at once.
  fileList->header()->setResizeContentsPrecision(200);
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(model_, signal, fileList, &DrawingListView::fitColumns);
  connect(model_, &QAbstractItemModel::modelReset, fileList, &DrawingListView::fitColumns);
  fileList->fitColumns();

  statusLine = new StatusLine(this);
  statusLine->setObjectName(QStringLiteral("statusLine"));
  statusLine->setTextFormat(Qt::PlainText);
  statusLine->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  statusLine->setContentsMargins(kHelpIndent, 0, kHelpIndent, 0);

  // The panel's controls sit at fixed places, as designed; the panel keeps its width and only the
  // list box grows with the window.
  buttonPanel = new QFrame(this);
  buttonPanel->setObjectName(QStringLiteral("Panel1"));
  buttonPanel->setFixedWidth(120);
  buttonPanel->setMinimumHeight(262);
  addButton = MakeButton(buttonPanel, "Button1", QStringLiteral("ファイル追加 (&F)"), 8, 25);
  upButton = MakeButton(buttonPanel, "Button2", QStringLiteral("▲ (&U)"), 40, 25);
  downButton = MakeButton(buttonPanel, "Button3", QStringLiteral("▼ (&D)"), 72, 25);
  deleteButton = MakeButton(buttonPanel, "Button4", QStringLiteral("削除 (&E)"), 104, 25);
  slotCountLabel = new QLabel(QStringLiteral("ファイル最大数"), buttonPanel);
  slotCountLabel->setObjectName(QStringLiteral("Label4"));
  // At least the designed 70 wide, wider when the desktop's font needs it.
  slotCountLabel->setGeometry(8, 136, std::max(70, slotCountLabel->sizeHint().width()), 16);
  slotCountEdit = new QLineEdit(buttonPanel);
  slotCountEdit->setObjectName(QStringLiteral("Edit1"));
  slotCountEdit->setGeometry(8, 152, 105, 22);
  // The slot count is a plain number: no input method composition.
  slotCountEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
  listButton = MakeButton(buttonPanel, "Button5", QStringLiteral("リスト出力 (&O)"), 200, 25);
  exitButton = MakeButton(buttonPanel, "Button6", QStringLiteral("終了 (&X)"), 232, 22);
  // Below the slot count, in the room the design leaves there.
  previewButton = MakeButton(buttonPanel, "previewButton", QStringLiteral("プレビュー (&P)"), 176, 22);
  previewButton->setCheckable(true);
  previewPane = new DrawingPreview(this);
  lineBuffer = new LineBuffer(buttonPanel);
  lineBuffer->setObjectName(QStringLiteral("Memo1"));
  lineBuffer->setGeometry(8, 280, 105, 50);
  lineBuffer->setReadOnly(true);
  lineBuffer->setUndoRedoEnabled(false);
  lineBuffer->hide();

  helpArea = new QFrame(this);
  helpArea->setObjectName(QStringLiteral("StatusBar1"));
  helpArea->setFixedHeight(kHelpHeight);
  helpLine1 = MakeStatusLabel(helpArea, "Label1",
                           QStringLiteral("%%PA：パス名　%%1F：フルパスファイル名　%%1f：ファイル名(拡張子無)"
                                          "　%%1e：ファイル名(有)　%%1SZ：サイズ"),
                           16);
  helpLine2 = MakeStatusLabel(helpArea, "Label2",
                           QStringLiteral("%%1fs1～9：ファイル名空白区切文字　%%1DT：日時　%%1D：日付"
                                          "　%%1T：時間　%%1J：和暦"),
                           16);
  helpLine3 = MakeStatusLabel(helpArea, "Label3",
                           QStringLiteral("%%1mm：メモ　%%1m1：メモ上段　%%1m2：メモ下段"
                                          "　%%1p：用紙サイズ　%%1SS0～f：縮尺"),
                           17);
  auto* status = new QVBoxLayout(helpArea);
  status->setContentsMargins(kHelpIndent, 0, kHelpIndent, 0);
  status->setSpacing(0);
  status->addWidget(helpLine1);
  status->addWidget(helpLine2);
  status->addWidget(helpLine3);
  status->addStretch(1);
  FitHelpLines({helpLine1, helpLine2, helpLine3}, kDesignWidth - 2 * kHelpIndent);
  helpFlow = new HelpFlow({helpLine1->text(), helpLine2->text(), helpLine3->text()}, helpArea);
  helpFlow->setObjectName(QStringLiteral("helpFlow"));
  helpFlow->hide();

  // The list with its status line under it on the left, the panel on the right. The preview shares
  // the list's width through a splitter: showing it never widens the window.
  auto* listSide = new QWidget(this);
  listSide->setObjectName(QStringLiteral("listSide"));
  auto* listColumn = new QVBoxLayout(listSide);
  listColumn->setContentsMargins(0, 0, 0, 0);
  listColumn->setSpacing(0);
  listColumn->addWidget(fileList, 1);
  listColumn->addWidget(statusLine);
  previewSplitter = new QSplitter(Qt::Horizontal, this);
  previewSplitter->setObjectName(QStringLiteral("previewSplitter"));
  previewSplitter->setChildrenCollapsible(false);
  previewSplitter->addWidget(listSide);
  previewSplitter->addWidget(previewPane);
  previewSplitter->setStretchFactor(0, 1);
  previewSplitter->setStretchFactor(1, 1);
  previewPane->hide();
  connect(previewSplitter, &QSplitter::splitterMoved, this, [this, listSide] {
    const int both = listSide->width() + previewPane->width();
    if (previewPane->isVisible() && both > 0) state_.previewShare = double(previewPane->width()) / both;
  });
  auto* top = new QHBoxLayout;
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(previewSplitter, 1);
  top->addWidget(buttonPanel);
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(0, 0, 0, 0);
  form->setSpacing(0);
  form->addLayout(top, 1);
  form->addWidget(helpArea);

  setTabOrder(fileList, lineBuffer);
  setTabOrder(lineBuffer, addButton);
  setTabOrder(addButton, upButton);
  setTabOrder(upButton, downButton);
  setTabOrder(downButton, deleteButton);
  setTabOrder(deleteButton, slotCountEdit);
  setTabOrder(slotCountEdit, listButton);
  setTabOrder(listButton, exitButton);
  setTabOrder(exitButton, previewButton);

  connect(addButton, &QPushButton::clicked, this, &MainWindow::addFiles);
  connect(upButton, &QPushButton::clicked, this, &MainWindow::moveUp);
  connect(downButton, &QPushButton::clicked, this, &MainWindow::moveDown);
  connect(deleteButton, &QPushButton::clicked, this, &MainWindow::deleteSelected);
  connect(listButton, &QPushButton::clicked, this, &MainWindow::writeList);
  connect(exitButton, &QPushButton::clicked, this, &MainWindow::exitWindow);
  connect(previewButton, &QPushButton::toggled, this, &MainWindow::showPreview);
  connect(fileList->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    previewPane->setPath(current.isValid() ? model_->path(current.row()) : QString());
  });

  // Keys of the list: Delete deletes the selected rows, Ctrl+Up and Ctrl+Down move them.
  auto key = [this](QKeySequence seq, auto slot) {
    auto* sc = new QShortcut(seq, fileList, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    connect(sc, &QShortcut::activated, this, slot);
  };
  key(QKeySequence::Delete, &MainWindow::deleteSelected);
  key(QKeySequence(Qt::CTRL | Qt::Key_Up), &MainWindow::moveUp);
  key(QKeySequence(Qt::CTRL | Qt::Key_Down), &MainWindow::moveDown);

  // Sorting, opening and saving the list: the list's context menu, and Ctrl+O / Ctrl+S anywhere.
  listMenu_ = new QMenu(this);
  compareAction = listMenu_->addAction(QStringLiteral("比較"), this, &MainWindow::compareSelected);
  compareAction->setObjectName(QStringLiteral("compareAction"));
  compareAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  compareAction->setEnabled(false);
  addAction(compareAction);
  listMenu_->addSeparator();
  QMenu* sortMenu = listMenu_->addMenu(QStringLiteral("並べ替え"));
  for (int c = 0; c < DrawingListModel::ColumnCount; ++c) {
    QAction* a = sortMenu->addAction(model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() +
                                     QStringLiteral("順"));
    connect(a, &QAction::triggered, this, [this, c] { sortBy(c); });
  }
  listMenu_->addSeparator();
  QAction* openList = listMenu_->addAction(QStringLiteral("図面リストを開く…"), this, &MainWindow::openDrawingList);
  openList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  QAction* saveList = listMenu_->addAction(QStringLiteral("図面リストを保存…"), this, &MainWindow::saveDrawingList);
  saveList->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  QAction* fill = listMenu_->addAction(QStringLiteral("図面に差し込む…"), this, &MainWindow::fillTemplate);
  fill->setShortcut(QKeySequence(Qt::ALT | Qt::Key_T));
  addAction(openList);
  addAction(saveList);
  addAction(fill);
  connect(fileList, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { listMenu_->popup(fileList->viewport()->mapToGlobal(at)); });

  // The count under the list follows every change of the rows: adding, deleting (button and
  // key), opening a list, and the last header read.
  connect(model_, &QAbstractItemModel::rowsInserted, this, &MainWindow::showCount);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::showCount);
  connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::showCount);
  connect(model_, &DrawingListModel::factsArrived, this, [this] {
    if (model_->pending() == 0) showCount();
  });
  // 比較 takes exactly two rows, whatever changed the selection (a click, a key, rows deleted).
  connect(fileList->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::updateCompareAction);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateCompareAction);
  connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::updateCompareAction);

  // The design's client area; the settings file sets the real size when the window is shown.
  resize(kDesignWidth, kDesignHeight);
  fitHelp();
}

MainWindow::~MainWindow() = default;

void MainWindow::showPreview(bool on) {
  if (on == !previewPane->isHidden()) return;
  if (!on) {
    previewPane->hide();
    previewSplitter->refresh();  // the list takes the width back now, not on the next event loop turn
    return;
  }
  // The list's width is shared at the kept proportion; the window keeps its size.
  const int both = previewSplitter->width() - previewSplitter->handleWidth();
  const int listLeast = previewSplitter->widget(0)->minimumSizeHint().width();
  const int least = previewPane->minimumWidth();
  const int preview = std::clamp(static_cast<int>(both * state_.previewShare), least, std::max(least, both - listLeast));
  previewPane->show();
  previewSplitter->refresh();
  previewSplitter->setSizes({both - preview, preview});
}

void MainWindow::showEvent(QShowEvent* event) {
  if (!open_ && !event->spontaneous()) openWindow();
  QWidget::showEvent(event);
  // A window manager frames the window without moving its client area (Openbox keeps it where
  // it was asked for), so no move tells that the frame is known: look at it five times a second
  // until it is placed. A busy machine may frame it many seconds late, and the window's own
  // timers may fire late and all at once, so the watch ends on what the looks saw, not on the
  // clock: the frame known and in its place for five seconds of looks, or no frame at all for two
  // minutes (no window manager).
  if (pendingFramePos_ && !framePlaceTimer_) {
    framePlaceTimer_ = new QTimer(this);
    framePlaceTimer_->setInterval(200);
    connect(framePlaceTimer_, &QTimer::timeout, this, &MainWindow::lookAtFrame);
    framePlaceTimer_->start();
  }
}

void MainWindow::lookAtFrame() {
  placeByFrame();
  ++frameLooks_;
  const bool known = frameGeometry() != geometry();
  if (pendingFramePos_ && known) ++frameSeenLooks_;
  if (!pendingFramePos_ || frameSeenLooks_ >= 25 || (!known && frameLooks_ >= 600)) {
    pendingFramePos_.reset();
    framePlaceTimer_->stop();
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  noteNormalGeometry();
  fitHelp();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  placeByFrame();
  noteNormalGeometry();
}

// Without margins from an earlier run the window was placed by its frame's corner; a window
// manager that put the client area there instead is corrected once the frame is known.
// Only that fault is corrected (the client area's corner where the frame's was asked for): while
// the window manager frames the window it may report other places for a moment, which are no
// reason to move it and no sign that it is placed.
void MainWindow::placeByFrame() {
  if (!pendingFramePos_ || frameGeometry() == geometry()) return;
  const QPoint want = *pendingFramePos_;
  if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
    pendingFramePos_.reset();
    return;
  }
  if (geometry().topLeft() == want && frameGeometry().topLeft() != want) {
    pendingFramePos_.reset();
    move(want);
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  // A window manager may report the maximised size before the state: that size is no normal one.
  if ((windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && normalRect_ == geometry() &&
      previousNormalRect_.isValid())
    normalRect_ = previousNormalRect_;
}

// Keeps the client area and the frame's margins while the window is neither maximised, full
// screen nor minimised: what the settings file keeps when it closes in any state.
void MainWindow::noteNormalGeometry() {
  if (!open_ || !isVisible() || (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)))
    return;
  if (geometry() != normalRect_) {
    previousNormalRect_ = normalRect_;
    normalRect_ = geometry();
  }
  noteFrameMargins();
}

// The margins count only once the window manager has drawn a frame; a platform without one
// (offscreen) has none to note, and the settings keep the client area's corner as the frame's.
void MainWindow::noteFrameMargins() {
  const QRect frame = frameGeometry(), client = geometry();
  if (frame == client) return;
  state_.frame = QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                          frame.bottom() - client.bottom());
  state_.frameKnown = true;
}

// At the design width the three help lines read whole. A narrower window (the first-run size is
// 400 wide) flows their entries into rows instead, in the room the panel's fixed controls leave
// below them, so no entry is cut.
void MainWindow::fitHelp() {
  const int width = std::max(0, this->width() - 2 * kHelpIndent);
  bool linesFit = true;
  for (QLabel* l : {helpLine1, helpLine2, helpLine3})
    linesFit = linesFit && QFontMetrics(l->font()).horizontalAdvance(l->text()) <= width;
  for (QLabel* l : {helpLine1, helpLine2, helpLine3}) l->setVisible(linesFit);
  helpFlow->setVisible(!linesFit);
  int height = kHelpHeight;
  if (!linesFit) {
    const int room = std::max(kHelpHeight, this->height() - buttonPanel->minimumHeight());
    const int needed = helpFlow->fit(width, room, {11, 10, 9});
    helpFlow->setGeometry(kHelpIndent, 0, width, needed);
    height = std::max(kHelpHeight, needed);
  }
  if (helpArea->maximumHeight() != height) {
    helpArea->setFixedHeight(height);
    // The layout has already placed the children for this size; place them again now rather than
    // on the next event loop turn, so the window is never shown with the old help height.
    if (layout() != nullptr) layout()->activate();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (open_) closeWindow();
  event->accept();
}

void MainWindow::openWindow() {
  const std::u16string exe = exePath_.isEmpty() ? jww::ExecutablePath() : U(exePath_);
  appPath_ = jww::ExtractFileFolder(exe);
  const WindowPlaces places = PlacesOf(exe);
  settingsFile_ = places.settingsFile;
  settingsFolder_ = places.configFolder;
  defaultFolder_ = places.defaultFolder;
  keptListFile_ = KeptListPath(settingsFile_);
  statePath_ = WindowStatePath(settingsFile_);
  loadSettings();
  slotCountEdit->setText(QString::number(slotCount_));
  model_->clear();
  lineBuffer->hide();
  document_ = std::make_unique<jww::TJwwData>();
  document_->BindImageInit();
  document_->BindImageFolder = places.imageFolder;
  document_->BindImageExp = false;
  document_->BindImageExr = false;
  open_ = true;
  loadKeptList();
  showCount();
}

void MainWindow::closeWindow() {
  open_ = false;
  document_.reset();
  slotCount_ = SlotCountOf(slotCountEdit->text());
  saveSettings();
  saveKeptList();
}

void MainWindow::loadSettings() {
  TSettings s = DefaultSettings(defaultFolder_);
  LoadSettings(settingsFile_, s);
  state_ = LoadWindowState(statePath_);
  placeWindow(QPoint(s.Left, s.Top), QSize(s.Width, s.Height));
  if (state_.maximized) setWindowState(windowState() | Qt::WindowMaximized);
  fileList->setUserWidths(state_.columnWidths);
  addFolder_ = s.JwwPath;
  listFileName_ = s.LstName;
  slotCount_ = s.DatNum;
}

// The settings file keeps the frame's corner and the client area's size. With the frame's margins
// from the last run the client area goes exactly where it was, so the window never creeps by its
// title bar; without them the frame is placed by its corner, corrected once the frame is seen
// (moveEvent). A place or size the screen cannot show (a screen since removed, a hand-edited file)
// is brought onto the available area of the screen it would open on, or of the primary screen,
// with the title bar on it.
void MainWindow::placeWindow(QPoint frameTopLeft, QSize clientSize) {
  QScreen* screen = QGuiApplication::screenAt(frameTopLeft);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QMargins margins = state_.frameKnown ? state_.frame : QMargins();
  const QRect client = screen ? PlaceOnScreen(frameTopLeft, clientSize, margins, screen->availableGeometry(), minimumSize())
                              : QRect(frameTopLeft, clientSize);
  if (state_.frameKnown) {
    setGeometry(client);
  } else {
    move(client.topLeft());
    resize(client.size());
    pendingFramePos_ = client.topLeft();
  }
  normalRect_ = previousNormalRect_ = client;
}

void MainWindow::saveSettings() {
  // A maximised window keeps the place and size it returns to, and its state beside them.
  state_.maximized = windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
  if (!state_.maximized) {
    normalRect_ = geometry();
    noteFrameMargins();
  }
  const QRect normal = normalRect_.isValid() ? normalRect_ : geometry();
  const QMargins margins = state_.frameKnown ? state_.frame : QMargins();
  TSettings s;
  s.Left = normal.left() - margins.left();
  s.Top = normal.top() - margins.top();
  s.Width = normal.width();
  s.Height = normal.height();
  s.JwwPath = addFolder_;
  s.LstName = listFileName_;
  s.DatNum = slotCount_;
  state_.columnWidths = fileList->userWidths();
  if (!settingsFolder_.isEmpty()) QDir().mkpath(settingsFolder_);
  SaveSettings(settingsFile_, s);
  SaveWindowState(statePath_, state_);
}

// The list of drawings is kept in a file of its own beside the settings file, which keeps its
// seven lines. A missing or unreadable file is an empty list; a failure to write is silent.
void MainWindow::loadKeptList() {
  const std::optional<std::string> bytes = jww::ReadWholeFile(keptListFile_);
  if (bytes) appendFiles(DrawingListPaths(*bytes, jww::ExtractFileFolder(keptListFile_)));
}

void MainWindow::saveKeptList() {
  if (model_->rowCount() == 0) {
    jww::DeleteFileIfExists(keptListFile_);
    return;
  }
  if (!settingsFolder_.isEmpty()) QDir().mkpath(settingsFolder_);
  jww::WriteFileAtomic(keptListFile_, DrawingListBytes(paths()));
}

void MainWindow::showCount() {
  const int rows = model_->rowCount();
  if (rows == 0)
    showStatus(QStringLiteral("右クリック: 並べ替え、図面リストを開く・保存"));
  else if (model_->pending() > 0)
    showStatus(QStringLiteral("%1 件の図面を読み込んでいます…").arg(rows));
  else
    showStatus(QStringLiteral("%1 件の図面").arg(rows));
}

void MainWindow::showStatus(const QString& text, const QString& path, const QString& after) {
  statusLine->showMessage(text, path, after);
}

// ---- the list ----------------------------------------------------------------------------------

QStringList MainWindow::paths() const { return model_->paths(); }

QList<int> MainWindow::selectedRows() const {
  QList<int> rows;
  for (const QModelIndex& i : fileList->selectionModel()->selectedRows()) rows << i.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

void MainWindow::selectRows(const QList<int>& rows) {
  QItemSelectionModel* sel = fileList->selectionModel();
  sel->clearSelection();
  QItemSelection selection;
  for (int r : rows)
    if (r >= 0 && r < model_->rowCount()) selection.select(model_->index(r, 0), model_->index(r, 0));
  sel->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  if (!rows.isEmpty() && rows.first() >= 0 && rows.first() < model_->rowCount())
    sel->setCurrentIndex(model_->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

// Moves the selected rows one place up (step -1) or down (+1), keeping them selected. Nothing
// moves when a selected row is already at that end of the list.
void MainWindow::moveSelection(int step) {
  const QList<int> rows = selectedRows();
  if (model_->rowCount() <= 1 || rows.isEmpty()) return;
  if (step < 0 && rows.first() == 0) return;
  if (step > 0 && rows.last() == model_->rowCount() - 1) return;
  const int current = fileList->currentIndex().row();
  QList<int> moved;
  if (step < 0) {
    for (int r : rows) model_->moveRowList({r}, r - 1);
    for (int r : rows) moved << r - 1;
  } else {
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) model_->moveRowList({*it}, *it + 2);
    for (int r : rows) moved << r + 1;
  }
  selectRows(moved);
  if (rows.contains(current))
    fileList->selectionModel()->setCurrentIndex(model_->index(current + step, 0), QItemSelectionModel::NoUpdate);
  fileList->scrollTo(model_->index(step < 0 ? moved.first() : moved.last(), 0));
}

void MainWindow::appendFiles(const QStringList& paths) {
  // Listed paths in ASCII lower case, for the duplicate check in one lookup each.
  QSet<QString> listed;
  for (const QString& p : model_->paths()) listed.insert(Q(jww::AsciiLower(U(p))));
  QStringList fresh;
  for (const QString& path : paths) {
    const QString key = Q(jww::AsciiLower(U(path)));
    if (listed.contains(key)) continue;
    listed.insert(key);
    fresh << path;
  }
  model_->append(fresh);
}

void MainWindow::addCommandLineFiles(const QStringList& args) {
  QStringList files;
  for (const QString& arg : args) {
    const QFileInfo info(arg.startsWith(QLatin1String("file:")) ? QUrl(arg).toLocalFile() : arg);
    if (info.isFile()) files << info.absoluteFilePath();
  }
  if (files.isEmpty()) return;
  addFolder_ = jww::ExtractFileFolder(U(files.first()));
  appendFiles(files);
}

void MainWindow::openFiles(const QStringList& files) {
  addCommandLineFiles(files);
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  raise();
  activateWindow();
}

void MainWindow::addFiles() {
  const QStringList files = dialogs_->chooseDrawings(this, Q(addFolder_));
  if (files.isEmpty()) return;
  addFolder_ = jww::ExtractFileFolder(U(files.first()));
  appendFiles(files);
}

void MainWindow::moveUp() { moveSelection(-1); }

void MainWindow::moveDown() { moveSelection(+1); }

void MainWindow::deleteSelected() {
  const QList<int> rows = selectedRows();
  if (model_->rowCount() == 0 || rows.isEmpty()) return;
  model_->removeRowList(std::vector<int>(rows.begin(), rows.end()));
}

void MainWindow::sortBy(int column) {
  model_->sortRowsBy(column);
  showStatus(QStringLiteral("%1順に並べ替えました")
                 .arg(model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString()));
}

void MainWindow::updateCompareAction() { compareAction->setEnabled(selectedRows().size() == 2); }

void MainWindow::compareSelected() {
  const QList<int> rows = selectedRows();
  if (rows.size() != 2) return;
  const QString before = model_->path(rows[0]), after = model_->path(rows[1]);
  DrawingChanges changes;
  {
    WaitCursor wait;
    changes = CompareDrawings(before, after);
  }
  if (!changes.picture) {
    showStatus(QStringLiteral("比較できません（図面を読めません）: "), changes.unreadable);
    return;
  }
  if (previewPane->isHidden()) previewButton->setChecked(true);
  previewPane->setScene(changes.picture);
  QString counts = changes.same ? QStringLiteral("違いはありません")
                                : QStringLiteral("削除 %1、追加 %2、変更 %3")
                                      .arg(changes.removed)
                                      .arg(changes.added)
                                      .arg(changes.changed);
  if (changes.moved > 0) counts += QStringLiteral("、移動 %1").arg(changes.moved);
  if (changes.other > 0) counts += QStringLiteral("、その他 %1").arg(changes.other);
  showStatus(QStringLiteral("比較 %1 → ").arg(QFileInfo(before).fileName()), after, QStringLiteral(": ") + counts);
}

void MainWindow::openDrawingList() {
  const QString folder = Q(drawingListFolder_.empty() ? addFolder_ : drawingListFolder_);
  const QString chosen = dialogs_->chooseDrawingListToOpen(this, folder);
  if (chosen.isEmpty()) return;
  drawingListFolder_ = jww::ExtractFileFolder(U(chosen));
  const std::optional<std::string> bytes = jww::ReadWholeFile(U(chosen));
  if (!bytes) {
    showStatus(QStringLiteral("図面リストを読めません: "), chosen);
    return;
  }
  model_->clear();
  appendFiles(DrawingListPaths(*bytes, drawingListFolder_));
}

void MainWindow::saveDrawingList() {
  const QString folder = Q(drawingListFolder_.empty() ? addFolder_ : drawingListFolder_);
  const QString chosen = dialogs_->chooseDrawingListToSave(this, folder);
  if (chosen.isEmpty()) return;
  drawingListFolder_ = jww::ExtractFileFolder(U(chosen));
  if (jww::WriteFileAtomic(U(chosen), DrawingListBytes(paths())))
    showStatus(QStringLiteral("%1 件の図面を ").arg(model_->rowCount()), chosen, QStringLiteral(" に保存しました"));
  else
    showStatus(QStringLiteral("図面リストを保存できません: "), chosen);
}

void MainWindow::writeList() {
  if (model_->rowCount() == 0) return;
  slotCount_ = SlotCountOf(slotCountEdit->text());
  const bool hadFocus = listButton->hasFocus();
  listButton->setEnabled(false);
  const QString chosen =
      dialogs_->chooseListFile(this, Q(jww::ExtractFileFolder(listFileName_)), Q(jww::ExtractFileName(listFileName_)));
  if (!chosen.isEmpty()) {
    listFileName_ = U(chosen);
    writeListFile();
  }
  listButton->setEnabled(true);
  if (hadFocus) listButton->setFocus();
}

void MainWindow::exitWindow() { close(); }

void MainWindow::writeListFile() {
  lineBuffer->setList(nullptr);  // the last list's memory goes before the next is made
  std::vector<std::u16string> files;
  for (const QString& p : paths()) files.push_back(U(p));
  const int slotTotal = std::max(static_cast<int>(files.size()), slotCount_);
  const QString where = Q(listFileName_);

  // A list too large for the memory (the buffer holds it) or the disk is refused at once, as a
  // write that failed.
  if (ListFileMinimumSize(files.size(), slotCount_) > ListFileRoom(listFileName_)) {
    jww::DeleteFileIfExists(listFileName_);
    showStatus(QStringLiteral("リストを出力できません（%1 スロットは大きすぎます）: ").arg(slotTotal), where);
    return;
  }

  WaitCursor wait;
  // Shown only when the run lasts longer than about half a second. It has no cancel button and
  // blocks the window, so nothing else runs until the list is written.
  constexpr int kSteps = 1000;
  QProgressDialog progress(QStringLiteral("リストを出力しています…"), QString(), 0, kSteps, this);
  progress.setWindowTitle(windowTitle());
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(500);
  progress.setValue(0);
  int shown = 0;
  auto report = [&progress, &shown](int done, int total) {
    const int v = static_cast<int>(int64_t{done} * kSteps / std::max(total, 1));
    if (v == shown) return;  // each step processes events once the dialog shows; keep them few
    shown = v;
    progress.setValue(v);
  };

  bool ok = false;
  try {
    auto bytes = std::make_shared<ListBytes>();
    ListFileOut(files, slotCount_, *document_, regional_, *bytes, report);
    ok = SaveListFile(listFileName_, *bytes);
    lineBuffer->setList(std::move(bytes));
  } catch (const std::exception&) {
    // Memory ran out after all: the list cannot be made, which counts as a failed write.
    document_->DataFree();
    lineBuffer->setList(nullptr);
    jww::DeleteFileIfExists(listFileName_);
  }
  progress.setValue(kSteps);
  if (ok)
    showStatus(QStringLiteral("%1 件の図面、%2 スロットを出力しました: ").arg(files.size()).arg(slotTotal), where);
  else
    showStatus(QStringLiteral("リストを出力できませんでした: "), where);
}

void MainWindow::fillTemplate() {
  if (model_->rowCount() == 0) return;
  slotCount_ = SlotCountOf(slotCountEdit->text());
  // The last choice is kept in a file of its own beside the settings file ("dravik.fill"), never
  // in the seven-line settings file nor in the layout file, which is written whole on closing.
  QSettings state(Q(ChangeFileExt(settingsFile_, u".fill")), QSettings::IniFormat);
  FileDialogs::FillChoice choice;
  choice.templ = state.value(QStringLiteral("fill/template")).toString();
  choice.out = state.value(QStringLiteral("fill/output")).toString();
  choice.anchor = std::clamp(state.value(QStringLiteral("fill/anchor"), 0).toInt(), 0, 2);
  if (!dialogs_->chooseFill(this, choice) || choice.templ.isEmpty() || choice.out.isEmpty()) return;
  state.setValue(QStringLiteral("fill/template"), choice.templ);
  state.setValue(QStringLiteral("fill/output"), choice.out);
  state.setValue(QStringLiteral("fill/anchor"), choice.anchor);
  state.sync();

  WaitCursor wait;
  jww::TJwwData doc;
  TemplateImages images;
  std::string why;
  if (!ReadTemplate(U(choice.templ), doc, images, why)) {
    showStatus(QStringLiteral("雛形の図面を読めません: "), choice.templ);
    return;
  }
  std::vector<std::u16string> files;
  for (const QString& p : paths()) files.push_back(U(p));
  ListValues values;
  ListFileOut(files, slotCount_, *document_, regional_, values);
  FillPlan plan(doc, values);
  if (plan.KeyCount() == 0) {
    showStatus(QStringLiteral("雛形に %% のキーがありません: "), choice.templ);
    return;
  }
  const bool pdf = choice.out.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
  const QString drawing = pdf ? choice.out.left(choice.out.size() - 4) + QStringLiteral(".jww") : choice.out;
  for (int64_t k = 1; k <= plan.SheetCount(); ++k)
    if (SameFile(U(choice.templ), SheetName(U(drawing), k))) {
      showStatus(QStringLiteral("雛形そのものには書き込みません: "), choice.templ);
      return;
    }
  const FillAnchor anchor = choice.anchor == 2 ? FillAnchor::kEnd : choice.anchor == 1 ? FillAnchor::kCentre : FillAnchor::kStart;
  bool ok = WriteFilledSheets(doc, plan, U(drawing), doc.Enthd.jwVer, anchor, why);
  if (ok && pdf) {
    std::vector<scene::Scene> scenes;
    for (int64_t k = 1; k <= plan.SheetCount(); ++k) {
      plan.Apply(k, anchor);
      scenes.push_back(scene::Build(doc));
    }
    plan.Restore();
    std::vector<const scene::Scene*> pages;
    for (const scene::Scene& sc : scenes) pages.push_back(&sc);
    ok = scene::WritePdfPages(pages, choice.out);
  }
  if (ok)
    showStatus(QStringLiteral("%1 枚の図面目録を出力しました: ").arg(plan.SheetCount()), pdf ? choice.out : drawing);
  else
    showStatus(QStringLiteral("図面目録を出力できませんでした: "), pdf ? choice.out : drawing);
}

// ---- drops from a file manager -------------------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedDrawings(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedDrawings(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  addFolder_ = jww::ExtractFileFolder(U(files.first()));
  appendFiles(files);
}

}  // namespace dravik
