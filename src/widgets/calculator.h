// The calculator: its arithmetic (Calculator), its keys and display
// (CalculatorPad), the dialog "Калькулятор" (CalculatorDialog) and the pad
// as the drop-down of a numeric editor (CalculatorPopup).
//
// Calculator works as a pocket calculator: digits and the decimal comma build
// the number shown; + − × ÷ apply the pending operation and wait for the next
// number; = applies it; % turns the number shown into that percentage of the
// first operand (for + and −) or into a hundredth (otherwise); ± changes the
// sign; ← takes back a digit; C clears everything.  A division by zero shows
// "Ошибка" until the next key.  Numbers show with up to 15 significant
// digits and the decimal comma.
//
// User-interface thread only.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QString>

class QLineEdit;
class QPushButton;

namespace widgets {

class Calculator {
 public:
  enum Op { kNone, kAdd, kSubtract, kMultiply, kDivide };

  void digit(int d);
  void comma();
  void operation(Op op);
  void equals();
  void percent();
  void changeSign();
  void backspace();
  void clear();

  // The text on the display.
  QString display() const;
  // The number on the display (0 after an error).
  double value() const;
  // Shows `value` as a fresh entry (the next digit starts a new number).
  void setValue(double value);
  bool error() const { return error_; }

  // `value` as the display shows it.
  static QString format(double value);

 private:
  double entryValue() const;
  void apply();

  QString entry_ = QStringLiteral("0");
  double accumulator_ = 0;
  Op pending_ = kNone;
  bool fresh_ = true;  // the next digit starts a new number
  bool error_ = false;
};

// The display and the keys; the keyboard works as well (digits, "," or ".",
// + - * /, Enter or =, %, Backspace, Delete for C).
class CalculatorPad : public QWidget {
  Q_OBJECT

 public:
  explicit CalculatorPad(QWidget* parent = nullptr);
  Calculator& calculator() { return calc_; }
  void setValue(double value);
  double value() const { return calc_.value(); }
  // Presses the key with this caption ("7", ",", "+", "−", "×", "÷", "=",
  // "%", "±", "←", "C").
  void press(const QString& key);

 signals:
  // Enter was pressed (after = was applied).
  void accepted();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void refresh();

  Calculator calc_;
  QLineEdit* display_;
};

// The calculator dialog, titled "Калькулятор"; closed by Esc or its close box.
class CalculatorDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CalculatorDialog(QWidget* parent = nullptr);
  CalculatorPad* pad() const { return pad_; }

 private:
  CalculatorPad* pad_;
};

// The pad dropped down under an editor: Enter hands the result over
// (valueAccepted) and closes it; Esc or a click elsewhere closes it alone.
class CalculatorPopup : public QFrame {
  Q_OBJECT

 public:
  explicit CalculatorPopup(QWidget* parent = nullptr);
  CalculatorPad* pad() const { return pad_; }
  // Shows the pad under `anchor` starting from `value`.
  void popup(QWidget* anchor, double value);

 signals:
  void valueAccepted(double value);

 private:
  CalculatorPad* pad_;
};

}  // namespace widgets
