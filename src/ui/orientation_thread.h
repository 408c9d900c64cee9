// The orientation thread of the main window: every 300 ms it reads the document camera's picture,
// cut to its page, for the orientation of its text, and posts each decided angle to the window
// as message 0x434 (1, angle), with the rotation the picture was shown at as its payload (an int);
// it ends posting (0, 0) when the character template cannot be loaded or there is no document
// camera. It reaches the window only through those posts.
//
// GUI thread. The owner stops it before the camera it reads is replaced or deleted.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include <opencv2/core.hpp>

#include "platform/events.h"
#include "platform/messages.h"

namespace orvane::ui {

class COrientationThread {
 public:
  // The document camera's current picture and the rotation it was shown at; called on the thread,
  // so it must be a getter any thread may call. An empty picture: none to be judged this time. An
  // empty function: there is no document camera.
  struct ShownPicture {
    cv::Mat picture;
    int rotation = 0;
  };
  using PictureSource = std::function<ShownPicture()>;

  COrientationThread() = default;
  ~COrientationThread() { Stop(); }
  COrientationThread(const COrientationThread&) = delete;
  COrientationThread& operator=(const COrientationThread&) = delete;

  // False when a thread runs already.
  bool Start(std::filesystem::path templatePath, PictureSource picture, platform::TargetHandle window);
  // Sets the stop event and waits for the thread, a detection under way included.
  void Stop();
  bool Running() const { return thread_.joinable(); }

 private:
  static void Run(std::filesystem::path templatePath, PictureSource picture, platform::TargetHandle window,
                  std::shared_ptr<platform::Event> stop);

  std::shared_ptr<platform::Event> stop_;
  std::thread thread_;
};

// The page of a live picture as the orientation thread reads it: the page cut out when one is
// found, else the whole picture.
cv::Mat OrientationPage(const cv::Mat& picture);

}  // namespace orvane::ui
