// A named POSIX shared memory ("/" + name) that another program made, mapped for writing a text
// into it. Nothing here ever writes past the memory's size.
//
// Thread-bound: one thread opens and writes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace orvane::platform {

class SharedMemory {
 public:
  enum class OpenResult {
    kOpen,
    kAbsent,      // no memory of that name, or not ours to write
    kUnmappable,  // there, but it cannot be mapped (it has no size yet, among others)
  };

  SharedMemory() = default;
  ~SharedMemory();  // unmapped and closed
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Maps the whole memory of that name (without the leading "/"); what was open before is closed.
  OpenResult Open(std::string_view name);
  void Close();
  bool IsOpen() const { return view_ != nullptr; }
  // The memory's size as it is now (the other program may have shrunk it), never more than was
  // mapped; 0 when not open.
  std::size_t Size() const;

  // Writes `text` from the start, followed by a zero byte, and zeroes what was left of a longer
  // text written before. A text that does not fit with its zero byte is not cut to a name of
  // something else: the memory then holds the empty text. True when the text was written whole.
  bool WriteText(std::string_view text);

 private:
  int descriptor_ = -1;
  unsigned char* view_ = nullptr;
  std::size_t mapped_ = 0;
  // Where the longest text written before may still leave bytes.
  std::size_t dirtyEnd_ = 0;
};

}  // namespace orvane::platform
