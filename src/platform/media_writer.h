// Writes a video file with an optional sound track: ASF whatever the name's extension, WMV2
// pictures and WMA2 sound, over FFmpeg. The file is written under a hidden name of its own,
// made by an exclusive create beside the target, and appears under its name only when finished.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace orvane::platform {

struct MediaFormat {
  int width = 0;             // even, at least 2
  int height = 0;            // even, at least 2
  int framesPerSecond = 0;   // at least 1
  int videoBitrate = 0;      // bits per second; 0 leaves the encoder's default
  int audioSampleRate = 0;   // 0: a video-only file
  int audioChannels = 0;     // 1 or 2 with sound
};

// Thread-bound: one thread opens, writes and finishes. A writer destroyed before `Finish`
// removes its unfinished file. The first write to the file that fails (a full disk, an I/O
// error) ends the writing: every later write is refused and `Finish` keeps what was written.
class CMediaWriter {
 public:
  CMediaWriter();
  ~CMediaWriter();
  CMediaWriter(const CMediaWriter&) = delete;
  CMediaWriter& operator=(const CMediaWriter&) = delete;

  // False with `error` set on odd or missing sizes, a frame rate below 1, a sound format the
  // encoder refuses, or a file that cannot be made.
  bool Open(const std::filesystem::path& file, const MediaFormat& format, std::string* error);

  // The next picture of the sequence: width x height packed BGR24 rows, `stride` bytes apart.
  bool WriteVideoFrame(const std::uint8_t* bgr, std::ptrdiff_t stride);
  // Interleaved signed 16-bit samples, `frames` per channel; ignored without a sound track.
  bool WriteAudio(const std::int16_t* samples, int frames);

  // Flushes both encoders, writes the trailer, syncs the file and moves it under its name, never
  // over another file: a name taken meanwhile moves on to "-2", "-3", ... (see WrittenPath).
  // False with `error` set when any of it failed; what was written is kept all the same: with
  // its trailer under its name when the file's writes all went through, otherwise cut back to
  // the last whole packet and named "NAME-incomplete.EXT" (or the next free name after it).
  bool Finish(std::string* error);
  // The name the finished or kept file got; empty before `Finish` and when nothing was kept.
  std::filesystem::path WrittenPath() const;
  // A write to the file failed: nothing more is written but what `Finish` keeps.
  bool WriteFailed() const;

  std::int64_t VideoFrames() const;
  std::int64_t AudioFrames() const;  // per channel, as handed to the encoder

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace orvane::platform
