// The matcher: decides whether one parsed message satisfies every condition of a list.
//
// A condition searches the header text, the body text, or both joined by two line feeds.
// Literal conditions are a multi-byte-aware substring search (optionally after ASCII
// upper-casing of both sides); regular-expression conditions run the program's own engine on
// the searched text after its backslash escapes have been decoded, and always respect case.
// The list is evaluated in order and stops at the first condition that fails.
//
// Threads: a matcher holds each regular expression compiled (on first use, in an automaton of
// its own, so that switching between conditions costs nothing per message), so one matcher is
// used by one thread at a time; matchers on different threads share nothing and may run at once.
// The filter that MakeMailFilter answers shares its matcher among its copies: give each thread its
// own filter.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "model/basic_mail.hpp"
#include "model/find_type.hpp"

namespace brindle {

class TAWKStr;

class TMailMatch {
  public:
    TMailMatch();
    ~TMailMatch();
    TMailMatch(const TMailMatch&) = delete;
    TMailMatch& operator=(const TMailMatch&) = delete;

    void SetFindTypes(std::span<const TFindType> find_types);

    // True when the message satisfies every condition (always, for an empty list). An invalid
    // expression raises its ERegExpParser unchanged; an error while a message's text is
    // escape-processed or matched raises Exception "正規表現の処理でエラーが発生しました。".
    // Either costs only this call: the matcher stays usable.
    bool MatchMail(const TBasicMail& mail);

  private:
    // The compiled expression of regular-expression condition `index`; an invalid one raises
    // here each time it is reached.
    TAWKStr& Automaton(std::size_t index);

    std::vector<TFindType> find_types_;
    std::vector<std::unique_ptr<TAWKStr>> automata_;  // by condition; empty until compiled
};

// The conversion run's filter (its TMailFilter) for a condition list: empty (every message is
// converted) for an empty list, otherwise a matcher of its own that the filter's copies share.
std::function<bool(const TBasicMail&)> MakeMailFilter(std::vector<TFindType> find_types);

}  // namespace brindle
