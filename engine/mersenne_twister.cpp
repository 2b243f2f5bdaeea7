#include "engine/mersenne_twister.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace quenvarith::engine {

namespace {

// The parameters of mt19937_64.
constexpr size_t kWords = MersenneTwister64::kStateWords;
constexpr size_t kShift = 156;  // the word each new word takes the place of is mixed with
constexpr uint64_t kTwistMatrix = 0xB5026F5AA96619E9;
constexpr uint64_t kUpperMask = ~uint64_t{0} << 31;
constexpr uint64_t kLowerMask = ~kUpperMask;
constexpr uint64_t kSeedFactor = 6364136223846793005;
constexpr unsigned kSeedShift = 62;
constexpr unsigned kTemperU = 29;
constexpr uint64_t kTemperD = 0x5555555555555555;
constexpr unsigned kTemperS = 17;
constexpr uint64_t kTemperB = 0x71D67FFFEDA60000;
constexpr unsigned kTemperT = 37;
constexpr uint64_t kTemperC = 0xFFF7EEE000000000;
constexpr unsigned kTemperL = 43;

uint64_t twistWord(uint64_t word, uint64_t next, uint64_t far) {
  const uint64_t joined = (word & kUpperMask) | (next & kLowerMask);
  return far ^ (joined >> 1U) ^ ((0 - (joined & 1U)) & kTwistMatrix);
}

uint64_t temperWord(uint64_t y) {
  y ^= (y >> kTemperU) & kTemperD;
  y ^= (y << kTemperS) & kTemperB;
  y ^= (y << kTemperT) & kTemperC;
  return y ^ (y >> kTemperL);
}

// The words of the next state from `from` on, in order: each from itself, the word after it and
// the word kShift ahead, which wraps round into the words already new.
void twistPlainly(uint64_t* state, size_t from) {
  size_t i = from;
  for (; i < kWords - kShift; ++i) {
    state[i] = twistWord(state[i], state[i + 1], state[i + kShift]);
  }
  for (; i < kWords - 1; ++i) {
    state[i] = twistWord(state[i], state[i + 1], state[i + kShift - kWords]);
  }
  state[kWords - 1] = twistWord(state[kWords - 1], state[0], state[kShift - 1]);
}

void temperPlainly(const uint64_t* words, uint64_t* out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    out[i] = temperWord(words[i]);
  }
}

#if defined(__x86_64__) || defined(__i386__)

constexpr size_t kLanes = 4;

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i load(const uint64_t* words) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
}

[[gnu::target("avx2"), gnu::always_inline]] inline __m256i splat(uint64_t word) {
  return _mm256_set1_epi64x(static_cast<long long>(word));
}

// Four words of the next state at `i`: the words kShift apart never overlap within four, and
// the word after the fourth is still the old one.
[[gnu::target("avx2"), gnu::always_inline]] inline void twistFour(uint64_t* state, size_t i,
                                                                  size_t far) {
  const __m256i joined = _mm256_or_si256(_mm256_and_si256(load(state + i), splat(kUpperMask)),
                                         _mm256_and_si256(load(state + i + 1), splat(kLowerMask)));
  const __m256i odd =
      _mm256_sub_epi64(_mm256_setzero_si256(), _mm256_and_si256(joined, _mm256_set1_epi64x(1)));
  const __m256i mixed =
      _mm256_xor_si256(_mm256_srli_epi64(joined, 1), _mm256_and_si256(odd, splat(kTwistMatrix)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(state + i),
                      _mm256_xor_si256(load(state + far), mixed));
}

[[gnu::target("avx2")]] void twistWithAvx2(uint64_t* state) {
  size_t i = 0;
  for (; i + kLanes <= kWords - kShift; i += kLanes) {
    twistFour(state, i, i + kShift);
  }
  // The last four would read the word past the end: they and the rest go one by one.
  for (; i + kLanes < kWords; i += kLanes) {
    twistFour(state, i, i + kShift - kWords);
  }
  // GCC leaves the upper halves dirty before a tail call, and every SSE instruction after
  // would then wait on them: the caller's, and libm's.
  _mm256_zeroupper();
  twistPlainly(state, i);
}

[[gnu::target("avx2")]] void temperWithAvx2(const uint64_t* words, uint64_t* out, size_t count) {
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    __m256i y = load(words + i);
    y = _mm256_xor_si256(y, _mm256_and_si256(_mm256_srli_epi64(y, kTemperU), splat(kTemperD)));
    y = _mm256_xor_si256(y, _mm256_and_si256(_mm256_slli_epi64(y, kTemperS), splat(kTemperB)));
    y = _mm256_xor_si256(y, _mm256_and_si256(_mm256_slli_epi64(y, kTemperT), splat(kTemperC)));
    y = _mm256_xor_si256(y, _mm256_srli_epi64(y, kTemperL));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), y);
  }
  _mm256_zeroupper();  // as above
  temperPlainly(words + i, out + i, count - i);
}

#else

void twistWithAvx2(uint64_t* state) {
  twistPlainly(state, 0);
}

void temperWithAvx2(const uint64_t* words, uint64_t* out, size_t count) {
  temperPlainly(words, out, count);
}

#endif

}  // namespace

MersenneTwister64::MersenneTwister64(uint64_t seed, VectorLevel level)
    : avx2_(level == VectorLevel::Avx2 && runsHere(level)) {
  state_[0] = seed;
  for (size_t i = 1; i < kWords; ++i) {
    state_[i] = kSeedFactor * (state_[i - 1] ^ (state_[i - 1] >> kSeedShift)) + i;
  }
}

void MersenneTwister64::draw(std::span<uint64_t> out) {
  size_t done = 0;
  while (done < out.size()) {
    if (next_ == kWords) {
      if (avx2_) {
        twistWithAvx2(state_.data());
      } else {
        twistPlainly(state_.data(), 0);
      }
      next_ = 0;
    }
    const size_t count = std::min(out.size() - done, kWords - next_);
    if (avx2_) {
      temperWithAvx2(state_.data() + next_, out.data() + done, count);
    } else {
      temperPlainly(state_.data() + next_, out.data() + done, count);
    }
    next_ += count;
    done += count;
  }
}

}  // namespace quenvarith::engine
