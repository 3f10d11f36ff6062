// The real prompts: Qt message boxes and modal dialog loops.
#include "ui/ui_prompts.h"

#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include "ui/window_placement.h"

namespace ui {
namespace {

// A box as wide as its caption needs: the window manager draws the title (the
// program's name when the box has none) beside the title bar's buttons, and
// a short question would otherwise cut it.
void FitCaption(QMessageBox& box) {
  const QString title = box.windowTitle().isEmpty() ? QGuiApplication::applicationDisplayName() : box.windowTitle();
  auto* layout = qobject_cast<QGridLayout*>(box.layout());
  if (!layout) return;
  const int margins = layout->contentsMargins().left() + layout->contentsMargins().right();
  layout->addItem(new QSpacerItem(CaptionWidth(box.font(), title) - margins, 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  layout->rowCount(), 0, 1, layout->columnCount());
}

}  // namespace

void QtUiPrompts::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, QApplication::activeWindow());
  FitCaption(box);
  box.exec();
}

bool QtUiPrompts::AskYesNo(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString(), text, QMessageBox::Yes | QMessageBox::No,
                  QApplication::activeWindow());
  FitCaption(box);
  return box.exec() == QMessageBox::Yes;
}

bool QtUiPrompts::AskOkCancel(const QString& text) {
  QMessageBox box(QMessageBox::Question, QApplication::applicationName(), text,
                  QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
  FitCaption(box);
  return box.exec() == QMessageBox::Ok;
}

void QtUiPrompts::ShowError(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                  QApplication::activeWindow());
  FitCaption(box);
  box.exec();
}

bool QtUiPrompts::OfferRepair(const QString& text) {
  QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::NoButton,
                  QApplication::activeWindow());
  QPushButton* repair = box.addButton(QStringLiteral("Восстановить…"), QMessageBox::AcceptRole);
  QPushButton* close = box.addButton(QStringLiteral("Закрыть"), QMessageBox::RejectRole);
  box.setDefaultButton(repair);
  box.setEscapeButton(close);
  FitCaption(box);
  box.exec();
  return box.clickedButton() == repair;
}

int QtUiPrompts::ShowModal(QDialog& dialog) { return dialog.exec(); }

}  // namespace ui
