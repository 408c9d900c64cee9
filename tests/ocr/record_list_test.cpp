#include "ocr/record_list.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvane::ocr {
namespace {

template <class T>
std::vector<T> Items(const RecordList<T>& list) {
  return {list.begin(), list.end()};
}

TEST(RecordList, InsertsAtEveryPositionAndRefusesOutsideTheList) {
  RecordList<std::string> list;
  EXPECT_EQ(list.InsertAt(0, "b"), InsertResult::kDone);
  EXPECT_EQ(list.InsertAt(0, "a"), InsertResult::kDone);
  EXPECT_EQ(list.InsertAt(2, "d"), InsertResult::kDone);
  EXPECT_EQ(list.InsertAt(2, "c"), InsertResult::kDone);
  EXPECT_EQ(list.InsertAt(5, "x"), InsertResult::kOutOfRange);
  EXPECT_EQ(list.InsertAt(-1, "x"), InsertResult::kOutOfRange);
  EXPECT_EQ(Items(list), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(list.Count(), 4);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(Items(list).empty());
}

TEST(RecordList, SortWithAComparatorTrueForEqualKeysKeepsTheirOrder) {
  struct Keyed {
    int key;
    char name;
  };
  RecordList<Keyed> list;
  for (Keyed k : {Keyed{2, 'a'}, {1, 'b'}, {2, 'c'}, {1, 'd'}, {0, 'e'}, {2, 'f'}, {1, 'g'}}) list.Append(k);
  list.MergeSort([](const Keyed& a, const Keyed& b) { return a.key <= b.key; });
  std::string names;
  for (const Keyed& k : list) names += k.name;
  EXPECT_EQ(names, "ebdgacf");
}

// With a cyclic comparator the order is fixed only by the sort's own steps: the first half of
// 0 1 2 is 0 1 (it takes the extra node), which gives 2 0 1; a split into 0 and 1 2 would give
// 0 1 2.
TEST(RecordList, SortOfACyclicComparatorFollowsTheFirstHalfTakingTheExtraNode) {
  RecordList<int> list;
  for (int i : {0, 1, 2}) list.Append(i);
  list.MergeSort([](int a, int b) { return a == b || b == (a + 1) % 3; });
  EXPECT_EQ(Items(list), (std::vector<int>{2, 0, 1}));
}

TEST(RecordList, ALongListIsSortedAndFreedWithoutDeepRecursion) {
  RecordList<int> list;
  constexpr int kCount = 200000;
  for (int i = 0; i < kCount; ++i) list.InsertAt(0, i);
  list.MergeSort([](int a, int b) { return a <= b; });
  int expected = 0;
  for (int value : list) ASSERT_EQ(value, expected++);
  EXPECT_EQ(expected, kCount);
}

}  // namespace
}  // namespace orvane::ocr
