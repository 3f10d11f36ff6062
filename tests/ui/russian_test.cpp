// Qt's own texts and the widgets' formats are Russian whatever LANG says.
#include <QAbstractButton>
#include <QApplication>
#include <QCalendarWidget>
#include <QDialogButtonBox>
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

  void numbersAndDatesAreRussian() {
    QCOMPARE(QLocale().toString(1234.5, 'f', 2), QStringLiteral("1\u00A0234,50"));
    QCOMPARE(QLocale().standaloneMonthName(12), QStringLiteral("декабрь"));
    QCalendarWidget calendar;
    QCOMPARE(calendar.locale().dayName(1, QLocale::ShortFormat), QStringLiteral("пн"));
  }
};

QTEST_MAIN(RussianTest)
#include "russian_test.moc"
