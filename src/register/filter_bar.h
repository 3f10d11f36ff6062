// FilterBar: the row of fields above the register's grid with which the
// clerk finds receipts: a period, a part of the payer's or the recipient's
// name, the kind, an amount range and whether marked receipts show.
//
// The bar only collects the values (Value) and says when the clerk asks for
// them (applyRequested): Enter in a field, "Найти", a change of the kind or
// of the marked box.  "Сбросить" empties every field and asks too.  What the
// values mean is register/receipt_filter.h's business.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "register/receipt_filter.h"

namespace reg {

class FilterBar : public QWidget {
  Q_OBJECT

 public:
  explicit FilterBar(QWidget* parent = nullptr);

  ReceiptFilter Value() const;
  // Shows `filter` without asking for it.
  void SetValue(const ReceiptFilter& filter);

  QLineEdit* dateFromEdit;    // "Дата с"
  QLineEdit* dateToEdit;      // "по"
  QLineEdit* payerEdit;       // "Плательщик"
  QLineEdit* recipientEdit;   // "Получатель"
  QComboBox* kindBox;         // "Вид": Все, ПД-4, ПД (налог)
  QLineEdit* amountFromEdit;  // "Сумма от"
  QLineEdit* amountToEdit;    // "до"
  QCheckBox* markedBox;       // "Помеченные": the marked receipts show
  QPushButton* findButton;    // "Найти"
  QPushButton* clearButton;   // "Сбросить"

 signals:
  void applyRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace reg
