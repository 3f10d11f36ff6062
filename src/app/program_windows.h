// The program's windows, created once at start-up in a fixed order, and the
// program's settings.
//
// ProgramWindows owns every window; they are destroyed in the reverse order
// of their creation, so a window may refer to any window created before it.
// The register window is the first created; closing it ends the program.
// ProgramWindows is the register's host: it holds the Settings value for the
// whole run (read at start-up, edited by the settings dialog, read by the
// login dialog, written when the register closes) and shows the settings
// dialog and the about box.  User-interface thread only.
#pragma once

#include <memory>

#include "app/about_box.h"
#include "app/login_dialog.h"
#include "app/settings_dialog.h"
#include "app/settings_file.h"
#include "directories/directory_window.h"
#include "entry/receipt_dialog.h"
#include "register/receipt_dialog_windows.h"
#include "register/register_host.h"
#include "register/register_window.h"
#include "ui/app_context.h"

namespace app {

class ProgramWindows : public reg::RegisterHost {
 public:
  // Creates every window, hidden, in the program's order and wires them
  // together.  REQUIRES: a QApplication exists; context.prompts is set.
  explicit ProgramWindows(const ui::AppContext& context);
  ~ProgramWindows() override;
  ProgramWindows(const ProgramWindows&) = delete;
  ProgramWindows& operator=(const ProgramWindows&) = delete;

  // The settings file "formix.ini" (see SettingsFilePath).
  QString SettingsPath() const;

  // RegisterHost.
  bool PrepareStartup(reg::RegisterWindow& window) override;
  bool SaveSettings(reg::RegisterWindow& window) override;
  void ShowSettings() override;
  void ShowAbout() override;
  void ShowDirectory(DirectoryKind kind) override;

  // The program's settings for this run; "WindowsState" is taken from the
  // register window whenever the file is written.
  Settings settings;

  // Members in creation order.  The receipt dialogs' seam goes first, so
  // that it goes last, after the register that calls it.
  std::unique_ptr<reg::ReceiptDialogWindows> receiptDialogs;
  std::unique_ptr<reg::RegisterWindow> registerWindow;
  std::unique_ptr<entry::Pd4ReceiptDialog> pd4Dialog;
  std::unique_ptr<directories::DirectoryWindow> payers;
  std::unique_ptr<directories::DirectoryEntryDialog> payerDialog;
  std::unique_ptr<directories::DirectoryWindow> recipients;
  std::unique_ptr<directories::DirectoryEntryDialog> recipientDialog;
  std::unique_ptr<SettingsDialog> settingsDialog;
  std::unique_ptr<LoginDialog> loginDialog;
  std::unique_ptr<directories::DirectoryWindow> codes;  // budget classification codes
  std::unique_ptr<directories::DirectoryEntryDialog> codeDialog;
  std::unique_ptr<entry::TaxReceiptDialog> taxDialog;
  std::unique_ptr<AboutBox> aboutBox;

 private:
  ui::AppContext context_;
};

// The program's windows on the heap (see ProgramWindows).
std::unique_ptr<ProgramWindows> CreateProgramWindows(const ui::AppContext& context);

}  // namespace app
