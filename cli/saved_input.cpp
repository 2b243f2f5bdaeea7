#include "saved_input.h"

#include <array>
#include <charconv>

namespace quenvarith::cli {

namespace {

constexpr size_t kBufferSize = size_t{1} << 16;
// Room for one value in its shortest round-trip form and a separator.
constexpr size_t kValueRoom = 32;

}  // namespace

SavedInput::SavedInput(int32_t valuesPerSymbol)
    : valuesPerSymbol_(valuesPerSymbol < 1 ? 1 : valuesPerSymbol) {
  buffer_.reserve(kBufferSize);
}

bool SavedInput::open(const std::string& path) {
  return file_.open(path, false);
}

bool SavedInput::flush() {
  const bool written = buffer_.empty() || file_.write(buffer_.data(), buffer_.size());
  buffer_.clear();
  return written;
}

bool SavedInput::write(std::span<const double> values) {
  for (const double value : values) {
    if (buffer_.size() + kValueRoom > kBufferSize && !flush()) {
      return false;
    }
    // The shortest form that reads back as the same double.
    std::array<char, kValueRoom> text{};
    char* end = std::to_chars(text.data(), text.data() + text.size() - 1, value).ptr;
    column_ = column_ + 1 == valuesPerSymbol_ ? 0 : column_ + 1;
    *end++ = column_ == 0 ? '\n' : ' ';
    buffer_.insert(buffer_.end(), text.data(), end);
  }
  return true;
}

bool SavedInput::close() {
  if (column_ != 0) {  // a symbol cut short by the end of the input ends its line too
    buffer_.back() = '\n';
    column_ = 0;
  }
  return flush() && file_.finish() && file_.moveIntoPlace();
}

}  // namespace quenvarith::cli
