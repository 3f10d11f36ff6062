// The main window: menus, toolbar, grid, the start-up sequence, the register's
// commands and the closing that saves the settings.
#include "register/register_window.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileDialog>
#include <QLocale>
#include <QMimeData>
#include <QTimer>
#include <QFontMetrics>
#include <QMenuBar>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "ui/error_report.h"
#include "ui/file_repair.h"
#include "ui/pictures.h"
#include "register/qr_receipt_import.h"
#include "register/register_requisites.h"
#include "data/data_home.h"
#include "data/failure_text.h"
#include "data/receipt_tables.h"
#include "engine/database/session.h"
#include "engine/repair/file_repair.h"

namespace reg {

namespace receipt_table = receipts::receipt_table;

bool MaximizedForSettings(Qt::WindowStates state) {
  return state.testFlag(Qt::WindowMaximized) && !state.testFlag(Qt::WindowMinimized);
}

RegisterWindow::RegisterWindow(const ui::AppContext& context)
    : context_(context),
      receipts_(receipts::Home().NewDataSet()),
      register_(*receipts_, *context.prompts, relay_),
      qrImport_(std::make_unique<QrReceiptImport>(register_, *context.prompts)),
      formChooser_(std::make_unique<FormChooser>(this)),
      // Idle: no dialog, message or menu of the program open over it.
      idleRefresh_(
          context.prompts,
          [this] { return !closed_ && !QApplication::activeModalWidget() && !QApplication::activePopupWidget(); },
          [this] {
            register_.Reread(false);
            EnableAll();
          }) {
  setObjectName(QStringLiteral("registerWindow"));
  setWindowTitle(ui::ApplicationTitle());
  setAccessibleName(ui::ApplicationTitle());
  resize(696, 480);
  receipts_->Name = "DadaTable1";
  receiptsSource_.SetDataSet(receipts_.get());
  BuildMenus();
  BuildToolBar();
  BuildGrid();
  BuildPanel();
  calculator = new widgets::CalculatorDialog(this);
  totalsLabel = new QLabel(statusBar());
  totalsLabel->setObjectName(QStringLiteral("totalsLabel"));
  totalsLabel->setAccessibleName(QStringLiteral("Итог"));
  statusBar()->addPermanentWidget(totalsLabel);
  readOnlyLabel = new QLabel(QStringLiteral("Только для чтения"), this);
  readOnlyLabel->setObjectName(QStringLiteral("readOnlyLabel"));
  readOnlyLabel->setAccessibleName(readOnlyLabel->text());
  statusBar()->addPermanentWidget(readOnlyLabel);
  readOnlyLabel->hide();
  setAcceptDrops(true);
  ChooseCodeFile = [this] {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Создать из QR-кода"), QString(),
        QStringLiteral("Счета и квитанции (*.png *.jpg *.jpeg *.pdf *.bmp *.gif *.tif *.tiff *.webp);;Все файлы (*)"));
  };
  EnableAll();
}

RegisterWindow::~RegisterWindow() {
  // The grid's links point at the data source, a member that goes before
  // the child widgets would.
  delete centralWidget();
  receiptsSource_.SetDataSet(nullptr);
  receipts_->Close();
}

void RegisterWindow::BuildMenus() {
  auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, void (RegisterWindow::*slot)()) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  // The menu titles carry mnemonics, so Alt and a letter opens each one.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
  actCreate = add(file, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert), &RegisterWindow::Create);
  actFromQr = add(file, QStringLiteral("Создать из QR-кода…"), {}, &RegisterWindow::CreateFromQrCommand);
  actPrint = add(file, QStringLiteral("Печать"), QKeySequence(Qt::CTRL | Qt::Key_P), &RegisterWindow::Print);
  actPreview = add(file, QStringLiteral("Предварительный просмотр"), {}, &RegisterWindow::Preview);
  actPdf = add(file, QStringLiteral("Сохранить в PDF…"), {}, &RegisterWindow::SaveAsPdf);
  file->addSeparator();
  actExit = file->addAction(QStringLiteral("Выход"));
  actExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(actExit, &QAction::triggered, this, &RegisterWindow::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
  actEdit = add(edit, QStringLiteral("Изменить"), QKeySequence(Qt::SHIFT | Qt::Key_Return), &RegisterWindow::Edit);
  actDelete = add(edit, QStringLiteral("Удалить"), QKeySequence(Qt::Key_Delete), &RegisterWindow::Mark);
  actCopy = add(edit, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9), &RegisterWindow::Copy);
  QMenu* service = menuBar()->addMenu(QStringLiteral("&Сервис"));
  actCalculator = add(service, QStringLiteral("Калькулятор"), {}, &RegisterWindow::Calculator);
  actSettings = add(service, QStringLiteral("Настройка программы"), {}, &RegisterWindow::Settings);
  actPurge = add(service, QStringLiteral("Удаление помеченных записей"), {}, &RegisterWindow::Purge);
  // The directories for upkeep, without a receipt to pick into.
  QMenu* directories = menuBar()->addMenu(QStringLiteral("Спр&авочники"));
  auto directory = [this, directories](const QString& text, RegisterHost::DirectoryKind kind) {
    QAction* action = directories->addAction(text);
    connect(action, &QAction::triggered, this, [this, kind] {
      if (host_) host_->ShowDirectory(kind);
    });
    return action;
  };
  actPayers = directory(QStringLiteral("Плательщики"), RegisterHost::DirectoryKind::Payers);
  actRecipients = directory(QStringLiteral("Получатели"), RegisterHost::DirectoryKind::Recipients);
  actCodes = directory(QStringLiteral("Коды бюджетной классификации"), RegisterHost::DirectoryKind::Codes);
  QMenu* help = menuBar()->addMenu(QStringLiteral("По&мощь"));
  actAbout = add(help, QStringLiteral("О программе..."), {}, &RegisterWindow::About);
  // The menus follow the enabling rule whenever they open, whatever changed
  // the table since.
  for (QMenu* menu : {file, edit, service}) connect(menu, &QMenu::aboutToShow, this, &RegisterWindow::EnableAll);

  popupMenu = new QMenu(this);
  popupMenu->setObjectName(QStringLiteral("popupMenu"));
  pmCreate = add(popupMenu, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert), &RegisterWindow::Create);
  pmPrint = add(popupMenu, QStringLiteral("Печать"), QKeySequence(Qt::CTRL | Qt::Key_P), &RegisterWindow::Print);
  pmPreview = add(popupMenu, QStringLiteral("Предварительный просмотр"), {}, &RegisterWindow::Preview);
  pmPdf = add(popupMenu, QStringLiteral("Сохранить в PDF…"), {}, &RegisterWindow::SaveAsPdf);
  popupMenu->addSeparator();
  // The popup's "Изменить" edits, as the main menu's does: an item that
  // does nothing would only puzzle.
  pmEdit = add(popupMenu, QStringLiteral("Изменить"), QKeySequence(Qt::SHIFT | Qt::Key_Return), &RegisterWindow::Edit);
  // Enter on a receipt opens it as Shift+Enter does; the menu still shows
  // Shift+Enter, the first of its keys.
  pmEdit->setShortcuts({QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::Key_Return),
                        QKeySequence(Qt::Key_Enter), QKeySequence(Qt::KeypadModifier | Qt::Key_Enter)});
  pmMark = add(popupMenu, QStringLiteral("Пометить на удаление"), QKeySequence(Qt::Key_Delete), &RegisterWindow::Mark);
  // On a marked receipt the same item takes the mark off.
  connect(popupMenu, &QMenu::aboutToShow, this, [this] {
    pmMark->setText(register_.CurrentIsMarked() ? QStringLiteral("Снять пометку")
                                                : QStringLiteral("Пометить на удаление"));
  });
  pmCopy = add(popupMenu, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9), &RegisterWindow::Copy);
}

void RegisterWindow::BuildToolBar() {
  toolBar = addToolBar(QStringLiteral("Панель инструментов"));
  toolBar->setObjectName(QStringLiteral("toolBar"));
  toolBar->setMovable(false);
  toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const std::pair<QAction*, QIcon> buttons[] = {
      {actCreate, ui::IconOf(ui::ReceiptPicture)},
      {actPrint, ui::IconOf(ui::PrinterPicture)},
      {nullptr, {}},
      {actEdit, ui::IconOf(ui::EditPicture)},
      {actDelete, style()->standardIcon(QStyle::SP_TrashIcon)},
      {actCopy, ui::IconOf(ui::CopyPicture)},
  };
  for (const auto& [action, icon] : buttons) {
    if (!action) {
      toolBar->addSeparator();
      continue;
    }
    action->setIcon(icon);
    toolBar->addAction(action);
  }
}

void RegisterWindow::BuildGrid() {
  auto* area = new QWidget(this);
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  filterBar = new FilterBar(area);
  connect(filterBar, &FilterBar::applyRequested, this, &RegisterWindow::ApplyFilter);
  layout->addWidget(filterBar);
  grid = new widgets::DataGrid(area);
  grid->setObjectName(QStringLiteral("grid"));
  grid->setAccessibleName(QStringLiteral("Квитанции"));
  // The designed widths, widened where this desktop's font would cut a
  // title or a date short.
  const QFontMetrics metrics(grid->font());
  const int dateWidth = metrics.horizontalAdvance(QStringLiteral("00.00.0000")) + 12;
  std::vector<widgets::GridColumn> columns;
  for (const RegisterColumn& c : RegisterColumns()) {
    const QString title = QString::fromUtf16(c.title);
    int width = c.width > 0 ? qMax(c.width, metrics.horizontalAdvance(title) + 24) : -1;
    if (width > 0 && QLatin1String(c.field) == QLatin1String(receipt_table::kDate)) width = qMax(width, dateWidth);
    columns.push_back({title, QString::fromLatin1(c.field), width, c.index != nullptr});
  }
  int columnsWidth = 0;
  for (const widgets::GridColumn& c : columns) columnsWidth += c.width > 0 ? c.width : grid->horizontalHeader()->defaultSectionSize();
  grid->setColumns(std::move(columns));
  // The last column takes whatever width the others leave.
  grid->horizontalHeader()->setStretchLastSection(true);
  // The first size shows every column whole, as far as the screen allows.
  const int frame = grid->verticalHeader()->sizeHint().width() + grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                    2 * grid->frameWidth() + 8;
  int width = qMax(696, columnsWidth + frame);
  if (const QScreen* screen = this->screen()) {
    const int room = screen->availableGeometry().width();
    if (width > room) {
      // A narrower screen (1280 pixels): the purpose gives up what does not
      // fit, so the grid needs no sideways scrolling; a wider window gives
      // it back.
      width = room;
      const int last = static_cast<int>(RegisterColumns().size()) - 1;
      const int lastWidth = grid->columnWidth(last);
      grid->setColumnWidth(last, qMax(160, lastWidth - (columnsWidth + frame - room) - 16));
    }
  }
  resize(width, 480);
  grid->setExtraFields(QStringList{QString::fromLatin1(receipt_table::kDeleted)} + RequisiteFields());
  // A receipt whose requisites fail their checks carries a sign, old ones too.
  grid->setRowMark([this](int row) { return RequisiteFailures(*grid->dataModel(), row); });
  grid->setMarkedRows(QString::fromLatin1(receipt_table::kDeleted));
  grid->setPopupMenu(popupMenu);
  // Several receipts may be selected for the preview and the PDF.
  grid->setMultiSelection(true);
  grid->confirmDelete = [this](QWidget*, const QString& question) {
    // A register open for reading only deletes nothing, and asks nothing.
    return !readOnly_ && context_.prompts->AskOkCancel(question);
  };
  connect(grid, &widgets::DataGrid::titleClicked, this, &RegisterWindow::TitleClick);
  connect(grid, &widgets::DataGrid::recordDoubleClicked, this, &RegisterWindow::Edit);
  widgets::DataSetTableModel* model = grid->dataModel();
  // A row that cannot be read is told once for the view it belongs to, in
  // the clerk's words; a damaged file is offered its repair.
  connect(model, &widgets::DataSetTableModel::readFailed, this, [this](std::exception_ptr error) {
    Report(error);
    // The box took the activation away; its closing gives it back, which
    // must not read (and fail) again.
    skipActivation_ = true;
  });
  // Whatever changed the rows (the grid's own Ctrl+Delete too), the menu and
  // the toolbar follow.
  connect(model, &QAbstractItemModel::modelReset, this, &RegisterWindow::EnableAll);
  connect(model, &QAbstractItemModel::rowsInserted, this, &RegisterWindow::EnableAll);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &RegisterWindow::EnableAll);
  // The totals follow every change of the rows, once per burst of changes.
  // A count made directly meanwhile (ApplyFilter's) takes the queued one's
  // place: it finds nothing left to do.
  auto queueTotals = [this] {
    if (totalsQueued_) return;
    totalsQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (totalsQueued_) UpdateTotals();
        },
        Qt::QueuedConnection);
  };
  connect(model, &QAbstractItemModel::modelReset, this, queueTotals);
  connect(model, &QAbstractItemModel::rowsInserted, this, queueTotals);
  connect(model, &QAbstractItemModel::rowsRemoved, this, queueTotals);
  connect(model, &QAbstractItemModel::dataChanged, this, queueTotals);
  grid->setDataSource(&receiptsSource_);
  layout->addWidget(grid);
  setCentralWidget(area);
  grid->setFocus();
}

void RegisterWindow::BuildPanel() {
  purgePanel = new QFrame(centralWidget());
  purgePanel->setObjectName(QStringLiteral("purgePanel"));
  purgePanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  purgePanel->setLineWidth(2);
  purgePanel->setAutoFillBackground(true);
  purgeLabel = new QLabel(QStringLiteral("Удаление записей Ждите..."), purgePanel);
  purgeLabel->setAlignment(Qt::AlignCenter);
  QFont bold = purgeLabel->font();
  bold.setBold(true);
  purgeLabel->setFont(bold);
  purgeProgress = new QProgressBar(purgePanel);
  purgeProgress->setAccessibleName(purgeLabel->text());
  purgeProgress->setFormat(QStringLiteral("%v из %m"));
  auto* layout = new QVBoxLayout(purgePanel);
  layout->addWidget(purgeLabel);
  layout->addWidget(purgeProgress);
  purgePanel->setAccessibleName(purgeLabel->text());
  purgePanel->setFixedSize(320, 80);
  purgePanel->hide();
}

void RegisterWindow::PlacePanel() {
  const QWidget* area = centralWidget();
  purgePanel->move((area->width() - purgePanel->width()) / 2, (area->height() - purgePanel->height()) / 2);
}

void RegisterWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlacePanel();
}

void RegisterWindow::SetReceiptDialogs(ReceiptDialogs* dialogs) { dialogs_ = dialogs; }

void RegisterWindow::SetReceiptPrinter(ReceiptPrinter* printer) { printer_ = printer; }

bool RegisterWindow::event(QEvent* event) {
  // The first showing normally brings the first activation; either one starts
  // the sequence, so a desktop that does not activate new windows still gets
  // it.  Queued, so that the sequence (and a login dialog's modal loop) runs
  // from the event loop rather than inside show().
  const bool first = event->type() == QEvent::WindowActivate ||
                     (event->type() == QEvent::Show && !event->spontaneous());
  if (first && !startupQueued_) {
    startupQueued_ = true;
    QMetaObject::invokeMethod(this, &RegisterWindow::RunStartup, Qt::QueuedConnection);
  } else if (event->type() == QEvent::WindowActivate && startupFinished_) {
    if (skipActivation_) {
      skipActivation_ = false;
    } else if (!Run([this] { register_.Reread(); })) {
      // The report's box takes the activation away; its closing gives it
      // back, which must not read (and fail) again.
      skipActivation_ = true;
    }
  }
  return QMainWindow::event(event);
}

void RegisterWindow::RunStartup() {
  if (startupStarted_ || closed_) return;
  startupStarted_ = true;
  startupQueued_ = true;
  // Steps 1 and 2: the settings file and the login gate.
  if (host_ && !host_->PrepareStartup(*this)) {
    close();
    return;
  }

  // Step 3.
  OpenRegister();
  startupFinished_ = true;
  emit startupFinished();
}

void RegisterWindow::OpenRegister() {
  // A missing, damaged or refused file is reported; the grid stays empty and
  // the rest of the program (settings, about box, exit) keeps working.
  readOnly_ = false;
  const bool opened = Run([this] {
    register_.Open();
    readOnly_ = !receipts_->CanModify();
    if (!readOnly_) receipts::Home().WriteThrough(*receipts_);
    if (keptSortColumn_ >= 0) register_.SetOrder(keptSortColumn_, keptDescending_);
    // The clerk starts on the first row shown, turned round or not.
    if (register_.Descending()) receipts_->Last();
  });
  ShowOrder();
  readOnlyLabel->setVisible(opened && readOnly_);
  EnableAll();
  // Said once, when the register opens, rather than at the first change.
  if (opened && readOnly_ && receipts::Home().OnServer())
    context_.prompts->ShowMessage(
        QStringLiteral("Вам разрешено только просматривать реестр квитанций на сервере «%1»: создавать, изменять и "
                       "удалять квитанции нельзя, можно только просматривать и печатать.\n\nЧтобы вносить "
                       "изменения, попросите администратора сервера дать вам право записи и перезапустите "
                       "программу.")
            .arg(QString::fromStdString(receipts::Home().Describe())));
  else if (opened && readOnly_)
    context_.prompts->ShowMessage(
        QStringLiteral("Реестр квитанций «%1» открыт только для чтения: создавать, изменять и удалять квитанции "
                       "нельзя, можно только просматривать и печатать.\n\nЧтобы вносить изменения, попросите "
                       "администратора разрешить запись в этот файл и перезапустите программу.")
            .arg(QString::fromLatin1(receipt_table::kFile)));
  if (register_.IsOpen()) idleRefresh_.Start();
}

bool RegisterWindow::Run(const std::function<void()>& command) {
  bool ran = true;
  try {
    command();
  } catch (...) {
    ran = false;
    Report(std::current_exception());
  }
  EnableAll();
  return ran;
}

void RegisterWindow::Report(const std::exception_ptr& error) {
  if (!repairing_ && context_.prompts && IsDamagedRegister(error)) {
    ui::ReportError(error, nullptr);  // the engine's account, to stderr only
    if (context_.prompts->OfferRepair(ui::RepairOfferText(error))) RepairRegister();
    return;
  }
  ui::ReportError(error, context_.prompts);
}

bool RegisterWindow::IsDamagedRegister(const std::exception_ptr& error) {
  return ui::IsRepairableDamageOf(error, receipt_table::kFile);
}

void RegisterWindow::RepairRegister() {
  // The repair needs the file to itself: the register lets go of it first,
  // and the grid shows nothing meanwhile.
  const std::string file = receipt_table::kFile;
  receiptsSource_.SetEnabled(false);
  receipts_->Close();
  const std::optional<tdb::TRepairResult> result = ui::RepairDataFile(file, *context_.prompts);
  receiptsSource_.SetEnabled(true);
  // Opened again whatever came of it: a failure to open is told as it is,
  // without a second offer.
  repairing_ = true;
  OpenRegister();
  repairing_ = false;
  if (!result || !register_.IsOpen()) return;
  context_.prompts->ShowMessage(ui::RepairReport(*result, file, receipt_table::kTable, QStringLiteral("квитанций"),
                                                 register_.Table().RecordCount()));
}

void RegisterWindow::EnableAll() {
  const bool writable = register_.IsOpen() && !readOnly_;
  actCreate->setEnabled(writable);
  actFromQr->setEnabled(writable);
  const bool any = register_.HasRecords();
  for (QAction* a : {actPrint, actPreview, actPdf}) a->setEnabled(any);
  for (QAction* a : {actEdit, actDelete, actCopy, actPurge}) a->setEnabled(any && writable);
  // The popup's items stay enabled, except those that would change a
  // register open for reading only.
  for (QAction* a : {pmCreate, pmEdit, pmMark, pmCopy}) a->setEnabled(!readOnly_);
}

RegisterLayout RegisterWindow::Layout() const {
  RegisterLayout layout;
  layout.sortColumn = register_.IsOpen() ? register_.SortColumn() : keptSortColumn_;
  layout.descending = register_.IsOpen() ? register_.Descending() : keptDescending_;
  for (int c = 0; c < grid->model()->columnCount(); ++c) layout.widths.push_back(grid->columnWidth(c));
  const bool full = isMaximized() || isFullScreen() || isMinimized();
  layout.size = full ? normalGeometry().size() : size();
  if (!layout.size.isValid() || layout.size.isEmpty()) layout.size = size();
  return layout;
}

void RegisterWindow::SetLayout(const RegisterLayout& layout) {
  keptSortColumn_ = -1;
  if (layout.sortColumn >= 0 && layout.sortColumn < static_cast<int>(RegisterColumns().size()) &&
      RegisterColumns()[static_cast<size_t>(layout.sortColumn)].index) {
    keptSortColumn_ = layout.sortColumn;
    keptDescending_ = layout.descending;
    if (register_.IsOpen()) {
      Run([this] { register_.SetOrder(keptSortColumn_, keptDescending_); });
      ShowOrder();
    }
  }
  // A column squeezed to nothing would be lost to the clerk.
  const int columns = grid->model()->columnCount();
  if (static_cast<int>(layout.widths.size()) == columns)
    for (int c = 0; c < columns; ++c) grid->setColumnWidth(c, qMax(layout.widths[static_cast<size_t>(c)], 24));
  if (layout.size.isValid() && !layout.size.isEmpty()) {
    QSize size = layout.size.expandedTo(minimumSizeHint());
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size());
    resize(size);
  }
}

bool RegisterWindow::WriteSettings() {
  if (!host_ || !host_->SaveSettings(*this)) return false;
  emit settingsWritten();
  return true;
}

void RegisterWindow::closeEvent(QCloseEvent* event) {
  idleRefresh_.Stop();
  // A failed write has been reported; the program still ends, as the user
  // asked.  The file is then as it was before.
  if (!closed_) {
    closed_ = true;
    WriteSettings();
  }
  event->accept();
}

void RegisterWindow::Create() {
  if (!register_.IsOpen() || readOnly_) return;
  FormChooser& chooser = *formChooser_;
  chooser.formList->clear();
  chooser.formList->addItem(QStringLiteral("Форма № ПД-4"));
  chooser.formList->addItem(QStringLiteral("Форма № ПД (налог)"));
  if (context_.prompts->ShowModal(chooser) == QDialog::Rejected) return;
  const int row = chooser.formList->currentRow();
  if (row == 1) {
    Run([this] { register_.Create(ReceiptForm::Tax); });
  } else if (row == 0) {
    Run([this] { register_.Create(ReceiptForm::Pd4); });
  }
}

void RegisterWindow::CreateFromQrCommand() {
  if (!register_.IsOpen()) return;
  const QString path = ChooseCodeFile ? ChooseCodeFile() : QString();
  if (!path.isEmpty()) CreateFromQr(path);
}

void RegisterWindow::CreateFromQr(const QString& path) {
  if (!register_.IsOpen() || readOnly_) return;
  Run([this, &path] { qrImport_->CreateFromFile(path); });
}

namespace {

// The one local file a drag carries that may hold a payment code, or empty.
QString CodeFileOf(const QMimeData* mime) {
  if (!mime || !mime->hasUrls() || mime->urls().size() != 1) return {};
  const QUrl url = mime->urls().first();
  if (!url.isLocalFile() || !LooksLikeCodeFile(url.toLocalFile())) return {};
  return url.toLocalFile();
}

}  // namespace

void RegisterWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (register_.IsOpen() && !readOnly_ && !CodeFileOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void RegisterWindow::dropEvent(QDropEvent* event) {
  const QString path = CodeFileOf(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // After the drop has ended: the dragging program must not wait while the
  // receipt dialog is open.
  QTimer::singleShot(0, this, [this, path] { CreateFromQr(path); });
}

void RegisterWindow::Edit() {
  if (readOnly_) return;
  Run([this] { register_.Edit(); });
}

void RegisterWindow::Mark() {
  if (readOnly_) return;
  Run([this] { register_.Mark(); });
}

void RegisterWindow::Copy() {
  if (readOnly_) return;
  Run([this] { register_.Copy(); });
}

void RegisterWindow::Purge() {
  if (readOnly_) return;
  // The grid would follow every one of the purge's changes row by row; it
  // reads the result once instead, when its source is enabled again.
  bool purged = false;
  Run([this, &purged] {
    purged = register_.Purge(
        [this] {
          ShowPanel();
          receiptsSource_.SetEnabled(false);
        },
        [this](int done, int total) { PanelProgressed(done, total); },
        [this] {
          receiptsSource_.SetEnabled(true);
          HidePanel();
        });
  });
  const ReceiptRegister::PurgeResult result = register_.LastPurge();
  if (purged || result.removed > 0 || result.renumbered > 0) {
    statusBar()->showMessage(QStringLiteral("Удалено квитанций: %1, перенумеровано: %2 (%3).")
                                 .arg(result.removed)
                                 .arg(result.renumbered)
                                 .arg(register_.OrderName()));
  }
}

void RegisterWindow::ShowPanel() {
  panelPercent_ = -1;
  purgeProgress->setRange(0, qMax(1, register_.Table().RecordCount()));
  purgeProgress->setValue(0);
  PlacePanel();
  purgePanel->show();
  purgePanel->raise();
  // Painted at once, without running the event loop: a click let through now
  // would reach a half-purged table.
  purgePanel->repaint();
}

void RegisterWindow::PanelProgressed(int done, int total) {
  // Repainted whenever the percentage moves: a hundred paints at most,
  // however many receipts there are.
  const int percent = total > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / total) : 100;
  if (percent == panelPercent_) return;
  panelPercent_ = percent;
  purgeProgress->setRange(0, qMax(1, total));
  purgeProgress->setValue(done);
  purgeProgress->repaint();
}

void RegisterWindow::HidePanel() {
  purgePanel->hide();
  centralWidget()->repaint();
}

void RegisterWindow::Print() {
  if (!register_.HasRecords()) return;
  if (printer_) Run([this] { printer_->Print(*receipts_); });
}

void RegisterWindow::Preview() {
  if (!register_.HasRecords() || !printer_) return;
  Run([&] { printer_->Preview(*receipts_, SelectedReceipts()); });
}

void RegisterWindow::SaveAsPdf() {
  if (!register_.HasRecords() || !printer_) return;
  Run([&] { printer_->SaveAsPdf(*receipts_, SelectedReceipts()); });
}

ReceiptPrinter::SelectedReceipts RegisterWindow::SelectedReceipts() {
  // The selected rows, or the current one; the current record is the same
  // again afterwards.
  widgets::DataSetTableModel* model = grid->dataModel();
  const int current = model->currentRow();
  std::vector<int> rows = grid->selectedRecordRows();
  if (rows.empty()) rows = {current};
  return [this, rows, current](const std::function<void()>& visit) {
    widgets::DataSetTableModel* model = grid->dataModel();
    for (int row : rows) {
      model->setCurrentRow(row);
      visit();
    }
    model->setCurrentRow(current);
  };
}

void RegisterWindow::Calculator() { context_.prompts->ShowModal(*calculator); }

bool RegisterWindow::ApplyFilter() {
  QString message;
  const std::optional<std::string> text = BuildFilterText(filterBar->Value(), &message);
  if (!text) {
    context_.prompts->ShowMessage(message);
    return false;
  }
  const bool applied = Run([this, &text] { register_.SetViewFilter(*text); });
  UpdateTotals();
  return applied;
}

void RegisterWindow::UpdateTotals() {
  totalsQueued_ = false;
  if (!register_.IsOpen()) {
    totalsLabel->clear();
    return;
  }
  ReceiptRegister::Totals totals;
  try {
    totals = register_.ShownTotals();
  } catch (...) {
    // The grid reports an unreadable table; the totals just stay blank.
    totalsLabel->clear();
    return;
  }
  const QString what = register_.ViewFilter().empty() ? QStringLiteral("Квитанций") : QStringLiteral("Отобрано квитанций");
  totalsLabel->setText(QStringLiteral("%1: %2, на сумму %3")
                           .arg(what, QLocale(QLocale::Russian).toString(totals.count), TotalText(totals.amount)));
}

void RegisterWindow::TitleClick(int column) {
  // Another order shows the same receipts: the totals stand as they are
  // (at 100,000 receipts their sum is most of a re-sort's time).
  const bool wasQueued = totalsQueued_;
  totalsQueued_ = true;
  Run([this, column] { register_.SortBy(column); });
  ShowOrder();
  totalsQueued_ = wasQueued;
}

void RegisterWindow::ShowOrder() {
  grid->dataModel()->setReversed(register_.Descending());
  grid->setSortMarker(register_.SortColumn(), register_.Descending());
}

void RegisterWindow::Settings() {
  if (host_) host_->ShowSettings();
}

void RegisterWindow::About() {
  if (host_) host_->ShowAbout();
}

}  // namespace reg
