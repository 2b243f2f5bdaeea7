// Messages that more than one of the block's methods report. Each is one constant array, so that
// every method stores the same pointer in the error status.
#pragma once

namespace quenvarith {

inline constexpr char kWidthPropagationMessage[] = "Port width propagation failed.";

}  // namespace quenvarith
