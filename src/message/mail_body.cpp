// The body stage of TMail: the code page and boundary from the header map, then either the
// single-part decoding of the whole body or, for a multipart message, the decoding of its first
// top-level text/plain part. Attachments are never decoded and nested multiparts never entered.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <utility>

#include "message/mail.hpp"
#include "platform/ansi_text.hpp"
#include "platform/report.hpp"
#include "platform/work_count.hpp"

namespace brindle {

namespace {

constexpr std::string_view kContentTypeKey = "CONTENT-TYPE:";
constexpr std::string_view kTransferEncodingKey = "CONTENT-TRANSFER-ENCODING:";
constexpr std::string_view kBoundaryParameter = "boundary=";
constexpr std::string_view kTextPlain = "text/plain";

struct CharsetLabel {
    std::string_view label;
    std::int32_t code_page;
};

// Tried in this order within one Content-Type value. "SHIFT_JIS" is deliberately absent: such
// mail takes the JIS conversion, which passes Shift_JIS text through.
constexpr std::array<CharsetLabel, 8> kCharsetLabels{{
    {"ISO-2022-JP", kCodePageIso2022Jp},
    {"UTF-7", kCodePageUtf7},
    {"UTF8", kCodePageUtf8},
    {"UTF-8", kCodePageUtf8},
    {"US-ASCII", kCodePageShiftJis},
    {"SJIS", kCodePageShiftJis},
    {"ISO-8859-1", kCodePageWindows1252},
    {"EUC-JP", kCodePageEucJp},
}};

std::string TrimmedUpper(std::string_view text) {
    return AnsiUpperCase(TrimControls(text));
}

bool AnyContains(const std::vector<std::string>& values, std::string_view label) {
    for (const auto& value : values) {
        if (TrimmedUpper(value).find(label) != std::string::npos) {
            return true;
        }
    }
    return false;
}

// The lines of a body in the stored text (which ends every line with CR LF and holds no other
// CR), as views, one after the other.
class StoredLines {
  public:
    StoredLines(std::string_view text, std::size_t offset) : text_(text), pos_(offset) {}

    std::string_view Next() {
        const std::size_t end = std::min(text_.find('\r', pos_), text_.size());
        const std::string_view line = text_.substr(pos_, end - pos_);
        pos_ = std::min(end + 2, text_.size());
        return line;
    }
    // The bytes of the lines up to end, line ends included.
    std::size_t BytesTo(const StoredLines& end) const { return end.pos_ - pos_; }
    std::optional<std::string_view> StoredTo(const StoredLines& end) const {
        return text_.substr(pos_, end.pos_ - pos_);
    }
    friend bool operator==(const StoredLines& a, const StoredLines& b) { return a.pos_ == b.pos_; }

  private:
    std::string_view text_;
    std::size_t pos_;
};

// The same over the lines a message was given, which may hold line ends of their own.
class GivenLines {
  public:
    GivenLines(std::span<const std::string> lines, std::size_t index)
        : lines_(lines), index_(index) {}

    std::string_view Next() { return lines_[index_++]; }
    std::size_t BytesTo(const GivenLines& end) const {
        std::size_t bytes = 0;
        for (std::size_t i = index_; i < end.index_; ++i) {
            bytes += lines_[i].size() + 2;
        }
        return bytes;
    }
    std::optional<std::string_view> StoredTo(const GivenLines&) const { return std::nullopt; }
    friend bool operator==(const GivenLines& a, const GivenLines& b) {
        return a.index_ == b.index_;
    }

  private:
    std::span<const std::string> lines_;
    std::size_t index_;
};

bool HoldsLineEnd(std::string_view line) {
    return std::memchr(line.data(), '\r', line.size()) != nullptr ||
           std::memchr(line.data(), '\n', line.size()) != nullptr;
}

// The text without much unused room behind it: a body is kept as long as its message.
std::string ShrunkToFit(std::string text) {
    if (text.capacity() - text.size() > text.size() / 8 + 4096) {
        text.shrink_to_fit();
    }
    return text;
}

}  // namespace

std::int32_t TMail::GetCodePage(const std::vector<std::string>& content_types) {
    for (auto it = content_types.rbegin(); it != content_types.rend(); ++it) {
        const std::string value = TrimmedUpper(*it);
        for (const auto& [label, code_page] : kCharsetLabels) {
            if (value.find(label) != std::string::npos) {
                return code_page;
            }
        }
    }
    return kCodePageIso2022Jp;
}

bool TMail::IsBase64(const std::vector<std::string>& encodings) {
    return AnyContains(encodings, "BASE64");
}

bool TMail::IsQuotedPrintable(const std::vector<std::string>& encodings) {
    return AnyContains(encodings, "QUOTED-PRINTABLE");
}

std::string TMail::FindBoundary(const std::vector<std::string>& content_types) {
    for (const auto& value : content_types) {
        const std::size_t at = value.find(kBoundaryParameter);
        if (at == std::string::npos) {
            continue;
        }
        std::size_t begin = at + kBoundaryParameter.size();
        std::size_t end = 0;
        if (begin < value.size() && value[begin] == '"') {
            ++begin;
            end = value.find('"', begin);
        } else {
            // Unquoted, the parameter is a token: it ends at the next separator.
            end = value.find_first_of("; \t", begin);
        }
        if (end == std::string::npos) {
            end = value.size();
        }
        return value.substr(begin, end - begin);
    }
    return {};
}

const TMail::Body& TMail::DecodedBody() const {
    if (!body_) {
        Body body;
        RunBodyStage(body, false);
        body_ = std::move(body);  // only a complete stage is kept: a failure is raised again
    }
    return *body_;
}

void TMail::RunBodyStage(Body& out, bool as_lines) const {
    if (given_lines_) {
        const std::span<const std::string> lines(*given_lines_);
        const GivenLines end(lines, lines.size());
        ParseBody(GivenLines(lines, std::min(body_offset_, lines.size())), end, out, as_lines);
    } else {
        const StoredLines end(text_, text_.size());
        ParseBody(StoredLines(text_, has_body_ ? body_offset_ : text_.size()), end, out, as_lines);
    }
}

const Lines& TMail::GetBodyLines() const {
    const Body& body = DecodedBody();
    if (!body.lines) {
        if (!body.lines_hold_line_ends) {
            body_->lines = SplitLines(body.text);
        } else {
            // The stage's warnings were raised the first time.
            const ScopedThreadReportSink quiet([](const Report&) {});
            Body again;
            RunBodyStage(again, true);
            body_->lines = std::move(again.lines);
        }
    }
    return *body.lines;
}

const std::string& TMail::GetBodyText() const {
    return DecodedBody().text;
}

std::int32_t TMail::GetCodePage() const {
    return DecodedBody().code_page;
}

template <typename Cursor>
void TMail::ParseBody(Cursor first, Cursor end, Body& out, bool as_lines) const {
    const BodyHeaderFields header = BodyHeader();
    out.code_page = GetCodePage(header.content_types);
    if (!header.boundary.empty()) {
        ParseMultipartBody(first, end, header, out, as_lines);
        return;
    }
    const TransferEncoding encoding = IsBase64(header.encodings) ? TransferEncoding::Base64
                                      : IsQuotedPrintable(header.encodings)
                                          ? TransferEncoding::QuotedPrintable
                                          : TransferEncoding::None;
    DecodeBody(first, end, encoding, out, as_lines);
}

template <typename Cursor>
void TMail::ParseMultipartBody(Cursor cursor, Cursor end, const BodyHeaderFields& header, Body& out,
                               bool as_lines) const {
    const std::string delimiter = "--" + header.boundary;
    // The closing delimiter ends the text part as well, so that neither it nor the epilogue
    // after it is read as text (or fed into a Base64 decoding).
    const std::string close_delimiter = delimiter + "--";

    // Part headers go on from the field the message header ended with.
    std::string field = header.field_after;
    LineViews part_header;
    bool in_part = false;
    while (cursor != end) {
        CountWork(1);
        const std::string_view line = cursor.Next();
        if (!in_part) {
            in_part = line == delimiter;
            continue;
        }
        if (!line.empty()) {
            part_header.push_back(line);
            continue;
        }
        const THeaderMap part = ParseHeaderLines(part_header, nullptr, field);
        part_header.clear();
        const auto& content_types = part.Values(std::string(kContentTypeKey));
        bool accepted = false;
        for (const auto& value : content_types) {
            if (value.find(kTextPlain) != std::string::npos) {
                accepted = true;
                break;
            }
        }
        if (!accepted) {
            in_part = false;
            continue;
        }

        out.code_page = GetCodePage(content_types);
        const auto& encodings = part.Values(std::string(kTransferEncodingKey));
        const TransferEncoding encoding = IsBase64(encodings) ? TransferEncoding::Base64
                                          : IsQuotedPrintable(encodings)
                                              ? TransferEncoding::QuotedPrintable
                                              : TransferEncoding::None;
        const Cursor first = cursor;
        Cursor last = cursor;
        std::size_t count = 0;
        while (last != end) {
            Cursor next = last;
            const std::string_view text_line = next.Next();
            if (text_line == delimiter || text_line == close_delimiter) {
                break;
            }
            last = next;
            ++count;
        }
        CountWork(count);
        DecodeBody(first, last, encoding, out, as_lines);
        return;
    }
}

template <typename Cursor>
void TMail::DecodeBody(Cursor first, Cursor end, TransferEncoding encoding, Body& out,
                       bool as_lines) const {
    if (encoding == TransferEncoding::None) {
        // Converted line by line into the one text. A line that comes out holding a line end
        // would not come back from splitting the text; that is only noted here, and such lines
        // are converted again if the lines are asked for.
        if (as_lines) {
            Lines lines;
            for (Cursor line = first; line != end;) {
                lines.push_back(converter_->CodePageToSJis(line.Next(), out.code_page));
            }
            out.lines = std::move(lines);
            return;
        }
        std::string text;
        // Conversion to Shift_JIS seldom makes a line longer, so the stored size is room enough
        // (what it is not is taken back below).
        text.reserve(first.BytesTo(end));
        // JIS, unconverted text, and UTF-8 or EUC-JP that the conversion table serves whole, in
        // one call over the stored lines: their lines come out without line ends of their own.
        if (const std::optional<std::string_view> stored = first.StoredTo(end);
            stored && converter_->AppendLinesToSJis(*stored, out.code_page, text)) {
            out.text = ShrunkToFit(std::move(text));
            return;
        }
        for (Cursor line = first; line != end;) {
            const std::size_t start = text.size();
            converter_->AppendCodePageToSJis(line.Next(), out.code_page, text);
            if (!out.lines_hold_line_ends && HoldsLineEnd(std::string_view(text).substr(start))) {
                out.lines_hold_line_ends = true;
            }
            text += "\r\n";
        }
        out.text = ShrunkToFit(std::move(text));
        return;
    }

    // The whole text is decoded in one piece, without a joined copy of the encoded lines beside
    // it: a long body then costs the stored text, the decoded bytes and the converted text.
    std::string decoded;
    if (encoding == TransferEncoding::Base64) {
        // The lines concatenated, decoded a group-aligned stretch at a time: each group of four
        // characters decodes on its own, so the result is that of decoding the whole. The
        // stretches decode straight into the text, sized once for every line (a group of four
        // gives three bytes at most).
        constexpr std::size_t kStretch = std::size_t{1} << 16;
        decoded.resize(first.BytesTo(end) / 4 * 3);
        char* w = decoded.data();
        std::string stretch;
        stretch.reserve(kStretch + 1024);
        for (Cursor line = first; line != end;) {
            stretch += line.Next();
            const bool last = line == end;
            if (stretch.size() >= kStretch || last) {
                const std::size_t whole = last ? stretch.size() : stretch.size() / 4 * 4;
                w = TCharCodeConv::B64DecodeTo(std::string_view(stretch).substr(0, whole), w);
                stretch.erase(0, whole);
            }
        }
        decoded.resize(static_cast<std::size_t>(w - decoded.data()));
    } else if (const std::optional<std::string_view> stored = first.StoredTo(end)) {
        // The lines each followed by CR LF are the stored text itself.
        decoded = TCharCodeConv::QPDecode(*stored);
    } else {
        std::string joined;
        for (Cursor line = first; line != end;) {
            joined += line.Next();
            joined += "\r\n";
        }
        decoded = TCharCodeConv::QPDecode(joined);
    }
    std::string converted = converter_->CodePageToSJis(decoded, out.code_page);
    decoded = std::string();
    // Split into lines and joined again, the text is this.
    out.text = ShrunkToFit(NormalizeLineEnds(std::move(converted)));
}

}  // namespace brindle
