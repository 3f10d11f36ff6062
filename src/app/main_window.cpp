// The main window: menus, toolbar, grid, the start-up sequence, the register's
// commands and the closing that saves the settings.
#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QTimer>
#include <QFontMetrics>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "app/error_report.h"
#include "app/forms.h"
#include "app/pictures.h"
#include "app/qr_receipt_import.h"
#include "app/register_requisites.h"
#include "app/stand_in_receipt_dialogs.h"
#include "data/receipt_tables.h"

namespace app {

namespace receipt_table = receipts::receipt_table;

bool MaximizedForSettings(Qt::WindowStates state) {
  return state.testFlag(Qt::WindowMaximized) && !state.testFlag(Qt::WindowMinimized);
}

TFmain::TFmain(const AppContext& context, Forms& forms)
    : context_(context),
      forms_(forms),
      standInDialogs_(std::make_unique<StandInReceiptDialogs>(receipts_, *context.prompts, this)),
      dialogs_(standInDialogs_.get()),
      register_(receipts_, *context.prompts, relay_),
      qrImport_(std::make_unique<QrReceiptImport>(register_, *context.prompts)) {
  setObjectName(QStringLiteral("Fmain"));
  setWindowTitle(ApplicationTitle());
  setAccessibleName(ApplicationTitle());
  resize(696, 480);
  receipts_.Name = "DadaTable1";
  receiptsSource_.SetDataSet(&receipts_);
  BuildMenus();
  BuildToolBar();
  BuildGrid();
  BuildPanel();
  Calculator1 = new widgets::CalculatorDialog(this);
  statusBar();
  setAcceptDrops(true);
  ChooseCodeFile = [this] {
    return QFileDialog::getOpenFileName(
        this, QStringLiteral("Создать из QR-кода"), QString(),
        QStringLiteral("Счета и квитанции (*.png *.jpg *.jpeg *.pdf *.bmp *.gif *.tif *.tiff *.webp);;Все файлы (*)"));
  };
  EnableAll();
}

TFmain::~TFmain() {
  // The grid's links point at the data source, a member that goes before
  // the child widgets would.
  delete centralWidget();
  receiptsSource_.SetDataSet(nullptr);
  receipts_.Close();
}

void TFmain::BuildMenus() {
  auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, void (TFmain::*slot)()) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  // The menu titles carry mnemonics, so Alt and a letter opens each one.
  QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
  actCreate = add(file, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert), &TFmain::Create);
  actFromQr = add(file, QStringLiteral("Создать из QR-кода…"), {}, &TFmain::CreateFromQrCommand);
  actPrint = add(file, QStringLiteral("Печать"), QKeySequence(Qt::CTRL | Qt::Key_P), &TFmain::Print);
  actPdf = add(file, QStringLiteral("Сохранить в PDF…"), {}, &TFmain::SaveAsPdf);
  file->addSeparator();
  actExit = file->addAction(QStringLiteral("Выход"));
  actExit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(actExit, &QAction::triggered, this, &TFmain::close);
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Правка"));
  actEdit = add(edit, QStringLiteral("Изменить"), QKeySequence(Qt::SHIFT | Qt::Key_Return), &TFmain::Edit);
  actDelete = add(edit, QStringLiteral("Удалить"), QKeySequence(Qt::Key_Delete), &TFmain::Mark);
  actCopy = add(edit, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9), &TFmain::Copy);
  QMenu* service = menuBar()->addMenu(QStringLiteral("&Сервис"));
  actCalculator = add(service, QStringLiteral("Калькулятор"), {}, &TFmain::Calculator);
  actSettings = add(service, QStringLiteral("Настройка программы"), {}, &TFmain::Settings);
  actPurge = add(service, QStringLiteral("Удаление помеченных записей"), {}, &TFmain::Purge);
  QMenu* help = menuBar()->addMenu(QStringLiteral("По&мощь"));
  actAbout = add(help, QStringLiteral("О программе..."), {}, &TFmain::About);
  // The menus follow the enabling rule whenever they open, whatever changed
  // the table since.
  for (QMenu* menu : {file, edit, service}) connect(menu, &QMenu::aboutToShow, this, &TFmain::EnableAll);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  pmCreate = add(PopupMenu1, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert), &TFmain::Create);
  pmPrint = add(PopupMenu1, QStringLiteral("Печать"), QKeySequence(Qt::CTRL | Qt::Key_P), &TFmain::Print);
  pmPdf = add(PopupMenu1, QStringLiteral("Сохранить в PDF…"), {}, &TFmain::SaveAsPdf);
  PopupMenu1->addSeparator();
  // The popup's "Изменить" edits, as the main menu's does: an item that
  // does nothing would only puzzle.
  pmEdit = add(PopupMenu1, QStringLiteral("Изменить"), QKeySequence(Qt::SHIFT | Qt::Key_Return), &TFmain::Edit);
  pmMark = add(PopupMenu1, QStringLiteral("Пометить на удаление"), QKeySequence(Qt::Key_Delete), &TFmain::Mark);
  pmCopy = add(PopupMenu1, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9), &TFmain::Copy);
}

void TFmain::BuildToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  const std::pair<QAction*, QIcon> buttons[] = {
      {actCreate, IconOf(ReceiptPicture)},
      {actPrint, IconOf(PrinterPicture)},
      {nullptr, {}},
      {actEdit, IconOf(EditPicture)},
      {actDelete, style()->standardIcon(QStyle::SP_TrashIcon)},
      {actCopy, IconOf(CopyPicture)},
  };
  for (const auto& [action, icon] : buttons) {
    if (!action) {
      ToolBar1->addSeparator();
      continue;
    }
    action->setIcon(icon);
    ToolBar1->addAction(action);
  }
}

void TFmain::BuildGrid() {
  auto* area = new QWidget(this);
  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  DBGrid1 = new widgets::DataGrid(area);
  DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
  DBGrid1->setAccessibleName(QStringLiteral("Квитанции"));
  // The designed widths, widened where this desktop's font would cut a
  // title or a date short.
  const QFontMetrics metrics(DBGrid1->font());
  const int dateWidth = metrics.horizontalAdvance(QStringLiteral("00.00.0000")) + 12;
  std::vector<widgets::GridColumn> columns;
  for (const RegisterColumn& c : RegisterColumns()) {
    const QString title = QString::fromUtf16(c.title);
    int width = c.width > 0 ? qMax(c.width, metrics.horizontalAdvance(title) + 24) : -1;
    if (width > 0 && QLatin1String(c.field) == QLatin1String(receipt_table::kDate)) width = qMax(width, dateWidth);
    columns.push_back({title, QString::fromLatin1(c.field), width, c.index != nullptr});
  }
  DBGrid1->setColumns(std::move(columns));
  DBGrid1->setExtraFields(QStringList{QString::fromLatin1(receipt_table::kDeleted)} + RequisiteFields());
  // A receipt whose requisites fail their checks carries a sign, old ones too.
  DBGrid1->setRowMark([this](int row) { return RequisiteFailures(*DBGrid1->dataModel(), row); });
  DBGrid1->setCellPainter([this](QPainter& painter, const QRect& rect, int row, int column,
                                 const QStyleOptionViewItem& option) { DrawMarked(painter, rect, row, column, option); });
  DBGrid1->setPopupMenu(PopupMenu1);
  DBGrid1->confirmDelete = [this](QWidget*, const QString& question) {
    return context_.prompts->AskOkCancel(question);
  };
  connect(DBGrid1, &widgets::DataGrid::titleClicked, this, &TFmain::TitleClick);
  connect(DBGrid1, &widgets::DataGrid::recordDoubleClicked, this, &TFmain::Edit);
  widgets::DataSetTableModel* model = DBGrid1->dataModel();
  connect(model, &widgets::DataSetTableModel::readFailed, this,
          [this](const QString& message) { context_.prompts->ShowError(message); });
  // Whatever changed the rows (the grid's own Ctrl+Delete too), the menu and
  // the toolbar follow.
  connect(model, &QAbstractItemModel::modelReset, this, &TFmain::EnableAll);
  connect(model, &QAbstractItemModel::rowsInserted, this, &TFmain::EnableAll);
  connect(model, &QAbstractItemModel::rowsRemoved, this, &TFmain::EnableAll);
  DBGrid1->setDataSource(&receiptsSource_);
  layout->addWidget(DBGrid1);
  setCentralWidget(area);
  DBGrid1->setFocus();
}

void TFmain::DrawMarked(QPainter& painter, const QRect& rect, int row, int column,
                        const QStyleOptionViewItem& option) const {
  widgets::DataSetTableModel* model = DBGrid1->dataModel();
  if (!model->fieldValue(row, QString::fromLatin1(receipt_table::kDeleted)).toBool()) return;
  // A marked receipt: its text again, grey and italic on white, over the
  // normal drawing and its selection highlight.
  painter.setClipRect(rect);
  painter.fillRect(rect, Qt::white);
  QFont italic = option.font;
  italic.setItalic(true);
  painter.setFont(italic);
  painter.setPen(kMarkedTextColour);
  const QString text = model->editText(row, column);
  const int alignment = model->data(model->index(row, column), Qt::TextAlignmentRole).toInt();
  const int width = QFontMetrics(italic).horizontalAdvance(text);
  const int left = (alignment & Qt::AlignRight) ? rect.right() - 2 - width : rect.left() + 2;
  painter.drawText(QRect(left, rect.top() + 2, qMax(width, rect.right() - left), rect.height() - 2),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

void TFmain::BuildPanel() {
  Panel1 = new QFrame(centralWidget());
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setLineWidth(2);
  Panel1->setAutoFillBackground(true);
  PanelLabel = new QLabel(QStringLiteral("Удаление записей Ждите..."), Panel1);
  PanelLabel->setAlignment(Qt::AlignCenter);
  QFont bold = PanelLabel->font();
  bold.setBold(true);
  PanelLabel->setFont(bold);
  PanelProgress = new QProgressBar(Panel1);
  PanelProgress->setAccessibleName(PanelLabel->text());
  PanelProgress->setFormat(QStringLiteral("%v из %m"));
  auto* layout = new QVBoxLayout(Panel1);
  layout->addWidget(PanelLabel);
  layout->addWidget(PanelProgress);
  Panel1->setAccessibleName(PanelLabel->text());
  Panel1->setFixedSize(320, 80);
  Panel1->hide();
}

void TFmain::PlacePanel() {
  const QWidget* area = centralWidget();
  Panel1->move((area->width() - Panel1->width()) / 2, (area->height() - Panel1->height()) / 2);
}

void TFmain::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  PlacePanel();
}

void TFmain::SetReceiptDialogs(ReceiptDialogs* dialogs) {
  dialogs_ = dialogs ? dialogs : standInDialogs_.get();
}

void TFmain::SetReceiptPrinter(ReceiptPrinter* printer) { printer_ = printer ? printer : &noPrinter_; }

QString TFmain::SettingsPath() const {
  return SettingsFilePath(context_.programDir);
}

bool TFmain::event(QEvent* event) {
  // The first showing normally brings the first activation; either one starts
  // the sequence, so a desktop that does not activate new windows still gets
  // it.  Queued, so that the sequence (and a login dialog's modal loop) runs
  // from the event loop rather than inside show().
  const bool first = event->type() == QEvent::WindowActivate ||
                     (event->type() == QEvent::Show && !event->spontaneous());
  if (first && !startupQueued_) {
    startupQueued_ = true;
    QMetaObject::invokeMethod(this, &TFmain::RunStartup, Qt::QueuedConnection);
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

void TFmain::RunStartup() {
  if (startupStarted_ || closed_) return;
  startupStarted_ = true;
  startupQueued_ = true;
  TFnastr& nastr = *forms_.Fnastr;

  // Step 1.  A file that cannot be read leaves the controls and the window as
  // they are, without a message.
  app::Settings settings;
  if (ReadSettingsFile(SettingsPath(), settings)) {
    nastr.CheckBox1->setChecked(settings.summa);
    nastr.CheckBox2->setChecked(settings.passLog);
    nastr.Edit1->setText(settings.password);
    const Qt::WindowStates rest = windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    setWindowState(settings.windowsState ? rest | Qt::WindowMaximized : rest);
  }

  // Step 2.
  if (nastr.CheckBox2->isChecked()) {
    context_.prompts->ShowModal(*forms_.Fpassword);
    if (!forms_.Fpassword->Granted()) {
      close();
      return;
    }
  }

  // Step 3.
  OpenRegister();
  startupFinished_ = true;
  emit startupFinished();
}

void TFmain::OpenRegister() {
  // A missing, damaged or refused file is reported; the grid stays empty and
  // the rest of the program (settings, about box, exit) keeps working.
  Run([this] {
    register_.Open();
    if (tdb::TDadaDatabase* database = receipts_.Database()) database->SetAutoFlush(true);
    DBGrid1->setSortMarker(register_.SortColumn());
  });
  EnableAll();
}

bool TFmain::Run(const std::function<void()>& command) {
  bool ran = true;
  try {
    command();
  } catch (...) {
    ran = false;
    ReportError(std::current_exception(), context_.prompts);
  }
  EnableAll();
  return ran;
}

void TFmain::EnableAll() {
  actCreate->setEnabled(register_.IsOpen());
  actFromQr->setEnabled(register_.IsOpen());
  const bool any = register_.HasRecords();
  for (QAction* a : {actPrint, actPdf, actEdit, actDelete, actCopy, actPurge}) a->setEnabled(any);
}

bool TFmain::WriteSettings() {
  const TFnastr& nastr = *forms_.Fnastr;
  app::Settings settings;
  settings.windowsState = MaximizedForSettings(windowState());
  settings.summa = nastr.CheckBox1->isChecked();
  settings.passLog = nastr.CheckBox2->isChecked();
  settings.password = nastr.Edit1->text();
  QString error;
  if (!WriteSettingsFile(SettingsPath(), settings, &error)) {
    context_.prompts->ShowError(QStringLiteral("Не удалось записать файл настроек %1: %2")
                                    .arg(QDir::toNativeSeparators(SettingsPath()), error));
    return false;
  }
  emit settingsWritten();
  return true;
}

void TFmain::closeEvent(QCloseEvent* event) {
  // A failed write has been reported; the program still ends, as the user
  // asked.  The file is then as it was before.
  if (!closed_) {
    closed_ = true;
    WriteSettings();
  }
  event->accept();
}

void TFmain::Create() {
  if (!register_.IsOpen()) return;
  TFpechform& chooser = *forms_.Fpechform;
  chooser.ListBox1->clear();
  chooser.ListBox1->addItem(QStringLiteral("Форма № ПД -4"));
  chooser.ListBox1->addItem(QStringLiteral("Форма № ПД (налог)"));
  if (context_.prompts->ShowModal(chooser) == QDialog::Rejected) return;
  const int row = chooser.ListBox1->currentRow();
  if (row == 1) {
    Run([this] { register_.Create(ReceiptForm::Tax); });
  } else if (row == 0) {
    Run([this] { register_.Create(ReceiptForm::Pd4); });
  }
}

void TFmain::CreateFromQrCommand() {
  if (!register_.IsOpen()) return;
  const QString path = ChooseCodeFile ? ChooseCodeFile() : QString();
  if (!path.isEmpty()) CreateFromQr(path);
}

void TFmain::CreateFromQr(const QString& path) {
  if (!register_.IsOpen()) return;
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

void TFmain::dragEnterEvent(QDragEnterEvent* event) {
  if (register_.IsOpen() && !CodeFileOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TFmain::dropEvent(QDropEvent* event) {
  const QString path = CodeFileOf(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // After the drop has ended: the dragging program must not wait while the
  // receipt dialog is open.
  QTimer::singleShot(0, this, [this, path] { CreateFromQr(path); });
}

void TFmain::Edit() {
  Run([this] { register_.Edit(); });
}

void TFmain::Mark() {
  Run([this] { register_.Mark(); });
}

void TFmain::Copy() {
  Run([this] { register_.Copy(); });
}

void TFmain::Purge() {
  // The grid would follow every one of the purge's changes row by row; it
  // reads the result once instead, when its source is enabled again.
  Run([this] {
    register_.Purge(
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
}

void TFmain::ShowPanel() {
  panelPercent_ = -1;
  PanelProgress->setRange(0, qMax(1, register_.Table().RecordCount()));
  PanelProgress->setValue(0);
  PlacePanel();
  Panel1->show();
  Panel1->raise();
  // Painted at once, without running the event loop: a click let through now
  // would reach a half-purged table.
  Panel1->repaint();
}

void TFmain::PanelProgressed(int done, int total) {
  // Repainted whenever the percentage moves: a hundred paints at most,
  // however many receipts there are.
  const int percent = total > 0 ? static_cast<int>(static_cast<int64_t>(done) * 100 / total) : 100;
  if (percent == panelPercent_) return;
  panelPercent_ = percent;
  PanelProgress->setRange(0, qMax(1, total));
  PanelProgress->setValue(done);
  PanelProgress->repaint();
}

void TFmain::HidePanel() {
  Panel1->hide();
  centralWidget()->repaint();
}

void TFmain::Print() {
  if (!register_.HasRecords()) return;
  Run([this] { printer_->Print(receipts_); });
}

void TFmain::SaveAsPdf() {
  if (!register_.HasRecords()) return;
  Run([this] { printer_->SaveAsPdf(receipts_); });
}

void TFmain::Calculator() { context_.prompts->ShowModal(*Calculator1); }

void TFmain::TitleClick(int column) {
  Run([this, column] { register_.SortBy(column); });
  DBGrid1->setSortMarker(register_.SortColumn());
}

void TFmain::Settings() {
  forms_.Fnastr->ApplyPasswordEditRule();
  context_.prompts->ShowModal(*forms_.Fnastr);
}

void TFmain::About() { context_.prompts->ShowModal(*forms_.FormAbout); }

}  // namespace app
