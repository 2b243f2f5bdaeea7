// The command line of quenvarith-run, parsed into what a run needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/output_formats.h"
#include "engine/simulation.h"

namespace quenvarith::cli {

struct RunOptions {
  engine::RunSettings settings;
  std::string input = "-";
  std::optional<uint64_t> randomSymbols;
  uint64_t seed = 1;
  std::string output = "-";
  engine::OutputFormat format = engine::OutputFormat::Text;
  engine::SigmfDatatype sigmfDatatype = engine::SigmfDatatype::Cf32;
  std::string plugin;  // empty: the one beside the program
  bool quiet = false;
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
