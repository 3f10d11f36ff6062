// The directory window and its edit dialog.
#include "directories/directory_window.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/error_report.h"
#include "ui/file_repair.h"
#include "ui/window_placement.h"
#include "data/receipt_tables.h"
#include "ui/field_editors.h"
#include "ui/requisite_warnings.h"
#include "engine/base/database_error.h"
#include "widgets/data_text.h"

namespace directories {

namespace {

ui::FieldEditorKind EditorKindOf(EditorKind kind) {
  return kind == EditorKind::Number ? ui::FieldEditorKind::Number : ui::FieldEditorKind::Text;
}

}  // namespace

// ---- DirectoryEntryDialog ----

DirectoryEntryDialog::DirectoryEntryDialog(const DirectoryConfig& config, ui::UiPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      config_(config),
      prompts_(prompts),
      shared_(this, {QStringLiteral("Код %1 уже занят другим пользователем; запись сохранена под кодом %2."),
                     QStringLiteral("новую запись"),
                     QStringLiteral("Запись сохранена под кодом %1.")}) {
  setObjectName(QString::fromLatin1(config.dialogName));
  auto* outer = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  outer->addLayout(form);
  QFormLayout* groupForm = nullptr;
  QString group;
  for (const EditField& f : config.editFields) {
    QWidget* editor;
    if (f.kind == EditorKind::KindList) {
      kindList_ = new QComboBox(this);
      kindList_->addItems(PaymentKindItems());
      kindList_->setEditable(false);
      kindList_->setObjectName(QString::fromLatin1(f.field));
      kindList_->setAccessibleName(ui::OneLine(f.label));
      editor = kindList_;
    } else {
      editor = ui::MakeFieldEditor(EditorKindOf(f.kind), f.field, ui::OneLine(f.label), this);
    }
    editors_[f.field] = editor;
    if (f.kind == EditorKind::Text) editor->setMinimumWidth(320);
    auto* label = new QLabel(f.label, this);
    label->setBuddy(editor);
    if (f.group.isEmpty()) {
      form->addRow(label, editor);
      continue;
    }
    if (f.group != group) {  // a new titled group
      group = f.group;
      auto* box = new QGroupBox(group, this);
      groupForm = new QFormLayout(box);
      form->addRow(box);
    }
    groupForm->addRow(label, editor);
  }
  // Requisites that fail their check are marked as they are typed; the
  // explanations stand together above the buttons.
  warnings_ = ui::WarnRequisites(this);
  if (!warnings_.empty()) {
    auto* summary = new widgets::WarningSummary(this);
    for (widgets::FieldWarning* w : warnings_) summary->Add(w);
    outer->addWidget(summary);
  }
  const ui::OkCancelRow buttons = ui::MakeOkCancelRow(this, config.storeButton, ui::OkDefault::kYes);
  ok_ = buttons.ok;
  cancel_ = buttons.cancel;
  outer->addWidget(buttons.box);
  layout()->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border
  connect(ok_, &QPushButton::clicked, this, &DirectoryEntryDialog::Store);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* DirectoryEntryDialog::Editor(const char* field) const {
  auto it = editors_.find(field);
  return it == editors_.end() ? nullptr : it->second;
}

void DirectoryEntryDialog::Execute(tdb::TDataSource& source) {
  source_ = &source;
  const tdb::TDataSet& entry = *source.DataSet();
  shared_.Begin(entry, QStringLiteral("запись «%1» (код %2)")
                           .arg(widgets::FieldText(entry.FieldByName(config_.captionField)))
                           .arg(entry.FieldByName(receipts::kNumberField).AsInteger()));
  for (auto& [field, editor] : editors_)
    if (editor != kindList_) ui::BindFieldEditor(editor, &source);
  ShowKind();
  QWidget* number = Editor(receipts::kNumberField);
  if (number) number->setFocus(Qt::OtherFocusReason);
  ui::CentreOnScreen(*this);
  prompts_.ShowModal(*this);
}

void DirectoryEntryDialog::ShowKind() {
  if (!kindList_) return;
  // An entry of an unknown kind shows as a tax, as a new entry does.
  const int tip = source_->DataSet()->FieldByName(receipts::code_table::kKind).AsInteger();
  kindList_->setCurrentIndex(tip >= 0 && tip < kindList_->count() ? tip : 0);
}

void DirectoryEntryDialog::Store() {
  if (!widgets::ConfirmDespiteWarnings(warnings_, [this](const QString& q) { return prompts_.AskYesNo(q); })) return;
  tdb::TDataSet& table = *source_->DataSet();
  try {
    if (kindList_) table.FieldByName(receipts::code_table::kKind).SetAsInteger(kindList_->currentIndex());
  } catch (const tdb::EDatabaseError& e) {
    prompts_.ShowError(ui::ErrorText(e));
    return;
  }
  if (!shared_.Store(table, prompts_)) {
    // Everything typed stays (perhaps among another user's values, loaded
    // meanwhile): the kind list shows the field again.
    ShowKind();
    return;
  }
  accept();
}

// ---- DirectoryWindow ----

DirectoryWindow::DirectoryWindow(const DirectoryConfig& config, ui::UiPrompts& prompts, QWidget* parent)
    : QDialog(parent),
      logic_(config, prompts),
      prompts_(prompts),
      // Idle: shown, with no dialog of its own (an entry's, a question) over it.
      idleRefresh_(&prompts, [this] { return isVisible() && QApplication::activeModalWidget() == this; },
                   [this] { Refresh(); }) {
  setObjectName(QString::fromLatin1(config.windowName));
  setWindowTitle(config.caption);
  setAccessibleName(config.caption);

  toolBar = new QToolBar(this);
  auto add = [this](QStyle::StandardPixmap icon, const QString& text, const QKeySequence& key) {
    QAction* a = toolBar->addAction(style()->standardIcon(icon), text);
    a->setToolTip(text);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    return a;
  };
  actCreate = add(QStyle::SP_FileIcon, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert));
  actChange = add(QStyle::SP_FileDialogDetailedView, QStringLiteral("Изменить"), QKeySequence(Qt::Key_F2));
  actMark = add(QStyle::SP_TrashIcon, QStringLiteral("Удалить"), QKeySequence(Qt::Key_Delete));
  actCopy = add(QStyle::SP_FileDialogNewFolder, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9));
  if (config.kindFilter) {
    toolBar->addSeparator();
    auto* label = new QLabel(QStringLiteral("  Отбирать записи по   "), this);
    toolBar->addWidget(label);
    KindFilter = new QComboBox(this);
    KindFilter->addItems(KindFilterItems());
    KindFilter->setEditable(false);
    KindFilter->setObjectName(QStringLiteral("KindFilter"));
    KindFilter->setAccessibleName(QStringLiteral("Отбирать записи по"));
    label->setBuddy(KindFilter);
    toolBar->addWidget(KindFilter);
    connect(KindFilter, &QComboBox::activated, this,
            [this](int position) { Run([this, position] { logic_.SetKindPosition(position); }); });
  }

  grid = new widgets::DataGrid(this);
  grid->setObjectName(QStringLiteral("grid"));
  grid->setAccessibleName(config.caption);
  std::vector<widgets::GridColumn> columns;
  for (const DirectoryColumn& c : config.columns)
    columns.push_back({c.title, QString::fromLatin1(c.field), c.width, /*titleButton=*/true, c.valueNames});
  grid->setColumns(std::move(columns));
  if (config.centredTitles) grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setExtraFields({QString::fromLatin1(receipts::kDeletedField)});
  grid->setDataSource(&logic_.Source());
  grid->setMarkedRows(QString::fromLatin1(receipts::kDeletedField));
  grid->setMinimumSize(460, 260);
  grid->installEventFilter(this);
  connect(grid, &widgets::DataGrid::recordDoubleClicked, this, &DirectoryWindow::PickCurrent);
  // A row that cannot be read (a damaged file) is told once for the view, in
  // the clerk's words; the window shows what it can and still closes.
  // A damaged file is offered its repair.
  connect(grid->dataModel(), &widgets::DataSetTableModel::readFailed, this, [this](std::exception_ptr error) {
    if (repairing_ || !ui::IsRepairableDamageOf(error, logic_.Config().database)) {
      ui::ReportError(error, &prompts_);
      return;
    }
    ui::ReportError(error, nullptr);  // the engine's account, to stderr only
    if (!prompts_.OfferRepair(ui::RepairOfferText(error))) return;
    // With nothing to show, the window closes as after a failed open.
    if (!RepairAndReopen()) reject();
  });

  // Every title sorts the list: the code's by the table's order, the others
  // by their values; a second click on the same title turns the order round.
  grid->setSortMarker(0);
  connect(grid, &widgets::DataGrid::titleClicked, this, &DirectoryWindow::SortBy);

  CloseButton = new QPushButton(QStringLiteral("Закрыть"), this);
  CloseButton->setAutoDefault(false);
  CloseButton->setAccessibleName(CloseButton->text());
  searchLabel = new QLabel(this);
  searchLabel->setObjectName(QStringLiteral("searchLabel"));
  searchLabel->setAccessibleName(QStringLiteral("Поиск"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(toolBar);
  layout->addWidget(grid, 1);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(searchLabel);
  bottom->addStretch(1);
  bottom->addWidget(CloseButton);
  layout->addLayout(bottom);
  // Wide enough for every column, as far as the screen allows.
  int width = 60;
  for (const DirectoryColumn& c : config.columns) width += c.width;
  if (const QScreen* screen = this->screen()) width = qMin(width, screen->availableGeometry().width() - 40);
  resize(qMax(520, width), 380);

  connect(actCreate, &QAction::triggered, this, [this] { Run([this] { logic_.Create(); }); });
  connect(actChange, &QAction::triggered, this, [this] { Run([this] { logic_.Change(); }); });
  connect(actMark, &QAction::triggered, this, [this] { Run([this] { logic_.Mark(); }); });
  connect(actCopy, &QAction::triggered, this, [this] { Run([this] { logic_.Copy(); }); });
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::reject);
  logic_.OnEnablingChanged = [this] { ApplyEnabling(); };
  ApplyEnabling();
}

DirectoryWindow::~DirectoryWindow() = default;

void DirectoryWindow::SetEditDialog(DirectoryEntryDialog* dialog) {
  editDialog_ = dialog;
  logic_.SetEditor([this](const QString& caption) {
    if (!editDialog_) return;
    editDialog_->setWindowTitle(caption);
    editDialog_->setAccessibleName(caption);
    editDialog_->Execute(logic_.Source());
  });
}

void DirectoryWindow::ApplyEnabling() {
  const Directory::Enabling e = logic_.Enabled();
  actCreate->setEnabled(e.create);
  actChange->setEnabled(e.change);
  actMark->setEnabled(e.mark);
  actCopy->setEnabled(e.copy);
}

bool DirectoryWindow::Execute() {
  picked_ = false;
  typed_.clear();
  ShowSearch(typed_, true);
  if (!OpenTable()) return false;
  if (KindFilter) KindFilter->setCurrentIndex(0);  // shown, not applied: the table opened unfiltered
  grid->setFocus(Qt::OtherFocusReason);
  ui::CentreOnScreen(*this);
  struct CloseAtEnd {
    DirectoryWindow& w;
    ~CloseAtEnd() {
      w.idleRefresh_.Stop();
      w.logic_.Close();
    }
  } close{*this};
  idleRefresh_.Start();
  prompts_.ShowModal(*this);
  return picked_;
}

bool DirectoryWindow::OpenTable() {
  try {
    logic_.Open();
    return true;
  } catch (const tdb::EDatabaseError& e) {
    const std::exception_ptr error = std::current_exception();
    if (!ui::IsRepairableDamageOf(error, logic_.Config().database)) {
      prompts_.ShowError(ui::ErrorText(e));
      return false;
    }
    ui::ReportError(error, nullptr);  // the engine's account, to stderr only
    if (!prompts_.OfferRepair(ui::RepairOfferText(error))) return false;
  }
  return RepairAndReopen();
}

bool DirectoryWindow::RepairAndReopen() {
  const DirectoryConfig& config = logic_.Config();
  // The repair needs the file to itself.
  logic_.Close();
  const std::optional<tdb::TRepairResult> result = ui::RepairDataFile(config.database, prompts_);
  // Opened again whatever came of it; a failure now is told without a
  // second offer.
  repairing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{repairing_};
  try {
    logic_.Open();
  } catch (const tdb::EDatabaseError& e) {
    prompts_.ShowError(ui::ErrorText(e));
    return false;
  }
  if (result)
    prompts_.ShowMessage(ui::RepairReport(*result, config.database, config.table, QStringLiteral("записей"),
                                          logic_.Table().RecordCount()));
  return true;
}

void DirectoryWindow::Refresh() { logic_.Refresh(); }

void DirectoryWindow::Run(const std::function<void()>& command) {
  try {
    command();
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    tdb::TDataSet& table = logic_.Table();
    try {
      if (table.Active() && table.State() != tdb::dsBrowse) table.Cancel();
    } catch (...) {
      // Told below; the table's own state is what it is.
    }
    if (!repairing_ && ui::IsRepairableDamageOf(error, logic_.Config().database)) {
      ui::ReportError(error, nullptr);  // the engine's account, to stderr only
      if (prompts_.OfferRepair(ui::RepairOfferText(error)) && !RepairAndReopen()) reject();
    } else {
      // The list is read again first: what another clerk changed, the
      // cause of many a failure, shows behind the message.
      try {
        if (table.Active() && table.State() == tdb::dsBrowse) table.Refresh();
      } catch (...) {
        // The message below tells what is wrong.
      }
      ui::ReportError(error, &prompts_);
    }
  }
  ApplyEnabling();
}

bool DirectoryWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate && logic_.Table().Active()) idleRefresh_.Now();
  return QDialog::event(event);
}

QString DirectoryWindow::UpkeepCaption() const {
  QString caption = logic_.Config().caption;
  caption.remove(QStringLiteral(" (Выбор)"));
  return caption;
}

void DirectoryWindow::ExecuteUpkeep() {
  upkeep_ = true;
  setWindowTitle(UpkeepCaption());
  setAccessibleName(windowTitle());
  struct Back {
    DirectoryWindow& w;
    ~Back() {
      w.upkeep_ = false;
      w.setWindowTitle(w.logic_.Config().caption);
      w.setAccessibleName(w.windowTitle());
    }
  } back{*this};
  Execute();
}

void DirectoryWindow::SortBy(int column) {
  widgets::DataSetTableModel* model = grid->dataModel();
  const int now = std::max(model->sortColumn(), 0);
  const bool reversed = column == now && !model->reversed();
  // The code column is the one the table's index orders.
  model->setSortColumn(column == 0 ? -1 : column);
  model->setReversed(reversed);
  grid->setSortMarker(column, reversed);
}

bool DirectoryWindow::Search(const QString& typed) {
  // A list sorted by name: the first entry in it whose name starts so.
  widgets::DataSetTableModel* model = grid->dataModel();
  if (model->sortColumn() == 1 && !typed.isEmpty() && !typed.front().isDigit()) {
    bool found = false;
    const int row = model->searchRow(1, typed, 0, &found);
    if (found) model->setCurrentRow(row);
    return found;
  }
  return logic_.Search(typed);
}

void DirectoryWindow::ShowSearch(const QString& typed, bool found) {
  if (typed.isEmpty()) {
    searchLabel->clear();
    return;
  }
  searchLabel->setText(found ? QStringLiteral("Поиск: %1").arg(typed)
                             : QStringLiteral("Поиск: %1 — не найдено").arg(typed));
}

void DirectoryWindow::PickCurrent() {
  if (upkeep_) {
    Run([this] { logic_.Change(); });
    return;
  }
  bool picked = false;
  Run([this, &picked] { picked = logic_.Pick(); });
  if (!picked) return;
  picked_ = true;
  accept();
}

bool DirectoryWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Directory entries are marked, never removed: the grid's own deletion
    // of the current record for good has no place here.
    if (key->key() == Qt::Key_Delete && (key->modifiers() & Qt::ControlModifier)) return true;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      PickCurrent();
      return true;
    }
    if (key->key() == Qt::Key_Backspace && !typed_.isEmpty()) {
      typed_.chop(1);
      if (!typed_.isEmpty()) Search(typed_);
      ShowSearch(typed_, true);
      return true;
    }
    const QString text = key->text();
    if (!text.isEmpty() && text.front().isPrint() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      if (!lastTyped_.isValid() || lastTyped_.elapsed() > kSearchPause) typed_.clear();
      lastTyped_.start();
      const QString tried = typed_ + text;
      const bool found = Search(tried);
      if (found) typed_ = tried;  // else the text that still finds an entry stays
      ShowSearch(tried, found);
      return true;
    }
    if (key->key() != Qt::Key_Shift) {  // moving about starts a new search
      typed_.clear();
      ShowSearch(typed_, true);
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace directories
