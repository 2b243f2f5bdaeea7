#include "engine/modulation.h"

#include <array>
#include <charconv>
#include <cmath>

#include "block/conversion.h"

namespace quenvarith::engine {

namespace {

// More tones than anyone reads in a list; the block itself takes far more.
constexpr int32_t kMostTonesListed = 1 << 16;
// How close, relative to their distance or to the sample rate, two sampled tones are taken to
// coincide.
constexpr double kCoincidenceTolerance = 1e-9;

// Shortest round-trip form.
std::string formatValue(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return {text.data(), result.ptr};
}

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

std::vector<std::string> toneWarnings(const host::ParameterValues& parameters, double sampleRate) {
  const std::vector<double> tones = toneFrequencies(parameters);
  const double separation = std::fabs(parameters.frequencySeparation);
  if (tones.empty() || !std::isfinite(separation) ||
      !(std::isfinite(sampleRate) && sampleRate > 0)) {
    return {};
  }
  std::vector<std::string> warnings;
  const double half = sampleRate / 2.0;
  size_t aliased = 0;
  for (const double tone : tones) {
    aliased += std::fabs(tone) >= half ? 1 : 0;
  }
  if (aliased > 0) {
    warnings.push_back(std::to_string(aliased) + " of " + std::to_string(tones.size()) +
                       " tones lie at or beyond half the sample rate (" + formatValue(half) +
                       " Hz) and alias: the outermost at " + formatValue(tones.back()) + " Hz");
  }
  // Tones i and i + d coincide once sampled when d x separation is a whole number of sample
  // rates.
  uint64_t pairs = 0;
  size_t firstApart = 0;
  for (size_t apart = 1; apart < tones.size(); ++apart) {
    const double distance = static_cast<double>(apart) * separation;
    const double remainder = std::fmod(distance, sampleRate);
    if (remainder <= kCoincidenceTolerance * distance ||
        sampleRate - remainder <= kCoincidenceTolerance * sampleRate) {
      pairs += tones.size() - apart;
      firstApart = firstApart == 0 ? apart : firstApart;
    }
  }
  if (pairs > 0) {
    warnings.push_back("tones 0 and " + std::to_string(firstApart) + " (" +
                       formatValue(tones.front()) + " and " + formatValue(tones[firstApart]) +
                       " Hz) coincide at a sample rate of " + formatValue(sampleRate) +
                       " Hz, as do " + std::to_string(pairs - 1) +
                       " other pair(s): their symbols cannot be told apart");
  }
  return warnings;
}

}  // namespace quenvarith::engine
