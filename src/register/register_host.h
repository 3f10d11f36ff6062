// What the program around the register gives it: the start-up steps before
// the receipts table opens, the writing of the settings when the window
// closes, and the windows of "Настройка программы" and "О программе...".
//
// The register window calls its host from the user-interface thread only;
// the host is not owned and must outlive the window (or be unset first).
#pragma once

namespace reg {

class RegisterWindow;

class RegisterHost {
 public:
  virtual ~RegisterHost() = default;
  // Start-up steps 1 and 2: reads the settings file (`window`'s maximized
  // state with it) and runs the login gate when a password is required.
  // False: the login was refused, and the window closes.
  virtual bool PrepareStartup(RegisterWindow& window) = 0;
  // Writes the settings file, `window`'s state with it.  On failure shows
  // why and answers false.
  virtual bool SaveSettings(RegisterWindow& window) = 0;
  virtual void ShowSettings() = 0;
  virtual void ShowAbout() = 0;
  // "Справочники": the directory for upkeep (no receipt to pick into).
  enum class DirectoryKind { Payers, Recipients, Codes };
  virtual void ShowDirectory(DirectoryKind /*kind*/) {}
};

}  // namespace reg
