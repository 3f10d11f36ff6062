#include "ui/dialog_buttons.h"

namespace ui {

OkCancelRow MakeOkCancelRow(QWidget* parent, const QString& okText, OkDefault okDefault,
                            const QString& cancelText, Qt::Orientation orientation) {
  auto* box = new QDialogButtonBox(orientation, parent);
  const bool isDefault = okDefault == OkDefault::kYes;
  QPushButton* ok = box->addButton(okText, isDefault ? QDialogButtonBox::AcceptRole : QDialogButtonBox::ActionRole);
  QPushButton* cancel = box->addButton(cancelText, QDialogButtonBox::RejectRole);
  if (isDefault) {
    ok->setDefault(true);
  } else {
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
  }
  return {box, ok, cancel};
}

}  // namespace ui
