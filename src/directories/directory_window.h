// The directory windows and their edit dialogs: one pattern, three
// configurations (directory.h).
//
// DirectoryWindow is the modal list window: a toolbar with "Создать",
// "Изменить", "Удалить", "Скопировать" (and the code directory's kind filter),
// the list of entries, and "Закрыть".  A double-click or Enter in the list
// picks the current entry into the receipt and closes the window (in upkeep
// from the register's menu it changes the entry instead); typing in the list
// searches by code (digits) or by name (anything else), so a pick needs no
// mouse, and the text typed shows under the list.  Each column's title sorts
// the list by it (the code by the table's index, the others in the window,
// the stored file untouched); a second click turns the order round.
// Execute() opens the table, shows the window and closes the table however
// the window was left.  While it is shown it follows the file: at each
// activation and every few seconds while the user leaves it alone
// (ui::IdleRefresh) the list shows what other programs changed.
//
// DirectoryEntryDialog is the edit dialog for one entry: an editor per field of the
// configuration, bound anew to the directory's data source at each showing;
// "Ok" stores the entry and closes, "Отмена" and Esc close without storing.
// An entry the engine refuses keeps the dialog open with what was typed; one
// another program changed or deleted meanwhile, or a new one whose number it
// took, is settled with the user as ui::SharedRecordEdit describes.
// Requisites (INN, KPP, account, BIK, correspondent account, code) that fail
// their check are marked as they are typed, and "Ok" asks once whether to
// store them all the same.
//
// The payers, recipients and code directories are these two classes with
// their configurations (PayersConfig(), ...).  Each window owns its widgets
// and its Directory; the prompts must outlive it.
// User-interface thread only.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QToolBar>
#include <functional>
#include <map>

#include "ui/idle_refresh.h"
#include "ui/shared_record_edit.h"
#include "ui/ui_prompts.h"
#include "directories/directory.h"
#include "widgets/data_grid.h"
#include "widgets/field_warning.h"

namespace directories {

class DirectoryEntryDialog : public QDialog {
  Q_OBJECT

 public:
  DirectoryEntryDialog(const DirectoryConfig& config, ui::UiPrompts& prompts, QWidget* parent = nullptr);

  // Binds the editors to `source` (the directory's) and shows the dialog
  // modally with the number editor focused.  REQUIRES: the source's dataset
  // is in insert or edit state.
  void Execute(tdb::TDataSource& source);

  // The editor of a field (by the configuration's spelling), or null.
  QWidget* Editor(const char* field) const;
  QComboBox* KindList() const { return kindList_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  void Store();
  // The kind list shows the entry's `tip`.
  void ShowKind();

  const DirectoryConfig& config_;
  ui::UiPrompts& prompts_;
  tdb::TDataSource* source_ = nullptr;
  std::map<std::string, QWidget*> editors_;
  QComboBox* kindList_ = nullptr;  // the code directory's `tip`
  std::vector<widgets::FieldWarning*> warnings_;  // of the requisite editors; owned by them
  QPushButton* ok_;
  QPushButton* cancel_;
  ui::SharedRecordEdit shared_;
};

class DirectoryWindow : public QDialog {
  Q_OBJECT

 public:
  // Typing within this many milliseconds goes on with the same search.
  static constexpr int kSearchPause = 1500;

  DirectoryWindow(const DirectoryConfig& config, ui::UiPrompts& prompts, QWidget* parent = nullptr);
  ~DirectoryWindow() override;

  Directory& Logic() { return logic_; }
  // The edit dialog Create, Change and Copy show; not owned.
  void SetEditDialog(DirectoryEntryDialog* dialog);
  void SetReceipt(tdb::TDataSet* receipt) { logic_.SetReceipt(receipt); }

  // Opens the table and shows the window modally; closes the table when it
  // has closed.  A table that cannot be opened shows the engine's message
  // and the window is not shown; a damaged file is offered its repair
  // ("Восстановить…"), found when it opens or later in the list.  Answers whether an entry was picked.
  bool Execute();
  // The same for upkeep, from the register's "Справочники" menu: the
  // caption without "(Выбор)", and Enter or a double-click changes the entry
  // instead of picking it.
  void ExecuteUpkeep();
  bool Upkeep() const { return upkeep_; }
  // The caption of the upkeep window.
  QString UpkeepCaption() const;

  // Toolbar commands; their enabled state is the enabling rule.
  QAction* actCreate;
  QAction* actChange;
  QAction* actMark;
  QAction* actCopy;
  QToolBar* toolBar;
  QComboBox* KindFilter = nullptr;  // the code directory only
  widgets::DataGrid* grid;  // the list of entries
  QPushButton* CloseButton;  // "Закрыть"
  // What has been typed to search the list, and "не найдено" when no entry
  // starts with it; empty when no search runs.
  QLabel* searchLabel;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ApplyEnabling();
  void PickCurrent();
  // A click on `column`'s title: sorts by it, or turns the order round.
  void SortBy(int column);
  // Moves to the first entry that `typed` finds; answers whether one did.
  bool Search(const QString& typed);
  // Opens the table; a damaged file is offered its repair.  False, with the
  // clerk told why, when the table stays closed.
  bool OpenTable();
  // Repairs the directory's file with its table closed, opens the table
  // again and tells how many entries were kept; false when it stays closed.
  bool RepairAndReopen();
  // Runs a command of the toolbar, the list or the kind filter: a failure
  // is told here in the clerk's words (a damaged file is offered its
  // repair), no entry is left half-made, and the window stays usable.
  void Run(const std::function<void()>& command);
  // The list as the file holds it now (one look when nothing changed).
  void Refresh();

  Directory logic_;
  ui::UiPrompts& prompts_;
  DirectoryEntryDialog* editDialog_ = nullptr;
  bool picked_ = false;
  bool upkeep_ = false;
  bool repairing_ = false;  // a failure while the repaired file opens is told without a second offer
  void ShowSearch(const QString& typed, bool found);
  QString typed_;  // what has been typed into the list since the last pause
  QElapsedTimer lastTyped_;
  ui::IdleRefresh idleRefresh_;
};

}  // namespace directories
