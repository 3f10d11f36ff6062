// The directory pattern's three configurations and its commands.
#include "directories/directory.h"

#include <QStringList>

#include "data/data_home.h"
#include "data/receipt_tables.h"
#include "data/record_changes.h"
#include "widgets/data_text.h"

namespace directories {

namespace code_table = receipts::code_table;
namespace payer_table = receipts::payer_table;
namespace receipt_table = receipts::receipt_table;
namespace recipient_table = receipts::recipient_table;

const char* const kCannotChangeMarked = "Нельзя изменить запись, помеченную на удаление!";
const char* const kCannotPickMarked = "Нельзя выбрать запись, помеченную на удаление!";
const char* const kAskMark = "Удалить текущую запись?";
const char* const kAskUnmark = "Снять пометку?";

const DirectoryConfig& PayersConfig() {
  static const DirectoryConfig config{
      "payersWindow",
      "payerDialog",
      "TFsprPlat",
      QStringLiteral("Список плательщиков (Выбор)"),
      payer_table::kFile,
      payer_table::kTable,
      payer_table::kByNumber,
      {{payer_table::kNumber, QStringLiteral("Код"), 60},
       {payer_table::kName, QStringLiteral("Плательщик"), 300},
       {payer_table::kInn, QStringLiteral("ИНН"), 110},
       {payer_table::kAddress, QStringLiteral("Адрес"), 280}},
      false,
      QStringLiteral("Плательщик"),
      payer_table::kName,
      &receipts::PayerPick(),
      &receipts::PayerCopy(),
      receipt_table::kPayerNumber,
      false,
      false,
      {
          {payer_table::kNumber, QStringLiteral("Код:"), EditorKind::Number, {}},
          {payer_table::kName, QStringLiteral("Фамилия, имя,\nотчество:"), EditorKind::Text, {}},
          {payer_table::kAddress, QStringLiteral("Адрес:"), EditorKind::Text, {}},
          {payer_table::kInn, QStringLiteral("ИНН:"), EditorKind::Text, {}},
          {payer_table::kAccount, QStringLiteral("(номер лицевого\nсчета)"), EditorKind::Text, {}},
      },
      QStringLiteral("ОК"),
  };
  return config;
}

const DirectoryConfig& RecipientsConfig() {
  static const QString bank = QStringLiteral("Банк получателя");
  static const DirectoryConfig config{
      "recipientsWindow",
      "recipientDialog",
      "TFsprpoluch",
      QStringLiteral("Список получателей (Выбор)"),
      recipient_table::kFile,
      recipient_table::kTable,
      recipient_table::kByNumber,
      {{recipient_table::kNumber, QStringLiteral("Код"), 60},
       {recipient_table::kName, QStringLiteral("Получатель"), 300},
       {recipient_table::kInn, QStringLiteral("ИНН"), 100},
       {recipient_table::kAccount, QStringLiteral("Счёт"), 170},
       {recipient_table::kBank, QStringLiteral("Банк"), 220}},
      false,
      QStringLiteral("Получатель"),
      recipient_table::kName,
      &receipts::RecipientPick(),
      &receipts::RecipientCopy(),
      receipt_table::kRecipientNumber,
      false,
      false,
      {
          {recipient_table::kNumber, QStringLiteral("Код:"), EditorKind::Number, {}},
          {recipient_table::kName, QStringLiteral("Получатель:"), EditorKind::Text, {}},
          {recipient_table::kInn, QStringLiteral("ИНН:"), EditorKind::Text, {}},
          {recipient_table::kKpp, QStringLiteral("КПП:"), EditorKind::Text, {}},
          {recipient_table::kAccount, QStringLiteral("счет:"), EditorKind::Text, {}},
          {recipient_table::kBank, QStringLiteral("в"), EditorKind::Text, bank},
          {recipient_table::kBik, QStringLiteral("БИК:"), EditorKind::Text, bank},
          {recipient_table::kCorrAccount, QStringLiteral("корр. счет:"), EditorKind::Text, bank},
          {recipient_table::kTaxOffice, QStringLiteral("ИМНС"), EditorKind::Text, {}},
      },
      QStringLiteral("ОК"),
  };
  return config;
}

const DirectoryConfig& CodesConfig() {
  static const DirectoryConfig config{
      "codesWindow",
      "codeDialog",
      "TFkodBK",
      QStringLiteral("Код бюджетной классификации"),
      code_table::kFile,
      code_table::kTable,
      code_table::kByCode,
      {{code_table::kCode, QStringLiteral("Код БК"), 170},
       {code_table::kName, QStringLiteral("Наименование БК"), 300},
       {code_table::kKind, QStringLiteral("Тип"), 110, PaymentKindItems()}},
      true,
      QStringLiteral("Код БК"),
      code_table::kCode,
      &receipts::CodePick(),
      &receipts::CodeCopy(),
      receipt_table::kBudgetCodeNumber,
      true,
      true,
      {
          {code_table::kNumber, QStringLiteral("Код:"), EditorKind::Number, {}},
          {code_table::kCode, QStringLiteral("Код бюджетной\nклассификации:"), EditorKind::Text, {}},
          {code_table::kName, QStringLiteral("Наименование\nбюджетной\nклассификации:"), EditorKind::Text, {}},
          {code_table::kKind, QStringLiteral("Тип\nперечисления:"), EditorKind::KindList, {}},
      },
      QStringLiteral("ОК"),
  };
  return config;
}

const QStringList& KindFilterItems() {
  static const QStringList items = {QStringLiteral("Без отбора"), QStringLiteral("Перечисление налога"),
                                    QStringLiteral("Уплата пени"), QStringLiteral("Уплата штрафа")};
  return items;
}

const QStringList& PaymentKindItems() {
  static const QStringList items = {QStringLiteral("Уплата налога"), QStringLiteral("Уплата пени"),
                                    QStringLiteral("Уплата штрафа")};
  return items;
}

Directory::Directory(const DirectoryConfig& config, ui::UiPrompts& prompts)
    : config_(config), prompts_(prompts), table_(receipts::Home().NewDataSet()) {
  table_->Name = config.datasetName;
  source_.SetDataSet(table_.get());
}

Directory::~Directory() { table_->Close(); }

void Directory::Open() {
  receipts::Home().SetTable(*table_, config_.database, config_.table, config_.index);
  // The code directory always opens unfiltered, whatever was chosen last time.
  table_->SetFilter("");
  table_->SetFiltered(false);
  kind_ = 0;
  try {
    table_->Open();
  } catch (...) {
    Close();
    throw;
  }
  // Every change is on the disk when its command returns.
  if (table_->CanModify()) receipts::Home().WriteThrough(*table_);
  if (receipt_ && receipt_->Active()) {
    const int32_t number = receipt_->FieldByName(config_.receiptNumberField).AsInteger();
    table_->Locate(receipts::kNumberField, {tdb::TVariant(int64_t{number})}, 0);
  }
  EnablingChanged();
}

void Directory::Close() { receipts::Home().ClearTable(*table_); }

Directory::Enabling Directory::Enabled() const {
  Enabling e;
  const bool any = table_->Active() && table_->RecordCount() > 0;
  e.change = e.mark = any;
  e.copy = config_.copyAlwaysEnabled || any;
  return e;
}

QString Directory::EntryCaption() const {
  return config_.entryCaption + QLatin1Char(' ') + widgets::FieldText(table_->FieldByName(config_.captionField));
}

void Directory::RunEditor(const QString& caption) {
  // Whatever happens in the dialog, the pending insert or edit ends here:
  // cancelling after "Ok" has stored the entry changes nothing.
  struct CancelAtEnd {
    Directory& d;
    ~CancelAtEnd() {
      if (d.table_->Active()) d.table_->Cancel();
      d.EnablingChanged();
    }
  } cancel{*this};
  if (editor_) editor_(caption);
}

void Directory::Create() {
  receipts::InsertNumbered(*table_);
  RunEditor(config_.entryCaption + QStringLiteral(" *Новый"));
}

void Directory::Change() {
  if (table_->FieldByName(receipts::kDeletedField).AsBoolean()) {
    prompts_.ShowMessage(QString::fromUtf8(kCannotChangeMarked));
    return;
  }
  const QString caption = EntryCaption();
  table_->Edit();
  RunEditor(caption);
}

void Directory::Mark() {
  const bool marked = table_->FieldByName(receipts::kDeletedField).AsBoolean();
  if (!prompts_.AskYesNo(QString::fromUtf8(marked ? kAskUnmark : kAskMark))) return;
  // The mark alone changes, on the entry as stored now.
  receipts::ChangeStoredRecord(
      *table_, [marked](tdb::TDataSet& entry) { entry.FieldByName(receipts::kDeletedField).SetAsBoolean(!marked); });
}

bool Directory::Refresh() {
  if (!table_->Active() || !table_->RefreshIfChanged()) return false;
  EnablingChanged();
  return true;
}

void Directory::Copy() {
  receipts::InsertCopy(*table_, *config_.copy);
  RunEditor(EntryCaption());
}

bool Directory::Pick() {
  if (table_->FieldByName(receipts::kDeletedField).AsBoolean()) {
    prompts_.ShowMessage(QString::fromUtf8(kCannotPickMarked));
    return false;
  }
  if (receipt_) receipts::CopyFields(*config_.pick, *table_, *receipt_);
  return true;
}

void Directory::SetKindPosition(int position, bool apply) {
  if (position < 0 || position >= static_cast<int>(receipts::KindFilterTexts().size())) position = 0;
  kind_ = position;
  if (!apply || !config_.kindFilter || !table_->Active()) return;
  const std::string& text = receipts::KindFilterTexts()[static_cast<size_t>(position)];
  table_->SetFiltered(false);
  table_->SetFilter(text);
  table_->SetFiltered(!text.empty());
  EnablingChanged();
}

bool Directory::Search(const QString& typed) {
  if (!table_->Active() || typed.isEmpty()) return false;
  const DirectoryColumn& code = config_.columns.at(0);
  const DirectoryColumn& name = config_.columns.at(1);
  const bool byCode = typed.front().isDigit();
  const tdb::TField& field = table_->FieldByName(byCode ? code.field : name.field);
  if (field.DataType() == tdb::ftString) {
    return table_->Locate(field.FieldName(), {tdb::TVariant(widgets::ToCp1251(typed))},
                         tdb::loCaseInsensitive | tdb::loPartialKey);
  }
  bool ok = false;
  const qlonglong number = typed.toLongLong(&ok);
  if (!ok) return false;
  return table_->Locate(field.FieldName(), {tdb::TVariant(int64_t{number})}, 0);
}

void Directory::EnablingChanged() {
  if (OnEnablingChanged) OnEnablingChanged();
}

}  // namespace directories
