// The body stage of TMail: the code page and boundary from the header map, then either the
// single-part decoding of the whole body or, for a multipart message, the decoding of its first
// top-level text/plain part. Attachments are never decoded and nested multiparts never entered.
#include <algorithm>
#include <array>
#include <utility>

#include "message/mail.hpp"
#include "platform/ansi_text.hpp"
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
        if (given_lines_) {
            std::span<const std::string> lines(*given_lines_);
            const LineViews views(
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(body_offset_, lines.size())),
                lines.end());
            ParseBody(views, body);
        } else if (has_body_) {
            ParseBody(LinesFrom(body_offset_), body);
        } else {
            ParseBody({}, body);
        }
        if (!body.lines && !body.text) {
            body.lines.emplace();  // no text part: an empty body
        }
        body_ = std::move(body);  // only a complete stage is kept: a failure is raised again
    }
    return *body_;
}

const Lines& TMail::GetBodyLines() const {
    const Body& body = DecodedBody();
    if (!body.lines) {
        body_->lines = SplitLines(*body.text);
    }
    return *body.lines;
}

const std::string& TMail::GetBodyText() const {
    const Body& body = DecodedBody();
    if (!body.text) {
        body_->text = JoinLines(*body.lines);
    }
    return *body.text;
}

std::int32_t TMail::GetCodePage() const {
    return DecodedBody().code_page;
}

void TMail::ParseBody(std::span<const std::string_view> body, Body& out) const {
    const ParsedHeader& header = Header();
    const auto& content_types = header.map.Values(std::string(kContentTypeKey));
    out.code_page = GetCodePage(content_types);
    if (!header.boundary.empty()) {
        ParseMultipartBody(body, out);
        return;
    }
    const auto& encodings = header.map.Values(std::string(kTransferEncodingKey));
    const TransferEncoding encoding = IsBase64(encodings) ? TransferEncoding::Base64
                                      : IsQuotedPrintable(encodings)
                                          ? TransferEncoding::QuotedPrintable
                                          : TransferEncoding::None;
    DecodeBody(body, 0, body.size(), encoding, out);
}

void TMail::ParseMultipartBody(std::span<const std::string_view> body, Body& out) const {
    const ParsedHeader& header = Header();
    const std::string delimiter = "--" + header.boundary;
    // The closing delimiter ends the text part as well, so that neither it nor the epilogue
    // after it is read as text (or fed into a Base64 decoding).
    const std::string close_delimiter = delimiter + "--";

    // Part headers go on from the field the message header ended with.
    std::string field = header.field_after;
    LineViews part_header;
    bool in_part = false;
    for (std::size_t i = 0; i < body.size(); ++i) {
        CountWork(1);
        const std::string_view line = body[i];
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
        const std::size_t first = i + 1;
        std::size_t last = first;
        while (last < body.size() && body[last] != delimiter && body[last] != close_delimiter) {
            ++last;
        }
        CountWork(last - first);
        DecodeBody(body, first, last, encoding, out);
        return;
    }
}

void TMail::DecodeBody(std::span<const std::string_view> body, std::size_t first, std::size_t last,
                       TransferEncoding encoding, Body& out) const {
    if (encoding == TransferEncoding::None) {
        Lines lines;
        lines.reserve(last - first);
        for (std::size_t i = first; i < last; ++i) {
            lines.push_back(converter_->CodePageToSJis(body[i], out.code_page));
        }
        out.lines = std::move(lines);
        return;
    }

    // The whole text is decoded in one piece, without a joined copy of the encoded lines beside
    // it: a long body then costs the stored text, the decoded bytes and the converted text.
    std::string decoded;
    if (encoding == TransferEncoding::Base64) {
        // The lines concatenated, decoded a group-aligned stretch at a time: each group of four
        // characters decodes on its own, so the result is that of decoding the whole.
        constexpr std::size_t kStretch = std::size_t{1} << 16;
        std::string stretch;
        stretch.reserve(kStretch + 1024);
        for (std::size_t i = first; i < last; ++i) {
            stretch += body[i];
            if (stretch.size() >= kStretch || i + 1 == last) {
                const std::size_t whole = i + 1 == last ? stretch.size() : stretch.size() / 4 * 4;
                decoded += TCharCodeConv::B64Decode(std::string_view(stretch).substr(0, whole));
                stretch.erase(0, whole);
            }
        }
    } else if (!given_lines_ && first < last) {
        // The lines each followed by CR LF are the stored text itself.
        const char* begin = body[first].data();
        const char* end = body[last - 1].data() + body[last - 1].size() + 2;
        decoded =
            TCharCodeConv::QPDecode(std::string_view(begin, static_cast<std::size_t>(end - begin)));
    } else {
        std::string joined;
        for (std::size_t i = first; i < last; ++i) {
            joined += body[i];
            joined += "\r\n";
        }
        decoded = TCharCodeConv::QPDecode(joined);
    }
    std::string converted = converter_->CodePageToSJis(decoded, out.code_page);
    decoded = std::string();
    // Split into lines and joined again, the text is this; the lines are split on request.
    out.text = NormalizeLineEnds(std::move(converted));
}

}  // namespace brindle
