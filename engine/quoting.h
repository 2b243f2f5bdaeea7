// Text that comes from outside the program (input tokens, file names, what a plug-in or the
// system says), made fit for a terminal and for a recording's metadata: valid UTF-8 in which no
// character moves the cursor, sets the terminal's state or hides itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quenvarith::engine {

// `text` with every byte that is not part of valid UTF-8, and every byte of a control, format or
// direction-changing character, written as \xHH. Plain text comes back as it is.
std::string printable(std::string_view text);

// `text`, printable, between single quotes; longer than `limit` bytes, it is cut on a character
// boundary at or before `limit` and "..." follows.
std::string quote(std::string_view text, size_t limit = std::string_view::npos);

}  // namespace quenvarith::engine
