// The entry points of each kernel, as the table in kernel_table.cpp lists them. Each kernel has
// its own file, compiled for its instruction set alone and called only once the processor is
// known to run it. These declarations use plain pointers and no inline code, so that nothing
// compiled for a wider instruction set can leak into code that runs everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "block/tone_kernel/tone_synthesizer.h"

namespace quenvarith::tone_kernel {

// std::cos and std::sin per sample (plain.cpp): the reference the others are held to.
namespace plain {
double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flush(ToneSynthesisState& state);
double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy);
void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n);
}  // namespace plain

// 4 lanes with AVX2 and FMA (avx2.cpp).
namespace avx2 {
double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flush(ToneSynthesisState& state);
double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy);
void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n);
}  // namespace avx2

// 8 lanes with AVX-512F (avx512.cpp).
namespace avx512 {
double appendSymbol(ToneSynthesisState& state, double phase, double step, int32_t count);
double appendFrame(ToneSynthesisState& state, const ToneFrame& frame, double phase);
void flush(ToneSynthesisState& state);
double appendWholeFrame(const ToneFrame& frame, double phase, double* samples, double* copy);
void advanceTones(double* tonePhase, const double* phaseStep, std::size_t toneCount, double n);
}  // namespace avx512

}  // namespace quenvarith::tone_kernel
