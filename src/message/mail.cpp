// Construction of TMail and the header stage: separating header from body, the header map and
// the header text. The body stage lives in mail_body.cpp.
#include "message/mail.hpp"

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

// Collects the physical lines of one field at a time and writes the field as one unfolded
// "Name: value" line. Pieces are joined by a blank, except between two encoded words, where
// the folding white space is not part of the text (so a Japanese word split over two encoded
// words stays one word for the matcher).
struct TMail::HeaderTextBuilder {
    std::string text;
    std::string name;  // as written, up to and including the colon; empty without a colon
    std::string value;
    bool open = false;
    bool last_was_encoded_word = false;

    void Begin(std::string_view field_name) {
        Flush();
        name.assign(field_name);
        value.clear();
        open = true;
        last_was_encoded_word = false;
    }

    void AddPiece(std::string_view raw, const std::string& decoded) {
        if (decoded.empty()) {
            return;
        }
        const std::string_view trimmed = TrimControls(raw);
        const bool starts_word = trimmed.starts_with("=?");
        if (!value.empty() && !(last_was_encoded_word && starts_word)) {
            value += ' ';
        }
        // A decoded Q word may hold CR or LF; in the text the field stays one line.
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            const char c = decoded[i];
            if (c == '\r' && i + 1 < decoded.size() && decoded[i + 1] == '\n') {
                continue;  // CR LF becomes one blank, at its LF
            }
            value += (c == '\r' || c == '\n') ? ' ' : c;
        }
        last_was_encoded_word = trimmed.ends_with("?=");
    }

    void AddRaw(std::string_view line) {
        Flush();
        text += line;
        text += "\r\n";
    }

    void Flush() {
        if (!open) {
            return;
        }
        text += name;
        if (!value.empty()) {
            if (!name.empty()) {
                text += ' ';
            }
            text += value;
        }
        text += "\r\n";
        open = false;
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
        const std::size_t end = text.find('\r', offset);
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
            const std::size_t end = text.find('\r', offset);
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
    header_text.Flush();
    header_text_ = std::move(header_text.text);
    field_after_header_ = field;
    current_field_ = std::move(field);
    boundary_ = FindBoundary(headers_.Values(std::string(kContentTypeKey)));
}

THeaderMap TMail::ParseHeaderLines(std::span<const std::string_view> lines,
                                   HeaderTextBuilder* header_text,
                                   std::string& current_field) const {
    // Built as a plain map first because a repeated or folded Subject is appended to the first
    // value in place, which the handed-out map type does not offer.
    std::map<std::string, std::vector<std::string>> fields;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        std::string_view raw = line;
        // Whether the header text opened its line for this physical line (dropped again when
        // the value fails to decode, since the line is then kept as stored).
        bool opened_here = false;
        if (StartsField(line)) {
            const std::size_t colon = line.find(':');
            if (colon == std::string_view::npos) {
                current_field.clear();
            } else {
                current_field = AnsiUpperCase(line.substr(0, colon + 1));
                raw.remove_prefix(colon + 1);
            }
            if (header_text != nullptr) {
                header_text->Begin(colon == std::string_view::npos ? std::string_view()
                                                                   : line.substr(0, colon + 1));
                opened_here = true;
            }
        } else if (header_text != nullptr && !header_text->open) {
            // A continuation with no field before it in this header: keep it as its own line.
            header_text->Begin(std::string_view());
            opened_here = true;
        }

        std::string value;
        try {
            value = std::string(TrimControls(converter_->DecodeHeader(raw)));
        } catch (const Exception& error) {
            // The fields read so far stay; the rest of this header is not parsed, but its
            // stored lines stay searchable in the header text.
            RaiseWarning(error.what());
            if (header_text != nullptr) {
                if (opened_here) {
                    header_text->open = false;
                }
                header_text->Flush();
                for (std::size_t rest = i; rest < lines.size(); ++rest) {
                    header_text->AddRaw(lines[rest]);
                }
            }
            break;
        }
        if (header_text != nullptr) {
            header_text->AddPiece(raw, value);
        }
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
