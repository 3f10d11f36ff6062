// The Ok/Cancel row of the program's dialogs: a QDialogButtonBox with the
// dialog's own texts ("Ok", "Сохранить", "Отмена"...).
//
// The caller connects the buttons' clicked signals; the box's accepted and
// rejected signals are not used.  With OkDefault::kYes the ok button is the
// dialog's default (Enter presses it); the buttons are otherwise as Qt makes
// them.  With kNo no button is the default and none becomes it by taking the
// focus; the ok button then has the action role, because the box would make
// an accept-role button the default of a dialog that has none.
// User-interface thread only.
#pragma once

#include <QDialogButtonBox>
#include <QPushButton>
#include <QString>

namespace ui {

enum class OkDefault { kYes, kNo };

struct OkCancelRow {
  QDialogButtonBox* box;  // owned by the parent given
  QPushButton* ok;
  QPushButton* cancel;
};

OkCancelRow MakeOkCancelRow(QWidget* parent, const QString& okText, OkDefault okDefault,
                            const QString& cancelText = QStringLiteral("Отмена"),
                            Qt::Orientation orientation = Qt::Horizontal);

}  // namespace ui
