// Makes and binds the dialogs' data-aware editors from the widget layer.
#include "ui/field_editors.h"

#include "widgets/data_editors.h"

namespace ui {

QWidget* MakeFieldEditor(FieldEditorKind kind, const char* field, const QString& label, QWidget* parent) {
  widgets::DBEdit* editor;
  switch (kind) {
    case FieldEditorKind::Number:
      editor = new widgets::DBNumberEdit(parent);
      break;
    case FieldEditorKind::Date:
      editor = new widgets::DBDateEdit(parent);
      break;
    default:
      editor = new widgets::DBEdit(parent);
      break;
  }
  editor->setReadOnly(kind == FieldEditorKind::ReadOnly);
  editor->setObjectName(QString::fromLatin1(field));
  editor->setAccessibleName(label);
  return editor;
}

void BindFieldEditor(QWidget* editor, tdb::TDataSource* source) {
  auto* bound = dynamic_cast<widgets::DataAware*>(editor);
  if (!bound) return;
  bound->bind(source, source ? editor->objectName() : QString());
}

QString OneLine(const QString& label) {
  QString text = label;
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (text.endsWith(QLatin1Char(':'))) text.chop(1);
  return text;
}

}  // namespace ui
