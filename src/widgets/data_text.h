// Texts between the data files (Windows-1251 bytes) and Qt (UTF-16): the
// one place the program's Qt code converts them, for fields, the settings
// file, passwords and the engine's messages alike.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tdb {
class TField;
}

namespace widgets {

QString FromCp1251(std::string_view cp1251);
// Characters Windows-1251 lacks become "?".
std::string ToCp1251(const QString& text);

// A field's text, and the field set to a text (see ToCp1251).
QString FieldText(const tdb::TField& field);
void SetFieldText(tdb::TField& field, const QString& text);

}  // namespace widgets
