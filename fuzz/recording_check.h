// What the command harnesses check of the command's messages and recordings: no message holds a
// control byte or anything but valid UTF-8, and every recording written can be read back, its
// meta as JSON whose sample count matches its data file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/output_files.h"
#include "engine/output_formats.h"
#include "engine/quoting.h"
#include "fuzz/fuzz_support.h"

namespace quenvarith::fuzz {

// Every line of `text` is as the quoting helper would print it.
inline void requirePrintable(std::string_view text) {
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    require(engine::printable(line) == line, "a message holds no control byte and only UTF-8");
    text.remove_prefix(end == text.size() ? end : end + 1);
  }
}

inline std::string readWhole(const std::filesystem::path& path) {
  std::ifstream stream(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// A folder of this process's own on a memory file system where there is one, emptied for
// every recording and removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code error;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, error)) {
      base = std::filesystem::temp_directory_path();
    }
    path_ = base / ("quenvarith-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ScratchFolder(ScratchFolder&&) = delete;
  ScratchFolder& operator=(ScratchFolder&&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  [[nodiscard]] const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const std::filesystem::path& scratchFolder() {
  static const ScratchFolder folder;
  return folder.path();
}

constexpr uint64_t kSamplesPerStep = 8;

// Writes `steps` steps of 8 complex samples as the output `name` (a file name, no folder) of
// `format` into the scratch folder, closes it with a note of `label` and `comment` when `label`
// is not empty, and reads back what was written.
inline void checkRecording(const std::string& name, engine::OutputFormat format,
                           const engine::RecordingInfo& info, uint64_t steps,
                           const std::string& label, const std::string& comment) {
  const uint64_t samples = steps * kSamplesPerStep;
  const engine::RunNote note{samples, label, comment};
  const std::filesystem::path& folder = scratchFolder();
  std::string error;
  {
    const auto writer = engine::openOutput(format, (folder / name).string(), info, error);
    if (writer == nullptr) {
      requirePrintable(error);  // a name too long for the file system, say
    } else {
      const std::vector<double> step(2 * kSamplesPerStep, 0.5);
      for (uint64_t written = 0; written < steps; ++written) {
        require(writer->write(step), "the scratch folder takes the samples");
      }
      require(writer->close(label.empty() ? nullptr : &note), "the recording closes");
    }
  }
  const std::vector<std::string> files = engine::outputFiles(format, (folder / name).string());
  if (format == engine::OutputFormat::Sigmf && std::filesystem::exists(files[1])) {
    nlohmann::json meta;
    try {
      meta = nlohmann::json::parse(readWhole(files[1]));
    } catch (const nlohmann::json::exception&) {
      fail("every meta parses as JSON");
    }
    const uint64_t bytesPerSample = info.sigmfDatatype == engine::SigmfDatatype::Cf64 ? 16 : 8;
    const uint64_t stored = std::filesystem::file_size(files[0]) / bytesPerSample;
    require(stored == samples, "the data holds every sample written");
    if (!label.empty()) {
      require(
          meta["annotations"].size() == 1 && meta["annotations"][0]["core:sample_start"] == stored,
          "the meta's sample count matches its data");
    }
    require(meta["global"]["core:sample_rate"].is_number(), "the sample rate is a number");
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    require(entry.path().filename().string().find(engine::kPartialInfix) == std::string::npos,
            "no partial file is left once the output is closed");
  }
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove_all(entry.path());
  }
}

}  // namespace quenvarith::fuzz
