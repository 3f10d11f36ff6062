// The tax dialog's rules button: the program's own page in a window of the
// program, or a "prav.doc" of the data folder when there is one.
#include <QFile>
#include <QTest>
#include <QTextBrowser>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "engine/dataset/data_source.h"
#include "entry/receipt_dialog.h"

using namespace entry;

class RulesPageTest : public QObject {
  Q_OBJECT

 private slots:
  void rulesButton_data() {
    QTest::addColumn<bool>("page");
    QTest::addColumn<bool>("document");
    QTest::addColumn<QString>("shown");  // "window", "document" or "message"
    QTest::newRow("the program's page") << true << false << "window";
    QTest::newRow("the data folder's document first") << true << true << "document";
    QTest::newRow("a page that is gone") << false << false << "message";
  }
  void rulesButton() {
    QFETCH(bool, page);
    QFETCH(bool, document);
    QFETCH(QString, shown);
    ReceiptFiles files;
    const QString pagePath = files.Path("rules.html");
    if (page) {
      QFile f(pagePath);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QStringLiteral("<h2>Статус плательщика (поле 101)</h2>").toUtf8());
    }
    if (document) {
      QFile f(files.Path("prav.doc"));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    auto receipts = OpenTable("formix.tdb", "formix", "inomer");
    tdb::TDataSource source;
    source.SetDataSet(receipts.get());
    ScriptedPrompts prompts;
    TaxReceiptDialog dialog(prompts);
    dialog.SetSource(&source);
    dialog.SetRulesPage(pagePath);
    QStringList opened;
    dialog.SetDocumentOpener([&](const QString& path) { opened << path; });
    QString text;
    receipts->Insert();
    prompts.Then([&](QDialog& d) {
      dialog.RulesButton->click();
      d.reject();
    });
    prompts.Then([&](QDialog& w) {
      text = w.findChild<QTextBrowser*>()->toPlainText();
      w.accept();
    });
    dialog.Execute(false);
    receipts->Cancel();
    if (shown == "window") {
      QCOMPARE(prompts.modalTitles.value(1), QStringLiteral("Правила заполнения формы № ПД (налог)"));
      QVERIFY(text.contains(QStringLiteral("Статус плательщика")));
      QVERIFY(opened.isEmpty());
    } else if (shown == "document") {
      QCOMPARE(opened, QStringList{files.Path("prav.doc")});
      QCOMPARE(prompts.modalTitles.size(), 1);
    } else {
      QCOMPARE(prompts.modalTitles.size(), 1);
      QCOMPARE(prompts.messages.size(), 1);
      QVERIFY(prompts.messages[0].startsWith(QStringLiteral("Не удалось открыть страницу")));
    }
  }
};

QTEST_MAIN(RulesPageTest)
#include "rules_page_test.moc"
