// Qt's own texts and the widgets' formats are Russian whatever LANG says:
// the test runs as on an English desktop.
#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QToolButton>
#include <QKeySequence>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "ui/russian.h"

class RussianTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    // The desktop is English: without the program's choice every text and
    // format below would be English.
    QCOMPARE(QLocale::system().language(), QLocale::English);
    QVERIFY2(ui::UseRussian(*QCoreApplication::instance()), "Qt's Russian translations are not installed");
  }

  void standardButtonsAreRussian() {
    QMessageBox box(QMessageBox::Warning, QString(), QStringLiteral("Удалить текущую запись?"),
                    QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QCOMPARE(buttons.button(QDialogButtonBox::Ok)->text().remove(QLatin1Char('&')), QStringLiteral("ОК"));
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));
  }

  void shortcutsAreNamedAsARussianDesktopNamesThem() {
    // The register's own shortcuts among them.
    const struct {
      QKeySequence keys;
      const char* text;
    } cases[] = {
        {QKeySequence(Qt::Key_Insert), "Insert"},
        {QKeySequence(Qt::Key_Delete), "Delete"},
        {QKeySequence(Qt::SHIFT | Qt::Key_Return), "Shift+Enter"},
        {QKeySequence(Qt::CTRL | Qt::Key_P), "Ctrl+P"},
        {QKeySequence(Qt::Key_F9), "F9"},
        {QKeySequence(Qt::ALT | Qt::Key_F4), "Alt+F4"},
        {QKeySequence(Qt::CTRL | Qt::Key_Space), "Ctrl+Пробел"},
    };
    for (const auto& c : cases) QCOMPARE(c.keys.toString(QKeySequence::NativeText), QString::fromUtf8(c.text));
  }

  // The file dialogs the program shows for the PDF and the code file.
  void fileDialogsAreRussian() {
    QFileDialog dialog(nullptr, QStringLiteral("Сохранить в PDF"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList texts;
    for (const QAbstractButton* b : dialog.findChildren<QAbstractButton*>()) texts << b->text().remove('&');
    for (const QLabel* l : dialog.findChildren<QLabel*>()) texts << l->text().remove('&');
    QVERIFY2(texts.contains(QStringLiteral("Сохранить")), qPrintable(texts.join('|')));
    QVERIFY2(texts.contains(QStringLiteral("Отмена")), qPrintable(texts.join('|')));
    QVERIFY2(texts.contains(QStringLiteral("Имя файла:")), qPrintable(texts.join('|')));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    texts.clear();
    for (const QAbstractButton* b : dialog.findChildren<QAbstractButton*>()) texts << b->text().remove('&');
    QVERIFY2(texts.contains(QStringLiteral("Открыть")), qPrintable(texts.join('|')));
  }

  void numbersAndDatesAreRussian() {
    QCOMPARE(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1\u00A0234,50"));
    QCOMPARE(QLocale().standaloneMonthName(12), QStringLiteral("декабрь"));
    // The date editors' calendar: its month button and day names.
    QCalendarWidget calendar;
    calendar.setCurrentPage(2026, 12);
    auto* month = calendar.findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    QVERIFY(month);
    QCOMPARE(month->text().toLower(), QStringLiteral("декабрь"));
    QCOMPARE(calendar.locale().dayName(1, QLocale::ShortFormat), QStringLiteral("пн"));
  }
};

int main(int argc, char** argv) {
  // An English desktop.
  qputenv("LANG", "en_US.UTF-8");
  qputenv("LC_ALL", "en_US.UTF-8");
  qputenv("LANGUAGE", "en_US:en");
  QApplication application(argc, argv);
  RussianTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "russian_test.moc"
