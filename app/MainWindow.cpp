#include "app/MainWindow.h"

#include <QApplication>
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
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTextCursor>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <initializer_list>
#include <vector>

#include "list/ListFile.h"
#include "list/Settings.h"
#include "common/Func_2.h"

namespace dravik {

namespace {

// The designed client area, and the help lines' distance from the window's edges.
constexpr int kDesignWidth = 551;
constexpr int kDesignHeight = 355;
constexpr int kHelpIndent = 2;

QString Q(const std::u16string& s) { return QString::fromStdU16String(s); }
std::u16string U(const QString& s) { return s.toStdU16String(); }

// The slot count the edit box holds: the absolute value of its integer, 0 for a text that is no
// integer. |INT_MIN| does not fit an int, so it stays at INT_MAX.
int SlotCountOf(const QString& text) {
  const int64_t v = std::llabs(static_cast<int64_t>(jww::StrToIntDef0(U(text))));
  return static_cast<int>(std::min<int64_t>(v, INT32_MAX));
}

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

// Where the window keeps its own files. Beside the executable while its folder is writable (a
// build folder, a copy in the user's own folders); an installed program, whose folder only the
// system may write, keeps the same settings file in the user's configuration folder and the
// image folder in the user's cache, and its dialogs start in the home folder rather than
// proposing a list file in a folder the user cannot write.
struct WindowPlaces {
  std::u16string settingsFile;
  std::u16string imageFolder;    ///< "TMP/" for the document's bound images
  std::u16string defaultFolder;  ///< where the dialogs start until the settings file says otherwise
  QString configFolder;          ///< to create before the settings file is written; empty beside the executable
};

WindowPlaces PlacesOf(const std::u16string& exe) {
  const std::u16string exeFolder = jww::ExtractFileFolder(exe);
  if (QFileInfo(Q(exeFolder)).isWritable())
    return {SettingsFilePath(exe), exeFolder + u"TMP" + jww::kPathDelim, exeFolder, {}};
  const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
  const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  const std::u16string settingsName = jww::ExtractFileName(SettingsFilePath(exe));
  return {U(config) + jww::kPathDelim + settingsName, U(cache) + jww::kPathDelim + u"TMP" + jww::kPathDelim,
          U(QDir::homePath()) + jww::kPathDelim, config};
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

// Puts the list file's lines into the hidden line buffer, one block per line; a line break inside
// a line (a memo of several lines) starts a new block there. Filled in parts, so that progress
// can be shown: a text document costs microseconds per line.
void FillLineBuffer(QPlainTextEdit* memo, const std::vector<std::u16string>& lines,
                    const std::function<void(int64_t, int64_t)>& progress) {
  constexpr size_t kPart = 4096;
  QTextCursor cursor(memo->document());
  for (size_t i = 0; i < lines.size(); i += kPart) {
    QString part;
    for (size_t j = i; j < std::min(lines.size(), i + kPart); ++j) {
      if (j > 0) part += QLatin1Char('\n');
      part += Q(lines[j]).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    }
    cursor.insertText(part);
    progress(static_cast<int64_t>(std::min(lines.size(), i + kPart)), static_cast<int64_t>(lines.size()));
  }
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

  fileList = new QListWidget(this);
  fileList->setObjectName(QStringLiteral("ListBox1"));
  fileList->setSelectionMode(QAbstractItemView::SingleSelection);

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
  lineBuffer = new QPlainTextEdit(buttonPanel);
  lineBuffer->setObjectName(QStringLiteral("Memo1"));
  lineBuffer->setGeometry(8, 280, 105, 50);
  lineBuffer->setReadOnly(true);
  lineBuffer->setUndoRedoEnabled(false);
  lineBuffer->hide();

  helpArea = new QFrame(this);
  helpArea->setObjectName(QStringLiteral("StatusBar1"));
  helpArea->setFixedHeight(51);
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

  auto* top = new QHBoxLayout;
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(fileList, 1);
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

  connect(addButton, &QPushButton::clicked, this, &MainWindow::addFiles);
  connect(upButton, &QPushButton::clicked, this, &MainWindow::moveUp);
  connect(downButton, &QPushButton::clicked, this, &MainWindow::moveDown);
  connect(deleteButton, &QPushButton::clicked, this, &MainWindow::deleteSelected);
  connect(listButton, &QPushButton::clicked, this, &MainWindow::writeList);
  connect(exitButton, &QPushButton::clicked, this, &MainWindow::exitWindow);

  // The design's client area; the settings file sets the real size when the window is shown.
  resize(kDesignWidth, kDesignHeight);
}

MainWindow::~MainWindow() = default;

void MainWindow::showEvent(QShowEvent* event) {
  if (!open_ && !event->spontaneous()) openWindow();
  QWidget::showEvent(event);
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
  loadSettings();
  slotCountEdit->setText(QString::number(slotCount_));
  fileList->clear();
  lineBuffer->hide();
  document_ = std::make_unique<jww::TJwwData>();
  document_->BindImageInit();
  document_->BindImageFolder = places.imageFolder;
  document_->BindImageExp = false;
  document_->BindImageExr = false;
  open_ = true;
}

void MainWindow::closeWindow() {
  open_ = false;
  document_.reset();
  slotCount_ = SlotCountOf(slotCountEdit->text());
  saveSettings();
}

void MainWindow::loadSettings() {
  TSettings s = DefaultSettings(defaultFolder_);
  LoadSettings(settingsFile_, s);
  move(s.Left, s.Top);
  resize(s.Width, s.Height);
  addFolder_ = s.JwwPath;
  listFileName_ = s.LstName;
  slotCount_ = s.DatNum;
}

void MainWindow::saveSettings() {
  TSettings s;
  s.Left = x();
  s.Top = y();
  s.Width = width();
  s.Height = height();
  s.JwwPath = addFolder_;
  s.LstName = listFileName_;
  s.DatNum = slotCount_;
  if (!settingsFolder_.isEmpty()) QDir().mkpath(settingsFolder_);
  SaveSettings(settingsFile_, s);
}

// ---- the list ----------------------------------------------------------------------------------

int MainWindow::selectedRow() const {
  const QList<QListWidgetItem*> items = fileList->selectedItems();
  return items.isEmpty() ? -1 : fileList->row(items.first());
}

void MainWindow::swapRows(int row, int other) {
  const int first = std::min(row, other);
  QListWidgetItem* item = fileList->takeItem(first);
  fileList->insertItem(first + 1, item);
  fileList->setCurrentRow(other);
}

void MainWindow::appendFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    const std::u16string p = U(path);
    bool listed = false;
    for (int i = 0; i < fileList->count() && !listed; ++i)
      listed = jww::SameTextAscii(U(fileList->item(i)->text()), p);
    if (!listed) fileList->addItem(path);
  }
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

void MainWindow::addFiles() {
  const QStringList files = dialogs_->chooseDrawings(this, Q(addFolder_));
  if (files.isEmpty()) return;
  addFolder_ = jww::ExtractFileFolder(U(files.first()));
  appendFiles(files);
}

void MainWindow::moveUp() {
  const int row = selectedRow();
  if (fileList->count() > 1 && row > 0) swapRows(row, row - 1);
}

void MainWindow::moveDown() {
  const int row = selectedRow();
  if (fileList->count() > 1 && row >= 0 && row < fileList->count() - 1) swapRows(row, row + 1);
}

void MainWindow::deleteSelected() {
  const int row = selectedRow();
  if (fileList->count() > 0 && row >= 0) delete fileList->takeItem(row);
}

void MainWindow::writeList() {
  if (fileList->count() == 0) return;
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
  lineBuffer->clear();
  std::vector<std::u16string> files;
  files.reserve(static_cast<size_t>(fileList->count()));
  for (int i = 0; i < fileList->count(); ++i) files.push_back(U(fileList->item(i)->text()));

  WaitCursor wait;
  // Shown only when the run lasts longer than about half a second. It has no cancel button and
  // blocks the window, so nothing else runs until the list is written. Making the lines and
  // filling the line buffer each take half of the bar: the buffer costs far more per line than
  // making it, and the bar must not sit full while the buffer fills.
  constexpr int kSteps = 1000;
  QProgressDialog progress(QStringLiteral("リストを出力しています…"), QString(), 0, kSteps, this);
  progress.setWindowTitle(windowTitle());
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setMinimumDuration(500);
  progress.setValue(0);
  int shown = 0;
  auto report = [&progress, &shown](int64_t done, int64_t total, int from) {
    const int v = from + static_cast<int>(done * (kSteps / 2) / std::max<int64_t>(total, 1));
    if (v == shown) return;  // each step processes events once the dialog shows; keep them few
    shown = v;
    progress.setValue(v);
  };

  try {
    const std::vector<std::u16string> lines =
        ListFileLines(files, slotCount_, *document_, jww::RegionalFromLocale(),
                      [&report](int done, int total) { report(done, total, 0); });
    FillLineBuffer(lineBuffer, lines, [&report](int64_t done, int64_t total) {
      report(done, total, kSteps / 2);
    });
    SaveListFile(listFileName_, lines);
  } catch (const std::exception&) {
    // A slot count too large for memory: the list cannot be made, which counts as a failed write.
    document_->DataFree();
    lineBuffer->clear();
    jww::DeleteFileIfExists(listFileName_);
  }
  progress.setValue(kSteps);
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
