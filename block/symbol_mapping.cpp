#include "block/symbol_mapping.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include "block/conversion.h"
#include "block/parameters.h"
#include "block/work_vectors.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quenvarith {

namespace {

constexpr const char* kInputNotBinary = "Input must be binary.";
constexpr const char* kInputOutOfRange = "Input must be an integer in the range of 0 to M-1.";
constexpr const char* kInvalidInputType = "Invalid input type.";

// Undoes the Gray code of a k-bit word: prefix XOR from the most significant bit down.
uint32_t grayDecode(uint32_t word, int32_t bitsPerSymbol) {
  for (int32_t shift = 1; shift < bitsPerSymbol; shift *= 2) {
    word ^= word >> static_cast<uint32_t>(shift);
  }
  return word;
}

// The value tests, each for one value and, on x86-64, for two at a time (all ones in each lane
// where the test holds).

// Whether a value is 0 or 1 (-0 counts as 0).
struct IsBit {
  bool operator()(double value) const { return value == 0.0 || value == 1.0; }
#if defined(__SSE2__)
  __m128d operator()(__m128d values) const {
    return _mm_or_pd(_mm_cmpeq_pd(values, _mm_setzero_pd()),
                     _mm_cmpeq_pd(values, _mm_set1_pd(1.0)));
  }
#endif
};

// Whether a value is a whole number from 0 to `largest` (at most 2^31), without a call to
// floor: adding 2^52 to a value in [0, 2^52) is exact only when the value is whole.
struct IsSymbolValue {
  static constexpr double kTwoPow52 = 4503599627370496.0;
  double largest;

  bool operator()(double value) const {
    return value >= 0.0 && value <= largest && (value + kTwoPow52) - kTwoPow52 == value;
  }
#if defined(__SSE2__)
  __m128d operator()(__m128d values) const {
    const __m128d twoPow52 = _mm_set1_pd(kTwoPow52);
    const __m128d whole = _mm_cmpeq_pd(_mm_sub_pd(_mm_add_pd(values, twoPow52), twoPow52), values);
    return _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(values, _mm_setzero_pd()),
                                 _mm_cmple_pd(values, _mm_set1_pd(largest))),
                      whole);
  }
#endif
};

// Whether `test` holds for every value, two at a time where the processor allows. The input
// is checked whole before it is mapped, and only input that fails is walked again to find
// where: the usual frame takes no branch per value.
template <typename Test>
[[gnu::always_inline]] inline bool holdsForAll(std::span<const double> values, Test test) {
  std::size_t checked = 0;
#if defined(__SSE2__)
  __m128d holds = _mm_castsi128_pd(_mm_set1_epi32(-1));
  for (; checked + 2 <= values.size(); checked += 2) {
    holds = _mm_and_pd(holds, test(_mm_loadu_pd(values.data() + checked)));
  }
  if (_mm_movemask_pd(holds) != 0x3) {
    return false;
  }
#endif
  for (; checked < values.size(); ++checked) {
    if (!test(values[checked])) {
      return false;
    }
  }
  return true;
}

// Bit 52 of a double's pattern: set in 1.0, clear in +0 and -0.
inline uint32_t bitOf(double value) {
  return static_cast<uint32_t>((std::bit_cast<uint64_t>(value) >> 52U) & 1U);
}

#if defined(__SSE2__)
// The bits of four values known to be bits, as four 32-bit lanes: bit 52 of each pattern is bit
// 20 of its high half.
[[gnu::always_inline]] inline __m128i bitsOfFour(const double* values) {
  const __m128 high =
      _mm_shuffle_ps(_mm_castpd_ps(_mm_loadu_pd(values)), _mm_castpd_ps(_mm_loadu_pd(values + 2)),
                     _MM_SHUFFLE(3, 1, 3, 1));
  return _mm_and_si128(_mm_srli_epi32(_mm_castps_si128(high), 20), _mm_set1_epi32(1));
}

// Two two-bit words from their four bits, the first bit of each in lanes 0 and 2: 2 * lane 0 +
// lane 1 and 2 * lane 2 + lane 3, Gray-decoded where asked, in the low two lanes.
[[gnu::always_inline]] inline __m128i pairWords(__m128i bits, bool gray) {
  __m128i words = _mm_add_epi32(_mm_slli_epi32(bits, 1), _mm_srli_epi64(bits, 32));
  if (gray) {  // the prefix XOR of two bits: w ^ (w >> 1)
    words = _mm_xor_si128(words, _mm_srli_epi32(words, 1));
  }
  return _mm_shuffle_epi32(words, _MM_SHUFFLE(3, 1, 2, 0));
}

// Four symbols at a time for k = 1 and k = 2, the common binary and 4-ary cases; returns how
// many symbols it wrote, a multiple of four.
template <int32_t Bits>
[[gnu::always_inline]] inline std::size_t mapFourSymbolsAtATime(const double* input, bool gray,
                                                                std::span<int32_t> symbols) {
  static_assert(Bits == 1 || Bits == 2);
  std::size_t symbol = 0;
  for (; symbol + 4 <= symbols.size(); symbol += 4) {
    const double* values = input + symbol * Bits;
    __m128i words = bitsOfFour(values);  // k = 1: a bit is its own word, Gray or not
    if constexpr (Bits == 2) {
      words = _mm_unpacklo_epi64(pairWords(words, gray), pairWords(bitsOfFour(values + 4), gray));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(symbols.data() + symbol), words);
  }
  return symbol;
}
#endif

// k bits per symbol, most significant first, every value known to be a bit. `Bits` is k where
// the caller knows it, so that the loop over the bits of a symbol is written out; 0 for any k.
template <int32_t Bits>
[[gnu::always_inline]] inline void mapCheckedBits(const double* input, int32_t bitsPerSymbol,
                                                  bool gray, std::span<int32_t> symbols) {
  const int32_t k = Bits > 0 ? Bits : bitsPerSymbol;
  std::size_t symbol = 0;
#if defined(__SSE2__)
  if constexpr (Bits == 1 || Bits == 2) {
    symbol = mapFourSymbolsAtATime<Bits>(input, gray, symbols);
  }
#endif
  for (; symbol < symbols.size(); ++symbol) {
    // k <= 30 for any 32-bit M, so the word always fits.
    uint32_t word = 0;
    const double* bits = input + static_cast<std::ptrdiff_t>(symbol) * k;
    for (int32_t bit = 0; bit < k; ++bit) {
      word = word * 2U + bitOf(bits[bit]);
    }
    symbols[symbol] = static_cast<int32_t>(gray ? grayDecode(word, k) : word);
  }
}

[[gnu::always_inline]] inline void mapCheckedBits(const double* input, int32_t bitsPerSymbol,
                                                  bool gray, std::span<int32_t> symbols) {
  switch (bitsPerSymbol) {
    case 1:
      return mapCheckedBits<1>(input, bitsPerSymbol, gray, symbols);
    case 2:
      return mapCheckedBits<2>(input, bitsPerSymbol, gray, symbols);
    case 3:
      return mapCheckedBits<3>(input, bitsPerSymbol, gray, symbols);
    case 4:
      return mapCheckedBits<4>(input, bitsPerSymbol, gray, symbols);
    default:
      return mapCheckedBits<0>(input, bitsPerSymbol, gray, symbols);
  }
}

// The symbols before the first group that holds a value other than 0 or 1; later entries are
// left as they were. Out of line, so that the usual binary frame saves no registers for it.
[[gnu::noinline, gnu::cold]] void mapBinaryPrefix(const double* input, int32_t bitsPerSymbol,
                                                  bool gray, std::span<int32_t> symbols) {
  const auto values = std::span(input, symbols.size() * static_cast<std::size_t>(bitsPerSymbol));
  std::size_t binarySymbols = 0;
  while (holdsForAll(values.subspan(binarySymbols * static_cast<std::size_t>(bitsPerSymbol),
                                    static_cast<std::size_t>(bitsPerSymbol)),
                     IsBit{})) {
    ++binarySymbols;
  }
  mapCheckedBits(input, bitsPerSymbol, gray, symbols.first(binarySymbols));
}

// k bits per symbol, most significant first. Writes symbols until a group holds a value other
// than 0 or 1 and returns whether every group was binary; later entries are left as they were.
bool mapBits(const double* input, int32_t bitsPerSymbol, bool gray, std::span<int32_t> symbols) {
  const auto values = std::span(input, symbols.size() * static_cast<std::size_t>(bitsPerSymbol));
  if (holdsForAll(values, IsBit{})) [[likely]] {
    mapCheckedBits(input, bitsPerSymbol, gray, symbols);
    return true;
  }
  mapBinaryPrefix(input, bitsPerSymbol, gray, symbols);
  return false;
}

// One symbol per value, every value known to be a whole number from 0 to M - 1.
[[gnu::always_inline]] inline void mapCheckedIntegers(const double* input,
                                                      std::span<int32_t> symbols) {
  std::size_t symbol = 0;
#if defined(__SSE2__)
  // Whole numbers below 2^31 convert exactly: four at a time, with no test of range.
  for (; symbol + 4 <= symbols.size(); symbol += 4) {
    const __m128i low = _mm_cvttpd_epi32(_mm_loadu_pd(input + symbol));
    const __m128i high = _mm_cvttpd_epi32(_mm_loadu_pd(input + symbol + 2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(symbols.data() + symbol),
                     _mm_unpacklo_epi64(low, high));
  }
#endif
  for (; symbol < symbols.size(); ++symbol) {
    symbols[symbol] = truncateToInt32(input[symbol]);
  }
}

// The symbols before the first value that is not a whole number from 0 to `largest`; later
// entries are left as they were. Out of line, as mapBinaryPrefix is.
[[gnu::noinline, gnu::cold]] void mapSymbolPrefix(const double* input, double largest,
                                                  std::span<int32_t> symbols) {
  const IsSymbolValue isSymbol{largest};
  std::size_t valid = 0;
  while (isSymbol(input[valid])) {
    ++valid;
  }
  mapCheckedIntegers(input, symbols.first(valid));
}

// One symbol per value. Writes symbols until a value is not a whole number from 0 to `largest`
// and returns whether every value was; later entries are left as they were.
bool mapIntegers(const double* input, double largest, std::span<int32_t> symbols) {
  if (holdsForAll(std::span(input, symbols.size()), IsSymbolValue{largest})) [[likely]] {
    mapCheckedIntegers(input, symbols);
    return true;
  }
  mapSymbolPrefix(input, largest, symbols);
  return false;
}

}  // namespace

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record, int32_t inputWidth) {
  return symbolLayout(readMappingParameters(record), inputWidth);
}

SymbolLayout deriveSymbolLayout(const DxpBlockRecord* record) {
  return deriveSymbolLayout(record, record->inputPorts[0].width);
}

void mapInputToSymbols(DxpBlockRecord* record) {
  const MappingParameters parameters = readMappingParameters(record);
  mapInputToSymbols(record, parameters, symbolLayout(parameters, record->inputPorts[0].width));
}

void mapInputToSymbols(DxpBlockRecord* record, const MappingParameters& parameters,
                       const SymbolLayout& layout) {
  const int32_t k = layout.bitsPerSymbol;
  const int32_t symbolCount = layout.symbolsPerFrame;
  if (symbolCount <= 0) {
    return;
  }
  const double* input = record->inputPorts[0].signal;
  auto* symbolIndices = static_cast<int32_t*>(
      record->workVectors[static_cast<int32_t>(WorkVector::SymbolIndices)].data);
  const auto symbols = std::span(symbolIndices, static_cast<std::size_t>(symbolCount));

  if (parameters.inputType == codeOf(InputType::Bit)) {
    const bool gray = parameters.bitToSymbolMapping == codeOf(BitToSymbolMapping::Gray);
    if (!mapBits(input, k, gray, symbols)) {
      dxpSetErrorStatus(record, kInputNotBinary);
    }
  } else if (parameters.inputType == codeOf(InputType::Integer)) {
    // As a double, so that no M makes M - 1 overflow.
    const double largestSymbol = static_cast<double>(parameters.mAryNumber) - 1.0;
    if (!mapIntegers(input, largestSymbol, symbols)) {
      dxpSetErrorStatus(record, kInputOutOfRange);
    }
  } else {
    dxpSetErrorStatus(record, kInvalidInputType);
  }
}

}  // namespace quenvarith
