// The Date: field of a message as a point in time, so that a written file can carry the time
// the message was sent. RFC 5322 dates with the obsolete forms that old Japanese mail uses:
// two- and three-digit years, named zones (UT, GMT, EST ... PDT, JST, military letters; other
// alphabetic zones as -0000), a missing day name, missing seconds, comments such as "(JST)",
// and a missing zone (taken as UTC). Anything else gives no time.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace brindle {

std::optional<std::time_t> ParseMailDate(std::string_view text);

}  // namespace brindle
