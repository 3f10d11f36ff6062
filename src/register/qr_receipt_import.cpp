// A receipt from a bill's payment code: checks, directory look-ups, the new
// record and its dialog.
#include "register/qr_receipt_import.h"

#include <QApplication>
#include <QGuiApplication>
#include <functional>
#include <memory>
#include <vector>

#include "ui/error_report.h"
#include "data/data_home.h"
#include "data/receipt_rules.h"
#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "directories/directory.h"
#include "engine/base/codepage.h"
#include "engine/dataset/dataset.h"
#include "widgets/data_text.h"

namespace reg {
namespace {

namespace code_table = receipts::code_table;
namespace payer_table = receipts::payer_table;
namespace receipt_table = receipts::receipt_table;
namespace recipient_table = receipts::recipient_table;
using receipts::QrFieldValue;
using receipts::QrReceipt;

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

std::string Utf8Of(const tdb::TField& field) {
  return widgets::FieldText(field).trimmed().toStdString();
}

// What a receipt field is called on the form, for the messages.
QString Label(const std::string& field) {
  static const std::pair<const char*, const char*> labels[] = {
      {receipt_table::kRecipient, "Получатель"},          {receipt_table::kBank, "Банк получателя"},
      {receipt_table::kPurpose, "Назначение платежа"},  {receipt_table::kPayer, "Плательщик"},
      {receipt_table::kPayerAddress, "Адрес плательщика"},  {receipt_table::kPayerAccount, "Лицевой счёт плательщика"},
      {receipt_table::kDocIndex, "Индекс документа"},    {receipt_table::kOktmo, "ОКТМО"},
      {receipt_table::kPeriod, "Период"},                  {receipt_table::kReason, "Основание платежа"},
      {receipt_table::kPaymentType, "Тип платежа"},          {receipt_table::kStatus, "Статус"},
      {receipt_table::kPayerInn, "ИНН плательщика"},      {receipt_table::kRecipientInn, "ИНН получателя"},
      {receipt_table::kRecipientKpp, "КПП получателя"},     {receipt_table::kRecipientAccount, "Счёт получателя"},
      {receipt_table::kBik, "БИК"},                      {receipt_table::kCorrAccount, "Корр. счёт"},
      {receipt_table::kBudgetCode, "Код БК"},
  };
  for (const auto& [f, label] : labels)
    if (field == f) return QString::fromUtf8(label);
  return Q(field);
}

// The kind of payment (`tip`) of a budget code: digits 14-17 say whether it
// is the tax itself, penalty interest or a fine.
int KindOfCode(const std::string& kbk) {
  if (kbk.size() != 20) return 0;
  const std::string group = kbk.substr(13, 4);
  if (group == "2100" || group == "2200") return 1;
  if (group == "3000") return 2;
  return 0;
}

// One directory look-up: which entry is the receipt's, and what to store
// when there is none and the user wants it added.
struct Lookup {
  const directories::DirectoryConfig& config;
  std::function<bool(const tdb::TDataSet& entry)> matches;
  std::vector<std::pair<const char*, std::string>> newEntry;  // directory field, UTF-8 value
  QString question;                                           // "... Добавить?"
  std::function<void(tdb::TDataSet&)> completeEntry = {};     // values of a new entry that are no texts
};

// The entry found or added: its number, and the receipt values the pick
// from it would write (receipt field, UTF-8).
struct Found {
  const char* numberField = nullptr;  // the receipt's field for `nomer`: `nomerPoluch`, ...
  int nomer = 0;
  std::vector<QrFieldValue> values;
};

Found Look(const Lookup& lookup, ui::UiPrompts& prompts) {
  const directories::DirectoryConfig& c = lookup.config;
  Found found;
  found.numberField = c.receiptNumberField;
  const std::unique_ptr<tdb::TDataSet> dataset = receipts::Home().NewDataSet();
  tdb::TDataSet& table = *dataset;
  receipts::Home().SetTable(table, c.database, c.table, c.index);
  table.Open();
  auto take = [&] {
    for (const receipts::FieldCopy& copy : *c.pick) {
      const tdb::TField& field = table.FieldByName(copy.from);
      if (copy.as == receipts::CopyAs::Integer) {
        found.nomer = field.AsInteger();
      } else {
        found.values.push_back({copy.to, Utf8Of(field)});
      }
    }
  };
  for (table.First(); !table.Eof(); table.Next()) {
    // A marked entry cannot be picked, so it does not count as a match.
    if (table.FieldByName(receipts::kDeletedField).AsBoolean() || !lookup.matches(table)) continue;
    take();
    return found;
  }
  if (!prompts.AskYesNo(lookup.question)) return found;
  receipts::InsertNumbered(table);
  try {
    for (const auto& [field, value] : lookup.newEntry)
      table.FieldByName(field).SetAsString(tdb::Utf8ToCp1251(value));
    if (lookup.completeEntry) lookup.completeEntry(table);
    table.Post();
  } catch (...) {
    if (table.State() == tdb::dsInsert) table.Cancel();
    throw;
  }
  take();
  return found;
}

// Runs one look-up; a directory that fails is reported and left out.
Found LookSafely(const Lookup& lookup, ui::UiPrompts& prompts) {
  try {
    return Look(lookup, prompts);
  } catch (...) {
    ui::ReportError(std::current_exception(), &prompts);
    Found none;
    none.numberField = lookup.config.receiptNumberField;
    return none;
  }
}

bool SameText(const tdb::TDataSet& entry, const char* field, const std::string& utf8) {
  return Utf8Of(entry.FieldByName(field)) == utf8;
}

}  // namespace

bool QrReceiptImport::CreateFromFile(const QString& path) {
  PaymentCodeRead read;
  {
    // A PDF takes a moment to rasterise.
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    read = ReadPaymentCodeFile(path, limits_);
    if (gui) QGuiApplication::restoreOverrideCursor();
  }
  if (!read.payload) {
    prompts_.ShowMessage(read.message);
    return false;
  }
  return CreateFromPayload(*read.payload);
}

bool QrReceiptImport::CreateFromPayload(const receipts::ParsedQrPayload& payload) {
  if (!register_.IsOpen()) return false;
  QrReceipt receipt = receipts::ReceiptOfQr(payload);
  auto text = [&](const char* field) { return receipt.Text(field); };

  // The checks, on the values as the bill gives them.
  // Dated today: the receipt is new.
  const receipts::ReceiptRequisites requisites = receipts::RequisitesFromFields(receipt.tax, 0, text);
  QStringList problems;
  for (const receipts::RequisiteFailure& f : receipts::CheckReceiptRequisites(requisites)) problems << Q(f.text);
  tdb::TDataSet& table = register_.Table();
  for (const QrFieldValue& t : receipt.texts) {
    const int size = table.FieldByName(t.field).Size();
    if (size > 0 && tdb::Utf8ToCp1251(t.value).size() > static_cast<size_t>(size)) {
      problems << QStringLiteral("%1: текст длиннее %2 знаков, в квитанцию вошло только начало")
                      .arg(Label(t.field))
                      .arg(size);
    }
    // The receipts are kept in Windows-1251; a UTF-8 code may hold more.
    if (!receipts::EncodeQrText(t.value, receipts::QrCharset::kWindows1251)) {
      problems << QStringLiteral("%1: знаки, которых нет в кодировке Windows-1251, заменены на «?»").arg(Label(t.field));
    }
  }
  if (!problems.isEmpty()) {
    prompts_.ShowMessage(QStringLiteral("Реквизиты из QR-кода не прошли проверку:\n") + problems.join('\n') +
                         QStringLiteral("\n\nПроверьте их в квитанции."));
  }

  // The directories.
  std::vector<Found> entries;
  const std::string name = text(receipt_table::kRecipient);
  const std::string inn = text(receipt_table::kRecipientInn);
  const std::string account = text(receipt_table::kRecipientAccount);
  entries.push_back(LookSafely(
      {directories::RecipientsConfig(),
       [&](const tdb::TDataSet& e) {
         return SameText(e, recipient_table::kAccount, account) && (inn.empty() || SameText(e, recipient_table::kInn, inn));
       },
       {{recipient_table::kName, name},
        {recipient_table::kInn, inn},
        {recipient_table::kKpp, text(receipt_table::kRecipientKpp)},
        {recipient_table::kAccount, account},
        {recipient_table::kBank, text(receipt_table::kBank)},
        {recipient_table::kBik, text(receipt_table::kBik)},
        {recipient_table::kCorrAccount, text(receipt_table::kCorrAccount)}},
       QStringLiteral("Получателя «%1» (ИНН %2, счёт %3) нет в справочнике получателей. Добавить его?")
           .arg(Q(name), Q(inn.empty() ? "не указан" : inn), Q(account))},
      prompts_));
  const std::string payer = text(receipt_table::kPayer);
  if (!payer.empty()) {
    const QString payerName = Q(payer);
    entries.push_back(LookSafely(
        {directories::PayersConfig(),
         [&](const tdb::TDataSet& e) {
           return QString::compare(Q(Utf8Of(e.FieldByName(payer_table::kName))), payerName, Qt::CaseInsensitive) == 0;
         },
         {{payer_table::kName, payer},
          {payer_table::kAddress, text(receipt_table::kPayerAddress)},
          {payer_table::kInn, text(receipt_table::kPayerInn)},
          {payer_table::kAccount, text(receipt_table::kPayerAccount)}},
         QStringLiteral("Плательщика «%1» нет в справочнике плательщиков. Добавить его?").arg(payerName)},
        prompts_));
  }
  const std::string code = text(receipt_table::kBudgetCode);
  if (receipt.tax && !code.empty()) {
    entries.push_back(LookSafely(
        {directories::CodesConfig(), [&](const tdb::TDataSet& e) { return SameText(e, code_table::kCode, code); },
         {{code_table::kCode, code}, {code_table::kName, text(receipt_table::kPurpose)}},
         QStringLiteral("Кода бюджетной классификации %1 нет в справочнике кодов. Добавить его?").arg(Q(code)),
         [&](tdb::TDataSet& e) { e.FieldByName(code_table::kKind).SetAsInteger(KindOfCode(code)); }},
        prompts_));
  }

  // What the code left empty comes from the entries; what it gives stays.
  for (const Found& f : entries) {
    for (const QrFieldValue& v : f.values) {
      if (receipt.Text(v.field).empty() && !v.value.empty()) receipt.texts.push_back(v);
    }
  }
  register_.Create(receipt.tax ? ReceiptForm::Tax : ReceiptForm::Pd4, [&](tdb::TDataSet& record) {
    for (const QrFieldValue& t : receipt.texts) record.FieldByName(t.field).SetAsString(tdb::Utf8ToCp1251(t.value));
    record.FieldByName(receipt_table::kAmount).SetAsCurrency(receipt.summa);
    for (const Found& f : entries) record.FieldByName(f.numberField).SetAsInteger(f.nomer);
  });
  return true;
}

}  // namespace reg
