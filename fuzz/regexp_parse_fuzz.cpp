// Feeds arbitrary bytes to the regular expression front end: preprocessing (with the fuzzy
// dictionary on or off, chosen by the first byte) and parsing. Every input must end in a tree
// or an ERegExpParser; a tree must hold only disjoint ranges of text characters and stay
// within the budgets that the automaton stages rely on.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "regexp/re_parser.hpp"
#include "regexp/re_preprocessor.hpp"

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckTree(const brindle::TREParser& parser) {
    using namespace brindle;
    std::vector<RECharClass_t> ranges;
    for (const auto& leaf : parser.ParseTree().LeafList()) {
        Check(leaf->op == reop_Char);
        Check(leaf->CharClass.StartChar >= 1);
        Check(leaf->CharClass.StartChar <= leaf->CharClass.EndChar);
        Check(leaf->CharClass.EndChar <= kMaxTextWChar);
        ranges.push_back(leaf->CharClass);
    }
    std::sort(ranges.begin(), ranges.end(),
              [](const auto& a, const auto& b) { return a.StartChar < b.StartChar; });
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        Check(ranges[i - 1].EndChar < ranges[i].StartChar);
    }
    Check(parser.Root() != nullptr);
    const RETreeMeasure_t measure = MeasureTree(parser.Root());
    Check(measure.Height <= kMaxTreeHeight);
    Check(measure.ExpandedSize <= kMaxExpandedSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace brindle;
    if (size == 0) {
        return 0;
    }
    const bool fuzzy = (data[0] & 1) != 0;
    std::string expression(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        TREPreProcessor pre(expression);
        pre.ListOfFuzzyCharDic().push_back(&RE_FuzzyCharDic());
        pre.SetUseFuzzyCharDic(fuzzy);
        pre.Run();
        Check(fuzzy || pre.GetProcessedRegExpStr() == expression);
        expression = pre.GetProcessedRegExpStr();
    } catch (const ERegExpParser& e) {
        Check(e.Position() <= expression.size() + 1);
        return 0;
    }
    TREParser parser(expression);
    try {
        parser.Run();
    } catch (const ERegExpParser& e) {
        Check(parser.Root() == nullptr);
        Check(e.Position() <= std::min<std::size_t>(expression.size() + 1, 0xFFFF));
        return 0;
    }
    CheckTree(parser);
    return 0;
}
