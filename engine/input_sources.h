// The run's input: whitespace-separated numbers or raw bytes read from a stream, or random
// symbols. All stream: memory stays the same however long the input.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/mersenne_twister.h"
#include "engine/simulation.h"

namespace quenvarith::engine {

// An input that can also be read in chunks of any size, for callers of the step interface.
class ValueStream : public InputSource {
 public:
  // Fills as much of `values` as the input holds: fewer than asked only at the end of the input
  // or on bad input (then `error()` says why).
  virtual size_t readAvailable(std::span<double> values) = 0;
};

// Parses a whole token as a double (an optional sign, decimal or exponent notation, inf, nan);
// false when any of it is not part of a number.
bool parseNumber(std::string_view token, double& value);

class TextInput final : public ValueStream {
 public:
  // Reads `stream`, which the caller keeps open for the lifetime of this object.
  explicit TextInput(std::FILE* stream);
  ReadResult read(std::span<double> values) override;
  size_t readAvailable(std::span<double> values) override;
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] uint64_t bytesConsumed() const { return bytesConsumed_; }
  // The line of the last value read; 0 before the first.
  [[nodiscard]] uint64_t lastLine() const { return lastLine_; }
  // The lines that the values of the last step read with `read` came from, first and last.
  [[nodiscard]] uint64_t stepFirstLine() const { return stepFirstLine_; }
  [[nodiscard]] uint64_t stepLastLine() const { return stepLastLine_; }
  // As `readAvailable`, with the line of every value read in `lines` (as long as `values`).
  size_t readAvailable(std::span<double> values, std::span<uint64_t> lines);

 private:
  enum class TokenResult { Token, End, Failed };
  TokenResult nextToken(std::string_view& token, uint64_t& line);
  bool refill();

  static constexpr size_t kBufferSize = size_t{1} << 16;
  std::FILE* stream_;
  std::unique_ptr<char[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool endOfStream_ = false;
  std::string readError_;  // of a read that failed, reported once what came before is read
  uint64_t line_ = 1;
  uint64_t lastLine_ = 0;
  uint64_t firstLine_ = 0;  // of the first value of the last read
  uint64_t bytesConsumed_ = 0;
  uint64_t stepFirstLine_ = 0;
  uint64_t stepLastLine_ = 0;
  std::string error_;
};

// Uniformly random symbols from a seeded generator whose sequence is the same on every
// platform: k bits per symbol, most significant first, for bit input; integers 0 to M-1 else.
class RandomInput final : public ValueStream {
 public:
  RandomInput(uint64_t symbols, uint64_t seed, int32_t valuesPerSymbol, bool bits,
              int32_t mAryNumber);
  ReadResult read(std::span<double> values) override;
  size_t readAvailable(std::span<double> values) override;
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] uint64_t symbolsGenerated() const { return symbolsGenerated_; }

 private:
  // A uniformly distributed symbol below the alphabet's size.
  uint64_t nextSymbol();
  // Symbols as values while whole ones fit in `values`: the values filled.
  size_t readWholeSymbols(std::span<double> values);

  MersenneTwister64 generator_;
  // Draws are made a state's worth at a time and taken from here.
  std::array<uint64_t, MersenneTwister64::kStateWords> draws_{};
  size_t nextDraw_ = draws_.size();
  uint64_t symbolsLeft_;
  uint64_t symbolsGenerated_ = 0;
  int32_t valuesPerSymbol_;
  bool bits_;
  uint64_t alphabet_;
  // Draws at or above this are rejected: what lies above the last whole run of alphabet_ values.
  uint64_t drawLimit_;
  uint64_t symbol_ = 0;
  int32_t valuesLeftInSymbol_ = 0;
  std::string error_;
};

// Raw bytes as input values: with bit input, eight bits of every byte, most significant first;
// with integer input, every byte one symbol 0 to 255.
class BytesInput final : public ValueStream {
 public:
  // Reads `stream`, which the caller keeps open for the lifetime of this object.
  BytesInput(std::FILE* stream, bool bits);
  // Reads the bytes of `bytes`.
  BytesInput(std::string bytes, bool bits);
  ReadResult read(std::span<double> values) override;
  size_t readAvailable(std::span<double> values) override;
  [[nodiscard]] const std::string& error() const override { return error_; }
  [[nodiscard]] uint64_t bytesConsumed() const { return bytesConsumed_; }

 private:
  bool nextByte(unsigned char& byte);

  static constexpr size_t kBufferSize = size_t{1} << 16;
  static constexpr unsigned kBitsPerByte = 8;
  std::FILE* stream_ = nullptr;
  bool bits_;
  std::unique_ptr<unsigned char[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool endOfStream_ = false;
  std::string readError_;
  std::string text_;
  bool inMemory_ = false;
  unsigned char byte_ = 0;
  unsigned bitsLeft_ = 0;
  uint64_t bytesConsumed_ = 0;
  std::string error_;
};

}  // namespace quenvarith::engine
