// The directories opened for upkeep: the caption without "(Выбор)", Enter
// changes the entry instead of picking it, the columns that tell entries
// apart, the code title turning the order round, and the typed search text
// with its "не найдено".
#include <QHeaderView>
#include <QLabel>
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "directories/directory_window.h"

using namespace directories;

namespace {

QStringList Titles(const widgets::DataGrid& grid) {
  QStringList out;
  for (int c = 0; c < grid.model()->columnCount(); ++c) out << grid.model()->headerData(c, Qt::Horizontal).toString();
  return out;
}

QStringList Column(const widgets::DataGrid& grid, int column) {
  QStringList out;
  for (int r = 0; r < grid.model()->rowCount(); ++r) out << grid.model()->index(r, column).data().toString();
  return out;
}

}  // namespace

class DirectoryUpkeepTest : public QObject {
  Q_OBJECT

 private slots:
  void eachDirectoryShowsWhatTellsEntriesApart_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("payers") << 0 << "Список плательщиков" << QStringList{"Код", "Плательщик", "ИНН", "Адрес"};
    QTest::newRow("recipients") << 1 << "Список получателей"
                                << QStringList{"Код", "Получатель", "ИНН", "Счёт", "Банк"};
    QTest::newRow("codes") << 2 << "Код бюджетной классификации" << QStringList{"Код БК", "Наименование БК", "Тип"};
  }
  void eachDirectoryShowsWhatTellsEntriesApart() {
    QFETCH(int, which);
    QFETCH(QString, caption);
    QFETCH(QStringList, titles);
    ReceiptFiles files;
    const DirectoryConfig& config = which == 0 ? PayersConfig() : which == 1 ? RecipientsConfig() : CodesConfig();
    ScriptedPrompts prompts;
    DirectoryWindow window(config, prompts);
    QCOMPARE(Titles(*window.grid), titles);
    prompts.Then([&](QDialog& d) {
      QCOMPARE(d.windowTitle(), caption);
      QVERIFY(window.Upkeep());
      d.reject();
    });
    window.ExecuteUpkeep();
    QCOMPARE(prompts.modalTitles, QStringList{caption});
    // Opened for a pick again, the caption says so again.
    QCOMPARE(window.windowTitle(), config.caption);
    QVERIFY(!window.Upkeep());
  }

  // Namesakes told apart by their INN; Enter opens the entry for a change
  // and nothing is picked anywhere.
  void enterChangesTheEntry() {
    ReceiptFiles files;
    AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Петров"}, {"InnPlat", "500100732259"}});
    AddRecord("platel.tdb", "platel", {{"nomer", "2"}, {"Platel", "Петров"}, {"InnPlat", "7707083893"}});
    ScriptedPrompts prompts;
    DirectoryWindow window(PayersConfig(), prompts);
    DirectoryEntryDialog editor(PayersConfig(), prompts);
    window.SetEditDialog(&editor);
    prompts.Then([&](QDialog& d) {
      QCOMPARE(Column(*window.grid, 2), (QStringList{"500100732259", "7707083893"}));
      QTest::keyClick(window.grid, Qt::Key_Down);
      QTest::keyClick(window.grid, Qt::Key_Return);
      QVERIFY(d.isVisible());
      QTest::keyClick(window.grid, Qt::Key_Escape);
    });
    prompts.Then([&](QDialog& d) { d.reject(); });  // the edit dialog
    window.ExecuteUpkeep();
    QCOMPARE(prompts.modalTitles, (QStringList{"Список плательщиков", "Плательщик Петров"}));
    QVERIFY(prompts.errors.isEmpty());
  }

  // The code title turns the order round; typing shows what was typed, and
  // "не найдено" when no entry starts with it.
  void orderAndSearchText() {
    ReceiptFiles files;
    int n = 0;
    for (const char* name : {"Сидоров", "Петров", "Павлов"})
      AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}});
    ScriptedPrompts prompts;
    DirectoryWindow window(PayersConfig(), prompts);
    prompts.Then([&](QDialog& d) {
      QHeaderView* header = window.grid->horizontalHeader();
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
      QCOMPARE(Column(*window.grid, 0), (QStringList{"3", "2", "1"}));
      QVERIFY(window.grid->sortDescending());
      TypeText(window.grid, QStringLiteral("пе"));
      QCOMPARE(window.searchLabel->text(), QStringLiteral("Поиск: пе"));
      QCOMPARE(Text(window.Logic().Table(), "Platel"), std::string("Петров"));
      TypeText(window.grid, QStringLiteral("х"));
      QCOMPARE(window.searchLabel->text(), QStringLiteral("Поиск: пех — не найдено"));
      QCOMPARE(Text(window.Logic().Table(), "Platel"), std::string("Петров"));
      QTest::keyClick(window.grid, Qt::Key_Backspace);
      QCOMPARE(window.searchLabel->text(), QStringLiteral("Поиск: п"));
      d.reject();
    });
    window.ExecuteUpkeep();
  }

  // Every title sorts (the name and the INN have no index in the file: the
  // window sorts them), a second click turns the order round, typing finds
  // the first name in the order shown, the code title goes back to the
  // file's order; the codes' kind shows by name.
  void titlesSort() {
    ReceiptFiles files;
    const std::pair<const char*, const char*> payers[] = {
        {"Сидоров", "7707083893"}, {"петров", "500100732259"}, {"Павлов", "6449013711"}, {"Пахомов", ""}};
    int n = 0;
    for (const auto& [name, inn] : payers)
      AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}, {"InnPlat", inn}});
    ScriptedPrompts prompts;
    DirectoryWindow window(PayersConfig(), prompts);
    auto clickTitle = [&](int column) {
      QHeaderView* header = window.grid->horizontalHeader();
      QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                        QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    };
    prompts.Then([&](QDialog& d) {
      clickTitle(1);
      QCOMPARE(Column(*window.grid, 1), (QStringList{"Павлов", "Пахомов", "петров", "Сидоров"}));
      QCOMPARE(window.grid->sortMarker(), 1);
      QVERIFY(!window.grid->sortDescending());
      TypeText(window.grid, QStringLiteral("п"));
      QCOMPARE(Text(window.Logic().Table(), "Platel"), std::string("Павлов"));
      QCOMPARE(window.grid->currentIndex().row(), 0);
      clickTitle(1);
      QCOMPARE(Column(*window.grid, 1), (QStringList{"Сидоров", "петров", "Пахомов", "Павлов"}));
      QVERIFY(window.grid->sortDescending());
      QCOMPARE(Text(window.Logic().Table(), "Platel"), std::string("Павлов"));  // still current
      QCOMPARE(window.grid->currentIndex().row(), 3);
      QTest::keyClick(window.grid, Qt::Key_Control);  // a new search
      TypeText(window.grid, QStringLiteral("п"));
      QCOMPARE(Text(window.Logic().Table(), "Platel"), std::string("петров"));  // the first shown
      clickTitle(2);
      QCOMPARE(Column(*window.grid, 2), (QStringList{"", "500100732259", "6449013711", "7707083893"}));
      QVERIFY(!window.grid->sortDescending());
      clickTitle(0);
      QCOMPARE(Column(*window.grid, 0), (QStringList{"1", "2", "3", "4"}));
      QCOMPARE(window.grid->sortMarker(), 0);
      d.reject();
    });
    window.ExecuteUpkeep();
    QVERIFY(prompts.errors.isEmpty());

    AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", "1"}, {"kodBK", "18210102010011000110"}, {"tip", "1"}});
    AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", "2"}, {"kodBK", "18210102010012100110"}, {"tip", "0"}});
    DirectoryWindow codes(CodesConfig(), prompts);
    prompts.Then([&](QDialog& d) {
      QCOMPARE(Column(*codes.grid, 2), (QStringList{"Уплата пени", "Уплата налога"}));
      d.reject();
    });
    codes.ExecuteUpkeep();
  }
};

QTEST_MAIN(DirectoryUpkeepTest)
#include "directory_upkeep_test.moc"
