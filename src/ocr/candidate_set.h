// The n best (distance, index) pairs seen so far, in ascending order. Equal distances are kept
// apart by their index, so ties never drop a candidate; a later entry never displaces an earlier
// one of the same distance.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace orvane::ocr {

struct Candidate {
  double distance;
  int index;
  friend bool operator<(const Candidate& a, const Candidate& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.index < b.index);
  }
};

class CandidateSet {
 public:
  explicit CandidateSet(std::size_t capacity) : capacity_(capacity) { entries_.reserve(capacity + 1); }

  // Keeps `candidate` when there is room or when it ranks before the worst entry, which it then
  // replaces.
  void Offer(Candidate candidate) {
    if (capacity_ == 0) return;
    if (entries_.size() == capacity_) {
      if (!(candidate < entries_.back())) return;
      entries_.pop_back();
    }
    entries_.insert(std::upper_bound(entries_.begin(), entries_.end(), candidate), candidate);
  }

  const std::vector<Candidate>& Entries() const { return entries_; }
  std::size_t Size() const { return entries_.size(); }

 private:
  std::size_t capacity_;
  std::vector<Candidate> entries_;
};

}  // namespace orvane::ocr
