// The register's sign on receipts with failing requisites: the failures of
// each stored receipt, judged by its kind and date, and the tooltip of the
// grid's indicator column.
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QToolTip>

#include "register/register_requisites.h"
#include "register_fixture.h"
#include "engine/locale/date_time.h"
#include "widgets/data_grid.h"

namespace {

// Appends receipts given as field = UTF-8 text (naloglog "1" for a tax
// receipt, DatePlat as YYYY-MM-DD) to "formix.tdb" in the current directory.
void AppendReceipts(const std::vector<std::vector<std::pair<const char*, const char*>>>& receipts) {
  tdb::TDadaTable t;
  t.SetDatabaseName("formix.tdb");
  t.SetTableName("formix");
  t.Open();
  int nomer = 0;
  for (const auto& values : receipts) {
    t.Append();
    t.FieldByName("nomer").SetAsInteger(++nomer);
    for (const auto& [field, value] : values) {
      const std::string name = field;
      if (name == "naloglog") {
        t.FieldByName(field).SetAsBoolean(std::string(value) == "1");
      } else if (name == "DatePlat") {
        const QDate d = QDate::fromString(QString::fromLatin1(value), Qt::ISODate);
        t.FieldByName(field).SetAsDateTime(*tdb::EncodeDate(d.year(), d.month(), d.day()) - 693594);
      } else {
        t.FieldByName(field).SetAsString(tdb::Utf8ToCp1251(value));
      }
    }
    t.Post();
  }
  t.Close();
}

}  // namespace

class RegisterRequisitesTest : public QObject {
  Q_OBJECT

 private slots:
  void failingReceiptsAreMarked() {
    DataFolder data;
    data.CreateReceipts();
    AppendReceipts({
        // A bank receipt: a mistyped INN and an account that does not fit the BIK.
        {{"InnPoluch", "5834123450"}, {"SchetPoluch", "40702810200001234568"}, {"Bik", "045678901"},
         {"status", "99"}},  // tax fields of a bank receipt are not judged
        // A tax receipt as it should be.
        {{"naloglog", "1"}, {"DatePlat", "2025-03-01"}, {"InnPoluch", "5834000014"},
         {"SchetPoluch", "03100643000000015600"}, {"Bik", "015678001"}, {"korSchet", "40102810445370000099"},
         {"kodklass", "18210604012021000110"}, {"okato", "56999000"}, {"status", "13"}, {"srok", "ГД.00.2024"}},
        // Status 09 was right until 01.10.2021: the later receipt is marked.
        {{"naloglog", "1"}, {"DatePlat", "2021-09-30"}, {"status", "09"}},
        {{"naloglog", "1"}, {"DatePlat", "2021-10-01"}, {"status", "09"}},
    });
    Program p(data.Dir());
    p.Start();
    widgets::DataGrid& grid = *p.main()->grid;
    QVERIFY(QTest::qWaitForWindowExposed(p.main()));
    QTRY_COMPARE(grid.model()->rowCount(), 4);

    const QString expected[] = {
        QStringLiteral("ИНН получателя: неверная контрольная цифра\nСчёт получателя не соответствует БИК"),
        QString(),
        QString(),
        QStringLiteral("Статус 09 отменён с 01.10.2021: укажите 13"),
    };
    for (int row = 0; row < 4; ++row) QCOMPARE(reg::RequisiteFailures(*grid.dataModel(), row), expected[row]);

    // The indicator column shows them as the sign's tooltip.
    QHeaderView* indicator = grid.verticalHeader();
    auto tooltipAt = [&](int row) {
      const QPoint at(indicator->width() - 4, indicator->sectionViewportPosition(row) + 2);
      QHelpEvent help(QEvent::ToolTip, at, indicator->viewport()->mapToGlobal(at));
      QApplication::sendEvent(indicator->viewport(), &help);
      return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QCOMPARE(tooltipAt(3), expected[3]);
    QCOMPARE(tooltipAt(0), expected[0]);
  }
};

QTEST_MAIN(RegisterRequisitesTest)
#include "register_requisites_test.moc"
