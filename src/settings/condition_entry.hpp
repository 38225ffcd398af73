// Turning the text typed for a condition into condition records: the condition dialog and the
// command line both call this, so the two agree on what "all words" means.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/find_type.hpp"

namespace brindle {

// The words of an all-words text: full-width spaces count as spaces, blanks at both ends are
// trimmed, the text is split at spaces (a word that begins with a double quote runs to its
// closing quote and may hold spaces), each word loses the bytes of 0x20 or less at its ends,
// and empty words are dropped.
std::vector<std::string> SplitAllWords(std::string_view text);

// One condition holding the whole text (exact phrase), or one condition per word of the text
// (all words), each with the given scope and flags. An empty text, or one without words, gives
// no conditions.
std::vector<TFindType> MakeFindTypes(std::string_view text, bool all_words, std::uint8_t find_pos,
                                     bool capital, bool regexp);

}  // namespace brindle
