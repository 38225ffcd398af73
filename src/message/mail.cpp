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

bool StartsField(const std::string& line) {
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

    void AddRaw(const std::string& line) {
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

TMail::TMail(const Lines& lines) : TMail(lines, std::make_unique<TMailConverter>()) {}

TMail::TMail(const Lines& lines, std::unique_ptr<TMailConverter> converter)
    : converter_(std::move(converter)), text_(JoinLines(lines)) {
    if (!converter_) {
        converter_ = std::make_unique<TMailConverter>();
    }
    Parse(lines);
}

std::string TMail::ConvertText(std::string_view text) const {
    return converter_->CodePageToSJis(text, code_page_);
}

THeaderMap TMail::ParseHeader(const Lines& lines) {
    return ParseHeaderLines(lines, nullptr);
}

void TMail::Parse(const Lines& lines) {
    std::size_t separator = 0;
    while (separator < lines.size() && !lines[separator].empty()) {
        ++separator;
    }
    // Views, not copies: the stored text is already held twice (the lines and the whole text).
    const std::span<const std::string> all(lines);
    const auto header = all.first(separator);
    const auto body =
        separator < all.size() ? all.subspan(separator + 1) : std::span<const std::string>();

    HeaderTextBuilder header_text;
    headers_ = ParseHeaderLines(header, &header_text);
    header_text.Flush();
    header_text_ = std::move(header_text.text);

    ParseBody(body);
}

THeaderMap TMail::ParseHeaderLines(std::span<const std::string> lines,
                                   HeaderTextBuilder* header_text) {
    // Built as a plain map first because a repeated or folded Subject is appended to the first
    // value in place, which the handed-out map type does not offer.
    std::map<std::string, std::vector<std::string>> fields;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::string_view raw = line;
        // Whether the header text opened its line for this physical line (dropped again when
        // the value fails to decode, since the line is then kept as stored).
        bool opened_here = false;
        if (StartsField(line)) {
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) {
                current_field_.clear();
            } else {
                current_field_ = AnsiUpperCase(std::string_view(line).substr(0, colon + 1));
                raw.remove_prefix(colon + 1);
            }
            if (header_text != nullptr) {
                header_text->Begin(colon == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(line).substr(0, colon + 1));
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
        auto& values = fields[current_field_];
        if (current_field_ == kSubjectKey && !values.empty()) {
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
