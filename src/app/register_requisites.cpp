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
  receipts::ReceiptRequisites r;
  r.tax = tax.toBool();
  const QDate date = model.fieldValue(row, QStringLiteral("DatePlat")).toDateTime().date();
  if (date.isValid()) r.date = date.year() * 10000 + date.month() * 100 + date.day();
  r.payer_inn = text("InnPlat");
  r.recipient_inn = text("InnPoluch");
  r.kpp = text("KppPoluch");
  r.account = text("SchetPoluch");
  r.bik = text("Bik");
  r.corr_account = text("korSchet");
  r.kbk = text("kodklass");
  r.oktmo = text("okato");
  r.status = text("status");
  r.period = text("srok");
  r.doc_index = text("indexdoc");
  QStringList lines;
  for (const receipts::RequisiteFailure& f : receipts::CheckReceiptRequisites(r)) lines << QString::fromStdString(f.text);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace app
