// The register of workload W: receipts made from a fixed seed, so that every
// run, and both databases, see the same values.
//
// A receipt is a pure function of its number, so a register of a million
// receipts is never held in memory: each side asks for receipt i when it
// appends it.  Texts come in both encodings: Windows-1251 for the engine,
// UTF-8 for SQLite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

constexpr uint64_t kSeed = 0x5EED2019;

// One value of the receipts table, in table field order.
struct FieldValue {
  enum Kind { kText, kInteger, kMoney, kDate, kBool } kind;
  std::string cp1251;  // kText
  std::string utf8;    // kText
  int64_t integer = 0; // kInteger, kBool (0/1), kDate (day number, 1 January of year 1 is day 1)
  double money = 0;    // kMoney: roubles with kopecks
};

struct ReceiptField {
  const char* name;
  FieldValue::Kind kind;
};

// The 32 fields of the table "formix", in storage order.
const std::vector<ReceiptField>& ReceiptFields();

// Receipt number `i` (0-based; its nomer is i + 1).
std::vector<FieldValue> MakeReceipt(int64_t i);

// Whether receipt i is marked for deletion (5%), and its amount.
bool IsMarked(int64_t i);

// A new amount for the modify operation, the k-th one.
double NewAmount(int64_t k);

// `count` record numbers (nomer, 1..n) drawn uniformly with the given stream.
std::vector<int64_t> RandomNomers(int64_t n, int64_t count, uint64_t stream);

// The platform date-time of a day number (days since 30 December 1899).
double DayToDateTime(int64_t day_number);

}  // namespace bench
