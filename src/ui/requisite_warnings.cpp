// Attaches the requisite checks of the data layer to editors by object name.
#include "ui/requisite_warnings.h"

#include <QComboBox>
#include <QLineEdit>
#include <QWidget>

#include "data/receipt_tables.h"
#include "data/requisites.h"

namespace ui {
namespace {

namespace code_table = receipts::code_table;
namespace payer_table = receipts::payer_table;
namespace receipt_table = receipts::receipt_table;
namespace recipient_table = receipts::recipient_table;
using receipts::Complaint;

QString Said(const Complaint& c) { return c ? QString::fromStdString(*c) : QString(); }

QWidget* Editor(QWidget* dialog, const char* name) { return dialog->findChild<QWidget*>(QString::fromLatin1(name)); }

QString TextOf(QWidget* editor) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) return line->text();
  if (auto* box = qobject_cast<QComboBox*>(editor)) return box->currentText();
  return {};
}

// Attaches `check` (of the editor's text in UTF-8) to the editor `name`,
// rechecking as the editors `depends` change; nothing when it is missing.
void Warn(std::vector<widgets::FieldWarning*>& out, QWidget* dialog, const char* name,
          std::function<Complaint(const std::string&)> check, std::vector<QWidget*> depends = {}) {
  QWidget* editor = Editor(dialog, name);
  if (!editor) return;
  auto* warning = new widgets::FieldWarning(editor, [check](const QString& text) { return Said(check(text.toStdString())); });
  for (QWidget* other : depends)
    if (other) warning->RecheckOn(other);
  out.push_back(warning);
}

}  // namespace

std::vector<widgets::FieldWarning*> WarnRequisites(QWidget* dialog, std::function<int()> receiptDate) {
  using receipts::InnKind;
  std::vector<widgets::FieldWarning*> out;
  QWidget* bik = Editor(dialog, recipient_table::kBik);
  auto bikText = [bik] { return bik ? TextOf(bik).toStdString() : std::string(); };
  QWidget* code = Editor(dialog, receipt_table::kBudgetCode);
  auto singleTax = [code] { return code && receipts::IsSingleTaxPaymentKbk(TextOf(code).toStdString()); };

  Warn(out, dialog, payer_table::kInn, [](const std::string& v) { return receipts::CheckInn(v, InnKind::kPayer); });
  Warn(out, dialog, recipient_table::kInn, [](const std::string& v) { return receipts::CheckInn(v); });
  Warn(out, dialog, recipient_table::kKpp, [](const std::string& v) { return receipts::CheckKpp(v); });
  Warn(out, dialog, recipient_table::kAccount, [bikText](const std::string& v) { return receipts::CheckAccount(v, bikText()); },
       {bik});
  Warn(out, dialog, recipient_table::kBik, [](const std::string& v) { return receipts::CheckBik(v); });
  Warn(out, dialog, recipient_table::kCorrAccount, [bikText](const std::string& v) { return receipts::CheckCorrAccount(v, bikText()); },
       {bik});
  Warn(out, dialog, code_table::kCode, [](const std::string& v) { return receipts::CheckKbk(v); });
  Warn(out, dialog, receipt_table::kBudgetCode, [](const std::string& v) { return receipts::CheckKbk(v); });
  Warn(out, dialog, receipt_table::kOktmo, [singleTax](const std::string& v) { return receipts::CheckOktmo(v, singleTax()); },
       {code});
  Warn(out, dialog, receipt_table::kStatus, [receiptDate](const std::string& v) {
    return receipts::CheckPayerStatus(v, receiptDate ? receiptDate() : 0);
  });
  Warn(out, dialog, receipt_table::kPeriod, [](const std::string& v) { return receipts::CheckTaxPeriod(v); });
  Warn(out, dialog, receipt_table::kDocIndex, [](const std::string& v) { return receipts::CheckUin(v); });
  return out;
}

}  // namespace ui
