// The register's sign on receipts whose requisites fail their checks.
//
// The grid reads these fields with every row (DataGrid::setExtraFields); the
// indicator column shows a sign on a failing receipt and the failures, one a
// line, as its tooltip, so that a user sees old mistakes too.  Nothing is
// changed in the receipt.  User-interface thread only.
#pragma once

#include <QString>
#include <QStringList>

namespace widgets {
class DataSetTableModel;
}

namespace reg {

// The receipt fields the checks read.
const QStringList& RequisiteFields();

// The failures of the receipt in `row`, one a line ("ИНН получателя: ...");
// empty when every requisite passes or the row is not read.
QString RequisiteFailures(const widgets::DataSetTableModel& model, int row);

}  // namespace reg
