// The goals are for one thread: no OpenCV worker threads either, for the length of one benchmark
// (the other benchmarks in an executable keep OpenCV's default).
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

class SingleThread {
 public:
  SingleThread() : previous_(cv::getNumThreads()) { cv::setNumThreads(1); }
  ~SingleThread() { cv::setNumThreads(previous_); }
  SingleThread(const SingleThread&) = delete;
  SingleThread& operator=(const SingleThread&) = delete;

 private:
  int previous_;
};

}  // namespace orvane::imaging
