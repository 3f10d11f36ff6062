// The settings dialog: its layout, the password-edit rule and "Сохранить".
#include "app/settings_dialog.h"

#include <QFrame>
#include <QShowEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QValidator>
#include <QVBoxLayout>

#include "ui/window_placement.h"
#include "widgets/data_text.h"

namespace app {
namespace {

// The password is stored in Windows-1251; a character the code page lacks
// would be saved as "?" and the password could never be typed again, so such
// characters are refused while typing.
class Cp1251Validator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    return widgets::FromCp1251(widgets::ToCp1251(input)) == input ? Acceptable : Invalid;
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

SettingsDialog::SettingsDialog(Settings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Настройка программы"));
  setObjectName(QStringLiteral("settingsDialog"));

  printAmountBox = new QCheckBox(QStringLiteral("Печатать сумму в квитанции"), this);
  usePasswordBox = new QCheckBox(QStringLiteral("Использовать пароль для входа в систему"), this);
  passwordEdit = new widgets::MaskedEdit(this);
  passwordEdit->setValidator(new Cp1251Validator(passwordEdit));
  saveButton = new QPushButton(QStringLiteral("Сохранить"), this);
  cancelButton = new QPushButton(QStringLiteral("Отмена"), this);
  // Enter must not save by surprise; Esc closes through QDialog::reject.
  saveButton->setAutoDefault(false);
  cancelButton->setAutoDefault(false);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(GroupHeading(QStringLiteral("Настройка печати квитанции"), this));
  layout->addWidget(printAmountBox);
  layout->addWidget(GroupHeading(QStringLiteral("Настройки безопасности"), this));
  layout->addWidget(usePasswordBox);
  layout->addWidget(passwordEdit);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(saveButton);
  buttons->addWidget(cancelButton);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Load();
  connect(printAmountBox, &QCheckBox::toggled, this, [this](bool on) { settings_.summa = on; });
  connect(usePasswordBox, &QCheckBox::toggled, this, [this](bool on) {
    settings_.passLog = on;
    ApplyPasswordEditRule();
  });
  connect(passwordEdit, &QLineEdit::textChanged, this, [this](const QString& text) { settings_.password = text; });
  connect(saveButton, &QPushButton::clicked, this, &SettingsDialog::Save);
  connect(cancelButton, &QPushButton::clicked, this, &SettingsDialog::reject);
}

void SettingsDialog::Load() {
  const Settings value = settings_;  // the controls' signals write back as they change
  printAmountBox->setChecked(value.summa);
  usePasswordBox->setChecked(value.passLog);
  passwordEdit->setText(value.password);
  ApplyPasswordEditRule();
}

void SettingsDialog::ApplyPasswordEditRule() {
  const bool on = usePasswordBox->isChecked();
  const QColor base = on ? palette().color(QPalette::Active, QPalette::Base) : DisabledEditColor();
  QPalette p = passwordEdit->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Base, base);
  }
  passwordEdit->setPalette(p);
  passwordEdit->setEnabled(on);
}

void SettingsDialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) Load();
  QDialog::showEvent(event);
  ui::CentreOnScreen(*this);
}

void SettingsDialog::Save() {
  if (save_ && !save_()) return;
  accept();
}

}  // namespace app
