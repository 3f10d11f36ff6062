// ReceiptFilter: what the clerk asks of the register's filter bar, and its
// translation into a filter text of the engine.
//
// Every value is typed text; BuildFilterText reads each one (dates as
// дд.мм.гггг, amounts as "1 240,50" or "1240.50") and writes the engine's
// filter text from the values it read, never from the typed text itself:
// a date or an amount reaches the filter as a number or a date constant of
// our own making, a name as a quoted constant with its quotes doubled and
// control characters dropped.  A value that cannot be read gives a Russian
// message naming the field and nothing else.
//
// Names match anywhere in the stored name, without regard to letter case
// when the filter is applied with kFilterOptions: "иванов" finds "Иванов",
// "ИВАНОВ" and "иВАНОВ".
#pragma once

#include <QDate>
#include <QString>
#include <optional>
#include <string>

#include "engine/dataset/currency.h"
#include "engine/filter/filter_source.h"

namespace reg {

enum class ReceiptKind { Any, Pd4, Tax };

struct ReceiptFilter {
  QString dateFrom, dateTo;      // дд.мм.гггг; empty: no bound
  QString payer, recipient;      // a part of the name; empty: any
  ReceiptKind kind = ReceiptKind::Any;
  QString amountFrom, amountTo;  // roubles, "1 240,50"; empty: no bound
  bool showMarked = true;        // false hides the receipts marked for deletion

  bool operator==(const ReceiptFilter&) const = default;
};

// The options a filter text of BuildFilterText is applied with: names
// compared without regard to the case of any letter.
inline constexpr tdb::TFilterOptions kFilterOptions = tdb::foCaseInsensitive | tdb::foLikeFoldsEveryLetter;

// The filter text for `filter` (empty when it asks for nothing: every
// receipt shows), or nothing with `*error` set to the Russian message.
std::optional<std::string> BuildFilterText(const ReceiptFilter& filter, QString* error);

// A date as the filter bar reads it (дд.мм.гггг, д.м.гггг or дд.мм.гг);
// an invalid QDate when the text is no date.
QDate ReadFilterDate(const QString& text);
// An amount as the filter bar reads it, in whole kopecks; nothing when the
// text is no amount of at most two kopeck digits.
std::optional<int64_t> ReadFilterAmount(const QString& text);

// An amount as the register's status bar writes it: "1 240,50".
QString TotalText(tdb::TCurrency amount);

}  // namespace reg
