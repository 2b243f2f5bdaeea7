// Bytes as input values, read as the command reads its bytes format: with bit input every byte
// gives eight bits, most significant first; with integer input every byte is one symbol, 0 to
// 255.
#pragma once

#include <cstddef>
#include <span>

namespace quenvarith::python {

enum class ByteUnit { Bits, Symbol };

inline constexpr size_t kBitsPerByte = 8;

// Input values that `byteCount` bytes make.
constexpr size_t valuesOfBytes(size_t byteCount, ByteUnit unit) {
  return unit == ByteUnit::Bits ? byteCount * kBitsPerByte : byteCount;
}

// Writes the values of `bytes` to `values`, which holds valuesOfBytes(bytes.size(), unit).
void expandBytes(std::span<const std::byte> bytes, ByteUnit unit, std::span<double> values);

}  // namespace quenvarith::python
