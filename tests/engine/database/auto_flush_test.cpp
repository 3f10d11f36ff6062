// Automatic flushing through the timer service the program plugs in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/database/database.h"
#include "engine/database/timer_service.h"
#include "engine/dataset/table_fixture.h"

namespace tdb {
namespace {

using ::testing::HasSubstr;

// Timers that fire only when the test says so.
class ManualTimers : public TTimerService {
 public:
  struct Timer : TPeriodicTimer {
    ManualTimers* owner;
    int interval;
    std::function<void()> tick;
    ~Timer() override { owner->timers.erase(std::remove(owner->timers.begin(), owner->timers.end(), this), owner->timers.end()); }
    void SetInterval(int ms) override { interval = ms; }
  };
  std::vector<Timer*> timers;

  std::unique_ptr<TPeriodicTimer> StartPeriodic(int ms, std::function<void()> tick) override {
    auto t = std::make_unique<Timer>();
    t->owner = this;
    t->interval = ms;
    t->tick = std::move(tick);
    timers.push_back(t.get());
    return t;
  }
  void FireAll() {
    for (Timer* t : std::vector<Timer*>(timers)) t->tick();
  }
};

class AutoFlushTest : public DadaTableTest {
 protected:
  void SetUp() override {
    DadaTableTest::SetUp();
    SetTimerService(&timers_);
  }
  void TearDown() override { SetTimerService(nullptr); }
  ManualTimers timers_;
};

TEST_F(AutoFlushTest, TheTimerFlushesAWrittenFileAndFollowsItsInterval) {
  TDadaDatabase db;
  db.SetDatabaseName(path_);
  EXPECT_THAT(ErrorOf([&] { db.Flush(); }), HasSubstr("Cannot perform this operation on a closed database"));
  db.SetAutoFlush(true);
  db.Open();
  ASSERT_EQ(timers_.timers.size(), 1u);
  EXPECT_EQ(timers_.timers[0]->interval, 60000);
  db.SetAutoFlushInterval(500);
  EXPECT_EQ(timers_.timers[0]->interval, 500);

  auto t = OpenTable();
  EXPECT_EQ(t->Database(), &db);
  Add(*t, 1, "x");
  EXPECT_FALSE(db.FileIO().Flushed());
  timers_.FireAll();
  EXPECT_TRUE(db.FileIO().Flushed());
  t.reset();
  db.Close();
  EXPECT_TRUE(timers_.timers.empty());  // the timer stops with the connection
}

}  // namespace
}  // namespace tdb
