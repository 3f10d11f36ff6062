// The register window over a real receipts file: opening, the enabling rule,
// Create, Edit, Mark, Copy, the purge with its renumbering and its waiting
// panel, sorting, the popup's shortcuts, reading another process's receipts
// and commands that fail half-way.
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QPaintEvent>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include "engine/base/database_error.h"
#include "register_fixture.h"

namespace {

using reg::ReceiptForm;

const QString kAsk = QStringLiteral("Удалить текущую запись?");
const QString kUnmark = QStringLiteral("Снять пометку?");
const QString kPurge1 = QStringLiteral("Вы действительно желаете удалить все помеченные на удаление записи?");
// The purge's first question, naming the order the rest is renumbered in.
QString PurgeQuestion(const QString& order) {
  return kPurge1 + QStringLiteral("\n\nОставшиеся квитанции будут перенумерованы с 1 в порядке, показанном сейчас: ") +
         order + '.';
}
const QString kPurge2 = QStringLiteral("Все записи, помеченные на удаление, будут удалены. Продолжить?");

std::vector<Receipt> Numbered(const QStringList& payers) {
  std::vector<Receipt> out;
  for (int i = 0; i < payers.size(); ++i) out.push_back({i + 1, payers[i], 100.0 * (i + 1)});
  return out;
}

// Clicks the title of grid column `column`.
void ClickTitle(widgets::DataGrid& grid, int column) {
  QHeaderView* header = grid.horizontalHeader();
  const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// The centre of a cell of the grid, in its viewport.
QPoint CellCentre(widgets::DataGrid& grid, int row, int column) {
  return grid.visualRect(grid.model()->index(row, column)).center();
}

QList<bool> MarksOf(tdb::TDataSet& t) {
  QList<bool> out;
  for (const Receipt& r : ReceiptsOf(t)) out << r.marked;
  return out;
}

// Counts paints of a widget and what its progress bar showed at each.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QProgressBar* bar) : bar_(bar) { bar->installEventFilter(this); }
  QList<int> values;
  bool loopRan = false;  // set by a zero timer; must stay false during the work
  bool paintedAfterLoop = false;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      values << bar_->value();
      if (loopRan) paintedAfterLoop = true;
    }
    return false;
  }

 private:
  QProgressBar* bar_;
};

}  // namespace

class RegisterTest : public QObject {
  Q_OBJECT

  std::unique_ptr<DataFolder> data_;
  std::unique_ptr<Program> p_;

  // A fresh data folder with `receipts`, and the program started over it.
  Program& Start(const std::vector<Receipt>& receipts = {}) {
    data_ = std::make_unique<DataFolder>();
    data_->CreateReceipts();
    if (!receipts.empty()) OtherProcess().Append(receipts);
    p_ = std::make_unique<Program>(data_->Dir());
    p_->Start();
    return *p_;
  }

 private slots:
  void cleanup() {
    p_.reset();
    data_.reset();
  }

  void opensOnTheReceiptsFileInTheCurrentDirectory() {
    Program& p = Start(Numbered({"Сидоров", "Андреев", "Петров"}));
    QVERIFY(p.prompts.errors.isEmpty());
    QVERIFY(p.table().Active());
    QCOMPARE(p.table().IndexName(), std::string("inomer"));
    QCOMPARE(p.main()->Register().SortColumn(), 0);
    QCOMPARE(NumbersOf(p.table()), (QList<int>{1, 2, 3}));
    // A file is flushed every minute once written.
    if (auto* file = dynamic_cast<tdb::TDadaTable*>(&p.table())) QVERIFY(file->Database()->AutoFlush());
  }

  void missingOrDamagedFileLeavesTheProgramUsable_data() {
    QTest::addColumn<QByteArray>("content");  // "<none>": no file at all
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray("<none>") << "formix.tdb";
    QTest::newRow("not a database") << QByteArray("this is not a database file at all, just text") << "formix.tdb";
  }
  void missingOrDamagedFileLeavesTheProgramUsable() {
    SKIP_ON_SERVER("a data folder's file");
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    data_ = std::make_unique<DataFolder>();
    if (content != "<none>") {
      QFile f(data_->Path("formix.tdb"));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(content);
    }
    p_ = std::make_unique<Program>(data_->Dir());
    p_->Start();
    reg::RegisterWindow& m = *p_->main();
    QCOMPARE(p_->prompts.errors.size(), 1);
    QVERIFY2(p_->prompts.errors[0].contains(message), qPrintable(p_->prompts.errors[0]));
    QVERIFY(!p_->table().Active());
    for (QAction* a : {m.actCreate, m.actPrint, m.actEdit, m.actDelete, m.actCopy, m.actPurge}) {
      QVERIFY(!a->isEnabled());
    }
    // The popup's items stay enabled and do nothing on a closed table.
    for (QAction* a : m.popupMenu->actions()) a->trigger();
    QCOMPARE(p_->prompts.errors.size(), 1);
    QVERIFY(p_->dialogs->shown.empty());
    // Settings and About still open.
    m.actSettings->trigger();
    m.actAbout->trigger();
    QCOMPARE(p_->prompts.modalTitles, (QStringList{"Настройка программы", "О программе..."}));
    // No file was created in its place.
    QCOMPARE(QFile(data_->Path("formix.tdb")).exists(), content != "<none>");
  }

  void enablingRule() {
    Program& p = Start();
    reg::RegisterWindow& m = *p.main();
    QVERIFY(m.actCreate->isEnabled());
    for (QAction* a : {m.actPrint, m.actPdf, m.actEdit, m.actDelete, m.actCopy, m.actPurge}) {
      QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
    }
    for (QAction* a : m.popupMenu->actions()) QVERIFY(a->isEnabled());
    // The toolbar shows the menu's own actions, so the two never disagree.
    QStringList toolbar;
    for (QAction* a : m.toolBar->actions()) toolbar << (a->isSeparator() ? "|" : a->text());
    QCOMPARE(toolbar, (QStringList{"Создать", "Печать", "|", "Изменить", "Удалить", "Скопировать"}));
    QVERIFY(m.toolBar->actions().contains(m.actEdit));

    // A stored receipt enables them; one marked for deletion still counts.
    p.prompts.Then(Choose(0));
    m.actCreate->trigger();
    for (QAction* a : {m.actPrint, m.actPdf, m.actEdit, m.actDelete, m.actCopy, m.actPurge}) {
      QVERIFY2(a->isEnabled(), qPrintable(a->text()));
    }
    m.actDelete->trigger();
    QCOMPARE(MarksOf(p.table()), QList<bool>{true});
    QVERIFY(m.actEdit->isEnabled());
    // The purge empties the table, and the rule follows at once.
    m.actPurge->trigger();
    QCOMPARE(p.table().RecordCount(), 0);
    QVERIFY(!m.actEdit->isEnabled());
  }

  void create_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("store");
    QTest::addColumn<bool>("tax");
    QTest::newRow("ПД-4, Ok") << 0 << false << true << false;
    QTest::newRow("tax, Ok") << 1 << false << true << true;
    QTest::newRow("tax, double-click") << 1 << true << true << true;
    QTest::newRow("ПД-4, dialog cancelled") << 0 << false << false << false;
  }
  void create() {
    QFETCH(int, row);
    QFETCH(bool, doubleClick);
    QFETCH(bool, store);
    QFETCH(bool, tax);
    // Three receipts, one marked: the new one is number 4.
    Program& p = Start({{1, "А"}, {2, "Б", 0, true}, {3, "В"}});
    p.dialogs->store = store;
    p.dialogs->payer = "Новиков";
    p.prompts.Then(Choose(row, doubleClick));
    p.main()->actCreate->trigger();

    QCOMPARE(p.dialogs->shown.size(), size_t(1));
    const FakeDialogs::Shown& shown = p.dialogs->shown[0];
    QCOMPARE(shown.form, tax ? ReceiptForm::Tax : ReceiptForm::Pd4);
    QCOMPARE(shown.caption, QStringLiteral("Квитанция *Новая"));
    QVERIFY(shown.focusNumber);
    QCOMPARE(shown.state, tdb::dsInsert);
    QCOMPARE(p.table().State(), tdb::dsBrowse);
    const std::vector<Receipt> all = ReceiptsOf(p.table());
    QCOMPARE(all.size(), size_t(store ? 4 : 3));
    if (store) {
      const Receipt& r = all.back();
      QCOMPARE(r.nomer, 4);
      QCOMPARE(r.platel, QStringLiteral("Новиков"));
      QCOMPARE(r.tax, tax);
      QCOMPARE(r.document, tax ? QStringLiteral("Форма № ПД-(налог)") : QStringLiteral("Форма № ПД-4 "));
      QVERIFY(!r.marked);
    }
  }

  void createCancelledInTheChooserDoesNothing() {
    Program& p = Start();
    QStringList items;
    int firstRow = -1;
    p.prompts.Then([&](QDialog& d) {
      auto& c = static_cast<reg::FormChooser&>(d);
      for (int i = 0; i < c.formList->count(); ++i) items << c.formList->item(i)->text();
      firstRow = c.formList->currentRow();
      QTest::keyClick(c.formList, Qt::Key_Escape);
    });
    p.main()->actCreate->trigger();
    QCOMPARE(items, (QStringList{"Форма № ПД-4", "Форма № ПД (налог)"}));
    QCOMPARE(firstRow, 0);
    QCOMPARE(p.prompts.modalTitles, QStringList{"Выбор вида документа"});
    QVERIFY(p.dialogs->shown.empty());
    QCOMPARE(p.table().RecordCount(), 0);
    QCOMPARE(p.table().State(), tdb::dsBrowse);
  }

  void editOpensTheDialogOfTheReceiptsKind() {
    Program& p = Start({{12, "Иванов И.И."}, {13, "Петров", 5, false, true}});
    p.dialogs->payer = "Иванов И.";
    p.main()->actEdit->trigger();
    p.table().Next();
    p.main()->actEdit->trigger();
    QCOMPARE(p.dialogs->shown.size(), size_t(2));
    QCOMPARE(p.dialogs->shown[0].caption, QStringLiteral("Квитанция №12 (Иванов И.И.)"));
    QCOMPARE(p.dialogs->shown[0].form, ReceiptForm::Pd4);
    QCOMPARE(p.dialogs->shown[0].state, tdb::dsEdit);
    QVERIFY(!p.dialogs->shown[0].focusNumber);
    QCOMPARE(p.dialogs->shown[1].caption, QStringLiteral("Квитанция №13 (Петров)"));
    QCOMPARE(p.dialogs->shown[1].form, ReceiptForm::Tax);
    QCOMPARE(PayersOf(p.table()), (QStringList{"Иванов И.", "Иванов И."}));
    QCOMPARE(p.table().State(), tdb::dsBrowse);
  }

  // Edit is refused on a marked receipt; Copy is not, and the copy is
  // unmarked, numbered after the last, with a fresh date and the same form:
  // its name and the tax fields come along, the document index (one
  // accrual's own) does not.
  void markedReceiptRefusesEditButCopies() {
    Program& p = Start({{1, "Марков", 250.5, true, true, "ИФНС № 5", "Форма № ПД-(налог)"}});
    tdb::TDataSet& t = p.table();
    t.Edit();
    t.FieldByName("okato").SetAsString("45286560");
    t.FieldByName("srok").SetAsString(tdb::Utf8ToCp1251("МС.03.2024"));
    t.FieldByName("tipplat").SetAsString(tdb::Utf8ToCp1251("НС"));
    t.FieldByName("osnovanie").SetAsString(tdb::Utf8ToCp1251("ТП"));
    t.FieldByName("status").SetAsString("13");
    t.FieldByName("kodklass").SetAsString("18210604012021000110");
    t.FieldByName("indexdoc").SetAsString("18209965224567890124");
    t.FieldByName("nomerPlat").SetAsInteger(7);
    t.FieldByName("DatePlat").SetAsDateTime(40000);
    t.Post();

    p.main()->actEdit->trigger();
    QCOMPARE(p.prompts.messages, QStringList{"Нельзя изменить запись, помеченную на удаление!"});
    QVERIFY(p.dialogs->shown.empty());
    QCOMPARE(t.State(), tdb::dsBrowse);

    p.dialogs->answer = [](tdb::TDataSet& t) {
      // What the dialog sees before it stores anything.
      QCOMPARE(t.FieldByName("nomer").AsInteger(), 2);
      QCOMPARE(t.FieldByName("okato").AsString(), std::string("45286560"));
      QCOMPARE(t.FieldByName("srok").AsString(), tdb::Utf8ToCp1251("МС.03.2024"));
      QCOMPARE(t.FieldByName("tipplat").AsString(), tdb::Utf8ToCp1251("НС"));
      QCOMPARE(t.FieldByName("osnovanie").AsString(), tdb::Utf8ToCp1251("ТП"));
      QCOMPARE(t.FieldByName("status").AsString(), std::string("13"));
      QCOMPARE(t.FieldByName("kodklass").AsString(), std::string("18210604012021000110"));
      QCOMPARE(t.FieldByName("indexdoc").AsString(), std::string());
      QCOMPARE(t.FieldByName("nomerPlat").AsInteger(), 7);
      QCOMPARE(Qs(t.FieldByName("document").AsString()), QStringLiteral("Форма № ПД-(налог)"));
      QCOMPARE(static_cast<int>(t.FieldByName("DatePlat").AsDateTime()),
               static_cast<int>(QDate(1899, 12, 30).daysTo(QDate::currentDate())));
      t.Post();
    };
    p.main()->actCopy->trigger();
    QCOMPARE(p.dialogs->shown.size(), size_t(1));
    QCOMPARE(p.dialogs->shown[0].form, ReceiptForm::Tax);
    QCOMPARE(p.dialogs->shown[0].caption, QStringLiteral("Квитанция №2 (Марков)"));
    QVERIFY(!p.dialogs->shown[0].focusNumber);
    const std::vector<Receipt> all = ReceiptsOf(t);
    QCOMPARE(all.size(), size_t(2));
    QCOMPARE(all[1].nomer, 2);
    QVERIFY(!all[1].marked);
    QVERIFY(all[1].tax);
    QCOMPARE(all[1].summa, 250.5);
    QCOMPARE(all[1].poluchat, QStringLiteral("ИФНС № 5"));
  }

  void markAsksFirst() {
    Program& p = Start(Numbered({"А", "Б"}));
    p.table().Last();
    p.prompts.answerYes = false;
    p.main()->actDelete->trigger();
    QCOMPARE(MarksOf(p.table()), (QList<bool>{false, false}));
    p.prompts.answerYes = true;
    p.main()->actDelete->trigger();
    QCOMPARE(MarksOf(p.table()), (QList<bool>{false, true}));
    // On a marked receipt Delete offers to take the mark off; "Нет" keeps it.
    p.prompts.answerYes = false;
    p.main()->actDelete->trigger();
    QCOMPARE(MarksOf(p.table()), (QList<bool>{false, true}));
    p.prompts.answerYes = true;
    p.main()->actDelete->trigger();
    QCOMPARE(p.prompts.questions, (QStringList{kAsk, kAsk, kUnmark, kUnmark}));
    QCOMPARE(MarksOf(p.table()), (QList<bool>{false, false}));
    // Unmarked, it can be edited again.
    p.main()->actEdit->trigger();
    QCOMPARE(p.dialogs->shown.size(), size_t(1));
  }

  // The popup's item names what Delete will do on the row it is opened on.
  void popupOffersToUnmarkAMarkedRow() {
    Program& p = Start({{1, "А", 1, true}, {2, "Б", 2}});
    reg::RegisterWindow& m = *p.main();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    QStringList texts;
    for (int row : {0, 1}) {
      p.table().SetRecNo(row + 1);
      QTimer::singleShot(0, m.popupMenu, [&] {
        texts << m.pmMark->text();
        m.popupMenu->close();
      });
      m.popupMenu->exec(m.mapToGlobal(QPoint(10, 10)));
    }
    QCOMPARE(texts, (QStringList{"Снять пометку", "Пометить на удаление"}));
  }

  // Enter on a receipt opens it, as Shift+Enter does, whether the row was
  // reached by the keys or by a click.
  void enterOpensTheCurrentReceipt() {
    Program& p = Start(Numbered({"А", "Б"}));
    reg::RegisterWindow& m = *p.main();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    m.activateWindow();
    m.grid->setFocus();
    QTRY_VERIFY(m.grid->hasFocus());
    p.dialogs->store = false;
    QTest::keyClick(m.grid, Qt::Key_Down);
    QTest::keyClick(m.grid, Qt::Key_Return);
    QTest::keyClick(m.grid, Qt::Key_Up);
    QTest::keyClick(m.grid, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(p.dialogs->shown.size(), size_t(2));
    QCOMPARE(p.dialogs->shown[0].caption, QStringLiteral("Квитанция №2 (Б)"));
    QCOMPARE(p.dialogs->shown[1].caption, QStringLiteral("Квитанция №1 (А)"));
    QCOMPARE(p.dialogs->shown[1].state, tdb::dsEdit);
  }

  void purge_data() {
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QList<bool>>("marks");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<QStringList>("payersAfter");  // in the order shown
    QTest::addColumn<QList<int>>("numbersAfter");
    QTest::addColumn<QString>("said");  // the order named, removed, renumbered
    // Payers "p1".. in file order; amounts descend, so "Сумма" reverses.
    QTest::newRow("1, 2, 3 with 2 marked") << QList<int>{1, 2, 3} << QList<bool>{false, true, false} << 0
                                           << QStringList{"p1", "p3"} << QList<int>{1, 2} << "по номеру 1 1";
    QTest::newRow("sorted by Сумма") << QList<int>{1, 2, 3, 4} << QList<bool>{false, false, true, false} << 4
                                     << QStringList{"p4", "p2", "p1"} << QList<int>{1, 2, 3} << "по сумме 1 2";
    QTest::newRow("nothing marked, gaps") << QList<int>{5, 9, 7} << QList<bool>{false, false, false} << 0
                                          << QStringList{"p1", "p3", "p2"} << QList<int>{1, 2, 3}
                                          << "по номеру 0 3";
    // Numbers a user typed twice: renumbering by number moves receipts
    // while it walks them, and each must still get its own number.
    // ("*": the order shown before, whatever it is among equal numbers.)
    QTest::newRow("equal numbers") << QList<int>{1, 1, 1, 0} << QList<bool>{false, false, false, false} << 0
                                   << QStringList{"*"} << QList<int>{1, 2, 3, 4} << "по номеру 0 4";
    QTest::newRow("all marked") << QList<int>{1, 2} << QList<bool>{true, true} << 0 << QStringList{}
                                << QList<int>{} << "по номеру 2 0";
  }
  void purge() {
    QFETCH(QList<int>, numbers);
    QFETCH(QList<bool>, marks);
    QFETCH(int, sortColumn);
    QFETCH(QStringList, payersAfter);
    QFETCH(QList<int>, numbersAfter);
    QFETCH(QString, said);
    const QStringList saidParts = said.split(' ');
    const QString order = saidParts[0] + ' ' + saidParts[1];
    std::vector<Receipt> receipts;
    for (int i = 0; i < numbers.size(); ++i) {
      receipts.push_back({numbers[i], QStringLiteral("p%1").arg(i + 1), 1000.0 - i, marks[i]});
    }
    Program& p = Start(receipts);
    // A click on the title already sorted would turn the order round.
    if (sortColumn != p.main()->Register().SortColumn()) p.main()->TitleClick(sortColumn);
    if (payersAfter == QStringList{"*"}) payersAfter = PayersOf(p.table());
    p.main()->actPurge->trigger();
    QCOMPARE(p.prompts.questions, (QStringList{PurgeQuestion(order), kPurge2}));
    QCOMPARE(p.main()->statusBar()->currentMessage(),
             QStringLiteral("Удалено квитанций: %1, перенумеровано: %2 (%3).").arg(saidParts[2], saidParts[3], order));
    QCOMPARE(PayersOf(p.table()), payersAfter);
    QCOMPARE(NumbersOf(p.table()), numbersAfter);
    QCOMPARE(p.table().IndexName(), std::string(reg::RegisterColumns()[size_t(sortColumn)].index));
    QVERIFY(!p.table().Filtered());
    QVERIFY(p.table().Filter().empty());
    QCOMPARE(p.table().State(), tdb::dsBrowse);
    // The last receipt is current.
    QCOMPARE(p.table().RecNo(), p.table().RecordCount());
    QVERIFY(p.main()->purgePanel->isHidden());
    // What another program sees.
    OtherProcess other;
    QCOMPARE(NumbersOf(*other.Open(reg::RegisterColumns()[size_t(sortColumn)].index)), numbersAfter);
  }

  void purgeNeedsYesTwice_data() {
    QTest::addColumn<QList<bool>>("answers");
    QTest::newRow("No first") << QList<bool>{false};
    QTest::newRow("Yes, then No") << QList<bool>{true, false};
  }
  void purgeNeedsYesTwice() {
    QFETCH(QList<bool>, answers);
    Program& p = Start({{4, "А", 1, true}, {9, "Б"}});
    p.prompts.answers = answers;
    p.main()->actPurge->trigger();
    QCOMPARE(p.prompts.questions, (QStringList{PurgeQuestion(QStringLiteral("по номеру")), kPurge2}.mid(0, answers.size())));
    QVERIFY(p.main()->statusBar()->currentMessage().isEmpty());
    QCOMPARE(NumbersOf(p.table()), (QList<int>{4, 9}));
    QCOMPARE(MarksOf(p.table()), (QList<bool>{true, false}));
  }

  // The waiting panel shows progress painted while the purge runs, and the
  // event loop does not run in between: nothing queued gets through.
  void purgeShowsProgressWithoutRunningTheEventLoop() {
    SKIP_ON_SERVER("a server purges in one statement: there are no steps to show");
    std::vector<Receipt> receipts;
    for (int i = 0; i < 400; ++i) receipts.push_back({i + 1, QStringLiteral("p%1").arg(i), 1, i % 4 == 0});
    Program& p = Start(receipts);
    reg::RegisterWindow& m = *p.main();
    PaintWatch watch(m.purgeProgress);
    bool panelShown = false;
    // A click that arrives while the purge runs must wait for its end.
    QTimer::singleShot(0, &m, [&] { watch.loopRan = true; });
    connect(m.purgeProgress, &QProgressBar::valueChanged, &m,
            [&] { panelShown = panelShown || m.purgePanel->isVisible(); });
    m.actPurge->trigger();
    QVERIFY(panelShown);
    QVERIFY(!watch.paintedAfterLoop);
    QVERIFY(!watch.loopRan);
    QVERIFY(m.purgePanel->isHidden());
    // Painted at the start, part-way and at the end.
    QVERIFY2(watch.values.size() >= 10, qPrintable(QString::number(watch.values.size())));
    QCOMPARE(watch.values.first(), 0);
    QCOMPARE(watch.values.last(), 400);
    QVERIFY(std::any_of(watch.values.begin(), watch.values.end(), [](int v) { return v > 100 && v < 300; }));
    QCOMPARE(p.table().RecordCount(), 300);
    QTRY_VERIFY(watch.loopRan);
  }

  // A failure half-way through a command ends it with the engine's message
  // and leaves the whole table readable in browse state.
  void failureHalfWayLeavesTheTableReadable_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("purge, deleting") << "delete";
    QTest::newRow("purge, renumbering") << "renumber";
    QTest::newRow("mark") << "mark";
    QTest::newRow("dialog") << "dialog";
  }
  void failureHalfWayLeavesTheTableReadable() {
    QFETCH(QString, command);
    if (command == "delete" || command == "renumber")
      SKIP_ON_SERVER("a server purges in one transaction, without the dataset's steps (see server_table_test)");
    Program& p = Start({{3, "А", 1, true}, {5, "Б", 2, true}, {7, "В"}, {9, "Г"}});
    tdb::TDataSet& t = p.table();
    p.main()->TitleClick(3);
    int calls = 0;
    auto failSecond = [&calls](tdb::TDataSet&) {
      if (++calls == 2) throw tdb::EDatabaseError(tdb::ekDiskFull, "Disk full", tdb::FileParams("formix.tdb"));
    };
    if (command == "delete") t.BeforeDelete = failSecond;
    if (command == "renumber" || command == "mark") t.BeforePost = failSecond;
    if (command == "dialog") p.dialogs->answer = [](tdb::TDataSet&) { throw tdb::EDatabaseError(tdb::ekDiskFull, "Disk full", tdb::FileParams("formix.tdb")); };

    if (command == "mark") {
      calls = 1;
      p.main()->actDelete->trigger();
    } else if (command == "dialog") {
      p.main()->actCopy->trigger();
    } else {
      p.main()->actPurge->trigger();
    }
    QCOMPARE(p.prompts.errors.size(), 1);
    QVERIFY2(p.prompts.errors[0].startsWith("На диске не осталось места"), qPrintable(p.prompts.errors[0]));
    QCOMPARE(t.State(), tdb::dsBrowse);
    QVERIFY(!t.Filtered());
    QCOMPARE(t.IndexName(), std::string("iplatel"));
    QVERIFY(p.main()->purgePanel->isHidden());
    t.BeforeDelete = nullptr;
    t.BeforePost = nullptr;
    // Every receipt the failure left is there to read.
    const int expected = command == "delete" ? 3 : command == "renumber" ? 2 : 4;
    QCOMPARE(t.RecordCount(), expected);
    QCOMPARE(int(ReceiptsOf(t).size()), expected);
  }

  void titleClicksSort() {
    Program& p = Start({{1, "Сидоров", 30}, {2, "Андреев", 10}, {3, "Петров", 20}});
    reg::RegisterWindow& m = *p.main();
    p.table().Last();
    m.TitleClick(3);  // "Плательщик"
    QCOMPARE(m.Register().SortColumn(), 3);
    QCOMPARE(PayersOf(p.table()), (QStringList{"Андреев", "Петров", "Сидоров"}));
    // The receipt that was current (Петров) stays current in the new order.
    QCOMPARE(p.table().RecNo(), 2);
    QCOMPARE(Qs(p.table().FieldByName("Platel").AsString()), QStringLiteral("Петров"));
    m.TitleClick(4);  // "Сумма"
    QCOMPARE(p.table().RecNo(), 2);
    QCOMPARE(Qs(p.table().FieldByName("Platel").AsString()), QStringLiteral("Петров"));
    m.TitleClick(3);
    p.table().Last();
    for (int column : {2, 6}) {  // "Документ", "Назначение платежа"
      m.TitleClick(column);
      QCOMPARE(m.Register().SortColumn(), 3);
      QCOMPARE(p.table().IndexName(), std::string("iplatel"));
      QCOMPARE(p.table().RecNo(), 3);
    }
    m.TitleClick(4);  // "Сумма"
    QCOMPARE(NumbersOf(p.table()), (QList<int>{2, 3, 1}));
  }

  // While the grid has the focus the popup's keys win: Delete marks through
  // the popup's item, Shift+Enter edits through it; the main menu's actions
  // with the same keys do not run as well.
  void popupShortcutsWinWhileTheGridHasTheFocus() {
    Program& p = Start(Numbered({"А"}));
    reg::RegisterWindow& m = *p.main();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    m.activateWindow();
    m.grid->setFocus();
    QTRY_VERIFY(m.grid->hasFocus());
    QSignalSpy mainDelete(m.actDelete, &QAction::triggered), popupMark(m.pmMark, &QAction::triggered);
    QSignalSpy mainEdit(m.actEdit, &QAction::triggered), popupEdit(m.pmEdit, &QAction::triggered);
    QSignalSpy popupCopy(m.pmCopy, &QAction::triggered);
    p.prompts.answerYes = false;  // not marked, so Edit is not refused
    QTest::keyClick(m.grid, Qt::Key_Delete);
    QTest::keyClick(m.grid, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClick(m.grid, Qt::Key_F9);
    QCOMPARE(popupMark.count(), 1);
    QCOMPARE(mainDelete.count(), 0);
    QCOMPARE(popupEdit.count(), 1);
    QCOMPARE(mainEdit.count(), 0);
    QCOMPARE(popupCopy.count(), 1);
    QCOMPARE(p.prompts.questions, QStringList{kAsk});
    QCOMPARE(p.dialogs->shown.size(), size_t(2));
  }

  void gridColumnsAndTitleClicks() {
    Program& p = Start({{1, "Сидоров", 30}, {2, "Андреев", 10}, {3, "Петров", 20}});
    widgets::DataGrid& grid = *p.main()->grid;
    QVERIFY(QTest::qWaitForWindowExposed(p.main()));
    QStringList titles;
    for (int c = 0; c < grid.model()->columnCount(); ++c) {
      titles << grid.model()->headerData(c, Qt::Horizontal).toString();
    }
    QCOMPARE(titles, (QStringList{"Номер", "Дата", "Документ", "Плательщик", "Сумма", "Получатель",
                                  "Назначение платежа"}));
    const int widths[] = {0, 71, 119, 164, 84, 255, 482};
    // The designed widths, or wider where the desktop's font needs it for a
    // title or a date.
    const QFontMetrics metrics(grid.font());
    // On a screen too narrow for them all the last column gives way.
    const bool narrow = p.main()->width() == p.main()->screen()->availableGeometry().width();
    for (int c = 1; c < 7; ++c) {
      if (!(c == 6 && narrow)) QVERIFY(grid.columnWidth(c) >= widths[c]);
      // The last column takes the free width.
      if (c != 1 && c != 6) QVERIFY(grid.columnWidth(c) <= qMax(widths[c], metrics.horizontalAdvance(titles[c]) + 40));
    }
    QVERIFY(grid.columnWidth(1) > metrics.horizontalAdvance("00.00.0000"));
    QCOMPARE(grid.sortMarker(), 0);
    QCOMPARE(grid.editTriggers(), QAbstractItemView::NoEditTriggers);

    ClickTitle(grid, 3);  // "Плательщик"
    QCOMPARE(grid.sortMarker(), 3);
    QCOMPARE(PayersOf(p.table()), (QStringList{"Андреев", "Петров", "Сидоров"}));
    QCOMPARE(grid.model()->index(0, 3).data().toString(), QStringLiteral("Андреев"));
    QCOMPARE(grid.currentIndex().row(), 2);  // Сидоров, current before, still is
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    ClickTitle(grid, 2);  // "Документ"
    QCOMPARE(grid.sortMarker(), 3);
    QCOMPARE(p.table().IndexName(), std::string("iplatel"));
    QCOMPARE(p.table().RecNo(), 3);
  }

  // The first size shows every column whole; a wider window gives the free
  // width to the last column.
  void firstSizeShowsEveryColumnAndTheLastTakesTheRest() {
    Program& p = Start(Numbered({"А"}));
    reg::RegisterWindow& m = *p.main();
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    widgets::DataGrid& grid = *m.grid;
    QHeaderView* header = grid.horizontalHeader();
    const int last = grid.model()->columnCount() - 1;
    // Every column at its width, unless the screen is narrower than that.
    int needed = reg::RegisterColumns()[size_t(last)].width;
    for (int c = 0; c < last; ++c) needed += header->sectionSize(c);
    const int screenWidth = m.screen()->availableGeometry().width();
    QVERIFY2(grid.viewport()->width() >= needed || m.width() == screenWidth,
             qPrintable(QStringLiteral("%1 < %2").arg(grid.viewport()->width()).arg(needed)));
    QVERIFY(m.width() > 696);
    QCOMPARE(m.height(), 480);
    m.resize(m.width() - grid.viewport()->width() + needed + 300, m.height());
    QTRY_COMPARE(header->sectionViewportPosition(last) + header->sectionSize(last), grid.viewport()->width());
  }

  // A marked receipt's cells are drawn again in grey italics on white, also
  // when its row is the selected one; other rows are drawn as usual.
  void markedRowsAreGreyItalics() {
    Program& p = Start({{1, "Первый", 10}, {2, "Второй помеченный", 20, true}, {3, "Третий", 30}});
    widgets::DataGrid& grid = *p.main()->grid;
    QVERIFY(QTest::qWaitForWindowExposed(p.main()));
    p.table().SetRecNo(2);
    QTRY_COMPARE(grid.currentIndex().row(), 1);
    const QImage image = grid.viewport()->grab().toImage();
    auto inspect = [&](int row, int column, int* grey, int* dark, int* highlight) {
      const QRect cell = grid.visualRect(grid.model()->index(row, column)).adjusted(1, 1, -1, -1);
      const QColor selected = grid.palette().color(QPalette::Active, QPalette::Highlight);
      const QColor unfocused = grid.palette().color(QPalette::Inactive, QPalette::Highlight);
      *grey = *dark = *highlight = 0;
      for (int y = cell.top(); y <= cell.bottom(); ++y) {
        for (int x = cell.left(); x <= cell.right(); ++x) {
          const QColor c = image.pixelColor(x, y);
          if (c == selected || c == unfocused) ++*highlight;
          if (c.red() == c.green() && c.green() == c.blue() && c.red() >= 190 && c.red() <= 215) ++*grey;
          if (c.lightness() < 100) ++*dark;
        }
      }
    };
    int grey, dark, highlight;
    inspect(1, 3, &grey, &dark, &highlight);
    QVERIFY2(grey > 10 && dark == 0 && highlight == 0,
             qPrintable(QStringLiteral("grey %1 dark %2 highlight %3").arg(grey).arg(dark).arg(highlight)));
    inspect(0, 3, &grey, &dark, &highlight);
    QVERIFY(dark > 10);
  }

  // Values a receipt may hold though no dialog would store them show
  // without an error.
  void unusualStoredValuesShow() {
    const QString longest(100, QChar(0x0416));  // "Ж" x 100, the field's size
    Program& p = Start({{0, "", 0}, {-3, longest, -5.5}});
    tdb::TDataSet& t = p.table();
    t.First();  // -3 comes first
    t.Edit();
    t.FieldByName("DatePlat").SetAsDateTime(0);  // 30.12.1899
    t.FieldByName("NaznPlat").SetAsString(std::string(210, '\xC6'));
    t.Post();
    widgets::DataGrid& grid = *p.main()->grid;
    QVERIFY(QTest::qWaitForWindowExposed(p.main()));
    grid.viewport()->grab();
    QVERIFY(p.prompts.errors.isEmpty());
    const int row = 0;
    auto text = [&](int r, int c) { return grid.model()->index(r, c).data().toString(); };
    QCOMPARE(text(row, 3), longest);
    QVERIFY(text(row, 1).contains("1899"));
    QVERIFY(text(row, 4).contains("5"));
    QVERIFY(text(row, 4).contains("-") || text(row, 4).contains(QChar(0x2212)));
    QCOMPARE(text(row, 6).size(), 210);
    QCOMPARE(text(1, 3), QString());
    QCOMPARE(text(1, 0), QStringLiteral("0"));
  }

  void ctrlDeleteDeletesForGood() {
    Program& p = Start(Numbered({"А", "Б", "В"}));
    reg::RegisterWindow& m = *p.main();
    widgets::DataGrid& grid = *m.grid;
    QVERIFY(QTest::qWaitForWindowExposed(&m));
    p.table().SetRecNo(2);
    grid.setFocus();
    p.prompts.answerYes = false;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(PayersOf(p.table()), (QStringList{"А", "Б", "В"}));
    p.prompts.answerYes = true;
    QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(p.prompts.questions, (QStringList{"Удалить запись?", "Удалить запись?"}));
    // Gone without a mark and without renumbering; "Пометить на удаление"
    // (Delete) did not run.
    QCOMPARE(NumbersOf(p.table()), (QList<int>{1, 3}));
    QCOMPARE(MarksOf(p.table()), (QList<bool>{false, false}));
    // Deleting the last one disables the commands at once.
    for (int i = 0; i < 2; ++i) QTest::keyClick(&grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(p.table().RecordCount(), 0);
    QVERIFY(!m.actEdit->isEnabled());
  }

  void doubleClickEdits() {
    Program& p = Start(Numbered({"А", "Б"}));
    widgets::DataGrid& grid = *p.main()->grid;
    QVERIFY(QTest::qWaitForWindowExposed(p.main()));
    p.dialogs->store = false;
    const QPoint at = CellCentre(grid, 1, 3);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(p.dialogs->shown.size(), size_t(1));
    QCOMPARE(p.dialogs->shown[0].caption, QStringLiteral("Квитанция №2 (Б)"));
    QCOMPARE(p.dialogs->shown[0].state, tdb::dsEdit);
  }

  // "Печать" and "Сохранить в PDF…" hand the printer the register's
  // dataset on the current receipt (the one selected), from the menu and
  // from the popup alike.
  void printingGoesThroughThePrinter() {
    Program& p = Start(Numbered({"А", "Б"}));
    reg::RegisterWindow& m = *p.main();
    struct Printer : reg::ReceiptPrinter {
      QStringList calls;
      void Print(tdb::TDataSet& t) override { calls << "print " + Qs(t.FieldByName("Platel").AsString()); }
      void SaveAsPdf(tdb::TDataSet& t, const SelectedReceipts& selected) override {
        selected([&] { calls << "pdf " + Qs(t.FieldByName("Platel").AsString()); });
      }
    } printer;
    m.SetReceiptPrinter(&printer);
    p.table().Last();
    for (QAction* a : {m.actPrint, m.pmPrint, m.actPdf, m.pmPdf}) a->trigger();
    QCOMPARE(printer.calls, (QStringList{"print Б", "print Б", "pdf Б", "pdf Б"}));
    m.SetReceiptPrinter(nullptr);
    m.actPrint->trigger();
    QCOMPARE(printer.calls.size(), 4);
  }

  void receiptsOfAnotherProcessShowOnActivation() {
    Program& p = Start(Numbered({"А", "Б"}));
    reg::RegisterWindow& m = *p.main();
    p.table().Last();
    OtherProcess().Append({{3, "В"}});
    QCOMPARE(p.table().RecordCount(), 2);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&m, &activate);
    QCOMPARE(PayersOf(p.table()), (QStringList{"А", "Б", "В"}));
    // The receipt that was current stays current.
    QCOMPARE(Qs(p.table().FieldByName("Platel").AsString()), QStringLiteral("Б"));
    QVERIFY(p.prompts.errors.isEmpty());
  }
};

QTEST_MAIN(RegisterTest)
#include "register_test.moc"
