#include "convert/mail_writer.hpp"

#include <limits>
#include <optional>
#include <utility>

#include "convert/mail_date.hpp"
#include "convert/safe_file_name.hpp"
#include "platform/ansi_text.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/file_system.hpp"
#include "platform/line_list.hpp"

namespace brindle {
namespace {

constexpr std::string_view kSubjectKey = "SUBJECT:";
constexpr std::string_view kDateKey = "DATE:";

std::string JoinValues(const TBasicMail& mail, std::string_view key) {
    std::string joined;
    for (const auto& value : mail.FieldValues(key)) {
        joined += value;
    }
    return joined;
}

[[noreturn]] void RaiseNoFreeName(const std::string& path) {
    throw Exception(Msg(CoreMsg::FileCannotCreate, {{"path", path}}));
}

// The message's Date: as a file time, when it parses.
std::optional<std::time_t> MailTime(const TBasicMail& mail) {
    const auto dates = mail.FieldValues(kDateKey);
    if (dates.empty()) {
        return std::nullopt;
    }
    return ParseMailDate(dates.front());
}

// Offers the file a name: true when it got it. With `update`, a name that already holds exactly
// the file's bytes counts as got (*already_there set), and nothing is written; the file is
// written only when a name is free.
bool Offer(UnnamedFile& file, const std::string& path, bool* already_there) {
    if (already_there != nullptr) {
        switch (CompareWithName(path, file.Data())) {
            case NameHolds::SameData:
                *already_there = true;
                return true;
            case NameHolds::Other:
                return false;
            case NameHolds::Nothing:
                break;
        }
    }
    return file.LinkAs(path);
}

// The file is written once, unnamed, and then offered one free-looking name after another:
// a name taken costs a failed link, not a second write.
std::string WriteByNumber(TNamingState& state, const std::string& folder, UnnamedFile& file,
                          bool* already_there) {
    while (true) {
        if (state.running_number == std::numeric_limits<std::int32_t>::max()) {
            RaiseNoFreeName(folder + std::to_string(state.running_number) +
                            std::string(kMailExtension));
        }
        std::string path =
            folder + std::to_string(state.running_number) + std::string(kMailExtension);
        ++state.running_number;
        if (Offer(file, path, already_there)) {
            return path;
        }
    }
}

std::string WriteByBase(TNamingState& state, const std::string& folder, const std::string& base,
                        UnnamedFile& file, bool* already_there) {
    if (state.folder != folder || state.folder_generation == 0) {
        state.folder = folder;
        ++state.folder_generation;
    }
    std::string path = folder + base + std::string(kMailExtension);
    const auto known = state.duplicate_counters.find(base);
    const bool known_taken = known != state.duplicate_counters.end() &&
                             known->second.taken_in == state.folder_generation;
    if (!known_taken && Offer(file, path, already_there)) {
        return path;
    }
    TDuplicateCounter& duplicate = state.duplicate_counters[base];
    duplicate.taken_in = state.folder_generation;
    std::int32_t& counter = duplicate.next;
    while (true) {
        if (counter == std::numeric_limits<std::int32_t>::max()) {
            RaiseNoFreeName(folder + base + "(" + std::to_string(counter) + ")" +
                            std::string(kMailExtension));
        }
        path = folder + base + "(" + std::to_string(counter) + ")" + std::string(kMailExtension);
        ++counter;
        if (Offer(file, path, already_there)) {
            return path;
        }
    }
}

}  // namespace

std::string PrepareParamText(std::string_view text, TNamingPos pos) {
    if (pos == TNamingPos::Body) {
        return std::string(text);
    }
    std::string key = AnsiUpperCase(text);
    // A trail byte is never 0x3A, so a final ':' byte is always a colon of its own.
    if (key.empty() || key.back() != ':') {
        key += ':';
    }
    return key;
}

std::string FindParameterValue(const TNamingRule& rule, const TBasicMail& mail) {
    if (rule.pos == TNamingPos::Header) {
        return JoinValues(mail, rule.param_text);
    }
    const Lines& body = mail.GetBodyLines();
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i].compare(0, rule.param_text.size(), rule.param_text) != 0) {
            continue;
        }
        if (rule.line == TNamingLine::SameLine) {
            return body[i].substr(rule.param_text.size());
        }
        return i + 1 < body.size() ? body[i + 1] : std::string();
    }
    return {};
}

std::string NamingBase(const TNamingRule& rule, const TBasicMail& mail) {
    if (rule.type == TNamingType::Subject) {
        return MakeSafeFileName(JoinValues(mail, kSubjectKey));
    }
    return MakeSafeFileName(FindParameterValue(rule, mail));
}

std::string NativeNamingBase(const TNamingRule& rule, const TBasicMail& mail) {
    // A body parameter is found in the body's Shift_JIS lines; header values are decoded once
    // more, into UTF-8, so that no character of theirs becomes "？".
    if (rule.type == TNamingType::Parameter && rule.pos == TNamingPos::Body) {
        return MakeNativeBaseName(NamingBase(rule, mail));
    }
    const std::string_view key =
        rule.type == TNamingType::Subject ? kSubjectKey : std::string_view(rule.param_text);
    std::string joined;
    for (const std::string& value : mail.FieldValuesUtf8(key)) {
        joined += value;
    }
    return MakeUnicodeBaseName(joined);
}

TPreparedMail::TPreparedMail(const TNamingRule& rule, const TBasicMail& mail,
                             const std::string& folder, bool open_file) {
    // A parsed message holds its text in written form already; only other messages are copied.
    const std::string& stored = mail.GetText();
    std::string_view text = stored;
    if (!mail.TextInWrittenForm() && !IsCrLfText(stored)) {
        normalized_ = NormalizeLineEnds(stored);
        text = normalized_;
    }
    if (rule.type != TNamingType::Number) {
        base_ = NativeNamingBase(rule, mail);
    }
    file_.emplace(UnnamedFile::Deferred{}, folder, text, open_file);
    // The time is set before the file has its name, so that the name never shows a file with
    // the wrong time either.
    if (const auto when = MailTime(mail)) {
        file_->SetModificationTime(*when);
    }
}

std::string NameMail(TNamingState& state, const TNamingRule& rule, TPreparedMail& prepared,
                     const std::string& folder, bool* already_there) {
    UnnamedFile& file = *prepared.file_;
    if (already_there != nullptr) {
        *already_there = false;
    } else {
        // The file is written under the first name the rule would try, for its error messages.
        file.Complete(folder +
                      (rule.type == TNamingType::Number ? std::to_string(state.running_number)
                                                        : prepared.base_) +
                      std::string(kMailExtension));
    }
    if (rule.type == TNamingType::Number) {
        return WriteByNumber(state, folder, file, already_there);
    }
    return WriteByBase(state, folder, prepared.base_, file, already_there);
}

std::string WriteMail(TNamingState& state, const TNamingRule& rule, const TBasicMail& mail,
                      const std::string& folder) {
    TPreparedMail prepared(rule, mail, folder);
    return NameMail(state, rule, prepared, folder);
}

}  // namespace brindle
