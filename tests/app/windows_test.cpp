// The windows' wiring with real widgets: the main window's commands, the
// settings dialog's password edit, the form chooser and the about box.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTableView>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include "app/program_windows.h"
#include "app/version.h"
#include "support/scripted_prompts.h"
#include "ui/russian.h"

class WindowsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<app::ProgramWindows> forms_;

 private slots:
  // As the program runs: Qt's own texts and formats in Russian.
  void initTestCase() { QVERIFY(ui::UseRussian(*QCoreApplication::instance())); }
  void init() {
    prompts_ = ScriptedPrompts();
    forms_ = app::CreateProgramWindows(ui::AppContext{dir_.path() + '/', &prompts_});
  }
  void cleanup() { forms_.reset(); }

  void mainWindowCommands() {
    reg::RegisterWindow& m = *forms_->registerWindow;
    QCOMPARE(m.windowTitle(), QStringLiteral("Квитанции [ПД-4 ПД-(налог)]"));
    QVERIFY(m.width() >= 696);  // wider where the screen has room for every column
    QCOMPARE(m.height(), 480);
    QStringList menus;
    QStringList mnemonics;
    for (QAction* a : m.menuBar()->actions()) {
      menus << QString(a->text()).remove(QLatin1Char('&'));
      mnemonics << QKeySequence::mnemonic(a->text()).toString();
    }
    QCOMPARE(menus, (QStringList{"Файл", "Правка", "Сервис", "Справочники", "Помощь"}));
    // Alt and a letter opens each menu, every one on its own letter.
    QCOMPARE(mnemonics, (QStringList{"Alt+Ф", "Alt+П", "Alt+С", "Alt+А", "Alt+М"}));

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
    for (QAction* a : m.toolBar->actions()) toolbar << (a->isSeparator() ? "|" : a->text());
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
    forms_->registerWindow->actCalculator->trigger();
    QCOMPARE(prompts_.modalTitles, QStringList{"Калькулятор"});
    QCOMPARE(shown, QStringLiteral("42"));
  }

  void formChooser() {
    reg::FormChooser& c = forms_->registerWindow->Chooser();
    c.formList->addItems({"первая", "вторая"});
    auto show = [&](ScriptedPrompts::Script script) {
      prompts_.Then(std::move(script));
      return prompts_.ShowModal(c);
    };
    // Enter takes "Ok"; each showing starts again on the first item, focused.
    int focusedRow = -1;
    bool listFocused = false;
    QCOMPARE(show([&](QDialog&) {
               listFocused = c.formList->hasFocus();
               c.formList->setCurrentRow(1);
               QTest::keyClick(c.formList, Qt::Key_Return);
             }),
             int(QDialog::Accepted));
    QVERIFY(listFocused);
    QCOMPARE(c.formList->currentRow(), 1);
    QCOMPARE(show([&](QDialog&) {
               focusedRow = c.formList->currentRow();
               QTest::keyClick(c.formList, Qt::Key_Escape);
             }),
             int(QDialog::Rejected));
    QCOMPARE(focusedRow, 0);
    // A double-click closes it as "Ok" for the item under the mouse.
    QCOMPARE(show([&](QDialog&) {
               const QRect r = c.formList->visualItemRect(c.formList->item(1));
               QTest::mouseClick(c.formList->viewport(), Qt::LeftButton, {}, r.center());
               QTest::mouseDClick(c.formList->viewport(), Qt::LeftButton, {}, r.center());
             }),
             int(QDialog::Accepted));
    QCOMPARE(c.formList->currentRow(), 1);
    QCOMPARE(show([&](QDialog&) { QTest::mouseClick(c.cancelButton, Qt::LeftButton); }), int(QDialog::Rejected));
    QCOMPARE(show([&](QDialog&) { QTest::mouseClick(c.okButton, Qt::LeftButton); }), int(QDialog::Accepted));
    QCOMPARE(show([&](QDialog&) { c.close(); }), int(QDialog::Rejected));
  }

  void passwordEditRule() {
    app::SettingsDialog& n = *forms_->settingsDialog;
    QCOMPARE(n.windowTitle(), QStringLiteral("Настройка программы"));
    QVERIFY(n.printAmountBox->isChecked());
    QCOMPARE(n.printAmountBox->text(), QStringLiteral("Печатать сумму в квитанции"));
    QCOMPARE(n.usePasswordBox->text(), QStringLiteral("Использовать пароль для входа в систему"));
    const QColor grey(200, 200, 200);
    const QColor window = n.palette().color(QPalette::Active, QPalette::Base);
    QVERIFY(window != grey);
    QVERIFY(!n.passwordEdit->isEnabled());
    QCOMPARE(n.passwordEdit->palette().color(QPalette::Disabled, QPalette::Base), grey);

    n.usePasswordBox->setChecked(true);
    n.passwordEdit->setText("секрет");
    QVERIFY(n.passwordEdit->isEnabled());
    QCOMPARE(n.passwordEdit->palette().color(QPalette::Active, QPalette::Base), window);
    n.usePasswordBox->setChecked(false);
    QVERIFY(!n.passwordEdit->isEnabled());
    QCOMPARE(n.passwordEdit->palette().color(QPalette::Active, QPalette::Base), grey);
    QCOMPARE(n.passwordEdit->text(), QStringLiteral("секрет"));

    // Each change went into the settings value.
    QVERIFY(forms_->settings.summa && !forms_->settings.passLog);
    QCOMPARE(forms_->settings.password, QStringLiteral("секрет"));

    // The dialog shows the value as it is when it opens: one changed behind
    // its back (as the start-up sequence does) is shown, with the rule.
    forms_->settings.passLog = true;
    forms_->settings.summa = false;
    bool enabledWhenShown = false;
    bool amountWhenShown = true;
    prompts_.Then([&](QDialog&) {
      enabledWhenShown = n.passwordEdit->isEnabled() && n.usePasswordBox->isChecked();
      amountWhenShown = n.printAmountBox->isChecked();
      QTest::keyClick(&n, Qt::Key_Escape);
    });
    forms_->registerWindow->actSettings->trigger();
    QVERIFY(enabledWhenShown);
    QVERIFY(!amountWhenShown);
  }

  // The password is kept in Windows-1251; what it cannot hold is refused at
  // the keyboard rather than saved as "?".
  void passwordEditTakesOnlyWhatTheFileCanHold() {
    app::SettingsDialog& n = *forms_->settingsDialog;
    n.usePasswordBox->setChecked(true);
    n.passwordEdit->clear();
    TypeText(n.passwordEdit, QStringLiteral("Ab1ё中€"));
    QCOMPARE(n.passwordEdit->text(), QStringLiteral("Ab1ё€"));
  }

  void masksShowStars() {
    for (QLineEdit* edit : {static_cast<QLineEdit*>(forms_->settingsDialog->passwordEdit),
                            static_cast<QLineEdit*>(forms_->loginDialog->passwordEdit)}) {
      QCOMPARE(edit->echoMode(), QLineEdit::Password);
      QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit), int('*'));
    }
    app::LoginDialog& pw = *forms_->loginDialog;
    QCOMPARE(pw.windowTitle(), QStringLiteral("Квитанции (Безопасность)"));
    QCOMPARE(pw.promptLabel->text(), QStringLiteral("Пароль для входа в систему"));
    QVERIFY(!pw.okButton->isDefault() && !pw.okButton->autoDefault());
    QVERIFY(!pw.cancelButton->isDefault() && !pw.cancelButton->autoDefault());
  }

  // Neither the login's nor the settings dialog's buttons become the default
  // when the dialog shows (a button box would make its accept button one).
  void noDefaultButtonWhileShown() {
    app::LoginDialog& pw = *forms_->loginDialog;
    app::SettingsDialog& n = *forms_->settingsDialog;
    QList<bool> defaults;
    prompts_.Then([&](QDialog&) {
      defaults << pw.okButton->isDefault() << pw.cancelButton->isDefault();
      pw.close();
    });
    prompts_.ShowModal(pw);
    prompts_.Then([&](QDialog&) {
      defaults << n.saveButton->isDefault() << n.cancelButton->isDefault();
      QTest::keyClick(&n, Qt::Key_Escape);
    });
    forms_->registerWindow->actSettings->trigger();
    QCOMPARE(defaults, (QList<bool>{false, false, false, false}));
  }

  void loginEditStartsEmptyAtEachShowing() {
    app::LoginDialog& pw = *forms_->loginDialog;
    QString seen = "<not shown>";
    prompts_.Then([&](QDialog&) {
      TypeText(pw.passwordEdit, "typed");
      pw.close();
    });
    prompts_.ShowModal(pw);
    prompts_.Then([&](QDialog&) {
      seen = pw.passwordEdit->text();
      pw.close();
    });
    prompts_.ShowModal(pw);
    QCOMPARE(seen, QString());
  }

  void aboutBox() {
    app::AboutBox& a = *forms_->aboutBox;
    QCOMPARE(a.windowTitle(), QStringLiteral("О программе..."));
    QCOMPARE(a.animation->FrameCount(), 6);
    QCOMPARE(a.animation->FrameInterval(), 166);
    QVERIFY(a.OKButton->isDefault());
    QVERIFY(a.VersionLabel->text().contains(FORMIX_VERSION));
    QStringList texts;
    for (QLabel* l : a.findChildren<QLabel*>()) texts << l->text();
    QVERIFY(texts.contains("Программа для печати квитанций в сбербанк"));
    QVERIFY(texts.contains("(формы ПД-4 и ПД (налог))"));
    QVERIFY(!a.animation->IsPlaying());

    bool playing = false;
    prompts_.Then([&](QDialog&) {
      playing = a.animation->IsPlaying();
      QTest::keyClick(&a, Qt::Key_Return);
    });
    forms_->registerWindow->actAbout->trigger();
    QVERIFY(playing);
    QVERIFY(!a.isVisible());
    QVERIFY(!a.animation->IsPlaying());

    prompts_.Then([&](QDialog&) { QTest::keyClick(&a, Qt::Key_Escape); });
    forms_->registerWindow->actAbout->trigger();
    QVERIFY(!a.isVisible());
    QCOMPARE(prompts_.modalTitles.size(), 2);
  }

  // Every text the windows show, gathered from their widgets: the words
  // corrected once stay corrected, every OK button is written in Cyrillic,
  // and no English word is left for the clerk.
  void everyTextIsRussianAndSpelledRight() {
    app::ProgramWindows& f = *forms_;
    using Kind = app::ProgramWindows::DirectoryKind;
    const QList<QWidget*> windows = {f.registerWindow.get(),         &f.Pd4Dialog(),
                                     &f.TaxDialog(),                 &f.Payers(),
                                     &f.EntryDialog(Kind::Payers),   &f.Recipients(),
                                     &f.EntryDialog(Kind::Recipients), &f.Codes(),
                                     &f.EntryDialog(Kind::Codes),    f.settingsDialog.get(),
                                     f.loginDialog.get(),            f.aboutBox.get(),
                                     &f.registerWindow->Chooser()};
    QStringList texts, okButtons;
    for (QWidget* w : windows) {
      texts << w->windowTitle();
      for (QLabel* l : w->findChildren<QLabel*>()) texts << l->text();
      for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        const QString text = b->text().remove('&');
        texts << text;
        if (text.compare("ok", Qt::CaseInsensitive) == 0 || text.compare("ок", Qt::CaseInsensitive) == 0 ||
            text == QStringLiteral("Оk") || text == QStringLiteral("Ok"))
          okButtons << text;
      }
      for (QGroupBox* g : w->findChildren<QGroupBox*>()) texts << g->title();
      for (QAction* a : w->findChildren<QAction*>()) texts << a->text().remove('&') << a->toolTip();
      for (QLineEdit* e : w->findChildren<QLineEdit*>()) texts << e->placeholderText();
      for (QComboBox* c : w->findChildren<QComboBox*>())
        for (int i = 0; i < c->count(); ++i) texts << c->itemText(i);
      for (QTableView* t : w->findChildren<QTableView*>())
        if (t->model())
          for (int c = 0; c < t->model()->columnCount(); ++c)
            texts << t->model()->headerData(c, Qt::Horizontal).toString();
    }
    texts.removeAll(QString());
    texts.removeDuplicates();
    for (QString& text : texts) text.replace('\n', ' ');  // labels broken over lines
    const QString all = texts.join('|');

    for (const char* wrong : {"Плательшик", "буджет", "Оk", "ПД -4", "example.org", "support@"})
      QVERIFY2(!all.contains(QString::fromUtf8(wrong)), wrong);
    QVERIFY2(!all.contains(QRegularExpression("номер лицевого сч[её]та(?!\\))")), "(номер лицевого счета without ')'");
    QVERIFY2(!all.contains(QRegularExpression("(^|\\|)адрес:")), "адрес: in lower case");
    for (const char* right : {"Плательщик", "Код бюджетной классификации", "(номер лицевого счета)", "Адрес:"})
      QVERIFY2(all.contains(QString::fromUtf8(right)), right);
    QVERIFY(!okButtons.isEmpty());
    for (const QString& ok : okButtons) QCOMPARE(ok, QStringLiteral("ОК"));
    // Latin letters only in the names of things that have no Russian ones.
    static const QRegularExpression latinWord("[A-Za-z]{2,}");
    const QStringList allowed = {"PDF", "QR", "Ctrl", "Alt", "Shift", "Enter", "Insert", "Delete", "Esc", "Tab"};
    for (const QString& text : texts)
      for (auto m = latinWord.globalMatch(text); m.hasNext();) {
        const QString word = m.next().captured();
        QVERIFY2(allowed.contains(word), qPrintable(text));
      }
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
