// The directory windows driven through their widgets, offscreen: a pick from
// the keyboard alone, refusals, closing without a pick, the code directory's
// kind filter and its edit dialog's kind list, and a missing file.
#include <QFileInfo>
#include <QLineEdit>
#include <QSet>
#include <QTest>

#include "support/other_clerk_table.h"
#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "directories/directory_window.h"

using namespace directories;

class DirectoryWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void typeAFewLettersAndEnterPicks();
  void markedEntryIsRefusedAndEscClosesWithoutAPick();
  void kindFilterIsResetOnShowingAndTheKindListWritesTip();
  void missingFileShowsTheEnginesMessageAndNoWindow();
  void damagedRowsAreToldOnceAndTheWindowCloses();
  void damagedFileIsRepairedFromTheWindow_data();
  void damagedFileIsRepairedFromTheWindow();
  void markedRowsAreGreyOnWhiteAndADoubleClickPicks();
  void refusedEntryKeepsTheEditDialogOpen();
  void aFailedCommandIsToldAndTheWindowGoesOn();
};

void DirectoryWindowTest::typeAFewLettersAndEnterPicks() {
  ReceiptFiles files;
  int n = 0;
  for (const char* name : {"Сидоров", "Петров", "Павлов"})
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}, {"InnPlat", "77"}});
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  ScriptedPrompts prompts;
  DirectoryWindow window(PayersConfig(), prompts);
  window.SetReceipt(receipt.get());
  prompts.Then([&](QDialog&) {
    QVERIFY(window.grid->hasFocus());
    TypeText(window.grid, QStringLiteral("па"));
    QTest::keyClick(window.grid, Qt::Key_Return);
  });
  QVERIFY(window.Execute());
  QCOMPARE(prompts.modalTitles, QStringList{QStringLiteral("Список плательщиков (Выбор)")});
  QCOMPARE(Text(*receipt, "Platel"), std::string("Павлов"));
  QCOMPARE(receipt->FieldByName("nomerPlat").AsInteger(), 3);
  QVERIFY(!window.Logic().Table().Active());
  QCOMPARE(test_home::TableOf(window.Logic().Table()), std::string());
}

void DirectoryWindowTest::markedEntryIsRefusedAndEscClosesWithoutAPick() {
  ReceiptFiles files;
  AddRecord("Poluchat.tdb", "Poluchat", {{"nomer", "1"}, {"Poluchat", "УФК"}, {"slugebnoe", "1"}});
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  ScriptedPrompts prompts;
  DirectoryWindow window(RecipientsConfig(), prompts);
  window.SetReceipt(receipt.get());
  prompts.Then([&](QDialog& dialog) {
    QTest::keyClick(window.grid, Qt::Key_Return);
    QVERIFY(dialog.isVisible());  // refused: the window stays
    QVERIFY(window.actChange->isEnabled());
    QTest::keyClick(window.grid, Qt::Key_Escape);
  });
  QVERIFY(!window.Execute());
  QCOMPARE(prompts.messages, QStringList{QString::fromUtf8(kCannotPickMarked)});
  QCOMPARE(Text(*receipt, "Poluchat"), std::string());
  QVERIFY(!window.Logic().Table().Active());
}

void DirectoryWindowTest::kindFilterIsResetOnShowingAndTheKindListWritesTip() {
  ReceiptFiles files;
  AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", "1"}, {"kodBK", "18210102010011000110"}, {"tip", "0"}});
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  ScriptedPrompts prompts;
  DirectoryWindow window(CodesConfig(), prompts);
  DirectoryEntryDialog editor(CodesConfig(), prompts);
  window.SetEditDialog(&editor);
  window.SetReceipt(receipt.get());

  // Filter on fines (none yet), then create one: the kind list starts at tax.
  prompts.Then([&](QDialog&) {
    window.KindFilter->setFocus();
    QTest::keyClick(window.KindFilter, Qt::Key_End);  // "Уплата штрафа"
    QCOMPARE(window.KindFilter->currentIndex(), 3);
    QCOMPARE(window.Logic().Table().RecordCount(), 0);
    QVERIFY(!window.actChange->isEnabled());
    QVERIFY(!window.actMark->isEnabled());
    QVERIFY(window.actCopy->isEnabled());
    QTest::keyClick(window.grid, Qt::Key_Insert);
    QCOMPARE(window.Logic().Table().RecordCount(), 1);  // stored while filtered: it stays shown
    QVERIFY(window.actChange->isEnabled());
    QTest::keyClick(window.grid, Qt::Key_Escape);
  });
  prompts.Then([&](QDialog& dialog) {
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Код БК *Новый"));
    QCOMPARE(editor.KindList()->currentIndex(), 0);
    QCOMPARE(editor.KindList()->currentText(), QStringLiteral("Уплата налога"));
    QCOMPARE(editor.OkButton()->text(), QStringLiteral("ОК"));
    editor.KindList()->setCurrentIndex(2);
    QTest::mouseClick(editor.OkButton(), Qt::LeftButton);
  });
  window.Execute();
  auto codes = OpenTable("sprkodBK.tdb", "sprkodBK", "ikodbk");
  QCOMPARE(codes->RecordCount(), 2);
  codes->First();  // its empty code sorts first
  QCOMPARE(codes->FieldByName("tip").AsInteger(), 2);
  QCOMPARE(codes->FieldByName("nomer").AsInteger(), 2);  // after the whole directory's highest, not the empty filtered view

  // Reopened: no filter, both entries, the list at "Без отбора".
  prompts.Then([&](QDialog&) {
    QCOMPARE(window.KindFilter->currentIndex(), 0);
    QCOMPARE(window.Logic().Table().RecordCount(), 2);
    QTest::mouseClick(window.CloseButton, Qt::LeftButton);
  });
  window.Execute();
}

// The last payer's data cut off, as after a crash in the middle of its
// write: the window says so once, in Russian, and Esc still closes it.
void DirectoryWindowTest::damagedRowsAreToldOnceAndTheWindowCloses() {
  SKIP_ON_SERVER("a data folder's file");
  ReceiptFiles files;
  int n = 0;
  for (const char* name : {"Сидоров", "Петров", "Павлов"})
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}, {"InnPlat", "77"}});
  {
    QFile file(files.Path("platel.tdb"));
    QVERIFY(file.resize(file.size() - 40));
  }
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  ScriptedPrompts prompts;
  DirectoryWindow window(PayersConfig(), prompts);
  window.SetReceipt(receipt.get());
  prompts.Then([&](QDialog& dialog) {
    QTest::qWait(50);  // the grid's paint and its queued report
    window.grid->viewport()->repaint();
    QTest::qWait(50);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  window.Execute();
  QVERIFY(!window.isVisible());
  QCOMPARE(prompts.errors.size(), 1);
  QVERIFY2(prompts.errors[0].startsWith(QStringLiteral("Справочник плательщиков «platel.tdb» повреждён")),
           qPrintable(prompts.errors[0]));
}

// "Восстановить…": the entries that survived show again and the clerk is
// told how many, and where the copy of the damaged file is; whether the
// damage turned up while the list was read or already while the window
// opened on the receipt's payer, whose data is the part cut off.
void DirectoryWindowTest::damagedFileIsRepairedFromTheWindow_data() {
  QTest::addColumn<int>("receiptsPayer");
  QTest::newRow("found in the list") << 1;
  QTest::newRow("found at opening") << 3;  // the window shows the repaired file from the start
}

void DirectoryWindowTest::damagedFileIsRepairedFromTheWindow() {
  SKIP_ON_SERVER("a data folder's file");
  QFETCH(int, receiptsPayer);
  ReceiptFiles files;
  int n = 0;
  for (const char* name : {"Сидоров", "Петров", "Павлов"})
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}, {"InnPlat", "77"}});
  QByteArray damaged;
  {
    QFile file(files.Path("platel.tdb"));
    QVERIFY(file.resize(file.size() - 40));
    QVERIFY(file.open(QIODevice::ReadOnly));
    damaged = file.readAll();
  }
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  receipt->FieldByName("nomerPlat").SetAsInteger(receiptsPayer);
  ScriptedPrompts prompts;
  prompts.repair = true;
  DirectoryWindow window(PayersConfig(), prompts);
  window.SetReceipt(receipt.get());
  QStringList shown;
  int repairedBeforeShowing = -1;
  prompts.Then([&](QDialog& dialog) {
    repairedBeforeShowing = prompts.messages.size();
    QTRY_COMPARE(prompts.messages.size(), 1);
    QTest::qWait(50);  // the grid's paint of the repaired file
    for (int row = 0; row < window.grid->model()->rowCount(); ++row)
      shown << window.grid->dataModel()->fieldValue(row, "Platel").toString();
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  window.Execute();
  QCOMPARE(prompts.repairOffers, 1);
  QCOMPARE(prompts.errors.size(), 1);  // the offer only
  QVERIFY2(prompts.errors[0].contains(QStringLiteral("Нажмите «Восстановить…»")), qPrintable(prompts.errors[0]));
  const QString backup = QFileInfo(files.Path("platel.tdb.bak")).absoluteFilePath();
  QCOMPARE(prompts.messages[0],
           QStringLiteral("Справочник плательщиков «platel.tdb» восстановлен. Сохранено записей: 2. Не удалось "
                          "прочитать и пришлось убрать: 1.\n\nКопия файла до восстановления сохранена как «%1».")
               .arg(backup));
  QCOMPARE(shown, (QStringList{QStringLiteral("Сидоров"), QStringLiteral("Петров")}));
  if (receiptsPayer == 3) QCOMPARE(repairedBeforeShowing, 1);
  QFile copy(backup);
  QVERIFY(copy.open(QIODevice::ReadOnly));
  QCOMPARE(copy.readAll(), damaged);
  QVERIFY(!window.Logic().Table().Active());
}

void DirectoryWindowTest::missingFileShowsTheEnginesMessageAndNoWindow() {
  SKIP_ON_SERVER("a data folder's file");
  // A file that is not there, and one whose header is garbage.
  for (bool damaged : {false, true}) {
    ReceiptFiles files;
    QFile file(files.Path("platel.tdb"));
    QVERIFY(file.remove());
    if (damaged) {
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QByteArray(4096, '\x5a'));
      file.close();
    }
    auto receipt = OpenTable("formix.tdb", "formix", "inomer");
    receipt->Insert();
    receipt->FieldByName("Platel").SetAsString("kept");
    ScriptedPrompts prompts;
    DirectoryWindow window(PayersConfig(), prompts);
    window.SetReceipt(receipt.get());
    QVERIFY(!window.Execute());
    QVERIFY(prompts.modalTitles.isEmpty());
    QCOMPARE(prompts.errors.size(), 1);
    if (!damaged) QVERIFY(prompts.errors.first().contains(QStringLiteral("platel.tdb")));
    QCOMPARE(receipt->State(), tdb::dsInsert);
    QCOMPARE(Text(*receipt, "Platel"), std::string("kept"));
    QVERIFY(!window.Logic().Table().Active());
  }
}

void DirectoryWindowTest::markedRowsAreGreyOnWhiteAndADoubleClickPicks() {
  ReceiptFiles files;
  AddRecord("platel.tdb", "platel", {{"nomer", "1"}, {"Platel", "Помеченный Плательщик"}, {"slugebnoe", "1"}});
  AddRecord("platel.tdb", "platel", {{"nomer", "2"}, {"Platel", "Петров"}});
  auto receipt = OpenTable("formix.tdb", "formix", "inomer");
  receipt->Insert();
  ScriptedPrompts prompts;
  DirectoryWindow window(PayersConfig(), prompts);
  window.SetReceipt(receipt.get());
  prompts.Then([&](QDialog&) {
    widgets::DataGrid& grid = *window.grid;
    QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Код"));
    QCOMPARE(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Плательщик"));
    // The current row is the marked one, yet it shows no highlight: white
    // behind grey text.  The unmarked row has no grey in it.
    const QImage image = grid.viewport()->grab().toImage();
    auto colours = [&](int row) {
      QSet<QRgb> seen;
      const QRect r = grid.visualRect(grid.model()->index(row, 1));
      for (int x = r.left() + 1; x < r.right(); ++x)
        for (int y = r.top() + 1; y < r.bottom(); ++y) seen.insert(image.pixel(x, y));
      return seen;
    };
    const QSet<QRgb> marked = colours(0);
    QVERIFY(marked.contains(QColor(Qt::white).rgb()));
    QVERIFY(!marked.contains(grid.palette().color(QPalette::Highlight).rgb()));
    QVERIFY(marked.contains(QColor(200, 200, 200).rgb()));
    QVERIFY(!colours(1).contains(QColor(200, 200, 200).rgb()));

    // Ctrl+Delete removes nothing; Delete on the marked row offers to take
    // the mark off, then on the unmarked one to mark it.
    prompts.answerYes = true;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(&grid, Qt::Key_Delete);
    QVERIFY(!window.Logic().Table().FieldByName("slugebnoe").AsBoolean());
    QTest::keyClick(&grid, Qt::Key_Delete);
    QVERIFY(window.Logic().Table().FieldByName("slugebnoe").AsBoolean());
    QCOMPARE(prompts.questions, (QStringList{QString::fromUtf8(kAskUnmark), QString::fromUtf8(kAskMark)}));
    QCOMPARE(window.Logic().Table().RecordCount(), 2);

    const QRect second = grid.visualRect(grid.model()->index(1, 1));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, second.center());
  });
  QVERIFY(window.Execute());
  QCOMPARE(Text(*receipt, "Platel"), std::string("Петров"));
}

void DirectoryWindowTest::refusedEntryKeepsTheEditDialogOpen() {
  SKIP_ON_SERVER("a unique index the program's own tables do not have");
  ReceiptFiles files;
  // A payers file whose number index is unique, so that a duplicate is refused.
  QVERIFY(QFile::remove(files.Path("platel.tdb")));
  receipts::DatabaseSchema schema = receipts::ReceiptFiles()[1].schema;
  schema.tables[0].indexes[0].options = tdb::tiUnique;
  receipts::CreateDatabaseFile("platel.tdb", schema);
  AddRecord("platel.tdb", "platel", {{"nomer", "2"}, {"Platel", "Петров"}});
  ScriptedPrompts prompts;
  DirectoryWindow window(PayersConfig(), prompts);
  DirectoryEntryDialog editor(PayersConfig(), prompts);
  window.SetEditDialog(&editor);
  prompts.Then([&](QDialog&) {
    QTest::keyClick(window.grid, Qt::Key_Insert);
    QTest::keyClick(window.grid, Qt::Key_Escape);
  });
  prompts.Then([&](QDialog& dialog) {
    QWidget* number = editor.Editor("nomer");
    QCOMPARE(dialog.focusWidget(), number);
    static_cast<QLineEdit*>(number)->selectAll();
    TypeText(number, QStringLiteral("2"));  // the number of an existing entry
    QTest::keyClick(number, Qt::Key_Tab);
    TypeText(editor.Editor("Platel"), QStringLiteral("Сидоров"));
    TypeText(editor.Editor("InnPlat"), QStringLiteral("12345678901234"));  // longer than its 12 characters
    QTest::mouseClick(editor.OkButton(), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompts.errors.size(), 1);
    QCOMPARE(static_cast<QLineEdit*>(editor.Editor("Platel"))->text(), QStringLiteral("Сидоров"));
    static_cast<QLineEdit*>(number)->setFocus();
    static_cast<QLineEdit*>(number)->selectAll();
    TypeText(number, QStringLiteral("3"));
    QTest::mouseClick(editor.OkButton(), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
  });
  window.Execute();
  auto payers = OpenTable("platel.tdb", "platel", "inomer");
  QCOMPARE(payers->RecordCount(), 2);
  payers->Last();
  QCOMPARE(payers->FieldByName("nomer").AsInteger(), 3);
  QCOMPARE(Text(*payers, "Platel"), std::string("Сидоров"));
  QCOMPARE(Text(*payers, "InnPlat"), std::string("123456789012"));
}

// A toolbar command that fails (here: the entry was deleted by another
// clerk meanwhile) is told by the window itself, in Russian; nothing is
// left half-done, the list is read again and the next command works.
void DirectoryWindowTest::aFailedCommandIsToldAndTheWindowGoesOn() {
  ReceiptFiles files;
  int n = 0;
  for (const char* name : {"Петров", "Сидоров", "Павлов"})
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n)}, {"Platel", name}, {"InnPlat", "77"}});
  ScriptedPrompts prompts;
  DirectoryWindow window(PayersConfig(), prompts);
  prompts.Then([&](QDialog& dialog) {
    tdb::TDataSet& table = window.Logic().Table();
    int left = 3;
    for (QAction* command : {window.actMark, window.actChange}) {
      table.First();  // a row the list still shows
      {
        OtherClerkTable other("platel.tdb", "platel");
        other.Go(table.FieldByName("nomer").AsInteger()).Delete();
      }
      prompts.errors.clear();
      command->trigger();
      QCOMPARE(prompts.errors.size(), 1);
      QVERIFY2(prompts.errors[0].contains(QStringLiteral("Другой пользователь удалил эту запись")),
               qPrintable(prompts.errors[0]));
      QVERIFY(dialog.isVisible());
      QCOMPARE(table.State(), tdb::dsBrowse);
      QCOMPARE(table.RecordCount(), --left);  // read again
      QVERIFY(window.actMark->isEnabled());
    }
    // The next command works.
    prompts.errors.clear();
    window.actMark->trigger();
    QVERIFY2(prompts.errors.isEmpty(), qPrintable(prompts.errors.join(QStringLiteral("; "))));
    QVERIFY(table.FieldByName("slugebnoe").AsBoolean());
    dialog.reject();
  });
  window.ExecuteUpkeep();
}

QTEST_MAIN(DirectoryWindowTest)
#include "directory_window_test.moc"

