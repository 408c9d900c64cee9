// Sound for recordings: a capture device delivering interleaved signed 16-bit samples.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;

namespace orvane::platform {

// A running capture. Thread-bound: one thread reads it.
class IAudioSource {
 public:
  virtual ~IAudioSource() = default;
  virtual int SampleRate() const = 0;
  virtual int Channels() const = 0;
  // Waits at most `timeoutMs` for sound and appends what came (whole frames, interleaved) to
  // `samples`; nothing appended is no failure. False once the device has failed for good.
  virtual bool Read(std::vector<std::int16_t>* samples, int timeoutMs) = 0;
};

// One ALSA capture device, asked for 44,100 Hz stereo; the device's plug layer converts.
class CAlsaCapture : public IAudioSource {
  struct Key {};

 public:
  explicit CAlsaCapture(Key) {}  // made by Open only
  ~CAlsaCapture() override;
  CAlsaCapture(const CAlsaCapture&) = delete;
  CAlsaCapture& operator=(const CAlsaCapture&) = delete;

  // Null with `error` set when the device cannot be opened or set up.
  static std::unique_ptr<CAlsaCapture> Open(const std::string& device, std::string* error);

  int SampleRate() const override { return sampleRate_; }
  int Channels() const override { return channels_; }
  bool Read(std::vector<std::int16_t>* samples, int timeoutMs) override;

 private:
  snd_pcm_t* pcm_ = nullptr;
  int sampleRate_ = 0;
  int channels_ = 0;
};

// The first audio input: ALSA's "default" capture device, else the first card with a capture
// device. Null when there is none: the recording then has pictures only. `deviceName` gets the
// device that was opened.
std::unique_ptr<IAudioSource> OpenAudioCaptureDevice(std::string* deviceName = nullptr);

}  // namespace orvane::platform
