#include "regexp/re_scanner.hpp"

#include <utility>

namespace brindle {

TREScanner::TREScanner(std::string regexp) : regexp_(std::move(regexp)) {}

void TREScanner::SetRegExpStr(std::string regexp) {
    regexp_ = std::move(regexp);
    index_ = 1;
}

void TREScanner::Rewind() {
    index_ = 1;
    in_char_class_ = false;
}

// The end is found by position, not by a character of value 0: a NUL byte inside the
// expression is a character like any other and must not cut the expression short.
bool TREScanner::AtEnd() const {
    return index_ < 1 || static_cast<std::size_t>(index_) > regexp_.size();
}

REToken_t TREScanner::GetToken() {
    if (in_char_class_) {
        token_ = GetTokenCC();
        if (token_ == retk_RBra) {
            in_char_class_ = false;
        }
    } else {
        token_ = GetTokenStd();
        if (token_ == retk_LBra || token_ == retk_LBraNeg) {
            in_char_class_ = true;
        }
    }
    return token_;
}

REToken_t TREScanner::GetTokenStd() {
    if (AtEnd()) {
        symbol_.WChar = 0;
        return token_ = retk_End;
    }
    const WChar_t c = GetWChar(regexp_, index_);
    symbol_.WChar = c;
    switch (c) {
        case '$':
            return token_ = retk_LTail;
        case '(':
            return token_ = retk_LPar;
        case ')':
            return token_ = retk_RPar;
        case '*':
            return token_ = retk_Star;
        case '+':
            return token_ = retk_Plus;
        case '.':
            return token_ = retk_Dot;
        case '?':
            return token_ = retk_QMark;
        case ']':
            return token_ = retk_RBra;
        case '^':
            return token_ = retk_LHead;
        case '|':
            return token_ = retk_Union;
        case '[': {
            if (AtEnd()) {
                throw ERegExpParser(Msg(CoreMsg::RegexNeedCloseBracket), index_);
            }
            const int before = index_;
            if (GetWChar(regexp_, index_) == '^') {
                return token_ = retk_LBraNeg;
            }
            index_ = before;
            return token_ = retk_LBra;
        }
        case '\\':
            symbol_.WChar = GetQuotedWChar(regexp_, index_);
            return token_ = retk_Char;
        default:
            return token_ = retk_Char;
    }
}

REToken_t TREScanner::GetTokenCC() {
    if (AtEnd()) {
        throw ERegExpParser(Msg(CoreMsg::RegexNeedCloseBracket), index_);
    }
    WChar_t a = GetWChar(regexp_, index_);
    symbol_.WChar = a;
    if (a == ']') {
        return token_ = retk_RBra;
    }
    if (a == '\\') {
        a = GetQuotedWChar(regexp_, index_);
        symbol_.WChar = a;
    }
    if (AtEnd()) {
        throw ERegExpParser(Msg(CoreMsg::RegexNeedCloseBracket), index_);
    }
    const int before_dash = index_;
    if (GetWChar(regexp_, index_) != '-') {
        index_ = before_dash;
        return token_ = retk_Char;
    }
    if (AtEnd()) {
        throw ERegExpParser(Msg(CoreMsg::RegexNeedCloseBracket), index_);
    }
    WChar_t c = GetWChar(regexp_, index_);
    if (c == ']') {
        // "a-]": the - is a literal member; read - and ] again as the next tokens.
        index_ = before_dash;
        return token_ = retk_Char;
    }
    if (c == '\\') {
        c = GetQuotedWChar(regexp_, index_);
    }
    if (c < a) {
        throw ERegExpParser(Msg(CoreMsg::RegexBadRange), index_);
    }
    symbol_.CharClass = {a, c};
    return token_ = retk_CharClass;
}

}  // namespace brindle
