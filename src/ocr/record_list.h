// A singly linked list of owned records with positional insertion and a top-down merge sort.
// The line and path comparators of page recognition are not strict weak orders (they answer true
// for equal keys), so their results depend on this exact sort: std::sort must never see them.
#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

namespace orvane::ocr {

enum class InsertResult { kDone = 0, kOutOfRange = 2, kOutOfMemory = 4 };

template <class T>
class RecordList {
  struct Node {
    T record;
    std::unique_ptr<Node> next;
  };

 public:
  RecordList() = default;
  ~RecordList() { Clear(); }
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  RecordList(RecordList&& other) noexcept : count_(other.count_), first_(std::move(other.first_)) { other.count_ = 0; }
  RecordList& operator=(RecordList&& other) noexcept {
    if (this != &other) {
      Clear();
      count_ = std::exchange(other.count_, 0);
      first_ = std::move(other.first_);
    }
    return *this;
  }

  int Count() const { return count_; }
  bool Empty() const { return count_ == 0; }

  // Puts the record at `position` (0 = in front, Count() = at the end).
  InsertResult InsertAt(int position, T record) {
    if (position < 0 || position > count_) return InsertResult::kOutOfRange;
    std::unique_ptr<Node>* link = &first_;
    for (int i = 0; i < position; ++i) link = &(*link)->next;
    std::unique_ptr<Node> node(new (std::nothrow) Node{std::move(record), nullptr});
    if (!node) return InsertResult::kOutOfMemory;
    node->next = std::move(*link);
    *link = std::move(node);
    ++count_;
    return InsertResult::kDone;
  }
  InsertResult Append(T record) { return InsertAt(count_, std::move(record)); }

  // Iteratively, so a long list cannot exhaust the stack through nested node destructors.
  void Clear() {
    std::unique_ptr<Node> node = std::move(first_);
    while (node) node = std::move(node->next);
    count_ = 0;
  }

  // `before(a, b)` true: a goes first. The first half takes the extra node of an odd count, and its
  // head is taken whenever `before` says so, so a comparator that is true for equal keys keeps
  // their order.
  template <class Before>
  void MergeSort(Before before) {
    first_ = SortNodes(std::move(first_), before);
  }

  template <bool Const>
  class Iterator {
    using NodePtr = std::conditional_t<Const, const Node*, Node*>;

   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = T;
    using difference_type = std::ptrdiff_t;
    using pointer = std::conditional_t<Const, const T*, T*>;
    using reference = std::conditional_t<Const, const T&, T&>;
    Iterator() = default;
    explicit Iterator(NodePtr node) : node_(node) {}
    reference operator*() const { return node_->record; }
    pointer operator->() const { return &node_->record; }
    Iterator& operator++() {
      node_ = node_->next.get();
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const Iterator& other) const { return node_ == other.node_; }

   private:
    NodePtr node_ = nullptr;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;
  iterator begin() { return iterator(first_.get()); }
  iterator end() { return iterator(); }
  const_iterator begin() const { return const_iterator(first_.get()); }
  const_iterator end() const { return const_iterator(); }
  T& Front() { return first_->record; }
  const T& Front() const { return first_->record; }

 private:
  template <class Before>
  static std::unique_ptr<Node> SortNodes(std::unique_ptr<Node> head, Before& before) {
    if (!head || !head->next) return head;
    Node* slow = head.get();
    Node* fast = head->next.get();
    while (fast && fast->next) {
      slow = slow->next.get();
      fast = fast->next->next.get();
    }
    std::unique_ptr<Node> second = std::move(slow->next);
    std::unique_ptr<Node> a = SortNodes(std::move(head), before);
    std::unique_ptr<Node> b = SortNodes(std::move(second), before);
    std::unique_ptr<Node> merged;
    std::unique_ptr<Node>* tail = &merged;
    while (a && b) {
      std::unique_ptr<Node>& taken = before(a->record, b->record) ? a : b;
      *tail = std::move(taken);
      taken = std::move((*tail)->next);
      tail = &(*tail)->next;
    }
    *tail = a ? std::move(a) : std::move(b);
    return merged;
  }

  int count_ = 0;
  std::unique_ptr<Node> first_;
};

}  // namespace orvane::ocr
