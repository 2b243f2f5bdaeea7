// Numbers written as the bytes of a little-endian file, whatever the host's own order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstring>

namespace quenvarith::engine {

// The bytes of `value` at `out`, least significant first. `Bits` is the unsigned integer as
// wide as `Element`.
template <typename Element, typename Bits>
void storeLittleEndian(char* out, Element value) {
  const auto bits = std::bit_cast<Bits>(value);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &bits, sizeof(bits));
  } else {
    for (size_t byte = 0; byte < sizeof(bits); ++byte) {
      out[byte] = static_cast<char>((bits >> (8U * byte)) & 0xffU);
    }
  }
}

}  // namespace quenvarith::engine
