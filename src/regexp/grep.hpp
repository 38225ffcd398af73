// TGrep: searches a text file line by line and reports every line that holds a match.
//
// Here ^ and $ are compiled as transitions on the line feed itself, and each line is searched
// framed by line feeds (one before it, one after it), so the automaton sees line boundaries as
// ordinary characters. A match starts in the line or on the line feed before it and may end on
// the line feed after it; it never runs on into the next line. An expression whose automaton
// is a single chain of characters is searched for as a plain string.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "regexp/regular_expression.hpp"
#include "regexp/txt_file.hpp"

namespace brindle {

struct RE_LineInfo_t {
    std::string Line;  // without its line end
    std::size_t LineNo = 0;
};

class TGrep;
using TGrepOnMatch = std::function<void(TGrep& sender, const RE_LineInfo_t& line_info)>;

class TGrep : public TRegularExpression {
  public:
    TGrep();

    // Each reports every matching line through OnMatch; nothing happens when OnMatch is not
    // set. Raise EFileNotFound and EGrepCancel; the file is closed in every case.
    void GrepByRegExp(const std::string& file_name);
    void GrepByStr(const std::string& file_name);
    // The search procedure in force: GrepByStr for a simple expression, else GrepByRegExp.
    void Grep(const std::string& file_name);

    TGrepOnMatch OnMatch;
    bool Cancel = false;
    // Stands in for the window system's pending messages: run after every block read and
    // every reported line, so that a handler can set Cancel during a search.
    std::function<void()> ProcessMessages;

  protected:
    WChar_t GetLineHeadWChar() const override { return 0x0A; }
    WChar_t GetLineTailWChar() const override { return 0x0A; }
    void ExpressionChanged() override { by_string_ = GetRegExpIsSimple(); }

  private:
    template <typename LineTest>
    void Search(const std::string& file_name, LineTest&& test);
    void Report(const RE_LineInfo_t& info);

    bool by_string_ = true;
};

}  // namespace brindle
