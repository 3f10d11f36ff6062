// The real prompts: Qt message boxes and modal dialog loops.
#include "ui/ui_prompts.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

namespace ui {

void QtUiPrompts::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, QApplication::activeWindow());
  box.exec();
}

bool QtUiPrompts::AskYesNo(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  return box.exec() == QMessageBox::Yes;
}

bool QtUiPrompts::AskOkCancel(const QString& text) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                  QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
  return box.exec() == QMessageBox::Ok;
}

void QtUiPrompts::ShowError(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                  QApplication::activeWindow());
  box.exec();
}

int QtUiPrompts::ShowModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace ui
