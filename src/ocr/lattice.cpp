#include "ocr/lattice.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace orvane::ocr {
namespace {

constexpr int kStartGroup = -1;
constexpr int kEndGroup = -2;

struct LatticeArc {
  double score = 0;
  int source = 0;  // node index
  int target = 0;
};

struct LatticeNode {
  int group = 0;
  int index = 0;
  std::string label;
  double weight = 0;
  int tag = -1;
  std::vector<int> incoming;  // arc indexes, newest first
  int bestArc = -1;
  double bestScore = 0;
  int pathLength = 0;
  int predecessorGroup = kStartGroup;
  int x = 0;  // the columns of the node's candidate
  int width = 0;
};

struct LatticePath {
  std::vector<int> nodes;  // nodes[0] is the frontier, the last one the end sentinel
  double g = 0;
  double f = 0;
  int characters = 0;
};

// Mean weight per character, highest first. A path without characters (never made in practice)
// ranks last, so the order stays total and stable_sort keeps ties in their order.
bool RanksHigher(const LatticePath& a, const LatticePath& b) {
  if (a.characters == 0 || b.characters == 0) return a.characters != 0 && b.characters == 0;
  return a.f / a.characters > b.f / b.characters;
}

class CandidateLattice {
 public:
  explicit CandidateLattice(const RecordList<SegmentCandidate>& sorted) { Build(sorted); }

  void ScoreForward() {
    for (int group = 0; group < groupCount_; ++group) ScoreGroup(group);
    ScoreGroup(kEndGroup);
  }

  void SearchBackward(RecordList<std::string>* readings, std::vector<DecodedCharacter>* best) {
    std::vector<LatticePath> open;
    open.push_back({{endNode_}, 0, nodes_[endNode_].bestScore, 0});
    std::vector<LatticePath> completed;
    while (static_cast<int>(completed.size()) < kReadingsWanted && !open.empty()) {
      std::size_t picked = 0;
      for (std::size_t i = 1; i < open.size(); ++i)
        if (open[i].f > open[picked].f) picked = i;
      LatticePath path = std::move(open[picked]);
      open.erase(open.begin() + static_cast<std::ptrdiff_t>(picked));
      const LatticeNode& frontier = nodes_[path.nodes.front()];
      for (int arcIndex : frontier.incoming) {
        const int source = arcs_[arcIndex].source;
        LatticePath next;
        next.nodes.reserve(path.nodes.size() + 1);
        next.nodes.push_back(source);
        next.nodes.insert(next.nodes.end(), path.nodes.begin(), path.nodes.end());
        next.g = path.g + frontier.weight;
        next.f = next.g + nodes_[source].bestScore;
        next.characters = path.characters + (IsSentinel(source) ? 0 : 1);
        open.push_back(std::move(next));
      }
      for (std::size_t i = open.size(); i-- > 0;) {
        if (open[i].nodes.front() == startNode_) {
          completed.push_back(std::move(open[i]));
          open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
        }
      }
      std::stable_sort(open.begin(), open.end(), RanksHigher);
      const int room = std::max(0, kReadingsWanted - static_cast<int>(completed.size()));
      if (static_cast<int>(open.size()) > room) open.resize(room);
    }
    std::stable_sort(completed.begin(), completed.end(), RanksHigher);
    if (best && !completed.empty()) {
      for (int node : completed.front().nodes)
        if (!IsSentinel(node) && nodes_[node].label != " ")
          best->push_back({nodes_[node].label, nodes_[node].x, nodes_[node].width});
    }
    for (const LatticePath& path : completed) {
      std::string text;
      for (int node : path.nodes)
        if (!IsSentinel(node)) text += nodes_[node].label;
      std::erase(text, ' ');
      readings->Append(std::move(text));
    }
  }

 private:
  bool IsSentinel(int node) const { return node == startNode_ || node == endNode_; }

  void Build(const RecordList<SegmentCandidate>& sorted) {
    struct Span {
      int start, end, group;
    };
    std::vector<Span> spans;
    int minStart = 1000000;
    for (const SegmentCandidate& c : sorted) {
      const int end = c.x + c.width - 1;
      const int group = spans.empty() ? 0 : (spans.back().end == end ? spans.back().group : spans.back().group + 1);
      spans.push_back({c.x, end, group});
      minStart = std::min(minStart, c.x);
    }
    groupCount_ = spans.empty() ? 0 : spans.back().group + 1;

    startNode_ = AddNode({kStartGroup, 0, "<s>", 0, 1, {}, -1, 0, 0, kStartGroup});
    std::vector<int> nextIndex(groupCount_, 0);
    std::size_t i = 0;
    for (const SegmentCandidate& c : sorted) {
      const Span& span = spans[i++];
      int predecessor = kStartGroup;
      if (span.start != minStart) {
        int bestEnd = std::numeric_limits<int>::min();
        for (const Span& other : spans) {
          if (other.end > minStart && other.end < span.start && other.group < span.group && other.end > bestEnd) {
            bestEnd = other.end;
            predecessor = other.group;
          }
        }
      }
      for (const CandidateAlternative& alternative : c.alternatives)
        AddNode({span.group, nextIndex[span.group]++, alternative.text, alternative.weight, -1, {}, -1, 0, 1,
                 predecessor, c.x, c.width});
    }
    endNode_ = AddNode({kEndGroup, 0, "</s>", 0, 0, {}, -1, 0, 0, groupCount_ - 1});

    for (int target = 0; target < static_cast<int>(nodes_.size()); ++target) {
      if (target == startNode_) continue;
      const int from = nodes_[target].predecessorGroup;
      if (from == kStartGroup) {
        Connect(startNode_, target);
        continue;
      }
      for (int source = 0; source < static_cast<int>(nodes_.size()); ++source)
        if (nodes_[source].group == from) Connect(source, target);
    }
  }

  int AddNode(LatticeNode node) {
    nodes_.push_back(std::move(node));
    return static_cast<int>(nodes_.size()) - 1;
  }

  void Connect(int source, int target) {
    arcs_.push_back({0, source, target});
    auto& incoming = nodes_[target].incoming;
    incoming.insert(incoming.begin(), static_cast<int>(arcs_.size()) - 1);
  }

  void ScoreGroup(int group) {
    std::vector<int> members;
    std::vector<int> groupArcs;
    for (int q = 0; q < static_cast<int>(nodes_.size()); ++q) {
      if (nodes_[q].group != group) continue;
      members.push_back(q);
      for (int arcIndex : nodes_[q].incoming) {
        const LatticeNode& s = nodes_[arcs_[arcIndex].source];
        arcs_[arcIndex].score = (s.pathLength * s.bestScore + nodes_[q].weight) / (s.pathLength + 1);
        groupArcs.push_back(arcIndex);
      }
    }
    std::stable_sort(groupArcs.begin(), groupArcs.end(),
                     [this](int a, int b) { return arcs_[a].score > arcs_[b].score; });
    for (std::size_t k = kMaxArcsPerGroup; k < groupArcs.size(); ++k) {
      auto& incoming = nodes_[arcs_[groupArcs[k]].target].incoming;
      std::erase(incoming, groupArcs[k]);
    }
    for (int q : members) {
      LatticeNode& node = nodes_[q];
      if (node.incoming.empty()) {
        node.bestScore = kUnreachableScore;
        node.bestArc = -1;
        continue;
      }
      int best = node.incoming.front();
      for (int arcIndex : node.incoming)
        if (arcs_[arcIndex].score > arcs_[best].score) best = arcIndex;
      node.bestArc = best;
      node.bestScore = arcs_[best].score;
      node.pathLength = nodes_[arcs_[best].source].pathLength + 1;
    }
  }

  std::vector<LatticeNode> nodes_;
  std::vector<LatticeArc> arcs_;
  int groupCount_ = 0;
  int startNode_ = 0;
  int endNode_ = 0;
};

}  // namespace

void DecodeLattice(RecordList<SegmentCandidate>& candidates, RecordList<std::string>* readings,
                   std::vector<DecodedCharacter>* best) {
  readings->Clear();
  if (best) best->clear();
  if (candidates.Empty()) return;
  for (SegmentCandidate& c : candidates) {
    for (CandidateAlternative& alternative : c.alternatives) {
      alternative.weight *= 10;
      alternative.tag = -1;
    }
  }
  candidates.MergeSort(
      [](const SegmentCandidate& a, const SegmentCandidate& b) { return a.x + a.width - 1 <= b.x + b.width - 1; });
  CandidateLattice lattice(candidates);
  lattice.ScoreForward();
  lattice.SearchBackward(readings, best);
}

}  // namespace orvane::ocr
