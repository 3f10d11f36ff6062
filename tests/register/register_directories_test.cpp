// The register's "Справочники" menu opens each directory for upkeep, and a
// receipt dialog's pick still writes into the receipt afterwards.
#include <QMenuBar>

#include "directories/directory_window.h"
#include "register_fixture.h"

class RegisterDirectoriesTest : public QObject {
  Q_OBJECT

 private slots:
  void menuOpensEachDirectoryForUpkeep() {
    DataFolder data;
    for (const receipts::ReceiptFile& file : receipts::ReceiptFiles())
      receipts::CreateDatabaseFile(data.Path(QString::fromStdString(file.file_name)).toStdString(), file.schema);
    Program p(data.Dir());
    p.Start();
    reg::RegisterWindow& m = *p.main();
    QStringList items;
    for (QAction* a : {m.actPayers, m.actRecipients, m.actCodes}) {
      items << a->text();
      QVERIFY(a->isEnabled());
    }
    QCOMPARE(items, (QStringList{"Плательщики", "Получатели", "Коды бюджетной классификации"}));
    bool upkeep = false;
    for (QAction* a : {m.actPayers, m.actRecipients, m.actCodes}) {
      p.prompts.Then([&](QDialog& d) {
        upkeep = static_cast<directories::DirectoryWindow&>(d).Upkeep();
        d.reject();
      });
      a->trigger();
      QVERIFY(upkeep);
    }
    QCOMPARE(p.prompts.modalTitles,
             (QStringList{"Список плательщиков", "Список получателей", "Код бюджетной классификации"}));
    // The pick from a receipt dialog still has its receipt to write into.
    QCOMPARE(p.forms->payers->Logic().Receipt(), &m.Receipts());
    QVERIFY(p.prompts.errors.isEmpty());
  }
};

QTEST_MAIN(RegisterDirectoriesTest)
#include "register_directories_test.moc"
