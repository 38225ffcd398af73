// The line-list rule shared by the mailbox reader, the parsed message and the writer: a line
// ends at CR, at LF or at CR LF (CR LF counts once; LF CR is two line ends); a line end at the
// very end of the text does not start a further, empty line; an empty text gives no lines.
// Joining puts CR LF after every line, the last one included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindle {

using Lines = std::vector<std::string>;

Lines SplitLines(std::string_view text);
std::string JoinLines(const Lines& lines);

// Whether the text is already what JoinLines(SplitLines(text)) gives: every CR followed by LF,
// every LF preceded by CR, and (unless empty) ending with CR LF.
bool IsCrLfText(std::string_view text);
// JoinLines(SplitLines(text)) in one pass without a list, and without a copy when the text
// already has that form.
std::string NormalizeLineEnds(std::string text);

}  // namespace brindle
