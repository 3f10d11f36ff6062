// Reads a register row's requisites from the grid's model and checks them.
#include "register/register_requisites.h"

#include <QDateTime>

#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "widgets/dataset_table_model.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;

const QStringList& RequisiteFields() {
  static const QStringList fields = {
      QString::fromLatin1(receipt_table::kTax),  QString::fromLatin1(receipt_table::kDate), QString::fromLatin1(receipt_table::kPayerInn),  QString::fromLatin1(receipt_table::kRecipientInn),
      QString::fromLatin1(receipt_table::kRecipientKpp), QString::fromLatin1(receipt_table::kRecipientAccount), QString::fromLatin1(receipt_table::kBik),  QString::fromLatin1(receipt_table::kCorrAccount),
      QString::fromLatin1(receipt_table::kBudgetCode),  QString::fromLatin1(receipt_table::kOktmo),    QString::fromLatin1(receipt_table::kStatus),   QString::fromLatin1(receipt_table::kPeriod),
      QString::fromLatin1(receipt_table::kDocIndex),
  };
  return fields;
}

QString RequisiteFailures(const widgets::DataSetTableModel& model, int row) {
  auto text = [&](const char* field) { return model.fieldValue(row, QString::fromLatin1(field)).toString().toStdString(); };
  const QVariant tax = model.fieldValue(row, QString::fromLatin1(receipt_table::kTax));
  if (!tax.isValid()) return {};
  int date = 0;
  const QDate day = model.fieldValue(row, QString::fromLatin1(receipt_table::kDate)).toDateTime().date();
  if (day.isValid()) date = day.year() * 10000 + day.month() * 100 + day.day();
  const receipts::ReceiptRequisites r = receipts::RequisitesFromFields(tax.toBool(), date, text);
  QStringList lines;
  for (const receipts::RequisiteFailure& f : receipts::CheckReceiptRequisites(r)) lines << QString::fromStdString(f.text);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace reg
