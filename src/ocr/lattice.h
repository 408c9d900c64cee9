// Line decoding: the character candidates of one line (overlapping cuts, each with the engine's
// alternatives) become a lattice framed by "<s>" and "</s>"; nodes are scored by the best mean
// weight of a path from the start, and a five-path beam searching back from the end yields the
// readings, best first. No language data: the weights alone decide.
#pragma once

#include <string>
#include <vector>

#include "ocr/record_list.h"

namespace orvane::ocr {

struct CandidateAlternative {
  std::string text;  // UTF-8 of one character, or a single space for a blank
  double weight = 0;  // 1 - engine distance, clamped at 0
  int tag = -1;
};

struct SegmentCandidate {
  RecordList<CandidateAlternative> alternatives;  // in engine order
  double bestDistance = 0;
  int x = 0;  // first column in the line image
  int top = 0;
  int height = 0;
  int width = 0;
};

inline constexpr double kUnreachableScore = -8.988465674311579e307;  // half the most negative double
inline constexpr int kMaxArcsPerGroup = 10;
inline constexpr int kReadingsWanted = 5;

// One character of the best reading, with the columns of the cut it was read from.
struct DecodedCharacter {
  std::string text;
  int x = 0;
  int width = 0;
};

// Scales the alternatives' weights by 10 and sorts the candidates by their last column (both in
// place), then fills `readings` with the line's readings, best first, spaces removed. Empty when
// there are no candidates or no path reaches the start. `best`, when given, receives the
// characters of the first reading (blanks left out) in their order.
void DecodeLattice(RecordList<SegmentCandidate>& candidates, RecordList<std::string>* readings,
                   std::vector<DecodedCharacter>* best = nullptr);

}  // namespace orvane::ocr
