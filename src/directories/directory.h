// The directory pattern: one list of entries (payers, recipients or budget
// classification codes) that the user maintains and picks from into the
// receipt being filled in.
//
// DirectoryConfig describes what differs between the three directories:
// table, index, columns, captions, the fields of the edit dialog, what a pick
// and a copy carry, whether "Скопировать" follows the enabling rule, and the
// code directory's kind filter.  Directory is the pattern's logic over one
// configuration, free of widgets: it owns the directory's table dataset and
// data source, opens and closes the table, answers the enabling rule, and
// runs Create, Change, Mark, Copy, Pick and the kind filter.  The windows
// (directory_window.h) only show it and forward the user's intent.
//
// Seams: questions and refusals go through ui::UiPrompts; the edit dialog is
// shown through the EditorSeam that the window installs.  Errors of the
// engine are not caught here: they end the command.  User-interface thread.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/ui_prompts.h"
#include "data/receipt_rules.h"
#include "engine/dataset/dataset.h"
#include "engine/dataset/data_source.h"

namespace directories {

enum class EditorKind {
  Number,    // numeric editor with a calculator drop-down
  Text,      // text editor
  KindList,  // the code's kind of payment: a drop-down list whose position is `tip`
};

struct EditField {
  const char* field;  // the field's name, also the editor's object name
  QString label;      // "\n" breaks a label over two or more lines
  EditorKind kind;
  QString group;      // the titled group the editor stands in, or empty
};

struct DirectoryColumn {
  const char* field;
  QString title;
  int width;               // pixels; the last column also takes what is left
  QStringList valueNames = {};  // an integer field's values shown by name (the kind)
};

struct DirectoryConfig {
  const char* windowName;   // the list window's object name: "payersWindow", ...
  const char* dialogName;   // the edit dialog's object name: "payerDialog", ...
  const char* datasetName;  // the name the engine puts before its messages about the table
  QString caption;          // the window's caption
  std::string database, table, index;
  std::vector<DirectoryColumn> columns;  // code column first, then the name
  bool centredTitles;
  QString entryCaption;      // "Плательщик": edit dialog captions "<it> *Новый" and "<it> <value>"
  const char* captionField;  // the field whose value follows entryCaption
  const receipts::CopyMap* pick;
  const receipts::CopyMap* copy;
  const char* receiptNumberField;  // the receipt's stored entry number: `nomerPlat`, ...
  bool copyAlwaysEnabled;          // "Скопировать" ignores the enabling rule
  bool kindFilter;                 // the toolbar carries the kind filter
  std::vector<EditField> editFields;
  QString storeButton;  // "ОК"
};

const DirectoryConfig& PayersConfig();
const DirectoryConfig& RecipientsConfig();
const DirectoryConfig& CodesConfig();

// The kind filter's list positions and the edit dialog's kind list.
const QStringList& KindFilterItems();
const QStringList& PaymentKindItems();

// Refusals.
extern const char* const kCannotChangeMarked;
extern const char* const kCannotPickMarked;
extern const char* const kAskMark;
extern const char* const kAskUnmark;

class Directory {
 public:
  // Shows the edit dialog modally with this caption; returns when it closed.
  using EditorSeam = std::function<void(const QString& caption)>;

  Directory(const DirectoryConfig& config, ui::UiPrompts& prompts);
  ~Directory();
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  const DirectoryConfig& Config() const { return config_; }
  tdb::TDataSet& Table() { return *table_; }
  tdb::TDataSource& Source() { return source_; }

  // The receipt the pick writes into: the register's receipts dataset, in
  // insert or edit state while the directory is shown.  Not owned.
  void SetReceipt(tdb::TDataSet* receipt) { receipt_ = receipt; }
  tdb::TDataSet* Receipt() const { return receipt_; }
  void SetEditor(EditorSeam editor) { editor_ = std::move(editor); }
  // Called whenever the enabling of the commands may have changed.
  std::function<void()> OnEnablingChanged;

  // Sets the table's names, clears its filter, opens it and moves to the
  // entry whose `nomer` is the receipt's stored entry number (the first
  // entry when none is).  An engine error leaves the table closed, its
  // names cleared, and propagates.
  void Open();
  // Closes the table and clears its database, table and index names.
  void Close();

  struct Enabling {
    bool create = true, change = false, mark = false, copy = false;
  };
  Enabling Enabled() const;

  void Create();
  void Change();  // refuses a marked entry
  // Asks first; on a marked entry it offers to take the mark off instead.
  void Mark();
  void Copy();
  // Shows the entries as the file holds them now when another program has
  // changed it, keeping the current entry where it still exists; one look
  // at the file otherwise.  Answers whether the list was read again.
  bool Refresh();
  // Writes the current entry into the receipt; false (and a refusal) for a
  // marked entry.  An empty list writes empty values.
  bool Pick();

  // The kind filter's position (0: none).  Setting it filters the table and
  // tells the enabling; SetKindPosition(0, false) only records the position.
  int KindPosition() const { return kind_; }
  void SetKindPosition(int position, bool apply = true);

  // Incremental search from the keyboard: text starting with a digit finds
  // the first entry whose code starts with it, any other text the first
  // entry whose name starts with it, without regard to letter case.  The
  // current entry stays when none matches; answers whether one did.
  bool Search(const QString& typed);

  // The edit dialog's caption for the entry being inserted or edited.
  QString EntryCaption() const;

 private:
  void RunEditor(const QString& caption);
  void EnablingChanged();

  const DirectoryConfig& config_;
  ui::UiPrompts& prompts_;
  std::unique_ptr<tdb::TDataSet> table_;  // made by the program's home (data/data_home.h)
  tdb::TDataSource source_;
  tdb::TDataSet* receipt_ = nullptr;
  EditorSeam editor_;
  int kind_ = 0;
};

}  // namespace directories
