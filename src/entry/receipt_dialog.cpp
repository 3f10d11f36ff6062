// The two receipt dialogs' layouts and their shared behaviour.
#include "entry/receipt_dialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QTextBrowser>
#include <QFileInfo>
#include <QFile>
#include <QHBoxLayout>
#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/window_placement.h"
#include "data/receipt_tables.h"
#include "data/requisites.h"
#include "ui/requisite_warnings.h"
#include "directories/directory.h"
#include "directories/directory_window.h"
#include "ui/dialog_buttons.h"
#include "ui/field_editors.h"
#include "engine/dataset/data_source.h"
#include "engine/dataset/dataset.h"
#include "widgets/data_editors.h"
#include "widgets/data_text.h"

namespace entry {

namespace receipt_table = receipts::receipt_table;

using ui::FieldEditorKind;

namespace {

// What the code in an editable tax box means, in grey after the code inside
// the closed box, as the open list says it ("13 — физическое лицо"), with
// the whole meaning as the box's tooltip.  The box's text stays the code.
class CodeMeaningMark : public QLabel {
 public:
  CodeMeaningMark(QComboBox* box, const char* field) : QLabel(box->lineEdit()), box_(box), field_(field) {
    setObjectName(QStringLiteral("meaning"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette grey = palette();
    grey.setColor(QPalette::WindowText, grey.color(QPalette::Disabled, QPalette::Text));
    setPalette(grey);
    connect(box->lineEdit(), &QLineEdit::textChanged, this, &CodeMeaningMark::Follow);
    box->lineEdit()->installEventFilter(this);
    Follow();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) Follow();
    return QLabel::eventFilter(watched, event);
  }

 private:
  void Follow() {
    const QLineEdit* edit = box_->lineEdit();
    const QString meaning = CodeMeaning(field_, edit->text().trimmed());
    box_->setToolTip(meaning);
    setVisible(!meaning.isEmpty());
    if (meaning.isEmpty()) return;
    const QFontMetrics metrics(edit->font());
    const int left = 3 + metrics.horizontalAdvance(edit->text() + QLatin1Char(' '));
    const int width = qMax(0, edit->width() - left);
    setFont(edit->font());
    setText(metrics.elidedText(QStringLiteral("— ") + meaning, Qt::ElideRight, width));
    setGeometry(left, 0, width, edit->height());
  }

  QComboBox* box_;
  const char* field_;
};

// Opens the directory from the keyboard while a picked editor has the focus:
// F4, Alt+Down or the space bar do what "..." does.
class PickKeys : public QObject {
 public:
  PickKeys(QWidget* editor, OpenOnEntry* rule) : QObject(editor), rule_(rule) { editor->installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      auto* key = static_cast<QKeyEvent*>(event);
      const bool altDown = key->key() == Qt::Key_Down && (key->modifiers() & Qt::AltModifier);
      if (key->key() == Qt::Key_F4 || altDown || key->key() == Qt::Key_Space) {
        rule_->Open();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  OpenOnEntry* rule_;
};

}  // namespace

// ---- ReceiptDialog ----

ReceiptDialog::ReceiptDialog(ui::UiPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      prompts_(prompts),
      shared_(this, {QStringLiteral("Номер %1 уже занят другим пользователем; квитанция сохранена под номером %2."),
                     QStringLiteral("новую квитанцию"),
                     QStringLiteral("Квитанция сохранена под номером %1.")}) {
  auto* outer = new QVBoxLayout(this);
  grid_ = new QGridLayout;
  grid_->setHorizontalSpacing(6);
  outer->addLayout(grid_);
  warningSummary_ = new widgets::WarningSummary(this);
  outer->addWidget(warningSummary_);
  outer->addStretch(1);
  const ui::OkCancelRow buttons = ui::MakeOkCancelRow(this, QStringLiteral("ОК"), ui::OkDefault::kNo);
  buttonBox_ = buttons.box;
  OkButton = buttons.ok;
  CancelButton = buttons.cancel;
  connect(OkButton, &QPushButton::clicked, this, &ReceiptDialog::Store);
  connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void ReceiptDialog::AddHeading(int row) {
  QFont font(QStringLiteral("Times New Roman"));
  font.setStyleHint(QFont::Serif);
  font.setPixelSize(16);
  font.setBold(true);
  font.setUnderline(true);
  auto heading = [&](const QString& text) {
    auto* label = new QLabel(text, this);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(128, 0, 0));  // maroon
    label->setPalette(palette);
    return label;
  };
  HeadingNumber = heading(QStringLiteral("Квитанция №"));
  HeadingDate = heading(QStringLiteral("от"));
  QWidget* number = ui::MakeFieldEditor(ui::FieldEditorKind::Number, receipt_table::kNumber, QStringLiteral("Квитанция №"), this);
  QWidget* date = ui::MakeFieldEditor(ui::FieldEditorKind::Date, receipt_table::kDate, QStringLiteral("от"), this);
  HeadingNumber->setBuddy(number);
  HeadingDate->setBuddy(date);
  editors_[receipt_table::kNumber] = number;
  editors_[receipt_table::kDate] = date;
  // The number and the date follow their headings as one line of the form.
  auto* line = new QHBoxLayout;
  line->addWidget(HeadingNumber);
  line->addWidget(number);
  line->addSpacing(12);
  line->addWidget(HeadingDate);
  line->addWidget(date);
  line->addStretch(1);
  grid_->addLayout(line, row, 0, 1, 4);
}

QWidget* ReceiptDialog::AddEditor(ui::FieldEditorKind kind, const char* field, const QString& label, int row, int column,
                                  int editorSpan) {
  QWidget* editor = ui::MakeFieldEditor(kind, field, ui::OneLine(label), this);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(editor);
  grid_->addWidget(caption, row, column);
  grid_->addWidget(editor, row, column + 1, 1, editorSpan);
  editors_[field] = editor;
  return editor;
}

QWidget* ReceiptDialog::AddPicked(const char* field, const QString& label, const QColor& colour, int row,
                                  int columnSpan, const DirectoryOf* directory, QToolButton** button) {
  QWidget* editor = ui::MakeFieldEditor(ui::FieldEditorKind::ReadOnly, field, ui::OneLine(label), this);
  QPalette palette = editor->palette();
  palette.setColor(QPalette::Base, colour);
  editor->setPalette(palette);
  editor->setAutoFillBackground(true);
  *button = new QToolButton(this);
  (*button)->setText(QStringLiteral("..."));
  (*button)->setFocusPolicy(Qt::NoFocus);
  (*button)->setToolTip(QStringLiteral("Выбрать из справочника (F4)"));
  (*button)->setAccessibleName(ui::OneLine(label) + QStringLiteral(": выбрать"));
  auto* cell = new QHBoxLayout;
  cell->setSpacing(0);
  cell->addWidget(editor, 1);
  cell->addWidget(*button);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(editor);
  grid_->addWidget(caption, row, 0);
  grid_->addLayout(cell, row, 1, 1, columnSpan);
  editors_[field] = editor;

  auto* rule = new OpenOnEntry(
      editor, [this, field] { return FieldEmpty(field); },
      [this, directory] {
        if (directories::DirectoryWindow* window = *directory ? (*directory)() : nullptr) window->Execute();
      });
  new PickKeys(editor, rule);
  connect(*button, &QToolButton::clicked, rule, &OpenOnEntry::Open);
  return editor;
}

void ReceiptDialog::SetTabOrder(const std::vector<QWidget*>& order) {
  for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

bool ReceiptDialog::FieldEmpty(const char* field) const {
  if (!source_ || !source_->DataSet() || !source_->DataSet()->Active()) return false;
  return source_->DataSet()->FieldByName(field).AsString().empty();
}

QWidget* ReceiptDialog::Editor(const char* field) const {
  auto it = editors_.find(field);
  return it == editors_.end() ? nullptr : it->second;
}

bool ReceiptDialog::Execute(bool focusNumber) {
  stored_ = false;
  const tdb::TDataSet& receipt = *source_->DataSet();
  shared_.Begin(receipt, QStringLiteral("квитанцию №%1 (%2)")
                             .arg(receipt.FieldByName(receipt_table::kNumber).AsInteger())
                             .arg(widgets::FieldText(receipt.FieldByName(receipt_table::kPayer))));
  for (auto& [field, editor] : editors_) ui::BindFieldEditor(editor, source_);
  Loading();
  if (focusNumber) Editor(receipt_table::kNumber)->setFocus(Qt::OtherFocusReason);
  ui::CentreOnScreen(*this);
  prompts_.ShowModal(*this);
  return stored_;
}

void ReceiptDialog::FixSize(const QSize& designed) {
  designed_ = designed;
  // A line of the summary shown or hidden a moment ago has only posted its
  // layout request: measure anew now.
  warningSummary_->layout()->invalidate();
  warningSummary_->layout()->activate();
  warningSummary_->updateGeometry();
  layout()->invalidate();
  layout()->activate();
  setFixedSize(sizeHint().expandedTo(designed_));
}

void ReceiptDialog::WarnRequisites() {
  auto receiptDate = [this] {
    const bool open = source_ && source_->DataSet() && source_->DataSet()->Active();
    return open ? receipts::RequisitesOfReceipt(*source_->DataSet()).date : 0;
  };
  warnings_ = ui::WarnRequisites(this, receiptDate);
  for (widgets::FieldWarning* w : warnings_) warningSummary_->Add(w);
  // The border stays fixed for the user; the explanations make room for
  // themselves and give it back.
  connect(warningSummary_, &widgets::WarningSummary::Changed, this, [this] {
    if (!designed_.isEmpty()) FixSize(designed_);
  });
}

void ReceiptDialog::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
    QDialog::keyPressEvent(event);
    return;
  }
  // Enter stores the receipt as "Ok" does, wherever a one-line editor has the
  // focus.  A button takes it as its own click; in a multi-line editor it
  // starts a new line and in a drop-down list or a field with a drop-down
  // (calculator, calendar) it stays with the editor.
  QWidget* focus = focusWidget();
  for (QWidget* w = focus; w && w != this; w = w->parentWidget()) {
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->click();
      return;
    }
    if (qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
        qobject_cast<widgets::DBNumberEdit*>(w) || qobject_cast<widgets::DBDateEdit*>(w)) {
      event->ignore();
      return;
    }
  }
  OkButton->click();
}

void ReceiptDialog::Store() {
  // The requisites that fail their checks and what the receipt lacks, in
  // one question.
  const QStringList omissions =
      ReceiptOmissions(*source_->DataSet(), ChecksPayerInn(), QDate::currentDate());
  if (!widgets::ConfirmDespiteWarnings(warnings_, [this](const QString& q) { return prompts_.AskYesNo(q); }, omissions))
    return;
  Storing();
  if (!shared_.Store(*source_->DataSet(), prompts_)) {
    // Shown; everything typed stays, perhaps among the values another user
    // stored meanwhile: the drop-down boxes show the fields again.
    Loading();
    return;
  }
  stored_ = true;
  accept();
}

// ---- Pd4ReceiptDialog ----

Pd4ReceiptDialog::Pd4ReceiptDialog(ui::UiPrompts& prompts, QWidget* parent) : ReceiptDialog(prompts, parent) {
  setObjectName(QStringLiteral("pd4Dialog"));
  AddHeading(0);
  QWidget* platel = AddPicked(receipt_table::kPayer, QStringLiteral("Плательщик:"), ScrollBarColor(), 1, 3, &payers_, &PayerButton);
  QWidget* poluchat =
      AddPicked(receipt_table::kRecipient, QStringLiteral("Получатель:"), MenuColor(), 2, 3, &recipients_, &RecipientButton);
  QWidget* summa = AddEditor(ui::FieldEditorKind::Number, receipt_table::kAmount, QStringLiteral("Сумма:"), 3, 0);
  QWidget* uslug = AddEditor(ui::FieldEditorKind::Number, receipt_table::kServiceFee, QStringLiteral("Сумма платы за услуги"), 3, 2);
  QWidget* nazn = AddEditor(ui::FieldEditorKind::Text, receipt_table::kPurpose, QStringLiteral("Назначение\nплатежа:"), 4, 0, 3);
  layout()->addWidget(buttonBox_);
  grid_->setColumnStretch(1, 1);
  grid_->setColumnStretch(3, 1);
  SetTabOrder({Editor(receipt_table::kNumber), Editor(receipt_table::kDate), platel, poluchat, summa, uslug, nazn, OkButton, CancelButton});
  FixSize(QSize(507, 224));
}

// ---- TaxReceiptDialog ----

TaxReceiptDialog::TaxReceiptDialog(ui::UiPrompts& prompts, QWidget* parent) : ReceiptDialog(prompts, parent) {
  setObjectName(QStringLiteral("taxDialog"));
  openDocument_ = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  AddHeading(0);
  QWidget* index = AddEditor(ui::FieldEditorKind::Text, receipt_table::kDocIndex, QStringLiteral("Индекс\nдокумента:"), 0, 4);
  QWidget* platel = AddPicked(receipt_table::kPayer, QStringLiteral("Плательщик:"), ScrollBarColor(), 1, 5, &payers_, &PayerButton);
  QWidget* poluchat =
      AddPicked(receipt_table::kRecipient, QStringLiteral("Получатель:"), MenuColor(), 2, 5, &recipients_, &RecipientButton);
  QWidget* summa = AddEditor(ui::FieldEditorKind::Number, receipt_table::kAmount, QStringLiteral("Сумма:"), 3, 0);
  QWidget* peni = AddEditor(ui::FieldEditorKind::Number, receipt_table::kPenalty, QStringLiteral("Пени:"), 3, 2);
  QWidget* straf = AddEditor(ui::FieldEditorKind::Number, receipt_table::kFine, QStringLiteral("Штраф:"), 3, 4);
  QWidget* kod = AddPicked(receipt_table::kBudgetCode, QStringLiteral("Код БК:"), ScrollBarColor(), 4, 3, &codes_, &CodeButton);

  auto box = [this](const char* field, const QString& label, int row, int column) {
    auto* combo = new QComboBox(this);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setObjectName(QString::fromLatin1(field));
    combo->setAccessibleName(ui::OneLine(label));
    // Each code is listed with what it means; picking a line puts the code
    // into the box, its meaning shown after it, and only the code is stored.
    for (const TaxBox& b : TaxBoxes()) {
      if (qstrcmp(b.field, field) != 0) continue;
      for (const QString& code : b.items) {
        const QString meaning = CodeMeaning(field, code);
        combo->addItem(meaning.isEmpty() ? code : code + QStringLiteral(" — ") + meaning, code);
      }
    }
    combo->setCompleter(nullptr);
    new CodeMeaningMark(combo, field);
    connect(combo, &QComboBox::activated, combo, [combo](int index) {
      const QVariant code = combo->itemData(index);
      if (code.isValid()) combo->setEditText(code.toString());
    });
    auto* caption = new QLabel(label, this);
    caption->setBuddy(combo);
    grid_->addWidget(caption, row, column);
    grid_->addWidget(combo, row, column + 1);
    return combo;
  };
  statusBox = box(receipt_table::kStatus, QStringLiteral("Статус:"), 4, 4);
  // The field has held the OKTMO since 2014; old receipts hold an OKATO.
  QWidget* okato = AddEditor(ui::FieldEditorKind::Text, receipt_table::kOktmo, QStringLiteral("ОКТМО (ОКАТО):"), 5, 0);
  periodBox = box(receipt_table::kPeriod, QStringLiteral("Период:"), 5, 2);
  paymentTypeBox = box(receipt_table::kPaymentType, QStringLiteral("Тип платежа:"), 5, 4);
  QWidget* nazn = AddEditor(ui::FieldEditorKind::Text, receipt_table::kPurpose, QStringLiteral("Назначение\nплатежа:"), 6, 0, 3);
  reasonBox = box(receipt_table::kReason, QStringLiteral("Основание\nплатежа:"), 6, 4);

  RulesButton = new QPushButton(QStringLiteral("Правила заполнения формы № ПД (налог)"), this);
  RulesButton->setAutoDefault(false);
  connect(RulesButton, &QPushButton::clicked, this, [this] {
    // A document the data folder holds is the office's own and comes first.
    const QString document = QDir::current().absoluteFilePath(QStringLiteral("prav.doc"));
    if (QFileInfo::exists(document) || rulesPage_.isEmpty()) {
      openDocument_(document);
      return;
    }
    ShowRules();
  });
  // At the row's far end from Ok and Отмена.
  buttonBox_->addButton(RulesButton, QDialogButtonBox::HelpRole);
  layout()->addWidget(buttonBox_);
  grid_->setColumnStretch(1, 1);
  grid_->setColumnStretch(3, 1);
  grid_->setColumnStretch(5, 1);
  SetTabOrder({Editor(receipt_table::kNumber), Editor(receipt_table::kDate), index, platel, poluchat, summa, peni, straf, kod, statusBox,
               okato, periodBox, paymentTypeBox, reasonBox, nazn, OkButton, CancelButton, RulesButton});
  WarnRequisites();
  FixSize(QSize(552, 267));
}

QComboBox* TaxReceiptDialog::Box(const char* field) const {
  return findChild<QComboBox*>(QString::fromLatin1(field));
}

void TaxReceiptDialog::Loading() {
  tdb::TDataSet& receipt = *source_->DataSet();
  for (const TaxBox& b : TaxBoxes()) {
    QComboBox* combo = Box(b.field);
    const tdb::TField& field = receipt.FieldByName(b.field);
    combo->lineEdit()->setMaxLength(field.Size() > 0 ? field.Size() : 32767);
    combo->setCurrentIndex(-1);  // no line of the list stands for the stored text
    combo->setEditText(widgets::FieldText(field));
  }
  // The list is rebuilt; the text read above stays.
  const QString period = periodBox->currentText();
  periodBox->clear();
  periodBox->addItems(PeriodSuggestions(clock_()));
  periodBox->setEditText(period);
}

void TaxReceiptDialog::ShowRules() {
  QFile file(rulesPage_);
  if (!file.open(QIODevice::ReadOnly)) {
    prompts_.ShowMessage(QStringLiteral("Не удалось открыть страницу с правилами заполнения: %1")
                             .arg(QDir::toNativeSeparators(rulesPage_)));
    return;
  }
  QDialog window(this);
  window.setObjectName(QStringLiteral("rulesWindow"));
  window.setWindowTitle(RulesButton->text());
  window.setAccessibleName(RulesButton->text());
  auto* layout = new QVBoxLayout(&window);
  auto* page = new QTextBrowser(&window);
  page->setObjectName(QStringLiteral("rulesPage"));
  page->setAccessibleName(RulesButton->text());
  page->setOpenLinks(false);
  page->setHtml(QString::fromUtf8(file.readAll()));
  layout->addWidget(page);
  auto* close = new QPushButton(QStringLiteral("Закрыть"), &window);
  close->setAccessibleName(close->text());
  connect(close, &QPushButton::clicked, &window, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  window.resize(720, 620);
  prompts_.ShowModal(window);
}

void TaxReceiptDialog::Storing() {
  tdb::TDataSet& receipt = *source_->DataSet();
  for (QComboBox* combo : {statusBox, reasonBox, periodBox, paymentTypeBox})
    widgets::SetFieldText(receipt.FieldByName(combo->objectName().toStdString()), ListItemCode(combo->currentText()));
}

}  // namespace entry
