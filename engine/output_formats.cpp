#include "output_formats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/little_endian.h"
#include "engine/modulation.h"
#include "engine/narrowing.h"
#include "engine/output_files.h"
#include "engine/quoting.h"
#include "engine/sha512.h"
#include "engine/sigmf_archive.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace quenvarith::engine {

namespace {

constexpr size_t kBufferSize = size_t{1} << 16;
// Room one formatted line needs at most: an index, a time and two numbers of %.17g.
constexpr size_t kLineRoom = 128;
constexpr int kSignificantDigits = 17;
constexpr std::string_view kSigmfVersion = "1.2.0";
constexpr std::string_view kDataExtension = ".sigmf-data";
constexpr std::string_view kMetaExtension = ".sigmf-meta";
constexpr std::string_view kArchiveExtension = ".sigmf";
// The recording's own namespace in its meta.
constexpr std::string_view kExtensionName = "quenvarith";
constexpr std::string_view kExtensionVersion = "1.0.0";
constexpr std::string_view kGenerator = "mt19937_64";

char lowerCase(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Extensions are matched without regard to case: NAME.CF32 is as much cf32 as NAME.cf32.
bool endsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         std::ranges::equal(text.substr(text.size() - suffix.size()), suffix,
                            [](char a, char b) { return lowerCase(a) == lowerCase(b); });
}

// A file written through a fixed buffer.
class BufferedFile {
 public:
  BufferedFile() : buffer_(kBufferSize) {}

  bool open(const std::string& path, bool binary, std::string& error) {
    if (!file_.open(path, binary)) {
      error = file_.error();
      return false;
    }
    return true;
  }

  // Room for `bytes` more, flushing first when needed.
  char* reserve(size_t bytes) {
    if (used_ + bytes > buffer_.size() && !flush()) {
      return nullptr;
    }
    return buffer_.data() + used_;
  }
  void commit(size_t bytes) { used_ += bytes; }

  // Every byte written from now on is also given to `digest`.
  void hashWith(Sha512Digest* digest) { digest_ = digest; }

  bool flush() {
    if (used_ > 0) {
      if (digest_ != nullptr) {
        digest_->update(std::span<const char>(buffer_.data(), used_));
      }
      (void)file_.write(buffer_.data(), used_);
      used_ = 0;
    }
    return file_.error().empty();
  }

  // Writes what is buffered and closes the file, which keeps its temporary name.
  bool finish() {
    const bool flushed = flush();
    return file_.finish() && flushed;
  }
  bool moveIntoPlace() { return file_.moveIntoPlace(); }

  [[nodiscard]] const std::string& temporary() const { return file_.temporary(); }
  [[nodiscard]] const std::string& error() const { return file_.error(); }

 private:
  std::vector<char> buffer_;
  size_t used_ = 0;
  OutputFile file_;
  Sha512Digest* digest_ = nullptr;
};

// %.17g, without the locale that printf consults.
char* formatDouble(char* first, char* last, double value) {
  return std::to_chars(first, last, value, std::chars_format::general, kSignificantDigits).ptr;
}

// A writer whose whole output is one buffered file, which has no room for a note.
class FileWriter : public OutputWriter {
 public:
  bool close(const RunNote* /*note*/) override { return finish() && moveIntoPlace(); }
  bool finish() { return file_.finish(); }
  bool moveIntoPlace() { return file_.moveIntoPlace(); }
  [[nodiscard]] const std::string& error() const override { return file_.error(); }

 protected:
  BufferedFile file_;
};

class TextWriter : public FileWriter {
 public:
  bool open(const std::string& path, std::string& error) { return file_.open(path, false, error); }

  bool write(std::span<const double> samples) override {
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
      char* line = file_.reserve(kLineRoom);
      if (line == nullptr) {
        return false;
      }
      char* const last = line + kLineRoom;
      char* cursor = formatDouble(line, last, samples[i]);
      *cursor++ = ' ';
      cursor = formatDouble(cursor, last, samples[i + 1]);
      *cursor++ = '\n';
      file_.commit(static_cast<size_t>(cursor - line));
    }
    return true;
  }
};

class CsvWriter : public FileWriter {
 public:
  explicit CsvWriter(double samplePeriod) : samplePeriod_(samplePeriod) {}

  bool open(const std::string& path, std::string& error) {
    if (!file_.open(path, false, error)) {
      return false;
    }
    constexpr std::string_view kHeader = "index,time,re,im\n";
    char* header = file_.reserve(kHeader.size());
    std::memcpy(header, kHeader.data(), kHeader.size());
    file_.commit(kHeader.size());
    return true;
  }

  bool write(std::span<const double> samples) override {
    for (size_t i = 0; i + 1 < samples.size(); i += 2) {
      char* line = file_.reserve(kLineRoom);
      if (line == nullptr) {
        return false;
      }
      char* const last = line + kLineRoom;
      char* cursor = std::to_chars(line, last, index_).ptr;
      *cursor++ = ',';
      cursor = formatDouble(cursor, last, static_cast<double>(index_) * samplePeriod_);
      *cursor++ = ',';
      cursor = formatDouble(cursor, last, samples[i]);
      *cursor++ = ',';
      cursor = formatDouble(cursor, last, samples[i + 1]);
      *cursor++ = '\n';
      file_.commit(static_cast<size_t>(cursor - line));
      ++index_;
    }
    return true;
  }

 private:
  double samplePeriod_;
  uint64_t index_ = 0;
};

// Interleaved I/Q, little-endian, as 32-bit or 64-bit floats.
class RawWriter : public FileWriter {
 public:
  explicit RawWriter(bool doublePrecision)
      : doublePrecision_(doublePrecision), narrowing_(fastestVectorLevel()) {}

  bool open(const std::string& path, std::string& error) { return file_.open(path, true, error); }
  void hashWith(Sha512Digest* digest) { file_.hashWith(digest); }
  // The file being written until it is moved into place.
  [[nodiscard]] const std::string& temporary() const { return file_.temporary(); }

  bool write(std::span<const double> samples) override {
    const size_t elementBytes = doublePrecision_ ? sizeof(double) : sizeof(float);
    // As many values at a time as the buffer holds.
    while (!samples.empty()) {
      const size_t count = std::min(samples.size(), kBufferSize / elementBytes);
      char* out = file_.reserve(count * elementBytes);
      if (out == nullptr) {
        return false;
      }
      if (doublePrecision_) {
        if constexpr (std::endian::native == std::endian::little) {
          std::memcpy(out, samples.data(), count * sizeof(double));
        } else {
          for (size_t i = 0; i < count; ++i) {
            storeLittleEndian<double, uint64_t>(out + i * elementBytes, samples[i]);
          }
        }
      } else {
        narrowToFloats(samples.first(count), out, narrowing_);
      }
      file_.commit(count * elementBytes);
      samples = samples.subspan(count);
    }
    return true;
  }

 private:
  bool doublePrecision_;
  VectorLevel narrowing_;
};

// The value `words` name for a coded parameter, else the number itself.
nlohmann::ordered_json wordOrNumber(std::span<const ParameterWord> words, double value) {
  const std::string_view word = wordOfValue(words, value);
  return word.empty() ? nlohmann::ordered_json(value) : nlohmann::ordered_json(word);
}

// The run in the recording's own namespace, as numbers and words.
void recordRun(const RecordedRun& run, nlohmann::ordered_json& global) {
  const std::string prefix = std::string(kExtensionName) + ":";
  const host::ParameterValues& p = run.parameters;
  global[prefix + "m_ary_number"] = p.mAryNumber;
  global[prefix + "input_type"] = wordOrNumber(kInputTypeWords, p.inputType);
  global[prefix + "bit_to_symbol_mapping"] = wordOrNumber(kMappingWords, p.bitToSymbolMapping);
  global[prefix + "frequency_separation"] = p.frequencySeparation;
  global[prefix + "phase_continuity"] = wordOrNumber(kPhaseWords, p.phaseContinuity);
  global[prefix + "samples_per_symbol"] = p.samplesPerSymbol;
  global[prefix + "signal"] = run.signal == SignalMode::Frame ? "frame" : "sample";
  global[prefix + "frame_size"] = run.frameSize;
  global[prefix + "symbol_rate"] = run.symbolRate;
  global[prefix + "tone_frequencies"] = run.toneFrequencies;
  if (run.seed) {
    global[prefix + "seed"] = *run.seed;
    global[prefix + "generator"] = kGenerator;
  }
}

std::string sigmfMeta(const RecordingInfo& info, const std::string& sha512, const RunNote* note) {
  nlohmann::ordered_json meta;
  nlohmann::ordered_json& global = meta["global"];
  global["core:datatype"] = info.sigmfDatatype == SigmfDatatype::Cf64 ? "cf64_le" : "cf32_le";
  global["core:version"] = kSigmfVersion;
  global["core:sample_rate"] = info.sampleRate;
  global["core:num_channels"] = 1;
  // JSON takes valid UTF-8 only, and a recording's texts are shown to people.
  global["core:description"] = printable(info.description);
  if (!info.author.empty()) {
    global["core:author"] = printable(info.author);
  }
  global["core:recorder"] = printable(info.recorder);
  if (!sha512.empty()) {
    global["core:sha512"] = sha512;
  }
  if (info.run) {
    global["core:extensions"] = nlohmann::ordered_json::array(
        {{{"name", kExtensionName}, {"version", kExtensionVersion}, {"optional", true}}});
    recordRun(*info.run, global);
  }
  nlohmann::ordered_json capture{{"core:sample_start", 0}};
  if (info.centerFrequency) {
    capture["core:frequency"] = *info.centerFrequency;
  }
  if (!info.datetime.empty()) {
    capture["core:datetime"] = info.datetime;
  }
  meta["captures"] = nlohmann::ordered_json::array({capture});
  meta["annotations"] = nlohmann::ordered_json::array();
  if (note != nullptr) {
    meta["annotations"].push_back({{"core:sample_start", note->sample},
                                   {"core:label", printable(note->label)},
                                   {"core:comment", printable(note->comment)}});
  }
  return meta.dump(2) + "\n";
}

// NAME.sigmf-data written as raw samples; NAME.sigmf-meta written when the recording closes.
// As an archive, the data waits in a temporary file beside NAME.sigmf until both go into the
// archive, since a tar member needs its size before its contents.
class SigmfWriter : public OutputWriter {
 public:
  SigmfWriter(const RecordingInfo& info, bool archive)
      : info_(info), data_(info.sigmfDatatype == SigmfDatatype::Cf64), archive_(archive) {}

  // Both files are opened at once, so that a meta or an archive that cannot be written stops the
  // run before it starts.
  bool open(const std::string& path, std::string& error) {
    if (info_.sha512) {
      data_.hashWith(&digest_);
    }
    if (archive_) {
      const std::string archivePath = outputFiles(OutputFormat::SigmfArchive, path)[0];
      name_ = std::filesystem::path(sigmfBaseName(archivePath)).filename().string();
      if (!data_.open(archivePath, error)) {
        return false;
      }
      if (!meta_.open(archivePath, true)) {
        error = meta_.error();
        return false;
      }
      if (meta_.target().empty() || data_.temporary().empty()) {
        error = "cannot write the archive " + meta_.name() + ": it must be a regular file";
        return false;
      }
      return true;
    }
    const std::vector<std::string> files = outputFiles(OutputFormat::Sigmf, path);
    metaPath_ = files[1];
    if (!data_.open(files[0], error)) {
      return false;
    }
    if (!meta_.open(metaPath_, false)) {
      error = meta_.error();
      return false;
    }
    return true;
  }

  bool write(std::span<const double> samples) override { return data_.write(samples); }

  bool close(const RunNote* note) override {
    if (!data_.finish()) {
      return false;
    }
    std::string sha512;
    if (info_.sha512) {
      sha512 = digest_.finishHex();
      if (sha512.empty()) {
        error_ = "cannot compute the SHA-512 of the recording's data";
        return false;
      }
    }
    const std::string text = sigmfMeta(info_, sha512, note);
    if (archive_) {
      // The archive is written where the meta file would be; then the data's temporary file
      // goes, now, since a program ended by a signal after the close destroys nothing.
      const bool archived = writeSigmfArchive(meta_, name_, text, data_.temporary(), error_);
      std::error_code ignored;
      std::filesystem::remove(data_.temporary(), ignored);
      if (!archived || !meta_.finish()) {
        error_ = error_.empty() ? meta_.error() : error_;
        return false;
      }
      if (!meta_.moveIntoPlace()) {
        error_ = meta_.error();
        return false;
      }
      return true;
    }
    if (!meta_.write(text.data(), text.size()) || !meta_.finish()) {
      error_ = meta_.error();
      return false;
    }
    // The earlier meta goes first: whatever stops the program from here on can leave the new
    // data without a meta, but never beside the meta of another recording.
    if (!removeIfPresent(metaPath_, error_) || !data_.moveIntoPlace()) {
      return false;
    }
    if (!meta_.moveIntoPlace()) {
      error_ = meta_.error();
      return false;
    }
    return true;
  }

  [[nodiscard]] const std::string& error() const override {
    return error_.empty() ? data_.error() : error_;
  }

 private:
  RecordingInfo info_;
  RawWriter data_;
  bool archive_;
  Sha512Digest digest_;
  OutputFile meta_;  // the meta file, or the archive
  std::string metaPath_;
  std::string name_;  // the recording's name inside an archive
  std::string error_;
};

template <typename Writer, typename... Arguments>
std::unique_ptr<OutputWriter> openWriter(const std::string& path, std::string& error,
                                         Arguments&&... arguments) {
  auto writer = std::make_unique<Writer>(std::forward<Arguments>(arguments)...);
  if (!writer->open(path, error)) {
    return nullptr;
  }
  return writer;
}

}  // namespace

OutputFormat formatFromPath(std::string_view path) {
  if (endsWith(path, kDataExtension) || endsWith(path, kMetaExtension)) {
    return OutputFormat::Sigmf;
  }
  if (endsWith(path, kArchiveExtension)) {
    return OutputFormat::SigmfArchive;
  }
  if (endsWith(path, ".csv")) {
    return OutputFormat::Csv;
  }
  if (endsWith(path, ".cf32")) {
    return OutputFormat::Cf32;
  }
  if (endsWith(path, ".cf64")) {
    return OutputFormat::Cf64;
  }
  return OutputFormat::Text;
}

std::optional<OutputFormat> parseOutputFormat(std::string_view word) {
  if (word == "text") {
    return OutputFormat::Text;
  }
  if (word == "csv") {
    return OutputFormat::Csv;
  }
  if (word == "cf32") {
    return OutputFormat::Cf32;
  }
  if (word == "cf64") {
    return OutputFormat::Cf64;
  }
  if (word == "sigmf") {
    return OutputFormat::Sigmf;
  }
  if (word == "sigmf-archive") {
    return OutputFormat::SigmfArchive;
  }
  return std::nullopt;
}

std::string_view formatName(OutputFormat format) {
  switch (format) {
    case OutputFormat::Text:
      return "text";
    case OutputFormat::Csv:
      return "csv";
    case OutputFormat::Cf32:
      return "cf32";
    case OutputFormat::Cf64:
      return "cf64";
    case OutputFormat::Sigmf:
      return "sigmf";
    case OutputFormat::SigmfArchive:
      return "sigmf-archive";
  }
  return "text";
}

bool archivesSupported() {
  return sigmfArchiveAvailable();
}

bool sha512Supported() {
  return Sha512Digest::available();
}

std::string sigmfBaseName(std::string_view path) {
  if (endsWith(path, kDataExtension)) {
    path.remove_suffix(kDataExtension.size());
  }
  if (endsWith(path, kMetaExtension)) {
    path.remove_suffix(kMetaExtension.size());
  }
  if (endsWith(path, kArchiveExtension)) {
    path.remove_suffix(kArchiveExtension.size());
  }
  return std::string(path);
}

bool isSigmfArchive(std::string_view path) {
  return endsWith(path, kArchiveExtension);
}

bool namesARecording(std::string_view path) {
  const std::filesystem::path name = std::filesystem::path(sigmfBaseName(path)).filename();
  return !name.empty() && name != "." && name != "..";
}

std::vector<std::string> outputFiles(OutputFormat format, const std::string& path) {
  if (path == "-") {
    return {};
  }
  if (format == OutputFormat::Sigmf) {
    const std::string base = sigmfBaseName(path);
    return {base + std::string(kDataExtension), base + std::string(kMetaExtension)};
  }
  if (format == OutputFormat::SigmfArchive) {
    return {sigmfBaseName(path) + std::string(kArchiveExtension)};
  }
  return {path};
}

std::unique_ptr<OutputWriter> openOutput(OutputFormat format, const std::string& path,
                                         const RecordingInfo& info, std::string& error) {
  switch (format) {
    case OutputFormat::Text:
      return openWriter<TextWriter>(path, error);
    case OutputFormat::Csv:
      return openWriter<CsvWriter>(path, error, info.samplePeriod);
    case OutputFormat::Cf32:
      return openWriter<RawWriter>(path, error, false);
    case OutputFormat::Cf64:
      return openWriter<RawWriter>(path, error, true);
    case OutputFormat::Sigmf:
    case OutputFormat::SigmfArchive:
      if (path == "-") {
        error = "a SigMF recording needs an output name";
        return nullptr;
      }
      return openWriter<SigmfWriter>(path, error, info, format == OutputFormat::SigmfArchive);
  }
  error = "unknown output format";
  return nullptr;
}

}  // namespace quenvarith::engine
