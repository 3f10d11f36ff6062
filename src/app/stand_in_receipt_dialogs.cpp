// The stand-in receipt dialog: five plain edits, "Ok" and "Отмена".
#include "app/stand_in_receipt_dialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "app/error_report.h"
#include "app/receipt_register.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"

namespace app {

namespace receipt_table = receipts::receipt_table;
namespace {

struct EditedField {
  QLineEdit* StandInReceiptDialog::*edit;
  const char* field;
  const char16_t* label;
};

constexpr EditedField kEdited[] = {
    {&StandInReceiptDialog::nomer, receipt_table::kNumber, u"Номер"},
    {&StandInReceiptDialog::platel, receipt_table::kPayer, u"Плательщик"},
    {&StandInReceiptDialog::poluchat, receipt_table::kRecipient, u"Получатель"},
    {&StandInReceiptDialog::summa, receipt_table::kAmount, u"Сумма"},
    {&StandInReceiptDialog::naznplat, receipt_table::kPurpose, u"Назначение платежа"},
};

}  // namespace

StandInReceiptDialog::StandInReceiptDialog(tdb::TDadaTable& receipts, UiPrompts& prompts, QWidget* parent)
    : QDialog(parent), receipts_(receipts), prompts_(prompts) {
  setObjectName(QStringLiteral("StandInReceiptDialog"));
  auto* form = new QFormLayout;
  for (const EditedField& e : kEdited) {
    auto* edit = new QLineEdit(this);
    edit->setMinimumWidth(360);
    form->addRow(QString::fromUtf16(e.label), edit);
    edit->setAccessibleName(QString::fromUtf16(e.label));
    this->*(e.edit) = edit;
  }
  BitBtn1 = new QPushButton(QStringLiteral("Ok"), this);
  BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
  BitBtn1->setDefault(true);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(BitBtn1, QDialogButtonBox::AcceptRole);
  buttons->addButton(BitBtn2, QDialogButtonBox::RejectRole);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  connect(BitBtn1, &QPushButton::clicked, this, &StandInReceiptDialog::Store);
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void StandInReceiptDialog::Load(bool focusNumber) {
  for (const EditedField& e : kEdited) (this->*(e.edit))->setText(FieldText(receipts_.FieldByName(e.field)));
  (focusNumber ? nomer : platel)->setFocus();
}

void StandInReceiptDialog::Store() {
  try {
    for (const EditedField& e : kEdited) {
      receipts_.FieldByName(e.field).SetAsString(tdb::Utf16ToCp1251((this->*(e.edit))->text().toStdU16String()));
    }
    receipts_.Post();
    accept();
  } catch (...) {
    ReportError(std::current_exception(), &prompts_);
  }
}

StandInReceiptDialogs::StandInReceiptDialogs(tdb::TDadaTable& receipts, UiPrompts& prompts, QWidget* parent)
    : prompts_(prompts), dialog_(std::make_unique<StandInReceiptDialog>(receipts, prompts, parent)) {}

void StandInReceiptDialogs::Show(ReceiptForm, const QString& caption, bool focusNumber) {
  dialog_->setWindowTitle(caption);
  dialog_->setAccessibleName(caption);
  dialog_->Load(focusNumber);
  prompts_.ShowModal(*dialog_);
}

}  // namespace app
