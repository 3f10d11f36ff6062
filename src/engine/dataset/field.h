// TField: one column of an open dataset, with typed access to its value in
// the buffer that the dataset's state selects.
//
// A field is created by its dataset when the dataset opens and destroyed when
// it closes; pointers to it are valid while the dataset stays open.  The value
// lives in the dataset's record buffers in the in-memory encoding of its type
// (see engine/format/field_types.h); the accessors convert between that
// encoding and strings (Windows-1251), integers, booleans, doubles, currency
// amounts and date-time values (days since 30 December 1899 with the time as
// a fraction).  A data field of this engine is never null: nothing written
// reads as zero or empty text.  A conversion that makes no sense raises
// EFieldError ("'abc' is not a valid integer value"), which names the field
// so that a screen can put the focus on the editor of the value refused.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/database_error.h"
#include "engine/dataset/currency.h"
#include "engine/format/field_types.h"

namespace tdb {

class TDataSet;

// A value that a field cannot take or give.
class EFieldError : public EDatabaseError {
 public:
  EFieldError(const std::string& message, std::string field_name, TErrorKind kind = ekInvalidValue)
      : EDatabaseError(kind, message, FieldParams(field_name)), field_name_(std::move(field_name)) {}
  // The name of the field, as the dataset's field list spells it.
  const std::string& FieldName() const { return field_name_; }

 private:
  static TErrorParams FieldParams(const std::string& field_name) {
    TErrorParams params;
    params.Field = field_name;
    return params;
  }
  std::string field_name_;
};

class TField {
 public:
  // field_no is the 1-based position of the field in the table's storage order.
  TField(TDataSet* dataset, std::string name, TFieldType type, int32_t size, int field_no);
  TField(const TField&) = delete;
  TField& operator=(const TField&) = delete;

  TDataSet* DataSet() const { return dataset_; }
  const std::string& FieldName() const { return name_; }
  int FieldNo() const { return field_no_; }
  TFieldType DataType() const { return type_; }
  // Declared size: characters for the string types, 0 for the others.
  int32_t Size() const { return size_; }
  // Bytes of the value in a record buffer; 0 for blob fields, whose content
  // goes through the dataset's blob access only.
  int32_t DataSize() const;
  bool IsBlob() const { return IsBlobFieldType(type_); }

  // Offset of the value in a record buffer's data area; set by the dataset.
  int32_t Offset() const { return offset_; }
  void SetOffset(int32_t offset) { offset_ = offset; }

  // Raw value in the current buffer.  GetData copies DataSize() bytes and
  // answers false when the state selects no buffer; SetData writes them.
  bool GetData(void* dst) const;
  void SetData(const void* src);

  std::string AsString() const;
  void SetAsString(std::string_view text);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  double AsFloat() const;
  void SetAsFloat(double value);
  TCurrency AsCurrency() const;
  void SetAsCurrency(TCurrency value);
  double AsDateTime() const;
  void SetAsDateTime(double value);

  // The value as a user edits it: numbers without display formatting, dates
  // in the short date format.  Same as AsString for this engine's types.
  std::string EditText() const { return AsString(); }

  // Converts a value held in raw bytes of this field's encoding (a record
  // buffer that is not current, for instance).
  std::string TextOf(const uint8_t* value) const;

 private:
  // The field's value as a 64-bit integer, a double or a date-time, read from
  // raw bytes of its encoding.
  int64_t IntegerOf(const uint8_t* value) const;
  double FloatOf(const uint8_t* value) const;
  double DateTimeOf(const uint8_t* value) const;

  void Store(const void* bytes);
  void StoreInteger(int64_t value);
  void StoreFloat(double value);
  void StoreDateTime(double value);
  [[noreturn]] void ConversionError(std::string_view target) const;
  // Raises EFieldError with the dataset's name as the prefix.
  [[noreturn]] void ValueError(const std::string& message, TErrorKind kind = ekInvalidValue) const;
  void ReadValue(uint8_t* dst) const;

  TDataSet* dataset_;
  std::string name_;
  TFieldType type_;
  int32_t size_;
  int field_no_;
  int32_t offset_ = 0;
};

}  // namespace tdb
