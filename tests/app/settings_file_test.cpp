// The settings file: number reading, the INI rules, the four settings on disk,
// and the program directory and display checks that locate and guard it.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/display_check.h"
#include "app/ini_file.h"
#include "app/program_dir.h"
#include "app/settings_file.h"
#include "engine/base/codepage.h"

using app::IniFile;

namespace {
IniFile Ini(const char* bytes) { return IniFile::FromBytes(bytes); }
std::string Bytes(const IniFile& ini) { return ini.ToBytes(); }

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
}  // namespace

class SettingsFileTest : public QObject {
  Q_OBJECT

 private slots:
  void booleanValues_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("defaultValue");
    QTest::addColumn<bool>("expected");
    QTest::newRow("5") << "5" << false << true;
    QTest::newRow("0") << "0" << true << false;
    QTest::newRow("0x0") << "0x0" << true << false;
    QTest::newRow("0X10") << "0X10" << false << true;
    QTest::newRow("$1F") << "$1F" << false << true;
    QTest::newRow("$0") << "$0" << true << false;
    QTest::newRow("-1") << "-1" << false << true;
    QTest::newRow("blanks round") << "  1  " << false << true;
    QTest::newRow("abc keeps default true") << "abc" << true << true;
    QTest::newRow("abc keeps default false") << "abc" << false << false;
    QTest::newRow("empty") << "" << true << true;
    QTest::newRow("bare $") << "$" << false << false;
    QTest::newRow("bare 0x") << "0x" << true << true;
    QTest::newRow("1.0 is no integer") << "1.0" << false << false;
    QTest::newRow("12abc") << "12abc" << false << false;
    QTest::newRow("too big") << "99999999999" << false << false;
    QTest::newRow("$FFFFFFFF fits") << "$FFFFFFFF" << false << true;
    QTest::newRow("$100000000 too big") << "$100000000" << false << false;
  }
  void booleanValues() {
    QFETCH(QString, value);
    QFETCH(bool, defaultValue);
    QFETCH(bool, expected);
    IniFile ini;
    ini.WriteString(u"Nastr", u"Summa", value);
    QCOMPARE(ini.ReadBool(u"Nastr", u"Summa", defaultValue), expected);
  }

  void missingKeyOrSectionGivesDefault() {
    const IniFile ini = Ini("[Nastr]\r\nPassLog=1\r\n");
    QCOMPARE(ini.ReadBool(u"Nastr", u"Summa", true), true);
    QCOMPARE(ini.ReadBool(u"Main", u"WindowsState", false), false);
    QCOMPARE(ini.ReadString(u"Nastr", u"Password", QStringLiteral("d")), QStringLiteral("d"));
  }

  void lookupIgnoresCaseAndBlanks() {
    const IniFile ini = Ini(
        "Password=outside any section\r\n"
        " [ nastr ] \r\n"
        "  PASSWORD  =  abc def  \r\n"
        "password=second one is ignored\r\n"
        "[Main]\r\n"
        "WindowsState=1\r\n"
        "[NASTR]\r\n"
        "Summa=0\r\n");
    QCOMPARE(ini.ReadString(u"Nastr", u"Password", {}), QStringLiteral("abc def"));
    QCOMPARE(ini.ReadBool(u"main", u"windowsstate", false), true);
    // Only the first of two equal sections counts.
    QCOMPARE(ini.ReadBool(u"Nastr", u"Summa", true), true);
  }

  void writingKeepsEveryOtherLine_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("replace in place, key spelt as in the file")
        << QByteArray("; note\r\n[nastr]\r\nsumma = 1 \r\nOther=x\r\n")
        << QByteArray("; note\r\n[nastr]\r\nsumma=0\r\nOther=x\r\n");
    QTest::newRow("append to section before blank separator")
        << QByteArray("[Nastr]\r\nOther=x\r\n\r\n[Tail]\r\nk=v\r\n")
        << QByteArray("[Nastr]\r\nOther=x\r\nSumma=0\r\n\r\n[Tail]\r\nk=v\r\n");
    QTest::newRow("append section, last line had no ending")
        << QByteArray("[Other]\r\nk=v")
        << QByteArray("[Other]\r\nk=v\r\n[Nastr]\r\nSumma=0\r\n");
    QTest::newRow("LF file stays LF")
        << QByteArray("[Other]\nk=v\n")
        << QByteArray("[Other]\nk=v\n[Nastr]\nSumma=0\n");
    QTest::newRow("empty file")
        << QByteArray("") << QByteArray("[Nastr]\r\nSumma=0\r\n");
  }
  void writingKeepsEveryOtherLine() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    IniFile ini = IniFile::FromBytes(std::string_view(before.constData(), before.size()));
    ini.WriteBool(u"Nastr", u"Summa", false);
    QCOMPARE(QByteArray::fromStdString(Bytes(ini)), after);
  }

  void valuesReadBackAsWritten_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << "abc";
    QTest::newRow("blanks at the ends") << " a b ";
    QTest::newRow("enclosed in double quotes") << "\"abc\"";
    QTest::newRow("enclosed in single quotes") << "'x'";
    QTest::newRow("one quote") << "\"";
    QTest::newRow("equals sign") << "a=b";
    QTest::newRow("Cyrillic") << "Пароль";
    QTest::newRow("empty") << "";
  }
  void valuesReadBackAsWritten() {
    QFETCH(QString, value);
    IniFile ini;
    ini.WriteString(u"Nastr", u"Password", value);
    const IniFile back = IniFile::FromBytes(ini.ToBytes());
    QCOMPARE(back.ReadString(u"Nastr", u"Password", QStringLiteral("<none>")), value);
  }

  void lineBreaksCannotSplitAValue() {
    IniFile ini;
    ini.WriteString(u"Nastr", u"Password", QStringLiteral("a\r\n[Main]\nb"));
    QCOMPARE(QByteArray::fromStdString(ini.ToBytes()), QByteArray("[Nastr]\r\nPassword=a[Main]b\r\n"));
  }

  void settingsRoundTripInWindows1251() {
    QTemporaryDir dir;
    const QString path = dir.filePath("formix.ini");
    app::Settings s{true, false, true, QStringLiteral("Пароль")};
    QString error;
    QVERIFY(app::WriteSettingsFile(path, s, &error));
    QCOMPARE(ReadAll(path), QByteArray("[Main]\r\nWindowsState=1\r\n[Nastr]\r\nSumma=0\r\nPassLog=1\r\n"
                                       "Password=\xCF\xE0\xF0\xEE\xEB\xFC\r\n"));
    app::Settings back{false, true, false, {}};
    QVERIFY(app::ReadSettingsFile(path, back));
    QCOMPARE(back.windowsState, true);
    QCOMPARE(back.summa, false);
    QCOMPARE(back.passLog, true);
    QCOMPARE(back.password, QStringLiteral("Пароль"));
  }

  void missingFileReadsAsDefaults() {
    QTemporaryDir dir;
    app::Settings s{true, false, true, QStringLiteral("x")};
    QVERIFY(app::ReadSettingsFile(dir.filePath("formix.ini"), s));
    QCOMPARE(s.windowsState, false);
    QCOMPARE(s.summa, true);
    QCOMPARE(s.passLog, false);
    QCOMPARE(s.password, QString());
  }

  void unreadableFileIsNeitherReadNorOverwritten() {
    QTemporaryDir dir;
    const QString path = dir.filePath("formix.ini");
    QVERIFY(QDir(dir.path()).mkdir("formix.ini"));  // a directory where the file should be
    app::Settings s{true, false, true, QStringLiteral("x")};
    QVERIFY(!app::ReadSettingsFile(path, s));
    QCOMPARE(s.password, QStringLiteral("x"));
    QString error;
    QVERIFY(!app::WriteSettingsFile(path, s, &error));
    QVERIFY(!error.isEmpty());
  }

  void failedWriteLeavesTheOldFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath("missing-folder/formix.ini");
    QString error;
    QVERIFY(!app::WriteSettingsFile(path, app::Settings{}, &error));
    QVERIFY(!QFile::exists(path));
  }

  void programDirectory_data() {
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("dir");
    QTest::newRow("unix") << "/opt/formix/formix" << "/opt/formix/";
    QTest::newRow("windows") << "C:\\Prog\\formix.exe" << "C:\\Prog\\";
    QTest::newRow("mixed, last wins") << "C:\\a/b\\formix.exe" << "C:\\a/b\\";
    QTest::newRow("root") << "/formix" << "/";
    QTest::newRow("bare name") << "formix" << "";
    QTest::newRow("empty") << "" << "";
  }
  void programDirectory() {
    QFETCH(QString, exe);
    QFETCH(QString, dir);
    QCOMPARE(QString::fromStdString(app::ProgramDirectoryOf(exe.toStdString())), dir);
  }

  void displayCheck() {
    auto with = [](std::map<std::string, std::string> env) {
      return app::MissingDisplayMessage([env](const char* n) {
        auto it = env.find(n);
        return it == env.end() ? std::string() : it->second;
      });
    };
    QVERIFY(with({}).has_value());
    QVERIFY(with({{"DISPLAY", ""}}).has_value());
    QVERIFY(!with({{"DISPLAY", ":0"}}).has_value());
    QVERIFY(!with({{"WAYLAND_DISPLAY", "wayland-0"}}).has_value());
    QVERIFY(!with({{"QT_QPA_PLATFORM", "offscreen"}}).has_value());
    QVERIFY(with({})->find('\n') == std::string::npos);
  }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
