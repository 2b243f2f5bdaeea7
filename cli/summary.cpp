#include "summary.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "block/conversion.h"
#include "block/parameter_codes.h"
#include "engine/modulation.h"

namespace quenvarith::cli {

namespace {

// Tones listed one by one up to this many; beyond, the first and last few.
constexpr size_t kTonesListed = 16;
constexpr size_t kTonesAtEachEnd = 4;
constexpr int kShownDigits = 10;

// Ten significant digits: enough to read, short enough for a line.
std::string shortNumber(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::general, kShownDigits);
  return {text.data(), result.ptr};
}

std::string wordOr(std::span<const engine::ParameterWord> words, double value) {
  const std::string_view word = engine::wordOfValue(words, value);
  return word.empty() ? shortNumber(value) : std::string(word);
}

std::string toneList(const std::vector<double>& tones) {
  std::string list;
  for (size_t i = 0; i < tones.size(); ++i) {
    if (tones.size() > kTonesListed && i == kTonesAtEachEnd) {
      list += " ...";
      i = tones.size() - kTonesAtEachEnd;
    }
    list += (list.empty() ? "" : " ") + shortNumber(tones[i]);
  }
  return list;
}

}  // namespace

std::string runSummary(const engine::RunSettings& settings, const engine::SignalLayout& layout) {
  const host::ParameterValues& p = settings.parameters;
  const int32_t tones = truncateToInt32(p.mAryNumber);
  const bool bits = truncateToInt32(p.inputType) != codeOf(InputType::Integer);
  const double separation = std::fabs(p.frequencySeparation);
  const double symbolPeriod = 1.0 / layout.symbolRate;
  std::string text = "quenvarith-run: " + std::to_string(tones) + "-FSK, ";
  text += bits ? std::to_string(layout.valuesPerSymbol) + " bits per symbol, " +
                     wordOr(engine::kMappingWords, p.bitToSymbolMapping) + " mapping"
               : "integer symbols 0.." + std::to_string(tones - 1);
  text += ", " + wordOr(engine::kPhaseWords, p.phaseContinuity) + " phase\n";
  text += "  tones (Hz): " + toneList(engine::toneFrequencies(p)) + "\n";
  text += "  symbol rate " + shortNumber(layout.symbolRate) + " Hz, sample rate " +
          shortNumber(layout.sampleRate) + " Hz, " + std::to_string(layout.samplesPerSymbol) +
          " samples per symbol\n";
  text += "  modulation index h = " + shortNumber(separation * symbolPeriod) +
          ", occupied bandwidth (Carson) " +
          shortNumber(static_cast<double>(tones - 1) * separation + 2.0 / symbolPeriod) + " Hz\n";
  return text;
}

}  // namespace quenvarith::cli
