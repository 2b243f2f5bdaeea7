// The run's output formats: text, CSV, raw cf32/cf64, SigMF recordings and SigMF archives. Every
// writer streams through a fixed buffer, so memory stays the same however long the run.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/simulation.h"

namespace quenvarith::engine {

enum class OutputFormat { Text, Csv, Cf32, Cf64, Sigmf, SigmfArchive };
enum class SigmfDatatype { Cf32, Cf64 };

// The format a file name asks for by its extension; text when it asks for none.
OutputFormat formatFromPath(std::string_view path);
std::optional<OutputFormat> parseOutputFormat(std::string_view word);
// The word that names `format`, as --format takes it.
std::string_view formatName(OutputFormat format);

// Whether this build has the libraries for SigMF archives (libarchive) and for SHA-512 hashes
// of the data (libcrypto).
bool archivesSupported();
bool sha512Supported();

// A SigMF recording's base name: `path` without a .sigmf-data, .sigmf-meta or .sigmf extension.
std::string sigmfBaseName(std::string_view path);
// True when `path` has the extension of a SigMF archive (.sigmf).
bool isSigmfArchive(std::string_view path);
// True when the base name of `path` names a file: not empty, "." or "..", which would give
// hidden files named by their extension alone.
bool namesARecording(std::string_view path);

// The files an output of `format` named `path` writes: none for standard output ("-"), the data
// and the meta file of a SigMF recording, `path` itself otherwise.
std::vector<std::string> outputFiles(OutputFormat format, const std::string& path);

// What the run was, recorded in the recording's own namespace as numbers and words.
struct RecordedRun {
  host::ParameterValues parameters;
  SignalMode signal = SignalMode::Frame;
  int32_t frameSize = 0;    // input values per step
  double symbolRate = 0.0;  // hertz
  std::vector<double> toneFrequencies;
  std::optional<uint64_t> seed;  // the generator's seed, with random input
};

// What a recording says about itself.
struct RecordingInfo {
  double sampleRate = 0.0;    // output samples per second
  double samplePeriod = 0.0;  // seconds between output samples
  std::string description;
  std::string recorder;
  SigmfDatatype sigmfDatatype = SigmfDatatype::Cf32;
  std::optional<RecordedRun> run;
  std::optional<double> centerFrequency;  // hertz, the capture's
  std::string datetime;                   // ISO 8601 UTC, the capture's start; empty: none
  std::string author;
  bool sha512 = false;  // the data's hash in the meta
};

// What a recording notes about a run that did not finish: at which output sample it ended, and
// why ("error" or "interrupted", and the message).
struct RunNote {
  uint64_t sample = 0;
  std::string label;
  std::string comment;
};

// Writes a run's output. Files written to regular paths are moved into place when the writer
// closes; a writer destroyed before that removes them and leaves what was there before.
class OutputWriter : public OutputSink {
 public:
  // Flushes what is buffered, completes the output (with `note`, when there is one and the
  // format has room for it) and moves its files into place. False when writing failed.
  virtual bool close(const RunNote* note) = 0;
};

// Opens the output: "-" is standard output (not for SigMF). Null, with `error`, on failure.
std::unique_ptr<OutputWriter> openOutput(OutputFormat format, const std::string& path,
                                         const RecordingInfo& info, std::string& error);

}  // namespace quenvarith::engine
