// TMail, the parsed message: built from the stored text of one message, it keeps that text
// (every line ended by CR LF) for writing out, builds the header map with every value decoded to
// Shift_JIS, and decodes the body (single-part, or the first top-level text/plain part of a
// multipart message) into Shift_JIS lines for the matcher and the naming.
//
// The header is parsed during construction; the body only when something asks for it
// (GetBodyLines, GetBodyText, GetCodePage, ConvertText), and then once. Most messages of a
// conversion are only named and written, and for them decoding the body was most of the work.
// The answers are those of decoding everything at construction, except that an error of the
// body's conversion reaches the caller that asks for the body instead of the constructor.
//
// Parsing walks each line list once and never recurses: a nested multipart is not entered, so
// neither hostile nesting nor a boundary that repeats inside a part can make the work grow
// beyond linear in the size of the message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "message/mail_converter.hpp"
#include "model/basic_mail.hpp"
#include "platform/line_list.hpp"

namespace brindle {

class TMail final : public TBasicMail {
  public:
    // The message from a list of lines, each without its line end. A header value that fails
    // to decode is only warned about.
    explicit TMail(const Lines& lines);
    TMail(const Lines& lines, std::unique_ptr<TMailConverter> converter);
    // The same from its stored text as the mailbox holds it (any line ends), without a list:
    // the lines are views into the text.
    static std::unique_ptr<TMail> FromStoredText(
        std::string stored_text, std::unique_ptr<TMailConverter> converter = nullptr);
    // What FromStoredText calls; the tag keeps a braced list from choosing between the two.
    struct StoredTextTag {};
    TMail(StoredTextTag, std::string stored_text, std::unique_ptr<TMailConverter> converter);

    const THeaderMap& GetHeaders() const override { return headers_; }
    // The decoded body. Raises the body's conversion error (Exception) on every call when the
    // body cannot be converted.
    const Lines& GetBodyLines() const override;
    std::string GetBoundary() const override { return boundary_; }
    const std::string& GetText() const override { return text_; }
    bool TextInWrittenForm() const override { return true; }
    // One line per header field in stored order, "Name: value" with the value decoded to
    // Shift_JIS and its continuation lines unfolded, each line ended by CR LF.
    const std::string& GetHeaderText() const override { return header_text_; }
    const std::string& GetBodyText() const override;

    // The body's code page as the body stage determined it (decodes the body).
    std::int32_t GetCodePage() const;

    // Converts text from the message's current code page (after the body stage) to Shift_JIS.
    std::string ConvertText(std::string_view text) const;

    // Whether the body has been decoded; for tests that check that nothing decodes it in vain.
    bool BodyDecoded() const { return body_.has_value(); }

    // Parses header lines into a new map. The current field name carries over from the
    // previous call, so a part header that opens with a continuation line reaches the field
    // the message header ended with.
    THeaderMap ParseHeader(const Lines& lines);

    // Code page named by the last Content-Type value that names a known charset; 50222
    // when none does.
    static std::int32_t GetCodePage(const std::vector<std::string>& content_types);
    static bool IsBase64(const std::vector<std::string>& encodings);
    static bool IsQuotedPrintable(const std::vector<std::string>& encodings);
    // The boundary parameter of the first Content-Type value that has one; empty when none.
    static std::string FindBoundary(const std::vector<std::string>& content_types);

  private:
    enum class TransferEncoding { None, Base64, QuotedPrintable };

    struct HeaderTextBuilder;
    // What the body stage produces.
    // What the body stage produces: the lines, or (for a transfer-encoded text) the text they
    // are split from; the other form is made on its first request.
    struct Body {
        std::optional<Lines> lines;
        std::optional<std::string> text;  // the lines, each followed by CR LF
        std::int32_t code_page = kCodePageIso2022Jp;
    };
    using LineViews = std::vector<std::string_view>;

    // Splits header from body and parses the header; `given` are the lines the message was
    // built from, if it was.
    void Parse(const Lines* given);
    THeaderMap ParseHeaderLines(std::span<const std::string_view> lines, HeaderTextBuilder* text,
                                std::string& current_field) const;
    // The body stage; runs on the first request for the body and keeps its result.
    const Body& DecodedBody() const;
    void ParseBody(std::span<const std::string_view> body, Body& out) const;
    void ParseMultipartBody(std::span<const std::string_view> body, Body& out) const;
    // Decodes a text run of the body and makes it the body lines.
    void DecodeBody(std::span<const std::string_view> body, std::size_t first, std::size_t last,
                    TransferEncoding encoding, Body& out) const;
    // The lines of text_ from `offset` on, as views (text_ ends every line with CR LF).
    LineViews LinesFrom(std::size_t offset) const;

    std::unique_ptr<TMailConverter> converter_;
    THeaderMap headers_;
    std::string text_;
    // Set only when the message was built from lines that themselves hold CR or LF, which the
    // whole text cannot give back: the lines as given, for the body stage.
    std::optional<Lines> given_lines_;
    std::size_t body_offset_ = 0;  // where the body begins: in text_, or in given_lines_
    bool has_body_ = false;        // an empty line ends the header
    std::string header_text_;
    std::string boundary_;
    // The current field name as the message header left it, where the part headers go on.
    std::string field_after_header_;
    std::string current_field_;  // of ParseHeader calls from outside
    mutable std::optional<Body> body_;
};

}  // namespace brindle
