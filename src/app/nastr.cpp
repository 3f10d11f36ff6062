// The settings dialog: its layout, the password-edit rule and "Сохранить".
#include "app/nastr.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QValidator>
#include <QVBoxLayout>

#include "app/window_placement.h"
#include "engine/base/codepage.h"

namespace app {
namespace {

// The password is stored in Windows-1251; a character the code page lacks
// would be saved as "?" and the password could never be typed again, so such
// characters are refused while typing.
class Cp1251Validator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    const std::u16string_view text(reinterpret_cast<const char16_t*>(input.utf16()),
                                   static_cast<std::size_t>(input.size()));
    const std::u16string back = tdb::Cp1251ToUtf16(tdb::Utf16ToCp1251(text));
    return back == text ? Acceptable : Invalid;
  }
};

// A group heading: the label with a line running beside it.
QWidget* GroupHeading(const QString& text, QWidget* parent) {
  auto* heading = new QWidget(parent);
  auto* row = new QHBoxLayout(heading);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(text, heading));
  auto* line = new QFrame(heading);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  row->addWidget(line, 1);
  return heading;
}

}  // namespace

TFnastr::TFnastr(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Настройка программы"));
  setObjectName(QStringLiteral("Fnastr"));

  CheckBox1 = new QCheckBox(QStringLiteral("Печатать сумму в квитанции"), this);
  CheckBox1->setChecked(true);
  CheckBox2 = new QCheckBox(QStringLiteral("Использовать пароль для входа в систему"), this);
  Edit1 = new widgets::MaskedEdit(this);
  Edit1->setValidator(new Cp1251Validator(Edit1));
  BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), this);
  BitBtn2 = new QPushButton(QStringLiteral("Отмена"), this);
  // Enter must not save by surprise; Esc closes through QDialog::reject.
  BitBtn1->setAutoDefault(false);
  BitBtn2->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupHeading(QStringLiteral("Настройка печати квитанции"), this));
  layout->addWidget(CheckBox1);
  layout->addWidget(GroupHeading(QStringLiteral("Настройки безопасности"), this));
  layout->addWidget(CheckBox2);
  layout->addWidget(Edit1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(CheckBox2, &QCheckBox::toggled, this, &TFnastr::ApplyPasswordEditRule);
  connect(BitBtn1, &QPushButton::clicked, this, &TFnastr::Save);
  connect(BitBtn2, &QPushButton::clicked, this, &TFnastr::reject);
  ApplyPasswordEditRule();
}

void TFnastr::ApplyPasswordEditRule() {
  const bool on = CheckBox2->isChecked();
  const QColor base = on ? palette().color(QPalette::Active, QPalette::Base) : DisabledEditColor();
  QPalette p = Edit1->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, base);
  }
  Edit1->setPalette(p);
  Edit1->setEnabled(on);
}

void TFnastr::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  CentreOnScreen(*this);
}

void TFnastr::Save() {
  if (save_ && !save_()) return;
  accept();
}

}  // namespace app
