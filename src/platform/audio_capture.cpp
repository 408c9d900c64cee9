#include "platform/audio_capture.h"

#include <alsa/asoundlib.h>

#include "platform/diagnostics.h"

namespace orvane::platform {
namespace {

constexpr int kRequestedRate = 44100;
constexpr int kRequestedChannels = 2;
constexpr unsigned kLatencyMicroseconds = 200000;

// "plughw:card,device" of the first capture device on any card; empty when there is none.
std::string FirstCardCaptureDevice() {
  int card = -1;
  while (snd_card_next(&card) == 0 && card >= 0) {
    snd_ctl_t* control = nullptr;
    if (snd_ctl_open(&control, ("hw:" + std::to_string(card)).c_str(), 0) < 0) continue;
    snd_pcm_info_t* info = nullptr;
    snd_pcm_info_malloc(&info);
    int device = -1;
    std::string found;
    while (info != nullptr && found.empty() && snd_ctl_pcm_next_device(control, &device) == 0 && device >= 0) {
      snd_pcm_info_set_device(info, static_cast<unsigned>(device));
      snd_pcm_info_set_subdevice(info, 0);
      snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
      if (snd_ctl_pcm_info(control, info) == 0) {
        found = "plughw:" + std::to_string(card) + "," + std::to_string(device);
      }
    }
    snd_pcm_info_free(info);
    snd_ctl_close(control);
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace

CAlsaCapture::~CAlsaCapture() {
  if (pcm_ != nullptr) snd_pcm_close(pcm_);
}

std::unique_ptr<CAlsaCapture> CAlsaCapture::Open(const std::string& device, std::string* error) {
  auto fail = [&](const std::string& step, int code) -> std::unique_ptr<CAlsaCapture> {
    if (error != nullptr) *error = device + ": " + step + ": " + snd_strerror(code);
    return nullptr;
  };
  auto capture = std::make_unique<CAlsaCapture>(Key{});
  // Non-blocking, so a device held by another program is reported instead of waited for.
  int result = snd_pcm_open(&capture->pcm_, device.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
  if (result < 0) {
    capture->pcm_ = nullptr;
    return fail("cannot open", result);
  }
  result = snd_pcm_set_params(capture->pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                              kRequestedChannels, kRequestedRate, 1, kLatencyMicroseconds);
  if (result < 0) return fail("cannot set 16-bit stereo at 44100 Hz", result);

  snd_pcm_hw_params_t* params = nullptr;
  snd_pcm_hw_params_alloca(&params);
  unsigned rate = 0;
  unsigned channels = 0;
  if ((result = snd_pcm_hw_params_current(capture->pcm_, params)) < 0 ||
      (result = snd_pcm_hw_params_get_rate(params, &rate, nullptr)) < 0 ||
      (result = snd_pcm_hw_params_get_channels(params, &channels)) < 0) {
    return fail("cannot read the format", result);
  }
  capture->sampleRate_ = static_cast<int>(rate);
  capture->channels_ = static_cast<int>(channels);
  if ((result = snd_pcm_start(capture->pcm_)) < 0) return fail("cannot start", result);
  return capture;
}

bool CAlsaCapture::Read(std::vector<std::int16_t>* samples, int timeoutMs) {
  if (pcm_ == nullptr || samples == nullptr) return false;
  const int waited = snd_pcm_wait(pcm_, timeoutMs);
  if (waited < 0 && snd_pcm_recover(pcm_, waited, 1) < 0) return false;
  snd_pcm_sframes_t available = snd_pcm_avail_update(pcm_);
  if (available < 0) {
    // An overrun loses sound but not the recording: start the device again.
    if (snd_pcm_recover(pcm_, static_cast<int>(available), 1) < 0) return false;
    snd_pcm_start(pcm_);
    return true;
  }
  if (available == 0) return true;
  const std::size_t old = samples->size();
  samples->resize(old + static_cast<std::size_t>(available) * static_cast<std::size_t>(channels_));
  const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, samples->data() + old, static_cast<snd_pcm_uframes_t>(available));
  if (got < 0) {
    samples->resize(old);
    if (got == -EAGAIN) return true;
    if (snd_pcm_recover(pcm_, static_cast<int>(got), 1) < 0) return false;
    snd_pcm_start(pcm_);
    return true;
  }
  samples->resize(old + static_cast<std::size_t>(got) * static_cast<std::size_t>(channels_));
  return true;
}

std::unique_ptr<IAudioSource> OpenAudioCaptureDevice(std::string* deviceName) {
  std::string error;
  if (auto capture = CAlsaCapture::Open("default", &error)) {
    if (deviceName != nullptr) *deviceName = "default";
    return capture;
  }
  DebugOutput("Sound capture: " + error);
  const std::string card = FirstCardCaptureDevice();
  if (card.empty()) return nullptr;
  if (auto capture = CAlsaCapture::Open(card, &error)) {
    if (deviceName != nullptr) *deviceName = card;
    return capture;
  }
  DebugOutput("Sound capture: " + error);
  return nullptr;
}

}  // namespace orvane::platform
