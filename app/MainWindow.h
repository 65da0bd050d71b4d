// MainWindow: the Dravik window. The user collects drawings into an ordered list (the add dialog or
// a drop from a file manager), reorders and deletes rows, sets the slot count and writes the list
// file. Position, size, the add-files folder, the list file name and the slot count live in the
// seven-line settings file (list/Settings.h; where it lies: app/Places.h), the rest of the layout
// in a file beside it (app/WindowState.h).
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTreeView>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "jww/JwwUnit.h"
#include "app/HelpFlow.h"
#include "app/WindowState.h"
#include "list/ListFile.h"

class QAction;
class QFrame;
class QLocale;
class QTranslator;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QResizeEvent;
class QSplitter;

class QTimer;

namespace dravik {

/// The window's two file dialogs, behind an interface so that tests can answer them.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  /// The add dialog (OpenDialog1): the drawings to add, in the order the dialog returns them; opens in `folder`,
  /// several files may be chosen, all must exist. Empty when the user cancels.
  virtual QStringList chooseDrawings(QWidget* parent, const QString& folder) = 0;
  /// The save dialog (SaveDialog1): the list file to write; opens in `folder` with `fileName` preset and asks before
  /// overwriting. Empty when the user cancels.
  virtual QString chooseListFile(QWidget* parent, const QString& folder, const QString& fileName) = 0;
  /// A list of drawings to open (a text file, one path a line). Empty when the user cancels.
  virtual QString chooseDrawingListToOpen(QWidget* parent, const QString& folder) = 0;
  /// Where to save the list of drawings; asks before overwriting. Empty when the user cancels.
  virtual QString chooseDrawingListToSave(QWidget* parent, const QString& folder) = 0;
  /// The index sheet: the template drawing, the output (.jww, or .pdf for the drawing and its
  /// PDF) and which point of a changed text stays (0 start, 1 middle, 2 end), preset with the
  /// last choice. False when the user cancels (and when a dialog set does not ask it).
  struct FillChoice {
    QString templ, out;
    int anchor = 0;
  };
  virtual bool chooseFill(QWidget* parent, FillChoice& choice) {
    (void)parent;
    (void)choice;
    return false;
  }
};

/// The desktop's own file dialogs.
class DesktopFileDialogs final : public FileDialogs {
 public:
  QStringList chooseDrawings(QWidget* parent, const QString& folder) override;
  QString chooseListFile(QWidget* parent, const QString& folder, const QString& fileName) override;
  QString chooseDrawingListToOpen(QWidget* parent, const QString& folder) override;
  QString chooseDrawingListToSave(QWidget* parent, const QString& folder) override;
  bool chooseFill(QWidget* parent, FillChoice& choice) override;  ///< app/FillDialog.cpp
};

/// The hidden line buffer: the last list file made, kept as its bytes (ListBytes) and turned into
/// text only when it is shown or asked for. A text document costs microseconds per line, which
/// made the list button many times slower than the list itself.
class LineBuffer : public QPlainTextEdit {
  Q_OBJECT

 public:
  using QPlainTextEdit::QPlainTextEdit;
  /// Keeps `bytes` as the buffer's content (null: empty).
  void setList(std::shared_ptr<const ListBytes> bytes);
  /// The lines, joined by "\n" (a memo's own line breaks too).
  QString text() const;
  /// What the buffer holds; null when empty.
  const ListBytes* list() const { return bytes_.get(); }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::shared_ptr<const ListBytes> bytes_;
  bool filled_ = true;
};

/// The file list's view: rows move by dragging them inside it. Its columns share the view's width:
/// paper, scale and last modified as wide as their contents need, the rest to file name, memo and
/// folder (the name the most); a column whose width the user set keeps it.
class DrawingListView : public QTreeView {
  Q_OBJECT

 public:
  explicit DrawingListView(QWidget* parent = nullptr);
  /// Per column, the width the user set; 0 for a column that takes its share.
  QList<int> userWidths() const { return userWidths_; }
  void setUserWidths(const QList<int>& widths);
  /// Shares the width among the columns again (after a resize, or new user widths).
  void fitColumns();

 protected:
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QList<int> userWidths_;
  bool fitting_ = false;  ///< the columns are being sized by fitColumns, not by the user
};

/// The line under the list: what the last action did. A file named in it is shown with its name
/// whole; its folder gives way first (elided in the middle), then the words before it. The tooltip
/// has the whole text.
class StatusLine : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
  /// Shows `before`, then `path` (may be empty), then `after`.
  void showMessage(const QString& before, const QString& path = {}, const QString& after = {});
  /// The whole message, as the tooltip has it.
  QString message() const { return before_ + path_ + after_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void fit();
  QString before_, path_, after_;
};

class DrawingListModel;

/// Loads the toolkit's own texts (file dialog buttons and the like) for `locale` from the
/// translations the system has installed (scripts/deps installs them), and installs them in the
/// application, which owns them. Returns the translator, or null when there is none for `locale`.
QTranslator* InstallToolkitTranslations(const QLocale& locale);

class MainWindow : public QWidget {
  Q_OBJECT

 public:
  /// `dialogs` answers the file dialogs (the desktop's own when null). `exePath` stands in for the
  /// running executable's path, whose folder holds the settings file (the real one when empty).
  explicit MainWindow(std::unique_ptr<FileDialogs> dialogs = nullptr, QString exePath = {},
                      QWidget* parent = nullptr);
  ~MainWindow() override;

  /// Lists the files named on the program's command line (paths, relative to the working folder,
  /// or file: URLs), as the add dialog would; names that are no file are left out. Call it once
  /// the window is shown.
  void addCommandLineFiles(const QStringList& args);

  /// The drawing document: created when the window is shown, freed when it closes.
  const jww::TJwwData* document() const { return document_.get(); }

  // The controls, with the control name each carries as objectName (tests find them by it).
  DrawingListView* fileList;    ///< ListBox1: the drawings in slot order, with their details
  QFrame* buttonPanel;          ///< Panel1
  QPushButton* addButton;       ///< Button1
  QPushButton* upButton;        ///< Button2
  QPushButton* downButton;      ///< Button3
  QPushButton* deleteButton;    ///< Button4
  QLabel* slotCountLabel;       ///< Label4
  QLineEdit* slotCountEdit;     ///< Edit1
  QPushButton* listButton;      ///< Button5
  QPushButton* exitButton;      ///< Button6
  LineBuffer* lineBuffer;       ///< Memo1: hidden; the last list file's lines
  QPushButton* previewButton;   ///< shows or hides the preview (not a designed control)
  class DrawingPreview* previewPane;  ///< the selected drawing's paper, beside the list; hidden at first
  QSplitter* previewSplitter;   ///< the list and the preview, sharing the width left of the panel
  StatusLine* statusLine;       ///< what the last action did
  QFrame* helpArea;             ///< StatusBar1
  QLabel* helpLine1;            ///< Label1: key help
  QLabel* helpLine2;            ///< Label2
  QLabel* helpLine3;            ///< Label3
  HelpFlow* helpFlow;           ///< the same help flowed into rows when the lines do not fit
  QAction* compareAction;       ///< 比較 (Ctrl+D, the list's menu): enabled with exactly two rows selected

 public slots:
  void addFiles();        ///< the add dialog; appends the drawings not yet listed
  void moveUp();          ///< moves the selected rows up
  void moveDown();        ///< moves the selected rows down
  void deleteSelected();  ///< deletes the selected rows
  void writeList();       ///< asks for the list file and writes it
  void fillTemplate();    ///< asks for a template and writes the index sheet of the listed drawings
  void exitWindow();      ///< closes the window
  void showPreview(bool on);  ///< shows the preview beside the list, in the width the list had, or hides it
  void openDrawingList(); ///< replaces the list by a text file of paths
  void saveDrawingList(); ///< saves the list as a text file of paths
  void sortBy(int column);  ///< reorders the slots by a column
  /// Compares the two selected drawings (the upper row as the old one) and shows the change
  /// picture in the preview, the counts in the status line.
  void compareSelected();
  /// Lists files another start of the program handed over (as addCommandLineFiles) and brings the
  /// window to the front.
  void openFiles(const QStringList& files);

 public:
  /// The drawing list's model (rows, paths, facts).
  DrawingListModel* drawings() const { return model_; }
  /// Paths in slot order.
  QStringList paths() const;
  /// Appends every path not yet listed (compared without regard to ASCII case), in order.
  void appendFiles(const QStringList& paths);
  /// Selects exactly these rows; the first becomes current.
  void selectRows(const QList<int>& rows);
  /// The selected rows, in order.
  QList<int> selectedRows() const;
  /// The list's context menu (sorting, opening and saving the list).
  QMenu* listMenu() const { return listMenu_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void openWindow();
  void closeWindow();
  void loadSettings();
  void saveSettings();
  void writeListFile();

  void moveSelection(int step);
  void placeWindow(QPoint frameTopLeft, QSize clientSize);
  void noteNormalGeometry();
  void noteFrameMargins();
  void loadKeptList();
  void saveKeptList();
  void showStatus(const QString& text, const QString& path = {}, const QString& after = {});
  void showCount();  ///< the number of drawings listed (or how to start, when none is)
  void updateCompareAction();
  void fitHelp();

  std::unique_ptr<FileDialogs> dialogs_;
  QString exePath_;
  bool open_ = false;  ///< between openWindow and closeWindow

  std::u16string appPath_;       ///< the executable's folder, ending with a separator
  std::u16string settingsFile_;  ///< the settings file's full path
  QString settingsFolder_;       ///< created before the settings file is written (when not the executable's)
  std::u16string defaultFolder_; ///< where the dialogs start without a settings file
  std::u16string addFolder_;     ///< the folder the add dialog opens in
  std::u16string listFileName_;  ///< the list file last chosen
  int slotCount_ = 10;
  std::unique_ptr<jww::TJwwData> document_;  ///< the one drawing document, while the window is open
  std::u16string keptListFile_;  ///< the list of drawings kept between runs, beside the settings file
  std::u16string drawingListFolder_;  ///< where the open and save dialogs of the drawing list start
  QString statePath_;            ///< the window's layout kept beside the settings file
  WindowState state_;
  QRect normalRect_;             ///< the client area when last neither maximised nor full screen
  QRect previousNormalRect_;     ///< the one before: a window manager may report the maximised size first
  std::optional<QPoint> pendingFramePos_;  ///< where the frame must go once the window manager shows it
  int frameLooks_ = 0;           ///< looks at the frame since the first show (framePlaceTimer_)
  int frameSeenLooks_ = 0;       ///< of those, looks with the frame known and in its place
  QTimer* framePlaceTimer_ = nullptr;
  void placeByFrame();
  void lookAtFrame();
  jww::TRegional regional_;
  DrawingListModel* model_ = nullptr;
  QMenu* listMenu_ = nullptr;
};

}  // namespace dravik
