// "Печать" and "Сохранить в PDF…" in the register: the current receipt goes
// to its form through the real chooser, and nothing in the table changes.
#include <QAction>
#include <QTest>

#include "../printing/recording_spreadsheet.h"
#include "register/print_commands.h"
#include "register_fixture.h"

class PrintCommandsTest : public QObject {
  Q_OBJECT

  struct Run {
    DataFolder data;
    std::unique_ptr<Program> program;
    std::unique_ptr<reg::PrintCommands> printer;
    printing::CallLog log;

    explicit Run(const std::vector<Receipt>& receipts) {
      data.CreateReceipts();
      OtherProcess().Append(receipts);
      program = std::make_unique<Program>(QStringLiteral("/opt/formix/"));
      printer = std::make_unique<reg::PrintCommands>(QStringLiteral("/opt/formix/"), program->forms->registerWindow->Chooser(),
                                                     program->prompts, program->main());
      printer->start = printing::RecordingStarter(log);
      program->main()->SetReceiptPrinter(printer.get());
      program->Start();
    }
    ~Run() { program->main()->SetReceiptPrinter(nullptr); }
    QString Opened() const {
      const QStringList open = log.calls.filter("Open ");
      return open.isEmpty() ? QString() : open.first().mid(5);
    }
  };

 private slots:
  void pd4ReceiptPrintsItsFormAndChangesNothing() {
    Run run({{1, "Иванов И. И.", 1234.05}, {2, "Петров П. П.", 0.99, /*marked=*/true}});
    tdb::TDadaTable& t = run.program->table();
    t.Last();  // the marked receipt prints like any other
    const auto before = ReceiptsOf(t);
    run.program->main()->actPrint->trigger();
    QCOMPARE(run.Opened(), QStringLiteral("/opt/formix/f4pd.xlsx"));
    QVERIFY(run.log.calls.contains("Cells(8,1)='Петров П. П.'"));
    QVERIFY(run.log.calls.contains("Cells(13,7)='0'"));
    QVERIFY(run.log.calls.contains("Cells(13,10)='99'"));
    QVERIFY(run.program->prompts.modalTitles.isEmpty());  // no chooser for PD-4
    QVERIFY(run.program->prompts.errors.isEmpty());
    QCOMPARE(t.State(), tdb::dsBrowse);
    QCOMPARE(t.RecNo(), 2);
    QCOMPARE(ReceiptsOf(t).size(), before.size());
    QCOMPARE(PayersOf(t), (QStringList{"Иванов И. И.", "Петров П. П."}));
  }

  void taxReceiptAsksForTheForm_data() {
    QTest::addColumn<int>("how");  // 0 close box, 1 "Ok" untouched, 2 row 1 by "Ok", 3 double-click on row 1
    QTest::addColumn<QString>("opened");
    QTest::newRow("cancelled") << 0 << QString();
    QTest::newRow("taken untouched") << 1 << "/opt/formix/f4pdnal.xlsx";
    QTest::newRow("new form") << 2 << "/opt/formix/pdnal.xlsx";
    QTest::newRow("double-click") << 3 << "/opt/formix/pdnal.xlsx";
  }
  void taxReceiptAsksForTheForm() {
    QFETCH(int, how);
    QFETCH(QString, opened);
    Run run({{1, "Сидоров", 1500.50, false, /*tax=*/true}});
    ScriptedPrompts& prompts = run.program->prompts;
    QStringList items;
    if (how == 1) {
      prompts.Then([&](QDialog& d) {
        auto& c = static_cast<reg::FormChooser&>(d);
        for (int i = 0; i < c.formList->count(); ++i) items << c.formList->item(i)->text();
        QTest::mouseClick(c.okButton, Qt::LeftButton);
      });
    }
    if (how >= 2) prompts.Then(Choose(1, how == 3));
    run.program->main()->actPrint->trigger();
    QCOMPARE(prompts.modalTitles, QStringList{"Выбор вида документа"});
    QCOMPARE(run.Opened(), opened);
    if (how == 0) QVERIFY(run.log.calls.isEmpty());  // nothing started
    if (how == 1) {
      QCOMPARE(items, (QStringList{"Форма ПД - 4 сб (налог)", "Форма ПД - налог (новая)"}));
      QVERIFY(run.log.calls.contains("Cells(16,33)=CY 15005000"));
    }
    QVERIFY(prompts.errors.isEmpty());
  }

  void failureReachesTheErrorHandlerAndLeavesTheReceipt() {
    Run run({{1, "Иванов", 10}});
    run.log.failAt = "Open";
    run.program->main()->actPrint->trigger();
    QCOMPARE(run.program->prompts.errors.size(), 1);
    QVERIFY(run.program->prompts.errors[0].contains("Open /opt/formix/f4pd.xlsx"));
    QCOMPARE(run.log.calls.last(), QStringLiteral("Release application"));
    QCOMPARE(run.program->table().State(), tdb::dsBrowse);
    QCOMPARE(PayersOf(run.program->table()), QStringList{"Иванов"});
  }

  void pdfSuggestsTheReceiptsNumberAndACancelDoesNothing() {
    Run run({{7, "Иванов", 10}});
    QStringList suggested;
    run.printer->askPdfPath = [&](const QString& s) {
      suggested << s;
      return QString();
    };
    run.printer->renderer.soffice = run.data.Path("never-started");
    run.program->main()->actPdf->trigger();
    QCOMPARE(suggested, QStringList{"Квитанция 7.pdf"});
    QVERIFY(run.program->prompts.errors.isEmpty());
  }
};

QTEST_MAIN(PrintCommandsTest)
#include "print_commands_test.moc"
