#include "platform/sound_player.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace orvane::platform {
namespace {

std::vector<std::uint8_t> Wave(std::uint16_t format, std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                               std::uint32_t dataBytes, std::uint32_t declaredDataBytes) {
  std::vector<std::uint8_t> out;
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  };
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put(36 + dataBytes, 4);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put(16, 4);
  put(format, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put(declaredDataBytes, 4);
  out.resize(out.size() + dataBytes, 0x80);
  return out;
}

TEST(ParseWave, TakesPlainPcmAndRefusesTheRest) {
  const struct {
    const char* name;
    std::vector<std::uint8_t> file;
    bool parsed;
    std::size_t samples;
  } cases[] = {
      {"16-bit mono", Wave(1, 1, 22050, 16, 400, 400), true, 400},
      {"8-bit stereo", Wave(1, 2, 8000, 8, 101, 101), true, 100},  // a half frame is dropped
      {"compressed", Wave(2, 1, 22050, 16, 400, 400), false, 0},
      {"24-bit", Wave(1, 1, 22050, 24, 300, 300), false, 0},
      {"data longer than the file", Wave(1, 1, 22050, 16, 400, 4000), false, 0},
      {"no samples", Wave(1, 1, 22050, 16, 0, 0), false, 0},
      {"not a wave", {'R', 'I', 'F', 'F', 0, 0, 0, 0}, false, 0},
  };
  for (const auto& c : cases) {
    const std::optional<WaveSound> sound = ParseWave(c.file);
    EXPECT_EQ(sound.has_value(), c.parsed) << c.name;
    if (sound) {
      EXPECT_EQ(sound->samples.size(), c.samples) << c.name;
    }
  }
}

TEST(SoundPlayer, PlayReturnsAtOnceAndAMissingFileIsSilent) {
  testing::TempFolder folder;
  const std::vector<std::uint8_t> wave = Wave(1, 1, 22050, 16, 22050 * 2, 22050 * 2);  // one second
  std::ofstream(folder / "second.wav", std::ios::binary)
      .write(reinterpret_cast<const char*>(wave.data()), static_cast<std::streamsize>(wave.size()));
  SoundPlayer player;
  const auto before = std::chrono::steady_clock::now();
  player.Play(folder / "missing.wav");
  player.Play(folder / "second.wav");
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
  // Ending the player stops a sound being played and joins its worker.
}

}  // namespace
}  // namespace orvane::platform
