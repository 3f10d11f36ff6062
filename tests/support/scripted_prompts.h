// A UiPrompts for tests: records every prompt and lets the test act inside
// each modal dialog's real event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "ui/ui_prompts.h"

// Types `text` into `widget` character by character, as a keyboard would;
// unlike QTest::keyClicks it takes any character, Cyrillic included.
inline void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }
}

class ScriptedPrompts : public ui::UiPrompts {
 public:
  using Script = std::function<void(QDialog&)>;

  // Scripts run in order, one per modal showing, once the dialog is up.  A
  // showing without a script closes the dialog as its close box would.
  void Then(Script script) { scripts_.push_back(std::move(script)); }

  void ShowMessage(const QString& text) override { messages << text; }
  bool AskYesNo(const QString& text) override {
    questions << text;
    return answers.isEmpty() ? answerYes : answers.takeFirst();
  }
  void ShowError(const QString& text) override { errors << text; }
  // Recorded with the errors; answered by `repair`.
  bool OfferRepair(const QString& text) override {
    errors << text;
    ++repairOffers;
    return repair;
  }
  int ShowModal(QDialog& dialog) override {
    modalTitles << dialog.windowTitle();
    Script script;
    if (!scripts_.empty()) {
      script = std::move(scripts_.front());
      scripts_.pop_front();
    }
    QTimer::singleShot(0, &dialog, [&dialog, script] {
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      if (!script) {
        dialog.close();
        return;
      }
      script(dialog);
      // A script that failed half-way must not leave the test hanging.
      if (dialog.isVisible()) {
        QWARN("the script left the dialog open");
        dialog.done(QDialog::Rejected);
      }
    });
    return dialog.exec();
  }

  QStringList messages, questions, errors, modalTitles;
  bool answerYes = true;
  bool repair = false;  // the answer to an offer to repair a damaged file
  int repairOffers = 0;
  QList<bool> answers;  // the next questions' answers, before answerYes

 private:
  std::deque<Script> scripts_;
};
