// The directory pattern's logic over the real files, without windows: the
// three configurations, the enabling rule, numbering, Create/Change/Mark/
// Copy with the edit dialog answered through its seam, the pick, the kind
// filter, positioning on the receipt's entry, keyboard search, and a missing
// file.
#include <QTest>

#include "support/receipt_files.h"
#include "support/scripted_prompts.h"
#include "directories/directory.h"
#include "widgets/data_text.h"

using directories::Directory;

namespace {

// An edit dialog that types into the record and stores it (or leaves).
struct FakeEditor {
  QStringList captions;
  std::vector<int> proposed;
  std::function<void(tdb::TDataSet&)> type;  // what the user types
  bool store = true;

  Directory::EditorSeam Seam(Directory& d) {
    return [this, &d](const QString& caption) {
      captions << caption;
      tdb::TDataSet& t = d.Table();
      proposed.push_back(t.FieldByName("nomer").AsInteger());
      if (type) type(t);
      if (store) t.Post();
    };
  }
};

struct Enabled {
  bool change, mark, copy;
  bool operator==(const Enabled&) const = default;
};
// "Создать" is always enabled; the rest as the rule says.
Enabled Of(const Directory& d) {
  auto e = d.Enabled();
  if (!e.create) return {true, false, false};  // a shape no case expects
  return {e.change, e.mark, e.copy};
}


}  // namespace

class DirectoryTest : public QObject {
  Q_OBJECT

 private slots:
  void createInAnEmptyDirectoryAndLeavingWithoutStoring();
  void numbersCountMarkedEntries();
  void codeFilterNumbersEnablingAndReopening();
  void markedEntriesAreNeitherChangedNorPickedButCopied();
  void opensOnTheReceiptsEntryOrTheFirst();
  void enterInAnEmptyListWritesEmptyValues();
  void searchByNameAndByCode();
  void aMissingFileLeavesTheTableClosed();
};

void DirectoryTest::createInAnEmptyDirectoryAndLeavingWithoutStoring() {
  ReceiptFiles files;
  ScriptedPrompts prompts;
  for (const directories::DirectoryConfig* config :
       {&directories::PayersConfig(), &directories::RecipientsConfig(), &directories::CodesConfig()}) {
    Directory d(*config, prompts);
    FakeEditor editor;
    d.SetEditor(editor.Seam(d));
    d.Open();
    QCOMPARE(Of(d), (Enabled{false, false, config->copyAlwaysEnabled}));

    editor.store = false;
    d.Create();
    QCOMPARE(d.Table().RecordCount(), 0);
    QCOMPARE(d.Table().State(), tdb::dsBrowse);

    editor.store = true;
    editor.type = [config](tdb::TDataSet& t) {
      widgets::SetFieldText(t.FieldByName(config->captionField), QStringLiteral("Первый"));
    };
    d.Create();
    QCOMPARE(d.Table().RecordCount(), 1);
    QCOMPARE(Of(d), (Enabled{true, true, true}));
    QCOMPARE(editor.proposed, (std::vector<int>{1, 1}));
    QCOMPARE(editor.captions.first(), config->entryCaption + QStringLiteral(" *Новый"));

    // Change captions the dialog with the entry's name; "Отмена" keeps it.
    editor.store = false;
    editor.type = [config](tdb::TDataSet& t) {
      widgets::SetFieldText(t.FieldByName(config->captionField), QStringLiteral("Другой"));
    };
    d.Change();
    QCOMPARE(editor.captions.last(), config->entryCaption + QStringLiteral(" Первый"));
    QCOMPARE(widgets::FieldText(d.Table().FieldByName(config->captionField)), QStringLiteral("Первый"));
    d.Close();
    QCOMPARE(test_home::TableOf(d.Table()), std::string());
    QCOMPARE(d.Table().IndexName(), std::string());
  }
  QVERIFY(prompts.messages.isEmpty());
}

void DirectoryTest::numbersCountMarkedEntries() {
  ReceiptFiles files;
  for (int i = 1; i <= 5; ++i)
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(i * 3)}, {"slugebnoe", i >= 4 ? "1" : "0"}});
  ScriptedPrompts prompts;
  Directory d(directories::PayersConfig(), prompts);
  FakeEditor editor;
  d.SetEditor(editor.Seam(d));
  d.Open();
  d.Create();
  QCOMPARE(editor.proposed, std::vector<int>{16});  // the highest number, a marked entry's, + 1
}

void DirectoryTest::codeFilterNumbersEnablingAndReopening() {
  ReceiptFiles files;
  int n = 0;
  for (const char* tip : {"0", "2", "0", "0", "2"})
    AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", std::to_string(++n)}, {"kodBK", std::to_string(100 + n)},
                                            {"tip", tip}});
  ScriptedPrompts prompts;
  Directory d(directories::CodesConfig(), prompts);
  int notices = 0;
  d.OnEnablingChanged = [&] { ++notices; };
  FakeEditor editor;
  d.SetEditor(editor.Seam(d));
  d.Open();

  struct Case {
    int position, shown;
    Enabled enabled;
  } cases[] = {{3, 2, {true, true, true}}, {2, 0, {false, false, true}}, {1, 3, {true, true, true}},
               {0, 5, {true, true, true}}};
  for (const Case& c : cases) {
    notices = 0;
    d.SetKindPosition(c.position);
    QCOMPARE(d.Table().RecordCount(), c.shown);
    QCOMPARE(Of(d), c.enabled);
    QVERIFY(notices > 0);
  }

  // Three tax and two fine codes, the filter on fines: a new entry still follows the whole directory.
  d.SetKindPosition(3);
  editor.store = false;
  d.Create();
  QCOMPARE(editor.proposed.back(), 6);
  QCOMPARE(d.Table().FieldByName("tip").AsInteger(), 2);  // cancelled: the current entry is a fine again

  // A copy from the empty penalty list starts from kind 0 and an empty code.
  d.SetKindPosition(2);
  editor.type = [](tdb::TDataSet& t) {
    QCOMPARE(t.FieldByName("tip").AsInteger(), 0);
    QCOMPARE(t.FieldByName("kodBK").AsString(), std::string());
  };
  d.Copy();
  QCOMPARE(editor.proposed.back(), 6);
  QCOMPARE(editor.captions.back(), QStringLiteral("Код БК "));

  // Reopened, the window is unfiltered whatever was chosen last time.
  d.Close();
  d.Open();
  QCOMPARE(d.KindPosition(), 0);
  QVERIFY(!d.Table().Filtered());
  QCOMPARE(d.Table().RecordCount(), 5);
}

void DirectoryTest::markedEntriesAreNeitherChangedNorPickedButCopied() {
  ReceiptFiles files;
  AddRecord("Poluchat.tdb", "Poluchat",
            {{"nomer", "1"}, {"Poluchat", "УФК по г. Москве"}, {"KppPoluch", "770101001"}, {"Imns", "ИФНС 1"},
             {"Bik", "044525000"}, {"slugebnoe", "1"}});
  auto receipts = OpenTable("formix.tdb", "formix", "inomer");
  receipts->Insert();
  ScriptedPrompts prompts;
  Directory d(directories::RecipientsConfig(), prompts);
  d.SetReceipt(receipts.get());
  FakeEditor editor;
  d.SetEditor(editor.Seam(d));
  d.Open();

  d.Change();
  QVERIFY(editor.captions.isEmpty());
  QVERIFY(!d.Pick());
  QCOMPARE(Text(*receipts, "Poluchat"), std::string());
  QCOMPARE(prompts.messages, (QStringList{QString::fromUtf8(directories::kCannotChangeMarked),
                                          QString::fromUtf8(directories::kCannotPickMarked)}));

  d.Copy();
  QCOMPARE(editor.captions, QStringList{QStringLiteral("Получатель УФК по г. Москве")});
  QCOMPARE(editor.proposed, std::vector<int>{2});
  d.Table().Last();
  QVERIFY(!d.Table().FieldByName("slugebnoe").AsBoolean());
  QCOMPARE(Text(d.Table(), "Bik"), std::string("044525000"));
  QCOMPARE(Text(d.Table(), "KppPoluch"), std::string());
  QCOMPARE(Text(d.Table(), "Imns"), std::string());

  // The copy can be picked; the pick overwrites the KPP and inspectorate.
  receipts->FieldByName("KppPoluch").SetAsString("old");
  receipts->FieldByName("imns").SetAsString("old");
  QVERIFY(d.Pick());
  QCOMPARE(Text(*receipts, "Poluchat"), std::string("УФК по г. Москве"));
  QCOMPARE(Text(*receipts, "KppPoluch"), std::string());
  QCOMPARE(Text(*receipts, "imns"), std::string());
  QCOMPARE(receipts->FieldByName("nomerPoluch").AsInteger(), 2);

  // Marking asks first; "Нет" changes nothing, "Да" marks the copy too.
  prompts.answerYes = false;
  d.Mark();
  QVERIFY(!d.Table().FieldByName("slugebnoe").AsBoolean());
  prompts.answerYes = true;
  d.Mark();
  QVERIFY(d.Table().FieldByName("slugebnoe").AsBoolean());
  QCOMPARE(prompts.questions, (QStringList(2, QString::fromUtf8(directories::kAskMark))));
  QCOMPARE(d.Table().RecordCount(), 2);

  // On a marked entry the same command offers to take the mark off.
  prompts.questions.clear();
  prompts.answerYes = false;
  d.Mark();
  QVERIFY(d.Table().FieldByName("slugebnoe").AsBoolean());
  prompts.answerYes = true;
  d.Mark();
  QVERIFY(!d.Table().FieldByName("slugebnoe").AsBoolean());
  QCOMPARE(prompts.questions, (QStringList(2, QString::fromUtf8(directories::kAskUnmark))));
  QVERIFY(d.Pick());
}

void DirectoryTest::opensOnTheReceiptsEntryOrTheFirst() {
  ReceiptFiles files;
  for (int nomer : {5, 2, 9}) AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(nomer)}});
  auto receipts = OpenTable("formix.tdb", "formix", "inomer");
  receipts->Insert();
  ScriptedPrompts prompts;
  Directory d(directories::PayersConfig(), prompts);
  d.SetReceipt(receipts.get());
  for (auto [stored, current] : {std::pair{9, 9}, {5, 5}, {7, 2}, {0, 2}}) {
    receipts->FieldByName("nomerPlat").SetAsInteger(stored);
    d.Open();
    QCOMPARE(d.Table().FieldByName("nomer").AsInteger(), current);
    d.Close();
  }
}

void DirectoryTest::enterInAnEmptyListWritesEmptyValues() {
  ReceiptFiles files;
  auto receipts = OpenTable("formix.tdb", "formix", "inomer");
  AddRecord(*receipts, {{"nomer", "1"}, {"Platel", "Иванов"}, {"AdresPlat", "Москва"}, {"nomerPlat", "4"}});
  receipts->Edit();
  ScriptedPrompts prompts;
  Directory d(directories::PayersConfig(), prompts);
  d.SetReceipt(receipts.get());
  d.Open();
  QVERIFY(d.Pick());
  QCOMPARE(Text(*receipts, "Platel"), std::string());
  QCOMPARE(Text(*receipts, "AdresPlat"), std::string());
  QCOMPARE(receipts->FieldByName("nomerPlat").AsInteger(), 0);
}

void DirectoryTest::searchByNameAndByCode() {
  ReceiptFiles files;
  int n = 0;
  for (const char* name : {"Сидоров", "Иванов", "Петров", "иванова"})
    AddRecord("platel.tdb", "platel", {{"nomer", std::to_string(++n * 10)}, {"Platel", name}});
  ScriptedPrompts prompts;
  Directory d(directories::PayersConfig(), prompts);
  d.Open();
  struct Case {
    const char* typed;
    bool found;
    int current;
  } cases[] = {{"п", true, 30}, {"ИВ", true, 20}, {"иванова", true, 40}, {"30", true, 30}, {"Ж", false, 30},
               {"7", false, 30}, {"10", true, 10}};
  for (const Case& c : cases) {
    QCOMPARE(d.Search(QString::fromUtf8(c.typed)), c.found);
    QCOMPARE(d.Table().FieldByName("nomer").AsInteger(), c.current);
  }

  ReceiptFiles codes;
  AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", "1"}, {"kodBK", "18210102010011000110"}, {"naim", "НДФЛ"}});
  AddRecord("sprkodBK.tdb", "sprkodBK", {{"nomer", "2"}, {"kodBK", "18210601020041000110"}, {"naim", "Налог на имущество"}});
  Directory k(directories::CodesConfig(), prompts);
  k.Open();
  QVERIFY(k.Search(QStringLiteral("182106")));
  QCOMPARE(k.Table().FieldByName("nomer").AsInteger(), 2);
  QVERIFY(k.Search(QStringLiteral("ндфл")));
  QCOMPARE(k.Table().FieldByName("nomer").AsInteger(), 1);
}

void DirectoryTest::aMissingFileLeavesTheTableClosed() {
  SKIP_ON_SERVER("a missing file of the data folder");
  ReceiptFiles files;
  QVERIFY(QFile::remove(files.Path("Poluchat.tdb")));
  ScriptedPrompts prompts;
  Directory d(directories::RecipientsConfig(), prompts);
  bool raised = false;
  try {
    d.Open();
  } catch (const tdb::EDatabaseError& e) {
    raised = true;
    QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("Poluchat.tdb")));
  }
  QVERIFY(raised);
  QVERIFY(!d.Table().Active());
  QCOMPARE(test_home::TableOf(d.Table()), std::string());
  QCOMPARE(Of(d), (Enabled{false, false, false}));
}

QTEST_GUILESS_MAIN(DirectoryTest)
#include "directory_test.moc"
