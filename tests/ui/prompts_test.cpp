// The real prompts' boxes: wide enough for the caption the title bar shows,
// and the offer to repair a damaged file answered by its two buttons.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "ui/russian.h"
#include "ui/ui_prompts.h"

namespace {

// Runs `answer` on the box the prompt shows, once it is up.
void WhenShown(const std::function<void(QMessageBox&)>& answer) {
  QTimer::singleShot(0, [answer] {
    QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(QTest::qWaitForWindowExposed(box));
    answer(*box);
  });
}

QAbstractButton* ButtonOf(QMessageBox& box, const QString& text) {
  for (QAbstractButton* b : box.buttons())
    if (b->text().remove(QLatin1Char('&')) == text) return b;
  return nullptr;
}

}  // namespace

class PromptsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    ui::UseRussian(*QCoreApplication::instance());
    QApplication::setApplicationDisplayName(QStringLiteral("Квитанции [ПД-4 ПД-(налог)]"));
    QApplication::setApplicationName(QStringLiteral("Квитанции [ПД-4 ПД-(налог)]"));
  }

  // A short question does not cut the program's name in the title bar: the
  // box is as wide as the name in bold beside the icon and three buttons.
  void boxesFitTheirCaption() {
    ui::QtUiPrompts prompts;
    const std::function<void()> shows[] = {
        [&] { prompts.AskYesNo(QStringLiteral("Снять пометку?")); },
        [&] { prompts.ShowMessage(QStringLiteral("Готово.")); },
        [&] { prompts.ShowError(QStringLiteral("Ошибка.")); },
        [&] { prompts.AskOkCancel(QStringLiteral("Удалить запись?")); },
    };
    for (const auto& show : shows) {
      int width = 0, needed = 0;
      WhenShown([&](QMessageBox& box) {
        QFont bold = box.font();
        bold.setBold(true);
        const QFontMetrics title(bold);
        width = box.width();
        needed = title.horizontalAdvance(QApplication::applicationDisplayName()) + 5 * title.height();
        box.reject();
      });
      show();
      QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
    }
  }

  void repairOfferIsAnsweredByItsButtons() {
    ui::QtUiPrompts prompts;
    QStringList buttons;
    WhenShown([&](QMessageBox& box) {
      for (QAbstractButton* b : box.buttons()) buttons << b->text();
      ButtonOf(box, QStringLiteral("Восстановить…"))->click();
    });
    QVERIFY(prompts.OfferRepair(QStringLiteral("Реестр квитанций «formix.tdb» повреждён.")));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"Восстановить…", "Закрыть"}));
    WhenShown([](QMessageBox& box) { ButtonOf(box, QStringLiteral("Закрыть"))->click(); });
    QVERIFY(!prompts.OfferRepair(QStringLiteral("Повреждён.")));
    WhenShown([](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
    QVERIFY(!prompts.OfferRepair(QStringLiteral("Повреждён.")));
  }
};

QTEST_MAIN(PromptsTest)
#include "prompts_test.moc"
