// The settings file: number reading, the INI rules, the four settings on disk,
// and the program directory and display checks that locate and guard it.
#include <QDir>
#include <QFileInfo>
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
    app::Settings s{true, false, true, QStringLiteral("Пароль"), {}};
    QString error;
    QVERIFY(app::WriteSettingsFile(path, s, &error));
    QCOMPARE(ReadAll(path), QByteArray("[Main]\r\nWindowsState=1\r\n[Nastr]\r\nSumma=0\r\nPassLog=1\r\n"
                                       "Password=\xCF\xE0\xF0\xEE\xEB\xFC\r\n"));
    app::Settings back{false, true, false, {}, {}};
    QVERIFY(app::ReadSettingsFile(path, back));
    QCOMPARE(back.windowsState, true);
    QCOMPARE(back.summa, false);
    QCOMPARE(back.passLog, true);
    QCOMPARE(back.password, QStringLiteral("Пароль"));
  }

  void missingFileReadsAsDefaults() {
    QTemporaryDir dir;
    app::Settings s{true, false, true, QStringLiteral("x"), {}};
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
    app::Settings s{true, false, true, QStringLiteral("x"), {}};
    QVERIFY(!app::ReadSettingsFile(path, s));
    QCOMPARE(s.password, QStringLiteral("x"));
    QString error;
    QVERIFY(!app::WriteSettingsFile(path, s, &error));
    QVERIFY(!error.isEmpty());
  }

  void failedWriteLeavesTheOldFile() {
    QTemporaryDir dir;
    // The folder cannot be made: a file stands where it should be.
    QFile blocker(dir.filePath("not-a-folder"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = dir.filePath("not-a-folder/formix.ini");
    QString error;
    QVERIFY(!app::WriteSettingsFile(path, app::Settings{}, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(path));
  }

  // The user's configuration folder has no settings folder yet on a first
  // run: writing makes it.
  void writingMakesTheSettingsFolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath("config/formix/formix.ini");
    QString error;
    QVERIFY2(app::WriteSettingsFile(path, app::Settings{}, &error), qPrintable(error));
    app::Settings s{true, false, true, QStringLiteral("x"), {}};
    QVERIFY(app::ReadSettingsFile(path, s));
    QCOMPARE(s.summa, true);
    QCOMPARE(s.password, QString());
  }

  void userConfigHome_data() {
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XDG_CONFIG_HOME set") << "/cfg/" << "/home/u" << "/cfg";
    QTest::newRow("unset") << "" << "/home/u" << "/home/u/.config";
    QTest::newRow("relative is ignored") << "cfg" << "/home/u" << "/home/u/.config";
  }
  void userConfigHome() {
    QFETCH(QString, xdg);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    const auto env = [&](const char* name) {
      return QByteArray(name) == "XDG_CONFIG_HOME" ? xdg : QByteArray(name) == "HOME" ? home : QString();
    };
    QCOMPARE(app::UserConfigHome(env), expected);
  }

  // Where the settings file goes for each kind of program directory.  The
  // layouts are made for real: bin/ alone (a build tree, an unpacked copy),
  // bin/ beside share/formix/ (an installed prefix), a read-only folder.
  void settingsFileLocation_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<bool>("inProgramDir");
    QTest::newRow("own writable folder") << "own" << true;
    QTest::newRow("installed prefix, writable") << "installed" << false;
    QTest::newRow("read-only folder") << "read-only" << false;
  }
  void settingsFileLocation() {
    QFETCH(QString, layout);
    QFETCH(bool, inProgramDir);
    QTemporaryDir root;
    QDir(root.path()).mkpath("bin");
    if (layout == "installed") QDir(root.path()).mkpath("share/formix");
    const QString bin = root.filePath("bin") + '/';
    if (layout == "read-only") QFile::setPermissions(bin, QFile::ReadOwner | QFile::ExeOwner);
    const bool writable = QFileInfo(bin).isWritable();
    const QString path = app::SettingsFilePath(bin, "/home/u/.config");
    QFile::setPermissions(bin, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Root writes anywhere; the install test drops that privilege instead.
    if (layout == "read-only" && writable) QSKIP("this user writes into read-only folders");
    QCOMPARE(path, inProgramDir ? bin + "formix.ini" : QStringLiteral("/home/u/.config/formix/formix.ini"));
  }

  // Program files are taken from the program directory first, then from the
  // installed prefix's share/formix/.
  void programFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found");  // relative to the prefix; empty: not found
    QTest::newRow("next to the program wins") << "both.xlsx" << "bin/both.xlsx";
    QTest::newRow("installed copy") << "shared.xlsx" << "share/formix/shared.xlsx";
    QTest::newRow("nowhere") << "none.xlsx" << "";
    QTest::newRow("a folder is no file") << "folder" << "";
  }
  void programFiles() {
    QFETCH(QString, name);
    QFETCH(QString, found);
    QTemporaryDir root;
    QDir(root.path()).mkpath("bin/folder");
    QDir(root.path()).mkpath("share/formix/folder");
    for (const char* file : {"bin/both.xlsx", "share/formix/both.xlsx", "share/formix/shared.xlsx"}) {
      QFile f(root.filePath(file));
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QString bin = root.filePath("bin") + '/';
    QCOMPARE(app::FindProgramFile(bin, name), found.isEmpty() ? QString() : root.filePath(found));
    const QString folder = found.isEmpty() ? bin : QFileInfo(root.filePath(found)).path() + '/';
    QCOMPARE(app::ProgramFileFolder(bin, name), folder);
    QVERIFY(app::IsInstalledLayout(bin));
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
