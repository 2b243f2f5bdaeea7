// The command line of quenvarith-run, parsed into what a run needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/output_formats.h"
#include "engine/simulation.h"

namespace quenvarith::cli {

// How an input file is read: whitespace-separated numbers, or raw bytes.
enum class InputFormat { Numbers, Bytes };

struct RunOptions {
  engine::RunSettings settings;
  bool mappingGiven = false;  // --mapping, which integer input does not use
  std::string input = "-";
  InputFormat inputFormat = InputFormat::Numbers;
  std::optional<std::string> message;  // modulated as its bytes instead of reading input
  std::optional<uint64_t> randomSymbols;
  uint64_t seed = 1;
  // A last step the input does not fill is completed with zeros: asked for, or implied by a
  // rate in hertz.
  bool pad = false;
  std::string saveInput;  // empty: the input values are not saved
  std::string output = "-";
  engine::OutputFormat format = engine::OutputFormat::Text;
  engine::SigmfDatatype sigmfDatatype = engine::SigmfDatatype::Cf32;
  std::optional<double> centerFrequency;  // hertz, for a SigMF capture
  bool datetime = false;                  // the capture's start time in a SigMF recording
  bool sha512 = false;                    // the data's SHA-512 in a SigMF recording
  std::string description;                // empty: the run's parameters
  std::string author;
  std::string plugin;  // empty: the one beside the program
  bool quiet = false;
  bool summary = false;  // the summary even when standard error is no terminal
  bool strict = false;   // warnings about the signal are usage errors
};

// Exit status of a usage error.
inline constexpr int kUsageExit = 2;

struct ParseResult {
  std::optional<RunOptions> options;  // set when the run should go ahead
  int exitCode = 0;                   // otherwise: 0 after --help, kUsageExit on a usage error
};

// Parses the arguments; help and usage errors are printed here.
ParseResult parseCommandLine(int argc, char** argv);

}  // namespace quenvarith::cli
