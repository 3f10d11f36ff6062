// A Windows-style INI file held in memory: the settings file "formix.ini".
//
// Sections ("[Main]") and keys ("WindowsState=1") are matched without regard
// to letter case; keys and values are read trimmed of blanks.  Writing a key
// replaces its value in place, or adds the key at the end of its section, or
// adds the section at the end of the file; every other line keeps its exact
// bytes, line ending included.  Before the first section, lines belong to no
// section and are never read.  Where a section or key occurs twice, the first
// one counts.
//
// The file is stored in Windows-1251.  A value that would lose its leading or
// trailing blanks or its enclosing quotes on reading is written enclosed in
// double quotes, and one pair of matching enclosing quotes ("..." or '...') is
// removed on reading, so every value reads back as written.
//
// An IniFile owns its lines.  Not thread-safe; the program uses it from the
// user-interface thread only.
#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

class IniFile {
 public:
  IniFile() = default;

  // Parses the Windows-1251 bytes of a file.
  static IniFile FromBytes(std::string_view cp1251);
  // The Windows-1251 bytes of the file as it stands now.
  std::string ToBytes() const;

  // Reads the file at `path` into `out`.  A missing file gives an empty
  // IniFile and true; a file that exists but cannot be read gives false and
  // the reason in `error` (when not null).
  static bool Load(const QString& path, IniFile* out, QString* error = nullptr);
  // Writes the file to `path`, replacing it whole only when every byte has
  // been written (the old file survives a failed write).  False and the reason
  // in `error` on failure.
  bool Save(const QString& path, QString* error = nullptr) const;

  // The value of `key` in `section`, nullopt when either is missing.
  std::optional<QString> Value(QStringView section, QStringView key) const;

  QString ReadString(QStringView section, QStringView key, const QString& def) const;
  // The value read as an integer (see ParseIniInteger): non-zero is true; a
  // missing key or a value that is not a number gives `def`.
  bool ReadBool(QStringView section, QStringView key, bool def) const;

  // Sets `key` in `section` to `value`.  Line breaks in `value` are dropped
  // (a value is one line).  Characters Windows-1251 lacks are stored as "?".
  void WriteString(QStringView section, QStringView key, const QString& value);
  // Writes "1" for true, "0" for false.
  void WriteBool(QStringView section, QStringView key, bool value);

 private:
  struct Found {
    std::size_t sectionLine = 0;   // index of the "[section]" line
    std::size_t sectionEnd = 0;    // one past the section's last line
    std::optional<std::size_t> keyLine;
  };
  std::optional<Found> Find(QStringView section, QStringView key) const;
  std::string NewLine(const QString& text) const;

  std::vector<std::string> lines_;  // raw bytes, a trailing "\r" kept
  bool crlf_ = true;                // line ending for lines this object adds
};

// Reads an integer the way the settings file stores numbers: optional sign,
// then decimal digits, or hexadecimal digits after "0x" or "$"; the value must
// fit in 32 bits.  Blanks around it are ignored.  nullopt when it is not a
// number.
std::optional<long long> ParseIniInteger(QStringView text);

}  // namespace app
