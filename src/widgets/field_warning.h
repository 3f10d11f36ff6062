// Warnings beside editors: a value that fails a check is marked while it is
// typed, and the dialog asks once on "Ok" whether to store it all the same.
//
// A warning never refuses a value.  The check is any function of the text;
// this layer knows nothing of what is being checked.
//
//   FieldWarning   watches one editor (a QLineEdit, or a QComboBox through
//                  its line), reruns the check on every change of the text,
//                  shows a warning icon inside the editor with the
//                  explanation as its tooltip, and gives the editor the
//                  explanation as its accessible description.  It is a child
//                  of the editor and dies with it.
//   WarningLabel   an icon and the explanation, for a dialog to place in its
//                  layout beside the editor; hidden (taking no room) while
//                  the value passes.
//   WarningSummary the labels of all of a dialog's warnings stacked in one
//                  place (above its buttons), for a dialog whose layout has
//                  no room beside each editor.
//   ConfirmDespiteWarnings   the question on "Ok".
//
// User-interface thread only.
#pragma once

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QAction;
class QLineEdit;

namespace widgets {

// The explanation of what is wrong with `text`, or an empty string when it
// passes.
using FieldCheck = std::function<QString(const QString& text)>;

class FieldWarning : public QObject {
  Q_OBJECT

 public:
  // REQUIRES: `editor` is a QLineEdit or a QComboBox (editable or not).
  // Checks the editor's text at once.
  FieldWarning(QWidget* editor, FieldCheck check);

  QWidget* Editor() const { return editor_; }
  QString Text() const;
  // The explanation shown now; empty while the value passes.
  QString Problem() const { return problem_; }
  // The icon inside the editor (visible while the value fails).
  QAction* IconAction() const { return icon_; }

  // Checks again whenever the text of `other` changes: for a check that reads
  // another field as well (an account against its BIK).
  void RecheckOn(QWidget* other);

 public slots:
  // Runs the check on the editor's text now.
  void Recheck();

 signals:
  void ProblemChanged(const QString& problem);

 private:
  QWidget* editor_;     // the editor; owns this object
  QLineEdit* line_;     // the editor's line, or null for a non-editable box
  FieldCheck check_;
  QAction* icon_ = nullptr;  // owned by line_
  QString problem_;
};

class WarningLabel : public QWidget {
  Q_OBJECT

 public:
  // REQUIRES: `parent` is the dialog (or a widget in it), never null.
  WarningLabel(FieldWarning* warning, QWidget* parent);
  QString Text() const { return text_->text(); }

 private:
  void Show(const QString& problem);
  QLabel* icon_;
  QLabel* text_;
};

class WarningSummary : public QWidget {
  Q_OBJECT

 public:
  // REQUIRES: `parent` is not null.
  explicit WarningSummary(QWidget* parent);
  // Adds a line that shows `warning`'s explanation while it fails.
  void Add(FieldWarning* warning);
  // The explanations shown now, in the order added.
  QStringList Shown() const;

 signals:
  // A line was shown, hidden or given another explanation: the summary's
  // size may have changed.
  void Changed();

 private:
  std::vector<WarningLabel*> lines_;  // children of this
};

// For the dialog's "Ok": rechecks every editor; when none fails, true.
// Otherwise asks once, through `ask` (a Yes/No question, true for Yes), the
// explanations one a line followed by "Сохранить всё равно?": Yes gives
// true; No gives the focus to the first failing editor and returns false.
// `more` are further explanations (of the record as a whole) asked about in
// the same question, after the editors' own.
bool ConfirmDespiteWarnings(const std::vector<FieldWarning*>& warnings,
                            const std::function<bool(const QString& question)>& ask,
                            const QStringList& more = {});

}  // namespace widgets
