// The entries a new budget classification code directory starts with.
//
// A fresh code directory is of no help to a person who does not know the
// codes, so the creator can fill "sprkodBK.tdb" with the codes a private
// person pays most.  The list is a readable text file kept in the repository
// (src/data/budget_codes.txt) and built into the program; each code in it
// comes from a published source.  Stateless, thread-safe except
// FillCodeDirectory, which opens the file through the engine's default
// session.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace receipts {

struct CodeEntry {
  std::string kbk;   // 20 digits
  int tip = 0;       // 0 tax, 1 penalty interest, 2 fine (the code table's `tip`)
  std::string naim;  // the name, UTF-8
};

// The text of src/data/budget_codes.txt as it was when the program was built.
std::string_view DefaultCodeListText();

// Reads a code list: one entry a line, code, kind and name separated by
// tabs; "#" comment lines and blank lines are skipped.  Raises
// tdb::EDatabaseError "Code list line N: ..." for a line that is not three
// fields, a code that is not 20 digits (or is all zeros), a kind other than
// 0, 1 or 2, an empty name, or a name or code longer than the code table
// holds.
std::vector<CodeEntry> ParseCodeList(std::string_view text);

// Appends `codes` to the table "sprkodBK" of the database file at `path`,
// numbered from the table's record count + 1, in list order, unmarked.
// REQUIRES: no other dataset of this process has the file open.
void FillCodeDirectory(const std::string& path, const std::vector<CodeEntry>& codes);

}  // namespace receipts
