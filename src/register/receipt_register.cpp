// The register's commands on the receipts dataset.
#include "register/receipt_register.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/data_home.h"
#include "register/receipt_filter.h"
#include "data/receipt_rules.h"
#include "data/receipt_tables.h"
#include "data/record_changes.h"
#include "engine/base/ascii.h"
#include "engine/dataset/dada_table.h"
#include "widgets/data_text.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;
namespace {

using tdb::TDataSet;

bool Pending(const TDataSet& table) {
  return table.State() == tdb::dsEdit || table.State() == tdb::dsInsert;
}

// Drops a pending insert or edit; used on the way out of a failed command,
// where a second failure must not hide the first.
void CancelQuietly(TDataSet& table) {
  try {
    if (Pending(table)) table.Cancel();
  } catch (...) {
  }
}

// Whether the key of the current index holds `field`: renumbering in that
// order moves the receipts it renumbers.
bool CurrentIndexHolds(const TDataSet& table, std::string_view field) {
  const std::string fields = table.IndexFields();
  if (fields.empty()) return false;
  size_t start = 0;
  while (start <= fields.size()) {
    size_t end = fields.find_first_of(",;", start);
    if (end == std::string::npos) end = fields.size();
    if (tdb::SameAsciiIgnoringCase(std::string_view(fields).substr(start, end - start), field)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

const std::array<RegisterColumn, 7>& RegisterColumns() {
  static const std::array<RegisterColumn, 7> columns = {{
      {u"Номер", receipt_table::kNumber, 0, receipt_table::kByNumber},
      {u"Дата", receipt_table::kDate, 71, receipt_table::kByDate},
      {u"Документ", receipt_table::kDocument, 119, nullptr},
      {u"Плательщик", receipt_table::kPayer, 164, receipt_table::kByPayer},
      {u"Сумма", receipt_table::kAmount, 84, receipt_table::kByAmount},
      {u"Получатель", receipt_table::kRecipient, 255, receipt_table::kByRecipient},
      {u"Назначение платежа", receipt_table::kPurpose, 482, nullptr},
  }};
  return columns;
}

// The current receipt's record number, none when there is none.
std::optional<tdb::TBookmark> CurrentBookmark(const TDataSet& table) {
  if (!table.Active() || table.IsEmpty() || table.State() != tdb::dsBrowse) return std::nullopt;
  return table.GetBookmark();
}

// Makes the receipt `bookmark` current again when the view still holds it.
void ReturnTo(TDataSet& table, std::optional<tdb::TBookmark> bookmark) {
  if (!bookmark || CurrentBookmark(table) == bookmark) return;
  try {
    table.GotoBookmark(*bookmark);
  } catch (const tdb::EDatabaseError&) {
    // Gone (another program deleted it): the dataset's own choice stays.
  }
}

ReceiptRegister::ReceiptRegister(TDataSet& table, ui::UiPrompts& prompts, ReceiptDialogs& dialogs)
    : table_(table), prompts_(prompts), dialogs_(dialogs) {}

void ReceiptRegister::Open() {
  receipts::Home().SetTable(table_, receipt_table::kFile, receipt_table::kTable, receipt_table::kByNumber);
  table_.Open();
  sortColumn_ = 0;
  descending_ = false;
  if (!viewFilter_.empty()) ApplyViewFilter();
}

bool ReceiptRegister::HasRecords() const { return table_.Active() && table_.RecordCount() > 0; }

bool ReceiptRegister::SortBy(int column) {
  return SetOrder(column, column == sortColumn_ ? !descending_ : false);
}

bool ReceiptRegister::SetOrder(int column, bool descending) {
  if (column < 0 || column >= static_cast<int>(RegisterColumns().size())) return false;
  const char* index = RegisterColumns()[static_cast<size_t>(column)].index;
  if (!index || !table_.Active()) return false;
  if (column != sortColumn_ || table_.IndexName() != index) {
    table_.CheckBrowseMode();
    const std::optional<tdb::TBookmark> current = CurrentBookmark(table_);
    table_.SetIndexName(index);
    // The receipt the clerk was on stays current in the new order.
    ReturnTo(table_, current);
  }
  sortColumn_ = column;
  descending_ = descending;
  return true;
}

void ReceiptRegister::ApplyViewFilter() {
  table_.SetFilterOptions(kFilterOptions);
  table_.SetFilter(viewFilter_);
  table_.SetFiltered(!viewFilter_.empty());
}

void ReceiptRegister::SetViewFilter(const std::string& text) {
  if (!table_.Active()) {
    viewFilter_ = text;
    return;
  }
  table_.CheckBrowseMode();
  const std::optional<tdb::TBookmark> current = CurrentBookmark(table_);
  const std::string previous = viewFilter_;
  viewFilter_ = text;
  try {
    ApplyViewFilter();
  } catch (...) {
    viewFilter_ = previous;
    try {
      ApplyViewFilter();
    } catch (...) {
    }
    throw;
  }
  ReturnTo(table_, current);
}

ReceiptRegister::Totals ReceiptRegister::ShownTotals() const {
  Totals totals;
  if (!table_.Active()) return totals;
  totals.count = table_.RecordCount();
  const tdb::TField* amount = &table_.FieldByName(receipt_table::kAmount);
  int field = 0;
  while (&table_.Field(field) != amount) ++field;
  // A server sums under the view's filter; the data folder's values are read.
  if (const std::optional<tdb::TCurrency> total = receipts::Home().ViewTotal(table_, field)) {
    totals.amount = *total;
    return totals;
  }
  int64_t sum = 0;
  constexpr int kStep = 4096;
  for (int first = 0; first < totals.count; first += kStep) {
    for (const tdb::TVariant& amount : table_.ReadValues(first, kStep, field)) {
      if (const double* value = std::get_if<double>(&amount)) sum += tdb::TCurrency::FromDouble(*value).value;
    }
  }
  totals.amount.value = sum;
  return totals;
}

QString ReceiptRegister::OrderName() const {
  static const char16_t* const names[] = {u"по номеру", u"по дате",  nullptr,       u"по плательщику",
                                          u"по сумме",  u"по получателю", nullptr};
  const char16_t* name = sortColumn_ >= 0 && sortColumn_ < 7 ? names[sortColumn_] : nullptr;
  const QString order = name ? QString::fromUtf16(name) : QStringLiteral("по номеру");
  return descending_ ? order + QStringLiteral(", по убыванию") : order;
}

void ReceiptRegister::InsertNumbered() {
  try {
    receipts::InsertNumbered(table_);
  } catch (...) {
    CancelQuietly(table_);
    throw;
  }
}

void ReceiptRegister::ShowThenCancel(ReceiptForm form, const QString& caption, bool focusNumber) {
  try {
    dialogs_.Show(form, caption, focusNumber);
  } catch (...) {
    CancelQuietly(table_);
    throw;
  }
  if (Pending(table_)) table_.Cancel();
}

ReceiptForm ReceiptRegister::FormOfCurrent() const {
  return table_.FieldByName(receipt_table::kTax).AsBoolean() ? ReceiptForm::Tax : ReceiptForm::Pd4;
}

QString ReceiptRegister::CaptionOfCurrent() const {
  return QStringLiteral("Квитанция №%1 (%2)")
      .arg(table_.FieldByName(receipt_table::kNumber).AsInteger())
      .arg(widgets::FieldText(table_.FieldByName(receipt_table::kPayer)));
}

void ReceiptRegister::Create(ReceiptForm form, const std::function<void(tdb::TDataSet&)>& fill) {
  InsertNumbered();
  try {
    const bool tax = form == ReceiptForm::Tax;
    table_.FieldByName(receipt_table::kDocument).SetAsString(widgets::ToCp1251(QString::fromUtf16(tax ? kTaxDocument : kPd4Document)));
    if (tax) table_.FieldByName(receipt_table::kTax).SetAsBoolean(true);
    if (fill) fill(table_);
  } catch (...) {
    CancelQuietly(table_);
    throw;
  }
  ShowThenCancel(form, QStringLiteral("Квитанция *Новая"), true);
}

void ReceiptRegister::Edit() {
  if (!HasRecords()) return;
  if (table_.FieldByName(receipt_table::kDeleted).AsBoolean()) {
    prompts_.ShowMessage(QStringLiteral("Нельзя изменить запись, помеченную на удаление!"));
    return;
  }
  const QString caption = CaptionOfCurrent();
  const ReceiptForm form = FormOfCurrent();
  table_.Edit();
  ShowThenCancel(form, caption, false);
}

bool ReceiptRegister::CurrentIsMarked() const {
  return HasRecords() && table_.FieldByName(receipt_table::kDeleted).AsBoolean();
}

void ReceiptRegister::Mark() {
  if (!HasRecords()) return;
  const bool marked = CurrentIsMarked();
  if (!prompts_.AskYesNo(marked ? QStringLiteral("Снять пометку?") : QStringLiteral("Удалить текущую запись?"))) return;
  // The mark alone changes, on the receipt as stored now: what another
  // program changed in it since it was read stays.
  receipts::ChangeStoredRecord(
      table_, [marked](tdb::TDataSet& receipt) { receipt.FieldByName(receipt_table::kDeleted).SetAsBoolean(!marked); });
}

void ReceiptRegister::Copy() {
  if (!HasRecords()) return;
  // Raw values in the fields' own encodings: a copy is exact, whatever the
  // type of each field.
  std::vector<std::pair<tdb::TField*, std::vector<uint8_t>>> values;
  for (const char* name : receipts::ReceiptCopyFields()) {
    tdb::TField& field = table_.FieldByName(name);
    std::vector<uint8_t> bytes(static_cast<size_t>(field.DataSize()));
    field.GetData(bytes.data());
    values.emplace_back(&field, std::move(bytes));
  }
  InsertNumbered();
  QString caption;
  ReceiptForm form;
  try {
    for (auto& [field, bytes] : values) field->SetData(bytes.data());
    caption = CaptionOfCurrent();
    form = FormOfCurrent();
  } catch (...) {
    CancelQuietly(table_);
    throw;
  }
  ShowThenCancel(form, caption, false);
}

bool ReceiptRegister::Purge(const std::function<void()>& begin, const Progress& progress,
                            const std::function<void()>& end) {
  lastPurge_ = {};
  // The first question says what happens to the receipts that remain: they
  // are numbered from 1 in the order the register shows them now.
  QString question = QStringLiteral("Вы действительно желаете удалить все помеченные на удаление записи?");
  if (descending_)
    question += QStringLiteral("\n\nОставшиеся квитанции будут перенумерованы с 1 от нижней строки списка к "
                               "верхней; порядок сейчас: %1.").arg(OrderName());
  else
    question += QStringLiteral("\n\nОставшиеся квитанции будут перенумерованы с 1 в порядке, "
                               "показанном сейчас: %1.").arg(OrderName());
  // A filter shows only some receipts; the numbers go to all of them.
  if (!viewFilter_.empty())
    question += QStringLiteral("\nОтбор на это время снимается: перенумеруются все квитанции, и не отобранные тоже.");
  if (!prompts_.AskYesNo(question)) {
    return false;
  }
  if (!prompts_.AskYesNo(QStringLiteral("Все записи, помеченные на удаление, будут удалены. Продолжить?"))) {
    return false;
  }
  if (!table_.Active()) return false;
  table_.CheckBrowseMode();
  // What other programs have stored by now is purged and numbered too.
  table_.RefreshIfChanged();
  if (table_.Filtered()) table_.SetFiltered(false);
  if (begin) begin();
  const int total = table_.RecordCount();
  int done = 0;
  const std::string index = table_.IndexName();
  try {
    if (const std::optional<receipts::DataHome::PurgeCount> purged = receipts::Home().PurgeMarked(table_)) {
      // The home removes and renumbers in one change, whole or not at all.
      lastPurge_.removed = purged->removed;
      lastPurge_.renumbered = purged->renumbered;
      if (progress) progress(total, total);
    } else {
      // On a database file, one batch of changes: the file lock is held over
      // stretches of changes (a receipt's look and its deletion under one
      // hold), and each stretch is flushed once, not each change.
      std::optional<tdb::TDadaTable::TChangeBatch> batch;
      if (auto* file_table = dynamic_cast<tdb::TDadaTable*>(&table_)) batch.emplace(*file_table);
      DeleteMarked(progress, total, done);
      Renumber(progress, total, done);
      if (batch) batch->Finish();  // a failure of the last flush is the purge's
    }
  } catch (...) {
    // Back to the table in the user's order and filter, readable, in browse
    // state.
    CancelQuietly(table_);
    try {
      if (table_.Filtered()) table_.SetFiltered(false);
      table_.SetFilter("");
      if (table_.IndexName() != index) table_.SetIndexName(index);
      if (!viewFilter_.empty()) ApplyViewFilter();
    } catch (...) {
    }
    if (end) end();
    throw;
  }
  // The clerk's filter again, on the last receipt it shows.
  if (!viewFilter_.empty()) {
    try {
      ApplyViewFilter();
      table_.Last();
    } catch (...) {
      if (end) end();
      throw;
    }
  }
  if (end) end();
  return true;
}

void ReceiptRegister::DeleteMarked(const Progress& progress, int total, int& done) {
  table_.SetFiltered(false);
  table_.SetFilter("slugebnoe=true");
  table_.SetFiltered(true);
  // The receipts the view shows marked, each looked at as stored now: one
  // another program has unmarked since stays, one it has deleted is gone.
  int kept = 0;
  while (table_.RecordCount() > kept) {
    table_.SetRecNo(kept + 1);
    try {
      if (!StillMarked()) {
        ++kept;
        continue;
      }
      table_.Delete();
    } catch (const tdb::EDatabaseError& e) {
      if (!receipts::DeletedByAnother(e)) throw;
      table_.Refresh();
      kept = 0;
      continue;
    }
    ++lastPurge_.removed;
    ++done;
    if (progress) progress(done, total);
  }
  table_.SetFiltered(false);
  table_.SetFilter("");
}

void ReceiptRegister::Renumber(const Progress& progress, int total, int& done) {
  // The order to number by is the one shown now.  Taken as record numbers
  // before anything changes: in an order by `nomer` a renumbered receipt
  // may move (duplicate or edited numbers), and walking that order with Next
  // would then skip receipts or number some twice.
  // Turned round, the numbers still ascend with the index, so the list
  // shows the same order afterwards: the top row gets the highest number.
  std::vector<tdb::TBookmark> order;
  for (const tdb::TRowValues& row : table_.ReadRows(0, table_.RecordCount(), {})) order.push_back(row.Bookmark);
  const int count = static_cast<int>(order.size());

  const std::string index = table_.IndexName();
  const bool moves = CurrentIndexHolds(table_, receipt_table::kNumber);
  if (moves) table_.SetIndexName("");  // record order, or the primary index
  // In record order nothing moves while numbers change: the positions are
  // read once.  An order by an index is searched for each receipt.
  std::unordered_map<tdb::TBookmark, int> positions;
  const bool fixed = !moves || table_.IndexFields().empty();
  if (moves && fixed) {
    int p = 0;
    for (const tdb::TRowValues& row : table_.ReadRows(0, table_.RecordCount(), {})) positions[row.Bookmark] = p++;
  }

  tdb::TField& nomer = table_.FieldByName(receipt_table::kNumber);
  int next = 1;
  for (int i = 0; i < count; ++i) {
    const tdb::TBookmark bookmark = order[static_cast<size_t>(i)];
    if (!moves) {
      table_.SetRecNo(i + 1);
    } else if (fixed) {
      const auto at = positions.find(bookmark);
      if (at == positions.end()) continue;
      table_.SetRecNo(at->second + 1);
    } else {
      try {
        table_.GotoBookmark(bookmark);
      } catch (const tdb::EDatabaseError&) {
        continue;
      }
    }
    // The number alone changes, on the receipt as stored now; one another
    // program has deleted meanwhile takes no number.
    try {
      if (nomer.AsInteger() != next) {
        receipts::SetNumber(table_, next);
        ++lastPurge_.renumbered;
      }
      ++next;
    } catch (const tdb::EDatabaseError& e) {
      if (!receipts::DeletedByAnother(e)) throw;
    }
    ++done;
    if (progress) progress(done, total);
  }
  if (moves) table_.SetIndexName(index);
  table_.Last();
}

bool ReceiptRegister::StillMarked() {
  table_.Edit();  // reads the receipt as stored now; raises when it is gone
  const bool marked = table_.FieldByName(receipt_table::kDeleted).AsBoolean();
  table_.Cancel();
  return marked;
}

bool ReceiptRegister::Reread(bool activated) {
  if (!table_.Active() || table_.State() != tdb::dsBrowse) return false;
  // A file's table looks at the file, a server's at the changes announced
  // to its session: either costs nothing when no one changed the register.
  (void)activated;
  return table_.RefreshIfChanged();
}

}  // namespace reg
