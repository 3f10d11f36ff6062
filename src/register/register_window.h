// The main window RegisterWindow: the receipt register and the program's life.
//
// Its first activation runs the start-up sequence: the host's steps (the
// settings file, this window's maximized state, the login gate when a
// password is required), then the opening of the receipts table.  Returning
// from a modal window is not a first activation.  The register follows the
// file: every later activation, and every few seconds while the clerk leaves
// the window alone (ui::IdleRefresh), it shows what other programs added,
// changed or deleted, keeping the current receipt where it still exists.  Closing
// it (menu "Выход", the close box, Alt+F4, or a refused login) has the host
// write the settings file once and, being the last window, ends the program.
//
// The window is a thin view over ReceiptRegister, which does the commands'
// work.  Every command is one QAction: the main menu and the toolbar share
// them, so both follow the enabling rule together; the grid's popup menu has
// its own, always enabled, and while the grid has the focus its shortcuts win
// over the main menu's.  A command that fails ends with the general error
// handler's report (in Russian, once) and leaves the table in browse state.
// A damaged register file, found at start-up or at any later read, is
// offered its repair ("Восстановить…"); a register file that cannot be
// written opens for reading only, which is said once, and the commands that
// would change it are disabled.
//
// The window owns the receipts dataset and its data source for the whole run;
// the receipt dialogs bind their editors to ReceiptsSource().  It owns the
// form chooser.  The settings, the login and the about box belong to the
// program around it, which it reaches through its RegisterHost.
// User-interface thread only.
#pragma once

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>
#include <QToolBar>
#include <memory>

#include "ui/app_context.h"
#include "ui/idle_refresh.h"
#include "register/receipt_dialogs.h"
#include "register/receipt_printer.h"
#include "register/filter_bar.h"
#include "register/form_chooser.h"
#include "register/receipt_register.h"
#include "register/register_host.h"
#include "register/register_layout.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/data_source.h"
#include "widgets/calculator.h"
#include "widgets/data_grid.h"

namespace reg {

class QrReceiptImport;

// True when a window in `state` counts as maximized for the settings file: a
// minimized window does not, even one minimized from maximized.
bool MaximizedForSettings(Qt::WindowStates state);

class RegisterWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit RegisterWindow(const ui::AppContext& context);
  ~RegisterWindow() override;

  const ui::AppContext& Context() const { return context_; }
  // The program around the register (not owned; null: no settings, no login,
  // no about box).  Must outlive the window or be replaced first.
  void SetHost(RegisterHost* host) { host_ = host; }

  // The start-up sequence; does its work on the first call only.  Runs by
  // itself after the window's first activation.
  void RunStartup();
  bool StartupStarted() const { return startupStarted_; }

  // How the clerk left the window: its order, column widths and normal
  // size, for the settings file.
  RegisterLayout Layout() const;
  // Takes a layout the settings file kept: the size and the widths at once
  // (within this screen), the order when the register opens.  Values that
  // do not fit this window (a column that does not sort, a width of
  // nothing) are left out.
  void SetLayout(const RegisterLayout& layout);

  // Has the host write the settings file with this window's state.  False
  // when that failed (the host has said why) or there is no host.
  bool WriteSettings();

  // ---- what the receipt dialogs and printing stand on ----
  // The receipts dataset, open from start-up to the end of the run (closed
  // when opening failed).
  tdb::TDataSet& Receipts() { return *receipts_; }
  // The data source on it, for data-aware editors.
  tdb::TDataSource& ReceiptsSource() { return receiptsSource_; }
  ReceiptRegister& Register() { return register_; }
  // The form chooser of Create, also used by tax printing.
  FormChooser& Chooser() { return *formChooser_; }
  // The dialogs Create, Edit and Copy show (not owned; null: none, the
  // commands then store nothing).  Must outlive this window or be replaced
  // first.
  void SetReceiptDialogs(ReceiptDialogs* dialogs);
  // What "Печать" and "Сохранить в PDF…" call (not owned; null: nothing).
  void SetReceiptPrinter(ReceiptPrinter* printer);

  // ---- commands (each as its action runs it) ----
  void Create();    // the form chooser, then the new receipt of that kind
  // "Создать из QR-кода…": asks for a file through ChooseCodeFile, then
  // CreateFromQr on it.
  void CreateFromQrCommand();
  // A new receipt filled from the payment code in the picture or PDF at
  // `path`, in its dialog as for Create; a file without a sound payment code
  // gives a message and creates nothing.
  void CreateFromQr(const QString& path);
  // Asks for the file of "Создать из QR-кода…"; an empty name cancels.
  // Tests replace it.
  std::function<QString()> ChooseCodeFile;
  QrReceiptImport& QrImport() { return *qrImport_; }
  void Edit();      // the current receipt in its dialog, unless marked
  void Mark();      // marks the current receipt for deletion
  void Copy();      // a new receipt from the current one
  void Purge();     // removes the marked receipts for good, renumbers the rest
  void Print();     // the printer's Print on the current receipt
  void SaveAsPdf(); // the printer's SaveAsPdf on the selected receipts
  void Preview();   // the printer's Preview on the selected receipts
  void Calculator();
  void Settings();  // the settings dialog
  void About();     // the about box
  // A click on the title of grid column `column` (sorts when it is a button).
  void TitleClick(int column);
  // The enabling rule, applied to the main menu and the toolbar together.
  void EnableAll();
  // Shows the receipts the filter bar asks for; a value that is no date or
  // no amount is said so and the register stays as it was.  Answers whether
  // the filter was applied.
  bool ApplyFilter();
  // Writes the count and the sum of the receipts shown into totalsLabel.
  void UpdateTotals();

  // Main menu; the toolbar shows actCreate, actPrint, actEdit, actDelete and
  // actCopy.
  QAction* actCreate;      // "Файл" > "Создать" (Insert)
  QAction* actFromQr;      // "Файл" > "Создать из QR-кода…"
  QAction* actPrint;       // "Файл" > "Печать" (Ctrl+P)
  QAction* actPreview;     // "Файл" > "Предварительный просмотр"
  QAction* actPdf;         // "Файл" > "Сохранить в PDF…"
  QAction* actExit;        // "Файл" > "Выход" (Alt+F4)
  QAction* actEdit;        // "Правка" > "Изменить" (Shift+Enter)
  QAction* actDelete;      // "Правка" > "Удалить" (Delete)
  QAction* actCopy;        // "Правка" > "Скопировать" (F9)
  QAction* actCalculator;  // "Сервис" > "Калькулятор"
  QAction* actSettings;    // "Сервис" > "Настройка программы"
  QAction* actPurge;       // "Сервис" > "Удаление помеченных записей"
  QAction* actAbout;       // "Помощь" > "О программе..."
  QAction* actPayers;      // "Справочники" > "Плательщики"
  QAction* actRecipients;  // "Справочники" > "Получатели"
  QAction* actCodes;       // "Справочники" > "Коды бюджетной классификации"
  QToolBar* toolBar;
  // The grid's popup menu; its items are always enabled.
  QMenu* popupMenu;
  QAction* pmCreate;  // "Создать" (Insert)
  QAction* pmPrint;   // "Печать" (Ctrl+P)
  QAction* pmPreview; // "Предварительный просмотр"
  QAction* pmPdf;     // "Сохранить в PDF…"
  QAction* pmEdit;    // "Изменить" (Shift+Enter; Enter too)
  QAction* pmMark;    // "Пометить на удаление" (Delete); "Снять пометку" on a marked row
  QAction* pmCopy;    // "Скопировать" (F9)
  // The grid: the only control of the window that takes the focus.  Its
  // popup is popupMenu, whose shortcuts win while it has the focus.
  widgets::DataGrid* grid;
  // Above the grid: the fields that choose the receipts shown.
  FilterBar* filterBar;
  // In the status bar: how many receipts show and their sum.
  QLabel* totalsLabel;
  // "Только для чтения" in the status bar while the register cannot be
  // changed.
  QLabel* readOnlyLabel;
  // The register file cannot be written: the commands that would change it
  // are disabled.
  bool ReadOnly() const { return readOnly_; }
  // The waiting panel of the purge, hidden otherwise.
  QFrame* purgePanel;
  QLabel* purgeLabel;         // "Удаление записей Ждите..."
  QProgressBar* purgeProgress;  // records done of the total
  // "Калькулятор", created once and shown modally.
  widgets::CalculatorDialog* calculator;

 signals:
  // The settings file has been written (successfully).
  void settingsWritten();
  // The start-up sequence has run to its end: the register is open.
  void startupFinished();

 protected:
  bool event(QEvent* event) override;
  // A picture or PDF dropped on the window makes a receipt of its payment
  // code.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildGrid();
  void BuildPanel();
  // Start-up step 3: open the receipts table and bind the grid.
  void OpenRegister();
  // Runs a command; a failure is reported as the general error handler
  // reports it.  Answers whether it ran to its end.
  bool Run(const std::function<void()>& command);
  // Tells the user of a failure; a damaged register file is offered its
  // repair ("Восстановить…").
  void Report(const std::exception_ptr& error);
  static bool IsDamagedRegister(const std::exception_ptr& error);
  // Closes the register, repairs its file (a copy of the original beside it),
  // opens it again and says how many receipts were kept and where the copy is.
  void RepairRegister();
  // Visits the rows selected in the grid (the current one when none is).
  ReceiptPrinter::SelectedReceipts SelectedReceipts();
  void ShowPanel();
  void PanelProgressed(int done, int total);
  void HidePanel();
  void PlacePanel();
  // The grid shows the register's order: its marker, bottom up or not.
  void ShowOrder();

  ui::AppContext context_;
  RegisterHost* host_ = nullptr;  // not owned
  // Made by the program's home (data/data_home.h) with the window.
  std::unique_ptr<tdb::TDataSet> receipts_;
  tdb::TDataSource receiptsSource_;
  ReceiptDialogs* dialogs_ = nullptr;  // not owned
  ReceiptPrinter* printer_ = nullptr;  // not owned; null: printing does nothing
  // Hands each call on to dialogs_, so the register can be built before the
  // dialogs exist.
  class DialogsRelay : public ReceiptDialogs {
   public:
    explicit DialogsRelay(RegisterWindow& main) : main_(main) {}
    void Show(ReceiptForm form, const QString& caption, bool focusNumber) override {
      if (main_.dialogs_) main_.dialogs_->Show(form, caption, focusNumber);
    }

   private:
    RegisterWindow& main_;
  } relay_{*this};
  ReceiptRegister register_;
  std::unique_ptr<QrReceiptImport> qrImport_;
  std::unique_ptr<FormChooser> formChooser_;
  bool startupQueued_ = false;
  bool startupStarted_ = false;
  bool startupFinished_ = false;
  bool closed_ = false;  // the settings are written once, at the first close
  bool skipActivation_ = false;  // the activation that ends a failed reread's report
  int panelPercent_ = -1;        // the percentage the panel last showed
  bool totalsQueued_ = false;    // an UpdateTotals is on its way
  // The order the settings file kept, applied when the register opens.
  int keptSortColumn_ = -1;
  bool keptDescending_ = false;
  bool readOnly_ = false;        // the register file cannot be written
  bool repairing_ = false;       // opening again after a repair: no second offer
  ui::IdleRefresh idleRefresh_;  // from the end of start-up on
};

}  // namespace reg
