// What the program tells a clerk when the database engine fails: in plain
// Russian, what happened, to which file or receipt, and what to do about it.
//
// The text is chosen by the failure's kind and the names it carries, never by
// the engine's English message.  The four data files are called by what they
// hold ("реестр квитанций", "справочник плательщиков", ...).  Texts are UTF-8.
#pragma once

#include <string>

#include "engine/base/database_error.h"

namespace receipts {

// What the caller knows of the failed action, for what the error itself does
// not name.
struct FailureContext {
  std::string file;     // the file the action worked on ("formix.tdb")
  std::string subject;  // the record concerned, as a clerk names it ("квитанция № 12"); may be empty
  std::string folder;   // the data folder, for a file that is missing; may be empty
};

struct FailureText {
  std::string what;    // what happened, naming the file or the receipt
  std::string advice;  // what to do
  // The file is damaged: the program offers to repair it ("Восстановить…").
  bool offer_repair = false;
  // The whole text of a message box: what happened, an empty line, what to do.
  std::string Message() const { return advice.empty() ? what : what + "\n\n" + advice; }
};

FailureText DescribeFailure(const tdb::EDatabaseError& error, const FailureContext& context = {});
// A failure of a database server (Params().Server set): what happened on the
// server, never a file.  DescribeFailure tells these by it.
FailureText DescribeServerFailure(const tdb::EDatabaseError& error, const FailureContext& context = {});

// "реестр квитанций «formix.tdb»" for the program's files, "файл «name»" for
// any other; the folder part of `path` is left out.
std::string FileForClerk(const std::string& path);

}  // namespace receipts
