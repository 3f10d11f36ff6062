// Comparison of two field values in their stored encodings: the one typed
// comparison that index searches (CompareKeyValue) and the filter language's
// relations and IN lists share.
//
// Type classes and how each compares:
//   numeric   ftSmallint ftWord ftInteger ftAutoInc ftLargeint ftFloat
//             ftCurrency: integers exactly as 64-bit values; when either
//             side is ftFloat or ftCurrency, both as doubles
//   text      ftString ftFixedChar, and the blob contents of ftBlob ftMemo
//             ftGraphic ftFmtMemo read as text: by the collation (collation.h)
//   boolean   ftBoolean: by the low byte of the 16-bit value
//   date/time ftDate with ftDate and ftTime with ftTime by the stored number;
//             ftDate with ftDateTime by that day's midnight; ftDateTime with
//             ftDateTime as doubles
// Any other pairing (two classes, ftTime with ftDate or ftDateTime, a type
// outside the classes) raises EDatabaseError "Type mismatch in expression";
// callers check their types before they compare.
//
// Stateless; safe from any thread.  The values' bytes belong to the caller
// and are only read during the call.
#pragma once

#include <cstddef>

#include "engine/format/field_types.h"

namespace tdb {

// A value in its field encoding (little-endian numbers; text as Windows-1251
// characters).  Text ends at the first NUL, or after `text_length` bytes when
// that is 0 or more (blob contents, or a slot whose end must not be passed).
struct TFieldValue {
  const void* data = nullptr;
  TFieldType type = ftUnknown;
  std::ptrdiff_t text_length = -1;
};

struct TCompareOptions {
  bool case_insensitive = false;
  // False under the filter option foNoPartialCompare.
  bool partial_allowed = true;
  // Partial length of the right value: -1 for none, else the number of
  // leading characters of both texts that take part.  Text only.
  std::ptrdiff_t partial_length = -1;
};

// The three answers of one comparison.  Values that do not order (a NaN
// double) give three false answers.
struct TCompareOutcome {
  bool equal = false;
  bool less = false;
  bool greater = false;
};

enum class TRelation { kEqual, kNotEqual, kLess, kLessOrEqual, kGreater, kGreaterOrEqual };

enum class TTypeClass { kNone, kNumeric, kText, kBoolean, kDateTime };

// The class of a field type; kNone for the types no comparison accepts.
TTypeClass TypeClassOf(TFieldType type);

// Compares left with right.  REQUIRES: both data pointers valid for their
// type's encoding.  Raises "Type mismatch in expression" for a pairing the
// table above does not list.
TCompareOutcome CompareValues(const TFieldValue& left, const TFieldValue& right, const TCompareOptions& options);

// One relation: <> is not =, <= is not >, >= is not <.
bool TestRelation(TRelation relation, const TFieldValue& left, const TFieldValue& right,
                  const TCompareOptions& options);

// Index key K against stored value S of one field type: 0 when K = S, else -1
// when K < S, else 1.  With `partial` a text S matches when it begins with K
// (K's length is the partial length).
int CompareKeyValue(const TFieldValue& key, const TFieldValue& stored, bool partial, bool case_insensitive);
int CompareKeyValue(const void* key, const void* stored, TFieldType type, bool partial, bool case_insensitive);

}  // namespace tdb
