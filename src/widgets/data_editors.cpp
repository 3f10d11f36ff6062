// The data-aware editors: showing a field's value, taking the user's change
// into the record, and the drop-down calculator and calendar.
#include "widgets/data_editors.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QCalendarWidget>
#include <QFrame>
#include <QKeyEvent>
#include <QValidator>
#include <QScreen>
#include <QPainter>
#include <QVBoxLayout>

#include "engine/base/database_error.h"
#include "engine/dataset/dataset.h"
#include "engine/locale/format_settings.h"
#include "widgets/calculator.h"
#include "widgets/data_text.h"

namespace widgets {
namespace {

// The user changed the text of `edit`: the dataset goes into edit state
// (which shows the stored value again) and the typed text is put back over
// it.  False when the record cannot change; the stored value then shows.
bool TakeUserText(FieldDataLink& link, QLineEdit* edit, const std::function<void()>& show_field) {
  if (!link.field()) return true;  // an unbound editor is a plain one
  if (!link.Editing()) {
    const QString typed = edit->text();
    const int cursor = edit->cursorPosition();
    if (!link.edit()) {
      show_field();
      return false;
    }
    edit->setText(typed);
    edit->setCursorPosition(cursor);
  }
  link.setModified(true);
  return true;
}

void SetMaxLengthFromField(QLineEdit* edit, const tdb::TField* field) {
  const bool text = field && tdb::IsStringFieldType(field->DataType()) && field->Size() > 0;
  edit->setMaxLength(text ? field->Size() : 32767);
}

// A loss of focus writes what was typed; a refusal waits for the post,
// which reports it naming the field.
void WriteOnLeaving(FieldDataLink& link) {
  try {
    link.updateRecord();
  } catch (const tdb::EDatabaseError&) {
  }
}

QString DecimalText(QString text) {
  text.remove(QLatin1Char(' '));
  const QChar separator = QLatin1Char(tdb::CurrentFormatSettings()->decimal_separator);
  text.replace(QLatin1Char('.'), separator).replace(QLatin1Char(','), separator);
  return text;
}

// The small downward triangle of a drop-down, in the text colour.
QIcon DropDownIcon(const QWidget* editor) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(editor->palette().color(QPalette::Text));
  const QPointF corners[3] = {QPointF(2, 4), QPointF(10, 4), QPointF(6, 9)};
  painter.drawPolygon(corners, 3);
  return QIcon(pixmap);
}

void PlaceUnder(QWidget* popup, QWidget* anchor) {
  popup->adjustSize();
  QPoint at = anchor->mapToGlobal(QPoint(0, anchor->height()));
  if (QScreen* screen = anchor->screen()) {
    const QRect area = screen->availableGeometry();
    if (at.y() + popup->height() > area.bottom()) at.setY(anchor->mapToGlobal(QPoint(0, 0)).y() - popup->height());
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - popup->width())));
  }
  popup->move(at);
}

}  // namespace

QWidget* editorOfField(QWidget* root, const QString& field_name) {
  if (!root) return nullptr;
  QList<QWidget*> candidates = root->findChildren<QWidget*>();
  candidates.prepend(root);
  for (QWidget* widget : candidates)
    if (auto* editor = dynamic_cast<DataAware*>(widget))
      if (!editor->dataField().isEmpty() && editor->dataField().compare(field_name, Qt::CaseInsensitive) == 0)
        return widget;
  return nullptr;
}

// ---- text ----

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent) {
  link_.showValue = [this] { showField(); };
  link_.writeValue = [this] { writeText(text()); };
  link_.stateChanged = [this] { updateState(); };
  connect(this, &QLineEdit::textEdited, this, [this] {
    if (!showing_) TakeUserText(link_, this, [this] { showField(); });
  });
}

QString DBEdit::textOfField() const { return link_.fieldText(); }

void DBEdit::writeText(const QString& text) { field()->SetAsString(ToCp1251(text)); }

void DBEdit::showField() {
  showing_ = true;
  SetMaxLengthFromField(this, field());
  setText(textOfField());
  setCursorPosition(0);
  showing_ = false;
}

void DBEdit::updateState() { SetMaxLengthFromField(this, field()); }

bool DBEdit::beginChange() {
  if (isReadOnly()) return false;
  if (!field()) return true;
  if (link_.Editing()) return true;
  return link_.edit();
}

void DBEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  WriteOnLeaving(link_);
}

// ---- drop-downs ----

DBDropDownEdit::DBDropDownEdit(const QString& caption, QWidget* parent)
    : DBEdit(parent), drop_down_(addAction(DropDownIcon(this), QLineEdit::TrailingPosition)) {
  drop_down_->setText(caption);
  drop_down_->setToolTip(caption);
  connect(drop_down_, &QAction::triggered, this, [this] { showDropDown(); });
}

void DBDropDownEdit::takeValue(const QString& text) {
  if (!beginChange()) return;
  setText(text);
  if (field()) link_.setModified(true);
  setFocus();
}

void DBDropDownEdit::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier) || event->key() == Qt::Key_F4) {
    showDropDown();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

// ---- numbers ----

namespace {

// Digits with spaces between groups, either decimal sign, within the
// editor's limits as they stand when the text changes.
class NumberValidator : public QValidator {
 public:
  explicit NumberValidator(const DBNumberEdit* edit) : QValidator(const_cast<DBNumberEdit*>(edit)), edit_(edit) {}

  State validate(QString& input, int&) const override {
    const NumberLimits limits = edit_->effectiveLimits();
    QString text = input;
    text.remove(QLatin1Char(' '));
    qsizetype at = 0;
    if (text.startsWith(QLatin1Char('-'))) {
      if (!limits.negative) return Invalid;
      at = 1;
    }
    bool separator = false;
    int whole = 0, fraction = 0;
    for (; at < text.size(); ++at) {
      const QChar c = text[at];
      if (c == QLatin1Char(',') || c == QLatin1Char('.')) {
        if (separator || limits.decimals <= 0) return Invalid;
        separator = true;
      } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        if (separator && ++fraction > limits.decimals) return Invalid;
        if (!separator) ++whole;
      } else {
        return Invalid;
      }
    }
    if (whole + fraction == 0) return Intermediate;
    const double value = std::fabs(text.replace(QLatin1Char(','), QLatin1Char('.')).toDouble());
    return value > limits.maximum ? Invalid : Acceptable;
  }

 private:
  const DBNumberEdit* edit_;
};

bool IsIntegerFieldType(int type) {
  return type == tdb::ftSmallint || type == tdb::ftInteger || type == tdb::ftWord || type == tdb::ftAutoInc ||
         type == tdb::ftLargeint;
}

}  // namespace

DBNumberEdit::DBNumberEdit(QWidget* parent)
    : DBDropDownEdit(QStringLiteral("Калькулятор"), parent), popup_(new CalculatorPopup(this)) {
  setAlignment(Qt::AlignRight);
  setValidator(new NumberValidator(this));
  connect(popup_, &CalculatorPopup::valueAccepted, this, &DBNumberEdit::takeCalculated);
}

NumberLimits DBNumberEdit::effectiveLimits() const {
  NumberLimits limits = limits_;
  const tdb::TField* f = field();
  if (!f) return limits;
  switch (f->DataType()) {
    case tdb::ftSmallint: limits.maximum = std::min(limits.maximum, 32767.0); break;
    case tdb::ftWord:
      limits.maximum = std::min(limits.maximum, 65535.0);
      limits.negative = false;
      break;
    case tdb::ftInteger:
    case tdb::ftAutoInc: limits.maximum = std::min(limits.maximum, 2147483647.0); break;
    default: break;
  }
  if (IsIntegerFieldType(f->DataType())) limits.decimals = 0;
  return limits;
}

void DBNumberEdit::takeCalculated(double value) {
  const NumberLimits limits = effectiveLimits();
  const double scale = std::pow(10.0, std::max(0, limits.decimals));
  // Half away from zero, to the decimals allowed: 100,005 is 100,01 (the
  // nudge takes back the binary fraction's shortfall: 100,005 * 100 is
  // 10000,4999… as a double).
  const double scaled = value * scale;
  const double rounded = std::round(scaled + (scaled >= 0 ? 1e-7 : -1e-7)) / scale;
  if (!std::isfinite(rounded) || (rounded < 0 && !limits.negative) || std::fabs(rounded) > limits.maximum) {
    QApplication::beep();
    return;
  }
  takeValue(Calculator::format(rounded));
}

void DBNumberEdit::showDropDown() {
  if (isReadOnly()) return;
  popup_->popup(this, DecimalText(text()).replace(QLatin1Char(','), QLatin1Char('.')).toDouble());
}

QString DBNumberEdit::textOfField() const {
  const QString text = DBDropDownEdit::textOfField();
  const tdb::TField* f = field();
  const int decimals = effectiveLimits().decimals;
  if (!f || (f->DataType() != tdb::ftFloat && f->DataType() != tdb::ftCurrency) || decimals <= 0 ||
      text.trimmed().isEmpty())
    return text;
  // Amounts with their kopecks, as they are typed and printed.
  return QString::number(f->AsFloat(), 'f', decimals)
      .replace(QLatin1Char('.'), QLatin1Char(tdb::CurrentFormatSettings()->decimal_separator));
}

void DBNumberEdit::writeText(const QString& text) {
  QString value = DecimalText(text);
  if (value.isEmpty() || value == QLatin1String("-")) value = QStringLiteral("0");
  field()->SetAsString(ToCp1251(value));
}

// ---- dates ----

DBDateEdit::DBDateEdit(QWidget* parent)
    : DBDropDownEdit(QStringLiteral("Календарь"), parent), popup_(new QFrame(this, Qt::Popup)),
      calendar_(new QCalendarWidget(popup_)) {
  static_cast<QFrame*>(popup_)->setFrameShape(QFrame::StyledPanel);
  popup_->setAccessibleName(QStringLiteral("Календарь"));
  auto* layout = new QVBoxLayout(popup_);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->addWidget(calendar_);
  calendar_->setFirstDayOfWeek(Qt::Monday);
  calendar_->setGridVisible(true);
  calendar_->setAccessibleName(QStringLiteral("Календарь"));
  auto take = [this](QDate date) {
    popup_->hide();
    takeValue(date.toString(QStringLiteral("dd.MM.yyyy")));
  };
  connect(calendar_, &QCalendarWidget::clicked, this, take);
  connect(calendar_, &QCalendarWidget::activated, this, take);
}

void DBDateEdit::showDropDown() {
  if (isReadOnly()) return;
  QDate shown = QDate::fromString(text().trimmed(), QStringLiteral("dd.MM.yyyy"));
  calendar_->setSelectedDate(shown.isValid() ? shown : QDate::currentDate());
  PlaceUnder(popup_, this);
  popup_->show();
  calendar_->setFocus();
}

void DBDateEdit::writeText(const QString& text) {
  const QString date = text.trimmed();
  // No date is the zero date, as a new record's date-time fields hold.
  if (date.isEmpty())
    field()->SetAsDateTime(0);
  else
    field()->SetAsString(ToCp1251(date));
}

// ---- booleans ----

DBCheckBox::DBCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
  link_.showValue = [this] { showField(); };
  link_.writeValue = [this] { field()->SetAsBoolean(isChecked()); };
}

void DBCheckBox::showField() {
  tdb::TField* f = field();
  setChecked(f && link_.Active() && f->AsBoolean());
}

void DBCheckBox::nextCheckState() {
  if (!field()) {
    QCheckBox::nextCheckState();
    return;
  }
  if (!link_.edit()) return;
  QCheckBox::nextCheckState();
  // A check box changes the record at once, as a click on it is the whole edit.
  field()->SetAsBoolean(isChecked());
}

// ---- drop-down boxes ----

DBComboBox::DBComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  link_.showValue = [this] { showField(); };
  link_.writeValue = [this] { field()->SetAsString(ToCp1251(currentText())); };
  link_.stateChanged = [this] { SetMaxLengthFromField(lineEdit(), field()); };
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] {
    if (!showing_) TakeUserText(link_, lineEdit(), [this] { showField(); });
  });
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (showing_ || !field()) return;
    const QString chosen = itemText(index);
    if (!link_.Editing() && !link_.edit()) {
      showField();
      return;
    }
    showing_ = true;
    setEditText(chosen);
    showing_ = false;
    link_.setModified(true);
  });
}

void DBComboBox::showField() {
  showing_ = true;
  SetMaxLengthFromField(lineEdit(), field());
  setEditText(link_.fieldText());
  showing_ = false;
}

void DBComboBox::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  WriteOnLeaving(link_);
}

}  // namespace widgets
