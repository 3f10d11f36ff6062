// Field warnings on real editors: the mark follows the text as it is typed or
// set, and "Ok" asks once, with both answers.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "widgets/field_warning.h"

namespace {

// A value of four digits, or nothing.
QString FourDigits(const QString& text) {
  if (text.isEmpty()) return {};
  for (QChar c : text)
    if (!c.isDigit()) return QStringLiteral("Код: только цифры");
  return text.size() == 4 ? QString() : QStringLiteral("Код: нужно 4 цифры");
}

}  // namespace

class FieldWarningTest : public QObject {
  Q_OBJECT

 private slots:
  void markFollowsTheTypedText() {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QLineEdit(&dialog);
    layout->addWidget(edit);
    auto* warning = new widgets::FieldWarning(edit, FourDigits);
    auto* label = new widgets::WarningLabel(warning, &dialog);
    layout->addWidget(label);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy changes(warning, &widgets::FieldWarning::ProblemChanged);

    struct Step {
      const char* keys;  // typed at the end; "\b" is a backspace
      const char* problem;
    } steps[] = {
        {"1", "Код: нужно 4 цифры"},
        {"23", "Код: нужно 4 цифры"},  // unchanged: no new signal
        {"4", ""},
        {"x", "Код: только цифры"},
        {"\b", ""},
        {"\b\b\b", "Код: нужно 4 цифры"},
        {"\b", ""},  // empty again: not an error
    };
    int expected_signals = 0;
    QString last;
    for (const Step& s : steps) {
      for (const char* k = s.keys; *k; ++k) {
        if (*k == '\b') QTest::keyClick(edit, Qt::Key_Backspace);
        else QTest::keyClicks(edit, QString(QChar(*k)));
      }
      const QString want = QString::fromUtf8(s.problem);
      if (want != last) ++expected_signals;
      last = want;
      QCOMPARE(warning->Problem(), want);
      QCOMPARE(warning->IconAction()->isVisible(), !want.isEmpty());
      QCOMPARE(warning->IconAction()->toolTip(), want);
      QCOMPARE(edit->accessibleDescription(), want);
      QCOMPARE(label->isVisible(), !want.isEmpty());
      QCOMPARE(label->Text(), want);
    }
    QCOMPARE(changes.count(), expected_signals);
  }

  void valuesSetByTheProgramAndOtherEditorsAreWatchedToo() {
    QWidget form;
    auto* stored = new QLineEdit(QStringLiteral("12"), &form);  // a value loaded from a record
    widgets::FieldWarning loaded(stored, FourDigits);
    QCOMPARE(loaded.Problem(), QStringLiteral("Код: нужно 4 цифры"));
    stored->setText(QStringLiteral("1234"));
    QVERIFY(loaded.Problem().isEmpty());

    auto* box = new QComboBox(&form);
    box->setEditable(true);
    box->addItems({QStringLiteral("1234"), QStringLiteral("99")});
    widgets::FieldWarning picked(box, FourDigits);
    QVERIFY(picked.Problem().isEmpty());
    box->setCurrentIndex(1);
    QCOMPARE(picked.Problem(), QStringLiteral("Код: нужно 4 цифры"));
    box->setEditText(QStringLiteral("0000"));
    QVERIFY(picked.Problem().isEmpty());

    auto* fixed = new QComboBox(&form);  // a list without free text has no line
    fixed->addItems({QStringLiteral("1"), QStringLiteral("1000")});
    widgets::FieldWarning chosen(fixed, FourDigits);
    QVERIFY(!chosen.IconAction());
    QCOMPARE(chosen.Problem(), QStringLiteral("Код: нужно 4 цифры"));
    fixed->setCurrentIndex(1);
    QVERIFY(chosen.Problem().isEmpty());

    // A check that reads a second editor reruns when that one changes.
    auto* account = new QLineEdit(QStringLiteral("1234"), &form);
    auto* bank = new QLineEdit(&form);
    widgets::FieldWarning against(account, [bank](const QString& text) {
      return bank->text().isEmpty() || text.startsWith(bank->text()) ? QString() : QStringLiteral("Счёт не соответствует БИК");
    });
    against.RecheckOn(bank);
    bank->setText(QStringLiteral("9"));
    QCOMPARE(against.Problem(), QStringLiteral("Счёт не соответствует БИК"));
    bank->setText(QStringLiteral("12"));
    QVERIFY(against.Problem().isEmpty());
  }

  void summaryShowsOnlyTheFailingFields() {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new QLineEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    auto* summary = new widgets::WarningSummary(&dialog);
    layout->addWidget(first);
    layout->addWidget(second);
    layout->addWidget(summary);
    summary->Add(new widgets::FieldWarning(first, FourDigits));
    summary->Add(new widgets::FieldWarning(second, FourDigits));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(summary->Shown().isEmpty());
    const int quiet = summary->sizeHint().height();

    second->setText(QStringLiteral("1"));
    QCOMPARE(summary->Shown(), QStringList{QStringLiteral("Код: нужно 4 цифры")});
    first->setText(QStringLiteral("x"));
    QCOMPARE(summary->Shown(), (QStringList{QStringLiteral("Код: только цифры"), QStringLiteral("Код: нужно 4 цифры")}));
    QVERIFY(summary->sizeHint().height() > quiet);
    first->clear();
    second->setText(QStringLiteral("1000"));
    QVERIFY(summary->Shown().isEmpty());
    QCOMPARE(summary->sizeHint().height(), quiet);  // a passing field takes no room
  }

  void okAsksOnceAndBothAnswersWork() {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new QLineEdit(&dialog);
    auto* second = new QLineEdit(&dialog);
    auto* third = new QLineEdit(&dialog);
    for (QLineEdit* e : {first, second, third}) layout->addWidget(e);
    std::vector<widgets::FieldWarning*> warnings;
    for (QLineEdit* e : {first, second, third}) warnings.push_back(new widgets::FieldWarning(e, FourDigits));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    QStringList questions;
    bool answer = true;
    auto ask = [&](const QString& q) {
      questions << q;
      return answer;
    };

    // Empty values and good ones: no question.
    third->setText(QStringLiteral("1234"));
    QVERIFY(widgets::ConfirmDespiteWarnings(warnings, ask));
    QVERIFY(questions.isEmpty());

    second->setText(QStringLiteral("12"));
    third->setText(QStringLiteral("12a4"));
    third->setFocus();
    QVERIFY(widgets::ConfirmDespiteWarnings(warnings, ask));  // Yes: store as typed
    QCOMPARE(questions, QStringList{QStringLiteral("Код: нужно 4 цифры\nКод: только цифры\nСохранить всё равно?")});
    QCOMPARE(second->text(), QStringLiteral("12"));

    answer = false;
    QVERIFY(!widgets::ConfirmDespiteWarnings(warnings, ask));  // No: back to the first failing field
    QCOMPARE(questions.size(), 2);
    QTRY_VERIFY(second->hasFocus());
  }
};

QTEST_MAIN(FieldWarningTest)
#include "field_warning_test.moc"
