// Construction of TMail and the header stage: separating header from body, the header map and
// the header text. The body stage lives in mail_body.cpp.
#include "message/mail.hpp"

#include <algorithm>
#include <map>
#include <utility>

#include "platform/ansi_text.hpp"
#include "platform/exception.hpp"
#include "platform/report.hpp"
#include "platform/sjis.hpp"

namespace brindle {

namespace {

constexpr std::string_view kSubjectKey = "SUBJECT:";
constexpr std::string_view kContentTypeKey = "CONTENT-TYPE:";
constexpr std::string_view kTransferEncodingKey = "CONTENT-TRANSFER-ENCODING:";

bool StartsField(std::string_view line) {
    return line.empty() || (line[0] != ' ' && line[0] != '\t');
}

// One field of a header: its first line and the continuation lines (those opening with a
// blank or a tab) after it, up to `next`.
struct FieldLines {
    std::size_t next = 0;
    bool starts = false;    // false for a continuation line that opens the header
    std::string_view name;  // as written, with its colon; empty without one
    std::string_view head;  // the first line after the name
};

FieldLines FieldAt(std::span<const std::string_view> lines, std::size_t first) {
    FieldLines field;
    field.next = first + 1;
    while (field.next < lines.size() && !StartsField(lines[field.next])) {
        ++field.next;
    }
    field.head = lines[first];
    field.starts = StartsField(field.head);
    if (field.starts) {
        const std::size_t colon = field.head.find(':');
        if (colon != std::string_view::npos) {
            field.name = field.head.substr(0, colon + 1);
            field.head.remove_prefix(colon + 1);
        }
    }
    return field;
}

// Whether AnsiUpperCase(name) == key, without making the upper-cased copy.
bool UpperCasedEquals(std::string_view name, std::string_view key) {
    if (name.size() != key.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t len = sjis::CharLength(name, i);
        char c = name[i];
        if (len == 1 && c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != key[i] || (len == 2 && name[i + 1] != key[i + 1])) {
            return false;
        }
        i += len;
    }
    return true;
}

// AnsiUpperCase(name) into `out`, reusing its memory: field names are ASCII nearly always,
// and then every byte starts a character.
void UpperCaseFieldName(std::string_view name, std::string& out) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii) {
        out = AnsiUpperCase(name);
        return;
    }
    out.assign(name);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
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
        // line-anchored conditions see the whole field. The runs between them go in whole.
        std::size_t run = 0;
        for (std::size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            if (c != '\r' && c != '\n') {
                continue;
            }
            text.append(value, run, i - run);
            run = i + 1;
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') {
                continue;  // CR LF becomes one blank, at its LF
            }
            text += ' ';
        }
        text.append(value, run);
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
    Split(nullptr);
}

TMail::TMail(const Lines& lines) : TMail(lines, std::make_unique<TMailConverter>()) {}

TMail::TMail(const Lines& lines, std::unique_ptr<TMailConverter> converter)
    : converter_(std::move(converter)), text_(JoinLines(lines)) {
    if (!converter_) {
        converter_ = std::make_unique<TMailConverter>();
    }
    Split(&lines);
}

std::string TMail::ConvertText(std::string_view text) const {
    return converter_->CodePageToSJis(text, DecodedBody().code_page);
}

THeaderMap TMail::ParseHeader(const Lines& lines) {
    if (!current_field_) {
        current_field_ = Header().field_after;
    }
    const LineViews views(lines.begin(), lines.end());
    return ParseHeaderLines(views, nullptr, *current_field_);
}

void TMail::Split(const Lines* given) {
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
    LineViews& header = header_lines_;
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
    // A field that fails to decode ends the header and is warned about: with a converter that
    // can fail, only the whole header read at once gives the answers (and the warnings).
    if (converter_->HeaderDecodingCanFail()) {
        static_cast<void>(Header());
    }
}

const TMail::ParsedHeader& TMail::Header() const {
    if (!header_) {
        ParsedHeader header;
        HeaderTextBuilder header_text;
        // The decoded header is about as long as the stored one: one allocation, not a dozen.
        std::size_t stored = 0;
        for (const std::string_view line : header_lines_) {
            stored += line.size() + 3;
        }
        header_text.text.reserve(stored);
        header.map = ParseHeaderLines(header_lines_, &header_text, header.field_after);
        header.text = std::move(header_text.text);
        header.boundary = FindBoundary(header.map.Values(std::string(kContentTypeKey)));
        header_ = std::move(header);
    }
    return *header_;
}

const std::string& TMail::GetHeaderText() const {
    if (header_) {
        return header_->text;
    }
    if (!header_text_) {
        HeaderTextBuilder header_text;
        std::size_t stored = 0;
        for (const std::string_view line : header_lines_) {
            stored += line.size() + 3;
        }
        header_text.text.reserve(stored);
        std::string field_after;
        static_cast<void>(ParseHeaderLines(header_lines_, &header_text, field_after, false));
        header_text_ = std::move(header_text.text);
    }
    return *header_text_;
}

std::string TMail::GetBoundary() const {
    return BodyHeader().boundary;
}

TMail::BodyHeaderFields TMail::BodyHeader() const {
    BodyHeaderFields fields;
    if (header_) {
        fields.content_types = header_->map.Values(std::string(kContentTypeKey));
        fields.encodings = header_->map.Values(std::string(kTransferEncodingKey));
        fields.boundary = header_->boundary;
        fields.field_after = header_->field_after;
        return fields;
    }
    // Without a converter that can fail (which parses the header at construction), no field
    // ends the header early: the walk sees every field that the map would hold.
    const WantedField wanted[] = {{kContentTypeKey, &fields.content_types},
                                  {kTransferEncodingKey, &fields.encodings}};
    const std::string_view last_name = WalkFields(wanted, false);
    fields.boundary = FindBoundary(fields.content_types);
    UpperCaseFieldName(last_name, fields.field_after);
    return fields;
}

std::vector<std::string> TMail::FieldValues(std::string_view key) const {
    if (header_) {
        return TBasicMail::FieldValues(key);
    }
    return WalkFieldValues(key, false);
}

std::vector<std::string> TMail::FieldValuesUtf8(std::string_view key) const {
    // A header whose decoding can fail ends at the failing field: its map says which fields
    // there are, and the names follow it.
    if (converter_->HeaderDecodingCanFail()) {
        return TBasicMail::FieldValuesUtf8(key);
    }
    return WalkFieldValues(key, true);
}

std::vector<std::string> TMail::WalkFieldValues(std::string_view key, bool utf8) const {
    std::vector<std::string> values;
    const WantedField wanted[] = {{key, &values}};
    static_cast<void>(WalkFields(wanted, utf8));
    return values;
}

std::string_view TMail::WalkFields(std::span<const WantedField> wanted, bool utf8) const {
    // The walk of ParseHeaderLines over the message header, deciding by name alone which
    // fields to decode. The name before the first field is empty.
    const auto find = [&](std::string_view name) -> const WantedField* {
        for (const WantedField& field : wanted) {
            if (UpperCasedEquals(name, field.key)) {
                return &field;
            }
        }
        return nullptr;
    };
    const WantedField* current = find({});
    std::string_view last_name;
    for (std::size_t first = 0; first < header_lines_.size();) {
        const FieldLines field = FieldAt(header_lines_, first);
        if (field.starts) {
            last_name = field.name;
            current = find(field.name);
        }
        if (current != nullptr) {
            std::string value = DecodeField(header_lines_, first, field.next, field.head, utf8);
            std::vector<std::string>& values = *current->values;
            if (!value.empty()) {
                if (current->key == kSubjectKey && !values.empty()) {
                    values.front() += value;
                } else {
                    values.push_back(std::move(value));
                }
            }
        }
        first = field.next;
    }
    return last_name;
}

std::string TMail::DecodeField(std::span<const std::string_view> lines, std::size_t first,
                               std::size_t next, std::string_view head, bool utf8) const {
    // Unfolded as RFC 5322 says: the line breaks go, the white space after them stays.
    // Decoded once as a whole, so that encoded words, and the blanks between and inside
    // them, read the same however the field was folded.
    // A field of one line, as most are, is decoded where it lies.
    std::string folded;
    std::string_view raw = head;
    if (next > first + 1) {
        folded = head;
        for (std::size_t k = first + 1; k < next; ++k) {
            folded += lines[k];
        }
        raw = folded;
    }
    std::string value = utf8 ? converter_->DecodeHeaderUtf8(raw) : converter_->DecodeHeader(raw);
    const std::string_view trimmed = TrimControls(value);
    if (trimmed.size() != value.size()) {
        value = std::string(trimmed);
    }
    return value;
}

THeaderMap TMail::ParseHeaderLines(std::span<const std::string_view> lines,
                                   HeaderTextBuilder* header_text, std::string& current_field,
                                   bool keep_map) const {
    // Built as a plain map first because a repeated Subject is appended to the first value in
    // place, which the handed-out map type does not offer; the map then takes it whole.
    THeaderMap::FieldMap fields;
    std::size_t first = 0;
    while (first < lines.size()) {
        const FieldLines field = FieldAt(lines, first);
        if (field.starts && keep_map) {
            UpperCaseFieldName(field.name, current_field);
        }
        // A continuation line with no field before it in this header reaches the field the
        // previous header ended with (a part header after the message header).

        std::string value;
        try {
            value = DecodeField(lines, first, field.next, field.head);
        } catch (const Exception& error) {
            // The fields read so far stay; the rest of this header is not parsed, but its
            // stored lines stay searchable in the header text.
            if (error.Message().Text() != nullptr) {
                RaiseWarning(error.Message());
            } else {
                RaiseWarning(error.what());
            }
            if (header_text != nullptr) {
                for (std::size_t rest = first; rest < lines.size(); ++rest) {
                    header_text->AddRaw(lines[rest]);
                }
            }
            break;
        }
        if (header_text != nullptr) {
            header_text->AddField(field.name, value);
        }
        first = field.next;
        if (value.empty() || !keep_map) {
            continue;
        }
        auto& values = fields[current_field];
        if (current_field == kSubjectKey && !values.empty()) {
            values.front() += value;
        } else {
            values.push_back(std::move(value));
        }
    }

    return THeaderMap(std::move(fields));
}

}  // namespace brindle
