// Reads a register row's requisites from the grid's model and checks them.
#include "app/register_requisites.h"

#include <QDateTime>

#include "data/requisites.h"
#include "widgets/dataset_table_model.h"

namespace app {

const QStringList& RequisiteFields() {
  static const QStringList fields = {
      QStringLiteral("naloglog"),  QStringLiteral("DatePlat"), QStringLiteral("InnPlat"),  QStringLiteral("InnPoluch"),
      QStringLiteral("KppPoluch"), QStringLiteral("SchetPoluch"), QStringLiteral("Bik"),  QStringLiteral("korSchet"),
      QStringLiteral("kodklass"),  QStringLiteral("okato"),    QStringLiteral("status"),   QStringLiteral("srok"),
      QStringLiteral("indexdoc"),
  };
  return fields;
}

QString RequisiteFailures(const widgets::DataSetTableModel& model, int row) {
  auto text = [&](const char* field) { return model.fieldValue(row, QString::fromLatin1(field)).toString().toStdString(); };
  const QVariant tax = model.fieldValue(row, QStringLiteral("naloglog"));
  if (!tax.isValid()) return {};
  int date = 0;
  const QDate day = model.fieldValue(row, QStringLiteral("DatePlat")).toDateTime().date();
  if (day.isValid()) date = day.year() * 10000 + day.month() * 100 + day.day();
  const receipts::ReceiptRequisites r = receipts::RequisitesFromFields(tax.toBool(), date, text);
  QStringList lines;
  for (const receipts::RequisiteFailure& f : receipts::CheckReceiptRequisites(r)) lines << QString::fromStdString(f.text);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace app
