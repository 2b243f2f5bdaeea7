// The modulation in a user's words and numbers: the words that name the block's coded parameter
// values, and the tone frequencies its parameters give. Shared by every front end (the command,
// the Python module, the GNU Radio block), so that each takes the same words.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "block/parameter_codes.h"
#include "host/host_block.h"

namespace quenvarith::engine {

// A word and the parameter value it stands for.
struct ParameterWord {
  std::string_view word;
  double value;
};

inline constexpr std::array<ParameterWord, 2> kInputTypeWords{
    {{"bit", codeOf(InputType::Bit)}, {"integer", codeOf(InputType::Integer)}}};
inline constexpr std::array<ParameterWord, 2> kMappingWords{
    {{"binary", codeOf(BitToSymbolMapping::Binary)}, {"gray", codeOf(BitToSymbolMapping::Gray)}}};
inline constexpr std::array<ParameterWord, 2> kPhaseWords{
    {{"continuous", codeOf(PhaseContinuity::Continuous)},
     {"discontinuous", codeOf(PhaseContinuity::Discontinuous)}}};

// The value `word` names, if it is one of `words`.
inline std::optional<double> valueOfWord(std::span<const ParameterWord> words,
                                         std::string_view word) {
  for (const ParameterWord& candidate : words) {
    if (candidate.word == word) {
      return candidate.value;
    }
  }
  return std::nullopt;
}

// The word that names `value`, or an empty view for a value no word names.
inline std::string_view wordOfValue(std::span<const ParameterWord> words, double value) {
  for (const ParameterWord& candidate : words) {
    if (candidate.value == value) {
      return candidate.word;
    }
  }
  return {};
}

// "a, b or c": the words, for a message.
inline std::string listOfWords(std::span<const ParameterWord> words) {
  std::string list;
  for (size_t i = 0; i < words.size(); ++i) {
    list += words[i].word;
    list += i + 2 < words.size() ? ", " : i + 1 < words.size() ? " or " : "";
  }
  return list;
}

// The frequency of every tone in hertz: tone i at (2i - M + 1) x separation / 2, symmetric
// about 0 Hz. Empty for an M the block would refuse, or one too large to list.
std::vector<double> toneFrequencies(const host::ParameterValues& parameters);

// What the tones become at `sampleRate` samples per second, for a warning before the run: tones
// at or beyond half the sample rate (they alias), and tones that coincide once sampled (their
// symbols cannot be told apart). One message for each fault found; none for parameters the
// block refuses anyway.
std::vector<std::string> toneWarnings(const host::ParameterValues& parameters, double sampleRate);

}  // namespace quenvarith::engine
