// The yardstick for the whole program: M-FSK the straightforward way, as anyone would first write
// it. The same random bits as `quenvarith-run --random` (the engine's own source), the same
// phase steps, continuous phase summed sample by sample, std::cos and std::sin of every phase,
// and the same cf32 stream through a plain buffered write.
//
// Usage: straightforward_modulator SYMBOLS OUTPUT [M [N [SEPARATION [SEED]]]]
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "block/conversion.h"
#include "engine/input_sources.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr size_t kBufferFloats = size_t{1} << 14;

struct Settings {
  uint64_t symbols = 0;
  std::string output;
  int32_t mAry = 4;
  int32_t samplesPerSymbol = 8;
  double separation = 1.0;
  uint64_t seed = 1;
};

bool parse(int argc, char** argv, Settings& settings) {
  if (argc < 3) {
    return false;
  }
  settings.symbols = std::strtoull(argv[1], nullptr, 10);
  settings.output = argv[2];
  if (argc > 3) settings.mAry = quenvarith::truncateToInt32(std::strtod(argv[3], nullptr));
  if (argc > 4) {
    settings.samplesPerSymbol = quenvarith::truncateToInt32(std::strtod(argv[4], nullptr));
  }
  if (argc > 5) settings.separation = std::strtod(argv[5], nullptr);
  if (argc > 6) settings.seed = std::strtoull(argv[6], nullptr, 10);
  return settings.mAry >= 2 && std::has_single_bit(static_cast<uint32_t>(settings.mAry)) &&
         settings.samplesPerSymbol >= 1;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  if (!parse(argc, argv, settings)) {
    (void)std::fprintf(stderr, "usage: %s SYMBOLS OUTPUT [M [N [SEPARATION [SEED]]]]\n", argv[0]);
    return 2;
  }
  const int32_t bitsPerSymbol = std::countr_zero(static_cast<uint32_t>(settings.mAry));
  // One symbol a second: the command's default sample time with one symbol per step.
  std::vector<double> step(static_cast<size_t>(settings.mAry));
  for (int32_t tone = 0; tone < settings.mAry; ++tone) {
    step[static_cast<size_t>(tone)] =
        (static_cast<double>(2 * tone - settings.mAry + 1) * settings.separation) * kPi /
        settings.samplesPerSymbol;
  }

  std::FILE* output = std::fopen(settings.output.c_str(), "wb");
  if (output == nullptr) {
    std::perror(settings.output.c_str());
    return 1;
  }
  quenvarith::engine::RandomInput random(settings.symbols, settings.seed, bitsPerSymbol, true,
                                         settings.mAry);
  std::vector<double> bits(static_cast<size_t>(bitsPerSymbol));
  std::vector<float> buffer;
  buffer.reserve(kBufferFloats);
  double phase = 0.0;
  while (random.read(bits) == quenvarith::engine::ReadResult::Filled) {
    size_t tone = 0;
    for (const double bit : bits) {
      tone = tone * 2 + (bit != 0.0 ? 1 : 0);
    }
    for (int32_t sample = 0; sample < settings.samplesPerSymbol; ++sample) {
      buffer.push_back(static_cast<float>(std::cos(phase)));
      buffer.push_back(static_cast<float>(std::sin(phase)));
      phase += step[tone];
      if (buffer.size() >= kBufferFloats) {
        if (std::fwrite(buffer.data(), sizeof(float), buffer.size(), output) != buffer.size()) {
          std::perror(settings.output.c_str());
          return 1;
        }
        buffer.clear();
      }
    }
  }
  const bool written =
      std::fwrite(buffer.data(), sizeof(float), buffer.size(), output) == buffer.size();
  return std::fclose(output) == 0 && written ? 0 : 1;
}
