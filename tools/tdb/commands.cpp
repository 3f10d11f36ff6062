// Dispatch of the tdb tool's commands: argument checking, running the
// command, and turning engine errors into messages and exit codes.
#include "tdb/commands.h"

#include "engine/base/codepage.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <optional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "data/code_directory.h"
#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine/base/database_error.h"
#include "engine/processing/secure_wipe.h"
#include "formix_version.h"
#include "tdb/database_info.h"
#include "tdb/repair_command.h"
#include "tdb/schema_json.h"
#include "tdb/table_commands.h"
#include "tdb/terminal_login.h"

namespace tdbtool {

namespace {

const char kUsage[] =
    "usage: tdb COMMAND [ARGS]\n"
    "Commands for database files (.tdb):\n"
    "\n"
    "  tdb create FILE --schema SCHEMA.json [--compress] [--verify-writes]\n"
    "             [--encrypt CIPHER [--password P | --password-file F] [--mode N]]\n"
    "      Writes a new, empty database file from a schema.  An existing FILE\n"
    "      is never replaced.  --compress stores blob values compressed (ZLIB);\n"
    "      --encrypt stores field and blob values encrypted with CIPHER\n"
    "      (Blowfish, Twofish or Gost) in mode N (0 to 4, default 0) under the\n"
    "      password (see Passwords; typed twice when asked on the terminal);\n"
    "      fields whose process_mode is not 0 stay unprocessed.\n"
    "      The file keeps a check string derived from the password, and that\n"
    "      is enough to decrypt it: the password keeps out casual readers only.\n"
    "      The schema is JSON:\n"
    "        {\"tables\": [\n"
    "          {\"name\": \"clients\",\n"
    "           \"fields\": [{\"name\": \"nomer\", \"type\": \"ftInteger\"},\n"
    "                      {\"name\": \"name\", \"type\": \"ftString\", \"size\": 40,\n"
    "                       \"process_mode\": 0}],\n"
    "           \"indexes\": [{\"name\": \"inomer\", \"fields\": [\"nomer\"],\n"
    "                        \"options\": [\"tiUnique\"]}]}]}\n"
    "      Types: ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,\n"
    "      ftCurrency, ftDate, ftTime, ftDateTime, ftAutoInc, ftBlob, ftMemo,\n"
    "      ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary,\n"
    "      ftFixedChar, ftLargeint, ftOraBlob, ftOraClob (or the type code).\n"
    "      \"size\" is the maximum length of ftString and ftFixedChar (1 to 65535);\n"
    "      \"size\", \"process_mode\", \"indexes\" and \"options\" may be left out.\n"
    "      Index options: tiPrimary, tiUnique, tiDescending, tiCaseInsensitive.\n"
    "      Names: 1 to 32 bytes in Windows-1251; at most 256 tables, 96 fields\n"
    "      and 8 indexes of up to 8 fields per table.\n"
    "\n"
    "  tdb create-receipts DIR [--if-missing] [--with-codes]\n"
    "      Writes the program's four empty database files into DIR:\n"
    "      formix.tdb, platel.tdb, Poluchat.tdb, sprkodBK.tdb.  Without\n"
    "      --if-missing an existing file is an error and nothing is written;\n"
    "      with it only the missing files are written, silently.\n"
    "      --with-codes fills a sprkodBK.tdb that it writes with the budget\n"
    "      classification codes a private person pays most (the list\n"
    "      src/data/budget_codes.txt built into the tool); an existing file\n"
    "      is never touched.\n"
    "\n"
    "  tdb info FILE\n"
    "      Prints one JSON object describing FILE: version, compressed,\n"
    "      encrypted, verify_writes, compress_algorithm, encrypt_algorithm,\n"
    "      encrypt_mode, and per table its name, record_total, fields (name,\n"
    "      type, size, process_mode) and indexes (name, options, fields).\n"
    "\n"
    "  tdb dump FILE TABLE [--index NAME] [--filter EXPR\n"
    "           [--filter-options ci,nopartial]] [PASSWORD]\n"
    "      Prints the records of TABLE as JSON Lines, in the order of the\n"
    "      index NAME (any letter case; a name the table lacks is an error) or\n"
    "      in record order: \"_recno\" (the record number) first, then every\n"
    "      field by name.  Strings and memos are text, integers and floats\n"
    "      numbers, booleans true/false, dates \"YYYY-MM-DD\", times\n"
    "      \"HH:MM:SS.mmm\", date-times \"YYYY-MM-DDTHH:MM:SS.mmm\", other blobs\n"
    "      Base64.\n"
    "      --filter prints only the records for which the filter expression\n"
    "      EXPR holds (for instance \"slugebnoe=true\" or \"name='Ив*'\"), still\n"
    "      in that order.  --filter-options: ci compares texts without regard\n"
    "      to letter case, nopartial takes \"*\" in a text as itself.\n"
    "\n"
    "  tdb insert FILE TABLE [PASSWORD]\n"
    "      Appends the records read from standard input, one JSON object a\n"
    "      line in the form dump prints (\"_recno\" is ignored), so that the\n"
    "      output of dump goes back in unchanged.  Fields left\n"
    "      out take a new record's values: zero or empty, dates today, times\n"
    "      now, date-times 1899-12-30.  A bad line stops the command with its\n"
    "      line number; nothing of it is written.\n"
    "\n"
    "  tdb delete FILE TABLE --recno N [PASSWORD]\n"
    "      Marks record number N deleted.\n"
    "\n"
    "  tdb locate FILE TABLE FIELDS VALUES [--ci] [--partial] [--index NAME]\n"
    "             [PASSWORD]\n"
    "      Finds the first record, in the order of --index (or the table's\n"
    "      primary index, or record order), whose key fields FIELDS hold\n"
    "      VALUES, and prints it as one line in the form dump prints; exit\n"
    "      code 1 and no output when there is none.  FIELDS are field names\n"
    "      and VALUES their values, each list separated by \";\" (so a value\n"
    "      cannot hold a \";\").  A value is written as dump prints it:\n"
    "      numbers 12.5, dates 2024-03-05, times 09:30:00.000, date-times\n"
    "      2024-03-05T09:30:00.000, booleans true or false; the field's own\n"
    "      text forms are taken too (12,5, 05.03.2024, 9:30:00, True).  --ci\n"
    "      compares texts without regard to letter case; --partial lets a\n"
    "      text value match any text that begins with it.\n"
    "\n"
    "  tdb check FILE [PASSWORD]\n"
    "      Verifies the structure of every table: positions inside the file,\n"
    "      record and index tables, every live record once in every index\n"
    "      chain and in key order, clean string slots, sound blob areas.\n"
    "      Exit code 0 when sound, 1 with one line per problem.\n"
    "\n"
    "  tdb repair FILE [PASSWORD]\n"
    "      Brings back to a sound state a file whose last change was cut short\n"
    "      (an append, rewrite or deletion interrupted by a crash): records\n"
    "      never written whole are marked deleted and every index chain is\n"
    "      rebuilt from the records, keeping every record that is whole.  The\n"
    "      original is first copied to FILE.bak (or FILE.bak.N).  A sound file\n"
    "      is left as it is.  The file must not be open elsewhere; an encrypted\n"
    "      file needs its password.\n"
    "  Passwords: PASSWORD is --password P or --password-file F, whose first\n"
    "  line is the password (which then shows in no process list); without\n"
    "  either the password of an encrypted file is asked on the terminal, and\n"
    "  with no terminal the command fails.  A wrong password gives \"Access\n"
    "  denied\".\n"
    "\n"
    "  tdb help\n"
    "      Prints this text.\n"
    "\n"
    "  tdb --version\n"
    "      Prints the version, the same as the program's about box.\n"
    "\n"
    "Exit codes: 0 success, 1 failure (message on stderr), 2 usage error.\n";

// The usage line of each command, shown with a usage error.
struct TSynopsis {
  const char* command;
  const char* line;
};
const TSynopsis kSynopses[] = {
    {"create",
     "tdb create FILE --schema SCHEMA.json [--compress] [--verify-writes] "
     "[--encrypt CIPHER [--password P | --password-file F] [--mode N]]"},
    {"create-receipts", "tdb create-receipts DIR [--if-missing] [--with-codes]"},
    {"info", "tdb info FILE"},
    {"dump", "tdb dump FILE TABLE [--index NAME] [--filter EXPR [--filter-options ci,nopartial]] [PASSWORD]"},
    {"insert", "tdb insert FILE TABLE [PASSWORD]"},
    {"delete", "tdb delete FILE TABLE --recno N [PASSWORD]"},
    {"locate", "tdb locate FILE TABLE FIELDS VALUES [--ci] [--partial] [--index NAME] [PASSWORD]"},
    {"check", "tdb check FILE [PASSWORD]"},
    {"repair", "tdb repair FILE [PASSWORD]"},
};

// A usage error: what is wrong, the command's usage line (or the list of
// commands), and where the whole help is.
int Usage(const std::string& command, const std::string& problem) {
  std::cerr << "tdb: " << problem << "\n";
  const TSynopsis* known = nullptr;
  for (const TSynopsis& s : kSynopses)
    if (command == s.command) known = &s;
  if (known) {
    std::cerr << "usage: " << known->line << "\n";
    if (std::string(known->line).find("PASSWORD") != std::string::npos)
      std::cerr << "       PASSWORD: --password P or --password-file F\n";
  } else {
    std::cerr << "usage: tdb COMMAND [ARGS], COMMAND one of:";
    for (const TSynopsis& s : kSynopses) std::cerr << " " << s.command;
    std::cerr << " help\n";
  }
  std::cerr << "\"tdb help\" describes every command.\n";
  return 2;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) tdb::DatabaseError(tdb::Format("Cannot open file %s", {path}));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) tdb::DatabaseError(tdb::Format("Cannot read file %s", {path}));
  return text.str();
}

int Create(const std::vector<std::string>& args) {
  std::string file, schema_path;
  receipts::StorageOptions storage;
  std::optional<std::string> password;  // UTF-8
  bool mode_given = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool has_value = i + 1 < args.size();
    const bool takes_value =
        a == "--schema" || a == "--encrypt" || a == "--password" || a == "--password-file" || a == "--mode";
    if (takes_value && !has_value) throw TUsageError{a + " needs a value"};
    if ((a == "--password" || a == "--password-file") && password) throw TUsageError{"--password given twice"};
    if (a == "--schema") schema_path = args[++i];
    else if (a == "--compress") storage.compress = true;
    else if (a == "--verify-writes") storage.verify_writes = true;
    else if (a == "--encrypt") storage.cipher = args[++i];
    else if (a == "--password") password = args[++i];
    else if (a == "--password-file") password = ReadPasswordFile(args[++i]);
    else if (a == "--mode") {
      const std::string& m = args[++i];
      if (m.size() != 1 || m[0] < '0' || m[0] > '9') throw TUsageError{"--mode needs a digit"};
      storage.mode = m[0] - '0';
      mode_given = true;
    } else if (a.starts_with("--")) throw TUsageError{"unknown option " + a};
    else if (file.empty()) file = a;
    else throw TUsageError{"unexpected argument '" + a + "'"};
  }
  if (file.empty()) throw TUsageError{"FILE is missing"};
  if (schema_path.empty()) throw TUsageError{"--schema is missing"};
  if (storage.cipher.empty() && (password || mode_given)) throw TUsageError{"--password and --mode need --encrypt"};
  receipts::DatabaseSchema schema = SchemaFromJson(ReadWholeFile(schema_path));
  if (!storage.cipher.empty()) {
    if (password) {
      storage.password = tdb::Utf8ToCp1251(*password);
      tdb::SecureWipe(*password);
    } else if (!TerminalNewPassword(file, storage.password)) {
      tdb::DatabaseError("--encrypt needs a password: --password, --password-file or a terminal to type it on");
    }
  }
  schema.storage = storage;
  receipts::CreateDatabaseFile(file, schema);
  tdb::SecureWipe(schema.storage.password);
  tdb::SecureWipe(storage.password);
  return 0;
}

int CreateReceipts(const std::vector<std::string>& args) {
  bool if_missing = false, with_codes = false;
  std::string dir;
  for (const std::string& a : args) {
    if (a == "--if-missing") if_missing = true;
    else if (a == "--with-codes") with_codes = true;
    else if (a.starts_with("--")) throw TUsageError{"unknown option " + a};
    else if (dir.empty()) dir = a;
    else throw TUsageError{"unexpected argument '" + a + "'"};
  }
  if (dir.empty()) throw TUsageError{"DIR is missing"};
  auto path_of = [&](const receipts::ReceiptFile& f) { return dir + "/" + f.file_name; };
  if (!if_missing)
    for (const auto& f : receipts::ReceiptFiles())
      if (Exists(path_of(f))) tdb::DatabaseError(tdb::Format("File %s already exists", {path_of(f)}));
  // Read before anything is written, so that a bad list writes nothing.
  std::vector<receipts::CodeEntry> codes;
  if (with_codes) codes = receipts::ParseCodeList(receipts::DefaultCodeListText());
  for (const auto& f : receipts::ReceiptFiles()) {
    if (if_missing && Exists(path_of(f))) continue;
    if (with_codes && f.file_name == receipts::code_table::kFile)
      receipts::CreateDatabaseFile(path_of(f), f.schema,
                                   [&](const std::string& temp) { receipts::FillCodeDirectory(temp, codes); });
    else
      receipts::CreateDatabaseFile(path_of(f), f.schema);
  }
  return 0;
}

int Info(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].starts_with("--")) throw TUsageError{"info takes one FILE"};
  std::cout << DatabaseInfoJson(args[0]);
  return 0;
}

}  // namespace

int RunCommand(int argc, char** argv) {
  if (argc < 2) return Usage("", "no command given");
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "help" || command == "--help" || command == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "--version") {
    std::cout << "tdb (formix) " FORMIX_VERSION "\n";
    return 0;
  }
  try {
    if (command == "create") return Create(args);
    if (command == "create-receipts") return CreateReceipts(args);
    if (command == "info") return Info(args);
    if (command == "dump") return DumpCommand(args, std::cout);
    if (command == "insert") return InsertCommand(args, std::cin, std::cerr);
    if (command == "delete") return DeleteCommand(args);
    if (command == "locate") return LocateCommand(args, std::cout);
    if (command == "check") return CheckCommand(args, std::cout);
    if (command == "repair") return RepairCommand(args, std::cout);
  } catch (const TUsageError& e) {
    return Usage(command, e.problem);
  } catch (const tdb::EDatabaseError& e) {
    std::cerr << "tdb: " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "tdb: " << e.what() << "\n";
    return 1;
  }
  return Usage("", "unknown command '" + command + "'");
}

}  // namespace tdbtool
