// A run's pace, in the host's terms or in hertz. The host offers the block's input a sample
// time: a frame period for frame signals, a symbol period for sample signals. A radio engineer
// gives a symbol rate or a sample rate instead; then the frame size only decides how many
// symbols go into one step, and the signal is the same whatever it is.
#pragma once

#include <cstdint>
#include <string>

namespace quenvarith::engine {

enum class SignalMode { Frame, Sample };

enum class RateKind {
  None,        // the host's terms: the sample time offered to the input port
  SymbolRate,  // symbols per second
  SampleRate,  // output samples per second: N times the symbol rate
};

struct Rate {
  RateKind kind = RateKind::None;
  double hertz = 0.0;
};

// Symbols per frame when a rate in hertz leaves the frame size to the engine.
inline constexpr int32_t kDefaultSymbolsPerFrame = 1024;

// What the engine offers the block, and the rates the run then has.
struct TimingPlan {
  int32_t frameSize = 0;         // input values per step, frame signals
  double inputSampleTime = 0.0;  // offered to the input port
  double symbolRate = 0.0;       // hertz; 0 in the host's terms, known only once set up
  double sampleRate = 0.0;       // hertz; 0 likewise
};

struct TimingRequest {
  SignalMode signal = SignalMode::Frame;
  int32_t frameSize = 0;  // 0: one symbol's values, or kDefaultSymbolsPerFrame with a rate
  double sampleTime = 1.0;
  Rate rate;
  int32_t valuesPerSymbol = 1;   // log2 M for bit input, 1 for integers
  int32_t samplesPerSymbol = 1;  // N
};

// Plans the timing, or says in `error` why the request gives no usable one (a rate that is
// not a positive, finite number, or whose derived periods are not).
bool planTiming(const TimingRequest& request, TimingPlan& plan, std::string& error);

// The symbol period the block derives from a frame: the element period, times the values of a
// symbol. Exposed so that a plan can be checked against it.
double blockSymbolPeriod(double frameSampleTime, int32_t frameSize, int32_t valuesPerSymbol);

}  // namespace quenvarith::engine
