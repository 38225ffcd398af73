// TMail, the parsed message: built from the stored lines of one message, it keeps the whole text
// unchanged for writing out, builds the header map with every value decoded to Shift_JIS, and
// decodes the body (single-part, or the first top-level text/plain part of a multipart message)
// into Shift_JIS lines for the matcher and the naming. Everything is done once, during
// construction; the getters hand out copies.
//
// Parsing walks each line list once and never recurses: a nested multipart is not entered, so
// neither hostile nesting nor a boundary that repeats inside a part can make the work grow
// beyond linear in the size of the message.
#pragma once

#include <cstdint>
#include <memory>
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
    // Parses the message completely. Errors of the body's character conversion reach the
    // caller as Exception; a header value that fails to decode is only warned about.
    explicit TMail(const Lines& lines);
    // The same with the conversions supplied by the caller.
    TMail(const Lines& lines, std::unique_ptr<TMailConverter> converter);

    THeaderMap GetHeaders() const override { return headers_; }
    Lines GetBodyLines() const override { return body_lines_; }
    std::string GetBoundary() const override { return boundary_; }
    std::string GetText() const override { return text_; }
    // One line per header field in stored order, "Name: value" with the value decoded to
    // Shift_JIS and its continuation lines unfolded, each line ended by CR LF.
    std::string GetHeaderText() const override { return header_text_; }
    std::string GetBodyText() const override { return JoinLines(body_lines_); }

    // The body's code page as the body stage determined it.
    std::int32_t GetCodePage() const { return code_page_; }

    // Converts text from the message's current code page to Shift_JIS.
    std::string ConvertText(std::string_view text) const;

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

    void Parse(const Lines& lines);
    THeaderMap ParseHeaderLines(std::span<const std::string> lines, HeaderTextBuilder* text);
    void ParseBody(std::span<const std::string> body);
    void ParseMultipartBody(std::span<const std::string> body);
    // Decodes a text run of the body and makes it the body lines.
    void DecodeBody(std::span<const std::string> body, std::size_t first, std::size_t last,
                    TransferEncoding encoding);

    std::unique_ptr<TMailConverter> converter_;
    THeaderMap headers_;
    Lines body_lines_;
    std::string text_;
    std::string header_text_;
    std::string boundary_;
    std::string current_field_;
    std::int32_t code_page_ = kCodePageIso2022Jp;
};

}  // namespace brindle
