// The filter bar's fields, in two rows, and the moments it asks for a filter.
#include "register/filter_bar.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>

namespace reg {

namespace {

// A caption that moves the focus to its field with Alt and its letter.
QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

QLineEdit* LineEdit(const QString& name, const QString& placeholder, int width, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setAccessibleName(name);
  edit->setPlaceholderText(placeholder);
  edit->setClearButtonEnabled(true);
  if (width > 0) edit->setFixedWidth(width);
  return edit;
}

}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("filterBar"));
  setAccessibleName(QStringLiteral("Отбор квитанций"));
  const int dateWidth = fontMetrics().horizontalAdvance(QStringLiteral("00.00.00000")) + 34;
  const int amountWidth = dateWidth;
  dateFromEdit = LineEdit(QStringLiteral("Дата с"), QStringLiteral("дд.мм.гггг"), dateWidth, this);
  dateToEdit = LineEdit(QStringLiteral("Дата по"), QStringLiteral("дд.мм.гггг"), dateWidth, this);
  payerEdit = LineEdit(QStringLiteral("Плательщик"), QStringLiteral("часть имени"), 0, this);
  recipientEdit = LineEdit(QStringLiteral("Получатель"), QStringLiteral("часть названия"), 0, this);
  payerEdit->setMinimumWidth(90);
  recipientEdit->setMinimumWidth(90);
  amountFromEdit = LineEdit(QStringLiteral("Сумма от"), QString(), amountWidth, this);
  amountToEdit = LineEdit(QStringLiteral("Сумма до"), QString(), amountWidth, this);
  kindBox = new QComboBox(this);
  kindBox->setAccessibleName(QStringLiteral("Вид квитанции"));
  kindBox->addItems({QStringLiteral("Все"), QStringLiteral("ПД-4"), QStringLiteral("ПД (налог)")});
  markedBox = new QCheckBox(QStringLiteral("Помеченные"), this);
  markedBox->setAccessibleName(markedBox->text());
  markedBox->setToolTip(QStringLiteral("Показывать квитанции, помеченные на удаление"));
  markedBox->setChecked(true);
  findButton = new QPushButton(QStringLiteral("Найти"), this);
  findButton->setAccessibleName(findButton->text());
  clearButton = new QPushButton(QStringLiteral("Сбросить"), this);
  clearButton->setAccessibleName(clearButton->text());
  // The buttons never take Enter from the grid or the fields.
  for (QPushButton* b : {findButton, clearButton}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(4);
  auto pair = [this](QWidget* a, const QString& between, QWidget* b) {
    auto* box = new QHBoxLayout;
    box->setSpacing(6);
    box->addWidget(a);
    box->addWidget(Caption(between, b, this));
    box->addWidget(b);
    box->addStretch(1);
    return box;
  };
  grid->addWidget(Caption(QStringLiteral("&Дата с"), dateFromEdit, this), 0, 0);
  grid->addLayout(pair(dateFromEdit, QStringLiteral("по"), dateToEdit), 0, 1);
  grid->addWidget(Caption(QStringLiteral("П&лательщик"), payerEdit, this), 0, 2);
  grid->addWidget(payerEdit, 0, 3);
  grid->addWidget(Caption(QStringLiteral("Получа&тель"), recipientEdit, this), 0, 4);
  grid->addWidget(recipientEdit, 0, 5);
  grid->addWidget(Caption(QStringLiteral("С&умма от"), amountFromEdit, this), 1, 0);
  grid->addLayout(pair(amountFromEdit, QStringLiteral("до"), amountToEdit), 1, 1);
  grid->addWidget(Caption(QStringLiteral("&Вид"), kindBox, this), 1, 2);
  auto* rest = new QHBoxLayout;
  rest->setSpacing(12);
  rest->addWidget(kindBox);
  rest->addWidget(markedBox);
  rest->addStretch(1);
  grid->addLayout(rest, 1, 3, 1, 3);
  grid->addWidget(findButton, 0, 6);
  grid->addWidget(clearButton, 1, 6);
  grid->setColumnStretch(3, 1);
  grid->setColumnStretch(5, 1);

  for (QLineEdit* edit : {dateFromEdit, dateToEdit, payerEdit, recipientEdit, amountFromEdit, amountToEdit}) {
    connect(edit, &QLineEdit::returnPressed, this, &FilterBar::applyRequested);
    edit->installEventFilter(this);
  }
  connect(kindBox, &QComboBox::activated, this, &FilterBar::applyRequested);
  connect(markedBox, &QCheckBox::clicked, this, &FilterBar::applyRequested);
  connect(findButton, &QPushButton::clicked, this, &FilterBar::applyRequested);
  connect(clearButton, &QPushButton::clicked, this, [this] {
    SetValue({});
    emit applyRequested();
  });
}

bool FilterBar::eventFilter(QObject* watched, QEvent* event) {
  // Enter in a field applies the filter; the window's Enter (open the
  // current receipt) is the grid's.
  if (event->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      event->accept();
      return false;
    }
  }
  return QWidget::eventFilter(watched, event);
}

ReceiptFilter FilterBar::Value() const {
  ReceiptFilter f;
  f.dateFrom = dateFromEdit->text();
  f.dateTo = dateToEdit->text();
  f.payer = payerEdit->text();
  f.recipient = recipientEdit->text();
  f.kind = static_cast<ReceiptKind>(qBound(0, kindBox->currentIndex(), 2));
  f.amountFrom = amountFromEdit->text();
  f.amountTo = amountToEdit->text();
  f.showMarked = markedBox->isChecked();
  return f;
}

void FilterBar::SetValue(const ReceiptFilter& f) {
  dateFromEdit->setText(f.dateFrom);
  dateToEdit->setText(f.dateTo);
  payerEdit->setText(f.payer);
  recipientEdit->setText(f.recipient);
  kindBox->setCurrentIndex(static_cast<int>(f.kind));
  amountFromEdit->setText(f.amountFrom);
  amountToEdit->setText(f.amountTo);
  markedBox->setChecked(f.showMarked);
}

}  // namespace reg
