#include "platform/sound_player.h"

#include <alsa/asoundlib.h>

#include <fstream>
#include <iterator>

#include "platform/diagnostics.h"

namespace orvane::platform {
namespace {

std::uint32_t Le32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}
std::uint16_t Le16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

// A shutter sound is a fraction of a second; anything far larger is no sound of ours.
constexpr std::size_t kLargestFile = 16u << 20;

// A machine without a sound card is no fault: ALSA's own complaints are not printed.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::optional<WaveSound> ParseWave(std::span<const std::uint8_t> file) {
  if (file.size() < 12 || Le32(file, 0) != 0x46464952u /*RIFF*/ || Le32(file, 8) != 0x45564157u /*WAVE*/) {
    return std::nullopt;
  }
  WaveSound sound;
  bool haveFormat = false;
  std::size_t at = 12;
  while (at + 8 <= file.size()) {
    const std::uint32_t id = Le32(file, at);
    const std::size_t size = Le32(file, at + 4);
    const std::size_t body = at + 8;
    if (size > file.size() - body) return std::nullopt;
    if (id == 0x20746D66u /*fmt */) {
      if (size < 16 || Le16(file, body) != 1 /*PCM*/) return std::nullopt;
      sound.channels = Le16(file, body + 2);
      sound.sampleRate = static_cast<int>(Le32(file, body + 4));
      sound.bitsPerSample = Le16(file, body + 14);
      haveFormat = true;
    } else if (id == 0x61746164u /*data*/) {
      if (!haveFormat) return std::nullopt;
      sound.samples.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                           file.begin() + static_cast<std::ptrdiff_t>(body + size));
      break;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  const bool supported = (sound.channels == 1 || sound.channels == 2) &&
                         (sound.bitsPerSample == 8 || sound.bitsPerSample == 16) && sound.sampleRate >= 1000 &&
                         sound.sampleRate <= 192000;
  const std::size_t frameBytes = static_cast<std::size_t>(sound.channels) * (sound.bitsPerSample / 8);
  if (!haveFormat || !supported || sound.samples.size() < frameBytes) return std::nullopt;
  sound.samples.resize(sound.samples.size() - sound.samples.size() % frameBytes);
  return sound;
}

SoundPlayer::SoundPlayer() : worker_([this](std::stop_token stop) { Run(stop); }) { snd_lib_error_set_handler(QuietAlsaError); }

SoundPlayer::~SoundPlayer() {
  worker_.request_stop();
  wake_.notify_all();
  // jthread joins here.
}

void SoundPlayer::Play(const std::filesystem::path& file) {
  {
    std::lock_guard guard(lock_);
    next_ = file;
  }
  wake_.notify_all();
}

int SoundPlayer::Finished() const {
  std::lock_guard guard(lock_);
  return finished_;
}

void SoundPlayer::Run(std::stop_token stop) {
  while (true) {
    std::filesystem::path file;
    {
      std::unique_lock guard(lock_);
      if (!wake_.wait(guard, stop, [this] { return next_.has_value(); })) return;
      file = std::move(*next_);
      next_.reset();
    }
    std::vector<std::uint8_t> bytes;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!error && size <= kLargestFile) {
      std::ifstream in(file, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (const std::optional<WaveSound> sound = ParseWave(bytes)) Playing(stop, *sound);
    std::lock_guard guard(lock_);
    ++finished_;
  }
}

bool SoundPlayer::Playing(std::stop_token stop, const WaveSound& sound) {
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return false;
  const snd_pcm_format_t format = sound.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
  int result = snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, static_cast<unsigned>(sound.channels),
                                  static_cast<unsigned>(sound.sampleRate), 1, 100000);
  if (result < 0) {
    DebugOutput(std::string("shutter sound: ") + snd_strerror(result));
    snd_pcm_close(pcm);
    return false;
  }
  const std::size_t frameBytes = static_cast<std::size_t>(sound.channels) * (sound.bitsPerSample / 8);
  const std::size_t frames = sound.samples.size() / frameBytes;
  // A tenth of a second at a time, so a stop never waits for the whole sound.
  const std::size_t chunk = static_cast<std::size_t>(sound.sampleRate) / 10;
  std::size_t done = 0;
  while (done < frames && !stop.stop_requested()) {
    const std::size_t count = std::min(chunk, frames - done);
    const snd_pcm_sframes_t written = snd_pcm_writei(pcm, sound.samples.data() + done * frameBytes, count);
    if (written < 0) {
      if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) break;
      continue;
    }
    done += static_cast<std::size_t>(written);
  }
  if (stop.stop_requested()) snd_pcm_drop(pcm);
  else snd_pcm_drain(pcm);
  snd_pcm_close(pcm);
  return done == frames;
}

}  // namespace orvane::platform
