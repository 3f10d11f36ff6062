// "Создать из QR-кода…" and dropping a bill on the register: the receipt filled
// from the code and shown in its dialog, the directory look-ups and the
// offers to add, the checks' message, and the files that create nothing.
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>

#include "register/payment_code_file.h"
#include "printing/qr_image.h"
#include "support/receipt_files.h"
#include "register_fixture.h"
#include "support/qr_examples.h"

namespace {

using receipts::QrCharset;

// A bill as a picture file: the symbol of `bytes` on a page, or no symbol.
QString WriteBill(const QString& path, const std::string& bytes, bool pdf = false) {
  QImage symbol;
  if (!bytes.empty()) symbol.loadFromData(printing::QrCodePng(bytes, 6), "PNG");
  if (pdf) {
    QPdfWriter writer(path);
    writer.setResolution(300);
    QPainter p(&writer);
    p.drawText(QPoint(300, 300), QStringLiteral("Счёт"));
    if (!symbol.isNull()) p.drawImage(QRect(300, 500, 600, 600), symbol);
    return path;
  }
  QImage page(900, 900, QImage::Format_RGB32);
  page.fill(Qt::white);
  QPainter p(&page);
  p.drawText(QPoint(40, 40), QStringLiteral("Извещение"));
  if (!symbol.isNull()) p.drawImage(100, 100, symbol);
  p.end();
  page.save(path);
  return path;
}

// Every text field of the receipts table the code can fill.
const char* const kFilled[] = {"Poluchat", "InnPoluch", "KppPoluch", "SchetPoluch", "BancPoluch", "Bik",
                               "korSchet", "NaznPlat",  "Platel",    "AdresPlat",   "InnPlat",    "LschPlat",
                               "kodklass", "okato",     "status",    "osnovanie",   "srok",       "tipplat",
                               "indexdoc", "imns"};

// The record as the dialog was given it.
struct Seen {
  std::map<std::string, std::string> texts;
  int64_t summa = 0;
  bool tax = false;
  std::string document;
  int nomerPlat = 0, nomerPoluch = 0, nomerBK = 0;
};

Seen SeeRecord(const tdb::TDataSet& t) {
  Seen s;
  for (const char* f : kFilled) s.texts[f] = Text(t, f);
  s.summa = t.FieldByName("Summa").AsCurrency().value;
  s.tax = t.FieldByName("naloglog").AsBoolean();
  s.document = Text(t, "document");
  s.nomerPlat = t.FieldByName("nomerPlat").AsInteger();
  s.nomerPoluch = t.FieldByName("nomerPoluch").AsInteger();
  s.nomerBK = t.FieldByName("nomerBK").AsInteger();
  return s;
}

int Count(const std::string& file, const std::string& table) {
  auto t = OpenTable(file, table, "");
  return t->RecordCount();
}

// The data folder with the four files, and the program over it, its receipt
// dialogs recording what they were shown and storing it.
struct Fixture {
  ReceiptFiles files;
  Program program{QDir::currentPath() + '/'};
  std::vector<Seen> seen;

  Fixture() {
    program.Start();
    QTRY_VERIFY(program.main()->Register().IsOpen());
    program.dialogs->answer = [this](tdb::TDataSet& t) {
      seen.push_back(SeeRecord(t));
      t.Post();
    };
  }
  QString Bill(const QString& name, const std::string& bytes, bool pdf = false) {
    return WriteBill(files.Path(name), bytes, pdf);
  }
};

class QrReceiptImportTest : public QObject {
  Q_OBJECT

 private slots:
  // From each kind of file and each charset: the receipt exactly, a new entry
  // in each directory with the user's consent, and the dialog as for Create.
  void receiptFilledFromTheCode() {
    struct Case {
      const std::string& payload;
      receipts::QrReceipt (*receipt)(QrCharset);
      QrCharset charset;
      bool pdf;
    };
    const Case cases[] = {
        {receipts::kWorkedPd4, receipts::WorkedPd4Receipt, QrCharset::kWindows1251, false},
        {receipts::kWorkedPd4, receipts::WorkedPd4Receipt, QrCharset::kUtf8, true},
        {receipts::kWorkedPd4, receipts::WorkedPd4Receipt, QrCharset::kKoi8R, false},
        {receipts::kWorkedTax, receipts::WorkedTaxReceipt, QrCharset::kWindows1251, true},
        {receipts::kWorkedTax, receipts::WorkedTaxReceipt, QrCharset::kUtf8, false},
        {receipts::kWorkedTax, receipts::WorkedTaxReceipt, QrCharset::kKoi8R, true},
    };
    for (const Case& c : cases) {
      Fixture f;
      const receipts::QrReceipt want = c.receipt(c.charset);
      const QString path = f.Bill(QStringLiteral("bill.%1").arg(c.pdf ? "pdf" : "png"),
                                  receipts::PayloadBytes(c.payload, c.charset), c.pdf);
      f.program.main()->CreateFromQr(path);
      QVERIFY2(f.program.prompts.messages.isEmpty(), qPrintable(f.program.prompts.messages.join('\n')));
      QCOMPARE(f.program.dialogs->shown.size(), size_t{1});
      const FakeDialogs::Shown& shown = f.program.dialogs->shown[0];
      QCOMPARE(shown.form, want.tax ? reg::ReceiptForm::Tax : reg::ReceiptForm::Pd4);
      QCOMPARE(shown.caption, QStringLiteral("Квитанция *Новая"));
      QVERIFY(shown.focusNumber);
      QCOMPARE(shown.state, tdb::dsInsert);

      const Seen& s = f.seen.at(0);
      for (const char* field : kFilled) QCOMPARE(s.texts.at(field), want.Text(field));
      QCOMPARE(s.summa, want.summa.value);
      QCOMPARE(s.tax, want.tax);
      QCOMPARE(s.document, std::string(want.tax ? "Форма № ПД-(налог)" : "Форма № ПД-4 "));
      // Empty directories: each entry offered, added and numbered 1.
      QCOMPARE(f.program.prompts.questions.size(), want.tax ? 3 : 2);
      QVERIFY(f.program.prompts.questions[0].startsWith(QStringLiteral("Получателя «")));
      QCOMPARE(s.nomerPoluch, 1);
      QCOMPARE(s.nomerPlat, 1);
      QCOMPARE(s.nomerBK, want.tax ? 1 : 0);
      auto recipients = OpenTable("Poluchat.tdb", "Poluchat", "inomer");
      QCOMPARE(recipients->RecordCount(), 1);
      QCOMPARE(Text(*recipients, "schetpoluch"), want.Text("SchetPoluch"));
      QCOMPARE(Text(*recipients, "InnPoluch"), want.Text("InnPoluch"));
      if (want.tax) {
        auto codes = OpenTable("sprkodBK.tdb", "sprkodBK", "ikodbk");
        QCOMPARE(Text(*codes, "kodBK"), want.Text("kodklass"));
        QCOMPARE(Text(*codes, "naim"), want.Text("NaznPlat"));
        QCOMPARE(codes->FieldByName("tip").AsInteger(), 0);  // digits 14-17 "1000": the tax itself
      }
      QCOMPARE(f.program.table().RecordCount(), 1);
    }
  }

  // Entries already there are picked without a question: their numbers are
  // stored, what the code leaves empty comes from them, what it gives stays.
  // A marked entry is never the match.
  void existingEntriesArePicked() {
    Fixture f;
    AddRecord("Poluchat.tdb", "Poluchat",
              {{"nomer", "1"}, {"Poluchat", "Старое имя"}, {"InnPoluch", "5834000014"},
               {"schetpoluch", "03100643000000015600"}, {"Imns", "Прежняя ИФНС"}, {"slugebnoe", "1"}});
    AddRecord("Poluchat.tdb", "Poluchat",
              {{"nomer", "7"}, {"Poluchat", "УФК (старое имя)"}, {"InnPoluch", "5834000014"},
               {"schetpoluch", "03100643000000015600"}, {"Imns", "Межрайонная ИФНС России № 9"}});
    AddRecord("platel.tdb", "platel",
              {{"nomer", "4"}, {"Platel", "ПЕТРОВ пётр петрович"}, {"adresPlat", "другой адрес"},
               {"LschPlat", "777"}});
    AddRecord("sprkodBK.tdb", "sprkodBK",
              {{"nomer", "12"}, {"kodBK", "18210604012021000110"}, {"naim", "Транспортный налог"}});
    f.program.main()->CreateFromQr(
        f.Bill(QStringLiteral("tax.png"), receipts::PayloadBytes(receipts::kWorkedTax, QrCharset::kUtf8)));
    QVERIFY2(f.program.prompts.questions.isEmpty(), qPrintable(f.program.prompts.questions.join('\n')));
    const Seen& s = f.seen.at(0);
    QCOMPARE(s.nomerPoluch, 7);
    QCOMPARE(s.nomerPlat, 4);
    QCOMPARE(s.nomerBK, 12);
    QCOMPARE(s.texts.at("Poluchat"), receipts::WorkedTaxReceipt(QrCharset::kUtf8).Text("Poluchat"));
    QCOMPARE(s.texts.at("imns"), std::string("Межрайонная ИФНС России № 9"));
    QCOMPARE(s.texts.at("AdresPlat"), std::string("г. Условный, ул. Примерная, д. 1, кв. 2"));
    QCOMPARE(s.texts.at("LschPlat"), std::string("777"));
    QCOMPARE(s.texts.at("NaznPlat"), std::string("Транспортный налог за 2024 год"));
    QCOMPARE(Count("Poluchat.tdb", "Poluchat"), 2);
  }

  // "Нет" to the offers: the directories stay as they were, the receipt is
  // still made, with no entry numbers.
  void offersDeclined() {
    Fixture f;
    f.program.prompts.answerYes = false;
    f.program.main()->CreateFromQr(
        f.Bill(QStringLiteral("pd4.png"), receipts::PayloadBytes(receipts::kWorkedPd4, QrCharset::kWindows1251)));
    QCOMPARE(f.program.prompts.questions.size(), 2);
    const Seen& s = f.seen.at(0);
    QCOMPARE(s.nomerPoluch, 0);
    QCOMPARE(s.nomerPlat, 0);
    QCOMPARE(s.texts.at("Poluchat"), std::string("ООО «Ромашка-Условная»"));
    QCOMPARE(Count("Poluchat.tdb", "Poluchat"), 0);
    QCOMPARE(Count("platel.tdb", "platel"), 0);
    QCOMPARE(f.program.table().RecordCount(), 1);
  }

  // Failing requisites and texts too long for their fields are named in one
  // message before the dialog; the receipt is still offered for checking.
  void failingRequisitesAreShown() {
    Fixture f;
    const std::string bytes =
        "ST00012|Name=ТСЖ «Дом ★»|PersonalAcc=40702810200001234568|BankName=" + std::string(120, 'B') +
        "|BIC=045678901|CorrespAcc=30101810500000000901|PayeeINN=5834123450|Sum=5";
    f.program.prompts.answerYes = false;
    f.program.main()->CreateFromQr(f.Bill(QStringLiteral("bad.png"), bytes));
    QCOMPARE(f.program.prompts.messages.size(), 1);
    const QString m = f.program.prompts.messages[0];
    QVERIFY2(m.startsWith(QStringLiteral("Реквизиты из QR-кода не прошли проверку:\n")), qPrintable(m));
    QVERIFY2(m.contains(QStringLiteral("ИНН получателя")), qPrintable(m));
    QVERIFY2(m.contains(QStringLiteral("Счёт получателя")), qPrintable(m));
    QVERIFY2(m.contains(QStringLiteral("Банк получателя: текст длиннее 100 знаков")), qPrintable(m));
    QVERIFY2(m.contains(QStringLiteral("Получатель: знаки, которых нет в кодировке Windows-1251")), qPrintable(m));
    QCOMPARE(f.seen.size(), size_t{1});
    QCOMPARE(f.seen[0].texts.at("BancPoluch"), std::string(100, 'B'));
    QCOMPARE(f.seen[0].summa, int64_t{500});
    QCOMPARE(f.seen[0].texts.at("Poluchat"), std::string("ТСЖ «Дом ?»"));
  }

  // No picture of a payment code, a foreign code, a cut one: the message and
  // nothing else, in any table.
  void filesThatCreateNothing() {
    const std::string good = receipts::PayloadBytes(receipts::kWorkedPd4, QrCharset::kWindows1251);
    struct Case {
      QString name;
      std::string bytes;
      QString message;
    };
    const Case cases[] = {
        {QStringLiteral("blank.png"), "", QStringLiteral("В файле «blank.png» не найден QR-код.")},
        {QStringLiteral("link.png"), "https://example.org/",
         QStringLiteral("QR-код в файле «link.png» не платёжный: в нём нет реквизитов платежа.")},
        {QStringLiteral("cut.png"), good.substr(0, good.find("|CorrespAcc=") + 15),
         QStringLiteral("Платёжный QR-код повреждён: неверный формат значения CorrespAcc «301».")},
    };
    for (const Case& c : cases) {
      Fixture f;
      f.program.main()->CreateFromQr(f.Bill(c.name, c.bytes));
      QCOMPARE(f.program.prompts.messages, QStringList{c.message});
      QVERIFY(f.program.prompts.questions.isEmpty());
      QVERIFY(f.program.prompts.errors.isEmpty());
      QVERIFY(f.program.dialogs->shown.empty());
      QCOMPARE(f.program.table().RecordCount(), 0);
      QCOMPARE(f.program.table().State(), tdb::dsBrowse);
      QCOMPARE(Count("Poluchat.tdb", "Poluchat"), 0);
      QCOMPARE(Count("platel.tdb", "platel"), 0);
    }
  }

  // The menu command asks for a file; no file, no receipt.
  void menuCommandAsksForTheFile() {
    Fixture f;
    reg::RegisterWindow& main = *f.program.main();
    QVERIFY(main.actFromQr->isEnabled());
    QCOMPARE(main.actFromQr->text(), QStringLiteral("Создать из QR-кода…"));
    main.ChooseCodeFile = [] { return QString(); };
    main.actFromQr->trigger();
    QVERIFY(f.program.dialogs->shown.empty());
    const QString bill =
        f.Bill(QStringLiteral("pd4.png"), receipts::PayloadBytes(receipts::kWorkedPd4, QrCharset::kUtf8));
    main.ChooseCodeFile = [bill] { return bill; };
    main.actFromQr->trigger();
    QCOMPARE(f.program.dialogs->shown.size(), size_t{1});
    QCOMPARE(f.program.table().RecordCount(), 1);
  }

  // A PDF dropped on the register opens the real tax receipt dialog with the
  // code's values in its editors; "Ok" stores them.
  void droppedFileEndsInTheReceiptDialog() {
    Fixture f;
    reg::RegisterWindow& main = *f.program.main();
    main.SetReceiptDialogs(f.program.forms->receiptDialogs.get());
    const QString pdf = f.Bill(QStringLiteral("tax.pdf"),
                               receipts::PayloadBytes(receipts::kWorkedTax, QrCharset::kWindows1251), true);
    QMap<QString, QString> editors;
    QString title;
    f.program.prompts.Then([&](QDialog& d) {
      title = d.windowTitle();
      for (const char* field : {"Poluchat", "Platel", "kodklass", "NaznPlat", "indexdoc", "okato", "Summa"}) {
        QWidget* w = d.findChild<QWidget*>(QString::fromLatin1(field));
        QLineEdit* line = qobject_cast<QLineEdit*>(w);
        if (!line && w) line = w->findChild<QLineEdit*>();
        editors[field] = line ? line->text() : QStringLiteral("<none>");
      }
      auto* status = d.findChild<QComboBox*>(QStringLiteral("status"));
      editors["status"] = status ? status->currentText() : QString();
      QTest::mouseClick(static_cast<entry::ReceiptDialog&>(d).OkButton, Qt::LeftButton);
    });

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(pdf)});
    const QPoint at = main.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&main, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(&main, &drop);
    QTRY_COMPARE(f.program.table().RecordCount(), 1);

    QCOMPARE(title, QStringLiteral("Квитанция *Новая"));
    QCOMPARE(editors["Poluchat"],
             QStringLiteral("УФК по Условной области (Межрайонная ИФНС России № 9 по Условной области)"));
    QCOMPARE(editors["Platel"], QStringLiteral("Петров Пётр Петрович"));
    QCOMPARE(editors["kodklass"], QStringLiteral("18210604012021000110"));
    QCOMPARE(editors["NaznPlat"], QStringLiteral("Транспортный налог за 2024 год"));
    QCOMPARE(editors["indexdoc"], QStringLiteral("18209965224567890124"));
    QCOMPARE(editors["okato"], QStringLiteral("56999000"));
    QCOMPARE(editors["status"], QStringLiteral("13"));
    QVERIFY2(editors["Summa"].startsWith(QStringLiteral("3")) && editors["Summa"].contains(QStringLiteral("870")),
             qPrintable(editors["Summa"]));
    tdb::TDataSet& t = f.program.table();
    t.First();
    QCOMPARE(t.FieldByName("Summa").AsCurrency().value, int64_t{38700000});
    QCOMPARE(Text(t, "srok"), std::string("ГД.00.2024"));
    QVERIFY(t.FieldByName("naloglog").AsBoolean());
    main.SetReceiptDialogs(f.program.dialogs.get());

    // Something that is no picture is not taken.
    QMimeData text;
    text.setUrls({QUrl::fromLocalFile(f.files.Path(QStringLiteral("formix.tdb")))});
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(&main, &refused);
    QVERIFY(!refused.isAccepted());
  }
};

}  // namespace

QTEST_MAIN(QrReceiptImportTest)
#include "qr_receipt_import_test.moc"
