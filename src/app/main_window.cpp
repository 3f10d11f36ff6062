// The main window: menus, toolbar, the start-up sequence and the closing
// that saves the settings.
#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>

#include "app/forms.h"

namespace app {

bool MaximizedForSettings(Qt::WindowStates state) {
  return state.testFlag(Qt::WindowMaximized) && !state.testFlag(Qt::WindowMinimized);
}

TFmain::TFmain(const AppContext& context, Forms& forms) : context_(context), forms_(forms) {
  setObjectName(QStringLiteral("Fmain"));
  setWindowTitle(ApplicationTitle());
  resize(696, 480);
  BuildMenus();
  BuildToolBar();
  // The grid of the register takes this place.
  setCentralWidget(new QWidget(this));
  statusBar();
}

void TFmain::BuildMenus() {
  auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key) {
    QAction* action = menu->addAction(text);
    action->setShortcut(key);
    return action;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
  actCreate = add(file, QStringLiteral("Создать"), QKeySequence(Qt::Key_Insert));
  actPrint = add(file, QStringLiteral("Печать"), QKeySequence(Qt::CTRL | Qt::Key_P));
  file->addSeparator();
  actExit = add(file, QStringLiteral("Выход"), QKeySequence(Qt::ALT | Qt::Key_F4));
  QMenu* edit = menuBar()->addMenu(QStringLiteral("Правка"));
  actEdit = add(edit, QStringLiteral("Изменить"), QKeySequence(Qt::SHIFT | Qt::Key_Return));
  actDelete = add(edit, QStringLiteral("Удалить"), QKeySequence(Qt::Key_Delete));
  actCopy = add(edit, QStringLiteral("Скопировать"), QKeySequence(Qt::Key_F9));
  QMenu* service = menuBar()->addMenu(QStringLiteral("Сервис"));
  actCalculator = add(service, QStringLiteral("Калькулятор"), {});
  actSettings = add(service, QStringLiteral("Настройка программы"), {});
  actPurge = add(service, QStringLiteral("Удаление помеченных записей"), {});
  QMenu* help = menuBar()->addMenu(QStringLiteral("Помощь"));
  actAbout = add(help, QStringLiteral("О программе..."), {});

  // Not built yet: the register's data commands and the calculator.
  for (QAction* a : {actPrint, actEdit, actDelete, actCopy, actCalculator, actPurge}) {
    a->setEnabled(false);
  }
  connect(actCreate, &QAction::triggered, this, &TFmain::Create);
  connect(actExit, &QAction::triggered, this, &TFmain::close);
  connect(actSettings, &QAction::triggered, this, &TFmain::Settings);
  connect(actAbout, &QAction::triggered, this, &TFmain::About);
}

void TFmain::BuildToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  auto add = [this](QStyle::StandardPixmap icon, const QString& text) {
    return ToolBar1->addAction(style()->standardIcon(icon), text);
  };
  tbCreate = add(QStyle::SP_FileIcon, QStringLiteral("Создать"));
  tbPrint = add(QStyle::SP_DialogSaveButton, QStringLiteral("Печать"));
  ToolBar1->addSeparator();
  tbEdit = add(QStyle::SP_FileDialogDetailedView, QStringLiteral("Изменить"));
  tbDelete = add(QStyle::SP_TrashIcon, QStringLiteral("Удалить"));
  tbCopy = add(QStyle::SP_FileLinkIcon, QStringLiteral("Скопировать"));
  for (QAction* a : {tbPrint, tbEdit, tbDelete, tbCopy}) a->setEnabled(false);
  connect(tbCreate, &QAction::triggered, this, &TFmain::Create);
}

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
  emit startupFinished();
}

void TFmain::OpenRegister() {}

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
  TFpechform& chooser = *forms_.Fpechform;
  chooser.ListBox1->clear();
  chooser.ListBox1->addItem(QStringLiteral("Форма № ПД -4"));
  chooser.ListBox1->addItem(QStringLiteral("Форма № ПД (налог)"));
  if (context_.prompts->ShowModal(chooser) == QDialog::Rejected) return;
  if (chooser.ListBox1->currentRow() == 1) {
    CreateTax();
  } else if (chooser.ListBox1->currentRow() == 0) {
    CreatePd4();
  }
}

// The receipt dialogs are not part of the program yet; choosing a form does
// nothing so far.
void TFmain::CreatePd4() {}
void TFmain::CreateTax() {}

void TFmain::Settings() {
  forms_.Fnastr->ApplyPasswordEditRule();
  context_.prompts->ShowModal(*forms_.Fnastr);
}

void TFmain::About() { context_.prompts->ShowModal(*forms_.FormAbout); }

}  // namespace app
