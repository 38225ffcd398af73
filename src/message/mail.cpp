// Construction of TMail and the header stage: separating header from body, the header map and
// the header text. The body stage lives in mail_body.cpp.
#include "message/mail.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "platform/ansi_text.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"

namespace brindle {

namespace {

constexpr std::string_view kSubjectKey = "SUBJECT:";
constexpr std::string_view kContentTypeKey = "CONTENT-TYPE:";

bool StartsField(std::string_view line) {
    return line.empty() || (line[0] != ' ' && line[0] != '\t');
}

}  // namespace

// Writes each field as one "Name: value" line with its decoded, unfolded value.
struct TMail::HeaderTextBuilder {
    std::string text;

    void AddField(std::string_view name, std::string_view value) {
        text += name;
        if (!value.empty() && !name.empty()) {
            text += ' ';
        }
        // A decoded Q word may hold CR or LF; in the text the field stays one line, so that
        // line-anchored conditions see the whole field.
        for (std::size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                continue;  // CR LF becomes one blank, at its LF
            }
            text += (c == '\r' || c == '\n') ? ' ' : c;
        }
        text += "\r\n";
    }

    void AddRaw(std::string_view line) {
        text += line;
        text += "\r\n";
    }
};

std::unique_ptr<TMail> TMail::FromStoredText(std::string stored_text,
                                             std::unique_ptr<TMailConverter> converter) {
    return std::make_unique<TMail>(StoredTextTag{}, std::move(stored_text), std::move(converter));
}

TMail::TMail(StoredTextTag, std::string stored_text, std::unique_ptr<TMailConverter> converter)
    : converter_(std::move(converter)), text_(NormalizeLineEnds(std::move(stored_text))) {
    if (!converter_) {
        converter_ = std::make_unique<TMailConverter>();
    }
    Parse(nullptr);
}

TMail::TMail(const Lines& lines) : TMail(lines, std::make_unique<TMailConverter>()) {}

TMail::TMail(const Lines& lines, std::unique_ptr<TMailConverter> converter)
    : converter_(std::move(converter)), text_(JoinLines(lines)) {
    if (!converter_) {
        converter_ = std::make_unique<TMailConverter>();
    }
    Parse(&lines);
}

std::string TMail::ConvertText(std::string_view text) const {
    return converter_->CodePageToSJis(text, DecodedBody().code_page);
}

THeaderMap TMail::ParseHeader(const Lines& lines) {
    const LineViews views(lines.begin(), lines.end());
    return ParseHeaderLines(views, nullptr, current_field_);
}

TMail::LineViews TMail::LinesFrom(std::size_t offset) const {
    LineViews lines;
    const std::string_view text(text_);
    while (offset < text.size()) {
        // text_ ends every line with CR LF and holds no other CR.
        const std::size_t end = std::min(text.find('\r', offset), text.size());
        lines.push_back(text.substr(offset, end - offset));
        offset = end + 2;
    }
    return lines;
}

void TMail::Parse(const Lines* given) {
    // A given line that holds CR or LF would come back from the whole text as two lines; such
    // lines are parsed as given. Otherwise the lines are views into the whole text, and only
    // the header's are split here: the body's wait until the body is asked for.
    if (given != nullptr) {
        for (const auto& line : *given) {
            if (line.find_first_of("\r\n") != std::string::npos) {
                given_lines_ = *given;
                break;
            }
        }
    }
    LineViews header;
    if (given_lines_) {
        std::size_t separator = 0;
        while (separator < given_lines_->size() && !(*given_lines_)[separator].empty()) {
            header.emplace_back((*given_lines_)[separator]);
            ++separator;
        }
        has_body_ = separator < given_lines_->size();
        body_offset_ = separator + 1;  // a line index here
    } else {
        const std::string_view text(text_);
        std::size_t offset = 0;
        while (offset < text.size()) {
            const std::size_t end = std::min(text.find('\r', offset), text.size());
            if (end == offset) {
                has_body_ = true;
                body_offset_ = offset + 2;
                break;
            }
            header.push_back(text.substr(offset, end - offset));
            offset = end + 2;
        }
    }

    HeaderTextBuilder header_text;
    std::string field;
    headers_ = ParseHeaderLines(header, &header_text, field);
    header_text_ = std::move(header_text.text);
    field_after_header_ = field;
    current_field_ = std::move(field);
    boundary_ = FindBoundary(headers_.Values(std::string(kContentTypeKey)));
}

THeaderMap TMail::ParseHeaderLines(std::span<const std::string_view> lines,
                                   HeaderTextBuilder* header_text,
                                   std::string& current_field) const {
    // Built as a plain map first because a repeated Subject is appended to the first value in
    // place, which the handed-out map type does not offer.
    std::map<std::string, std::vector<std::string>> fields;
    std::size_t first = 0;
    while (first < lines.size()) {
        // A field is a line and the continuation lines (those opening with a blank or a tab)
        // after it.
        std::size_t next = first + 1;
        while (next < lines.size() && !StartsField(lines[next])) {
            ++next;
        }
        const std::string_view line = lines[first];
        std::string_view name;  // as written, with its colon; empty without one
        std::string_view head = line;
        if (StartsField(line)) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                current_field.clear();
            } else {
                name = line.substr(0, colon + 1);
                current_field = AnsiUpperCase(name);
                head.remove_prefix(colon + 1);
            }
        }
        // A continuation line with no field before it in this header reaches the field the
        // previous header ended with (a part header after the message header).

        // Unfolded as RFC 5322 says: the line breaks go, the white space after them stays.
        // Decoded once as a whole, so that encoded words, and the blanks between and inside
        // them, read the same however the field was folded.
        std::string raw(head);
        for (std::size_t k = first + 1; k < next; ++k) {
            raw += lines[k];
        }
        std::string value;
        try {
            value = std::string(TrimControls(converter_->DecodeHeader(raw)));
        } catch (const Exception& error) {
            // The fields read so far stay; the rest of this header is not parsed, but its
            // stored lines stay searchable in the header text.
            RaiseWarning(error.what());
            if (header_text != nullptr) {
                for (std::size_t rest = first; rest < lines.size(); ++rest) {
                    header_text->AddRaw(lines[rest]);
                }
            }
            break;
        }
        if (header_text != nullptr) {
            header_text->AddField(name, value);
        }
        first = next;
        if (value.empty()) {
            continue;
        }
        auto& values = fields[current_field];
        if (current_field == kSubjectKey && !values.empty()) {
            values.front() += value;
        } else {
            values.push_back(std::move(value));
        }
    }

    THeaderMap map;
    for (auto& [key, values] : fields) {
        for (auto& value : values) {
            map.Add(key, std::move(value));
        }
    }
    return map;
}

}  // namespace brindle
