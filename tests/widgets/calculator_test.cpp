// The calculator's arithmetic by key sequences, its keyboard, its dialog and
// the chooser's list box.
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "widgets/calculator.h"
#include "widgets/list_box.h"

using widgets::Calculator;
using widgets::CalculatorDialog;
using widgets::CalculatorPad;

class CalculatorTest : public QObject {
  Q_OBJECT

  // Presses the keys of `keys`, one character each ("*" for ×, "/" for ÷,
  // "-" for −, "s" for ±, "<" for ←).
  static QString Run(const QString& keys) {
    CalculatorPad pad;
    for (QChar c : keys) {
      QString key(c);
      if (c == QLatin1Char('*')) key = QStringLiteral("×");
      if (c == QLatin1Char('/')) key = QStringLiteral("÷");
      if (c == QLatin1Char('-')) key = QStringLiteral("−");
      if (c == QLatin1Char('s')) key = QStringLiteral("±");
      if (c == QLatin1Char('<')) key = QStringLiteral("←");
      pad.press(key);
    }
    return pad.calculator().display();
  }

 private slots:
  void keySequences_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("shown");
    QTest::newRow("sum") << "12+3=" << "15";
    QTest::newRow("left to right") << "2*3+4=" << "10";
    QTest::newRow("operation shows the running result") << "2*3+" << "6";
    QTest::newRow("fraction") << "10/4=" << "2,5";
    QTest::newRow("decimal comma") << "0,1+0,2=" << "0,3";
    QTest::newRow("one comma only") << "1,,5" << "1,5";
    QTest::newRow("division by zero") << "1/0=" << "Ошибка";
    QTest::newRow("clear after an error") << "1/0=C" << "0";
    QTest::newRow("a digit after an error starts again") << "1/0=7" << "7";
    QTest::newRow("percent of the first operand") << "200+10%" << "20";
    QTest::newRow("percent added") << "200+10%=" << "220";
    QTest::newRow("percent alone") << "50%" << "0,5";
    QTest::newRow("sign") << "5s" << "-5";
    QTest::newRow("sign twice") << "5ss" << "5";
    QTest::newRow("negative result") << "3-5=" << "-2";
    QTest::newRow("backspace") << "123<" << "12";
    QTest::newRow("backspace to nothing") << "7<<" << "0";
    QTest::newRow("second operation replaces the first") << "9+*2=" << "18";
    QTest::newRow("equals alone") << "7=" << "7";
    QTest::newRow("digits after equals start anew") << "2+2=5" << "5";
    QTest::newRow("fifteen digits at most") << "1234567890123456789" << "123456789012345";
    QTest::newRow("large product") << "99999999*99999999=" << "9,9999998e+15";
  }
  void keySequences() {
    QFETCH(QString, keys);
    QFETCH(QString, shown);
    QCOMPARE(Run(keys), shown);
  }

  void keyboardAndDialog() {
    CalculatorDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Калькулятор"));
    QCOMPARE(dialog.accessibleName(), QStringLiteral("Калькулятор"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    CalculatorPad* pad = dialog.pad();
    QSignalSpy accepted(pad, &CalculatorPad::accepted);
    QTest::keyClicks(pad, "12.5*2");
    QTest::keyClick(pad, Qt::Key_Return);
    QCOMPARE(pad->calculator().display(), QStringLiteral("25"));
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(pad->value(), 25.0);
    QTest::keyClick(pad, Qt::Key_Delete);
    QCOMPARE(pad->calculator().display(), QStringLiteral("0"));
    // Every key is a button named by its caption.
    QStringList names;
    for (QPushButton* b : pad->findChildren<QPushButton*>()) names << b->accessibleName();
    for (const char* key : {"C", "←", "%", "÷", "×", "−", "+", "=", "±", ",", "0", "9"})
      QVERIFY2(names.contains(QString::fromUtf8(key)), key);
  }

  void listBoxChooses() {
    widgets::ListBox list;
    list.addItems({"Форма № ПД -4", "Форма № ПД (налог)"});
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.setCurrentRow(1);
    list.selectFirst();
    QCOMPARE(list.selectedRow(), 0);
    QSignalSpy chosen(&list, &widgets::ListBox::chosen);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen[0][0].toInt(), 0);
    const QRect second = list.visualItemRect(list.item(1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(chosen.last()[0].toInt(), 1);
    list.clear();
    list.selectFirst();
    QCOMPARE(list.selectedRow(), -1);
  }
};

QTEST_MAIN(CalculatorTest)
#include "calculator_test.moc"
