// The chunked list against a plain vector under random edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "engine/storage/record_list.h"

namespace tdb {
namespace {

// A tracking list also answers where each record stands (the record
// numbers of these lists are distinct; a negative one is not a record's).
void ExpectSame(const TRecordList& list, const std::vector<TListItem>& model) {
  ASSERT_EQ(list.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) ASSERT_EQ(list[i], model[i]) << "at " << i;
  if (list.Tracking())
    for (size_t i = 0; i < model.size(); ++i) {
      if (model[i].RecIndex < 0) continue;
      ASSERT_EQ(list.PositionOf(model[i].RecIndex), static_cast<int64_t>(i)) << "record " << model[i].RecIndex;
    }
  std::vector<TListItem> walked;
  list.ForEach([&](const TListItem& item) { walked.push_back(item); });
  ASSERT_EQ(walked, model);
}

// Halfway the list starts tracking its records: from there on every edit
// (chunks split, merged, emptied) keeps each record's position.
TEST(RecordListTest, RandomEditsMatchAVector) {
  std::mt19937 rng(7);
  TRecordList list;
  std::vector<TListItem> model;
  int32_t next = 0;
  for (int step = 0; step < 20000; ++step) {
    if (step == 10000) {
      list.TrackRecords(1);  // record numbers beyond grow the look-up
      ExpectSame(list, model);
    }
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
      if (list.Tracking()) {
        ASSERT_EQ(list.PositionOf(model[pos].RecIndex), -1);
      }
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
    if (model.size() % 1000 == 0) ExpectSame(list, model);
  }
  ExpectSame(list, model);
  // Emptied and refilled, a list no longer tracks (a table's load refills it).
  list.push_back({1, 1});
  list.clear();
  list.push_back({2, 2});
  EXPECT_FALSE(list.Tracking());
  EXPECT_EQ(list.PositionOf(2), -1);
}

// A list built by appends finds positions without its tree until an edit
// lands before its last chunk; edits near the end (within and before the last
// chunk), now and then anywhere, and copies of the list in every state.
TEST(RecordListTest, EditsNearTheEndAndCopiesMatchAVector) {
  std::mt19937 rng(3);
  TRecordList list;
  std::vector<TListItem> model;
  int32_t next = 0;
  auto add = [&](size_t pos) {
    TListItem item{next, next};
    ++next;
    list.insert(pos, item);
    model.insert(model.begin() + static_cast<long>(pos), item);
  };
  for (int i = 0; i < 5000; ++i) add(model.size());
  ExpectSame(list, model);
  for (int step = 0; step < 6000; ++step) {
    const size_t tail = std::min<size_t>(model.size(), 1500);
    const bool anywhere = step % 500 == 499;
    const int op = static_cast<int>(rng() % 4);
    if (op < 2 || model.empty()) {
      add(anywhere ? rng() % (model.size() + 1) : model.size() - rng() % (tail + 1));
    } else if (op == 2) {
      size_t pos = anywhere ? rng() % model.size() : model.size() - 1 - rng() % tail;
      list.erase(pos);
      model.erase(model.begin() + static_cast<long>(pos));
    } else if (step % 50 == 0) {
      TRecordList copy;
      copy.push_back({-5, -5});  // what the copy held before goes
      copy.AssignFrom(list);
      ExpectSame(copy, model);
      // A copy is a list like any other.
      std::vector<TListItem> copied = model;
      copy.insert(copied.size() / 2, {-1, -1});
      copied.insert(copied.begin() + static_cast<long>(copied.size() / 2), {-1, -1});
      copy.erase(0);
      copied.erase(copied.begin());
      ExpectSame(copy, copied);
      ExpectSame(list, model);  // the copy's edits stay in the copy
    }
    if (step % 250 == 0) ExpectSame(list, model);
  }
  ExpectSame(list, model);
}

// A copy shares its source's chunks until one of the two changes: every kind
// of edit, on either side, leaves the other as it was.
TEST(RecordListTest, ACopyAndItsSourceChangeApart) {
  std::mt19937 rng(11);
  TRecordList source;
  std::vector<TListItem> source_model;
  for (int32_t i = 0; i < 5000; ++i) {
    source.push_back({i, i});
    source_model.push_back({i, i});
  }
  source.insert(17, {-7, -7});  // uneven chunks
  source_model.insert(source_model.begin() + 17, {-7, -7});
  // The source keeps where its records stand, also when it copies a chunk
  // it shares before changing it; the copies do not track.
  source.TrackRecords(source_model.size());
  for (int round = 0; round < 40; ++round) {
    TRecordList copy;
    copy.AssignFrom(source);
    ASSERT_FALSE(copy.Tracking());
    std::vector<TListItem> copy_model = source_model;
    // Edit one side or the other, each edit of each kind.
    const bool edit_copy = round % 2 == 0;
    TRecordList& list = edit_copy ? copy : source;
    std::vector<TListItem>& model = edit_copy ? copy_model : source_model;
    const int32_t mark = 100000 + round;
    const size_t pos = rng() % model.size();
    switch (round % 5) {
      case 0:
        list.set(pos, {mark, mark});
        model[pos] = {mark, mark};
        break;
      case 1:
        list.insert(pos, {mark, mark});
        model.insert(model.begin() + static_cast<long>(pos), {mark, mark});
        break;
      case 2:
        list.erase(pos);
        model.erase(model.begin() + static_cast<long>(pos));
        break;
      case 3:
        list.push_back({mark, mark});
        model.push_back({mark, mark});
        break;
      default: {
        const size_t to = rng() % model.size();
        list.move(pos, to);
        TListItem item = model[pos];
        model.erase(model.begin() + static_cast<long>(pos));
        model.insert(model.begin() + static_cast<long>(to), item);
      }
    }
    ExpectSame(copy, copy_model);
    ExpectSame(source, source_model);
  }
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
