#include "python/byte_values.h"

#include <cassert>

namespace quenvarith::python {

void expandBytes(std::span<const std::byte> bytes, ByteUnit unit, std::span<double> values) {
  assert(values.size() == valuesOfBytes(bytes.size(), unit));
  if (unit == ByteUnit::Symbol) {
    for (size_t i = 0; i < bytes.size(); ++i) {
      values[i] = static_cast<double>(std::to_integer<unsigned>(bytes[i]));
    }
    return;
  }
  size_t next = 0;
  for (const std::byte byte : bytes) {
    for (size_t bit = kBitsPerByte; bit-- > 0;) {
      values[next++] = static_cast<double>(std::to_integer<unsigned>(byte >> bit) & 1U);
    }
  }
}

}  // namespace quenvarith::python
