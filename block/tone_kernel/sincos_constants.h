// The constants of our vector sincos (avx2_sincos.h, avx512_sincos.h): one reduction and one
// pair of polynomials at every width. Each sits in memory as the vector it is loaded into: a
// full-width load costs no vector operation, while the broadcast from one value that a compiler
// makes of a uniform constant costs as much as an addition on some processors (Zen 4), and
// there are some twenty per vector. Plain C++, so any file may include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace quenvarith::tone_kernel {

// `Width` copies of a value, aligned as a vector of that many lanes.
template <typename Value, std::size_t Width>
struct alignas(Width * sizeof(Value)) Lanes {
  Value value[Width];
};

template <std::size_t Width, typename Value>
constexpr Lanes<Value, Width> inEveryLane(Value value) {
  Lanes<Value, Width> lanes{};
  for (Value& lane : lanes.value) {
    lane = value;
  }
  return lanes;
}

// The largest |x| the reduction handles; other lanes need another routine.
inline constexpr double kSinCosReducedLimit = 2147483648.0;  // 2^31

// The reduction by pi/2 (Cody-Waite, pi/2 in three parts) and the classic minimax kernels on
// [-pi/4, pi/4] (those of the freely redistributable fdlibm), `Width` lanes each.
template <std::size_t Width>
struct SinCosConstants {
  using Doubles = Lanes<double, Width>;
  using Integers = Lanes<int64_t, Width>;

  Doubles twoOverPi = inEveryLane<Width>(0.63661977236758134308);
  // 1.5 * 2^52: adding it rounds to an integer, and the integer sits in the low mantissa bits.
  Doubles roundingShift = inEveryLane<Width>(6755399441055744.0);
  // pi/2 in three parts.
  Doubles halfPi1 = inEveryLane<Width>(1.5707963267948966);       // 0x1.921fb54442d18p0
  Doubles halfPi2 = inEveryLane<Width>(6.123233995736766e-17);    // 0x1.1a62633145c07p-54
  Doubles halfPi3 = inEveryLane<Width>(-1.4973849048591698e-33);  // -0x1.f1976b7ed8fbcp-110
  Doubles s1 = inEveryLane<Width>(-1.66666666666666324348e-01);
  Doubles s2 = inEveryLane<Width>(8.33333333332248946124e-03);
  Doubles s3 = inEveryLane<Width>(-1.98412698298579493134e-04);
  Doubles s4 = inEveryLane<Width>(2.75573137070700676789e-06);
  Doubles s5 = inEveryLane<Width>(-2.50507602534068634195e-08);
  Doubles s6 = inEveryLane<Width>(1.58969099521155010221e-10);
  Doubles c1 = inEveryLane<Width>(4.16666666666666019037e-02);
  Doubles c2 = inEveryLane<Width>(-1.38888888888741095749e-03);
  Doubles c3 = inEveryLane<Width>(2.48015872894767294178e-05);
  Doubles c4 = inEveryLane<Width>(-2.75573143513906633035e-07);
  Doubles c5 = inEveryLane<Width>(2.08757232129817482790e-09);
  Doubles c6 = inEveryLane<Width>(-1.13596475577881948265e-11);
  Doubles half = inEveryLane<Width>(0.5);
  Doubles one = inEveryLane<Width>(1.0);
  Doubles reducedLimit = inEveryLane<Width>(kSinCosReducedLimit);
  Integers oddQuadrant = inEveryLane<Width>(int64_t{1});
  Integers negatedQuadrant = inEveryLane<Width>(int64_t{2});
  Integers signBit = inEveryLane<Width>(std::numeric_limits<int64_t>::min());
  Integers magnitudeBits = inEveryLane<Width>(std::numeric_limits<int64_t>::max());
};

template <std::size_t Width>
inline constexpr SinCosConstants<Width> kSinCosConstants{};

}  // namespace quenvarith::tone_kernel
