// The chunked list against a plain vector under random edits.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/storage/record_list.h"

namespace tdb {
namespace {

void ExpectSame(const TRecordList& list, const std::vector<TListItem>& model) {
  ASSERT_EQ(list.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(list[i], model[i]) << "at " << i;
  std::vector<TListItem> walked;
  list.ForEach([&](const TListItem& item) { walked.push_back(item); });
  ASSERT_EQ(walked, model);
}

TEST(RecordListTest, RandomEditsMatchAVector) {
  std::mt19937 rng(7);
  TRecordList list;
  std::vector<TListItem> model;
  int32_t next = 0;
  for (int step = 0; step < 20000; ++step) {
    int op = static_cast<int>(rng() % 10);
    if (model.empty() || op < 5) {
      size_t pos = rng() % (model.size() + 1);
      TListItem item{next * 10, next};
      ++next;
      list.insert(pos, item);
      model.insert(model.begin() + static_cast<long>(pos), item);
    } else if (op < 7) {
      size_t pos = rng() % model.size();
      list.erase(pos);
      model.erase(model.begin() + static_cast<long>(pos));
    } else if (op < 9) {
      size_t from = rng() % model.size(), to = rng() % model.size();
      list.move(from, to);
      TListItem item = model[from];
      model.erase(model.begin() + static_cast<long>(from));
      model.insert(model.begin() + static_cast<long>(to), item);
    } else {
      size_t pos = rng() % model.size();
      TListItem item{-1, next++};
      list.set(pos, item);
      model[pos] = item;
    }
    if (step % 997 == 0) ExpectSame(list, model);
  }
  ExpectSame(list, model);
  while (!model.empty()) {  // shrinking merges chunks but keeps the order
    size_t pos = rng() % model.size();
    list.erase(pos);
    model.erase(model.begin() + static_cast<long>(pos));
  }
  ExpectSame(list, model);
}

TEST(RecordListTest, AppendedListCarriesNoSlack) {
  TRecordList list;
  const size_t n = 10 * TRecordList::kChunkCapacity;
  for (size_t i = 0; i < n; ++i) list.push_back({static_cast<int32_t>(i), static_cast<int32_t>(i)});
  EXPECT_LE(list.MemoryBytes(), n * sizeof(TListItem) * 105 / 100);
  EXPECT_EQ(list[n - 1].RecIndex, static_cast<int32_t>(n - 1));
}

}  // namespace
}  // namespace tdb
