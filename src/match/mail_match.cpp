#include "match/mail_match.hpp"

#include <array>
#include <optional>
#include <string>

#include "platform/ansi_text.hpp"
#include "platform/exception.hpp"
#include "platform/sjis.hpp"
#include "regexp/awk_str.hpp"

namespace brindle {
namespace {

constexpr const char* kProcessingError = "正規表現の処理でエラーが発生しました。";
constexpr std::size_t kScopeCount = 3;

// The texts of one message, each built on first use within one MatchMail call: the message
// does not change while it is matched. The header and body texts are the message's own (it
// hands out references); only the joined, upper-cased and escape-processed forms are made here.
class TargetTexts {
  public:
    explicit TargetTexts(const TBasicMail& mail) : mail_(mail) {}

    const std::string& Plain(std::uint8_t scope) {
        std::optional<std::string>& slot = plain_[scope];
        if (!slot) {
            switch (scope) {
                case kFindPosAll:
                    slot = Header() + "\n\n" + Body();
                    break;
                case kFindPosBody:
                    return Body();
                default:
                    return Header();
            }
        }
        return *slot;
    }

    const std::string& Upper(std::uint8_t scope) {
        std::optional<std::string>& slot = upper_[scope];
        if (!slot) {
            slot = AnsiUpperCase(Plain(scope));
        }
        return *slot;
    }

    // Raises whatever the escape processing raises; a failure is not remembered, so a later
    // condition of the same scope would raise it again (it never comes to that: the first
    // failure ends the call).
    const std::string& Processed(std::uint8_t scope) {
        const std::string& plain = Plain(scope);
        // Without a backslash byte the escape processing copies the text unchanged, unless it
        // ends in a lead byte that may be left without its trail byte (an error it must raise):
        // most messages are searched as they are, without a copy.
        if (plain.find('\\') == std::string::npos &&
            (plain.empty() || !sjis::IsLeadByte(plain.back()))) {
            return plain;
        }
        std::optional<std::string>& slot = processed_[scope];
        if (!slot) {
            slot = TAWKStr::ProcessEscSeq(plain);
        }
        return *slot;
    }

  private:
    const std::string& Header() {
        if (header_ == nullptr) {
            header_ = &mail_.GetHeaderText();
        }
        return *header_;
    }
    const std::string& Body() {
        if (body_ == nullptr) {
            body_ = &mail_.GetBodyText();
        }
        return *body_;
    }

    const TBasicMail& mail_;
    const std::string* header_ = nullptr;  // the message's own texts, fetched once
    const std::string* body_ = nullptr;
    std::array<std::optional<std::string>, kScopeCount> plain_;
    std::array<std::optional<std::string>, kScopeCount> upper_;
    std::array<std::optional<std::string>, kScopeCount> processed_;
};

}  // namespace

TMailMatch::TMailMatch() : awk_(std::make_unique<TAWKStr>()) {}

TMailMatch::~TMailMatch() = default;

void TMailMatch::SetFindTypes(std::span<const TFindType> find_types) {
    find_types_.assign(find_types.begin(), find_types.end());
}

bool TMailMatch::MatchMail(const TBasicMail& mail) {
    TargetTexts texts(mail);
    static const std::string kEmpty;
    for (const TFindType& condition : find_types_) {
        const bool known_scope = condition.FindPos < kScopeCount;
        if (!condition.Regexp) {
            // A scope outside 0..2 searches nothing, and nothing never holds a literal.
            if (!known_scope) {
                return false;
            }
            const bool fold = condition.Capital;
            const std::string& target =
                fold ? texts.Upper(condition.FindPos) : texts.Plain(condition.FindPos);
            const std::string pattern =
                fold ? AnsiUpperCase(condition.Condition) : condition.Condition;
            if (AnsiFind(target, pattern) == std::string::npos) {
                return false;
            }
            continue;
        }
        // Errors in the expression itself pass out as they are, and so do those of fetching
        // the text (a body that cannot be converted is the message's error, not the search's).
        awk_->SetRegExp(condition.Condition);
        if (known_scope) {
            texts.Plain(condition.FindPos);
        }
        try {
            const std::string& target = known_scope ? texts.Processed(condition.FindPos) : kEmpty;
            if (awk_->Match(target) == 0) {
                return false;
            }
        } catch (const std::exception&) {
            throw Exception(kProcessingError);
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
