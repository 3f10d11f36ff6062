// "ОК" over a record other programs change too.
#include "ui/shared_record_edit.h"

#include <QStringList>
#include <QWidget>

#include "data/receipt_rules.h"
#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "ui/error_report.h"
#include "widgets/data_text.h"

namespace ui {

namespace {

QString Capitalized(const QString& text) { return text.isEmpty() ? text : text.front().toUpper() + text.mid(1); }

}  // namespace

void SharedRecordEdit::Begin(const tdb::TDataSet& record, const QString& what) {
  editing_ = record.State() == tdb::dsEdit;
  madeAnew_ = false;
  base_ = editing_ ? receipts::ValuesOf(record) : receipts::RecordValues{};
  what_ = what;
}

QString SharedRecordEdit::LabelOf(const std::string& field) const {
  if (!dialog_) return {};
  const QString name = QString::fromStdString(field);
  for (const QWidget* w : dialog_->findChildren<QWidget*>())
    if (w->objectName().compare(name, Qt::CaseInsensitive) == 0 && !w->accessibleName().isEmpty())
      return w->accessibleName();
  return {};
}

void SharedRecordEdit::PostNew(tdb::TDataSet& record, UiPrompts& prompts) {
  const tdb::TField* number = record.FindField(receipts::kNumberField);
  const int32_t typed = number ? number->AsInteger() : 0;
  record.Post();
  // A number the clerk typed over the offered one is stored as typed.
  if (!number || typed != record.OfferedNumber() || !receipts::NumberWasTaken(record)) return;
  if (madeAnew_) prompts.ShowMessage(words_.storedAs.arg(record.StoredNumber()));
  else prompts.ShowMessage(words_.numberTaken.arg(record.OfferedNumber()).arg(record.StoredNumber()));
}

bool SharedRecordEdit::Store(tdb::TDataSet& record, UiPrompts& prompts) {
  try {
    if (record.State() == tdb::dsInsert) {
      PostNew(record, prompts);
      return true;
    }
    record.Post();
  } catch (const tdb::EDatabaseError& e) {
    if (editing_ && receipts::ChangedByAnother(e)) {
      OfferReload(record, prompts);
      return false;
    }
    if (editing_ && receipts::DeletedByAnother(e)) {
      BecomeNew(record, receipts::ValuesOf(record), prompts);
      return false;
    }
    prompts.ShowError(ErrorText(e));
    return false;
  }
  return true;
}

void SharedRecordEdit::OfferReload(tdb::TDataSet& record, UiPrompts& prompts) {
  if (!prompts.AskYesNo(Capitalized(what_) +
                        QStringLiteral(" изменил другой пользователь, пока она была открыта у вас.\n\n"
                                       "Загрузить сохранённые им значения? Поля, которые изменили вы, "
                                       "останутся такими, как вы их ввели.")))
    return;  // everything stays as typed
  const receipts::RecordValues typed = receipts::ValuesOf(record);
  std::vector<receipts::FieldClash> clashes;
  receipts::RecordValues stored;
  try {
    clashes = receipts::ReloadKeepingTyped(record, base_, &stored);
  } catch (const tdb::EDatabaseError& e) {
    // Gone in the meantime: the dataset is back in browse state.
    if (receipts::DeletedByAnother(e)) BecomeNew(record, typed, prompts);
    else prompts.ShowError(ErrorText(e));
    return;
  }
  base_ = std::move(stored);

  // What the clerk now sees that differs from what was typed, and where both
  // changed one field (the clerk's value stands there).
  const receipts::RecordValues shown = receipts::ValuesOf(record);
  QStringList theirs;
  bool hidden = false;
  for (size_t i = 0; i < shown.size() && i < typed.size(); ++i) {
    if (shown[i] == typed[i]) continue;
    const tdb::TField& field = record.Field(static_cast<int>(i));
    const QString label = LabelOf(field.FieldName());
    if (label.isEmpty()) hidden = true;
    else theirs << QStringLiteral("%1: «%2»").arg(label, widgets::FieldText(field));
  }
  if (hidden) theirs << QStringLiteral("поля, которых нет в этом окне");
  QStringList both;
  for (const receipts::FieldClash& clash : clashes) {
    QString label = LabelOf(clash.field);
    if (label.isEmpty()) label = QString::fromStdString(clash.field);
    both << QStringLiteral("%1 (у другого пользователя: «%2»)").arg(label, widgets::FromCp1251(clash.theirs));
  }
  QString text = QStringLiteral("Загружены значения, сохранённые другим пользователем.");
  if (!theirs.isEmpty()) text += QStringLiteral("\n\nОн изменил:\n") + theirs.join(QLatin1Char('\n'));
  if (!both.isEmpty())
    text += QStringLiteral("\n\nЭти поля изменили и вы, и он; в них оставлено введённое вами:\n") +
            both.join(QLatin1Char('\n'));
  text += QStringLiteral("\n\nПроверьте и нажмите «ОК», чтобы сохранить.");
  prompts.ShowMessage(text);
}

void SharedRecordEdit::BecomeNew(tdb::TDataSet& record, const receipts::RecordValues& typed, UiPrompts& prompts) {
  tdb::TField* number = record.FindField(receipts::kNumberField);
  try {
    if (record.State() == tdb::dsEdit) record.Cancel();
    record.Insert();
    for (size_t i = 0; i < typed.size() && i < static_cast<size_t>(record.FieldCount()); ++i) {
      tdb::TField& field = record.Field(static_cast<int>(i));
      if (field.IsBlob() || typed[i].empty()) continue;
      std::vector<uint8_t> value = typed[i];
      field.SetData(value.data());
    }
    // Its own number again when the file shows it free; the next free one
    // otherwise.
    if (number) record.SetNewNumber(number->FieldName(), number->AsInteger());
  } catch (const tdb::EDatabaseError& e) {
    prompts.ShowError(ErrorText(e));
    return;
  }
  editing_ = false;
  madeAnew_ = true;
  base_.clear();
  prompts.ShowMessage(Capitalized(what_) +
                      QStringLiteral(" удалил другой пользователь, пока она была открыта у вас.\n\n"
                                     "Чтобы сохранить то, что в этом окне, как %1, нажмите «ОК»; "
                                     "«Отмена» закроет окно без сохранения.")
                          .arg(words_.newRecord));
}

}  // namespace ui
