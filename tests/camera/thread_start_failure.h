// Thread starts that fail as they do when the system has no room for another thread: the
// test binary interposes pthread_create and fails the std::thread starts it is told to.
#pragma once

namespace orvane::testing {

// The `n`-th std::thread (or std::jthread) started from now on fails to start, 1 being the
// next; 0 lets every start succeed again. Threads started by libraries of their own kind are
// not counted.
void FailThreadStart(int n);

}  // namespace orvane::testing
