// The receipt dialogs' shared rules.
#include "entry/receipt_entry.h"

#include <QFocusEvent>
#include <QWidget>

#include "ui/error_report.h"
#include "ui/ui_prompts.h"
#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"

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

QStringList PeriodSuggestions(const QDate& today) {
  const int month = today.month();
  auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
  const QString year = QString::number(today.year());
  return {QStringLiteral("МС.") + two(month) + QLatin1Char('.') + year,
          QStringLiteral("КВ.") + two((month - 1) / 3 + 1) + QLatin1Char('.') + year,
          QStringLiteral("ПЛ.") + two(month <= 6 ? 1 : 2) + QLatin1Char('.') + year,
          QStringLiteral("ГД.00.") + year};
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
