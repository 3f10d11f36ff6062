// Field warnings: the check run on every change, the icon inside the editor,
// the label beside it and the question on "Ok".
#include "widgets/field_warning.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QLineEdit>
#include <QStyle>

namespace widgets {
namespace {

QIcon WarningIcon(const QWidget* w) { return w->style()->standardIcon(QStyle::SP_MessageBoxWarning); }

// Calls `slot` whenever the text of `editor` changes, typed or set.
void OnTextChange(QWidget* editor, QObject* receiver, const std::function<void()>& slot) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    QObject::connect(line, &QLineEdit::textChanged, receiver, slot);
  } else if (auto* box = qobject_cast<QComboBox*>(editor)) {
    QObject::connect(box, &QComboBox::currentTextChanged, receiver, slot);
    if (box->lineEdit()) QObject::connect(box->lineEdit(), &QLineEdit::textChanged, receiver, slot);
  } else {
    Q_ASSERT_X(false, "FieldWarning", "the editor is neither a line edit nor a combo box");
  }
}

}  // namespace

FieldWarning::FieldWarning(QWidget* editor, FieldCheck check)
    : QObject(editor), editor_(editor), check_(std::move(check)) {
  line_ = qobject_cast<QLineEdit*>(editor);
  if (auto* box = qobject_cast<QComboBox*>(editor)) line_ = box->lineEdit();
  if (line_) {
    icon_ = line_->addAction(WarningIcon(line_), QLineEdit::TrailingPosition);
    icon_->setVisible(false);
  }
  OnTextChange(editor, this, [this] { Recheck(); });
  Recheck();
}

QString FieldWarning::Text() const {
  if (line_) return line_->text();
  if (auto* box = qobject_cast<QComboBox*>(editor_)) return box->currentText();
  return {};
}

void FieldWarning::RecheckOn(QWidget* other) { OnTextChange(other, this, [this] { Recheck(); }); }

void FieldWarning::Recheck() {
  QString problem = check_ ? check_(Text()) : QString();
  if (problem == problem_) return;
  problem_ = problem;
  if (icon_) {
    icon_->setVisible(!problem_.isEmpty());
    icon_->setToolTip(problem_);
    icon_->setText(problem_);
  }
  editor_->setAccessibleDescription(problem_);
  emit ProblemChanged(problem_);
}

WarningLabel::WarningLabel(FieldWarning* warning, QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  icon_ = new QLabel(this);
  int side = style()->pixelMetric(QStyle::PM_SmallIconSize);
  icon_->setPixmap(WarningIcon(this).pixmap(side, side));
  text_ = new QLabel(this);
  text_->setWordWrap(true);
  row->addWidget(icon_);
  row->addWidget(text_, 1);
  connect(warning, &FieldWarning::ProblemChanged, this, &WarningLabel::Show);
  Show(warning->Problem());
}

void WarningLabel::Show(const QString& problem) {
  text_->setText(problem);
  setAccessibleName(problem);
  setVisible(!problem.isEmpty());
}

WarningSummary::WarningSummary(QWidget* parent) : QWidget(parent) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
}

void WarningSummary::Add(FieldWarning* warning) {
  auto* line = new WarningLabel(warning, this);
  layout()->addWidget(line);
  lines_.push_back(line);
  // The line has already followed the problem (it connected first).
  connect(warning, &FieldWarning::ProblemChanged, this, &WarningSummary::Changed);
}

QStringList WarningSummary::Shown() const {
  QStringList shown;
  for (const WarningLabel* line : lines_)
    if (!line->isHidden()) shown << line->Text();
  return shown;
}

bool ConfirmDespiteWarnings(const std::vector<FieldWarning*>& warnings,
                            const std::function<bool(const QString& question)>& ask, const QStringList& more) {
  QStringList problems;
  FieldWarning* first = nullptr;
  for (FieldWarning* w : warnings) {
    w->Recheck();
    if (w->Problem().isEmpty()) continue;
    problems << w->Problem();
    if (!first) first = w;
  }
  problems << more;
  if (problems.isEmpty()) return true;
  problems << QStringLiteral("Сохранить всё равно?");
  if (ask(problems.join('\n'))) return true;
  if (first) first->Editor()->setFocus(Qt::OtherFocusReason);
  return false;
}

}  // namespace widgets
