#include "saved_input.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace quenvarith::cli {

namespace {

constexpr size_t kBufferSize = size_t{1} << 16;
// Room for one value in its shortest round-trip form and a separator.
constexpr size_t kValueRoom = 32;
constexpr const char* kPartialSuffix = ".partial";

}  // namespace

SavedInput::SavedInput(int32_t valuesPerSymbol)
    : valuesPerSymbol_(valuesPerSymbol < 1 ? 1 : valuesPerSymbol) {
  buffer_.reserve(kBufferSize);
}

SavedInput::~SavedInput() {
  if (file_ != nullptr) {
    (void)std::fclose(file_);
    std::error_code ignored;
    std::filesystem::remove(temporaryPath_, ignored);
  }
}

bool SavedInput::fail(const std::string& what) {
  if (error_.empty()) {
    error_ = what + " '" + path_ + "': " + std::strerror(errno);
  }
  return false;
}

bool SavedInput::open(const std::string& path) {
  path_ = path;
  temporaryPath_ = path + kPartialSuffix;
  file_ = std::fopen(temporaryPath_.c_str(), "wb");
  if (file_ == nullptr) {
    return fail("cannot write the saved input");
  }
  return true;
}

bool SavedInput::write(std::span<const double> values) {
  for (const double value : values) {
    if (buffer_.size() + kValueRoom > kBufferSize) {
      if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
        return fail("cannot write the saved input");
      }
      buffer_.clear();
    }
    // The shortest form that reads back as the same double.
    std::array<char, kValueRoom> text{};
    const auto result = std::to_chars(text.data(), text.data() + text.size() - 1, value);
    char* end = result.ptr;
    *end++ = ++column_ == valuesPerSymbol_ ? '\n' : ' ';
    column_ = column_ == valuesPerSymbol_ ? 0 : column_;
    buffer_.insert(buffer_.end(), text.data(), end);
  }
  return true;
}

bool SavedInput::close() {
  if (file_ == nullptr) {
    return error_.empty();
  }
  if (column_ != 0) {  // a symbol cut short by the end of the input ends its line too
    buffer_.back() = '\n';
    column_ = 0;
  }
  bool ok = std::fwrite(buffer_.data(), 1, buffer_.size(), file_) == buffer_.size() ||
            fail("cannot write the saved input");
  buffer_.clear();
  ok = (std::fclose(file_) == 0 || fail("cannot write the saved input")) && ok;
  file_ = nullptr;
  std::error_code error;
  if (ok) {
    std::filesystem::rename(temporaryPath_, path_, error);
    if (error) {
      error_ = "cannot move the saved input into place at '" + path_ + "': " + error.message();
      ok = false;
    }
  }
  if (!ok) {
    std::filesystem::remove(temporaryPath_, error);
  }
  return ok;
}

}  // namespace quenvarith::cli
