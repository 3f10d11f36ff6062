// The four tables on a server: their SQL definitions, and the conversion of
// field values between the engine's in-memory encoding and the server's text.
//
// Each table gets the fields of the data folder's table (names in lower case,
// one column each, never null) and two columns of its own: `rec_id`, the
// record's number for its whole life (the bookmark), and `row_version`, which
// every change moves on.  Each index becomes an index on its fields followed
// by rec_id (on the terms of OrderTerms), so that the view can be read in
// blocks by key.  The table
// `formix_numbers` holds the last number given per table; the trigger
// `formix_notify` announces every change on the channel kChangeChannel.
//
// Texts: the server stores UTF-8; a string column holds at most the field's
// size in characters and orders by the ICU root collation.  Stateless.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/database_creator.h"
#include "server/server_connection.h"

namespace server {

// The table of that name (any letter case) among the program's four; null
// when there is none.
const receipts::TableSchema* FindTableSchema(const std::string& name);
// The program's four tables.
std::vector<const receipts::TableSchema*> AllTableSchemas();

// The table's or column's name on the server: lower case, quoted.
std::string SqlName(const std::string& name);

// The statements that create the four tables, their indexes, the numbers and
// the change trigger.
std::string SchemaScript();
// Runs SchemaScript in one transaction.  Raises "Table '%s' already exists on
// the server" when one of the tables is there.
void CreateSchema(ServerConnection& connection);
// Whether the four tables are there.
bool SchemaExists(ServerConnection& connection);
// Gives the role the rights a clerk needs: read and change the rows of the
// four tables and take numbers; nothing on the schema itself.
void GrantClerk(ServerConnection& connection, const std::string& role);

// ---- values ----

// The terms a value of the field orders by, for `expr` (a column or a
// parameter).  A text orders as the engine's collation does: by the ICU root
// collation with the hyphen and the apostrophe passed over, then fewer of
// them first, then the text itself.  Other types: the value.
std::vector<std::string> OrderTerms(const receipts::FieldSchema& field, const std::string& expr);

// The select-list expression of a column (a date is read as its day number).
std::string SelectExpression(const receipts::FieldSchema& field);
// The expression that turns parameter $n into the column's type.
std::string ParamExpression(const receipts::FieldSchema& field, int n);
// The SQL column type.
std::string ColumnType(const receipts::FieldSchema& field);

// A value in the field's in-memory encoding as the parameter text.
std::string ParamText(const receipts::FieldSchema& field, const uint8_t* value);
// The server's text of a value into the field's in-memory encoding at `dst`
// (FieldSlotSize bytes).  Raises "Field '%s' cannot hold the value '%s'" for a
// text too long or with characters outside Windows-1251, a number out of the
// field's range.
void StoreText(const receipts::FieldSchema& field, const char* text, int length, uint8_t* dst);

// Size of the field's slot in a record buffer.
int32_t SlotSize(const receipts::FieldSchema& field);

}  // namespace server
