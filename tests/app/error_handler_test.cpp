// The general error handler: an exception escaping an event handler ends
// that handler only, and its text reaches the user through the prompts.
#include <QTest>
#include <stdexcept>

#include "app/formix_application.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/dataset/dada_table.h"
#include "support/scripted_prompts.h"

namespace {

// Raises whatever it is told to when it receives a user event.
class Thrower : public QObject {
 public:
  std::function<void()> raise;
  int handled = 0;
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++handled;
    raise();
    return true;
  }
};

}  // namespace

class ErrorHandlerTest : public QObject {
  Q_OBJECT

 public:
  explicit ErrorHandlerTest(ScriptedPrompts& prompts) : prompts_(prompts) {}

 private slots:
  void errorsAreShownAndTheProgramGoesOn() {
    Thrower thrower;
    const std::pair<std::function<void()>, QString> cases[] = {
        {[] { tdb::ComponentError("formix", "Cannot open file formix.tdb"); },
         "formix: Cannot open file formix.tdb"},
        {[] { throw std::runtime_error("plain failure"); }, "plain failure"},
        {[] { throw 42; }, "Неизвестная ошибка"},
        // The engine's texts are Windows-1251: stored names and values come through whole.
        {[] { tdb::DatabaseError(tdb::Utf8ToCp1251("Invalid unique field value 'Пётр Ёлкин'")); },
         "Invalid unique field value 'Пётр Ёлкин'"},
        {[] {
           tdb::TDadaTable table;
           table.SetSessionName(tdb::Utf8ToCp1251("Касса"));
           table.SetDatabaseName("formix.tdb");
           table.Open();
         },
         "Invalid session name Касса"},
    };
    for (const auto& [raise, text] : cases) {
      prompts_.errors.clear();
      thrower.raise = raise;
      QEvent event(QEvent::User);
      QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
      QCOMPARE(prompts_.errors, QStringList{text});
    }
    // Posted events go through the same handler from the event loop.
    prompts_.errors.clear();
    thrower.raise = [] { throw std::runtime_error("from the loop"); };
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&thrower);
    QCOMPARE(prompts_.errors, QStringList{"from the loop"});
    QCOMPARE(thrower.handled, 6);
  }

  void anAbortEndsTheCommandSilently() {
    Thrower thrower;
    thrower.raise = [] { throw tdb::EAbort(); };
    prompts_.errors.clear();
    QEvent event(QEvent::User);
    QCOMPARE(QCoreApplication::sendEvent(&thrower, &event), false);
    QCOMPARE(thrower.handled, 1);
    QVERIFY(prompts_.errors.isEmpty());
  }

 private:
  ScriptedPrompts& prompts_;
};

int main(int argc, char** argv) {
  app::FormixApplication application(argc, argv);
  ScriptedPrompts prompts;
  application.SetErrorPrompts(&prompts);
  ErrorHandlerTest test(prompts);
  return QTest::qExec(&test, argc, argv);
}

#include "error_handler_test.moc"
