// TForm1: the Dravik window. The user collects drawings into an ordered list (the add dialog or a
// drop from a file manager), reorders and deletes rows, sets the slot count and writes the list
// file. Position, size, the add-files folder, the list file name and the slot count live in the
// settings file beside the executable (Settings.h).
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <string>

#include "jww/JwwUnit.h"

class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace dravik {

/// The window's two file dialogs, behind an interface so that tests can answer them.
class TFileDialogs {
 public:
  virtual ~TFileDialogs() = default;
  /// OpenDialog1: the drawings to add, in the order the dialog returns them; opens in `folder`,
  /// several files may be chosen, all must exist. Empty when the user cancels.
  virtual QStringList OpenDialog1(QWidget* parent, const QString& folder) = 0;
  /// SaveDialog1: the list file to write; opens in `folder` with `fileName` preset and asks before
  /// overwriting. Empty when the user cancels.
  virtual QString SaveDialog1(QWidget* parent, const QString& folder, const QString& fileName) = 0;
};

/// The desktop's own file dialogs.
class TQtFileDialogs final : public TFileDialogs {
 public:
  QStringList OpenDialog1(QWidget* parent, const QString& folder) override;
  QString SaveDialog1(QWidget* parent, const QString& folder, const QString& fileName) override;
};

class TForm1 : public QWidget {
  Q_OBJECT

 public:
  /// `dialogs` answers the file dialogs (the desktop's own when null). `exePath` stands in for the
  /// running executable's path, whose folder holds the settings file (the real one when empty).
  explicit TForm1(std::unique_ptr<TFileDialogs> dialogs = nullptr, QString exePath = {},
                  QWidget* parent = nullptr);
  ~TForm1() override;

  /// The drawing document: created when the window is shown, freed when it closes.
  const jww::TJwwData* Document() const { return JWW.get(); }

  // The controls; each also carries its name as objectName.
  QListWidget* ListBox1;
  QFrame* Panel1;
  QPushButton* Button1;
  QPushButton* Button2;
  QPushButton* Button3;
  QPushButton* Button4;
  QLabel* Label4;
  QLineEdit* Edit1;
  QPushButton* Button5;
  QPushButton* Button6;
  QPlainTextEdit* Memo1;
  QFrame* StatusBar1;
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;

 public slots:
  void Button1Click();  ///< add files
  void Button2Click();  ///< move the selected row up
  void Button3Click();  ///< move the selected row down
  void Button4Click();  ///< delete the selected row
  void Button5Click();  ///< write the list file
  void Button6Click();  ///< close the window

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void FormShow();
  void FormClose();
  void LoadDat();
  void SaveDat();
  void ListFileOut();

  /// Appends every path not yet listed (compared without regard to ASCII case), in order.
  void AddFiles(const QStringList& paths);
  /// The selected row, or -1.
  int SelectedRow() const;
  void SwapRows(int row, int other);

  std::unique_ptr<TFileDialogs> dialogs_;
  QString exePath_;
  bool open_ = false;  ///< between FormShow and FormClose

  std::u16string AppPath;
  std::u16string DatFile;
  std::u16string JwwPath;
  std::u16string LstName;
  int DatNum = 10;
  std::unique_ptr<jww::TJwwData> JWW;
};

}  // namespace dravik
