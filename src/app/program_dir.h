// The program directory: where "formix.ini" and the spreadsheet templates live.
//
// The directory is taken once from the executable's path at start-up and then
// handed to the windows through AppContext, so a test can point it anywhere.
// The program's read-only files (the spreadsheet templates, the code list)
// sit next to the executable in a build tree or an unpacked copy, and in
// <prefix>/share/formix/ when the program is installed into <prefix>/bin/;
// FindProgramFile looks in both, so the program works in any prefix.
// Pure functions apart from the file-system look-ups; any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <string_view>

namespace app {

// The prefix of `exePath` up to and including its last "\" or "/"; empty when
// the path has neither.  The result therefore always ends with a separator
// (or is empty), and file names are appended to it directly.
std::string ProgramDirectoryOf(std::string_view exePath);

// The folder, relative to the program directory, of the program's files in an
// installed prefix.
inline constexpr char16_t kInstalledShareDir[] = u"../share/formix/";

// The places where the program file `name` may be, in the order they are
// tried: the program directory `programDir` (ending with a separator, or
// empty for the current directory), then its "../share/formix/".
QStringList ProgramFileCandidates(const QString& programDir, const QString& name);

// The first of ProgramFileCandidates that is an existing file, as a clean
// absolute path; empty when there is none (a message about the missing file
// can list the candidates).
QString FindProgramFile(const QString& programDir, const QString& name);

// The folder, ending with a separator, that holds the program file `name`:
// the folder of FindProgramFile's answer, or `programDir` when there is none
// (so a message about the missing file names the program directory).  For
// code that appends a file name to a folder, as the spreadsheet templates are
// opened: every template is installed beside the others.
QString ProgramFileFolder(const QString& programDir, const QString& name);

// The same for the running program: the executable's directory.  Requires a
// QCoreApplication.
QString FindProgramFile(const QString& name);

// True when the program directory belongs to an installed prefix, that is
// when its "../share/formix/" folder exists.
bool IsInstalledLayout(const QString& programDir);

}  // namespace app
