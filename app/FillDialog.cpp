// The index sheet's dialog: the template drawing, the output and the anchor of changed texts.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

#include "app/MainWindow.h"

namespace dravik {

namespace {

// A path box with a button that opens a file dialog.
QLineEdit* PathRow(QDialog& dlg, QFormLayout& form, const QString& label, const QString& value,
                   std::function<QString(const QString&)> browse) {
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(value, &dlg);
  edit->setMinimumWidth(360);
  auto* button = new QPushButton(QStringLiteral("参照…"), &dlg);
  QObject::connect(button, &QPushButton::clicked, &dlg, [edit, browse] {
    const QString chosen = browse(edit->text());
    if (!chosen.isEmpty()) edit->setText(QDir::toNativeSeparators(chosen));
  });
  row->addWidget(edit);
  row->addWidget(button);
  form.addRow(label, row);
  return edit;
}

}  // namespace

bool DesktopFileDialogs::chooseFill(QWidget* parent, FillChoice& choice) {
  QDialog dlg(parent);
  dlg.setWindowTitle(QStringLiteral("図面に差し込む"));
  auto* form = new QFormLayout(&dlg);
  QLineEdit* templ = PathRow(dlg, *form, QStringLiteral("雛形の図面 (&T):"), choice.templ, [&dlg](const QString& at) {
    return QFileDialog::getOpenFileName(&dlg, QStringLiteral("雛形の図面"), at, QStringLiteral("Jw_cad ファイル(*.jww)"));
  });
  QLineEdit* out = PathRow(dlg, *form, QStringLiteral("出力 (&O):"), choice.out, [&dlg](const QString& at) {
    return QFileDialog::getSaveFileName(&dlg, QStringLiteral("出力"), at,
                                        QStringLiteral("Jw_cad ファイル(*.jww);;PDF (図面と PDF)(*.pdf)"));
  });
  auto* anchor = new QComboBox(&dlg);
  anchor->addItems({QStringLiteral("始点（左揃え）"), QStringLiteral("中心（中央揃え）"), QStringLiteral("終点（右揃え）")});
  anchor->setCurrentIndex(choice.anchor);
  form->addRow(QStringLiteral("文字の基準 (&A):"), anchor);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
  form->addRow(buttons);
  if (dlg.exec() != QDialog::Accepted) return false;
  choice.templ = templ->text();
  choice.out = out->text();
  choice.anchor = anchor->currentIndex();
  return true;
}

}  // namespace dravik
