// Texts between the datasets (Windows-1251 bytes) and Qt (UTF-16).
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace widgets {

QString FromCp1251(std::string_view cp1251);
// Characters Windows-1251 lacks become "?".
std::string ToCp1251(const QString& text);

}  // namespace widgets
