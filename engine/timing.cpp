#include "engine/timing.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace quenvarith::engine {

namespace {

// How many units in the last place either way the exact frame period is searched for.
constexpr int kExactSearchUlps = 16;

// Shortest round-trip form, so that a message shows the value as given.
std::string formatHertz(double value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  return {text.data(), result.ptr};
}

bool positiveFinite(double value) {
  return std::isfinite(value) && value > 0.0;
}

// `value` moved by about index / 2 units in the last place, nearest first: 0, +1, -1, +2, -2, ...
double nearby(double value, int index) {
  const double toward = index % 2 == 1 ? std::numeric_limits<double>::infinity() : 0.0;
  for (int step = 0; step < (index + 1) / 2; ++step) {
    value = std::nextafter(value, toward);
  }
  return value;
}

// A frame period from which the block derives the symbol period T itself, where one is close by;
// else the plain product symbols x T. The block divides the frame period by the frame's values
// and multiplies by the values of a symbol, so the search is for an element period e with
// k x e = T, then for a frame period that divides into e.
double exactFramePeriod(double symbolPeriod, int32_t frameSize, int32_t valuesPerSymbol) {
  // A frame too short for one symbol is the block's to refuse; plan it as one.
  const auto symbols = static_cast<double>(std::max(frameSize / valuesPerSymbol, 1));
  const double product = symbolPeriod * symbols;
  const auto values = static_cast<double>(frameSize);
  const auto perSymbol = static_cast<double>(valuesPerSymbol);
  for (int i = 0; i <= 2 * kExactSearchUlps; ++i) {
    const double element = nearby(symbolPeriod / perSymbol, i);
    if (perSymbol * element != symbolPeriod) {
      continue;
    }
    for (int j = 0; j <= 2 * kExactSearchUlps; ++j) {
      const double frame = nearby(element * values, j);
      if (blockSymbolPeriod(frame, frameSize, valuesPerSymbol) == symbolPeriod) {
        return frame;
      }
    }
  }
  return product;
}

}  // namespace

double blockSymbolPeriod(double frameSampleTime, int32_t frameSize, int32_t valuesPerSymbol) {
  const double elementPeriod = frameSampleTime / static_cast<double>(frameSize);
  return static_cast<double>(valuesPerSymbol) * elementPeriod;
}

bool planTiming(const TimingRequest& request, TimingPlan& plan, std::string& error) {
  const int32_t perSymbol = request.valuesPerSymbol > 0 ? request.valuesPerSymbol : 1;
  plan = {};
  if (request.rate.kind == RateKind::None) {
    plan.frameSize = request.frameSize > 0 ? request.frameSize : perSymbol;
    plan.inputSampleTime = request.sampleTime;
    return true;
  }

  const double hertz = request.rate.hertz;
  const char* what = request.rate.kind == RateKind::SymbolRate ? "symbol rate" : "sample rate";
  if (!positiveFinite(hertz)) {
    error = std::string("the ") + what + " must be a positive, finite number of hertz";
    return false;
  }
  const auto samplesPerSymbol = static_cast<double>(request.samplesPerSymbol);
  double symbolPeriod = 0.0;
  if (request.rate.kind == RateKind::SymbolRate) {
    plan.symbolRate = hertz;
    plan.sampleRate = hertz * samplesPerSymbol;
    symbolPeriod = 1.0 / hertz;
  } else {
    plan.sampleRate = hertz;
    plan.symbolRate = hertz / samplesPerSymbol;
    symbolPeriod = samplesPerSymbol / hertz;
  }
  if (!positiveFinite(symbolPeriod) || !positiveFinite(symbolPeriod / samplesPerSymbol) ||
      !positiveFinite(plan.symbolRate) || !positiveFinite(plan.sampleRate)) {
    error = std::string("a ") + what + " of " + formatHertz(hertz) +
            " Hz gives no positive, finite sample period";
    return false;
  }

  if (request.signal == SignalMode::Sample) {
    plan.frameSize = perSymbol;
    plan.inputSampleTime = symbolPeriod;
    return true;
  }
  plan.frameSize = request.frameSize > 0 ? request.frameSize : kDefaultSymbolsPerFrame * perSymbol;
  plan.inputSampleTime = exactFramePeriod(symbolPeriod, plan.frameSize, perSymbol);
  if (!positiveFinite(plan.inputSampleTime)) {
    error = std::string("a ") + what + " of " + formatHertz(hertz) + " Hz with frames of " +
            std::to_string(plan.frameSize) + " values gives no positive, finite frame period";
    return false;
  }
  return true;
}

}  // namespace quenvarith::engine
