// The requisite checks.  Each check is written once, with the subject of its
// explanation as a parameter, so that a directory field says "ИНН: ..." and
// the register's list of a receipt's failures says whose INN it is.
#include "data/requisites.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "data/receipt_tables.h"
#include "data/utf8_text.h"
#include "engine/base/codepage.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/field.h"
#include "engine/locale/date_time.h"

namespace receipts {
namespace {

std::string_view Trim(std::string_view v) {
  const char* blanks = " \t";
  size_t from = v.find_first_not_of(blanks);
  if (from == std::string_view::npos) return {};
  size_t to = v.find_last_not_of(blanks);
  return v.substr(from, to - from + 1);
}

bool AllZeros(std::string_view v) { return v.find_first_not_of('0') == std::string_view::npos; }

int Digit(char c) { return c - '0'; }

int Number(std::string_view digits) {
  int n = 0;
  for (char c : digits) n = n * 10 + Digit(c);
  return n;
}

// `subject` followed by `tail`; a tail starts with ": " or a blank.
Complaint Say(std::string_view subject, std::string_view tail) {
  std::string text(subject);
  text += tail;
  return text;
}

// Sum of digit × weight over `digits`, modulo 11, modulo 10: the INN rule.
int InnCheckDigit(std::string_view digits, const int* weights) {
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) sum += Digit(digits[i]) * weights[i];
  return sum % 11 % 10;
}

bool InnCheckDigitsFit(std::string_view inn) {
  static const int w10[] = {2, 4, 10, 3, 5, 9, 4, 6, 8};
  static const int w11[] = {7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
  static const int w12[] = {3, 7, 2, 4, 10, 3, 5, 9, 4, 6, 8};
  if (inn.size() == 10) return InnCheckDigit(inn.substr(0, 9), w10) == Digit(inn[9]);
  return InnCheckDigit(inn.substr(0, 10), w11) == Digit(inn[10]) &&
         InnCheckDigit(inn.substr(0, 11), w12) == Digit(inn[11]);
}

Complaint InnProblem(std::string_view value, InnKind kind, std::string_view subject) {
  std::string_view inn = Trim(value);
  if (inn.empty()) return {};
  if (kind == InnKind::kPayer && inn == "0") return {};
  if (!AllDigits(inn)) return Say(subject, ": только цифры");
  switch (kind) {
    case InnKind::kOrganisation:
      if (inn.size() != 10) return Say(subject, ": нужно 10 цифр");
      break;
    case InnKind::kPayer:
      if (inn.size() != 12) return Say(subject, ": нужно 12 цифр");
      break;
    case InnKind::kAny:
      if (inn.size() != 10 && inn.size() != 12) return Say(subject, ": нужно 10 или 12 цифр");
      break;
  }
  // No tax office has the code 00.., so such a number was mistyped.
  if (inn.starts_with("00")) return Say(subject, " не может начинаться с 00");
  if (!InnCheckDigitsFit(inn)) return Say(subject, ": неверная контрольная цифра");
  return {};
}

Complaint KppProblem(std::string_view value, std::string_view subject) {
  std::string_view kpp = Trim(value);
  if (kpp.empty() || kpp == "0") return {};
  // Characters, not bytes: a Cyrillic letter typed for a Latin one is a
  // wrong character, not a wrong length.
  if (Utf8CharCount(kpp) != 9) return Say(subject, ": нужно 9 знаков");
  // The reason-for-registration pair may hold capital Latin letters since
  // 2013; nine characters in more than nine bytes hold some other letter.
  if (!KppShaped(kpp)) return Say(subject, ": цифры, в 5-м и 6-м знаках также латинские A–Z");
  if (kpp.starts_with("00")) return Say(subject, " не может начинаться с 00");
  return {};
}

Complaint BikProblem(std::string_view value, std::string_view subject) {
  std::string_view bik = Trim(value);
  if (bik.empty()) return {};
  if (!AllDigits(bik) || bik.size() != 9) return Say(subject, ": нужно 9 цифр");
  if (!bik.starts_with("04") && !bik.starts_with("01"))
    return Say(subject, " должен начинаться с 04 (банк) или 01 (казначейство)");
  return {};
}

// A BIK that the key of an account can be computed from.
bool UsableBik(std::string_view bik) { return !BikProblem(bik, "") && !bik.empty(); }

// Treasury bodies (BIK "01...") and the Bank of Russia's own divisions
// (branch number 000-049; banks are numbered from 050) key their accounts
// with "0" and the division's number, banks with their branch number.
std::string BankOfRussiaPrefix(std::string_view bik) { return "0" + std::string(bik.substr(4, 2)); }

std::string AccountKeyPrefix(std::string_view bik) {
  if (bik.starts_with("01") || Number(bik.substr(6, 3)) < 50) return BankOfRussiaPrefix(bik);
  return std::string(bik.substr(6, 3));
}

// The 7-1-3 rule: with the key in place, the last digits of the products of
// the 23 digits (prefix and account) with the weights 7, 1, 3, 7, ... add up
// to a multiple of 10.
bool AccountKeyFits(std::string_view prefix, std::string_view account) {
  static const std::array<int, 3> weights = {7, 1, 3};
  std::string digits = std::string(prefix) + std::string(account);
  int sum = 0;
  for (size_t i = 0; i < digits.size(); ++i) sum += Digit(digits[i]) * weights[i % 3] % 10;
  return sum % 10 == 0;
}

Complaint AccountProblem(std::string_view value, std::string_view bik_value, std::string_view subject) {
  std::string_view account = Trim(value);
  std::string_view bik = Trim(bik_value);
  if (account.empty()) return {};
  if (!AllDigits(account) || account.size() != 20) return Say(subject, ": нужно 20 цифр");
  // Treasury accounts have no control key: the published ones fail the rule.
  if (account.starts_with("03") || !UsableBik(bik)) return {};
  if (!AccountKeyFits(AccountKeyPrefix(bik), account)) return Say(subject, " не соответствует БИК");
  return {};
}

Complaint CorrAccountProblem(std::string_view value, std::string_view bik_value, std::string_view subject) {
  std::string_view account = Trim(value);
  std::string_view bik = Trim(bik_value);
  if (account.empty() || account == "0") return {};
  if (!AllDigits(account) || account.size() != 20) return Say(subject, ": нужно 20 цифр");
  bool bank = account.starts_with("30101");
  if (!bank && !account.starts_with("40102"))
    return Say(subject, " должен начинаться с 30101 (банк) или 40102 (казначейство)");
  if (!UsableBik(bik)) return {};
  // Both are accounts at the Bank of Russia, keyed with its division's number.
  if ((bank && account.substr(17) != bik.substr(6)) || !AccountKeyFits(BankOfRussiaPrefix(bik), account))
    return Say(subject, " не соответствует БИК");
  return {};
}

Complaint KbkProblem(std::string_view value, std::string_view subject) {
  std::string_view kbk = Trim(value);
  if (kbk.empty()) return {};
  if (!AllDigits(kbk) || kbk.size() != 20) return Say(subject, ": нужно 20 цифр");
  if (AllZeros(kbk)) return Say(subject, " не может состоять из одних нулей");
  return {};
}

Complaint OktmoProblem(std::string_view value, bool zero_allowed, std::string_view subject) {
  std::string_view code = Trim(value);
  if (code.empty()) return {};
  if (code == "0")
    return zero_allowed ? Complaint{} : Say(subject, " «0» ставится только в едином налоговом платеже");
  if (!AllDigits(code) || (code.size() != 8 && code.size() != 11)) return Say(subject, ": нужно 8 или 11 цифр");
  if (AllZeros(code)) return Say(subject, " не может состоять из одних нулей");
  return {};
}

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : days[m - 1];
}

// "NN.YYYY" after a periodicity or a day: two digits, a dot, four digits.
bool NumberDotYear(std::string_view v) {
  return v.size() == 7 && AllDigits(v.substr(0, 2)) && v[2] == '.' && AllDigits(v.substr(3));
}

Complaint PeriodProblem(std::string_view value, std::string_view subject) {
  std::string_view period = Trim(value);
  if (period.empty() || period == "0") return {};
  struct Periodicity {
    std::string_view code;  // two Cyrillic capitals and the dot
    int low, high;          // the period numbers it takes
    std::string_view range;
  };
  static const Periodicity kinds[] = {
      {"МС.", 1, 12, ": номер месяца — от 01 до 12"},
      {"КВ.", 1, 4, ": номер квартала — от 01 до 04"},
      {"ПЛ.", 1, 2, ": номер полугодия — 01 или 02"},
      {"ГД.", 0, 0, ": у года номер 00"},
  };
  for (const Periodicity& k : kinds)
    if (period.starts_with(k.code) && NumberDotYear(period.substr(k.code.size()))) {
      int n = Number(period.substr(k.code.size(), 2));
      if (n < k.low || n > k.high) return Say(subject, k.range);
      return {};
    }
  // A due date set by law: DD.MM.YYYY.
  if (period.size() == 10 && AllDigits(period.substr(0, 2)) && period[2] == '.' && NumberDotYear(period.substr(3))) {
    int d = Number(period.substr(0, 2)), m = Number(period.substr(3, 2)), y = Number(period.substr(6));
    if (m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return Say(subject, ": нет такой даты");
    return {};
  }
  return Say(subject, ": вида ГД.00.2024, КВ.01.2024, ПЛ.01.2024, МС.01.2024, дата или 0");
}

// The УИН check digit: weights 1..10 repeating, sum mod 11; a remainder of 10
// means a second pass with the weights shifted by two, and a second 10 gives 0.
int UinCheckDigit(std::string_view body) {
  for (int shift : {0, 2}) {
    int sum = 0;
    for (size_t i = 0; i < body.size(); ++i) sum += Digit(body[i]) * static_cast<int>((i + shift) % 10 + 1);
    if (sum % 11 < 10) return sum % 11;
  }
  return 0;
}

Complaint UinProblem(std::string_view value, std::string_view subject) {
  std::string_view uin = Trim(value);
  if (uin.empty() || uin == "0") return {};
  if (!AllDigits(uin) || (uin.size() != 20 && uin.size() != 25)) return Say(subject, ": нужно 20 или 25 цифр (или 0)");
  if (AllZeros(uin)) return Say(subject, " не может состоять из одних нулей");
  if (UinCheckDigit(uin.substr(0, uin.size() - 1)) != Digit(uin.back()))
    return Say(subject, ": неверная контрольная цифра");
  return {};
}

// The day the codes 09-12 were folded into 13 and the list took its present form.
constexpr int kStatusReform = 20211001;

Complaint StatusProblem(std::string_view value, int date, std::string_view subject) {
  std::string_view status = Trim(value);
  if (status.empty()) return {};
  if (status.size() != 2 || !AllDigits(status)) return Say(subject, ": нужен двузначный код");
  int code = Number(status);
  static const std::array<bool, 35> in_force = [] {
    std::array<bool, 35> list{};
    for (int c : {1, 2, 3, 4, 5, 6, 7, 8, 13, 15, 16, 17, 19, 20, 23, 24, 27, 28, 29, 30, 31, 32, 33, 34}) list[c] = true;
    return list;
  }();
  if (code < static_cast<int>(in_force.size()) && in_force[code]) return {};
  bool retired = code >= 1 && code <= 26;
  bool before_reform = date != 0 && date < kStatusReform;
  if (retired && before_reform) return {};
  std::string text = " " + std::string(status);
  if (code >= 9 && code <= 12) return Say(subject, text + " отменён с 01.10.2021: укажите 13");
  if (retired) return Say(subject, text + " исключён из перечня");
  return Say(subject, text + ": нет такого кода");
}

}  // namespace

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool DigitsOfLength(std::string_view s, std::initializer_list<size_t> lengths) {
  return AllDigits(s) && std::find(lengths.begin(), lengths.end(), s.size()) != lengths.end();
}

bool KppShaped(std::string_view s) {
  if (s.size() != 9) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    const bool digit = c >= '0' && c <= '9';
    const bool letter = (i == 4 || i == 5) && c >= 'A' && c <= 'Z';
    if (!digit && !letter) return false;
  }
  return true;
}

Complaint CheckInn(std::string_view inn, InnKind kind) { return InnProblem(inn, kind, "ИНН"); }
Complaint CheckKpp(std::string_view kpp) { return KppProblem(kpp, "КПП"); }
Complaint CheckBik(std::string_view bik) { return BikProblem(bik, "БИК"); }
Complaint CheckAccount(std::string_view account, std::string_view bik) { return AccountProblem(account, bik, "Счёт"); }
Complaint CheckCorrAccount(std::string_view account, std::string_view bik) {
  return CorrAccountProblem(account, bik, "Корр. счёт");
}
Complaint CheckKbk(std::string_view kbk) { return KbkProblem(kbk, "КБК"); }
Complaint CheckOktmo(std::string_view code, bool zero_allowed) { return OktmoProblem(code, zero_allowed, "ОКТМО"); }
Complaint CheckTaxPeriod(std::string_view period) { return PeriodProblem(period, "Период"); }
Complaint CheckUin(std::string_view uin) { return UinProblem(uin, "УИН"); }
Complaint CheckPayerStatus(std::string_view status, int date) { return StatusProblem(status, date, "Статус"); }

bool IsSingleTaxPaymentKbk(std::string_view kbk) { return Trim(kbk) == kSingleTaxPaymentKbk; }

std::vector<RequisiteFailure> CheckReceiptRequisites(const ReceiptRequisites& r) {
  std::vector<RequisiteFailure> failures;
  auto add = [&](const char* field, Complaint complaint) {
    if (complaint) failures.push_back({field, std::move(*complaint)});
  };
  add(receipt_table::kPayerInn, InnProblem(r.payer_inn, InnKind::kPayer, "ИНН плательщика"));
  add(receipt_table::kRecipientInn, InnProblem(r.recipient_inn, r.tax ? InnKind::kOrganisation : InnKind::kAny, "ИНН получателя"));
  add(receipt_table::kRecipientKpp, KppProblem(r.kpp, "КПП получателя"));
  add(receipt_table::kRecipientAccount, AccountProblem(r.account, r.bik, "Счёт получателя"));
  add(receipt_table::kBik, BikProblem(r.bik, "БИК"));
  add(receipt_table::kCorrAccount, CorrAccountProblem(r.corr_account, r.bik, "Корр. счёт"));
  if (!r.tax) return failures;
  add(receipt_table::kBudgetCode, KbkProblem(r.kbk, "КБК"));
  add(receipt_table::kOktmo, OktmoProblem(r.oktmo, IsSingleTaxPaymentKbk(r.kbk), "ОКТМО"));
  add(receipt_table::kStatus, StatusProblem(r.status, r.date, "Статус"));
  add(receipt_table::kPeriod, PeriodProblem(r.period, "Период"));
  add(receipt_table::kDocIndex, UinProblem(r.doc_index, "УИН"));
  return failures;
}

ReceiptRequisites RequisitesFromFields(bool tax, int date, const std::function<std::string(const char* field)>& text) {
  ReceiptRequisites r;
  r.tax = tax;
  r.date = date;
  r.payer_inn = text(receipt_table::kPayerInn);
  r.recipient_inn = text(receipt_table::kRecipientInn);
  r.kpp = text(receipt_table::kRecipientKpp);
  r.account = text(receipt_table::kRecipientAccount);
  r.bik = text(receipt_table::kBik);
  r.corr_account = text(receipt_table::kCorrAccount);
  r.kbk = text(receipt_table::kBudgetCode);
  r.oktmo = text(receipt_table::kOktmo);
  r.status = text(receipt_table::kStatus);
  r.period = text(receipt_table::kPeriod);
  r.doc_index = text(receipt_table::kDocIndex);
  return r;
}

ReceiptRequisites RequisitesOfReceipt(const tdb::TDataSet& receipts) {
  int date = 0;
  // Date-times count days from 30 December 1899, day number 693594.
  double days = std::floor(receipts.FieldByName(receipt_table::kDate).AsDateTime());
  if (std::isfinite(days) && std::abs(days) < 4e6)
    if (auto d = tdb::DecodeDate(static_cast<int32_t>(days) + 693594)) date = d->year * 10000 + d->month * 100 + d->day;
  return RequisitesFromFields(receipts.FieldByName(receipt_table::kTax).AsBoolean(), date, [&](const char* field) {
    return tdb::Cp1251ToUtf8(receipts.FieldByName(field).AsString());
  });
}

}  // namespace receipts
