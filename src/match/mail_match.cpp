#include "match/mail_match.hpp"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/ansi_text.hpp"
#include "platform/core_messages.hpp"
#include "platform/exception.hpp"
#include "platform/sjis.hpp"
#include "regexp/awk_str.hpp"

namespace brindle {
namespace {

constexpr std::size_t kScopeCount = 3;
constexpr std::string_view kJoint = "\n\n";  // between header and body in the whole message
// Texts are upper-cased this many bytes at a time for a search: a long text is never copied
// whole.
constexpr std::size_t kFoldStretch = std::size_t{1} << 16;

// An end for a stretch of text from start (a character boundary) that is itself a character
// boundary, at least `length` bytes on when the text goes on that far. Any byte but a lead byte
// ends a character, so the boundary is usually the next byte; only a run of lead-capable bytes
// (kanji whose trail bytes are lead-capable too) needs the walk from start.
std::size_t StretchEnd(std::string_view text, std::size_t start, std::size_t length) {
    if (text.size() - start <= length) {
        return text.size();
    }
    const std::size_t from = start + length - 1;
    const std::size_t look = std::min(text.size(), from + 64);
    for (std::size_t i = from; i < look; ++i) {
        if (!sjis::IsLeadByte(text[i])) {
            return i + 1;
        }
    }
    std::size_t pos = start;
    while (pos < start + length) {
        pos += sjis::CharLength(text, pos);
    }
    return pos;
}

// Whether AnsiFind(AnsiUpperCase(text), upper_needle) finds anything, upper-casing a stretch at
// a time. A stretch starts at a character boundary, so it upper-cases and walks as it does
// within the whole text; it is searched with the bytes after it that a match starting in it can
// reach.
bool ContainsFolded(std::string_view text, std::string_view upper_needle) {
    if (upper_needle.empty() || upper_needle.size() > text.size()) {
        return false;
    }
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = StretchEnd(text, start, kFoldStretch);
        const std::size_t reach = std::min(text.size(), end + upper_needle.size() - 1);
        if (AnsiFind(AnsiUpperCase(text.substr(start, reach - start)), upper_needle) !=
            std::string_view::npos) {
            return true;
        }
        start = end;
    }
    return false;
}

bool Contains(std::string_view text, std::string_view needle, bool fold) {
    return fold ? ContainsFolded(text, needle) : AnsiFind(text, needle) != std::string_view::npos;
}

// The texts of one message within one MatchMail call: the message does not change while it is
// matched. Header and body are the message's own (fetched once each); the whole message, header
// and body joined, is never built for a literal condition, which searches the joint apart. A
// regular expression searches one text in one piece: the whole message joined, or a text after
// its escape processing, is made in the one buffer kept here, so that however many conditions
// there are, at most one such copy lives beside the message.
class TargetTexts {
  public:
    explicit TargetTexts(const TBasicMail& mail) : mail_(mail) {}

    bool ContainsLiteral(std::uint8_t scope, std::string_view needle, bool fold) {
        // Both texts are fetched before either is searched: a body that cannot be converted
        // fails the message even when the header alone would have answered.
        Fetch(scope);
        switch (scope) {
            case kFindPosHeader:
                return Contains(Header(), needle, fold);
            case kFindPosBody:
                return Contains(Body(), needle, fold);
            default:
                return Contains(Header(), needle, fold) || ContainsAcrossJoint(needle, fold) ||
                       Contains(Body(), needle, fold);
        }
    }

    // Fetches the texts of the scope and, for a regular expression over the whole message,
    // joins them; errors of the message's own pass out as they are.
    void Fetch(std::uint8_t scope, bool join = false) {
        if (scope != kFindPosBody) {
            static_cast<void>(Header());
        }
        if (scope != kFindPosHeader) {
            static_cast<void>(Body());
        }
        if (join && scope == kFindPosAll) {
            Join();
        }
    }

    // The text a regular expression searches, after Fetch(scope). Raises whatever the escape
    // processing raises; a failure is not remembered (it never comes to a second call: the first
    // failure ends MatchMail).
    std::string_view Processed(std::uint8_t scope) {
        const Made processed = scope == kFindPosAll    ? Made::kAllProcessed
                               : scope == kFindPosBody ? Made::kBodyProcessed
                                                       : Made::kHeaderProcessed;
        if (made_ == processed) {
            return made_text_;
        }
        if (scope == kFindPosAll) {
            ProcessWhole();
            return made_text_;
        }
        const std::string_view plain = scope == kFindPosHeader ? Header() : Body();
        const std::size_t first = FirstEscapeOf(scope);
        if (first == std::string_view::npos) {
            // Most messages (every Japanese text whose backslash bytes are trail bytes) are
            // searched as they are, without a copy.
            return plain;
        }
        if (scope == kFindPosBody && header_ != nullptr &&
            FirstEscapeOf(kFindPosHeader) == std::string_view::npos) {
            // A header without escapes comes through the processing of the whole unchanged,
            // and escapes never reach back before themselves, so the whole message processed
            // ends with the body processed: made once, it serves the body's conditions and the
            // whole message's alike, in whichever order they come.
            Join();
            ProcessWhole();
            return std::string_view(made_text_).substr(Header().size() + kJoint.size());
        }
        Remake(plain.size());
        made_text_ = plain;
        TAWKStr::ProcessEscSeqInPlace(made_text_, first);
        made_ = processed;
        return made_text_;
    }

  private:
    // The whole message joined in the buffer, unless it is there already (processed or not).
    void Join() {
        if (made_ == Made::kJoined || made_ == Made::kAllProcessed) {
            return;
        }
        Remake(Header().size() + kJoint.size() + Body().size());
        made_text_ = Header();
        made_text_ += kJoint;
        made_text_ += Body();
        made_ = Made::kJoined;
    }

    // The joined whole in the buffer after its escape processing, unless it is so already.
    void ProcessWhole() {
        if (made_ == Made::kAllProcessed) {
            return;
        }
        const std::size_t first = FirstEscapeOfWhole();
        if (first != std::string_view::npos) {
            made_ = Made::kNothing;
            TAWKStr::ProcessEscSeqInPlace(made_text_, first);
        }
        made_ = Made::kAllProcessed;
    }

    // TAWKStr::FirstEscape of the header's or the body's text, looked for once per message.
    std::size_t FirstEscapeOf(std::uint8_t scope) {
        std::size_t& first = scope == kFindPosHeader ? header_escape_ : body_escape_;
        if (first == kNotLooked) {
            first = TAWKStr::FirstEscape(scope == kFindPosHeader ? Header() : Body());
        }
        return first;
    }

    // The same for the joined text in the buffer. A header without escapes ends where a
    // character ends (it does not end in half a character either), and the joint's line feeds
    // are characters of their own, so the body is walked within the whole as on its own.
    std::size_t FirstEscapeOfWhole() {
        if (FirstEscapeOf(kFindPosHeader) != std::string_view::npos) {
            return TAWKStr::FirstEscape(made_text_);
        }
        const std::size_t in_body = FirstEscapeOf(kFindPosBody);
        return in_body == std::string_view::npos ? in_body
                                                 : Header().size() + kJoint.size() + in_body;
    }

    std::string_view Header() {
        if (header_ == nullptr) {
            header_ = &mail_.GetHeaderText();
        }
        return *header_;
    }
    std::string_view Body() {
        if (body_ == nullptr) {
            body_ = &mail_.GetBodyText();
        }
        return *body_;
    }

    // A match of the whole message that starts in the header's last bytes or in the joint and
    // ends beyond them: the bytes around the joint, from a character boundary on, searched as
    // one short text (they upper-case and walk as within the whole message; the body starts at
    // a character boundary whatever the header ends with, since the joint's bytes are no lead
    // bytes).
    bool ContainsAcrossJoint(std::string_view needle, bool fold) {
        const std::string_view header = Header();
        const std::string_view body = Body();
        if (needle.size() < 2) {
            return Contains(kJoint, needle, fold);
        }
        std::size_t from = header.size() - std::min(header.size(), needle.size() - 1);
        if (!sjis::IsCharBoundary(header, from)) {
            ++from;
        }
        std::string around(header.substr(from));
        around += kJoint;
        around += body.substr(0, needle.size() - 1);
        return Contains(around, needle, fold);
    }

    // Empties the buffer for a text of `size` bytes, giving up its memory first when it is too
    // small, so that the old and the new text never take memory at once.
    void Remake(std::size_t size) {
        made_ = Made::kNothing;
        if (made_text_.capacity() < size) {
            made_text_ = std::string();
            made_text_.reserve(size);
        }
        made_text_.clear();
    }

    static constexpr std::size_t kNotLooked = std::string_view::npos - 1;

    const TBasicMail& mail_;
    const std::string* header_ = nullptr;
    const std::string* body_ = nullptr;
    // TAWKStr::FirstEscape of the header and of the body, once looked for.
    std::size_t header_escape_ = kNotLooked;
    std::size_t body_escape_ = kNotLooked;
    // What the buffer holds: a scope's text after escape processing, or the whole message
    // joined but not processed.
    enum class Made { kAllProcessed, kBodyProcessed, kHeaderProcessed, kJoined, kNothing };
    std::string made_text_;
    Made made_ = Made::kNothing;
};

}  // namespace

TMailMatch::TMailMatch() = default;

TMailMatch::~TMailMatch() = default;

void TMailMatch::SetFindTypes(std::span<const TFindType> find_types) {
    find_types_.assign(find_types.begin(), find_types.end());
    automata_.clear();
    automata_.resize(find_types_.size());
}

TAWKStr& TMailMatch::Automaton(std::size_t index) {
    std::unique_ptr<TAWKStr>& automaton = automata_[index];
    if (automaton == nullptr) {
        auto compiled = std::make_unique<TAWKStr>();
        compiled->SetRegExp(find_types_[index].Condition);  // raises before anything is kept
        automaton = std::move(compiled);
    }
    return *automaton;
}

bool TMailMatch::MatchMail(const TBasicMail& mail) {
    TargetTexts texts(mail);
    for (std::size_t index = 0; index < find_types_.size(); ++index) {
        const TFindType& condition = find_types_[index];
        const bool known_scope = condition.FindPos < kScopeCount;
        if (!condition.Regexp) {
            // A scope outside 0..2 searches nothing, and nothing never holds a literal.
            if (!known_scope) {
                return false;
            }
            const bool fold = condition.Capital;
            const std::string pattern =
                fold ? AnsiUpperCase(condition.Condition) : condition.Condition;
            if (!texts.ContainsLiteral(condition.FindPos, pattern, fold)) {
                return false;
            }
            continue;
        }
        // Errors in the expression itself pass out as they are, and so do those of fetching
        // the text (a body that cannot be converted is the message's error, not the search's).
        const TAWKStr& automaton = Automaton(index);
        if (known_scope) {
            texts.Fetch(condition.FindPos, true);
        }
        try {
            const std::string_view target =
                known_scope ? texts.Processed(condition.FindPos) : std::string_view();
            if (automaton.Match(target) == 0) {
                return false;
            }
        } catch (const std::exception&) {
            throw Exception(Msg(CoreMsg::MatchFailed));
        }
    }
    return true;
}

std::function<bool(const TBasicMail&)> MakeMailFilter(std::vector<TFindType> find_types) {
    if (find_types.empty()) {
        return {};
    }
    auto matcher = std::make_shared<TMailMatch>();
    matcher->SetFindTypes(find_types);
    return [matcher](const TBasicMail& mail) { return matcher->MatchMail(mail); };
}

}  // namespace brindle
