// Data-aware editors with real widgets offscreen over a small table: what
// they show, when they write, and the drop-down calculator and calendar.
#include <QCalendarWidget>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "widget_fixture.h"
#include "widgets/calculator.h"
#include "widgets/data_editors.h"

using namespace widgets;
using widgets_test::PaymentsTable;

class DataEditorsTest : public QObject {
  Q_OBJECT

  // Two records: 1 "first" 10,5 not marked; 2 "second" 20 marked.
  static void Fill(PaymentsTable& p) {
    p.Add(1, "first", 10.5);
    p.Add(2, "second", 20, true);
    p.table.First();
  }

 private slots:
  void textFollowsTheRecordAndIsWrittenBeforeThePost() {
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* name = new DBEdit(&form);
    auto* other = new DBEdit(&form);
    auto* layout = new QVBoxLayout(&form);
    layout->addWidget(name);
    layout->addWidget(other);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    name->bind(&p.source, "NAME");
    QCOMPARE(name->text(), QStringLiteral("first"));
    QCOMPARE(name->maxLength(), 12);
    p.table.Next();
    QCOMPARE(name->text(), QStringLiteral("second"));

    // Typing in browse state starts an edit and keeps what was typed.
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "typed");
    QCOMPARE(p.table.State(), tdb::dsEdit);
    QCOMPARE(name->text(), QStringLiteral("typed"));
    QVERIFY(name->valueModified());
    // Still being typed (the focus never left): the post writes it first.
    p.table.Post();
    QCOMPARE(p.table.FieldByName("name").AsString(), std::string("typed"));

    // A cancel shows the stored value again.
    p.table.Edit();
    name->selectAll();
    QTest::keyClicks(name, "discarded");
    p.table.Cancel();
    QCOMPARE(name->text(), QStringLiteral("typed"));
    QVERIFY(!name->valueModified());

    // A value written into the field by someone else (a pick) shows at once.
    p.table.Edit();
    p.table.FieldByName("name").SetAsString("picked");
    QCOMPARE(name->text(), QStringLiteral("picked"));
    // Leaving the editor writes what was typed.
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "left");
    other->setFocus();
    QCOMPARE(p.table.FieldByName("name").AsString(), std::string("left"));
    p.table.Cancel();

    // A new record shows its initial (empty) value.
    p.table.Insert();
    QCOMPARE(name->text(), QString());
    p.table.Cancel();
  }

  void refusedValueNamesItsEditorAndReadOnlyTablesTakeNoTyping() {
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* day = new DBDateEdit(&form);
    auto* name = new DBEdit(&form);
    new QVBoxLayout(&form);
    form.layout()->addWidget(day);
    form.layout()->addWidget(name);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    day->bind(&p.source, "day");
    name->bind(&p.source, "name");
    day->setFocus();
    day->selectAll();
    QTest::keyClicks(day, "31.02.2024");
    name->setFocus();  // refused on leaving: kept for the post
    QCOMPARE(day->text(), QStringLiteral("31.02.2024"));
    try {
      p.table.Post();
      QFAIL("the post took an impossible date");
    } catch (const tdb::EFieldError& e) {
      QCOMPARE(QString::fromStdString(e.FieldName()), QStringLiteral("day"));
      QCOMPARE(editorOfField(&form, "DAY"), day);
    }
    QCOMPARE(p.table.State(), tdb::dsEdit);
    p.table.Cancel();

    p.table.SetReadOnly(true);
    name->setFocus();
    QTest::keyClicks(name, "x");
    QCOMPARE(name->text(), QStringLiteral("first"));
    QCOMPARE(p.table.State(), tdb::dsBrowse);
  }

  void numbersThroughTheCalculator() {
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* summa = new DBNumberEdit(&form);
    new QVBoxLayout(&form);
    form.layout()->addWidget(summa);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    summa->bind(&p.source, "summa");
    QCOMPARE(summa->text(), QStringLiteral("10,50"));  // an amount shows its kopecks
    QCOMPARE(summa->alignment() & Qt::AlignRight, Qt::AlignRight);
    // The drop-down button is named after what it opens.
    QStringList buttons;
    for (QToolButton* b : summa->findChildren<QToolButton*>()) buttons << b->text();
    QCOMPARE(buttons, QStringList{"Калькулятор"});

    summa->setFocus();
    QTest::keyClick(summa, Qt::Key_Down, Qt::AltModifier);
    CalculatorPopup* popup = summa->calculator();
    QVERIFY(popup->isVisible());
    QCOMPARE(popup->pad()->calculator().display(), QStringLiteral("10,5"));
    QTest::keyClicks(popup->pad(), "*2");
    QTest::keyClick(popup->pad(), Qt::Key_Return);
    QVERIFY(!popup->isVisible());
    QCOMPARE(summa->text(), QStringLiteral("21"));
    QCOMPARE(p.table.State(), tdb::dsEdit);
    p.table.Post();
    QCOMPARE(p.table.FieldByName("summa").AsFloat(), 21.0);
    QCOMPARE(summa->text(), QStringLiteral("21,00"));

    // Typed with either decimal sign; an emptied number stores 0.
    summa->selectAll();
    QTest::keyClicks(summa, "3.25");
    p.table.Post();
    QCOMPARE(p.table.FieldByName("summa").AsFloat(), 3.25);
    summa->selectAll();
    QTest::keyClick(summa, Qt::Key_Delete);
    p.table.Post();
    QCOMPARE(p.table.FieldByName("summa").AsFloat(), 0.0);
    // Letters do not get in.
    QTest::keyClicks(summa, "a");
    QVERIFY(!summa->text().contains(QLatin1Char('a')));
  }

  // What a clerk may type into an amount (a currency field) and a number (an
  // integer field): a key that would break a limit is refused and the text
  // stays as it was.
  void numberLimits_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("two decimals") << "summa" << "5430,50" << "5430,50";
    QTest::newRow("a third decimal") << "summa" << "100,005" << "100,00";
    QTest::newRow("point as the sign") << "summa" << "12.3" << "12.3";
    QTest::newRow("groups") << "summa" << "5 430,5" << "5 430,5";
    QTest::newRow("no minus") << "summa" << "-5" << "5";
    QTest::newRow("two signs") << "summa" << "1,2,3" << "1,23";
    QTest::newRow("the largest") << "summa" << "999999999999,99" << "999999999999,99";
    QTest::newRow("beyond the largest") << "summa" << "9999999999999" << "999999999999";
    QTest::newRow("integer: no decimals") << "nomer" << "12,5" << "125";
    QTest::newRow("integer: its range") << "nomer" << "21474836479" << "2147483647";
  }
  void numberLimits() {
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* edit = new DBNumberEdit(&form);
    new QVBoxLayout(&form);
    form.layout()->addWidget(edit);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    edit->bind(&p.source, field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);
  }

  // The calculator's result is rounded to kopecks half away from zero; one
  // below zero is refused and leaves the amount as it was.
  void calculatorResultsWithinTheLimits() {
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* summa = new DBNumberEdit(&form);
    new QVBoxLayout(&form);
    form.layout()->addWidget(summa);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    summa->bind(&p.source, "summa");
    auto calculate = [&](const char* keys) {
      summa->setFocus();
      summa->showCalculator();
      CalculatorPad* pad = summa->calculator()->pad();
      QTest::keyClick(pad, Qt::Key_Delete);
      QTest::keyClicks(pad, keys);
      QTest::keyClick(pad, Qt::Key_Return);
    };
    calculate("100,005");
    QCOMPARE(summa->text(), QStringLiteral("100,01"));
    calculate("10/3");
    QCOMPARE(summa->text(), QStringLiteral("3,33"));
    calculate("5-8");
    QCOMPARE(summa->text(), QStringLiteral("3,33"));
    p.table.Post();
    QCOMPARE(p.table.FieldByName("summa").AsFloat(), 3.33);
  }

  void datesThroughTheCalendar() {
    PaymentsTable p;
    Fill(p);
    DBDateEdit day;
    day.bind(&p.source, "day");
    day.show();
    QVERIFY(QTest::qWaitForWindowExposed(&day));
    QCOMPARE(day.text(), QDate::currentDate().toString("dd.MM.yyyy"));
    day.showCalendar();
    QCOMPARE(day.calendar()->selectedDate(), QDate::currentDate());
    emit day.calendar()->clicked(QDate(2024, 3, 5));
    QCOMPARE(day.text(), QStringLiteral("05.03.2024"));
    p.table.Post();
    QCOMPARE(p.table.FieldByName("day").AsString(), std::string("05.03.2024"));
  }

  void checkBoxAndDropDownBox() {
    PaymentsTable p;
    Fill(p);
    QWidget form;
    auto* mark = new DBCheckBox("Помечена", &form);
    auto* name = new DBComboBox(&form);
    new QVBoxLayout(&form);
    form.layout()->addWidget(mark);
    form.layout()->addWidget(name);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    mark->bind(&p.source, "mark");
    name->addItems({"02", "03", "09"});
    name->bind(&p.source, "name");
    QVERIFY(!mark->isChecked());
    QCOMPARE(name->currentText(), QStringLiteral("first"));
    p.table.Next();
    QVERIFY(mark->isChecked());
    p.table.Prior();

    QTest::mouseClick(mark, Qt::LeftButton);
    QCOMPARE(p.table.State(), tdb::dsEdit);
    QVERIFY(p.table.FieldByName("mark").AsBoolean());
    name->setCurrentIndex(-1);
    emit name->activated(1);
    QCOMPARE(name->currentText(), QStringLiteral("03"));
    p.table.Post();
    QCOMPARE(p.table.FieldByName("name").AsString(), std::string("03"));
    QVERIFY(p.table.FieldByName("mark").AsBoolean());

    // Free text goes in as typed.
    name->lineEdit()->selectAll();
    QTest::keyClicks(name->lineEdit(), "01");
    p.table.Post();
    QCOMPARE(p.table.FieldByName("name").AsString(), std::string("01"));
  }
};

QTEST_MAIN(DataEditorsTest)
#include "data_editors_test.moc"
