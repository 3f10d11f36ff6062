// Copying the register between the data folder's files and a server.
#include "server/server_transfer.h"

#include <filesystem>
#include <functional>
#include <memory>

#include "data/database_creator.h"
#include "data/receipt_tables.h"
#include "engine/base/codepage.h"
#include "engine/base/database_error.h"
#include "engine/database/database.h"
#include "engine/dataset/dada_table.h"
#include "engine/dataset/field.h"
#include "engine/format/field_types.h"
#include "server/server_schema.h"

namespace server {
namespace {

constexpr int kBatch = 500;  // rows per INSERT and per read

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// One of the folder's files, open as a table in record order.
class FileTable {
 public:
  FileTable(const std::string& path, const std::string& table, const std::string& password) {
    if (!std::filesystem::exists(path)) tdb::DatabaseError(tdb::Format("Cannot open file %s", {path}));
    database_.SetDatabaseName(path);
    if (!password.empty()) database_.SetPassword(password);
    database_.Open();
    table_.SetDatabaseName(path);
    table_.SetTableName(table);
    table_.Open();
  }
  ~FileTable() {
    try {
      table_.Close();
      database_.Close();
    } catch (...) {
      // Closing a file only read from.
    }
  }
  tdb::TDadaTable& Table() { return table_; }
  tdb::TDadaDatabase& Database() { return database_; }

 private:
  tdb::TDadaDatabase database_;
  tdb::TDadaTable table_;
};

// The current record's value of each schema field as the server's text.
std::vector<std::string> RecordTexts(tdb::TDataSet& t, const receipts::TableSchema& schema) {
  std::vector<std::string> out;
  std::vector<uint8_t> bytes;
  for (const receipts::FieldSchema& f : schema.fields) {
    tdb::TField& field = t.FieldByName(f.name);
    bytes.assign(static_cast<size_t>(field.DataSize()) + 1, 0);
    field.GetData(bytes.data());
    out.push_back(ParamText(f, bytes.data()));
  }
  return out;
}

std::string SelectList(const receipts::TableSchema& schema) {
  std::string out;
  for (const receipts::FieldSchema& f : schema.fields) out += SelectExpression(f) + ", ";
  return out + "rec_id";
}

// Reads the server's table in rec_id order, a block at a time.
void ForEachServerRow(ServerConnection& c, const receipts::TableSchema& schema,
                      const std::function<void(const ServerResult&, int row)>& each) {
  long long after = -1;
  for (;;) {
    ServerResult r = c.Exec("SELECT " + SelectList(schema) + " FROM " + SqlName(schema.name) +
                                " WHERE rec_id > $1::bigint ORDER BY rec_id LIMIT " + std::to_string(kBatch),
                            {std::to_string(after)});
    for (int i = 0; i < r.Rows(); ++i) each(r, i);
    if (r.Rows() < kBatch) return;
    after = r.Integer(r.Rows() - 1, r.Columns() - 1);
  }
}

std::string PathOf(const std::string& dir, const std::string& file) {
  return (std::filesystem::path(dir) / file).string();
}

}  // namespace

std::vector<TableCount> CopyFolderToServer(const std::string& dir, ServerConnection& c,
                                           const std::string& file_password) {
  std::vector<TableCount> counts;
  c.InTransaction([&] {
    // The copy is on disk when it is reported done, whatever the server's
    // setting; and only then can the vacuum below mark its pages.
    c.Exec("SET LOCAL synchronous_commit = on");
    for (const receipts::ReceiptFile& file : receipts::ReceiptFiles()) {
      const receipts::TableSchema& schema = file.schema.tables.at(0);
      const std::string table = SqlName(schema.name);
      if (c.Exec("SELECT count(*) FROM " + table).Integer(0, 0) != 0)
        tdb::DatabaseError(tdb::Format("Table '%s' on the server is not empty", {schema.name}));
      FileTable source(PathOf(dir, file.file_name), schema.name,
                       file.file_name == "formix.tdb" ? file_password : std::string());
      std::string cols;
      for (const receipts::FieldSchema& f : schema.fields) cols += (cols.empty() ? "" : ", ") + SqlName(f.name);
      std::vector<ServerParam> params;
      std::string values;
      int rows = 0, record = 0;
      auto flush = [&] {
        if (rows == 0) return;
        c.Exec("INSERT INTO " + table + " (" + cols + ") VALUES " + values, params);
        params.clear();
        values.clear();
        rows = 0;
      };
      tdb::TDadaTable& t = source.Table();
      for (t.First(); !t.Eof(); t.Next()) {
        ++record;
        std::vector<std::string> texts = RecordTexts(t, schema);
        values += rows ? ", (" : "(";
        for (size_t i = 0; i < texts.size(); ++i) {
          params.emplace_back(std::move(texts[i]));
          values += (i ? ", " : "") + ParamExpression(schema.fields[i], static_cast<int>(params.size()));
        }
        values += ")";
        if (++rows == kBatch) flush();
      }
      flush();
      c.Exec("UPDATE formix_numbers SET last_number = (SELECT coalesce(max(nomer), 0) FROM " + table +
                 ") WHERE table_name = $1",
             {Lower(schema.name)});
      counts.push_back({schema.name, record});
    }
  });
  // Vacuumed at once, so that the copy's pages count as seen by every
  // session: counts and positions in a view are then read from the indexes
  // alone, not row by row from the table.  Inside a caller's transaction
  // (where no VACUUM runs) the server's own vacuuming does it later.
  if (!c.InTransactionBlock()) {
    std::string tables;
    for (const receipts::TableSchema* t : AllTableSchemas()) tables += (tables.empty() ? "" : ", ") + SqlName(t->name);
    c.Exec("VACUUM (ANALYZE) " + tables);
  }
  return counts;
}

std::vector<TableCount> CopyServerToFolder(ServerConnection& c, const std::string& dir) {
  for (const receipts::ReceiptFile& file : receipts::ReceiptFiles())
    if (std::filesystem::exists(PathOf(dir, file.file_name)))
      tdb::DatabaseError(tdb::Format("File %s already exists", {PathOf(dir, file.file_name)}));
  std::vector<TableCount> counts;
  std::vector<std::string> written;
  try {
    c.InTransaction([&] {
      // One snapshot of the four tables.
      c.Exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
      for (const receipts::ReceiptFile& file : receipts::ReceiptFiles()) {
        const receipts::TableSchema& schema = file.schema.tables.at(0);
        const std::string path = PathOf(dir, file.file_name);
        int record = 0;
        receipts::CreateDatabaseFile(path, file.schema, [&](const std::string& temp) {
          tdb::TDadaDatabase database;
          database.SetDatabaseName(temp);
          database.Open();
          {
            tdb::TDadaTable t;
            t.SetDatabaseName(temp);
            t.SetTableName(schema.name);
            t.Open();
            std::vector<uint8_t> bytes;
            ForEachServerRow(c, schema, [&](const ServerResult& r, int row) {
              ++record;
              t.Append();
              try {
                for (size_t i = 0; i < schema.fields.size(); ++i) {
                  const receipts::FieldSchema& f = schema.fields[i];
                  bytes.assign(static_cast<size_t>(SlotSize(f)) + 1, 0);
                  const int col = static_cast<int>(i);
                  StoreText(f, r.Raw(row, col), r.Length(row, col), bytes.data());
                  t.FieldByName(f.name).SetData(bytes.data());
                }
                t.Post();
              } catch (const tdb::EDatabaseError& e) {
                t.Cancel();
                tdb::TErrorParams params = e.Params();
                params.Table = schema.name;
                params.Record = record;
                tdb::DatabaseError(e.Kind(), schema.name + ", record " + std::to_string(record) + ": " + e.what(),
                                   params);
              }
            });
            database.Flush();
            t.Close();
          }
          database.Close();
        });
        written.push_back(path);
        counts.push_back({schema.name, record});
      }
    });
  } catch (...) {
    for (const std::string& path : written) std::filesystem::remove(path);
    throw;
  }
  return counts;
}

std::vector<std::string> CompareFolderWithServer(const std::string& dir, ServerConnection& c,
                                                 const std::string& file_password, size_t limit) {
  std::vector<std::string> out;
  auto say = [&](const std::string& line) {
    if (out.size() < limit) out.push_back(line);
  };
  c.InTransaction([&] {
    c.Exec("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ READ ONLY");
    for (const receipts::ReceiptFile& file : receipts::ReceiptFiles()) {
      const receipts::TableSchema& schema = file.schema.tables.at(0);
      FileTable source(PathOf(dir, file.file_name), schema.name,
                       file.file_name == "formix.tdb" ? file_password : std::string());
      tdb::TDadaTable& t = source.Table();
      const long long server_count = c.Exec("SELECT count(*) FROM " + SqlName(schema.name)).Integer(0, 0);
      if (server_count != t.RecordCount())
        say(schema.name + ": " + std::to_string(t.RecordCount()) + " records in the folder, " +
            std::to_string(server_count) + " on the server");
      t.First();
      int record = 0;
      ForEachServerRow(c, schema, [&](const ServerResult& r, int row) {
        ++record;
        if (t.Eof()) return;
        std::vector<std::string> texts = RecordTexts(t, schema);
        for (size_t i = 0; i < schema.fields.size(); ++i) {
          const int col = static_cast<int>(i);
          // Dates come as day numbers from the server, as the encoding holds them.
          const std::string theirs = r.Text(row, col);
          std::string server_text = theirs;
          if (schema.fields[i].type == tdb::ftBoolean) server_text = theirs == "t" ? "true" : "false";
          if (server_text != texts[i] &&
              !(schema.fields[i].type == tdb::ftFloat || schema.fields[i].type == tdb::ftCurrency
                    ? std::stod(server_text) == std::stod(texts[i])
                    : false))
            say(schema.name + ", record " + std::to_string(record) + ", field " + tdb::Cp1251ToUtf8(schema.fields[i].name) +
                ": '" + texts[i] + "' in the folder, '" + server_text + "' on the server");
        }
        t.Next();
      });
    }
  });
  return out;
}

}  // namespace server
