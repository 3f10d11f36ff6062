// The INI reader and writer behind "formix.ini": parsing, lookup and in-place
// rewriting of lines, and the file's Windows-1251 form on disk.
#include "app/ini_file.h"

#include <QFile>
#include <QSaveFile>

#include "widgets/data_text.h"

namespace app {
namespace {

bool SameName(QStringView a, QStringView b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// "[name]" → name; nullopt for any other line.
std::optional<QString> SectionName(const QString& line) {
  const QString t = line.trimmed();
  if (!t.startsWith(u'[')) return std::nullopt;
  const qsizetype close = t.indexOf(u']');
  if (close < 0) return t.mid(1).trimmed();
  return t.mid(1, close - 1).trimmed();
}

// "key=value" → (key, raw value); nullopt for a line without "=".
std::optional<std::pair<QString, QString>> KeyLine(const QString& line) {
  const qsizetype eq = line.indexOf(u'=');
  if (eq < 0) return std::nullopt;
  return std::make_pair(line.left(eq).trimmed(), line.mid(eq + 1));
}

bool EnclosedInQuotes(QStringView v) {
  return v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
}

QString Unquote(const QString& raw) {
  const QString v = raw.trimmed();
  return EnclosedInQuotes(v) ? v.mid(1, v.size() - 2) : v;
}

QString QuoteForWriting(const QString& value) {
  if (value.isEmpty()) return value;
  const bool blanksAtEnds = value.front().isSpace() || value.back().isSpace();
  if (blanksAtEnds || EnclosedInQuotes(value)) return u'"' + value + u'"';
  return value;
}

}  // namespace

std::optional<long long> ParseIniInteger(QStringView text) {
  QStringView t = text.trimmed();
  bool negative = false;
  if (!t.isEmpty() && (t.front() == u'-' || t.front() == u'+')) {
    negative = t.front() == u'-';
    t = t.mid(1);
  }
  int base = 10;
  if (t.startsWith(u"0x", Qt::CaseInsensitive)) {
    base = 16;
    t = t.mid(2);
  } else if (t.startsWith(u'$')) {
    base = 16;
    t = t.mid(1);
  }
  if (t.isEmpty()) return std::nullopt;
  long long value = 0;
  const long long limit = base == 16 ? 0xFFFFFFFFLL : 0x80000000LL;
  for (QChar c : t) {
    int digit;
    if (c >= u'0' && c <= u'9') digit = c.unicode() - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') digit = c.unicode() - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') digit = c.unicode() - u'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  if (base == 10 && !negative && value > 0x7FFFFFFFLL) return std::nullopt;
  return negative ? -value : value;
}

IniFile IniFile::FromBytes(std::string_view cp1251) {
  IniFile ini;
  if (cp1251.empty()) return ini;
  std::size_t start = 0;
  while (start <= cp1251.size()) {
    const std::size_t nl = cp1251.find('\n', start);
    if (nl == std::string_view::npos) {
      if (start < cp1251.size()) ini.lines_.emplace_back(cp1251.substr(start));
      break;
    }
    ini.lines_.emplace_back(cp1251.substr(start, nl - start));
    start = nl + 1;
  }
  // New lines follow the file's own convention, judged by its first line.
  ini.crlf_ = ini.lines_.empty() || cp1251.find('\n') == std::string_view::npos ||
              ini.lines_.front().ends_with('\r');
  // ToBytes ends every line; a last line that had no ending gets the file's.
  if (!cp1251.ends_with('\n') && ini.crlf_ && !ini.lines_.back().ends_with('\r')) {
    ini.lines_.back() += '\r';
  }
  return ini;
}

std::string IniFile::ToBytes() const {
  std::string out;
  for (const std::string& line : lines_) {
    out += line;
    out += '\n';
  }
  return out;
}

bool IniFile::Load(const QString& path, IniFile* out, QString* error) {
  QFile file(path);
  if (!file.exists()) {
    *out = IniFile();
    return true;
  }
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = file.errorString();
    return false;
  }
  const QByteArray bytes = file.readAll();
  if (file.error() != QFileDevice::NoError) {
    if (error) *error = file.errorString();
    return false;
  }
  *out = FromBytes(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  return true;
}

bool IniFile::Save(const QString& path, QString* error) const {
  QSaveFile file(path);
  const std::string bytes = ToBytes();
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size()) ||
      !file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

std::optional<IniFile::Found> IniFile::Find(QStringView section, QStringView key) const {
  std::optional<Found> found;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const QString line = widgets::FromCp1251(lines_[i]);
    const std::optional<QString> name = SectionName(line);
    if (found) {
      if (name) break;
      if (!found->keyLine) {
        const auto kv = KeyLine(line);
        if (kv && SameName(kv->first, key)) found->keyLine = i;
      }
      found->sectionEnd = i + 1;
    } else if (name && SameName(*name, section)) {
      found = Found{i, i + 1, std::nullopt};
    }
  }
  return found;
}

std::optional<QString> IniFile::Value(QStringView section, QStringView key) const {
  const std::optional<Found> found = Find(section, key);
  if (!found || !found->keyLine) return std::nullopt;
  return Unquote(KeyLine(widgets::FromCp1251(lines_[*found->keyLine]))->second);
}

QString IniFile::ReadString(QStringView section, QStringView key, const QString& def) const {
  return Value(section, key).value_or(def);
}

bool IniFile::ReadBool(QStringView section, QStringView key, bool def) const {
  const std::optional<QString> v = Value(section, key);
  if (!v) return def;
  const std::optional<long long> n = ParseIniInteger(*v);
  return n ? *n != 0 : def;
}

std::string IniFile::NewLine(const QString& text) const {
  std::string line = widgets::ToCp1251(text);
  if (crlf_) line += '\r';
  return line;
}

void IniFile::WriteString(QStringView section, QStringView key, const QString& value) {
  QString clean = value;
  clean.remove(u'\r');
  clean.remove(u'\n');
  const QString keyText = key.toString() + u'=' + QuoteForWriting(clean);
  const std::optional<Found> found = Find(section, key);
  if (found && found->keyLine) {
    std::string& line = lines_[*found->keyLine];
    // Keep the key as the file spells it; only the value changes.
    const QString old = widgets::FromCp1251(line);
    const QString kept = KeyLine(old)->first + u'=' + QuoteForWriting(clean);
    const bool cr = line.ends_with('\r');
    line = widgets::ToCp1251(kept);
    if (cr) line += '\r';
    return;
  }
  if (found) {
    // After the section's last non-blank line, so blank separators stay put.
    std::size_t at = found->sectionEnd;
    while (at > found->sectionLine + 1 && widgets::FromCp1251(lines_[at - 1]).trimmed().isEmpty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), NewLine(keyText));
    return;
  }
  lines_.push_back(NewLine(u'[' + section.toString() + u']'));
  lines_.push_back(NewLine(keyText));
}

void IniFile::WriteBool(QStringView section, QStringView key, bool value) {
  WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace app
