// The filter bar's values read and written as the engine's filter text.
#include "register/receipt_filter.h"

#include <QRegularExpression>
#include <QStringList>
#include <vector>

#include "data/receipt_tables.h"
#include "engine/locale/format_settings.h"
#include "printing/receipt_forms.h"
#include "widgets/data_text.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;

namespace {

// A text constant of the filter language: quoted, a quote doubled.  The
// engine reads a filter up to its first NUL, so control characters (which
// no stored name holds) are dropped rather than passed on.
std::string Quoted(const QString& text) {
  std::string out = "'";
  for (char c : widgets::ToCp1251(text)) {
    if (static_cast<unsigned char>(c) < 32) continue;
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

// A date constant: the engine reads month/day/year whatever the locale.
std::string DateConstant(const QDate& date) {
  return "'" + date.toString(QStringLiteral("MM/dd/yyyy")).toStdString() + "'";
}

// `thousandths` of a rouble as a number of the filter language, whose
// decimal separator is the locale's.
std::string NumberConstant(int64_t thousandths) {
  const char separator = tdb::CurrentFormatSettings()->decimal_separator;
  const bool negative = thousandths < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(thousandths) : static_cast<uint64_t>(thousandths);
  std::string fraction = std::to_string(magnitude % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  return (negative ? "-" : "") + std::to_string(magnitude / 1000) + separator + fraction;
}

// `field` holds `part` somewhere.  Letter case is left to the filter's
// options (kFilterOptions).
std::string NameCondition(const char* field, const QString& part) {
  return std::string(field) + " LIKE " + Quoted(QLatin1Char('%') + part.simplified() + QLatin1Char('%'));
}

}  // namespace

QDate ReadFilterDate(const QString& text) {
  const QString t = text.trimmed();
  for (const char* format : {"dd.MM.yyyy", "d.M.yyyy"}) {
    const QDate date = QDate::fromString(t, QString::fromLatin1(format));
    if (date.isValid()) return date;
  }
  // A two-digit year is this century's.
  for (const char* format : {"dd.MM.yy", "d.M.yy"}) {
    QDate date = QDate::fromString(t, QString::fromLatin1(format));
    if (date.isValid()) return QDate(2000 + date.year() % 100, date.month(), date.day());
  }
  return {};
}

std::optional<int64_t> ReadFilterAmount(const QString& text) {
  QString t = text;
  t.remove(QRegularExpression(QStringLiteral("[\\s\\x{00A0}\\x{202F}]")));
  t.replace(QLatin1Char(','), QLatin1Char('.'));
  static const QRegularExpression amount(QStringLiteral("^(\\d{1,12})(?:\\.(\\d{0,2}))?$"));
  const QRegularExpressionMatch m = amount.match(t);
  if (!m.hasMatch()) return std::nullopt;
  QString kopecks = m.captured(2);
  while (kopecks.size() < 2) kopecks += QLatin1Char('0');
  return m.captured(1).toLongLong() * 100 + kopecks.toLongLong();
}

std::optional<std::string> BuildFilterText(const ReceiptFilter& filter, QString* error) {
  auto fail = [error](const QString& message) {
    if (error) *error = message;
    return std::nullopt;
  };
  std::vector<std::string> conditions;

  QDate from, to;
  if (!filter.dateFrom.trimmed().isEmpty()) {
    from = ReadFilterDate(filter.dateFrom);
    if (!from.isValid())
      return fail(QStringLiteral("«%1» в поле «Дата с» не дата. Напишите дату так: 01.03.2024.").arg(filter.dateFrom.trimmed()));
  }
  if (!filter.dateTo.trimmed().isEmpty()) {
    to = ReadFilterDate(filter.dateTo);
    if (!to.isValid())
      return fail(QStringLiteral("«%1» в поле «Дата по» не дата. Напишите дату так: 31.03.2024.").arg(filter.dateTo.trimmed()));
  }
  if (from.isValid() && to.isValid() && from > to)
    return fail(QStringLiteral("Дата «с» (%1) позже даты «по» (%2).")
                    .arg(from.toString(QStringLiteral("dd.MM.yyyy")), to.toString(QStringLiteral("dd.MM.yyyy"))));
  if (from.isValid()) conditions.push_back(std::string(receipt_table::kDate) + " >= " + DateConstant(from));
  if (to.isValid()) conditions.push_back(std::string(receipt_table::kDate) + " <= " + DateConstant(to));

  std::optional<int64_t> low, high;
  if (!filter.amountFrom.trimmed().isEmpty()) {
    low = ReadFilterAmount(filter.amountFrom);
    if (!low)
      return fail(QStringLiteral("«%1» в поле «Сумма от» не сумма. Напишите сумму так: 1 240,50.").arg(filter.amountFrom.trimmed()));
  }
  if (!filter.amountTo.trimmed().isEmpty()) {
    high = ReadFilterAmount(filter.amountTo);
    if (!high)
      return fail(QStringLiteral("«%1» в поле «Сумма до» не сумма. Напишите сумму так: 1 240,50.").arg(filter.amountTo.trimmed()));
  }
  if (low && high && *low > *high)
    return fail(QStringLiteral("Сумма «от» больше суммы «до»."));
  // Amounts are whole kopecks; half a kopeck of room makes a bound hold
  // exactly whatever rounding the stored value went through.
  if (low) conditions.push_back(std::string(receipt_table::kAmount) + " >= " + NumberConstant(*low * 10 - 5));
  if (high) conditions.push_back(std::string(receipt_table::kAmount) + " <= " + NumberConstant(*high * 10 + 5));

  if (!filter.payer.simplified().isEmpty()) conditions.push_back(NameCondition(receipt_table::kPayer, filter.payer));
  if (!filter.recipient.simplified().isEmpty())
    conditions.push_back(NameCondition(receipt_table::kRecipient, filter.recipient));

  // A receipt stored without the flag is a PD-4, as the register opens it.
  const std::string tax = std::string(receipt_table::kTax) + " = TRUE";
  if (filter.kind == ReceiptKind::Tax) conditions.push_back(tax);
  if (filter.kind == ReceiptKind::Pd4) conditions.push_back("NOT (" + tax + ")");
  if (!filter.showMarked) conditions.push_back("NOT (" + std::string(receipt_table::kDeleted) + " = TRUE)");

  std::string text;
  for (const std::string& c : conditions) text += (text.empty() ? "" : " AND ") + c;
  return text;
}

QString TotalText(tdb::TCurrency amount) { return printing::AmountText(amount); }

}  // namespace reg
