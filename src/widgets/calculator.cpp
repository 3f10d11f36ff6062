// The calculator's arithmetic, its pad, its dialog and its drop-down.
#include "widgets/calculator.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace widgets {
namespace {

constexpr int kMaxDigits = 15;
const QString kError = QStringLiteral("Ошибка");

}  // namespace

// ---- arithmetic ----

QString Calculator::format(double value) {
  if (value == 0) return QStringLiteral("0");  // also -0
  QString text = QString::number(value, 'g', kMaxDigits);
  if (text.contains(QLatin1Char('e'))) {
    // Fixed notation while it fits the digits; beyond that the exponent stays.
    const double magnitude = std::fabs(value);
    if (magnitude >= 1e-6 && magnitude < 1e15) {
      text = QString::number(value, 'f', kMaxDigits - 1 - static_cast<int>(std::floor(std::log10(magnitude))));
      if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(QLatin1Char('.'))) text.chop(1);
      }
    }
  }
  return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

double Calculator::entryValue() const {
  QString text = entry_;
  return text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble();
}

double Calculator::value() const { return error_ ? 0 : entryValue(); }

QString Calculator::display() const { return error_ ? kError : entry_; }

void Calculator::setValue(double value) {
  error_ = false;
  entry_ = std::isfinite(value) ? format(value) : QStringLiteral("0");
  fresh_ = true;
}

void Calculator::digit(int d) {
  if (d < 0 || d > 9) return;
  if (error_) clear();
  if (fresh_) {
    entry_ = QStringLiteral("0");
    fresh_ = false;
  }
  int digits = 0;
  for (QChar c : entry_) digits += c.isDigit() ? 1 : 0;
  if (digits >= kMaxDigits) return;
  if (entry_ == QLatin1String("0"))
    entry_ = QString::number(d);
  else if (entry_ == QLatin1String("-0"))
    entry_ = QStringLiteral("-") + QString::number(d);
  else
    entry_ += QString::number(d);
}

void Calculator::comma() {
  if (error_) clear();
  if (fresh_) {
    entry_ = QStringLiteral("0");
    fresh_ = false;
  }
  if (!entry_.contains(QLatin1Char(','))) entry_ += QLatin1Char(',');
}

void Calculator::apply() {
  const double operand = entryValue();
  double result = accumulator_;
  switch (pending_) {
    case kNone: result = operand; break;
    case kAdd: result = accumulator_ + operand; break;
    case kSubtract: result = accumulator_ - operand; break;
    case kMultiply: result = accumulator_ * operand; break;
    case kDivide:
      if (operand == 0) {
        error_ = true;
        pending_ = kNone;
        fresh_ = true;
        return;
      }
      result = accumulator_ / operand;
      break;
  }
  if (!std::isfinite(result)) {
    error_ = true;
    pending_ = kNone;
    fresh_ = true;
    return;
  }
  accumulator_ = result;
  entry_ = format(result);
}

void Calculator::operation(Op op) {
  if (error_) return;
  // A second operation key in a row only replaces the first.
  if (!(fresh_ && pending_ != kNone)) {
    apply();
    if (error_) return;
  }
  accumulator_ = entryValue();
  pending_ = op;
  fresh_ = true;
}

void Calculator::equals() {
  if (error_ || pending_ == kNone) {
    fresh_ = true;
    return;
  }
  apply();
  pending_ = kNone;
  fresh_ = true;
}

void Calculator::percent() {
  if (error_) return;
  const double operand = entryValue();
  const double result =
      pending_ == kAdd || pending_ == kSubtract ? accumulator_ * operand / 100 : operand / 100;
  entry_ = format(result);
  fresh_ = true;
}

void Calculator::changeSign() {
  if (error_) return;
  if (entry_.startsWith(QLatin1Char('-')))
    entry_.remove(0, 1);
  else if (entry_ != QLatin1String("0"))
    entry_.prepend(QLatin1Char('-'));
}

void Calculator::backspace() {
  if (error_) {
    clear();
    return;
  }
  if (fresh_) return;
  entry_.chop(1);
  if (entry_.isEmpty() || entry_ == QLatin1String("-")) entry_ = QStringLiteral("0");
}

void Calculator::clear() {
  entry_ = QStringLiteral("0");
  accumulator_ = 0;
  pending_ = kNone;
  fresh_ = true;
  error_ = false;
}

// ---- the pad ----

CalculatorPad::CalculatorPad(QWidget* parent) : QWidget(parent), display_(new QLineEdit(this)) {
  display_->setReadOnly(true);
  display_->setAlignment(Qt::AlignRight);
  display_->setFocusPolicy(Qt::NoFocus);
  display_->setAccessibleName(QStringLiteral("Результат"));
  auto* grid = new QGridLayout;
  grid->setSpacing(3);
  const char* const rows[5][4] = {{"C", "←", "%", "÷"},
                                  {"7", "8", "9", "×"},
                                  {"4", "5", "6", "−"},
                                  {"1", "2", "3", "+"},
                                  {"±", "0", ",", "="}};
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 4; ++c) {
      const QString key = QString::fromUtf8(rows[r][c]);
      auto* button = new QPushButton(key, this);
      button->setAccessibleName(key);
      button->setFocusPolicy(Qt::NoFocus);
      button->setAutoDefault(false);
      button->setFixedSize(44, 30);
      connect(button, &QPushButton::clicked, this, [this, key] { press(key); });
      grid->addWidget(button, r, c);
    }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(display_);
  layout->addLayout(grid);
  setFocusPolicy(Qt::StrongFocus);
  refresh();
}

void CalculatorPad::setValue(double value) {
  calc_.setValue(value);
  refresh();
}

void CalculatorPad::refresh() { display_->setText(calc_.display()); }

void CalculatorPad::press(const QString& key) {
  if (key.size() == 1 && key.at(0).isDigit()) {
    calc_.digit(key.at(0).digitValue());
  } else if (key == QLatin1String(",")) {
    calc_.comma();
  } else if (key == QLatin1String("+")) {
    calc_.operation(Calculator::kAdd);
  } else if (key == QStringLiteral("−")) {
    calc_.operation(Calculator::kSubtract);
  } else if (key == QStringLiteral("×")) {
    calc_.operation(Calculator::kMultiply);
  } else if (key == QStringLiteral("÷")) {
    calc_.operation(Calculator::kDivide);
  } else if (key == QLatin1String("=")) {
    calc_.equals();
  } else if (key == QLatin1String("%")) {
    calc_.percent();
  } else if (key == QStringLiteral("±")) {
    calc_.changeSign();
  } else if (key == QStringLiteral("←")) {
    calc_.backspace();
  } else if (key == QLatin1String("C")) {
    calc_.clear();
  }
  refresh();
}

void CalculatorPad::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      press(QStringLiteral("="));
      emit accepted();
      return;
    case Qt::Key_Backspace: press(QStringLiteral("←")); return;
    case Qt::Key_Delete: press(QStringLiteral("C")); return;
    default: break;
  }
  const QString text = event->text();
  static const struct {
    char typed;
    const char* key;
  } keys[] = {{',', ","}, {'.', ","}, {'+', "+"}, {'-', "−"}, {'*', "×"}, {'/', "÷"}, {'=', "="}, {'%', "%"}};
  if (text.size() == 1) {
    if (text.at(0).isDigit()) {
      press(text);
      return;
    }
    for (const auto& k : keys)
      if (text.at(0) == QLatin1Char(k.typed)) {
        press(QString::fromUtf8(k.key));
        return;
      }
  }
  QWidget::keyPressEvent(event);
}

// ---- the dialog and the drop-down ----

CalculatorDialog::CalculatorDialog(QWidget* parent) : QDialog(parent), pad_(new CalculatorPad(this)) {
  setWindowTitle(QStringLiteral("Калькулятор"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(pad_);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  pad_->setFocus();
}

CalculatorPopup::CalculatorPopup(QWidget* parent) : QFrame(parent, Qt::Popup), pad_(new CalculatorPad(this)) {
  setFrameShape(QFrame::StyledPanel);
  setAccessibleName(QStringLiteral("Калькулятор"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(pad_);
  connect(pad_, &CalculatorPad::accepted, this, [this] {
    if (pad_->calculator().error()) return;
    const double result = pad_->value();
    hide();
    emit valueAccepted(result);
  });
}

void CalculatorPopup::popup(QWidget* anchor, double value) {
  pad_->calculator().clear();
  pad_->setValue(value);
  adjustSize();
  QPoint at = anchor->mapToGlobal(QPoint(anchor->width() - width(), anchor->height()));
  if (QScreen* screen = anchor->screen()) {
    const QRect area = screen->availableGeometry();
    if (at.y() + height() > area.bottom()) at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - height());
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - width())));
  }
  move(at);
  show();
  pad_->setFocus();
}

}  // namespace widgets
