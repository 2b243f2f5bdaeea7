#include "input_sources.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "engine/quoting.h"

namespace quenvarith::engine {

namespace {

constexpr size_t kShownTokenLength = 40;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Bit `place` of `symbol`, counted from the least significant; beyond the word's 64, zero.
uint64_t bitOf(uint64_t symbol, size_t place) {
  return place < 64 ? (symbol >> place) & 1U : 0;
}

std::string incompleteStep(size_t filled, size_t width) {
  return "the input is not a whole number of steps: " + std::to_string(filled) +
         " value(s) left after the last whole step of " + std::to_string(width) + " values";
}

// What a step read with `readAvailable` came to: all `wanted` values, none at the end of the
// input, or a failure: the input's own `error`, or an input that ends inside the step, which
// `error` then says (after `where()`, built only then).
template <typename Where>
ReadResult wholeStep(size_t filled, size_t wanted, std::string& error, Where where) {
  if (!error.empty()) {
    return ReadResult::Failed;
  }
  if (filled == 0 && wanted != 0) {
    return ReadResult::End;
  }
  if (filled < wanted) {
    error = where() + incompleteStep(filled, wanted);
    return ReadResult::Failed;
  }
  return ReadResult::Filled;
}

// Reads up to `wanted` bytes. A short read is the end of the input or a failed read (a signal's
// included): it sets `endOfStream`, so that no read follows it, which could wait for input for
// ever, and keeps a failure's message in `readError`, reported once what came before is read.
size_t readChunk(std::FILE* stream, void* buffer, size_t wanted, bool& endOfStream,
                 std::string& readError) {
  const size_t count = std::fread(buffer, 1, wanted, stream);
  if (count < wanted) {
    if (std::ferror(stream) != 0) {
      readError = std::string("cannot read the input: ") + std::strerror(errno);
    }
    endOfStream = true;
  }
  return count;
}

}  // namespace

bool parseNumber(std::string_view token, double& value) {
  // from_chars takes no plus sign; a number may have one.
  if (!token.empty() && token.front() == '+') {
    token.remove_prefix(1);
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) {
      return false;
    }
  }
  if (token.empty()) {
    return false;
  }
  const char* last = token.data() + token.size();
  const auto [end, status] = std::from_chars(token.data(), last, value);
  // A value beyond the double range, or below its normal range, is still a number, but
  // from_chars leaves `value` alone then. Whether it is huge or tiny shows in its digits as a
  // whole (0.000...1 has no exponent), so let strtod round it: to infinity, zero or the nearest
  // subnormal. The program never changes the "C" locale strtod reads with.
  if (status == std::errc::result_out_of_range && end == last) {
    value = std::strtod(std::string(token).c_str(), nullptr);
    return true;
  }
  return status == std::errc() && end == last;
}

TextInput::TextInput(std::FILE* stream)
    : stream_(stream), buffer_(std::make_unique<char[]>(kBufferSize)) {}

bool TextInput::refill() {
  // Keep the unread part at the front of the buffer, then fill up behind it.
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (endOfStream_ || end_ == kBufferSize) {
    error_ = readError_;
    return false;
  }
  const size_t count =
      readChunk(stream_, buffer_.get() + end_, kBufferSize - end_, endOfStream_, readError_);
  end_ += count;
  if (count == 0) {
    error_ = readError_;
    return false;
  }
  return true;
}

TextInput::TokenResult TextInput::nextToken(std::string_view& token, uint64_t& line) {
  // Skip white space, counting lines.
  for (;;) {
    while (begin_ < end_ && isSpace(buffer_[begin_])) {
      if (buffer_[begin_] == '\n') {
        ++line_;
      }
      ++begin_;
      ++bytesConsumed_;
    }
    if (begin_ < end_) {
      break;
    }
    if (!refill()) {
      return error_.empty() ? TokenResult::End : TokenResult::Failed;
    }
  }
  // The token runs to the next white space; it may continue in the next chunk.
  size_t length = 0;
  for (;;) {
    while (begin_ + length < end_ && !isSpace(buffer_[begin_ + length])) {
      ++length;
    }
    if (begin_ + length < end_ || endOfStream_) {
      break;
    }
    const size_t before = end_ - begin_;
    if (!refill()) {
      if (!error_.empty()) {
        return TokenResult::Failed;
      }
      if (end_ - begin_ == before && !endOfStream_) {
        error_ = "line " + std::to_string(line_) + ": a token of more than " +
                 std::to_string(kBufferSize) + " characters is not a number";
        return TokenResult::Failed;
      }
    }
  }
  token = std::string_view(buffer_.get() + begin_, length);
  line = line_;
  begin_ += length;
  bytesConsumed_ += length;
  return TokenResult::Token;
}

size_t TextInput::readAvailable(std::span<double> values) {
  return readAvailable(values, {});
}

size_t TextInput::readAvailable(std::span<double> values, std::span<uint64_t> lines) {
  if (!error_.empty()) {
    return 0;
  }
  for (size_t filled = 0; filled < values.size(); ++filled) {
    std::string_view token;
    uint64_t line = 0;
    const TokenResult result = nextToken(token, line);
    if (result != TokenResult::Token) {
      return filled;
    }
    if (!parseNumber(token, values[filled])) {
      error_ = "line " + std::to_string(line) + ": " + engine::quote(token, kShownTokenLength) +
               " is not a number";
      return filled;
    }
    lastLine_ = line;
    if (filled == 0) {
      firstLine_ = line;
    }
    if (filled < lines.size()) {
      lines[filled] = line;
    }
  }
  return values.size();
}

ReadResult TextInput::read(std::span<double> values) {
  if (!error_.empty()) {
    return ReadResult::Failed;
  }
  const ReadResult result = wholeStep(readAvailable(values), values.size(), error_, [this] {
    return "line " + std::to_string(lastLine_) + ": ";
  });
  if (result != ReadResult::Filled) {
    return result;
  }
  stepFirstLine_ = firstLine_;
  stepLastLine_ = lastLine_;
  return ReadResult::Filled;
}

// Inline, as the read of whole symbols takes one at a time.
inline uint64_t RandomInput::nextSymbol() {
  uint64_t draw = 0;
  do {
    if (nextDraw_ == draws_.size()) [[unlikely]] {
      generator_.draw(draws_);
      nextDraw_ = 0;
    }
    draw = draws_[nextDraw_++];
  } while (draw >= drawLimit_);
  // The same remainder by a mask for a power of two, as every bit alphabet is: no division.
  const uint64_t mask = alphabet_ - 1;
  return (alphabet_ & mask) == 0 ? draw & mask : draw % alphabet_;
}

RandomInput::RandomInput(uint64_t symbols, uint64_t seed, int32_t valuesPerSymbol, bool bits,
                         int32_t mAryNumber)
    : generator_(seed),
      symbolsLeft_(symbols),
      valuesPerSymbol_(valuesPerSymbol < 1 ? 1 : valuesPerSymbol),
      bits_(bits),
      alphabet_(bits ? uint64_t{1}
                           << static_cast<unsigned>(valuesPerSymbol_ < 63 ? valuesPerSymbol_ : 63)
                     : static_cast<uint64_t>(mAryNumber < 1 ? 1 : mAryNumber)),
      // Rejecting the top, incomplete run of values keeps every symbol equally likely; taken
      // once, as it costs a division.
      drawLimit_(std::numeric_limits<uint64_t>::max() -
                 std::numeric_limits<uint64_t>::max() % alphabet_) {}

ReadResult RandomInput::read(std::span<double> values) {
  if (!error_.empty()) {
    return ReadResult::Failed;
  }
  if (symbolsLeft_ == 0 && valuesLeftInSymbol_ == 0) {
    return ReadResult::End;
  }
  const auto perSymbol = static_cast<uint64_t>(valuesPerSymbol_);
  const bool plenty = symbolsLeft_ >= values.size();  // a symbol has at least one value
  const uint64_t available =
      plenty ? values.size()
             : symbolsLeft_ * perSymbol + static_cast<uint64_t>(valuesLeftInSymbol_);
  if (available < values.size()) {
    error_ = incompleteStep(static_cast<size_t>(available), values.size());
    return ReadResult::Failed;
  }
  (void)readAvailable(values);
  return ReadResult::Filled;
}

size_t RandomInput::readWholeSymbols(std::span<double> values) {
  const auto perSymbol = static_cast<size_t>(valuesPerSymbol_);
  const uint64_t symbols = std::min<uint64_t>(values.size() / perSymbol, symbolsLeft_);
  double* out = values.data();
  if (bits_) {
    for (uint64_t symbol = 0; symbol < symbols; ++symbol, out += perSymbol) {
      const uint64_t bits = nextSymbol();
      for (size_t i = 0; i < perSymbol; ++i) {
        out[i] = static_cast<double>(bitOf(bits, perSymbol - 1 - i));
      }
    }
  } else {
    for (uint64_t symbol = 0; symbol < symbols; ++symbol) {
      out[symbol] = static_cast<double>(nextSymbol());
    }
  }
  symbolsLeft_ -= symbols;
  symbolsGenerated_ += symbols;
  return static_cast<size_t>(symbols) * perSymbol;
}

size_t RandomInput::readAvailable(std::span<double> values) {
  const size_t whole = valuesLeftInSymbol_ == 0 ? readWholeSymbols(values) : 0;
  // What is left: the end of a symbol begun in the last read, and the start of one that the
  // next read ends.
  for (size_t filled = whole; filled < values.size(); ++filled) {
    if (valuesLeftInSymbol_ == 0) {
      if (symbolsLeft_ == 0) {
        return filled;
      }
      symbol_ = nextSymbol();
      valuesLeftInSymbol_ = valuesPerSymbol_;
      --symbolsLeft_;
      ++symbolsGenerated_;
    }
    --valuesLeftInSymbol_;
    values[filled] =
        bits_ ? static_cast<double>(bitOf(symbol_, static_cast<size_t>(valuesLeftInSymbol_)))
              : static_cast<double>(symbol_);
  }
  return values.size();
}

BytesInput::BytesInput(std::FILE* stream, bool bits)
    : stream_(stream), bits_(bits), buffer_(std::make_unique<unsigned char[]>(kBufferSize)) {}

BytesInput::BytesInput(std::string bytes, bool bits)
    : bits_(bits), text_(std::move(bytes)), inMemory_(true) {}

bool BytesInput::nextByte(unsigned char& byte) {
  if (inMemory_) {
    if (bytesConsumed_ == text_.size()) {
      return false;
    }
    byte = static_cast<unsigned char>(text_[bytesConsumed_++]);
    return true;
  }
  if (begin_ == end_) {
    // After a short read (the end of the input, or a failure) nothing more is read.
    if (endOfStream_) {
      error_ = readError_;
      return false;
    }
    end_ = readChunk(stream_, buffer_.get(), kBufferSize, endOfStream_, readError_);
    begin_ = 0;
    if (end_ == 0) {
      error_ = readError_;
      return false;
    }
  }
  byte = buffer_[begin_++];
  ++bytesConsumed_;
  return true;
}

size_t BytesInput::readAvailable(std::span<double> values) {
  for (size_t filled = 0; filled < values.size(); ++filled) {
    if (bitsLeft_ == 0) {
      if (!nextByte(byte_)) {
        return filled;
      }
      bitsLeft_ = bits_ ? kBitsPerByte : 1;
    }
    --bitsLeft_;
    values[filled] = bits_ ? static_cast<double>((static_cast<unsigned>(byte_) >> bitsLeft_) & 1u)
                           : static_cast<double>(byte_);
  }
  return values.size();
}

ReadResult BytesInput::read(std::span<double> values) {
  return wholeStep(readAvailable(values), values.size(), error_, [] { return std::string(); });
}

}  // namespace quenvarith::engine
