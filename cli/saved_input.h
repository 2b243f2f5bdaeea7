// The run's input values written back as numbers, so that a run of random or byte input can be
// repeated from a file and its bits compared with what a receiver decodes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/output_files.h"

namespace quenvarith::cli {

class SavedInput {
 public:
  // One line per symbol of `valuesPerSymbol` values.
  explicit SavedInput(int32_t valuesPerSymbol);

  // Opens a temporary file beside `path` (written directly for a FIFO or a device); false, with
  // `error()`, when it cannot. A file not closed is removed with the object.
  bool open(const std::string& path);
  bool write(std::span<const double> values);
  // Completes the file and moves it into place.
  bool close();
  [[nodiscard]] const std::string& error() const { return file_.error(); }

 private:
  bool flush();

  int32_t valuesPerSymbol_;
  int32_t column_ = 0;
  std::vector<char> buffer_;
  engine::OutputFile file_;
};

}  // namespace quenvarith::cli
