// Naming and writing one output file. The name comes from a running number, the subject or a
// parameter value found after a marker in the body or the header; a name that is taken gets
// "(n)" from a per-base counter that lives for the whole run. Files are created exclusively, so
// a name is "taken" exactly when creation finds it there (and stays taken for the rest of the
// run: the run never removes a file), and nothing is ever replaced.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "model/basic_mail.hpp"
#include "model/naming.hpp"
#include "platform/file_system.hpp"
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

// What the run knows of one base name (after MakeNativeBaseName) whose own name was taken.
struct TDuplicateCounter {
    std::int32_t next = 0;  // the next number to try
    // The folder (TNamingState::folder_generation) where "base.eml" was last found taken:
    // there later messages go straight to the counter instead of failing on that name again.
    std::uint32_t taken_in = 0;
};

// The run's naming state: kept across source files and output folders.
struct TNamingState {
    std::int32_t running_number = 0;
    std::map<std::string, TDuplicateCounter> duplicate_counters;
    // The folder the last base was named in, and a number that changes with it.
    std::string folder;
    std::uint32_t folder_generation = 0;
};

// The parameter value of a message (Shift_JIS); empty when the marker is not found.
std::string FindParameterValue(const TNamingRule& rule, const TBasicMail& mail);

// The Shift_JIS base that the rule gives for a message (subject or parameter value, made safe);
// not used for running numbers.
std::string NamingBase(const TNamingRule& rule, const TBasicMail& mail);

// The base as the file gets it, in UTF-8: a subject or header parameter keeps the characters
// that Shift_JIS lacks (MakeUnicodeBaseName); a body parameter is NamingBase in UTF-8.
std::string NativeNamingBase(const TNamingRule& rule, const TBasicMail& mail);

// Names, creates and writes the message's file in folder (a native path ending with '/') and
// answers its full path. Sets the file's modification time to the message's Date: when that
// parses. Raises Exception when the file cannot be created or written (no file is left).
// The same as NameMail on a TPreparedMail.
std::string WriteMail(TNamingState& state, const TNamingRule& rule, const TBasicMail& mail,
                      const std::string& folder);

// The part of WriteMail that does not depend on the names taken before: the rule's base name,
// the message's time and, with open_file, an unnamed file opened in the folder. It may run
// ahead of the naming of earlier messages, on another thread (opening the file there shares
// the file system's work between the two). Raises what computing the base raises; a failure
// to open the file is kept for NameMail. The message must outlive it.
class TPreparedMail {
  public:
    TPreparedMail(const TNamingRule& rule, const TBasicMail& mail, const std::string& folder,
                  bool open_file = true);

    // The bytes the file gets: the message's text with CR LF line ends.
    std::string_view Text() const { return file_->Data(); }

  private:
    friend std::string NameMail(TNamingState& state, const TNamingRule& rule,
                                TPreparedMail& prepared, const std::string& folder,
                                bool* already_there);

    std::string base_;        // native; empty for running numbers
    std::string normalized_;  // the text as written, when the message's own is not in that form
    std::optional<UnnamedFile> file_;
};

// Writes the prepared file and gives it the first free name of the rule, in the order
// WriteMail tries them, and answers its full path; raises the kept failure first. With
// already_there (an update of an earlier run's output), a name on the way that holds exactly
// the message's bytes ends the search: nothing is written, the naming state moves on as if the
// file had been written there, and *already_there says so.
std::string NameMail(TNamingState& state, const TNamingRule& rule, TPreparedMail& prepared,
                     const std::string& folder, bool* already_there = nullptr);

}  // namespace brindle
