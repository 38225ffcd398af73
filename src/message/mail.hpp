// TMail, the parsed message: built from the stored text of one message, it keeps that text
// (every line ended by CR LF) for writing out, builds the header map with every value decoded to
// Shift_JIS, and decodes the body (single-part, or the first top-level text/plain part of a
// multipart message) into one Shift_JIS text for the matcher, split into lines only when the
// naming asks for them: a long body costs its text, not an object per line.
//
// Construction only finds the header's lines. The header map, the header text and the boundary
// are made when first asked for (GetHeaders, GetHeaderText, GetBoundary, the body stage,
// ParseHeader), the body when something asks for it (GetBodyLines, GetBodyText, GetCodePage,
// ConvertText), each once; FieldValues decodes just the fields it is asked for. Most messages
// of a conversion are only named and written, and for them the map and the body were most of
// the work. The answers are those of decoding everything at construction, except that an
// error of the body's conversion reaches the caller that asks for the body instead of the
// constructor. A converter whose header decoding can fail has the header parsed at
// construction, with its warnings, since a failing field changes the answers for the rest.
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
    // The header's lines are views into the message's own strings.
    TMail(const TMail&) = delete;
    TMail& operator=(const TMail&) = delete;

    const THeaderMap& GetHeaders() const override { return Header().map; }
    // Without the map, when it has not been made: only the fields with this key are decoded.
    std::vector<std::string> FieldValues(std::string_view key) const override;
    std::vector<std::string> FieldValuesUtf8(std::string_view key) const override;
    // The decoded body. Raises the body's conversion error (Exception) on every call when the
    // body cannot be converted.
    const Lines& GetBodyLines() const override;
    std::string GetBoundary() const override;
    const std::string& GetText() const override { return text_; }
    bool TextInWrittenForm() const override { return true; }
    // One line per header field in stored order, "Name: value" with the value decoded to
    // Shift_JIS and its continuation lines unfolded, each line ended by CR LF.
    const std::string& GetHeaderText() const override;
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
    // What the header stage produces.
    struct ParsedHeader {
        THeaderMap map;
        std::string text;
        std::string boundary;
        // The current field name as the message header left it, where the part headers go on.
        std::string field_after;
    };
    // What the body stage produces: the text, in one piece however many lines it has; the
    // lines are split from it on request.
    struct Body {
        std::string text;  // the lines, each followed by CR LF
        std::optional<Lines> lines;
        // A line converted one by one came out holding CR or LF, so that splitting the text
        // would not give the lines back: they are converted again when asked for.
        bool lines_hold_line_ends = false;
        std::int32_t code_page = kCodePageIso2022Jp;
    };
    // What the body stage needs of the message header.
    struct BodyHeaderFields {
        std::vector<std::string> content_types;
        std::vector<std::string> encodings;
        std::string boundary;
        std::string field_after;  // as ParsedHeader::field_after
    };
    using LineViews = std::vector<std::string_view>;

    // Splits header from body; `given` are the lines the message was built from, if it was.
    void Split(const Lines* given);
    // The header stage; runs on the first request and keeps its result.
    const ParsedHeader& Header() const;
    // The body stage's fields: from the map when it has been made, else found by walks that
    // decode only these fields. A conversion with conditions needs the header text and the body
    // but never the map, whose nodes were a tenth of its work.
    BodyHeaderFields BodyHeader() const;
    // The decoded, trimmed value of the field whose lines are lines[first, next) and whose
    // first line holds `head` after the field name.
    std::string DecodeField(std::span<const std::string_view> lines, std::size_t first,
                            std::size_t next, std::string_view head, bool utf8 = false) const;
    // The walk of FieldValues over the message header, decoding into Shift_JIS or UTF-8.
    std::vector<std::string> WalkFieldValues(std::string_view key, bool utf8) const;
    // A field that a walk decodes, and where its values go.
    struct WantedField {
        std::string_view key;
        std::vector<std::string>* values;
    };
    // The walk of the message header that decodes the wanted fields' values (a repeated subject
    // joined to its first value, as in the map); answers the last field's name as written.
    std::string_view WalkFields(std::span<const WantedField> wanted, bool utf8) const;
    // Without keep_map, only the text is built (the map answered is empty, current_field is
    // left as it was).
    THeaderMap ParseHeaderLines(std::span<const std::string_view> lines, HeaderTextBuilder* text,
                                std::string& current_field, bool keep_map = true) const;
    // The body stage; runs on the first request for the body and keeps its result. With
    // as_lines, the stage runs again for the lines alone (see Body::lines_hold_line_ends).
    const Body& DecodedBody() const;
    void RunBodyStage(Body& out, bool as_lines) const;
    // The body's lines are walked with a cursor (mail_body.cpp) over the stored text, or over
    // the lines the message was given; none is kept for a line.
    template <typename Cursor>
    void ParseBody(Cursor first, Cursor end, Body& out, bool as_lines) const;
    template <typename Cursor>
    void ParseMultipartBody(Cursor cursor, Cursor end, const BodyHeaderFields& header, Body& out,
                            bool as_lines) const;
    // Decodes the text run [first, end) of the body into the body text (or, as_lines, lines).
    template <typename Cursor>
    void DecodeBody(Cursor first, Cursor end, TransferEncoding encoding, Body& out,
                    bool as_lines) const;

    std::unique_ptr<TMailConverter> converter_;
    std::string text_;
    // Set only when the message was built from lines that themselves hold CR or LF, which the
    // whole text cannot give back: the lines as given, for the body stage.
    std::optional<Lines> given_lines_;
    std::size_t body_offset_ = 0;  // where the body begins: in text_, or in given_lines_
    bool has_body_ = false;        // an empty line ends the header
    LineViews header_lines_;       // into text_, or into given_lines_
    mutable std::optional<ParsedHeader> header_;
    // The header text when it was asked for before the map was made.
    mutable std::optional<std::string> header_text_;
    std::optional<std::string> current_field_;  // of ParseHeader calls from outside
    mutable std::optional<Body> body_;
};

}  // namespace brindle
