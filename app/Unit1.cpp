#include "app/Unit1.h"

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

#include "app/ListFile.h"
#include "app/Settings.h"
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

QStringList TQtFileDialogs::OpenDialog1(QWidget* parent, const QString& folder) {
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

QString TQtFileDialogs::SaveDialog1(QWidget* parent, const QString& folder, const QString& fileName) {
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

TForm1::TForm1(std::unique_ptr<TFileDialogs> dialogs, QString exePath, QWidget* parent)
    : QWidget(parent),
      dialogs_(dialogs ? std::move(dialogs) : std::make_unique<TQtFileDialogs>()),
      exePath_(std::move(exePath)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Dravik"));
  setAcceptDrops(true);
  // Japanese forms of the shared Han characters where that font is installed; the desktop's own
  // font stays first for everything else.
  QFont f = font();
  f.setFamilies({f.family(), QStringLiteral("Noto Sans CJK JP")});
  setFont(f);

  ListBox1 = new QListWidget(this);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);

  // The panel's controls sit at fixed places, as designed; the panel keeps its width and only the
  // list box grows with the window.
  Panel1 = new QFrame(this);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFixedWidth(120);
  Panel1->setMinimumHeight(262);
  Button1 = MakeButton(Panel1, "Button1", QStringLiteral("ファイル追加 (&F)"), 8, 25);
  Button2 = MakeButton(Panel1, "Button2", QStringLiteral("▲ (&U)"), 40, 25);
  Button3 = MakeButton(Panel1, "Button3", QStringLiteral("▼ (&D)"), 72, 25);
  Button4 = MakeButton(Panel1, "Button4", QStringLiteral("削除 (&E)"), 104, 25);
  Label4 = new QLabel(QStringLiteral("ファイル最大数"), Panel1);
  Label4->setObjectName(QStringLiteral("Label4"));
  // At least the designed 70 wide, wider when the desktop's font needs it.
  Label4->setGeometry(8, 136, std::max(70, Label4->sizeHint().width()), 16);
  Edit1 = new QLineEdit(Panel1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(8, 152, 105, 22);
  // The slot count is a plain number: no input method composition.
  Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
  Button5 = MakeButton(Panel1, "Button5", QStringLiteral("リスト出力 (&O)"), 200, 25);
  Button6 = MakeButton(Panel1, "Button6", QStringLiteral("終了 (&X)"), 232, 22);
  Memo1 = new QPlainTextEdit(Panel1);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setGeometry(8, 280, 105, 50);
  Memo1->setReadOnly(true);
  Memo1->setUndoRedoEnabled(false);
  Memo1->hide();

  StatusBar1 = new QFrame(this);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setFixedHeight(51);
  Label1 = MakeStatusLabel(StatusBar1, "Label1",
                           QStringLiteral("%%PA：パス名　%%1F：フルパスファイル名　%%1f：ファイル名(拡張子無)"
                                          "　%%1e：ファイル名(有)　%%1SZ：サイズ"),
                           16);
  Label2 = MakeStatusLabel(StatusBar1, "Label2",
                           QStringLiteral("%%1fs1～9：ファイル名空白区切文字　%%1DT：日時　%%1D：日付"
                                          "　%%1T：時間　%%1J：和暦"),
                           16);
  Label3 = MakeStatusLabel(StatusBar1, "Label3",
                           QStringLiteral("%%1mm：メモ　%%1m1：メモ上段　%%1m2：メモ下段"
                                          "　%%1p：用紙サイズ　%%1SS0～f：縮尺"),
                           17);
  auto* status = new QVBoxLayout(StatusBar1);
  status->setContentsMargins(kHelpIndent, 0, kHelpIndent, 0);
  status->setSpacing(0);
  status->addWidget(Label1);
  status->addWidget(Label2);
  status->addWidget(Label3);
  status->addStretch(1);
  FitHelpLines({Label1, Label2, Label3}, kDesignWidth - 2 * kHelpIndent);

  auto* top = new QHBoxLayout;
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(0);
  top->addWidget(ListBox1, 1);
  top->addWidget(Panel1);
  auto* form = new QVBoxLayout(this);
  form->setContentsMargins(0, 0, 0, 0);
  form->setSpacing(0);
  form->addLayout(top, 1);
  form->addWidget(StatusBar1);

  setTabOrder(ListBox1, Memo1);
  setTabOrder(Memo1, Button1);
  setTabOrder(Button1, Button2);
  setTabOrder(Button2, Button3);
  setTabOrder(Button3, Button4);
  setTabOrder(Button4, Edit1);
  setTabOrder(Edit1, Button5);
  setTabOrder(Button5, Button6);

  connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);

  // The design's client area; the settings file sets the real size when the window is shown.
  resize(kDesignWidth, kDesignHeight);
}

TForm1::~TForm1() = default;

void TForm1::showEvent(QShowEvent* event) {
  if (!open_ && !event->spontaneous()) FormShow();
  QWidget::showEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (open_) FormClose();
  event->accept();
}

void TForm1::FormShow() {
  const std::u16string exe = exePath_.isEmpty() ? jww::ExecutablePath() : U(exePath_);
  AppPath = jww::ExtractFileFolder(exe);
  DatFile = ChangeFileExt(exe, u".dat");
  LoadDat();
  Edit1->setText(QString::number(DatNum));
  ListBox1->clear();
  Memo1->hide();
  JWW = std::make_unique<jww::TJwwData>();
  JWW->BindImageInit();
  JWW->BindImageFolder = AppPath + u"TMP" + jww::kPathDelim;
  JWW->BindImageExp = false;
  JWW->BindImageExr = false;
  open_ = true;
}

void TForm1::FormClose() {
  open_ = false;
  JWW.reset();
  DatNum = SlotCountOf(Edit1->text());
  SaveDat();
}

void TForm1::LoadDat() {
  TSettings s = DefaultSettings(AppPath);
  LoadSettings(DatFile, s);
  move(s.Left, s.Top);
  resize(s.Width, s.Height);
  JwwPath = s.JwwPath;
  LstName = s.LstName;
  DatNum = s.DatNum;
}

void TForm1::SaveDat() {
  TSettings s;
  s.Left = x();
  s.Top = y();
  s.Width = width();
  s.Height = height();
  s.JwwPath = JwwPath;
  s.LstName = LstName;
  s.DatNum = DatNum;
  SaveSettings(DatFile, s);
}

// ---- the list ----------------------------------------------------------------------------------

int TForm1::SelectedRow() const {
  const QList<QListWidgetItem*> items = ListBox1->selectedItems();
  return items.isEmpty() ? -1 : ListBox1->row(items.first());
}

void TForm1::SwapRows(int row, int other) {
  const int first = std::min(row, other);
  QListWidgetItem* item = ListBox1->takeItem(first);
  ListBox1->insertItem(first + 1, item);
  ListBox1->setCurrentRow(other);
}

void TForm1::AddFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    const std::u16string p = U(path);
    bool listed = false;
    for (int i = 0; i < ListBox1->count() && !listed; ++i)
      listed = jww::SameTextAscii(U(ListBox1->item(i)->text()), p);
    if (!listed) ListBox1->addItem(path);
  }
}

void TForm1::Button1Click() {
  const QStringList files = dialogs_->OpenDialog1(this, Q(JwwPath));
  if (files.isEmpty()) return;
  JwwPath = jww::ExtractFileFolder(U(files.first()));
  AddFiles(files);
}

void TForm1::Button2Click() {
  const int row = SelectedRow();
  if (ListBox1->count() > 1 && row > 0) SwapRows(row, row - 1);
}

void TForm1::Button3Click() {
  const int row = SelectedRow();
  if (ListBox1->count() > 1 && row >= 0 && row < ListBox1->count() - 1) SwapRows(row, row + 1);
}

void TForm1::Button4Click() {
  const int row = SelectedRow();
  if (ListBox1->count() > 0 && row >= 0) delete ListBox1->takeItem(row);
}

void TForm1::Button5Click() {
  if (ListBox1->count() == 0) return;
  DatNum = SlotCountOf(Edit1->text());
  const bool hadFocus = Button5->hasFocus();
  Button5->setEnabled(false);
  const QString chosen =
      dialogs_->SaveDialog1(this, Q(jww::ExtractFileFolder(LstName)), Q(jww::ExtractFileName(LstName)));
  if (!chosen.isEmpty()) {
    LstName = U(chosen);
    ListFileOut();
  }
  Button5->setEnabled(true);
  if (hadFocus) Button5->setFocus();
}

void TForm1::Button6Click() { close(); }

void TForm1::ListFileOut() {
  Memo1->clear();
  std::vector<std::u16string> files;
  files.reserve(static_cast<size_t>(ListBox1->count()));
  for (int i = 0; i < ListBox1->count(); ++i) files.push_back(U(ListBox1->item(i)->text()));

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
        ListFileLines(files, DatNum, *JWW, jww::RegionalFromLocale(),
                      [&report](int done, int total) { report(done, total, 0); });
    FillLineBuffer(Memo1, lines, [&report](int64_t done, int64_t total) {
      report(done, total, kSteps / 2);
    });
    SaveListFile(LstName, lines);
  } catch (const std::exception&) {
    // A slot count too large for memory: the list cannot be made, which counts as a failed write.
    JWW->DataFree();
    Memo1->clear();
    jww::DeleteFileIfExists(LstName);
  }
  progress.setValue(kSteps);
}

// ---- drops from a file manager -------------------------------------------------------------------

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedDrawings(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
  const QStringList files = DroppedDrawings(event->mimeData());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  JwwPath = jww::ExtractFileFolder(U(files.first()));
  AddFiles(files);
}

}  // namespace dravik
