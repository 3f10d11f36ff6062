// Creates the program's windows (the rarely used ones at first use) and runs the settings
// and the login gate for the register.
#include "app/program_dir.h"
#include "app/program_windows.h"

#include <QDir>

namespace app {

ProgramWindows::ProgramWindows(const ui::AppContext& context) : context_(context) {
  registerWindow = std::make_unique<reg::RegisterWindow>(context);
  settingsDialog = std::make_unique<SettingsDialog>(settings);
  loginDialog = std::make_unique<LoginDialog>(settings);
  aboutBox = std::make_unique<AboutBox>();

  reg::RegisterWindow* main = registerWindow.get();
  main->SetHost(this);
  settingsDialog->SetSaveHandler([main] { return main->WriteSettings(); });
  receiptDialogs = std::make_unique<reg::ReceiptDialogWindows>([this](reg::ReceiptForm form) -> entry::ReceiptDialog& {
    if (form == reg::ReceiptForm::Tax) return TaxDialog();
    return Pd4Dialog();
  });
  main->SetReceiptDialogs(receiptDialogs.get());
}

namespace {

const directories::DirectoryConfig& ConfigOf(reg::RegisterHost::DirectoryKind kind) {
  using Kind = reg::RegisterHost::DirectoryKind;
  return kind == Kind::Payers ? directories::PayersConfig()
         : kind == Kind::Recipients ? directories::RecipientsConfig()
                                    : directories::CodesConfig();
}

}  // namespace

directories::DirectoryWindow& ProgramWindows::Directory(DirectoryKind kind) {
  DirectoryWindows& d = directories_[static_cast<int>(kind)];
  if (!d.window) {
    // Each directory edits its entries in its own dialog and picks into the
    // register's current receipt, which both receipt dialogs edit.
    const directories::DirectoryConfig& config = ConfigOf(kind);
    d.window = std::make_unique<directories::DirectoryWindow>(config, *context_.prompts);
    d.entry = std::make_unique<directories::DirectoryEntryDialog>(config, *context_.prompts);
    d.window->SetEditDialog(d.entry.get());
    d.window->SetReceipt(&registerWindow->Receipts());
  }
  return *d.window;
}

directories::DirectoryEntryDialog& ProgramWindows::EntryDialog(DirectoryKind kind) {
  Directory(kind);
  return *directories_[static_cast<int>(kind)].entry;
}

// The receipt dialogs edit the register's current receipt and pick from the
// directories, whose windows are created at the first pick.
entry::Pd4ReceiptDialog& ProgramWindows::Pd4Dialog() {
  if (!pd4Dialog_) {
    pd4Dialog_ = std::make_unique<entry::Pd4ReceiptDialog>(*context_.prompts);
    Wire(*pd4Dialog_);
  }
  return *pd4Dialog_;
}

entry::TaxReceiptDialog& ProgramWindows::TaxDialog() {
  if (!taxDialog_) {
    taxDialog_ = std::make_unique<entry::TaxReceiptDialog>(*context_.prompts);
    Wire(*taxDialog_);
    taxDialog_->SetCodes([this] { return &Codes(); });
    taxDialog_->SetRulesPage(FindProgramFile(context_.programDir, QStringLiteral("tax-form-rules.html")));
  }
  return *taxDialog_;
}

void ProgramWindows::Wire(entry::ReceiptDialog& dialog) {
  dialog.SetPayers([this] { return &Payers(); });
  dialog.SetRecipients([this] { return &Recipients(); });
  dialog.SetSource(&registerWindow->ReceiptsSource());
}

ProgramWindows::~ProgramWindows() {
  // The windows go in the reverse order of their creation; the register,
  // which calls back into this object while it closes, before the members
  // it calls.
  if (registerWindow) {
    registerWindow->SetReceiptDialogs(nullptr);
    registerWindow->SetHost(nullptr);
  }
}

QString ProgramWindows::SettingsPath() const { return SettingsFilePath(context_.programDir); }

bool ProgramWindows::PrepareStartup(reg::RegisterWindow& window) {
  // Step 1.  A file that cannot be read leaves the settings and the window
  // as they are, without a message.
  if (ReadSettingsFile(SettingsPath(), settings)) {
    const Qt::WindowStates rest = window.windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    window.SetLayout(settings.registerLayout);
    window.setWindowState(settings.windowsState ? rest | Qt::WindowMaximized : rest);
  }
  // Step 2.  A wrong password is said so and may be typed again; after the
  // last try, or at "Отмена", the program ends.
  if (!settings.passLog) return true;
  for (int attempt = 1; attempt <= kLoginTries; ++attempt) {
    context_.prompts->ShowModal(*loginDialog);
    if (loginDialog->Granted()) return true;
    if (loginDialog->Cancelled()) return false;
    context_.prompts->ShowMessage(attempt < kLoginTries
                                      ? QStringLiteral("Неверный пароль. Попробуйте ещё раз.")
                                      : QStringLiteral("Неверный пароль. Программа будет закрыта."));
  }
  return false;
}

bool ProgramWindows::SaveSettings(reg::RegisterWindow& window) {
  settings.windowsState = reg::MaximizedForSettings(window.windowState());
  settings.registerLayout = window.Layout();
  QString error;
  if (!WriteSettingsFile(SettingsPath(), settings, &error)) {
    context_.prompts->ShowError(QStringLiteral("Не удалось записать файл настроек %1: %2")
                                    .arg(QDir::toNativeSeparators(SettingsPath()), error));
    return false;
  }
  return true;
}

void ProgramWindows::ShowSettings() { context_.prompts->ShowModal(*settingsDialog); }

void ProgramWindows::ShowAbout() { context_.prompts->ShowModal(*aboutBox); }

void ProgramWindows::ShowDirectory(DirectoryKind kind) {
  if (!registerWindow) return;
  directories::DirectoryWindow& window = Directory(kind);
  // No receipt is being filled in: nothing to pick into.
  window.SetReceipt(nullptr);
  window.ExecuteUpkeep();
  window.SetReceipt(&registerWindow->Receipts());
}

std::unique_ptr<ProgramWindows> CreateProgramWindows(const ui::AppContext& context) {
  return std::make_unique<ProgramWindows>(context);
}

}  // namespace app
