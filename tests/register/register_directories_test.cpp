// The register's "Справочники" menu opens each directory for upkeep, and a
// receipt dialog's pick still writes into the receipt afterwards.  The
// directories and the receipt dialogs are created when first used, not at
// start.
#include <QApplication>
#include <QMenuBar>

#include "directories/directory_window.h"
#include "register_fixture.h"

namespace {

// Which of the windows created at first use exist now, by object name.
QStringList FirstUseWindows() {
  QStringList names;
  for (const directories::DirectoryConfig* c :
       {&directories::PayersConfig(), &directories::RecipientsConfig(), &directories::CodesConfig()})
    names << QString::fromLatin1(c->windowName) << QString::fromLatin1(c->dialogName);
  names << QStringLiteral("pd4Dialog") << QStringLiteral("taxDialog");
  QStringList existing;
  for (QWidget* w : QApplication::allWidgets())
    if (names.contains(w->objectName())) existing << w->objectName();
  existing.sort();
  return existing;
}

}  // namespace

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
    QCOMPARE(FirstUseWindows(), QStringList());
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
    // Each directory now exists with its entry dialog; no receipt dialog yet.
    QStringList directories;
    for (const directories::DirectoryConfig* c :
         {&directories::PayersConfig(), &directories::RecipientsConfig(), &directories::CodesConfig()})
      directories << QString::fromLatin1(c->windowName) << QString::fromLatin1(c->dialogName);
    directories.sort();
    QCOMPARE(FirstUseWindows(), directories);
    // The pick from a receipt dialog still has its receipt to write into.
    QCOMPARE(p.forms->Payers().Logic().Receipt(), &m.Receipts());
    QVERIFY(p.prompts.errors.isEmpty());
  }
};

QTEST_MAIN(RegisterDirectoriesTest)
#include "register_directories_test.moc"
