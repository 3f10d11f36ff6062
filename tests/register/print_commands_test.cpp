// "Печать", "Предварительный просмотр" and "Сохранить в PDF…" in the
// register: the current receipt goes to its form through the real chooser,
// the amount setting reaches the form, a file is replaced only after a
// question, and nothing in the table changes.
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include "../printing/recording_spreadsheet.h"
#include "register/print_commands.h"
#include "widgets/data_grid.h"
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
    // A printer on the real templates, made next to the program, for the
    // commands that fill a form to render it.
    void UseTemplates() {
      program->main()->SetReceiptPrinter(nullptr);
      printer = std::make_unique<reg::PrintCommands>(QStringLiteral(QT_TESTCASE_BUILDDIR "/../"),
                                                     program->forms->registerWindow->Chooser(), program->prompts,
                                                     program->main());
      program->main()->SetReceiptPrinter(printer.get());
    }
    QString Opened() const {
      const QStringList open = log.calls.filter("Open ");
      return open.isEmpty() ? QString() : open.first().mid(5);
    }
  };

 private slots:
  void pd4ReceiptPrintsItsFormAndChangesNothing() {
    Run run({{1, "Иванов И. И.", 1234.05}, {2, "Петров П. П.", 0.99, /*marked=*/true}});
    tdb::TDataSet& t = run.program->table();
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
    run.UseTemplates();
    QStringList suggested;
    run.printer->renderer.soffice = run.data.Path("never-started");
    printing::PrintPreview& preview = run.printer->PreviewWindow();
    preview.askSavePath = [&](const QString& s) {
      suggested << s;
      return QString();
    };
    run.program->main()->actPdf->trigger();
    QCOMPARE(suggested.size(), 1);
    QVERIFY2(suggested[0].endsWith("/Квитанция 7.pdf"), qPrintable(suggested[0]));
    QVERIFY(!preview.rendering());
    QVERIFY(!preview.isVisible());
    QVERIFY(run.program->prompts.errors.isEmpty());
  }

  void amountSettingReachesTheForm() {
    Run run({{1, "Иванов", 1234.05}});
    run.printer->options = [] { return printing::PrintOptions{false}; };
    run.program->main()->actPrint->trigger();
    for (const char* cell : {"Cells(13,7)=''", "Cells(13,10)=''", "Cells(15,7)=''", "Cells(15,10)=''"})
      QVERIFY2(run.log.calls.contains(cell), cell);
  }

  void pdfAddsTheExtensionAndAsksBeforeReplacing() {
    Run run({{5, "Иванов", 10}});
    const QString existing = run.data.Path("Квитанция 5.pdf");
    QFile old(existing);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    run.UseTemplates();
    run.printer->renderer.soffice = run.data.Path("never-started");
    printing::PrintPreview& preview = run.printer->PreviewWindow();
    preview.askSavePath = [&](const QString&) { return run.data.Path("Квитанция 5"); };
    QStringList asked, told;
    preview.confirmReplace = [&](const QString& path) {
      asked << path;
      return false;
    };
    preview.inform = [&](const QString& text) { told << text; };
    preview.warn = [&](const QString& text) { told << text; };
    run.program->main()->actPdf->trigger();
    QCOMPARE(asked, QStringList{existing});
    QVERIFY(!preview.rendering());  // LibreOffice never asked
    QVERIFY(run.program->prompts.errors.isEmpty());
    QVERIFY(told.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old"));
  }

  // Several receipts selected in the register go into one PDF, one form a
  // page.  The file is asked for first; the register is free while the forms
  // are made (the window shows its busy bar), and the clerk is told where the
  // file went.  A stand-in for LibreOffice takes its time over each form.
  void severalSelectedReceiptsSavedAsOnePdfWithoutHoldingTheWindow() {
    Run run({{1, "Иванов", 10}, {2, "Петров", 20}, {3, "Сидоров", 30}});
    const QString page = run.data.Path("page.pdf");
    {
      QPdfWriter writer(page);
      QPainter painter(&writer);
      painter.drawText(100, 100, "form");
    }
    const QString soffice = run.data.Path("soffice");
    {
      QFile script(soffice);
      QVERIFY(script.open(QIODevice::WriteOnly));
      script.write("#!/bin/sh\n"
                   "case \"$*\" in *--convert-to*) ;; *) exit 1 ;; esac\n"
                   "sleep 0.3\n"
                   "while [ \"$1\" != --outdir ]; do shift; done\n"
                   "out=$2; shift 2\n"
                   "for f in \"$@\"; do b=$(basename \"$f\" .xlsx); cp '" + page.toUtf8() + "' \"$out/$b.pdf\"; done\n");
      script.close();
      QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    reg::PrintCommands printer(QStringLiteral(QT_TESTCASE_BUILDDIR "/../"), run.program->forms->registerWindow->Chooser(),
                               run.program->prompts, run.program->main());
    printer.renderer.soffice = soffice;
    printer.renderer.profileDir = run.data.Path("profile");
    reg::RegisterWindow& w = *run.program->main();
    w.SetReceiptPrinter(&printer);
    printing::PrintPreview& preview = printer.PreviewWindow();
    const QString target = run.data.Path("Квитанции.pdf");
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QString suggested;
    QStringList asked, told, warned;
    preview.askSavePath = [&](const QString& s) {
      suggested = s;
      return run.data.Path("Квитанции");
    };
    preview.confirmReplace = [&](const QString& path) {
      asked << path;
      return true;
    };
    preview.inform = [&](const QString& text) { told << text; };
    preview.warn = [&](const QString& text) { warned << text; };

    // The first and the third receipt: Ctrl+Home, then Ctrl and a click.
    widgets::DataGrid* grid = w.grid;
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      grid->visualRect(grid->model()->index(2, 1)).center());
    QCOMPARE(grid->selectedRecordRows(), (std::vector<int>{0, 2}));
    w.actPdf->trigger();
    QVERIFY(suggested.endsWith("/Квитанции.pdf"));
    QCOMPARE(asked, QStringList{target});
    // The command has returned while the forms are being made.
    QVERIFY(preview.rendering());
    QVERIFY(preview.isVisible());
    QVERIFY(preview.progress->isVisible());
    QVERIFY(told.isEmpty());
    QCOMPARE(preview.workbooks().size(), 2);
    QSignalSpy rendered(&preview, &printing::PrintPreview::Rendered);
    QVERIFY(rendered.wait(60000));
    QCOMPARE(rendered.front().front().toString(), QString());
    QVERIFY2(warned.isEmpty(), qPrintable(warned.join('\n')));
    QCOMPARE(told.size(), 1);
    QVERIFY2(told[0].contains("Квитанции.pdf"), qPrintable(told[0]));
    QFile saved(target);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().startsWith("%PDF"));
    QCOMPARE(preview.pageCount(), 2);  // the document saved, as the window shows it
    QVERIFY(run.program->prompts.errors.isEmpty());
    QCOMPARE(run.program->table().State(), tdb::dsBrowse);
    // The selection and the current receipt are as they were.
    QCOMPARE(grid->selectedRecordRows(), (std::vector<int>{0, 2}));
    QCOMPARE(run.program->table().RecNo(), 3);
    w.SetReceiptPrinter(nullptr);
  }

  // "Печать" through the spreadsheet says which values the form cuts short
  // before it starts anything; "Нет" prints nothing.
  void printWarnsOfValuesTheFormCuts() {
    Run run({{4, QString(100, QChar(u'Ж')), 10}});
    run.program->prompts.answers = {false, true};
    run.program->main()->actPrint->trigger();
    QCOMPARE(run.program->prompts.questions.size(), 1);
    QVERIFY2(run.program->prompts.questions[0].startsWith("Квитанция 4: не помещается на бланке и будет обрезано:"),
             qPrintable(run.program->prompts.questions[0]));
    QVERIFY(run.log.calls.isEmpty());
    run.program->main()->actPrint->trigger();
    QCOMPARE(run.program->prompts.questions.size(), 2);
    QVERIFY(!run.Opened().isEmpty());
  }

  void previewShowsTheFormInAWindowOfItsOwn() {
    Run run({{3, "Иванов", 10}});
    // The preview fills a real template: the ones made next to the program.
    reg::PrintCommands printer(QStringLiteral(QT_TESTCASE_BUILDDIR "/../"), run.program->forms->registerWindow->Chooser(),
                               run.program->prompts, run.program->main());
    printer.renderer.soffice = run.data.Path("no-soffice");
    printer.renderer.profileDir = run.data.Path("profile");
    run.program->main()->SetReceiptPrinter(&printer);
    run.program->main()->actPreview->trigger();
    QVERIFY2(run.program->prompts.errors.isEmpty(), qPrintable(run.program->prompts.errors.join('\n')));
    printing::PrintPreview* preview = printer.preview();
    QVERIFY(preview);
    QVERIFY(preview->isVisible());
    QCOMPARE(preview->windowTitle(), QStringLiteral("Предварительный просмотр"));
    QSignalSpy rendered(preview, &printing::PrintPreview::Rendered);
    if (preview->rendering()) QVERIFY(rendered.wait(30000));
    // Without LibreOffice the window says so, and nothing can be printed.
    QVERIFY(preview->status->text().contains("LibreOffice"));
    QVERIFY(!preview->printButton->isEnabled());
    QVERIFY(run.program->prompts.errors.isEmpty());
    QCOMPARE(run.program->table().State(), tdb::dsBrowse);
    QVERIFY(run.program->main()->pmPreview->isEnabled());
    QCOMPARE(preview->workbooks().size(), 1);

    // Rows selected with Ctrl go into one document, one form each, in the
    // order shown; the current receipt stays where it was.
    {
      OtherProcess().Append({{4, "Петров", 20}, {5, "Сидоров", 30}});
      run.program->main()->activateWindow();
      tdb::TDataSet& t = run.program->table();
      t.Refresh();
      widgets::DataGrid* grid = run.program->main()->grid;
      QTRY_COMPARE(grid->model()->rowCount(), 3);
      t.First();
      grid->selectionModel()->select(grid->model()->index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
      grid->selectionModel()->select(grid->model()->index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
      run.program->main()->actPreview->trigger();
      QVERIFY2(run.program->prompts.errors.isEmpty(), qPrintable(run.program->prompts.errors.join('\n')));
      QCOMPARE(preview->workbooks().size(), 2);
      for (const QString& workbook : preview->workbooks()) QVERIFY(QFile::exists(workbook));
      QCOMPARE(t.RecNo(), 1);
      QCOMPARE(t.State(), tdb::dsBrowse);
    }
    run.program->main()->SetReceiptPrinter(nullptr);
  }
};

QTEST_MAIN(PrintCommandsTest)
#include "print_commands_test.moc"
