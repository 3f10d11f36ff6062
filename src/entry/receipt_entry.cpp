// The receipt dialogs' shared rules.
#include "entry/receipt_entry.h"

#include <QFocusEvent>
#include <cmath>
#include <cstdlib>
#include <QWidget>

#include "ui/error_report.h"
#include "ui/ui_prompts.h"
#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "data/requisites.h"
#include "widgets/data_text.h"

namespace entry {

namespace receipt_table = receipts::receipt_table;

QDate SystemToday() { return QDate::currentDate(); }

const std::vector<TaxBox>& TaxBoxes() {
  static const std::vector<TaxBox> boxes = {
      {receipt_table::kStatus, {"02", "03", "09", "10", "11", "12", "13", "14"}},
      {receipt_table::kReason,
       {QStringLiteral("ТП"), QStringLiteral("ЗД"), QStringLiteral("ТР"), QStringLiteral("РС"),
        QStringLiteral("ОТ"), QStringLiteral("АП"), QStringLiteral("АР")}},
      {receipt_table::kPeriod, {}},
      {receipt_table::kPaymentType,
       {QStringLiteral("НС"), QStringLiteral("ПЛ"), QStringLiteral("ГП"), QStringLiteral("ВЗ"),
        QStringLiteral("АВ"), QStringLiteral("ПЕ"), QStringLiteral("ПЦ"), QStringLiteral("СА"),
        QStringLiteral("АШ"), QStringLiteral("ИШ")}},
  };
  return boxes;
}

QString CodeMeaning(const char* field, const QString& code) {
  struct Meaning {
    const char* field;
    const char16_t* code;
    const char16_t* meaning;
  };
  static const Meaning meanings[] = {
      {receipt_table::kStatus, u"02", u"налоговый агент"},
      {receipt_table::kStatus, u"03", u"сборщик налогов (позже — почтовое отделение)"},
      {receipt_table::kStatus, u"09", u"индивидуальный предприниматель"},
      {receipt_table::kStatus, u"10", u"нотариус"},
      {receipt_table::kStatus, u"11", u"адвокат"},
      {receipt_table::kStatus, u"12", u"глава крестьянского хозяйства"},
      {receipt_table::kStatus, u"13", u"физическое лицо"},
      {receipt_table::kStatus, u"14", u"плательщик выплат физическим лицам"},
      {receipt_table::kReason, u"ТП", u"платежи текущего года"},
      {receipt_table::kReason, u"ЗД", u"добровольное погашение долга без требования"},
      {receipt_table::kReason, u"ТР", u"погашение по требованию налогового органа"},
      {receipt_table::kReason, u"РС", u"погашение рассроченного долга"},
      {receipt_table::kReason, u"ОТ", u"погашение отсроченного долга"},
      {receipt_table::kReason, u"АП", u"погашение по акту проверки"},
      {receipt_table::kReason, u"АР", u"погашение по исполнительному документу"},
      {receipt_table::kPaymentType, u"НС", u"налог или сбор"},
      {receipt_table::kPaymentType, u"ПЛ", u"платёж"},
      {receipt_table::kPaymentType, u"ГП", u"пошлина"},
      {receipt_table::kPaymentType, u"ВЗ", u"взнос"},
      {receipt_table::kPaymentType, u"АВ", u"авансовый платёж"},
      {receipt_table::kPaymentType, u"ПЕ", u"пени"},
      {receipt_table::kPaymentType, u"ПЦ", u"проценты"},
      {receipt_table::kPaymentType, u"СА", u"налоговая санкция"},
      {receipt_table::kPaymentType, u"АШ", u"административный штраф"},
      {receipt_table::kPaymentType, u"ИШ", u"иной штраф"},
  };
  for (const Meaning& m : meanings)
    if (qstrcmp(m.field, field) == 0 && code == QString::fromUtf16(m.code)) return QString::fromUtf16(m.meaning);
  return {};
}

QString ListItemCode(const QString& text) {
  const qsizetype dash = text.indexOf(QStringLiteral(" — "));
  return dash < 0 ? text : text.left(dash);
}

QStringList PeriodSuggestions(const QDate& today) {
  const int month = today.month();
  auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
  const QString year = QString::number(today.year());
  return {QStringLiteral("МС.") + two(month) + QLatin1Char('.') + year,
          QStringLiteral("КВ.") + two((month - 1) / 3 + 1) + QLatin1Char('.') + year,
          QStringLiteral("ПЛ.") + two(month <= 6 ? 1 : 2) + QLatin1Char('.') + year,
          QStringLiteral("ГД.00.") + year};
}

QStringList ReceiptOmissions(const tdb::TDataSet& receipt, bool checkPayerInn, const QDate& today) {
  QStringList out;
  auto text = [&receipt](const char* field) { return widgets::FieldText(receipt.FieldByName(field)).trimmed(); };
  if (text(receipt_table::kPayer).isEmpty()) out << QStringLiteral("Не указан плательщик.");
  if (text(receipt_table::kRecipient).isEmpty()) out << QStringLiteral("Не указан получатель.");
  if (receipt.FieldByName(receipt_table::kAmount).AsCurrency().value == 0) out << QStringLiteral("Сумма равна нулю.");
  // Day 0 is 30.12.1899: what a cleared date editor leaves behind.
  const tdb::TField& dateField = receipt.FieldByName(receipt_table::kDate);
  const double days = dateField.AsDateTime();
  if (days < 1) {
    out << QStringLiteral("Не указана дата.");
  } else {
    const QDate date = QDate(1899, 12, 30).addDays(static_cast<qint64>(days));
    if (std::abs(date.daysTo(today)) > 365)
      out << QStringLiteral("Дата %1 отстоит от сегодняшней больше чем на год.").arg(date.toString(QStringLiteral("dd.MM.yyyy")));
  }
  if (checkPayerInn) {
    const QString inn = text(receipt_table::kPayerInn);
    if (!inn.isEmpty() && inn != QStringLiteral("0")) {
      if (const receipts::Complaint complaint = receipts::CheckInn(inn.toStdString(), receipts::InnKind::kAny))
        out << QStringLiteral("ИНН плательщика: %1").arg(QString::fromStdString(*complaint));
    }
  }
  return out;
}

bool StoreReceipt(tdb::TDataSet& receipt, ui::UiPrompts& prompts) {
  try {
    receipt.Post();
    return true;
  } catch (const tdb::EDatabaseError& e) {
    prompts.ShowError(ui::ErrorText(e));
    return false;
  }
}

OpenOnEntry::OpenOnEntry(QWidget* editor, std::function<bool()> isEmpty, std::function<void()> open)
    : QObject(editor), editor_(editor), isEmpty_(std::move(isEmpty)), open_(std::move(open)) {
  editor_->installEventFilter(this);
}

void OpenOnEntry::Open() {
  armed_ = false;  // the focus coming back below is no entry
  open_();
  editor_->setFocus(Qt::OtherFocusReason);
}

bool OpenOnEntry::eventFilter(QObject* watched, QEvent* event) {
  if (watched == editor_) {
    if (event->type() == QEvent::FocusOut) {
      // Losing the focus to another window (the directory itself, a message
      // box) is not leaving the editor.
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) armed_ = true;
    } else if (event->type() == QEvent::FocusIn) {
      const auto reason = static_cast<QFocusEvent*>(event)->reason();
      const bool entered = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                           reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
      // The directory is shown once the focus change is complete, not from
      // inside it.
      if (entered && armed_ && isEmpty_()) {
        armed_ = false;
        QMetaObject::invokeMethod(
            this, [this] { if (editor_->hasFocus() && isEmpty_()) Open(); }, Qt::QueuedConnection);
      }
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace entry
