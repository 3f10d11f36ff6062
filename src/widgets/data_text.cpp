#include "widgets/data_text.h"

#include "engine/base/codepage.h"
#include "engine/dataset/field.h"

namespace widgets {

QString FromCp1251(std::string_view cp1251) {
  std::u16string utf16 = tdb::Cp1251ToUtf16(cp1251);
  return QString(reinterpret_cast<const QChar*>(utf16.data()), static_cast<qsizetype>(utf16.size()));
}

std::string ToCp1251(const QString& text) {
  return tdb::Utf16ToCp1251(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                static_cast<size_t>(text.size())));
}

QString FieldText(const tdb::TField& field) { return FromCp1251(field.AsString()); }

void SetFieldText(tdb::TField& field, const QString& text) { field.SetAsString(ToCp1251(text)); }

}  // namespace widgets
