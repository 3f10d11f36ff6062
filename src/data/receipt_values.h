// A read-only view of one receipt's field values, by field name.
//
// Printing and the payment code read a receipt through this view, so they do
// not care whether the values come from the register's current record or from
// a test's table of values.  Names are the receipts table's field names and,
// like the engine's, are matched without regard to case.  DataSetReceipt reads
// the current record of an open dataset; it holds the dataset by reference,
// which must stay open while the view is used.  User-interface thread only,
// like the dataset it reads.
#pragma once

#include <string>
#include <string_view>

#include "engine/dataset/currency.h"
#include "engine/locale/date_time.h"

namespace tdb {
class TDataSet;
}

namespace receipts {

class ReceiptValues {
 public:
  virtual ~ReceiptValues() = default;
  // A string field's text in Windows-1251, untrimmed; empty when nothing was
  // entered.
  virtual std::string Text(std::string_view field) const = 0;
  // An amount field; 0 when nothing was entered.
  virtual tdb::TCurrency Amount(std::string_view field) const = 0;
  virtual bool Flag(std::string_view field) const = 0;
  // A date field's calendar date.  Raises tdb::EDatabaseError when the stored
  // value is not a date.
  virtual tdb::TDateParts Date(std::string_view field) const = 0;
};

class DataSetReceipt final : public ReceiptValues {
 public:
  // REQUIRES: `dataset` is open and outlives this view.  An unknown field name
  // raises the engine's "Field '%s' not found".
  explicit DataSetReceipt(const tdb::TDataSet& dataset) : dataset_(dataset) {}

  std::string Text(std::string_view field) const override;
  tdb::TCurrency Amount(std::string_view field) const override;
  bool Flag(std::string_view field) const override;
  tdb::TDateParts Date(std::string_view field) const override;

 private:
  const tdb::TDataSet& dataset_;
};

}  // namespace receipts
