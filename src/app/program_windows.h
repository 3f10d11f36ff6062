// The program's windows and the program's settings.
//
// ProgramWindows owns every window.  The register and the small dialogs are
// created at start-up; the receipt dialogs and the directories (each window
// with its entry dialog), which a clerk may not open in a whole session, at
// their first use.  They are destroyed in the reverse order of the members,
// so a window may refer to any window declared before it.
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
  // Creates the register and the small dialogs, hidden, and wires them
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

  // The windows created at first use: each accessor creates its window,
  // wired to the others, when it is first asked for.
  entry::Pd4ReceiptDialog& Pd4Dialog();
  entry::TaxReceiptDialog& TaxDialog();
  directories::DirectoryWindow& Directory(DirectoryKind kind);
  directories::DirectoryEntryDialog& EntryDialog(DirectoryKind kind);
  directories::DirectoryWindow& Payers() { return Directory(DirectoryKind::Payers); }
  directories::DirectoryWindow& Recipients() { return Directory(DirectoryKind::Recipients); }
  directories::DirectoryWindow& Codes() { return Directory(DirectoryKind::Codes); }  // budget classification codes

  // Members in creation order.  The receipt dialogs' seam goes first, so
  // that it goes last, after the register that calls it.
  std::unique_ptr<reg::ReceiptDialogWindows> receiptDialogs;
  std::unique_ptr<reg::RegisterWindow> registerWindow;
  std::unique_ptr<SettingsDialog> settingsDialog;
  std::unique_ptr<LoginDialog> loginDialog;
  std::unique_ptr<AboutBox> aboutBox;

 private:
  // A directory's window and its entry dialog, created together.
  struct DirectoryWindows {
    std::unique_ptr<directories::DirectoryWindow> window;
    std::unique_ptr<directories::DirectoryEntryDialog> entry;
  };

  // Gives a receipt dialog the register's receipt and the directories.
  void Wire(entry::ReceiptDialog& dialog);

  ui::AppContext context_;
  // Created at first use; the receipt dialogs pick from the directories, so
  // they go first.
  DirectoryWindows directories_[3];  // by DirectoryKind
  std::unique_ptr<entry::Pd4ReceiptDialog> pd4Dialog_;
  std::unique_ptr<entry::TaxReceiptDialog> taxDialog_;
};

// The program's windows on the heap (see ProgramWindows).
std::unique_ptr<ProgramWindows> CreateProgramWindows(const ui::AppContext& context);

}  // namespace app
