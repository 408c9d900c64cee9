// Short sounds (the shutter) played through ALSA's default device on a worker of its own, so a
// missing file, a missing sound card or a slow device never holds up the caller.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

namespace orvane::platform {

// The samples of an uncompressed PCM WAV file (8- or 16-bit, interleaved channels).
struct WaveSound {
  int channels = 0;
  int sampleRate = 0;
  int bitsPerSample = 0;
  std::vector<std::uint8_t> samples;
};

// Nothing for anything but a well-formed PCM WAV of 8 or 16 bits with 1 or 2 channels.
std::optional<WaveSound> ParseWave(std::span<const std::uint8_t> file);

class SoundPlayer {
 public:
  SoundPlayer();
  ~SoundPlayer();  // stops a sound being played, then joins the worker
  SoundPlayer(const SoundPlayer&) = delete;
  SoundPlayer& operator=(const SoundPlayer&) = delete;

  // Returns at once. A sound asked for while another plays waits for it; of several waiting,
  // only the newest is kept.
  void Play(const std::filesystem::path& file);
  // How many requests the worker has finished with, played or not (for tests).
  int Finished() const;

 private:
  void Run(std::stop_token stop);
  bool Playing(std::stop_token stop, const WaveSound& sound);

  mutable std::mutex lock_;
  std::condition_variable_any wake_;
  std::optional<std::filesystem::path> next_;
  int finished_ = 0;
  std::jthread worker_;
};

}  // namespace orvane::platform
