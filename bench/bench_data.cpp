// The receipts of workload W: names, organisations, dates and amounts drawn
// from a counter-based generator (splitmix64 of seed, receipt and field), so
// receipt i does not depend on the receipts before it.
#include "bench_data.h"

#include <array>

#include "engine/base/codepage.h"
#include "engine/locale/date_time.h"

namespace bench {
namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A number in [0, bound) for receipt i, field slot `slot`.
uint64_t Draw(int64_t i, uint64_t slot, uint64_t bound) {
  uint64_t r = Mix(Mix(kSeed ^ (static_cast<uint64_t>(i) * 0x100000001B3ull)) ^ (slot * 0xD6E8FEB86659FD93ull));
  // Multiply-shift: unbiased enough for a benchmark, and the same everywhere.
  return static_cast<uint64_t>((static_cast<unsigned __int128>(r) * bound) >> 64);
}

const std::array<const char*, 10> kSurnames = {"Иванов", "Петров", "Сидоров", "Кузнецов", "Смирнов",
                                               "Попов", "Васильев", "Соколов", "Михайлов", "Новиков"};
const std::array<const char*, 10> kNames = {"Александр", "Сергей", "Дмитрий", "Андрей", "Алексей",
                                            "Иван", "Михаил", "Николай", "Евгений", "Юрий"};
const std::array<const char*, 10> kPatronymics = {"Александрович", "Сергеевич", "Дмитриевич", "Андреевич",
                                                  "Алексеевич", "Иванович", "Михайлович", "Николаевич",
                                                  "Евгеньевич", "Юрьевич"};
const std::array<const char*, 5> kForms = {"ООО", "ЗАО", "ОАО", "МУП", "ГУП"};
const std::array<const char*, 40> kOrgWords = {
    "Ромашка", "Восход", "Заря", "Весна", "Рассвет", "Прогресс", "Энергия", "Север", "Юг", "Волга",
    "Урал", "Сибирь", "Алтай", "Байкал", "Нева", "Дон", "Кама", "Ока", "Вятка", "Белка",
    "Гранит", "Кедр", "Берёза", "Сокол", "Орёл", "Ладога", "Онега", "Печора", "Двина", "Мста",
    "Тверца", "Шексна", "Сура", "Мокша", "Хопёр", "Самара", "Уфа", "Белая", "Чусовая", "Вага"};
const std::array<const char*, 12> kPurposeWords = {"оплата", "услуг", "за", "январь", "электроэнергию",
                                                   "водоснабжение", "отопление", "по", "договору", "налог",
                                                   "на", "имущество"};

struct Texts {
  std::string cp1251, utf8;
};

Texts Both(std::string utf8) { return Texts{tdb::Utf8ToCp1251(utf8), std::move(utf8)}; }

const std::vector<Texts>& Payers() {
  static const std::vector<Texts> payers = [] {
    std::vector<Texts> out;
    for (const char* s : kSurnames)
      for (const char* n : kNames)
        for (const char* p : kPatronymics) out.push_back(Both(std::string(s) + " " + n + " " + p));
    return out;  // 1,000 distinct full names
  }();
  return payers;
}

const std::vector<Texts>& Recipients() {
  static const std::vector<Texts> recipients = [] {
    std::vector<Texts> out;
    for (const char* f : kForms)
      for (const char* w : kOrgWords) out.push_back(Both(std::string(f) + " \"" + w + "\""));
    return out;  // 200 organisations
  }();
  return recipients;
}

FieldValue Text(const std::string& utf8) {
  FieldValue v{FieldValue::kText, tdb::Utf8ToCp1251(utf8), utf8};
  return v;
}
FieldValue Text(const Texts& t) { return FieldValue{FieldValue::kText, t.cp1251, t.utf8}; }
FieldValue Integer(int64_t n) { return FieldValue{FieldValue::kInteger, {}, {}, n}; }
FieldValue Bool(bool b) { return FieldValue{FieldValue::kBool, {}, {}, b ? 1 : 0}; }
FieldValue Date(int64_t day) { return FieldValue{FieldValue::kDate, {}, {}, day}; }
FieldValue Money(double m) { return FieldValue{FieldValue::kMoney, {}, {}, 0, m}; }

std::string Digits(int64_t i, uint64_t slot, int count) {
  std::string s;
  for (int k = 0; k < count; ++k) s.push_back(static_cast<char>('0' + Draw(i, slot * 64 + static_cast<uint64_t>(k), 10)));
  return s;
}

double Amount(int64_t i, uint64_t slot) {
  return static_cast<double>(1 + Draw(i, slot, 9'999'999)) / 100.0;  // 0.01 .. 99,999.99
}

}  // namespace

const std::vector<ReceiptField>& ReceiptFields() {
  using K = FieldValue::Kind;
  static const std::vector<ReceiptField> fields = {
      {"nomer", K::kInteger},      {"DatePlat", K::kDate},     {"document", K::kText},    {"Platel", K::kText},
      {"AdresPlat", K::kText},     {"InnPlat", K::kText},      {"LschPlat", K::kText},    {"nomerPlat", K::kInteger},
      {"Poluchat", K::kText},      {"InnPoluch", K::kText},    {"KppPoluch", K::kText},   {"SchetPoluch", K::kText},
      {"BancPoluch", K::kText},    {"Bik", K::kText},          {"korSchet", K::kText},    {"imns", K::kText},
      {"nomerPoluch", K::kInteger}, {"NaznPlat", K::kText},    {"Summa", K::kMoney},      {"SummaUslug", K::kMoney},
      {"naloglog", K::kBool},      {"kodklass", K::kText},     {"nomerBK", K::kInteger},  {"okato", K::kText},
      {"status", K::kText},        {"srok", K::kText},         {"osnovanie", K::kText},   {"tipplat", K::kText},
      {"indexdoc", K::kText},      {"peni", K::kMoney},        {"straf", K::kMoney},      {"slugebnoe", K::kBool},
  };
  return fields;
}

bool IsMarked(int64_t i) { return Draw(i, 31, 100) < 5; }

double NewAmount(int64_t k) { return Amount(-1 - k, 99); }

std::vector<FieldValue> MakeReceipt(int64_t i) {
  static const int64_t first_day = *tdb::EncodeDate(2019, 1, 1);
  static const int64_t last_day = *tdb::EncodeDate(2026, 12, 31);
  const uint64_t payer = Draw(i, 3, Payers().size());
  const uint64_t recipient = Draw(i, 8, Recipients().size());
  const bool tax = Draw(i, 20, 100) < 30;

  // About 60 characters of purpose, in words.
  std::string purpose;
  while (purpose.size() < 110) {  // UTF-8: two bytes per Cyrillic letter
    if (!purpose.empty()) purpose += " ";
    purpose += kPurposeWords[Draw(i, 100 + purpose.size(), kPurposeWords.size())];
  }

  std::vector<FieldValue> r;
  r.reserve(32);
  r.push_back(Integer(i + 1));                                                             // nomer
  r.push_back(Date(first_day + static_cast<int64_t>(Draw(i, 1, static_cast<uint64_t>(last_day - first_day + 1)))));
  r.push_back(Text(tax ? "ПД (налог)" : "Форма № ПД-4"));                                 // document
  r.push_back(Text(Payers()[payer]));                                                      // Platel
  r.push_back(Text("г. Москва, ул. Ленина, д. " + std::to_string(1 + payer % 200) + ", кв. " +
                   std::to_string(1 + payer % 97)));                                       // AdresPlat
  r.push_back(Text(Digits(static_cast<int64_t>(payer), 5, 12)));                           // InnPlat
  r.push_back(Text(Digits(i, 6, 20)));                                                     // LschPlat
  r.push_back(Integer(static_cast<int64_t>(payer) + 1));                                   // nomerPlat
  r.push_back(Text(Recipients()[recipient]));                                              // Poluchat
  r.push_back(Text(Digits(static_cast<int64_t>(recipient), 9, 10)));                       // InnPoluch
  r.push_back(Text(Digits(static_cast<int64_t>(recipient), 10, 9)));                       // KppPoluch
  r.push_back(Text("40702810" + Digits(static_cast<int64_t>(recipient), 11, 12)));         // SchetPoluch
  r.push_back(Text("ПАО Сбербанк России"));                                                // BancPoluch
  r.push_back(Text("044525225"));                                                          // Bik
  r.push_back(Text("30101810400000000225"));                                               // korSchet
  r.push_back(Text(tax ? "ИФНС России № " + std::to_string(1 + recipient % 50) + " по г. Москве" : ""));  // imns
  r.push_back(Integer(static_cast<int64_t>(recipient) + 1));                               // nomerPoluch
  r.push_back(Text(purpose));                                                              // NaznPlat
  r.push_back(Money(Amount(i, 18)));                                                       // Summa
  r.push_back(Money(static_cast<double>(Draw(i, 19, 5000)) / 100.0));                      // SummaUslug
  r.push_back(Bool(tax));                                                                  // naloglog
  r.push_back(Text(tax ? "182106" + Digits(i, 21, 14) : ""));                              // kodklass
  r.push_back(Integer(tax ? static_cast<int64_t>(Draw(i, 22, 300)) + 1 : 0));              // nomerBK
  r.push_back(Text(tax ? Digits(static_cast<int64_t>(recipient), 23, 11) : ""));           // okato
  r.push_back(Text(tax ? "13" : ""));                                                      // status
  r.push_back(Text(tax ? "ГД.00.2024" : ""));                                              // srok
  r.push_back(Text(tax ? "ТП" : ""));                                                      // osnovanie
  r.push_back(Text(tax ? "НС" : ""));                                                      // tipplat
  r.push_back(Text(tax ? Digits(i, 28, 20) : ""));                                         // indexdoc
  r.push_back(Money(tax ? static_cast<double>(Draw(i, 29, 100000)) / 100.0 : 0.0));        // peni
  r.push_back(Money(tax ? static_cast<double>(Draw(i, 30, 50000)) / 100.0 : 0.0));         // straf
  r.push_back(Bool(IsMarked(i)));                                                          // slugebnoe
  return r;
}

std::vector<int64_t> RandomNomers(int64_t n, int64_t count, uint64_t stream) {
  std::vector<int64_t> out;
  out.reserve(static_cast<size_t>(count));
  for (int64_t k = 0; k < count; ++k)
    out.push_back(1 + static_cast<int64_t>(Draw(-1'000'000'000 - k, stream, static_cast<uint64_t>(n))));
  return out;
}

double DayToDateTime(int64_t day_number) { return static_cast<double>(day_number - 693594); }

}  // namespace bench
