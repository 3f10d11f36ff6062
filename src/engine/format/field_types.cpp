// The table of field type codes.
#include "engine/format/field_types.h"

#include "engine/base/ascii.h"

#include <cctype>

namespace tdb {
namespace {

struct TypeInfo {
  TFieldType type;
  std::string_view name;
  int32_t slot;  // 0: FieldSize + 1
};

constexpr TypeInfo kTypes[] = {
    {ftString, "ftString", 0},         {ftSmallint, "ftSmallint", 2},
    {ftInteger, "ftInteger", 4},       {ftWord, "ftWord", 2},
    {ftBoolean, "ftBoolean", 2},       {ftFloat, "ftFloat", 8},
    {ftCurrency, "ftCurrency", 8},     {ftDate, "ftDate", 4},
    {ftTime, "ftTime", 4},             {ftDateTime, "ftDateTime", 8},
    {ftAutoInc, "ftAutoInc", 4},       {ftBlob, "ftBlob", kBlobDescriptorSize},
    {ftMemo, "ftMemo", kBlobDescriptorSize}, {ftGraphic, "ftGraphic", kBlobDescriptorSize},
    {ftFmtMemo, "ftFmtMemo", kBlobDescriptorSize}, {ftParadoxOle, "ftParadoxOle", kBlobDescriptorSize},
    {ftDBaseOle, "ftDBaseOle", kBlobDescriptorSize}, {ftTypedBinary, "ftTypedBinary", kBlobDescriptorSize},
    {ftFixedChar, "ftFixedChar", 0},   {ftLargeint, "ftLargeint", 8},
    {ftOraBlob, "ftOraBlob", kBlobDescriptorSize}, {ftOraClob, "ftOraClob", kBlobDescriptorSize},
};

const TypeInfo* Find(int code) {
  for (const auto& t : kTypes)
    if (t.type == code) return &t;
  return nullptr;
}

}  // namespace

bool IsKnownFieldType(int code) { return Find(code) != nullptr; }

int32_t FieldSlotSize(int code, int32_t field_size) {
  const TypeInfo* t = Find(code);
  if (!t) return 0;
  return t->slot == 0 ? field_size + 1 : t->slot;
}

std::string_view FieldTypeName(int code) {
  const TypeInfo* t = Find(code);
  return t ? t->name : "ftUnknown";
}

std::optional<TFieldType> FieldTypeFromName(std::string_view name) {
  for (const auto& t : kTypes)
    if (SameAsciiIgnoringCase(name, t.name) || SameAsciiIgnoringCase(name, t.name.substr(2))) return t.type;
  return std::nullopt;
}

}  // namespace tdb
