#include "ocr/lattice.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace orvane::ocr {
namespace {

struct Alt {
  std::string text;
  double weight;
};

SegmentCandidate Candidate(int firstColumn, int lastColumn, std::vector<Alt> alternatives) {
  SegmentCandidate c;
  c.x = firstColumn;
  c.width = lastColumn - firstColumn + 1;
  c.height = 10;
  for (Alt& a : alternatives) c.alternatives.Append({std::move(a.text), a.weight, -1});
  return c;
}

std::vector<std::string> Decode(std::vector<SegmentCandidate> candidates) {
  RecordList<SegmentCandidate> list;
  for (SegmentCandidate& c : candidates) list.Append(std::move(c));
  RecordList<std::string> readings;
  DecodeLattice(list, &readings);
  return {readings.begin(), readings.end()};
}

std::string FirstReading(std::vector<SegmentCandidate> candidates) {
  const std::vector<std::string> readings = Decode(std::move(candidates));
  return readings.empty() ? "<none>" : readings.front();
}

TEST(DecodeLattice, NoCandidatesGiveNoReading) { EXPECT_TRUE(Decode({}).empty()); }

TEST(DecodeLattice, BlanksLeaveNoTrace) {
  std::vector<SegmentCandidate> lone;
  lone.push_back(Candidate(0, 9, {{" ", 0.68}}));
  EXPECT_EQ(FirstReading(std::move(lone)), "");

  std::vector<SegmentCandidate> between;
  between.push_back(Candidate(20, 29, {{"b", 0.9}}));
  between.push_back(Candidate(10, 19, {{" ", 0.68}}));
  between.push_back(Candidate(0, 9, {{"a", 0.9}}));
  EXPECT_EQ(FirstReading(std::move(between)), "ab");
}

// A merged cut and the two single runs it covers end on the same column, so both feed the end:
// the reading with the higher mean weight wins.
TEST(DecodeLattice, CandidatesSharingTheLastColumnCompeteByMeanWeight) {
  struct Case {
    double merged, left, right;
    std::string reading;
  } cases[] = {{0.9, 0.5, 0.6, "M"}, {0.5, 0.9, 0.8, "LR"}, {0.7, 0.9, 0.6, "LR"}, {0.76, 0.9, 0.6, "M"}};
  for (const Case& c : cases) {
    std::vector<SegmentCandidate> candidates;
    candidates.push_back(Candidate(0, 9, {{"L", c.left}}));
    candidates.push_back(Candidate(0, 19, {{"M", c.merged}}));
    candidates.push_back(Candidate(11, 19, {{"R", c.right}}));
    EXPECT_EQ(FirstReading(std::move(candidates)), c.reading) << c.merged << " " << c.left << " " << c.right;
  }
}

// The long cut starts at the line's first column: it hangs on the start, not on the short cut
// before its end.
TEST(DecodeLattice, ACutFromTheFirstColumnLinksToTheStart) {
  std::vector<SegmentCandidate> candidates;
  candidates.push_back(Candidate(0, 9, {{"a", 0.5}}));
  candidates.push_back(Candidate(10, 19, {{"c", 0.5}}));
  candidates.push_back(Candidate(0, 30, {{"B", 0.9}}));
  candidates.push_back(Candidate(20, 30, {{"d", 0.5}}));
  const std::vector<std::string> readings = Decode(std::move(candidates));
  ASSERT_FALSE(readings.empty());
  EXPECT_EQ(readings.front(), "B");
  EXPECT_EQ(readings[1], "acd");
}

// Group 1 holds Q (from the start, mean 5 after scaling) and R (fed by every alternative of group
// 0, mean 6). With ten alternatives there are eleven arcs into group 1: Q's, the lowest, is cut,
// so Q cannot be reached and the better reading QZ is lost to the lattice.
TEST(DecodeLattice, AGroupKeepsItsTenBestArcs) {
  for (int alternatives : {9, 10}) {
    std::vector<Alt> left;
    for (int k = 0; k < alternatives; ++k) left.push_back({std::string(1, static_cast<char>('a' + k)), 0.6});
    std::vector<SegmentCandidate> candidates;
    candidates.push_back(Candidate(0, 9, left));
    candidates.push_back(Candidate(0, 19, {{"Q", 0.5}}));
    candidates.push_back(Candidate(10, 19, {{"R", 0.6}}));
    candidates.push_back(Candidate(20, 29, {{"Z", 1.0}}));
    const std::vector<std::string> readings = Decode(std::move(candidates));
    ASSERT_FALSE(readings.empty());
    if (alternatives == 9) {
      EXPECT_EQ(readings.front(), "QZ");
    } else {
      for (const std::string& r : readings) EXPECT_NE(r, "QZ");
      EXPECT_EQ(readings.front().substr(1), "RZ");
    }
  }
}

// A cut whose predecessor group has no alternative (the engine failed on it) is unreachable.
TEST(DecodeLattice, ACutAfterAnEmptyGroupIsUnreachable) {
  std::vector<SegmentCandidate> withDetour;
  withDetour.push_back(Candidate(0, 9, {}));
  withDetour.push_back(Candidate(10, 19, {{"B", 0.9}}));
  withDetour.push_back(Candidate(0, 19, {{"C", 0.3}}));
  EXPECT_EQ(FirstReading(std::move(withDetour)), "C");

  std::vector<SegmentCandidate> stranded;
  stranded.push_back(Candidate(0, 9, {}));
  stranded.push_back(Candidate(10, 19, {{"B", 0.9}}));
  EXPECT_TRUE(Decode(std::move(stranded)).empty());
}

TEST(DecodeLattice, ReadingsComeBestFirstAndAtLeastFiveWhenThereAreSo) {
  std::vector<SegmentCandidate> candidates;
  candidates.push_back(Candidate(0, 9, {{"a", 0.9}, {"b", 0.8}, {"c", 0.7}}));
  candidates.push_back(Candidate(10, 19, {{"x", 0.9}, {"y", 0.5}, {"z", 0.1}}));
  const std::vector<std::string> readings = Decode(std::move(candidates));
  ASSERT_GE(readings.size(), 5u);
  EXPECT_EQ(readings[0], "ax");
  EXPECT_EQ(readings[1], "bx");
  EXPECT_EQ(readings[2], "cx");
}

}  // namespace
}  // namespace orvane::ocr
