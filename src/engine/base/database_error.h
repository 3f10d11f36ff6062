// The engine's one error type.
//
// Every failure of the engine is raised as an EDatabaseError carrying an
// English message, a kind and the names it concerns (file, table, field,
// record).  A failure raised on behalf of a component that has a name reads
// "<name>: <message>" (see ComponentError).  The message is for logs and the
// command-line tool; a program that explains failures in its own words reads
// Kind() and Params() and never the message.  Nothing inside the engine
// retries except the file lock.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tdb {

// What went wrong, as far as a caller may want to react to it or explain it.
enum TErrorKind {
  ekGeneral,             // anything else: a misuse of the API, a filter's syntax, ...
  ekDamaged,             // the file's structures are cut short or contradict each other
  ekNotDatabaseFile,     // the file does not begin with a database file header
  ekUnsupportedVersion,  // a database file of a version this engine does not read
  ekTableMissing,        // the file has no table of that name (Params().Table)
  ekCannotOpen,          // the file could not be opened; Params().Open says why
  ekReadOnly,            // a change asked of a file, database or dataset open for reading only
  ekDiskFull,            // a write found no room left on the medium
  ekIoFailure,           // the system refused a read, write or flush for another reason
  ekLockTimeout,         // the file lock stayed with another user past the retries
  ekRecordChanged,       // another user changed the record since it was read
  ekRecordDeleted,       // another user deleted the record (Params().Record)
  ekWrongPassword,       // the password given does not open the encrypted file
  ekOutOfRange,          // a value, number or position beyond what can be held
  ekInvalidValue,        // text that is no value of the field's type
  ekFileTooLarge,        // the file cannot grow any further
};

// Why a file could not be opened (ekCannotOpen).
enum TOpenFailure {
  ofNone,
  ofMissing,       // no file of that name
  ofFolder,        // the name is a folder's
  ofNoPermission,  // the system refused access
  ofInUse,         // another program holds the file open exclusively
  ofOther,         // any other refusal; Params().SystemError has the code
};

// The names a failure concerns; what is not known stays empty (-1 for a record).
struct TErrorParams {
  std::string File;     // the file's name as the caller gave it
  std::string Table;    // table name as stored in the file
  std::string Field;    // field name as stored in the file
  int64_t Record = -1;  // record number (the bookmark), or a position for ekOutOfRange
  TOpenFailure Open = ofNone;
  int SystemError = 0;  // errno of the refused system call, 0 when none
  // The database server the failure came from, as "host:port/database
  // (user)"; empty for a failure of a file.
  std::string Server;
};

// Params naming only a file.
inline TErrorParams FileParams(std::string file) {
  TErrorParams params;
  params.File = std::move(file);
  return params;
}

// Params naming a table of a file, and a record of it when record >= 0.
inline TErrorParams TableParams(std::string file, std::string table, int64_t record = -1) {
  TErrorParams params;
  params.File = std::move(file);
  params.Table = std::move(table);
  params.Record = record;
  return params;
}

class EDatabaseError : public std::runtime_error {
 public:
  // A failure of kind ekGeneral.
  explicit EDatabaseError(const std::string& message) : std::runtime_error(message) {}
  EDatabaseError(TErrorKind kind, const std::string& message, TErrorParams params = {})
      : std::runtime_error(message), kind_(kind), params_(std::move(params)) {}

  TErrorKind Kind() const { return kind_; }
  const TErrorParams& Params() const { return params_; }

 private:
  TErrorKind kind_ = ekGeneral;
  TErrorParams params_;
};

// Raises EDatabaseError of kind ekGeneral with `message`.
[[noreturn]] void DatabaseError(const std::string& message);
// Raises EDatabaseError of `kind` with `message` and the names it concerns.
[[noreturn]] void DatabaseError(TErrorKind kind, const std::string& message, TErrorParams params = {});

// Raises EDatabaseError with "<component>: <message>" when the component has a
// name, with the bare message otherwise.
[[noreturn]] void ComponentError(std::string_view component, const std::string& message);
[[noreturn]] void ComponentError(std::string_view component, TErrorKind kind, const std::string& message,
                                 TErrorParams params = {});

// Replaces each "%s" of `pattern`, left to right, with the next argument; the
// engine's messages are written in this form ("Cannot open file %s").
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace tdb

namespace tdb {

// The silent abort: ends the current operation without a message (a cancelled
// login, for instance).  Error handlers let it pass without showing anything.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

}  // namespace tdb
