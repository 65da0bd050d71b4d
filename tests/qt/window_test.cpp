// The Dravik window driven as a user would: buttons, the slot count box, drops, keyboard
// accelerators. The file dialogs are answered by a stand-in, and every window runs with its own
// folder standing for the executable's, so the settings file is the test's own.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QTreeView>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>

#include <array>
#include <atomic>
#include <functional>
#include <thread>
#include <tuple>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

#include "app/DrawingList.h"
#include "app/MainWindow.h"
#include "app/Places.h"
#include "app/SingleInstance.h"
#include "app/WindowState.h"
#include "app/Preview.h"
#include "list/Settings.h"
#include "tests/jww_bytes.h"
#include "common/Func_2.h"

using dravik::MainWindow;

namespace {

// What the stand-in dialogs answer and what they were asked.
struct DialogLog {
  QList<QStringList> openAnswers;  ///< next answers of the add dialog; cancel when none is left
  QStringList saveAnswers;         ///< next answers of the save dialog; cancel when none is left
  QStringList openFolders;         ///< folder of each add dialog opened
  QList<QPair<QString, QString>> saves;  ///< folder and preset name of each save dialog opened
  QList<bool> listButtonEnabledInSave;      ///< whether the list button was enabled meanwhile
  QStringList listAnswers;  ///< next answers of the drawing list's open and save dialogs
  QStringList listFolders;  ///< folder of each of those dialogs opened
  QList<dravik::FileDialogs::FillChoice> fillAnswers;  ///< next answers of the index sheet's dialog
  QList<dravik::FileDialogs::FillChoice> fillPresets;  ///< what that dialog was opened with
};

class FakeDialogs final : public dravik::FileDialogs {
 public:
  explicit FakeDialogs(DialogLog& log) : log_(log) {}
  QStringList chooseDrawings(QWidget*, const QString& folder) override {
    log_.openFolders << folder;
    return log_.openAnswers.isEmpty() ? QStringList() : log_.openAnswers.takeFirst();
  }
  QString chooseDrawingListToOpen(QWidget*, const QString& folder) override {
    log_.listFolders << folder;
    return log_.listAnswers.isEmpty() ? QString() : log_.listAnswers.takeFirst();
  }
  QString chooseDrawingListToSave(QWidget*, const QString& folder) override {
    log_.listFolders << folder;
    return log_.listAnswers.isEmpty() ? QString() : log_.listAnswers.takeFirst();
  }
  QString chooseListFile(QWidget* parent, const QString& folder, const QString& fileName) override {
    log_.saves.append({folder, fileName});
    log_.listButtonEnabledInSave << static_cast<MainWindow*>(parent)->listButton->isEnabled();
    return log_.saveAnswers.isEmpty() ? QString() : log_.saveAnswers.takeFirst();
  }
  bool chooseFill(QWidget*, FillChoice& choice) override {
    log_.fillPresets << choice;
    if (log_.fillAnswers.isEmpty()) return false;
    choice = log_.fillAnswers.takeFirst();
    return true;
  }

 private:
  DialogLog& log_;
};

// One window beside its own settings file, in a folder of its own.
struct Harness {
  QTemporaryDir dir;
  DialogLog dialogs;
  std::unique_ptr<MainWindow> form;

  QString appPath_() const { return dir.path() + QLatin1Char('/'); }
  QString Path(const QString& rel) const { return dir.filePath(rel); }
  QString settingsFile_() const { return Path(QStringLiteral("dravik.dat")); }

  MainWindow& Open() {
    form = std::make_unique<MainWindow>(std::make_unique<FakeDialogs>(dialogs),
                                    Path(QStringLiteral("dravik")));
    form->show();
    return *form;
  }
  void Close() {
    form->close();
    form.reset();
  }
  // Lists files through the add button.
  void Add(const QStringList& paths) {
    dialogs.openAnswers << paths;
    form->addFiles();
  }
  QStringList Rows() const {
    QStringList rows;
    rows = form->paths();
    return rows;
  }
  // Writes the list through the list button to `path`.
  void WriteList(const QString& path) {
    dialogs.saveAnswers << path;
    form->writeList();
  }
};

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString SettingsLine(const QString& datFile, int line) {
  return QString::fromStdU16String(jww::AnsiToStr(ReadBytes(datFile).toStdString()))
      .split(QStringLiteral("\r\n"))
      .value(line - 1);
}

// Slots of a list file: its "F" lines (a memo may carry line breaks, so lines are not counted).
int SlotsInList(const QByteArray& list) {
  static const QRegularExpression fLine(QStringLiteral("\n%%\\d+F\t"));
  return static_cast<int>(QString::fromLatin1(list).count(fLine));
}

// Limits the process's address space to what it uses now plus `headroom` bytes, so that a run
// that asks for more memory than there is fails fast instead of filling the machine.
class AddressSpaceCap {
 public:
  explicit AddressSpaceCap(long long headroom) {
    getrlimit(RLIMIT_AS, &old_);
    const long long pages = ReadBytes(QStringLiteral("/proc/self/statm")).split(' ').value(0).toLongLong();
    rlimit capped = old_;
    capped.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + headroom);
    setrlimit(RLIMIT_AS, &capped);
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &old_); }
  AddressSpaceCap(const AddressSpaceCap&) = delete;
  AddressSpaceCap& operator=(const AddressSpaceCap&) = delete;

 private:
  rlimit old_{};
};

// Sets an environment variable for the life of the guard.
struct Env {
  QByteArray name, old;
  bool had;
  Env(const char* n, const QString& v) : name(n), old(qgetenv(n)), had(qEnvironmentVariableIsSet(n)) {
    qputenv(n, v.toUtf8());
  }
  ~Env() { had ? qputenv(name, old) : qunsetenv(name); }
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
};

QRect SettingsRect(const QString& datFile) {
  return {SettingsLine(datFile, 1).toInt(), SettingsLine(datFile, 2).toInt(), SettingsLine(datFile, 3).toInt(),
          SettingsLine(datFile, 4).toInt()};
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void firstRunUsesDefaultsAndWritesThem();
  void settingsFileIsApplied_data();
  void settingsFileIsApplied();
  void settingsFileNameFollowsExecutable_data();
  void settingsFileNameFollowsExecutable();
  void settingsWriteFailureIsSilent();
  void slotCountText_data();
  void slotCountText();
  void hugeSlotCountFailsLikeAWrite();
  void addSkipsListedPathsInAnyAsciiCase();
  void upDownDelete_data();
  void upDownDelete();
  void emptyListDoesNotAskForAFile();
  void listFileNameIsRemembered();
  void listMatchesCommandLineTool();
  void fillWritesTheIndexSheet();
  void droppedDrawingsAreAdded();
  void commandLineFilesAreAdded();
  void installedWindowKeepsItsFilesInUserFolders();
  void filesBesideTheExecutableOnlyWhenNotInstalled_data();
  void filesBesideTheExecutableOnlyWhenNotInstalled();
  void placeOnScreen_data();
  void placeOnScreen();
  void geometryKeptAcrossStarts();
  void columnsShareTheWidth();
  void statusLineKeepsTheFileNameWhole();
  void secondStartHandsItsFilesOver();
  void controlsLayoutAndCaptions();
  void helpReadableAtFirstRunSize();
  void previewShowsTheSelectedDrawing();
  void previewSharesTheWidthAndKeepsItsShare();
  void compareShowsTheChangePicture();
  void accelerators();
  void desktopDialogs();
  void columnsFromHeadersReadInTheBackground();
  void thousandDrawingsListWithoutWaiting();
  void severalRows_data();
  void severalRows();
  void keysOfTheList();
  void countFollowsEveryChange();
  void dragReordersRows();
  void sortByReordersSlots();
  void statusLineSaysWhatWasWritten();
  void listKeptBetweenRuns();
  void drawingListSavedAndOpened();
  void positionAndSizeClampedToScreen_data();
  void positionAndSizeClampedToScreen();
  void lineBufferFillsWhenShown();
  void toolkitTextsInJapanese();
};

// The offscreen platform says on every window shown that it cannot pass size hints on (and on
// every raise that it cannot raise); that is not the window's concern and would bury real warnings.
QtMessageHandler previousHandler = nullptr;

void WindowTest::initTestCase() {
  previousHandler = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message == QLatin1String("This plugin does not support propagateSizeHints()") ||
            message == QLatin1String("This plugin does not support raise()"))
          return;
        previousHandler(type, context, message);
      });
}

void WindowTest::firstRunUsesDefaultsAndWritesThem() {
  Harness h;
  MainWindow& w = h.Open();
  QCOMPARE(w.pos(), QPoint(100, 100));
  QCOMPARE(w.size(), QSize(400, 320));
  QCOMPARE(w.slotCountEdit->text(), QStringLiteral("10"));
  QCOMPARE(w.drawings()->rowCount(), 0);
  QVERIFY(w.lineBuffer->isHidden());
  QCOMPARE(w.windowTitle(), QStringLiteral("Dravik"));
  QVERIFY(w.document() != nullptr);
  QCOMPARE(QString::fromStdU16String(w.document()->BindImageFolder), h.appPath_() + "TMP/");
  QVERIFY(!w.document()->BindImageExp && !w.document()->BindImageExr);

  w.addFiles();  // cancelled
  QCOMPARE(h.dialogs.openFolders, QStringList{h.appPath_()});
  QCOMPARE(w.drawings()->rowCount(), 0);

  h.Add({h.Path("drawings/a.jww")});
  w.writeList();  // cancelled
  QCOMPARE(h.dialogs.saves.value(0), qMakePair(h.appPath_(), QStringLiteral("List.txt")));
  QVERIFY(!QFile::exists(h.Path("List.txt")));
  QVERIFY(w.listButton->isEnabled());

  h.Close();
  QCOMPARE(ReadBytes(h.settingsFile_()), ("100\r\n100\r\n400\r\n320\r\n" + h.Path("drawings/") + "\r\n" +
                                    h.appPath_() + "List.txt\r\n10\r\n")
                                       .toUtf8());
}

void WindowTest::settingsFileIsApplied_data() {
  QTest::addColumn<QByteArray>("dat");
  QTest::addColumn<QPoint>("pos");
  QTest::addColumn<QSize>("size");  // empty: the window's minimum size
  QTest::addColumn<QString>("edit1");
  QTest::addColumn<QString>("openFolder");
  QTest::addColumn<QString>("saveFolder");
  QTest::addColumn<QString>("saveName");

  const QByteArray six = "10\r\n20\r\n500\r\n400\r\n/d/drawings/\r\n/d/out/L.txt\r\n";
  QTest::newRow("six lines keep 10 slots")
      << six << QPoint(10, 20) << QSize(500, 400) << "10" << "/d/drawings/" << "/d/out/" << "L.txt";
  QTest::newRow("seventh line -3") << six + "-3\r\n" << QPoint(10, 20) << QSize(500, 400) << "-3"
                                   << "/d/drawings/" << "/d/out/" << "L.txt";
  QTest::newRow("empty seventh line is 0") << six + "\r\n" << QPoint(10, 20) << QSize(500, 400)
                                           << "0" << "/d/drawings/" << "/d/out/" << "L.txt";
  QTest::newRow("malformed numbers are 0")
      << QByteArray("abc\r\n1e3\r\n\r\n-\r\n/d/\r\n/d/L.txt\r\n7x\r\n") << QPoint(0, 0) << QSize()
      << "0" << "/d/" << "/d/" << "L.txt";
  QTest::newRow("cut short: the rest reads as empty")
      << QByteArray("30\r\n40") << QPoint(30, 40) << QSize() << "10" << "" << "/" << "";
  QTest::newRow("code page 932 paths")
      << QByteArray("1\r\n2\r\n450\r\n350\r\n/d/\x90\x7d\x96\xca/\r\n/d/\x83\x74\x83\x40\x83\x43\x83\x8b.txt\r\n5\r\n")
      << QPoint(1, 2) << QSize(450, 350) << "5" << "/d/図面/" << "/d/" << "ファイル.txt";
  QTest::newRow("LF line ends") << QByteArray("1\n2\n450\n350\n/d/\n/e/L.txt\n5\n") << QPoint(1, 2)
                                << QSize(450, 350) << "5" << "/d/" << "/e/" << "L.txt";
}

void WindowTest::settingsFileIsApplied() {
  QFETCH(QByteArray, dat);
  QFETCH(QPoint, pos);
  QFETCH(QSize, size);
  QFETCH(QString, edit1);
  QFETCH(QString, openFolder);
  QFETCH(QString, saveFolder);
  QFETCH(QString, saveName);

  Harness h;
  QVERIFY(WriteBytes(h.settingsFile_(), dat));
  MainWindow& w = h.Open();
  QCOMPARE(w.pos(), pos);
  QCOMPARE(w.size(), size.isEmpty() ? w.minimumSize() : size);
  QCOMPARE(w.slotCountEdit->text(), edit1);
  w.addFiles();
  QCOMPARE(h.dialogs.openFolders.value(0), openFolder);
  w.appendFiles({h.Path("a.jww")});
  w.writeList();
  QCOMPARE(h.dialogs.saves.value(0), qMakePair(saveFolder, saveName));
}

void WindowTest::settingsFileNameFollowsExecutable_data() {
  QTest::addColumn<QString>("exe");
  QTest::addColumn<QString>("dat");
  QTest::newRow("no extension") << "/opt/dravik/dravik" << "/opt/dravik/dravik.dat";
  QTest::newRow("extension replaced") << "/opt/dravik/dravik.bin" << "/opt/dravik/dravik.dat";
  QTest::newRow("dot in a folder name") << "/opt/v1.2/dravik" << "/opt/v1.2/dravik.dat";
  QTest::newRow("last extension only") << "/opt/a.b.c" << "/opt/a.b.dat";
}

void WindowTest::settingsFileNameFollowsExecutable() {
  QFETCH(QString, exe);
  QFETCH(QString, dat);
  QCOMPARE(QString::fromStdU16String(dravik::ChangeFileExt(exe.toStdU16String(), u".dat")), dat);
}

void WindowTest::settingsWriteFailureIsSilent() {
  // A write that fails part-way: the settings file that was there is deleted.
  {
    Harness h;
    QVERIFY(WriteBytes(h.settingsFile_(), "old"));
    const bool saved = dravik::SaveSettings(h.settingsFile_().toStdU16String(), dravik::TSettings{},
                                            [](std::u16string_view, std::string_view) { return false; });
    QVERIFY(!saved);
    QVERIFY(!QFile::exists(h.settingsFile_()));
  }
  // The window closes quietly when its settings file cannot be replaced (here a folder is in the
  // way) and leaves nothing half-written behind.
  {
    Harness h;
    QVERIFY(QDir().mkpath(h.settingsFile_() + "/keep"));
    h.Open();
    h.Close();
    QVERIFY(QFileInfo(h.settingsFile_()).isDir());
    // The layout file beside it is a file of its own, written whole.
    QCOMPARE(QDir(h.dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"dravik.ini"});
  }
}

void WindowTest::slotCountText_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<int>("slotCount");  // in the list written with one file listed
  QTest::addColumn<QString>("kept"); // line 7 of the settings file after closing
  QTest::newRow("negative counts as positive") << "-3" << 3 << "3";
  QTest::newRow("not a number is 0") << "abc" << 1 << "0";
  QTest::newRow("blanks around the number") << " 12 " << 12 << "12";
  QTest::newRow("zero") << "0" << 1 << "0";
  QTest::newRow("empty") << "" << 1 << "0";
}

void WindowTest::slotCountText() {
  QFETCH(QString, text);
  QFETCH(int, slotCount);
  QFETCH(QString, kept);
  Harness h;
  QVERIFY(WriteBytes(h.Path("a.jww"), "not a drawing"));
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww")});
  w.slotCountEdit->setText(text);
  h.WriteList(h.Path("out.txt"));
  QCOMPARE(SlotsInList(ReadBytes(h.Path("out.txt"))), slotCount);
  QCOMPARE(w.slotCountEdit->text(), text);
  h.Close();
  QCOMPARE(SettingsLine(h.settingsFile_(), 7), kept);
}

void WindowTest::hugeSlotCountFailsLikeAWrite() {
#if defined(__SANITIZE_ADDRESS__)
  QSKIP("AddressSanitizer reserves more address space than the cap below allows");
#else
  Harness h;
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww")});
  QVERIFY(WriteBytes(h.Path("out.txt"), "an older list"));
  w.slotCountEdit->setText(QStringLiteral("-2147483648"));
  {
    AddressSpaceCap cap(1LL << 30);  // run out of memory soon, whatever the machine has
    h.WriteList(h.Path("out.txt"));
  }
  QVERIFY(!QFile::exists(h.Path("out.txt")));
  QVERIFY(w.listButton->isEnabled());
  QVERIFY(w.lineBuffer->text().isEmpty());

  // The window goes on working.
  w.slotCountEdit->setText(QStringLiteral("2"));
  h.WriteList(h.Path("out.txt"));
  QCOMPARE(SlotsInList(ReadBytes(h.Path("out.txt"))), 2);
  w.slotCountEdit->setText(QStringLiteral("-2147483648"));
  h.Close();
  QCOMPARE(SettingsLine(h.settingsFile_(), 7), QStringLiteral("2147483647"));
#endif
}

void WindowTest::addSkipsListedPathsInAnyAsciiCase() {
  Harness h;
  MainWindow& w = h.Open();
  h.Add({"/d/one/a.jww", "/d/one/b.jww"});
  // Other ASCII case is the same file; full-width letters are not ASCII and stay distinct.
  h.Add({"/d/two/c.jww", "/D/ONE/A.JWW", "/d/one/b.jww", "/d/two/ｚ.jww", "/d/two/Ｚ.jww"});
  QCOMPARE(h.Rows(), (QStringList{"/d/one/a.jww", "/d/one/b.jww", "/d/two/c.jww", "/d/two/ｚ.jww",
                                  "/d/two/Ｚ.jww"}));
  w.addFiles();
  QCOMPARE(h.dialogs.openFolders.value(2), QStringLiteral("/d/two/"));
}

void WindowTest::upDownDelete_data() {
  QTest::addColumn<int>("rows");
  QTest::addColumn<int>("selected");  // -1: none
  QTest::addColumn<int>("button");    // 2 up, 3 down, 4 delete
  QTest::addColumn<QString>("order");
  QTest::addColumn<int>("selectedAfter");  // -2: not checked
  QTest::newRow("up") << 3 << 1 << 2 << "bac" << 0;
  QTest::newRow("up from the last") << 3 << 2 << 2 << "acb" << 1;
  QTest::newRow("up on the first row") << 3 << 0 << 2 << "abc" << 0;
  QTest::newRow("up without selection") << 3 << -1 << 2 << "abc" << -1;
  QTest::newRow("up with one row") << 1 << 0 << 2 << "a" << 0;
  QTest::newRow("down") << 3 << 1 << 3 << "acb" << 2;
  QTest::newRow("down from the first") << 3 << 0 << 3 << "bac" << 1;
  QTest::newRow("down on the last row") << 3 << 2 << 3 << "abc" << 2;
  QTest::newRow("down without selection") << 3 << -1 << 3 << "abc" << -1;
  QTest::newRow("down with one row") << 1 << 0 << 3 << "a" << 0;
  QTest::newRow("delete") << 3 << 1 << 4 << "ac" << -2;
  QTest::newRow("delete the only row") << 1 << 0 << 4 << "" << -2;
  QTest::newRow("delete without selection") << 3 << -1 << 4 << "abc" << -1;
  QTest::newRow("delete in an empty list") << 0 << -1 << 4 << "" << -1;
}

void WindowTest::upDownDelete() {
  QFETCH(int, rows);
  QFETCH(int, selected);
  QFETCH(int, button);
  QFETCH(QString, order);
  QFETCH(int, selectedAfter);
  Harness h;
  MainWindow& w = h.Open();
  for (int i = 0; i < rows; ++i) w.appendFiles({QString(QChar(u'a' + i))});
  if (selected >= 0) {
    w.selectRows({selected});
  } else if (rows > 0) {
    // A current row that is not selected (the user deselected it) is no selection.
    w.selectRows({1});
    w.fileList->selectionModel()->clearSelection();
  }
  if (button == 2) w.moveUp();
  if (button == 3) w.moveDown();
  if (button == 4) w.deleteSelected();

  QCOMPARE(h.Rows().join(QString()), order);
  if (selectedAfter != -2) {
    const QList<int> sel = w.selectedRows();
    QCOMPARE(sel.isEmpty() ? -1 : sel.first(), selectedAfter);
  }
}

void WindowTest::emptyListDoesNotAskForAFile() {
  Harness h;
  MainWindow& w = h.Open();
  h.dialogs.saveAnswers << h.Path("out.txt");
  w.writeList();
  QVERIFY(h.dialogs.saves.isEmpty());
  QVERIFY(!QFile::exists(h.Path("out.txt")));
  QVERIFY(w.listButton->isEnabled());
}

void WindowTest::listFileNameIsRemembered() {
  Harness h;
  QVERIFY(WriteBytes(h.Path("a.jww"), "not a drawing"));
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww")});
  h.WriteList(h.Path("out/first.txt"));  // the folder does not exist: nothing is written
  QVERIFY(!QFile::exists(h.Path("out/first.txt")));
  QVERIFY(QDir().mkpath(h.Path("out")));
  h.WriteList(h.Path("out/first.txt"));
  QVERIFY(QFile::exists(h.Path("out/first.txt")));
  w.writeList();  // cancelled: nothing changes
  QCOMPARE(h.dialogs.saves.value(1), qMakePair(h.Path("out/"), QStringLiteral("first.txt")));
  QCOMPARE(h.dialogs.saves.value(2), qMakePair(h.Path("out/"), QStringLiteral("first.txt")));
  QCOMPARE(h.dialogs.listButtonEnabledInSave, (QList<bool>{false, false, false}));
  QVERIFY(w.listButton->isEnabled());
  h.Close();

  MainWindow& again = h.Open();
  QCOMPARE(h.Rows(), QStringList{h.Path("a.jww")});  // the list is kept between runs
  again.writeList();
  QCOMPARE(h.dialogs.saves.value(3), qMakePair(h.Path("out/"), QStringLiteral("first.txt")));
}

// Alt+T fills a template of two rows from the listed drawings: two sheets and their PDF, the
// choice kept for the next time outside the seven-line settings file.
void WindowTest::fillWritesTheIndexSheet() {
  Harness h;
  jww::TJwwData tpl;
  tpl.DataDefaultSet();
  for (int r = 1; r <= 2; ++r)
    QVERIFY(tpl.AddEntMoji(0, 0, 0, 1, 1, 0, 0, 0, 0.0, -10.0 * r, 4.0, 4.0, 0.0, 0.0, u"",
                           u"%%" + std::u16string(1, static_cast<char16_t>(u'0' + r)) + u"f"));
  tpl.AddEntPost();
  QVERIFY(tpl.FileOut(h.Path("tpl.jww").toStdU16String(), 600));
  for (const char* n : {"a.jww", "b.jww", "c.jww"}) QVERIFY(WriteBytes(h.Path(n), "not a drawing"));
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww"), h.Path("b.jww"), h.Path("c.jww")});
  h.dialogs.fillAnswers << dravik::FileDialogs::FillChoice{h.Path("tpl.jww"), h.Path("index.pdf"), 2};
  QAction* fill = nullptr;
  for (QAction* a : w.actions())
    if (a->shortcut() == QKeySequence(Qt::ALT | Qt::Key_T)) fill = a;
  QVERIFY(fill);
  fill->trigger();

  const char16_t* expected[2][2] = {{u"a", u"b"}, {u"c", u" "}};
  for (int k = 0; k < 2; ++k) {
    jww::TJwwData got;
    QVERIFY(got.FileIn(h.Path(k ? "index-2.jww" : "index.jww").toStdU16String()));
    QCOMPARE(got.EntMojiN, 2);
    for (int r = 0; r < 2; ++r) QCOMPARE(got.EntMoji[r].str, std::u16string(expected[k][r]));
    QCOMPARE(got.EntMoji[0].end_x, tpl.EntMoji[0].end_x);  // the end stays
  }
  QVERIFY(ReadBytes(h.Path("index.pdf")).startsWith("%PDF"));
  QVERIFY(!QFile::exists(h.Path("index-2.pdf")));
  h.Close();

  MainWindow& again = h.Open();
  again.fillTemplate();  // cancelled: the last choice was offered
  QCOMPARE(h.dialogs.fillPresets.value(1).templ, h.Path("tpl.jww"));
  QCOMPARE(h.dialogs.fillPresets.value(1).anchor, 2);
  QVERIFY(!ReadBytes(h.settingsFile_()).contains("tpl.jww"));
  QVERIFY(ReadBytes(h.Path("dravik.fill")).contains("tpl.jww"));
}

void WindowTest::listMatchesCommandLineTool() {
  Harness h;
  QStringList files;
  const QDir corpus(qEnvironmentVariableIsSet("DRAVIK_CORPUS") ? qEnvironmentVariable("DRAVIK_CORPUS")
                                                              : QStringLiteral(DRAVIK_CORPUS_DIR));
  for (const QFileInfo& fi : corpus.entryInfoList({"*.jww"}, QDir::Files, QDir::Name)) {
    if (files.size() == 3) break;
    files << fi.absoluteFilePath();
  }
  if (files.isEmpty()) qWarning("no drawings in %s: the list covers only files that are no drawings",
                                qPrintable(corpus.path()));
  QVERIFY(WriteBytes(h.Path("plan A 1.jww"), "not a drawing"));
  files << h.Path("plan A 1.jww") << h.Path("gone.jww");

  MainWindow& w = h.Open();
  h.Add(files);
  w.slotCountEdit->setText(QStringLiteral("7"));
  h.WriteList(h.Path("window.txt"));

  QProcess tool;
  tool.start(QStringLiteral(DRAVIK_LIST_TOOL),
             QStringList{"--slots", "7", "--output", h.Path("tool.txt")} + files);
  QVERIFY(tool.waitForFinished(60000));
  QCOMPARE(tool.exitCode(), 0);
  const QByteArray list = ReadBytes(h.Path("window.txt"));
  QCOMPARE(SlotsInList(list), std::max<int>(7, files.size()));
  QCOMPARE(list, ReadBytes(h.Path("tool.txt")));

  // The hidden line buffer holds the same lines.
  QVERIFY(w.lineBuffer->isHidden());
  QString text = QString::fromStdU16String(jww::AnsiToStr(list.toStdString()));
  QCOMPARE(w.lineBuffer->text().replace("\r\n", "\n"), text.replace("\r\n", "\n"));
}

void WindowTest::droppedDrawingsAreAdded() {
  Harness h;
  for (const char* name : {"drop/Q.JWW", "drop/notes.txt", "drop/r.jww", "list/p.jww", "list/P.jww"})
    QVERIFY(WriteBytes(h.Path(name), "x"));
  QVERIFY(QDir().mkpath(h.Path("drop/folder.jww")));
  MainWindow& w = h.Open();
  h.Add({h.Path("list/p.jww")});

  auto mime = [&h](const QStringList& names, bool remote = false) {
    auto* m = new QMimeData;
    QList<QUrl> urls;
    for (const QString& n : names) urls << QUrl::fromLocalFile(h.Path(n));
    if (remote) urls << QUrl(QStringLiteral("http://127.0.0.1/remote.jww"));
    m->setUrls(urls);
    return std::unique_ptr<QMimeData>(m);
  };
  const QPoint at(50, 50);

  const auto others = mime({"drop/notes.txt", "drop/folder.jww", "drop/missing.jww"}, true);
  QDragEnterEvent refused(at, Qt::CopyAction, others.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &refused);
  QVERIFY(!refused.isAccepted());

  const auto mixed = mime({"drop/notes.txt", "drop/Q.JWW", "drop/folder.jww", "list/P.jww", "drop/r.jww"}, true);
  QDragEnterEvent enter(at, Qt::CopyAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(QPointF(at), Qt::CopyAction, mixed.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &drop);
  QVERIFY(drop.isAccepted());

  QCOMPARE(h.Rows(), (QStringList{h.Path("list/p.jww"), h.Path("drop/Q.JWW"), h.Path("drop/r.jww")}));
  w.addFiles();  // the add dialog now opens where the drop came from
  QCOMPARE(h.dialogs.openFolders.value(1), h.Path("drop/"));
}

void WindowTest::commandLineFilesAreAdded() {
  Harness h;
  for (const char* name : {"cl/a.jww", "cl/B.JWW", "cl/A.JWW", "cl/saved as.bin"})
    QVERIFY(WriteBytes(h.Path(name), "x"));
  QVERIFY(QDir().mkpath(h.Path("cl/folder.jww")));
  MainWindow& w = h.Open();
  const QString before = QDir::currentPath();
  QVERIFY(QDir::setCurrent(h.Path("cl")));
  // Relative names, a file: URL, a file under any name; missing names and folders are left out,
  // and a path already listed in another ASCII case is not listed again.
  w.addCommandLineFiles({"a.jww", "missing.jww", "folder.jww", QUrl::fromLocalFile(h.Path("cl/B.JWW")).toString(),
                         "A.JWW", "saved as.bin"});
  QDir::setCurrent(before);
  QCOMPARE(h.Rows(), (QStringList{h.Path("cl/a.jww"), h.Path("cl/B.JWW"), h.Path("cl/saved as.bin")}));
  w.addFiles();  // the add dialog opens where the first file lies
  QCOMPARE(h.dialogs.openFolders.value(0), h.Path("cl/"));
  w.addCommandLineFiles({});
  QCOMPARE(h.Rows().size(), 3);
}

void WindowTest::installedWindowKeepsItsFilesInUserFolders() {
  // An executable in a folder the user cannot write (here one that does not exist) keeps the
  // settings file in the configuration folder and the image folder in the cache; its dialogs start
  // in the home folder.
  Harness h;
  Env config("XDG_CONFIG_HOME", h.Path("config")), cache("XDG_CACHE_HOME", h.Path("cache")),
      home("HOME", h.Path("home"));
  struct AppName {
    QString old = QCoreApplication::applicationName();
    AppName() { QCoreApplication::setApplicationName(QStringLiteral("Dravik")); }
    ~AppName() { QCoreApplication::setApplicationName(old); }
  } appName;
  const QString datFile = h.Path("config/Dravik/dravik.dat");

  auto open = [&h] {
    h.form = std::make_unique<MainWindow>(std::make_unique<FakeDialogs>(h.dialogs), h.Path("usr/bin/dravik"));
    h.form->show();
    return h.form.get();
  };
  MainWindow* w = open();
  QCOMPARE(QString::fromStdU16String(w->document()->BindImageFolder), h.Path("cache/Dravik/TMP/"));
  w->addFiles();  // cancelled
  QCOMPARE(h.dialogs.openFolders.value(0), h.Path("home/"));
  w->slotCountEdit->setText(QStringLiteral("7"));
  h.Close();
  QCOMPARE(ReadBytes(datFile), ("100\r\n100\r\n400\r\n320\r\n" + h.Path("home/") + "\r\n" +
                                h.Path("home/") + "List.txt\r\n7\r\n").toUtf8());
  QVERIFY(!QFileInfo::exists(h.Path("usr")));

  w = open();  // the next start reads it back
  QCOMPARE(w->slotCountEdit->text(), QStringLiteral("7"));
  h.Close();
}

void WindowTest::filesBesideTheExecutableOnlyWhenNotInstalled_data() {
  QTest::addColumn<QStringList>("folders");  // made first; a name with a dot is made as a file
  QTest::addColumn<QString>("exe");          // relative to the test's folder unless absolute
  QTest::addColumn<bool>("searchPath");      // the executable's folder is put on PATH
  QTest::addColumn<bool>("beside");
  QTest::newRow("build folder") << QStringList{"build/app", "build/CMakeCache.txt"} << "build/app/dravik" << false << true;
  QTest::newRow("portable copy") << QStringList{"portable"} << "portable/dravik" << false << true;
  QTest::newRow("bin of an install prefix") << QStringList{"prefix/bin", "prefix/share"} << "prefix/bin/dravik" << false
                                           << false;
  QTest::newRow("on the search path") << QStringList{"tools"} << "tools/dravik" << true << false;
  QTest::newRow("build folder on the search path")
      << QStringList{"b/app", "b/CMakeCache.txt"} << "b/app/dravik" << true << true;
  // The case of a window run as root: /usr/bin is writable, and still nothing goes there.
  QTest::newRow("system folder") << QStringList{} << "/usr/bin/dravik" << false << false;
  QTest::newRow("folder that is not there") << QStringList{} << "gone/dravik" << false << false;
}

void WindowTest::filesBesideTheExecutableOnlyWhenNotInstalled() {
  QFETCH(QStringList, folders);
  QFETCH(QString, exe);
  QFETCH(bool, searchPath);
  QFETCH(bool, beside);
  QTemporaryDir dir;
  for (const QString& f : folders)
    QVERIFY(f.contains('.') ? WriteBytes(dir.filePath(f), "") : QDir().mkpath(dir.filePath(f)));
  const QString exePath = exe.startsWith('/') ? exe : dir.filePath(exe);
  Env path("PATH", searchPath ? QFileInfo(exePath).absolutePath() + ":/usr/bin" : QStringLiteral("/usr/bin:/bin"));
  QCOMPARE(dravik::KeepsFilesBesideExecutable(exePath), beside);
  const QString settings = QString::fromStdU16String(dravik::PlacesOf(exePath.toStdU16String()).settingsFile);
  QCOMPARE(settings.startsWith(QFileInfo(exePath).absolutePath() + '/'), beside);
}

void WindowTest::placeOnScreen_data() {
  QTest::addColumn<QPoint>("frameTopLeft");
  QTest::addColumn<QSize>("size");
  QTest::addColumn<QMargins>("frame");
  QTest::addColumn<QRect>("client");
  const QMargins wm(1, 20, 1, 1);  // a window manager's frame: a title bar 20 high, 1 px borders
  QTest::newRow("no frame") << QPoint(200, 150) << QSize(551, 355) << QMargins() << QRect(200, 150, 551, 355);
  QTest::newRow("frame") << QPoint(199, 130) << QSize(551, 355) << wm << QRect(200, 150, 551, 355);
  QTest::newRow("title bar above the screen") << QPoint(-1, -20) << QSize(551, 355) << wm << QRect(1, 20, 551, 355);
  QTest::newRow("past the right edge") << QPoint(1200, 100) << QSize(551, 355) << wm << QRect(728, 120, 551, 355);
  QTest::newRow("larger than the screen") << QPoint(0, 0) << QSize(5000, 5000) << wm << QRect(1, 20, 1278, 979);
  QTest::newRow("smaller than the least") << QPoint(10, 10) << QSize(-400, -320) << wm << QRect(11, 30, 190, 300);
}

void WindowTest::placeOnScreen() {
  QFETCH(QPoint, frameTopLeft);
  QFETCH(QSize, size);
  QFETCH(QMargins, frame);
  QFETCH(QRect, client);
  const QRect screen(0, 0, 1280, 1000);
  const QSize least(190, 300);
  QCOMPARE(dravik::PlaceOnScreen(frameTopLeft, size, frame, screen, least), client);
  // What the settings keep of a placed window (the frame's corner, the client's size) places it
  // at the same spot again: no creeping from one start to the next.
  const QPoint kept = client.topLeft() - QPoint(frame.left(), frame.top());
  QCOMPARE(dravik::PlaceOnScreen(kept, client.size(), frame, screen, least), client);
}

// The window opens where it closed, start after start, its frame where the seven lines say; a
// maximised window opens maximised and returns to its own size (the seven lines keep that one).
void WindowTest::geometryKeptAcrossStarts() {
  Harness h;
  MainWindow& first = h.Open();
  first.setGeometry(210, 160, 560, 380);
  const QRect client = first.geometry(), frame = first.frameGeometry();
  h.Close();
  for (int start = 0; start < 3; ++start) {
    MainWindow& w = h.Open();
    QCOMPARE(w.geometry(), client);
    QCOMPARE(w.frameGeometry(), frame);
    h.Close();
    QCOMPARE(SettingsRect(h.settingsFile_()), QRect(frame.topLeft(), client.size()));
  }

  MainWindow& w = h.Open();
  w.showMaximized();
  QTRY_VERIFY(w.isMaximized() && w.geometry() != client);
  h.Close();
  QCOMPARE(ReadBytes(h.settingsFile_()).count("\r\n"), 7);
  QCOMPARE(SettingsRect(h.settingsFile_()), QRect(frame.topLeft(), client.size()));
  MainWindow& again = h.Open();
  QTRY_VERIFY(again.isMaximized());
  again.showNormal();
  QTRY_COMPARE(again.geometry(), client);
  h.Close();
  MainWindow& normal = h.Open();
  QVERIFY(!normal.isMaximized());
  QCOMPARE(normal.geometry(), client);
}

// The name column gets the width its names need (half the list at least) and follows the
// window's size; the columns end at the list's edge; a width the user sets stays, also in the next
// run.
void WindowTest::columnsShareTheWidth() {
  using M = dravik::DrawingListModel;
  Harness h;
  MainWindow& w = h.Open();
  QCOMPARE(w.fileList->userWidths(), QList<int>(M::ColumnCount, 0).mid(0, w.fileList->userWidths().size()));
  w.appendFiles({h.Path("monozukuri-ai__ezjww__jww_samples_A_manshon_heimen_rei.jww")});
  QHeaderView* header = w.fileList->header();
  auto total = [header] {
    int sum = 0;
    for (int c = 0; c < M::ColumnCount; ++c) sum += header->sectionSize(c);
    return sum;
  };
  const QFontMetrics fm(w.fileList->font());
  const int name = fm.horizontalAdvance(QStringLiteral("monozukuri-ai__ezjww__jww_samples_A_manshon_heimen_rei.jww"));
  w.resize(1260, 500);
  const int wide = header->sectionSize(M::NameColumn);
  QCOMPARE(total(), w.fileList->viewport()->width());
  QVERIFY(wide > name);
  QVERIFY(header->sectionSize(M::ModifiedColumn) > fm.horizontalAdvance(QStringLiteral("2026/12/10 12:34")));
  w.resize(700, 500);
  QVERIFY(header->sectionSize(M::NameColumn) < wide);
  QVERIFY(header->sectionSize(M::NameColumn) >= w.fileList->viewport()->width() / 2);
  QVERIFY(total() >= w.fileList->viewport()->width());  // too narrow for all: the list scrolls sideways

  header->resizeSection(M::MemoColumn, 150);  // as the user's drag does
  w.resize(1100, 500);
  QCOMPARE(header->sectionSize(M::MemoColumn), 150);
  QCOMPARE(total(), w.fileList->viewport()->width());
  h.Close();
  MainWindow& again = h.Open();
  again.resize(1000, 500);
  QCOMPARE(again.fileList->header()->sectionSize(M::MemoColumn), 150);
  QCOMPARE(again.fileList->userWidths().value(M::NameColumn), 0);
}

// At the first-run size the list file's name reads whole; its folder gives way, and the tooltip
// has the whole message.
void WindowTest::statusLineKeepsTheFileNameWhole() {
  Harness h;
  MainWindow& w = h.Open();
  QCOMPARE(w.size(), QSize(400, 320));
  const QString folder = h.Path("drawings of the second project/lists written for the client/");
  QVERIFY(QDir().mkpath(folder));
  h.Add({h.Path("a.jww")});
  h.WriteList(folder + "List for the second floor.txt");
  QVERIFY(QFile::exists(folder + "List for the second floor.txt"));
  const QString shown = w.statusLine->text();
  QVERIFY2(shown.endsWith(QStringLiteral("\u2026List for the second floor.txt")) ||
               shown.endsWith(QStringLiteral("\u2026/List for the second floor.txt")),
           qPrintable(shown));
  QVERIFY(QFontMetrics(w.statusLine->font()).horizontalAdvance(shown) <= w.statusLine->contentsRect().width());
  QCOMPARE(w.statusLine->toolTip(), QStringLiteral("1 件の図面、10 スロットを出力しました: ") + folder +
                                        "List for the second floor.txt");
  // Wide enough again, it reads whole.
  w.resize(1260, 500);
  QCOMPARE(w.statusLine->text(), w.statusLine->toolTip());
}

// A second start for the same settings hands its files to the running window, which lists them,
// and ends; other settings locations run windows of their own; a window that ended without
// cleaning up (a crash) leaves nothing that keeps the next start from serving.
void WindowTest::secondStartHandsItsFilesOver() {
  using dravik::SingleInstance;
  using Role = SingleInstance::Role;
  QTemporaryDir runtime;
  Env folder("XDG_RUNTIME_DIR", runtime.path());
  const QString name = SingleInstance::ServerName(u"/home/u/.config/Dravik/dravik.dat");
  QVERIFY(name.startsWith(runtime.path() + '/'));
  QCOMPARE(SingleInstance::ServerName(u"/home/u/.config/Dravik/dravik.dat"), name);
  QVERIFY(SingleInstance::ServerName(u"/opt/dravik/dravik.dat") != name);

  Harness h;
  MainWindow& w = h.Open();
  auto first = std::make_unique<SingleInstance>(name);
  QCOMPARE(first->claim({}), Role::First);
  connect(first.get(), &SingleInstance::filesArrived, &w, &MainWindow::openFiles);
  QVERIFY(WriteBytes(h.Path("d/a.jww"), "x") && WriteBytes(h.Path("d/b c.jww"), "x"));
  // The second start is a process of its own, blocked until the window answers: here a thread.
  auto secondStart = [&name](const QStringList& files) {
    std::atomic<int> role{-1};
    std::thread start([&] { role = static_cast<int>(SingleInstance(name).claim(files, 10000)); });
    static_cast<void>(QTest::qWaitFor([&] { return role != -1; }, 15000));  // the window answers meanwhile
    start.join();
    return static_cast<Role>(role.load());
  };
  QCOMPARE(secondStart({h.Path("d/a.jww"), h.Path("d/b c.jww")}), Role::HandedOver);
  QCOMPARE(h.Rows(), (QStringList{h.Path("d/a.jww"), h.Path("d/b c.jww")}));
  QCOMPARE(secondStart({}), Role::HandedOver);  // no files: the window only comes to the front

  // The window's end frees the name; a crashed one's lock (its process gone) and socket too.
  first.reset();
  QCOMPARE(SingleInstance(name).claim({}), Role::First);
  QVERIFY(WriteBytes(name + ".lock", "2147483646\ndravik\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
  QVERIFY(WriteBytes(name, "left behind"));
  QCOMPARE(SingleInstance(name).claim({}, 1000), Role::First);

  const QStringList absolute = dravik::AbsoluteArguments({"rel.jww", QUrl::fromLocalFile("/d/u r l.jww").toString()});
  QCOMPARE(absolute, (QStringList{QDir::current().absoluteFilePath("rel.jww"), "/d/u r l.jww"}));
}

void WindowTest::controlsLayoutAndCaptions() {
  Harness h;
  MainWindow& w = h.Open();
  // Each control is found by its given name and is the member named for what it is.
  const QList<std::tuple<const char*, QWidget*, QString>> captions = {
      {"Button1", w.addButton, "ファイル追加 (&F)"},
      {"Button2", w.upButton, "▲ (&U)"},
      {"Button3", w.downButton, "▼ (&D)"},
      {"Button4", w.deleteButton, "削除 (&E)"},
      {"Label4", w.slotCountLabel, "ファイル最大数"},
      {"Button5", w.listButton, "リスト出力 (&O)"},
      {"Button6", w.exitButton, "終了 (&X)"},
      {"Label1", w.helpLine1, "%%PA：パス名　%%1F：フルパスファイル名　%%1f：ファイル名(拡張子無)　%%1e：ファイル名(有)　%%1SZ：サイズ"},
      {"Label2", w.helpLine2, "%%1fs1～9：ファイル名空白区切文字　%%1DT：日時　%%1D：日付　%%1T：時間　%%1J：和暦"},
      {"Label3", w.helpLine3, "%%1mm：メモ　%%1m1：メモ上段　%%1m2：メモ下段　%%1p：用紙サイズ　%%1SS0～f：縮尺"},
  };
  for (const auto& [name, member, caption] : captions) {
    QCOMPARE(w.findChild<QWidget*>(QString::fromLatin1(name)), member);
    QCOMPARE(member->property("text").toString(), caption);
  }
  const QList<QPair<const char*, QWidget*>> others = {{"ListBox1", w.fileList},
                                                      {"Panel1", w.buttonPanel},
                                                      {"Edit1", w.slotCountEdit},
                                                      {"Memo1", w.lineBuffer},
                                                      {"StatusBar1", w.helpArea}};
  for (const auto& [name, member] : others)
    QCOMPARE(w.findChild<QWidget*>(QString::fromLatin1(name)), member);
  QVERIFY(!w.slotCountEdit->testAttribute(Qt::WA_InputMethodEnabled));

  QList<QWidget*> chain;
  for (QWidget* c = w.fileList->nextInFocusChain(); c != w.fileList; c = c->nextInFocusChain())
    if (c->focusPolicy() & Qt::TabFocus) chain << c;
  QCOMPARE(chain.mid(0, 8), (QList<QWidget*>{w.lineBuffer, w.addButton, w.upButton, w.downButton, w.deleteButton,
                                             w.slotCountEdit, w.listButton, w.exitButton}));

  // At the design size the panel keeps 120 on the right and the help 51 at the bottom.
  w.resize(551, 355);
  QCOMPARE(w.fileList->geometry().united(w.statusLine->geometry()), QRect(0, 0, 431, 304));
  QCOMPARE(w.statusLine->y(), w.fileList->geometry().bottom() + 1);
  QCOMPARE(w.buttonPanel->geometry(), QRect(431, 0, 120, 304));
  QCOMPARE(w.helpArea->geometry(), QRect(0, 304, 551, 51));
  QCOMPARE(w.addButton->geometry(), QRect(8, 8, 105, 25));
  QCOMPARE(w.deleteButton->geometry(), QRect(8, 104, 105, 25));
  QCOMPARE(w.slotCountEdit->geometry(), QRect(8, 152, 105, 22));
  QCOMPARE(w.exitButton->geometry(), QRect(8, 232, 105, 22));
  QCOMPARE(w.slotCountLabel->pos(), QPoint(8, 136));
  QVERIFY(w.slotCountLabel->width() >= 70 && w.slotCountLabel->width() >= w.slotCountLabel->sizeHint().width());
  int y = 0;
  for (auto [label, height] : {std::pair{w.helpLine1, 16}, {w.helpLine2, 16}, {w.helpLine3, 17}}) {
    QCOMPARE(label->y(), y);
    QCOMPARE(label->height(), height);
    QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width(),
             qPrintable(label->objectName() + " is cut off"));
    y += height;
  }
  w.resize(800, 600);
  QCOMPARE(w.fileList->geometry().united(w.statusLine->geometry()), QRect(0, 0, 680, 549));
  QCOMPARE(w.buttonPanel->geometry(), QRect(680, 0, 120, 549));
  QCOMPARE(w.helpArea->geometry(), QRect(0, 549, 800, 51));
}

void WindowTest::helpReadableAtFirstRunSize() {
  Harness h;
  MainWindow& w = h.Open();
  QCOMPARE(w.size(), QSize(400, 320));
  // Too narrow for the three lines: every entry of the help is flowed, whole, inside the window.
  QVERIFY(w.helpFlow->isVisible() && w.helpLine1->isHidden());
  QStringList expected;
  for (QLabel* l : {w.helpLine1, w.helpLine2, w.helpLine3}) expected << l->text().split(QChar(0x3000));
  QCOMPARE(w.helpFlow->entries(), expected);
  QCOMPARE(w.helpFlow->entryRects().size(), expected.size());
  QVERIFY(w.helpFlow->font().pixelSize() >= 9);
  const QRect inWindow = w.rect();
  QRect previous;
  for (qsizetype i = 0; i < expected.size(); ++i) {
    const QRect r = w.helpFlow->entryRects()[i];
    QVERIFY2(r.width() >= QFontMetrics(w.helpFlow->font()).horizontalAdvance(expected[i]), qPrintable(expected[i]));
    const QRect drawn(w.helpFlow->mapTo(&w, r.topLeft()), r.size());
    QVERIFY2(inWindow.contains(drawn), qPrintable(expected[i] + " is cut off"));
    QVERIFY2(!drawn.intersects(w.buttonPanel->geometry()) && !drawn.intersects(previous), qPrintable(expected[i]));
    previous = drawn;
  }
  // Wide enough again: the three lines as designed.
  w.resize(551, 355);
  QVERIFY(w.helpFlow->isHidden() && w.helpLine3->isVisible());
  QCOMPARE(w.helpArea->height(), 51);
}

void WindowTest::accelerators() {
  Harness h;
  MainWindow& w = h.Open();
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.appendFiles({"/d/a.jww", "/d/b.jww", "/d/c.jww"});
  w.selectRows({1});
  const auto order = [&h] {
    QString s;
    for (const QString& r : h.Rows()) s += r.at(3);
    return s;
  };

  QTest::keyClick(&w, Qt::Key_D, Qt::AltModifier);
  QTRY_COMPARE(order(), QStringLiteral("acb"));
  QTest::keyClick(&w, Qt::Key_U, Qt::AltModifier);
  QTRY_COMPARE(order(), QStringLiteral("abc"));
  QTest::keyClick(&w, Qt::Key_E, Qt::AltModifier);
  QTRY_COMPARE(order(), QStringLiteral("ac"));
  QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
  QTRY_COMPARE(h.dialogs.openFolders.size(), 1);
  QTest::keyClick(&w, Qt::Key_O, Qt::AltModifier);
  QTRY_COMPARE(h.dialogs.saves.size(), 1);
  QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
  QTRY_VERIFY(!w.isVisible());
  QVERIFY(QFile::exists(h.settingsFile_()));
}

namespace {

// Runs `act` on the file dialog once it is open (the dialogs are modal: they run their own loop).
void WhenDialogOpens(std::function<void(QFileDialog*)> act) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* d = qobject_cast<QFileDialog*>(w);
      if (d && d->isVisible()) {
        poll->deleteLater();
        poll->stop();
        act(d);
        return;
      }
    }
  });
  poll->start(10);
}

}  // namespace

void WindowTest::desktopDialogs() {
  QTemporaryDir dir;
  for (const char* name : {"a.jww", "b.jww", "c.txt"}) QVERIFY(WriteBytes(dir.filePath(name), "x"));
  dravik::DesktopFileDialogs dialogs;
  QWidget parent;
  // How each dialog was set up, read while it is open.
  struct Seen {
    QFileDialog::AcceptMode acceptMode{};
    QFileDialog::FileMode fileMode{};
    QStringList nameFilters;
    QString defaultSuffix;
    QString folder;
    QStringList preset;
    bool confirmsOverwrite = false;
  };
  auto answer = [](Seen& seen, const QString& typed) {
    WhenDialogOpens([&seen, typed](QFileDialog* d) {
      seen = {d->acceptMode(), d->fileMode(), d->nameFilters(), d->defaultSuffix(),
              d->directory().absolutePath(), d->selectedFiles(),
              !d->testOption(QFileDialog::DontConfirmOverwrite)};
      QDialog* dialog = d;
      if (typed.isEmpty()) {
        dialog->reject();
        return;
      }
      // Typed as a user would: selectFile() leaves the name box alone while it has the focus,
      // which it gets at some moment after the dialog opens.
      if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(typed);
      else d->selectFile(typed);
      dialog->accept();
    });
  };

  Seen open;
  answer(open, QStringLiteral("\"a.jww\" \"b.jww\""));
  QStringList chosen = dialogs.chooseDrawings(&parent, dir.path() + "/");
  QCOMPARE(open.acceptMode, QFileDialog::AcceptOpen);
  QCOMPARE(open.fileMode, QFileDialog::ExistingFiles);
  QCOMPARE(open.nameFilters, QStringList{"Jw_cad ファイル(*.jww)"});
  QCOMPARE(open.defaultSuffix, QStringLiteral("jww"));
  QCOMPARE(open.folder, dir.path());
  chosen.sort();
  QCOMPARE(chosen, (QStringList{dir.filePath("a.jww"), dir.filePath("b.jww")}));

  Seen save;
  answer(save, QStringLiteral("out"));
  QCOMPARE(dialogs.chooseListFile(&parent, dir.path() + "/", "List.txt"), dir.filePath("out.txt"));
  QCOMPARE(save.acceptMode, QFileDialog::AcceptSave);
  QCOMPARE(save.nameFilters, QStringList{"リストファイル(*.txt)"});
  QCOMPARE(save.defaultSuffix, QStringLiteral("txt"));
  QVERIFY(save.confirmsOverwrite);
  QCOMPARE(save.preset, QStringList{dir.filePath("List.txt")});

  Seen cancelled;
  answer(cancelled, QString());
  QCOMPARE(dialogs.chooseListFile(&parent, dir.path() + "/", "List.txt"), QString());
}

namespace {

// A drawing header with a memo, a paper and a scale in the current layer group.
QString WriteDrawing(const QString& path, const std::u16string& memo, int paper, int group, double scale) {
  jww::TJwwData d;
  jwwtest::Bytes::SizeTables(d);
  d.Enthd.strMemo = memo;
  d.Enthd.nZumen = paper;
  d.Enthd.nWriteGLay = group;
  for (int g = 0; g < 16; ++g) d.EntLgrp[g].adScale = g == group ? scale : 1.0;
  QDir().mkpath(QFileInfo(path).absolutePath());
  jwwtest::Bytes().Header(d, 600).WriteTo(path.toStdString());
  return path;
}

QString Cell(const MainWindow& w, int row, int column) {
  return w.drawings()->data(w.drawings()->index(row, column), Qt::DisplayRole).toString();
}

}  // namespace

using dravik::DrawingListModel;

void WindowTest::columnsFromHeadersReadInTheBackground() {
  Harness h;
  const QString plan = WriteDrawing(h.Path("d/plan 1.jww"), u"一階平面図\r\n縮尺 1/50", 3, 2, 50);
  QVERIFY(WriteBytes(h.Path("d/notes.jww"), "not a drawing"));
  MainWindow& w = h.Open();
  h.Add({plan, h.Path("d/notes.jww"), h.Path("d/gone.jww")});
  QCOMPARE(w.drawings()->rowCount(), 3);
  QTRY_COMPARE(w.drawings()->pending(), 0);
  QCOMPARE(Cell(w, 0, DrawingListModel::NameColumn), QStringLiteral("plan 1.jww"));
  QCOMPARE(Cell(w, 0, DrawingListModel::MemoColumn), QStringLiteral("一階平面図"));  // first line
  QCOMPARE(Cell(w, 0, DrawingListModel::PaperColumn), QStringLiteral("A3"));
  QCOMPARE(Cell(w, 0, DrawingListModel::ScaleColumn), QStringLiteral("1/50"));  // the current group's
  QVERIFY(Cell(w, 0, DrawingListModel::ModifiedColumn).contains(QRegularExpression("^\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d$")));
  QCOMPARE(Cell(w, 0, DrawingListModel::FolderColumn), h.Path("d/"));
  QCOMPARE(Cell(w, 1, DrawingListModel::NameColumn), QStringLiteral("notes.jww"));
  QCOMPARE(Cell(w, 1, DrawingListModel::MemoColumn), DrawingListModel::NotADrawingText());
  QCOMPARE(Cell(w, 1, DrawingListModel::PaperColumn), QString());
  QCOMPARE(Cell(w, 2, DrawingListModel::MemoColumn), DrawingListModel::MissingText());
  QCOMPARE(w.drawings()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("ファイル名"));

  // The real drawings, where present: every one is read as a drawing.
  const QDir corpus(qEnvironmentVariableIsSet("DRAVIK_CORPUS") ? qEnvironmentVariable("DRAVIK_CORPUS")
                                                              : QStringLiteral(DRAVIK_CORPUS_DIR));
  QStringList real;
  for (const QFileInfo& fi : corpus.entryInfoList({"*.jww"}, QDir::Files, QDir::Name)) real << fi.absoluteFilePath();
  if (real.isEmpty()) QSKIP("no real drawings: the corpus folder is absent");
  w.appendFiles(real);
  QTRY_COMPARE_WITH_TIMEOUT(w.drawings()->pending(), 0, 60000);
  for (int r = 3; r < w.drawings()->rowCount(); ++r)
    QVERIFY2(w.drawings()->facts(r).state == dravik::DrawingFacts::State::Drawing, qPrintable(w.drawings()->path(r)));
}

void WindowTest::thousandDrawingsListWithoutWaiting() {
  Harness h;
  const QString one = WriteDrawing(h.Path("one.jww"), u"memo", 4, 0, 100);
  QStringList many;
  for (int i = 0; i < 1000; ++i) {
    const QString p = h.Path(QStringLiteral("many/%1.jww").arg(i, 4, 10, QLatin1Char('0')));
    QDir().mkpath(h.Path("many"));
    QVERIFY(QFile::link(one, p));
    many << p;
  }
  MainWindow& w = h.Open();
  h.Add(many);
  // Every row is there at once; the details follow as the reader gets to them, while the window
  // keeps handling events.
  QCOMPARE(w.drawings()->rowCount(), 1000);
  QVERIFY(w.drawings()->pending() > 0);
  QTRY_COMPARE_WITH_TIMEOUT(w.drawings()->pending(), 0, 120000);
  QCOMPARE(Cell(w, 999, DrawingListModel::PaperColumn), QStringLiteral("A4"));
  QVERIFY(w.statusLine->text().contains(QStringLiteral("1000 件")));
  // Deleting rows while they are read, and closing the window meanwhile, are safe.
  h.Add({h.Path("one.jww")});
  w.selectRows({0, 1, 2});
  w.deleteSelected();
  QCOMPARE(w.drawings()->rowCount(), 998);
  h.Close();
}

void WindowTest::severalRows_data() {
  QTest::addColumn<QList<int>>("selected");
  QTest::addColumn<int>("action");  // 0 up, 1 down, 2 delete
  QTest::addColumn<QString>("order");
  QTest::addColumn<QList<int>>("selectedAfter");
  QTest::newRow("up two apart") << QList<int>{1, 3} << 0 << "badce" << QList<int>{0, 2};
  QTest::newRow("up a block") << QList<int>{2, 3} << 0 << "acdbe" << QList<int>{1, 2};
  QTest::newRow("up with the first selected") << QList<int>{0, 2} << 0 << "abcde" << QList<int>{0, 2};
  QTest::newRow("down two apart") << QList<int>{1, 3} << 1 << "acbed" << QList<int>{2, 4};
  QTest::newRow("down with the last selected") << QList<int>{2, 4} << 1 << "abcde" << QList<int>{2, 4};
  QTest::newRow("delete several") << QList<int>{0, 2, 4} << 2 << "bd" << QList<int>{};
}

void WindowTest::severalRows() {
  QFETCH(QList<int>, selected);
  QFETCH(int, action);
  QFETCH(QString, order);
  QFETCH(QList<int>, selectedAfter);
  Harness h;
  MainWindow& w = h.Open();
  w.appendFiles({"a", "b", "c", "d", "e"});
  w.selectRows(selected);
  QCOMPARE(w.selectedRows(), selected);
  if (action == 0) w.moveUp();
  if (action == 1) w.moveDown();
  if (action == 2) w.deleteSelected();
  QCOMPARE(h.Rows().join(QString()), order);
  if (action != 2) QCOMPARE(w.selectedRows(), selectedAfter);
}

void WindowTest::keysOfTheList() {
  Harness h;
  MainWindow& w = h.Open();
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.appendFiles({"a", "b", "c", "d"});
  w.fileList->setFocus();
  w.selectRows({1, 2});
  QTest::keyClick(w.fileList, Qt::Key_Down, Qt::ControlModifier);
  QCOMPARE(h.Rows().join(QString()), QStringLiteral("adbc"));
  QTest::keyClick(w.fileList, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(w.fileList, Qt::Key_Up, Qt::ControlModifier);
  QCOMPARE(h.Rows().join(QString()), QStringLiteral("bcad"));
  QTest::keyClick(w.fileList, Qt::Key_Delete);
  QCOMPARE(h.Rows().join(QString()), QStringLiteral("ad"));
}

void WindowTest::countFollowsEveryChange() {
  Harness h;
  MainWindow& w = h.Open();
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
  const QString empty = w.statusLine->text();
  w.appendFiles({h.Path("a"), h.Path("b"), h.Path("c"), h.Path("d"), h.Path("e")});
  QTRY_COMPARE(w.statusLine->text(), QStringLiteral("5 件の図面"));
  // The Delete key and the delete button alike, a row at a time and several at once.
  w.fileList->setFocus();
  w.selectRows({0, 1});
  QTest::keyClick(w.fileList, Qt::Key_Delete);
  QCOMPARE(w.statusLine->text(), QStringLiteral("3 件の図面"));
  w.selectRows({2});
  w.deleteButton->click();
  QCOMPARE(w.statusLine->text(), QStringLiteral("2 件の図面"));
  // Rows deleted before their headers are read.
  w.appendFiles({h.Path("f"), h.Path("g")});
  w.selectRows({2, 3});
  w.deleteSelected();
  QTRY_COMPARE(w.statusLine->text(), QStringLiteral("2 件の図面"));
  w.selectRows({0, 1});
  w.deleteSelected();
  QCOMPARE(w.statusLine->text(), empty);
}

void WindowTest::dragReordersRows() {
  Harness h;
  MainWindow& w = h.Open();
  w.appendFiles({"a", "b", "c", "d", "e"});
  DrawingListModel* m = w.drawings();
  // Rows a and c dragged onto row e land before it, in their order.
  std::unique_ptr<QMimeData> rows(m->mimeData({m->index(0, 0), m->index(2, 0)}));
  const QRect target = w.fileList->visualRect(m->index(4, 0));
  const QPoint at(target.center().x(), target.top() + 2);
  const Qt::DropActions actions = m->supportedDragActions();
  QDragEnterEvent enter(at, actions, rows.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.fileList->viewport(), &enter);
  QDragMoveEvent move(at, actions, rows.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.fileList->viewport(), &move);
  QDropEvent drop(QPointF(at), actions, rows.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(w.fileList->viewport(), &drop);
  QVERIFY(drop.isAccepted());
  QCOMPARE(h.Rows().join(QString()), QStringLiteral("bdace"));
  // The view must not then remove the dragged rows, as it would after an ordinary move.
  QVERIFY(drop.dropAction() != Qt::MoveAction);
  // Rows of another list are not taken.
  Harness other;
  MainWindow& w2 = other.Open();
  w2.appendFiles({"x"});
  std::unique_ptr<QMimeData> foreign(w2.drawings()->mimeData({w2.drawings()->index(0, 0)}));
  QVERIFY(!m->canDropMimeData(foreign.get(), Qt::MoveAction, 0, 0, {}));
}

void WindowTest::sortByReordersSlots() {
  Harness h;
  const QString c = WriteDrawing(h.Path("c.jww"), u"", 0, 0, 1);
  const QString a = WriteDrawing(h.Path("a.jww"), u"", 4, 0, 1);
  const QString b = WriteDrawing(h.Path("b.jww"), u"", 2, 0, 1);
  MainWindow& w = h.Open();
  h.Add({c, a, b});
  QCOMPARE(h.Rows(), (QStringList{c, a, b}));  // adding never sorts
  w.sortBy(DrawingListModel::NameColumn);
  QCOMPARE(h.Rows(), (QStringList{a, b, c}));
  QTRY_COMPARE(w.drawings()->pending(), 0);
  w.sortBy(DrawingListModel::PaperColumn);  // "A0" < "A2" < "A4"
  QCOMPARE(h.Rows(), (QStringList{c, b, a}));
  // The slots follow the new order, and the action is in the list's menu.
  h.WriteList(h.Path("out.txt"));
  const QByteArray list = ReadBytes(h.Path("out.txt"));
  QVERIFY(list.indexOf("%%1F\t" + c.toUtf8()) >= 0);
  QVERIFY(list.indexOf("%%3F\t" + a.toUtf8()) >= 0);
  QStringList actions;
  for (QAction* act : w.listMenu()->actions())
    if (act->menu()) for (QAction* sub : act->menu()->actions()) actions << sub->text();
  QVERIFY(actions.contains(QStringLiteral("ファイル名順")));
}

void WindowTest::statusLineSaysWhatWasWritten() {
  Harness h;
  QVERIFY(WriteBytes(h.Path("a.jww"), "x"));
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww")});
  w.slotCountEdit->setText(QStringLiteral("4"));
  h.WriteList(h.Path("out.txt"));
  QCOMPARE(w.statusLine->message(), QStringLiteral("1 件の図面、4 スロットを出力しました: ") + h.Path("out.txt"));
  QCOMPARE(w.statusLine->toolTip(), w.statusLine->message());
  h.WriteList(h.Path("missing/out.txt"));
  QCOMPARE(w.statusLine->message(), QStringLiteral("リストを出力できませんでした: ") + h.Path("missing/out.txt"));
  QVERIFY(!QApplication::activeModalWidget());  // nothing modal stays
  w.slotCountEdit->setText(QStringLiteral("2147483647"));
  h.WriteList(h.Path("out.txt"));
  QVERIFY(w.statusLine->message().startsWith(QStringLiteral("リストを出力できません")));
  QVERIFY(!QFile::exists(h.Path("out.txt")));
}

void WindowTest::listKeptBetweenRuns() {
  Harness h;
  h.Open();
  h.Add({h.Path("b.jww"), h.Path("a b.jww"), h.Path("c.jww")});
  h.Close();
  // The settings file keeps its seven lines; the drawings have a file of their own beside it.
  QCOMPARE(ReadBytes(h.settingsFile_()).count("\r\n"), 7);
  const QString kept = h.Path("dravik.lst");
  QCOMPARE(ReadBytes(kept), (h.Path("b.jww") + "\n" + h.Path("a b.jww") + "\n" + h.Path("c.jww") + "\n").toUtf8());
  MainWindow& again = h.Open();
  QCOMPARE(h.Rows(), (QStringList{h.Path("b.jww"), h.Path("a b.jww"), h.Path("c.jww")}));
  again.selectRows({0, 1, 2});
  again.deleteSelected();
  h.Close();
  QVERIFY(!QFile::exists(kept));  // an empty list leaves no file
}

void WindowTest::drawingListSavedAndOpened() {
  Harness h;
  const QString a = WriteDrawing(h.Path("d/a.jww"), u"", 1, 0, 1);
  QVERIFY(WriteBytes(h.Path("d/b b.jww"), "x"));
  MainWindow& w = h.Open();
  h.Add({a, h.Path("d/b b.jww")});
  h.dialogs.listAnswers << h.Path("saved.txt");
  w.saveDrawingList();
  QCOMPARE(ReadBytes(h.Path("saved.txt")), (a + "\n" + h.Path("d/b b.jww") + "\n").toUtf8());
  QVERIFY(w.statusLine->message().contains(h.Path("saved.txt")));

  // dravik-list reads the same file and writes what the window writes.
  w.slotCountEdit->setText(QStringLiteral("3"));
  h.WriteList(h.Path("window.txt"));
  QProcess tool;
  tool.start(QStringLiteral(DRAVIK_LIST_TOOL),
             {"--slots", "3", "--from", h.Path("saved.txt"), "--output", h.Path("tool.txt")});
  QVERIFY(tool.waitForFinished(60000));
  QCOMPARE(tool.exitCode(), 0);
  QCOMPARE(ReadBytes(h.Path("tool.txt")), ReadBytes(h.Path("window.txt")));

  // Opening replaces the list: CR LF and blank lines are fine, relative paths are the list's.
  QVERIFY(WriteBytes(h.Path("d/open.txt"), "a.jww\r\n\r\n" + h.Path("x.jww").toUtf8() + "\n"));
  h.dialogs.listAnswers << h.Path("d/open.txt");
  w.openDrawingList();
  QCOMPARE(h.Rows(), (QStringList{h.Path("d/a.jww"), h.Path("x.jww")}));
  QCOMPARE(h.dialogs.listFolders.value(1), h.appPath_());  // opens where the last list was saved
  w.openDrawingList();  // cancelled: the list stays
  QCOMPARE(h.Rows().size(), 2);
}

void WindowTest::positionAndSizeClampedToScreen_data() {
  QTest::addColumn<QByteArray>("dat");
  QTest::newRow("off screen") << QByteArray("3000\r\n3000\r\n400\r\n320\r\n/\r\n/L.txt\r\n");
  QTest::newRow("larger than the screen") << QByteArray("0\r\n0\r\n99999\r\n99999\r\n/\r\n/L.txt\r\n");
  QTest::newRow("far away") << QByteArray("100000\r\n-100000\r\n400\r\n320\r\n/\r\n/L.txt\r\n");
  QTest::newRow("negative size") << QByteArray("-50\r\n-50\r\n-400\r\n-320\r\n/\r\n/L.txt\r\n");
}

void WindowTest::positionAndSizeClampedToScreen() {
  QFETCH(QByteArray, dat);
  Harness h;
  QVERIFY(WriteBytes(h.settingsFile_(), dat));
  MainWindow& w = h.Open();
  const QRect avail = w.screen()->availableGeometry();
  QVERIFY2(avail.contains(QRect(w.pos(), w.size())),
           qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6").arg(w.x()).arg(w.y()).arg(w.width())
                          .arg(w.height()).arg(avail.width()).arg(avail.height())));
  const QRect shown(w.pos(), w.size());
  h.Close();
  // The settings file keeps its seven lines, with the values the window had.
  QCOMPARE(ReadBytes(h.settingsFile_()).count("\r\n"), 7);
  QCOMPARE(QRect(SettingsLine(h.settingsFile_(), 1).toInt(), SettingsLine(h.settingsFile_(), 2).toInt(),
                 SettingsLine(h.settingsFile_(), 3).toInt(), SettingsLine(h.settingsFile_(), 4).toInt()),
           shown);
}

void WindowTest::lineBufferFillsWhenShown() {
  Harness h;
  QVERIFY(WriteBytes(h.Path("a.jww"), "x"));
  MainWindow& w = h.Open();
  h.Add({h.Path("a.jww")});
  h.WriteList(h.Path("out.txt"));
  QVERIFY(w.lineBuffer->isHidden());
  QVERIFY(w.lineBuffer->list());
  QCOMPARE(w.lineBuffer->list()->Size(), static_cast<uint64_t>(QFileInfo(h.Path("out.txt")).size()));
  QCOMPARE(w.lineBuffer->toPlainText(), QString());  // no text document while hidden
  w.lineBuffer->show();
  QCOMPARE(w.lineBuffer->toPlainText(), w.lineBuffer->text());
  QVERIFY(w.lineBuffer->toPlainText().startsWith(QStringLiteral("%%PA\t")));
}

void WindowTest::toolkitTextsInJapanese() {
  QTranslator* texts = dravik::InstallToolkitTranslations(QLocale(QLocale::Japanese, QLocale::Japan));
  QVERIFY2(texts, "the toolkit's Japanese translations are not installed (scripts/deps)");
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
  QCoreApplication::removeTranslator(texts);
  delete texts;
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

// The preview stays hidden until asked for, then shares the list's width (the window keeps its
// size) and shows the selected drawing's paper; a file that is no drawing shows no picture.
void WindowTest::previewShowsTheSelectedDrawing() {
  Harness h;
  MainWindow& w = h.Open();
  w.resize(551, 355);
  QVERIFY(w.previewPane->isHidden());
  jww::TJwwData d;
  d.DataDefaultSet();
  d.Enthd.nZumen = 4;
  jww::TEntJwwLine line;
  line.att.nPenColor = 2, line.att.nPenStyle = 1;
  line.start_x = -140, line.end_x = 140;  // across the paper's middle
  d.EntLine.push_back(line);
  d.EntLineN = 1;
  d.EntNo.push_back({jww::kEntLine, 0});
  d.Enthd.n1 = 1;
  const QString drawing = h.Path("plan.jww"), junk = h.Path("junk.jww");
  QVERIFY(d.FileOut(drawing.toStdU16String(), 600));
  QVERIFY(WriteBytes(junk, "not a drawing"));
  h.Add({drawing, junk});
  w.selectRows({0});

  w.previewButton->click();
  QVERIFY(w.previewPane->isVisible());
  QCOMPARE(w.size(), QSize(551, 355));
  QCOMPARE(w.buttonPanel->geometry().right(), 550);
  QCOMPARE(w.fileList->width() + w.previewSplitter->handleWidth() + w.previewPane->width(), 431);
  w.previewPane->grab();  // paints it
  const QImage& pic = w.previewPane->picture();
  QVERIFY(!pic.isNull());
  int dark = 0;
  for (int x = 0; x < pic.width(); ++x) {
    bool onLine = false;  // a thin line, smoothed: within two rows of the middle
    for (int y = pic.height() / 2 - 2; y <= pic.height() / 2 + 2; ++y) onLine = onLine || qGray(pic.pixel(x, y)) < 240;
    dark += onLine;
  }
  QVERIFY2(dark > pic.width() / 2, qPrintable(QString::number(dark)));

  w.selectRows({1});
  w.previewPane->grab();
  QVERIFY(w.previewPane->picture().isNull());

  w.previewButton->click();
  QVERIFY(w.previewPane->isHidden());
  QCOMPARE(w.width(), 551);
  QCOMPARE(w.fileList->width(), 431);
}

// Maximised, the buttons stay on screen with the preview shown; where the user drags the
// splitter is kept for the next run, beside the settings file, whose seven lines stay.
void WindowTest::previewSharesTheWidthAndKeepsItsShare() {
  Harness h;
  MainWindow& w = h.Open();
  w.showMaximized();
  QTRY_VERIFY(w.isMaximized());
  const int screenWidth = w.screen()->availableGeometry().width();
  QTRY_COMPARE(w.frameGeometry().width(), screenWidth);
  const int width = w.width();
  w.previewButton->click();
  QCOMPARE(w.frameGeometry().width(), screenWidth);
  QCOMPARE(w.buttonPanel->geometry().right(), width - 1);

  w.showNormal();
  w.setGeometry(50, 60, 700, 500);
  QWidget* handle = w.previewSplitter->handle(1);
  const QPoint grip = handle->rect().center();
  QTest::mousePress(handle, Qt::LeftButton, {}, grip);
  QTest::mouseMove(handle, grip - QPoint(200, 0));
  QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(200, 0));
  const int preview = w.previewPane->width();
  QVERIFY2(preview > 370, qPrintable(QString::number(preview)));  // half of 580 and the 200 dragged
  h.Close();
  QCOMPARE(ReadBytes(h.settingsFile_()).count("\r\n"), 7);

  MainWindow& again = h.Open();
  QCOMPARE(again.size(), QSize(700, 500));
  again.previewButton->click();
  QVERIFY(std::abs(again.previewPane->width() - preview) <= 2);
}


namespace {

// A drawing of lines on A4, each line {x1, y1, x2, y2, pen colour}.
QString WriteLines(const QString& path, std::initializer_list<std::array<double, 5>> lines) {
  jww::TJwwData d;
  d.DataDefaultSet();
  d.Enthd.nZumen = 4;
  for (const auto& l : lines) {
    jww::TEntJwwLine line;
    line.att.nPenColor = static_cast<jww::Word>(l[4]), line.att.nPenStyle = 1;
    line.start_x = l[0], line.start_y = l[1], line.end_x = l[2], line.end_y = l[3];
    d.EntNo.push_back({jww::kEntLine, static_cast<int>(d.EntLine.size())});
    d.EntLine.push_back(line);
  }
  d.EntLineN = d.Enthd.n1 = static_cast<int>(d.EntLine.size());
  return d.FileOut(path.toStdU16String(), 600) ? path : QString();
}

// Pixels of `pic` of a hue: thin lines are smoothed towards the white paper, so the hue is told by
// which channels stand out, not by the colour itself.
enum class Hue { Red, Blue, Orange, Purple };
int PixelsOf(const QImage& pic, Hue hue) {
  int n = 0;
  for (int y = 0; y < pic.height(); ++y)
    for (int x = 0; x < pic.width(); ++x) {
      const QRgb p = pic.pixel(x, y);
      const int r = qRed(p), g = qGreen(p), b = qBlue(p);
      switch (hue) {
        case Hue::Red: n += r - g > 30 && std::abs(g - b) < 15; break;
        case Hue::Blue: n += b - r > 30 && b - g > 30 && r - g < 15; break;
        case Hue::Orange: n += r - g > 15 && g - b > 20; break;
        case Hue::Purple: n += b - g > 30 && r - g > 15 && b > r; break;
      }
    }
  return n;
}

}  // namespace

// 比較: two selected rows, the upper one the old drawing; the change picture in the preview, the
// counts in the status line; the action only with exactly two rows selected.
void WindowTest::compareShowsTheChangePicture() {
  Harness h;
  // Old: a kept line, one that goes, one that is recoloured, one that moves. New: the kept line
  // reordered after a new line, the recoloured one, the moved one.
  const QString before = WriteLines(h.Path("rev a.jww"), {{-100, 50, 100, 50, 1}, {-100, 0, 100, 0, 1},
                                                          {-100, -50, 100, -50, 1}, {-100, -90, 100, -90, 2}});
  const QString after = WriteLines(h.Path("rev b.jww"), {{-100, -50, 100, -50, 5}, {-80, -80, 80, 80, 1},
                                                         {-100, 50, 100, 50, 1}, {-90, -80, 110, -80, 2}});
  QVERIFY(!before.isEmpty() && !after.isEmpty());
  QVERIFY(WriteBytes(h.Path("junk.jww"), "not a drawing"));
  MainWindow& w = h.Open();
  w.resize(700, 400);
  QApplication::setActiveWindow(&w);
  QVERIFY(QTest::qWaitForWindowActive(&w));
  h.Add({before, after, h.Path("junk.jww")});
  QVERIFY(w.listMenu()->actions().contains(w.compareAction));
  QCOMPARE(w.findChild<QAction*>(QStringLiteral("compareAction")), w.compareAction);

  for (const QList<int>& rows : {QList<int>{}, {0}, {0, 1, 2}}) {
    w.selectRows(rows);
    QVERIFY2(!w.compareAction->isEnabled(), qPrintable(QString::number(rows.size())));
  }
  w.selectRows({0, 1});
  QVERIFY(w.compareAction->isEnabled());
  QVERIFY(w.previewPane->isHidden());
  QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
  QTRY_VERIFY(w.previewPane->scene() != nullptr);
  QVERIFY(w.previewPane->isVisible());
  QVERIFY(w.previewButton->isChecked());
  QCOMPARE(w.statusLine->message(),
           QStringLiteral("比較 rev a.jww → ") + after + QStringLiteral(": 削除 1、追加 1、変更 1、移動 1"));
  w.previewPane->grab();
  const QImage pic = w.previewPane->picture().convertToFormat(QImage::Format_RGB32);
  QVERIFY(!pic.isNull());
  // Removed red, added blue, changed orange, moved purple, each a line across the picture.
  for (Hue hue : {Hue::Red, Hue::Blue, Hue::Orange, Hue::Purple})
    QVERIFY2(PixelsOf(pic, hue) > pic.width() / 3, qPrintable(QString::number(PixelsOf(pic, hue))));

  // Deleting a row leaves one selected or none: the action goes off with it.
  w.selectRows({1, 2});
  QVERIFY(w.compareAction->isEnabled());
  w.compareSelected();
  QCOMPARE(w.statusLine->message(), QStringLiteral("比較できません（図面を読めません）: ") + h.Path("junk.jww"));
  w.deleteSelected();
  QVERIFY(!w.compareAction->isEnabled());

  // The same drawing twice; then a new current row shows that drawing again.
  QVERIFY(QFile::copy(before, h.Path("rev a copy.jww")));
  h.Add({h.Path("rev a copy.jww")});
  w.selectRows({0, 1});
  w.compareAction->trigger();
  QVERIFY(w.statusLine->message().endsWith(QStringLiteral(": 違いはありません")));
  w.selectRows({1});
  QCOMPARE(w.previewPane->scene(), nullptr);
  QCOMPARE(w.previewPane->path(), h.Path("rev a copy.jww"));
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
