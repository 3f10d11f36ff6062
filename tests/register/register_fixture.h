// A data folder with a receipts file, a program run over it, and receipt
// dialogs answered by the test.
#pragma once

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/program_windows.h"
#include "register/receipt_dialogs.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"
#include "engine/database/session.h"
#include "engine/dataset/dada_table.h"
#include "support/scripted_prompts.h"
#include "support/test_home.h"

// One receipt as the tests write and read it.
struct Receipt {
  Receipt(int nomer = 0, QString platel = {}, double summa = 0, bool marked = false, bool tax = false,
          QString poluchat = {}, QString document = {})
      : nomer(nomer), platel(platel), summa(summa), marked(marked), tax(tax), poluchat(poluchat),
        document(document) {}
  int nomer = 0;
  QString platel;
  double summa = 0;
  bool marked = false;
  bool tax = false;
  QString poluchat;
  QString document;
};

inline std::string Cp(const QString& text) { return tdb::Utf16ToCp1251(text.toStdU16String()); }
inline QString Qs(const std::string& cp1251) { return QString::fromStdU16String(tdb::Cp1251ToUtf16(cp1251)); }

// A session of its own, as another process would have: it shares no
// database object, and so no view of the file, with the program's.
class OtherProcess {
 public:
  OtherProcess() {
    session_.SetSessionName("other" + std::to_string(++count_));
    session_.SetActive(true);
  }
  // The receipts table as this other program sees it, open on `index`: the
  // file "formix.tdb" in the current directory, or its copy on the server on
  // a session of its own on a server run.  A number set in a new record is
  // stored as set.
  std::unique_ptr<tdb::TDataSet> Open(const std::string& index = {}) {
    if (auto other = test_home::OpenOtherClerksTable("formix", index)) {
      other->AssignNumbers = false;
      return other;
    }
    auto file = std::make_unique<tdb::TDadaTable>();
    file->SetSessionName(session_.SessionName());
    file->SetDatabaseName("formix.tdb");
    file->SetTableName("formix");
    file->SetIndexName(index);
    file->Open();
    return file;
  }
  // Appends the receipts.
  void Append(const std::vector<Receipt>& receipts) {
    std::unique_ptr<tdb::TDataSet> table = Open();
    tdb::TDataSet& t = *table;
    for (const Receipt& r : receipts) {
      t.Append();
      t.FieldByName("nomer").SetAsInteger(r.nomer);
      t.FieldByName("Platel").SetAsString(Cp(r.platel));
      t.FieldByName("Poluchat").SetAsString(Cp(r.poluchat));
      t.FieldByName("document").SetAsString(Cp(r.document));
      t.FieldByName("Summa").SetAsCurrency(tdb::TCurrency::FromDouble(r.summa));
      t.FieldByName("naloglog").SetAsBoolean(r.tax);
      t.FieldByName("slugebnoe").SetAsBoolean(r.marked);
      t.Post();
    }
    t.Close();
  }

 private:
  tdb::TDadaSession session_;
  static inline int count_ = 0;
};

// The receipts of a dataset in its current order, read without moving it
// for good (the current record is restored).
inline std::vector<Receipt> ReceiptsOf(tdb::TDataSet& t) {
  std::vector<Receipt> out;
  const int keep = t.RecNo();
  for (t.First(); !t.Eof(); t.Next()) {
    Receipt r;
    r.nomer = t.FieldByName("nomer").AsInteger();
    r.platel = Qs(t.FieldByName("Platel").AsString());
    r.summa = t.FieldByName("Summa").AsCurrency().ToDouble();
    r.marked = t.FieldByName("slugebnoe").AsBoolean();
    r.tax = t.FieldByName("naloglog").AsBoolean();
    r.poluchat = Qs(t.FieldByName("Poluchat").AsString());
    r.document = Qs(t.FieldByName("document").AsString());
    out.push_back(r);
  }
  if (keep > 0) t.SetRecNo(keep);
  return out;
}

inline QList<int> NumbersOf(tdb::TDataSet& t) {
  QList<int> out;
  for (const Receipt& r : ReceiptsOf(t)) out << r.nomer;
  return out;
}
inline QStringList PayersOf(tdb::TDataSet& t) {
  QStringList out;
  for (const Receipt& r : ReceiptsOf(t)) out << r.platel;
  return out;
}

// Receipt dialogs that record each showing and answer as told: by default
// they post the record with `payer` written into it.
class FakeDialogs : public reg::ReceiptDialogs {
 public:
  struct Shown {
    reg::ReceiptForm form;
    QString caption;
    bool focusNumber;
    tdb::TDataSetState state;
  };
  explicit FakeDialogs(tdb::TDataSet& table) : table_(table) {}
  void Show(reg::ReceiptForm form, const QString& caption, bool focusNumber) override {
    shown.push_back({form, caption, focusNumber, table_.State()});
    if (answer) {
      answer(table_);
    } else if (store) {
      if (!payer.isEmpty()) table_.FieldByName("Platel").SetAsString(Cp(payer));
      table_.Post();
    }
  }
  std::vector<Shown> shown;
  bool store = true;
  QString payer;
  std::function<void(tdb::TDataSet&)> answer;  // replaces storing when set

 private:
  tdb::TDataSet& table_;
};

// A data folder that is the current directory while it lives.
class DataFolder {
 public:
  DataFolder() : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
    test_home::FolderMade();
  }
  ~DataFolder() {
    test_home::FolderGone();
    QDir::setCurrent(previous_);
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }
  QString Dir() const { return dir_.path() + '/'; }
  // Writes an empty receipts file, or one under a cipher and password.
  void CreateReceipts(const std::string& cipher = {}, const std::string& password = {}) {
    receipts::DatabaseSchema schema = receipts::ReceiptFiles()[0].schema;
    schema.storage.cipher = cipher;
    schema.storage.password = password;
    receipts::CreateDatabaseFile(Path("formix.tdb").toStdString(), schema);
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

// One run of the program over the current directory.
struct Program {
  explicit Program(const QString& programDir) {
    forms = app::CreateProgramWindows(ui::AppContext{programDir, &prompts});
    dialogs = std::make_unique<FakeDialogs>(main()->Receipts());
    main()->SetReceiptDialogs(dialogs.get());
  }
  ~Program() {
    main()->SetReceiptDialogs(nullptr);
    forms.reset();
  }
  reg::RegisterWindow* main() const { return forms->registerWindow.get(); }
  tdb::TDataSet& table() const { return main()->Receipts(); }
  // Shows the main window and runs the start-up sequence to its end.
  void Start() {
    main()->show();
    QTRY_VERIFY(main()->StartupStarted());
  }

  ScriptedPrompts prompts;
  std::unique_ptr<app::ProgramWindows> forms;
  std::unique_ptr<FakeDialogs> dialogs;
};

// A form chooser script: take `row`, by "Ok", or by a double-click.
inline ScriptedPrompts::Script Choose(int row, bool doubleClick = false) {
  return [row, doubleClick](QDialog& d) {
    auto& c = static_cast<reg::FormChooser&>(d);
    if (doubleClick) {
      const QRect r = c.formList->visualItemRect(c.formList->item(row));
      QTest::mouseClick(c.formList->viewport(), Qt::LeftButton, {}, r.center());
      QTest::mouseDClick(c.formList->viewport(), Qt::LeftButton, {}, r.center());
      return;
    }
    c.formList->setCurrentRow(row);
    QTest::mouseClick(c.okButton, Qt::LeftButton);
  };
}
