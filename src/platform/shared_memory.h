// A named POSIX shared memory ("/" + name) that another program made, for writing a text into it.
// Nothing here ever writes past the memory's size, and nothing is mapped: the memory is written
// through its descriptor, so a companion that shrinks it meanwhile cannot fault the station.
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
    kAbsent,  // no memory of that name, or not ours to write (another user's among them)
    kEmpty,   // there, but it has no size yet
  };

  SharedMemory() = default;
  ~SharedMemory();  // closed
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  // Opens the memory of that name (without the leading "/"); what was open before is closed. A
  // memory another user owns is refused: it could read every path written into it.
  OpenResult Open(std::string_view name);
  void Close();
  bool IsOpen() const { return descriptor_ >= 0; }
  // The memory's size as it is now (the other program may have changed it); 0 when not open.
  std::size_t Size() const;

  // Writes `text` from the start, followed by a zero byte, and zeroes what an earlier, longer text
  // may have left (up to the longest path). A text that does not fit with its zero byte is not cut
  // to a name of something else: the memory then holds the empty text. True when the text was
  // written whole.
  bool WriteText(std::string_view text);

 private:
  int descriptor_ = -1;
};

}  // namespace orvane::platform
