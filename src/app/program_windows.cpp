// Creates the program's windows in their fixed order and runs the settings
// and the login gate for the register.
#include "app/program_dir.h"
#include "app/program_windows.h"

#include <QDir>

namespace app {

ProgramWindows::ProgramWindows(const ui::AppContext& context) : context_(context) {
  ui::UiPrompts& prompts = *context.prompts;
  registerWindow = std::make_unique<reg::RegisterWindow>(context);
  pd4Dialog = std::make_unique<entry::Pd4ReceiptDialog>(prompts);
  payers = std::make_unique<directories::DirectoryWindow>(directories::PayersConfig(), prompts);
  payerDialog = std::make_unique<directories::DirectoryEntryDialog>(directories::PayersConfig(), prompts);
  recipients = std::make_unique<directories::DirectoryWindow>(directories::RecipientsConfig(), prompts);
  recipientDialog = std::make_unique<directories::DirectoryEntryDialog>(directories::RecipientsConfig(), prompts);
  settingsDialog = std::make_unique<SettingsDialog>(settings);
  loginDialog = std::make_unique<LoginDialog>(settings);
  codes = std::make_unique<directories::DirectoryWindow>(directories::CodesConfig(), prompts);
  codeDialog = std::make_unique<directories::DirectoryEntryDialog>(directories::CodesConfig(), prompts);
  taxDialog = std::make_unique<entry::TaxReceiptDialog>(prompts);
  aboutBox = std::make_unique<AboutBox>();

  reg::RegisterWindow* main = registerWindow.get();
  main->SetHost(this);
  settingsDialog->SetSaveHandler([main] { return main->WriteSettings(); });

  // Each directory edits its entries in its own dialog and picks into the
  // register's current receipt, which both receipt dialogs edit.
  payers->SetEditDialog(payerDialog.get());
  recipients->SetEditDialog(recipientDialog.get());
  codes->SetEditDialog(codeDialog.get());
  for (entry::ReceiptDialog* dialog : {static_cast<entry::ReceiptDialog*>(pd4Dialog.get()),
                                       static_cast<entry::ReceiptDialog*>(taxDialog.get())}) {
    dialog->SetPayers(payers.get());
    dialog->SetRecipients(recipients.get());
    dialog->SetSource(&main->ReceiptsSource());
  }
  taxDialog->SetCodes(codes.get());
  taxDialog->SetRulesPage(FindProgramFile(context_.programDir, QStringLiteral("tax-form-rules.html")));
  for (directories::DirectoryWindow* directory : {payers.get(), recipients.get(), codes.get()})
    directory->SetReceipt(&main->Receipts());
  receiptDialogs = std::make_unique<reg::ReceiptDialogWindows>(*pd4Dialog, *taxDialog);
  main->SetReceiptDialogs(receiptDialogs.get());
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
  directories::DirectoryWindow* window = kind == DirectoryKind::Payers       ? payers.get()
                                         : kind == DirectoryKind::Recipients ? recipients.get()
                                                                             : codes.get();
  if (!window) return;
  // No receipt is being filled in: nothing to pick into.
  window->SetReceipt(nullptr);
  window->ExecuteUpkeep();
  window->SetReceipt(registerWindow ? &registerWindow->Receipts() : nullptr);
}

std::unique_ptr<ProgramWindows> CreateProgramWindows(const ui::AppContext& context) {
  return std::make_unique<ProgramWindows>(context);
}

}  // namespace app
