// What a run will send, in a radio engineer's terms, shown on standard error before the run.
#pragma once

#include <string>

#include "engine/simulation.h"

namespace quenvarith::cli {

// A few lines: M and bits per symbol, mapping, tone frequencies, symbol and sample rates,
// samples per symbol, modulation index, phase mode and the occupied bandwidth by Carson's rule.
std::string runSummary(const engine::RunSettings& settings, const engine::SignalLayout& layout);

}  // namespace quenvarith::cli
