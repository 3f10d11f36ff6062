// A clerk's role: it works the register and cannot change the tables.
#include <gtest/gtest.h>

#include "receipt_rows.h"
#include "server/server_home.h"
#include "server/server_table.h"
#include "test_cluster.h"

namespace server {
namespace {

TEST(ServerRolesTest, AClerkWorksTheRegisterButCannotChangeTheSchema) {
  TestDatabase db;
  ASSERT_TRUE(db.Ready());
  const std::string clerk = db.Name() + "_clerk";
  {
    ServerConnection admin(db.ConnInfo());
    admin.Exec("DROP ROLE IF EXISTS " + clerk);
    admin.Exec("CREATE ROLE " + clerk + " LOGIN");
    GrantClerk(admin, clerk);
  }
  {
    auto c = std::make_shared<ServerConnection>(db.ConnInfo() + " user=" + clerk);
    TServerTable t(c);
    t.SetTableName("formix");
    server::UseReceiptNumbering(t);
    t.SetIndexName("iplatel");
    t.Open();
    AppendReceipts(t, 12);
    t.First();
    t.Edit();
    t.FieldByName("slugebnoe").SetAsBoolean(true);
    t.Post();
    EXPECT_EQ(t.PurgeMarked(), 3);
    EXPECT_EQ(t.RecordCount(), 9);
    for (const char* statement : {"ALTER TABLE formix ADD COLUMN x integer", "DROP TABLE platel",
                                  "CREATE TABLE mine (x integer)", "TRUNCATE sprkodbk",
                                  "DROP TRIGGER formix_changed ON formix", "UPDATE formix_numbers SET table_name = 'x'",
                                  "DELETE FROM formix_numbers"}) {
      SCOPED_TRACE(statement);
      EXPECT_THROW(c->Exec(statement), tdb::EDatabaseError);
    }
  }
  ServerConnection admin(db.ConnInfo());
  admin.Exec("DROP OWNED BY " + clerk);
  admin.Exec("DROP ROLE " + clerk);
}

}  // namespace
}  // namespace server
