// Data-aware editors: controls bound to one field of a data source's dataset.
//
//   DBEdit        text (its length limited to the field's size for text fields)
//   DBNumberEdit  a number within NumberLimits (by default an amount: two
//                 decimals, not negative), with a drop-down calculator
//                 (button or Alt+Down)
//   DBDateEdit    a date, with a drop-down calendar (button or Alt+Down)
//   DBCheckBox    a boolean
//   DBComboBox    text with a drop-down list of suggestions (any text allowed)
//
// Every editor is bound with bind(source, field name) (again at any time;
// nullptr or an empty name unbinds) and then:
//   - shows the field's value of the current record, and shows it again
//     whenever the dataset moves to another record, starts or ends an insert
//     or an edit (so after a Cancel the stored value is back), or the field is
//     written by someone else (a directory pick, for instance);
//   - on the user's first change puts a browsing dataset into edit state;
//   - writes the value being typed into the field when the dataset is about
//     to post (Post asks every link first), when the editor loses the focus,
//     and on updateRecord().  A value the field refuses raises from Post as
//     tdb::EFieldError naming the field (editorOfField finds its editor);
//     on a loss of focus the refusal is kept back for the Post, the text stays.
//   - refuses typing while the dataset cannot be modified or the editor is
//     read-only.
// The accessible name of an editor is its label's text when a QLabel is its
// buddy (set it so); the drop-down buttons are named after what they open.
//
// Texts are Windows-1251 in the fields and UTF-16 in the editors; characters
// the code page lacks are stored as "?".  User-interface thread only.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <memory>

#include "widgets/field_data_link.h"

class QCalendarWidget;

namespace widgets {

class CalculatorPopup;

// What every data-aware editor offers.
class DataAware {
 public:
  virtual ~DataAware() = default;
  void bind(tdb::TDataSource* source, const QString& field_name) { link_.bind(source, field_name); }
  tdb::TDataSource* dataSource() const { return link_.DataSource(); }
  const QString& dataField() const { return link_.fieldName(); }
  tdb::TField* field() const { return link_.field(); }
  // Writes a value still being typed into the field now.
  void updateRecord() { link_.updateRecord(); }
  // The user changed the value since it was last shown.
  bool valueModified() const { return link_.modified(); }

 protected:
  FieldDataLink link_;
};

// The editor under `root` (or `root` itself) bound to the field named
// `field_name` (without regard to letter case); null when none.
QWidget* editorOfField(QWidget* root, const QString& field_name);

class DBEdit : public QLineEdit, public DataAware {
  Q_OBJECT

 public:
  explicit DBEdit(QWidget* parent = nullptr);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  // The text the field's value shows as; writes `text` into the field.
  virtual QString textOfField() const;
  virtual void writeText(const QString& text);
  // Whether the editor may change now (puts the dataset into edit state).
  bool beginChange();

 private:
  void showField();
  void updateState();
  bool showing_ = false;
};

// A DBEdit with a drop-down: a button at its right end, named `caption`,
// and Alt+Down or F4 open it (showDropDown); a value taken from it replaces
// the text as if typed (takeValue).
class DBDropDownEdit : public DBEdit {
  Q_OBJECT

 public:
  DBDropDownEdit(const QString& caption, QWidget* parent);

 protected:
  // Opens the drop-down under the editor; nothing while it is read-only.
  virtual void showDropDown() = 0;
  // Puts `text` into the editor as the user's change and gives it the focus;
  // nothing when the editor may not change now.
  void takeValue(const QString& text);
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QAction* drop_down_;
};

// What a number editor lets in.  Typing past a limit does nothing (the key
// is refused); a calculator result is rounded to the decimals allowed, and
// one below zero or above the maximum is refused with a beep.  Bound to an
// integer field, the editor takes no decimals and nothing beyond the field's
// range, whatever the limits say.
struct NumberLimits {
  int decimals = 2;        // digits after the decimal sign
  bool negative = false;   // a minus sign is allowed
  double maximum = 999999999999.99;  // the largest magnitude (whole kopecks stay exact)
};

class DBNumberEdit : public DBDropDownEdit {
  Q_OBJECT

 public:
  explicit DBNumberEdit(QWidget* parent = nullptr);
  // Opens the calculator under the editor, starting from the value shown.
  void showCalculator() { showDropDown(); }
  CalculatorPopup* calculator() const { return popup_; }

  void setLimits(const NumberLimits& limits) { limits_ = limits; }
  const NumberLimits& limits() const { return limits_; }
  // The limits as they apply to the bound field now.
  NumberLimits effectiveLimits() const;

 protected:
  void showDropDown() override;
  // A fractional field shows every decimal its limits allow: "1240,50".
  QString textOfField() const override;
  void writeText(const QString& text) override;

 private:
  void takeCalculated(double value);

  CalculatorPopup* popup_;
  NumberLimits limits_;
};

class DBDateEdit : public DBDropDownEdit {
  Q_OBJECT

 public:
  explicit DBDateEdit(QWidget* parent = nullptr);
  // Opens the calendar under the editor on the date shown.
  void showCalendar() { showDropDown(); }
  QCalendarWidget* calendar() const { return calendar_; }

 protected:
  void showDropDown() override;
  void writeText(const QString& text) override;

 private:
  QWidget* popup_;
  QCalendarWidget* calendar_;
};

class DBCheckBox : public QCheckBox, public DataAware {
  Q_OBJECT

 public:
  explicit DBCheckBox(const QString& caption = QString(), QWidget* parent = nullptr);

 protected:
  void nextCheckState() override;

 private:
  void showField();
};

class DBComboBox : public QComboBox, public DataAware {
  Q_OBJECT

 public:
  explicit DBComboBox(QWidget* parent = nullptr);

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void showField();
  bool showing_ = false;
};

}  // namespace widgets
