// The windows' wiring with real widgets: the main window's commands, the
// settings dialog's password edit, the form chooser and the about box.
#include <QCheckBox>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include "app/forms.h"
#include "app/version.h"
#include "scripted_prompts.h"

class WindowsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<app::Forms> forms_;

 private slots:
  void init() {
    prompts_ = ScriptedPrompts();
    forms_ = app::CreateForms(app::AppContext{dir_.path() + '/', &prompts_});
  }
  void cleanup() { forms_.reset(); }

  void mainWindowCommands() {
    app::TFmain& m = *forms_->Fmain;
    QCOMPARE(m.windowTitle(), QStringLiteral("Квитанции [ПД-4 ПД-(налог)]"));
    QCOMPARE(m.size(), QSize(696, 480));
    QStringList menus;
    QStringList mnemonics;
    for (QAction* a : m.menuBar()->actions()) {
      menus << QString(a->text()).remove(QLatin1Char('&'));
      mnemonics << QKeySequence::mnemonic(a->text()).toString();
    }
    QCOMPARE(menus, (QStringList{"Файл", "Правка", "Сервис", "Помощь"}));
    // Alt and a letter opens each menu, every one on its own letter.
    QCOMPARE(mnemonics, (QStringList{"Alt+Ф", "Alt+П", "Alt+С", "Alt+М"}));

    struct Row {
      QAction* action;
      const char* text;
      QKeySequence key;
      bool enabled;
    };
    const Row rows[] = {
        // Nothing to create into before the receipts table is open.
        {m.actCreate, "Создать", QKeySequence(Qt::Key_Insert), false},
        {m.actPrint, "Печать", QKeySequence(Qt::CTRL | Qt::Key_P), false},
        {m.actPdf, "Сохранить в PDF…", QKeySequence(), false},
        {m.actExit, "Выход", QKeySequence(Qt::ALT | Qt::Key_F4), true},
        {m.actEdit, "Изменить", QKeySequence(Qt::SHIFT | Qt::Key_Return), false},
        {m.actDelete, "Удалить", QKeySequence(Qt::Key_Delete), false},
        {m.actCopy, "Скопировать", QKeySequence(Qt::Key_F9), false},
        {m.actCalculator, "Калькулятор", QKeySequence(), true},
        {m.actSettings, "Настройка программы", QKeySequence(), true},
        {m.actPurge, "Удаление помеченных записей", QKeySequence(), false},
        {m.actAbout, "О программе...", QKeySequence(), true},
    };
    for (const Row& r : rows) {
      QCOMPARE(r.action->text(), QString::fromUtf8(r.text));
      QCOMPARE(r.action->shortcut(), r.key);
      QCOMPARE(r.action->isEnabled(), r.enabled);
    }

    QStringList toolbar;
    for (QAction* a : m.ToolBar1->actions()) toolbar << (a->isSeparator() ? "|" : a->text());
    QCOMPARE(toolbar, (QStringList{"Создать", "Печать", "|", "Изменить", "Удалить", "Скопировать"}));
    QVERIFY(m.statusBar()->currentMessage().isEmpty());
  }

  // "Калькулятор" shows the widget layer's calculator modally; it works
  // without a receipts table.
  void calculatorCommand() {
    QString shown;
    prompts_.Then([&shown](QDialog& d) {
      auto& calculator = static_cast<widgets::CalculatorDialog&>(d);
      for (const char* key : {"7", "×", "6", "="}) calculator.pad()->press(QString::fromUtf8(key));
      shown = calculator.pad()->calculator().display();
      QTest::keyClick(&calculator, Qt::Key_Escape);
    });
    forms_->Fmain->actCalculator->trigger();
    QCOMPARE(prompts_.modalTitles, QStringList{"Калькулятор"});
    QCOMPARE(shown, QStringLiteral("42"));
  }

  void formChooser() {
    app::TFpechform& c = *forms_->Fpechform;
    c.ListBox1->addItems({"первая", "вторая"});
    auto show = [&](ScriptedPrompts::Script script) {
      prompts_.Then(std::move(script));
      return prompts_.ShowModal(c);
    };
    // Enter takes "Ok"; each showing starts again on the first item, focused.
    int focusedRow = -1;
    bool listFocused = false;
    QCOMPARE(show([&](QDialog&) {
               listFocused = c.ListBox1->hasFocus();
               c.ListBox1->setCurrentRow(1);
               QTest::keyClick(c.ListBox1, Qt::Key_Return);
             }),
             int(QDialog::Accepted));
    QVERIFY(listFocused);
    QCOMPARE(c.ListBox1->currentRow(), 1);
    QCOMPARE(show([&](QDialog&) {
               focusedRow = c.ListBox1->currentRow();
               QTest::keyClick(c.ListBox1, Qt::Key_Escape);
             }),
             int(QDialog::Rejected));
    QCOMPARE(focusedRow, 0);
    // A double-click closes it as "Ok" for the item under the mouse.
    QCOMPARE(show([&](QDialog&) {
               const QRect r = c.ListBox1->visualItemRect(c.ListBox1->item(1));
               QTest::mouseClick(c.ListBox1->viewport(), Qt::LeftButton, {}, r.center());
               QTest::mouseDClick(c.ListBox1->viewport(), Qt::LeftButton, {}, r.center());
             }),
             int(QDialog::Accepted));
    QCOMPARE(c.ListBox1->currentRow(), 1);
    QCOMPARE(show([&](QDialog&) { QTest::mouseClick(c.BitBtn2, Qt::LeftButton); }), int(QDialog::Rejected));
    QCOMPARE(show([&](QDialog&) { QTest::mouseClick(c.BitBtn1, Qt::LeftButton); }), int(QDialog::Accepted));
    QCOMPARE(show([&](QDialog&) { c.close(); }), int(QDialog::Rejected));
  }

  void passwordEditRule() {
    app::TFnastr& n = *forms_->Fnastr;
    QCOMPARE(n.windowTitle(), QStringLiteral("Настройка программы"));
    QVERIFY(n.CheckBox1->isChecked());
    QCOMPARE(n.CheckBox1->text(), QStringLiteral("Печатать сумму в квитанции"));
    QCOMPARE(n.CheckBox2->text(), QStringLiteral("Использовать пароль для входа в систему"));
    const QColor grey(200, 200, 200);
    const QColor window = n.palette().color(QPalette::Active, QPalette::Base);
    QVERIFY(window != grey);
    QVERIFY(!n.Edit1->isEnabled());
    QCOMPARE(n.Edit1->palette().color(QPalette::Disabled, QPalette::Base), grey);

    n.CheckBox2->setChecked(true);
    n.Edit1->setText("секрет");
    QVERIFY(n.Edit1->isEnabled());
    QCOMPARE(n.Edit1->palette().color(QPalette::Active, QPalette::Base), window);
    n.CheckBox2->setChecked(false);
    QVERIFY(!n.Edit1->isEnabled());
    QCOMPARE(n.Edit1->palette().color(QPalette::Active, QPalette::Base), grey);
    QCOMPARE(n.Edit1->text(), QStringLiteral("секрет"));

    // The settings command applies the rule before showing: a check box set
    // behind the dialog's back (as the start-up sequence does) is honoured.
    n.CheckBox2->blockSignals(true);
    n.CheckBox2->setChecked(true);
    n.CheckBox2->blockSignals(false);
    bool enabledWhenShown = false;
    prompts_.Then([&](QDialog&) {
      enabledWhenShown = n.Edit1->isEnabled();
      QTest::keyClick(&n, Qt::Key_Escape);
    });
    forms_->Fmain->actSettings->trigger();
    QVERIFY(enabledWhenShown);
  }

  // The password is kept in Windows-1251; what it cannot hold is refused at
  // the keyboard rather than saved as "?".
  void passwordEditTakesOnlyWhatTheFileCanHold() {
    app::TFnastr& n = *forms_->Fnastr;
    n.CheckBox2->setChecked(true);
    n.Edit1->clear();
    TypeText(n.Edit1, QStringLiteral("Ab1ё中€"));
    QCOMPARE(n.Edit1->text(), QStringLiteral("Ab1ё€"));
  }

  void masksShowStars() {
    for (QLineEdit* edit : {static_cast<QLineEdit*>(forms_->Fnastr->Edit1),
                            static_cast<QLineEdit*>(forms_->Fpassword->Edit1)}) {
      QCOMPARE(edit->echoMode(), QLineEdit::Password);
      QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int('*'));
    }
    app::TFpassword& pw = *forms_->Fpassword;
    QCOMPARE(pw.windowTitle(), QStringLiteral("Квитанции (Безопасность)"));
    QCOMPARE(pw.Label1->text(), QStringLiteral("Пароль для входа в систему"));
    QVERIFY(!pw.BitBtn1->isDefault() && !pw.BitBtn1->autoDefault());
    QVERIFY(!pw.BitBtn2->isDefault() && !pw.BitBtn2->autoDefault());
  }

  void loginEditStartsEmptyAtEachShowing() {
    app::TFpassword& pw = *forms_->Fpassword;
    QString seen = "<not shown>";
    prompts_.Then([&](QDialog&) {
      TypeText(pw.Edit1, "typed");
      pw.close();
    });
    prompts_.ShowModal(pw);
    prompts_.Then([&](QDialog&) {
      seen = pw.Edit1->text();
      pw.close();
    });
    prompts_.ShowModal(pw);
    QCOMPARE(seen, QString());
  }

  void aboutBox() {
    app::TFormAbout& a = *forms_->FormAbout;
    QCOMPARE(a.windowTitle(), QStringLiteral("О программе..."));
    QCOMPARE(a.Animate1->FrameCount(), 6);
    QCOMPARE(a.Animate1->FrameInterval(), 166);
    QVERIFY(a.OKButton->isDefault());
    QVERIFY(a.VersionLabel->text().contains(FORMIX_VERSION));
    QStringList texts;
    for (QLabel* l : a.findChildren<QLabel*>()) texts << l->text();
    QVERIFY(texts.contains("Программа для печати квитанций в сбербанк"));
    QVERIFY(texts.contains("(формы ПД-4 и ПД (налог))"));
    QVERIFY(!a.Animate1->IsPlaying());

    bool playing = false;
    prompts_.Then([&](QDialog&) {
      playing = a.Animate1->IsPlaying();
      QTest::keyClick(&a, Qt::Key_Return);
    });
    forms_->Fmain->actAbout->trigger();
    QVERIFY(playing);
    QVERIFY(!a.isVisible());
    QVERIFY(!a.Animate1->IsPlaying());

    prompts_.Then([&](QDialog&) { QTest::keyClick(&a, Qt::Key_Escape); });
    forms_->Fmain->actAbout->trigger();
    QVERIFY(!a.isVisible());
    QCOMPARE(prompts_.modalTitles.size(), 2);
  }

  void animatedPictureCycles() {
    widgets::AnimatedPicture picture;
    picture.Advance();  // no frames: nothing to do
    QCOMPARE(picture.CurrentFrame(), 0);
    QList<QPixmap> frames(3, QPixmap(4, 4));
    picture.SetFrames(frames);
    QList<int> seen;
    for (int i = 0; i < 4; ++i) {
      picture.Advance();
      seen << picture.CurrentFrame();
    }
    QCOMPARE(seen, (QList<int>{1, 2, 0, 1}));
    picture.SetFrames(frames);
    QCOMPARE(picture.CurrentFrame(), 0);
  }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
