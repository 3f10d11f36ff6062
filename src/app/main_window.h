// The main window TFmain: the receipt register and the program's life.
//
// Its first activation runs the start-up sequence: the settings file into the
// settings dialog's controls and this window's maximized state, the login
// gate when a password is required, then the opening of the register.
// Returning from a modal window is not a first activation.  Closing it (menu
// "Выход", the close box, Alt+F4, or a refused login) writes the settings
// file once and, being the last window, ends the program.
//
// Commands are named actions so that each Part of the register can wire its
// own; those not built yet stay disabled.  The window does not own the other
// windows (Forms does) and reaches them through `forms`, which must outlive
// it.  User-interface thread only.
#pragma once

#include <QAction>
#include <QMainWindow>
#include <QToolBar>

#include "app/app_context.h"
#include "app/settings_file.h"

namespace app {

struct Forms;

// True when a window in `state` counts as maximized for the settings file: a
// minimized window does not, even one minimized from maximized.
bool MaximizedForSettings(Qt::WindowStates state);

class TFmain : public QMainWindow {
  Q_OBJECT

 public:
  TFmain(const AppContext& context, Forms& forms);

  const AppContext& Context() const { return context_; }
  // The settings file "formix.ini" (see SettingsFilePath).
  QString SettingsPath() const;

  // The start-up sequence; does its work on the first call only.  Runs by
  // itself after the window's first activation.
  void RunStartup();
  bool StartupStarted() const { return startupStarted_; }

  // Writes the settings file from the settings dialog's controls and this
  // window's state.  On failure shows why and returns false.
  bool WriteSettings();

  // Commands.
  void Create();    // the form chooser, then the new receipt of that kind
  void Settings();  // the settings dialog
  void About();     // the about box

  // Main menu.
  QAction* actCreate;      // "Файл" > "Создать" (Insert)
  QAction* actPrint;       // "Файл" > "Печать" (Ctrl+P)
  QAction* actExit;        // "Файл" > "Выход" (Alt+F4)
  QAction* actEdit;        // "Правка" > "Изменить" (Shift+Enter)
  QAction* actDelete;      // "Правка" > "Удалить" (Delete)
  QAction* actCopy;        // "Правка" > "Скопировать" (F9)
  QAction* actCalculator;  // "Сервис" > "Калькулятор"
  QAction* actSettings;    // "Сервис" > "Настройка программы"
  QAction* actPurge;       // "Сервис" > "Удаление помеченных записей"
  QAction* actAbout;       // "Помощь" > "О программе..."
  // Toolbar; enabled by the register's own rule, apart from the menu.
  QToolBar* ToolBar1;
  QAction* tbCreate;
  QAction* tbPrint;
  QAction* tbEdit;
  QAction* tbDelete;
  QAction* tbCopy;

 signals:
  // The settings file has been written (successfully).
  void settingsWritten();
  // The start-up sequence has run to its end: the register is open.
  void startupFinished();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolBar();
  // Start-up step 3: open the receipts table and bind the grid.
  void OpenRegister();
  void CreatePd4();
  void CreateTax();

  AppContext context_;
  Forms& forms_;
  bool startupQueued_ = false;
  bool startupStarted_ = false;
  bool closed_ = false;  // the settings are written once, at the first close
};

}  // namespace app
