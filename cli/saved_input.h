// The run's input values written back as numbers, so that a run of random or byte input can be
// repeated from a file and its bits compared with what a receiver decodes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace quenvarith::cli {

class SavedInput {
 public:
  // One line per symbol of `valuesPerSymbol` values.
  explicit SavedInput(int32_t valuesPerSymbol);
  SavedInput(const SavedInput&) = delete;
  SavedInput& operator=(const SavedInput&) = delete;
  SavedInput(SavedInput&&) = delete;
  SavedInput& operator=(SavedInput&&) = delete;
  // A file left unclosed is removed: it never appears under its name incomplete.
  ~SavedInput();

  // Opens a temporary file beside `path`; false, with `error()`, when it cannot.
  bool open(const std::string& path);
  bool write(std::span<const double> values);
  // Completes the file and moves it to its name.
  bool close();
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  bool fail(const std::string& what);

  int32_t valuesPerSymbol_;
  int32_t column_ = 0;
  std::vector<char> buffer_;
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string temporaryPath_;
  std::string error_;
};

}  // namespace quenvarith::cli
