#include "engine/modulation.h"

#include "block/conversion.h"

namespace quenvarith::engine {

namespace {

// More tones than anyone reads in a list; the block itself takes far more.
constexpr int32_t kMostTonesListed = 1 << 16;

}  // namespace

std::vector<double> toneFrequencies(const host::ParameterValues& parameters) {
  const int32_t tones = truncateToInt32(parameters.mAryNumber);
  if (tones < 2 || tones > kMostTonesListed) {
    return {};
  }
  std::vector<double> frequencies(static_cast<size_t>(tones));
  for (int32_t tone = 0; tone < tones; ++tone) {
    const auto offset = static_cast<double>(2 * tone - tones + 1);
    frequencies[static_cast<size_t>(tone)] = offset * parameters.frequencySeparation / 2.0;
  }
  return frequencies;
}

}  // namespace quenvarith::engine
