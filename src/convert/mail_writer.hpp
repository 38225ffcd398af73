// Naming and writing one output file. The name comes from a running number, the subject or a
// parameter value found after a marker in the body or the header; a name that is taken gets
// "(n)" from a per-base counter that lives for the whole run. Files are created exclusively, so
// a name is "taken" exactly when creation finds it there, and nothing is ever replaced.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "model/basic_mail.hpp"
#include "model/naming.hpp"
#include "platform/line_list.hpp"  // NormalizeLineEnds: the text as written

namespace brindle {

struct TNamingRule {
    TNamingType type = TNamingType::Number;
    // Shift_JIS. For the header place it is a header key ("X-ORDER-ID:"), see PrepareParamText.
    std::string param_text;
    TNamingPos pos = TNamingPos::Body;
    TNamingLine line = TNamingLine::SameLine;
};

// The marker as the search needs it: for the header place upper-cased (ASCII letters only)
// and ended with a colon, the form of a header key; for the body place unchanged.
std::string PrepareParamText(std::string_view text, TNamingPos pos);

// The run's naming state: kept across source files and output folders.
struct TNamingState {
    std::int32_t running_number = 0;
    // Native base name (after MakeNativeBaseName) to the next number to try.
    std::map<std::string, std::int32_t> duplicate_counters;
};

// The parameter value of a message (Shift_JIS); empty when the marker is not found.
std::string FindParameterValue(const TNamingRule& rule, const TBasicMail& mail);

// The Shift_JIS base that the rule gives for a message (subject or parameter value, made safe);
// not used for running numbers.
std::string NamingBase(const TNamingRule& rule, const TBasicMail& mail);

// Names, creates and writes the message's file in folder (a native path ending with '/') and
// answers its full path. Sets the file's modification time to the message's Date: when that
// parses. Raises Exception when the file cannot be created or written (no file is left).
std::string WriteMail(TNamingState& state, const TNamingRule& rule, const TBasicMail& mail,
                      const std::string& folder);

}  // namespace brindle
