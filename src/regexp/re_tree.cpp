#include "regexp/re_tree.hpp"

#include <algorithm>
#include <unordered_map>

namespace brindle {

namespace {

bool Overlaps(const RECharClass_t& a, const RECharClass_t& b) {
    return a.StartChar <= b.EndChar && b.StartChar <= a.EndChar;
}

void AppendWChar(std::string& out, WChar_t c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool plain =
        c > 0x20 && c < 0x7F && c != '(' && c != ')' && c != ',' && c != '-' && c != '\\';
    if (plain) {
        out += static_cast<char>(c);
        return;
    }
    out += "\\x";
    if (c > 0xFF) {
        out += kHex[(c >> 12) & 0xF];
        out += kHex[(c >> 8) & 0xF];
    }
    out += kHex[(c >> 4) & 0xF];
    out += kHex[c & 0xF];
}

void DumpNode(REpNode_t node, std::string& out) {
    if (node == nullptr) {
        out += "null";
        return;
    }
    switch (node->op) {
        case reop_Char:
            out += "Char(";
            AppendWChar(out, node->CharClass.StartChar);
            if (node->CharClass.EndChar != node->CharClass.StartChar) {
                out += '-';
                AppendWChar(out, node->CharClass.EndChar);
            }
            out += ')';
            return;
        case reop_LHead:
            out += "LHead";
            return;
        case reop_LTail:
            out += "LTail";
            return;
        case reop_Empty:
            out += "Empty";
            return;
        case reop_Closure:
            out += "Star(";
            DumpNode(node->Children.pLeft, out);
            out += ')';
            return;
        case reop_Concat:
        case reop_Union:
            out += node->op == reop_Concat ? "Cat(" : "Or(";
            DumpNode(node->Children.pLeft, out);
            out += ',';
            DumpNode(node->Children.pRight, out);
            out += ')';
            return;
    }
    out += '?';
}

}  // namespace

REpNode_t TREParseTree::MakeInternalNode(REOperation_t op, REpNode_t left, REpNode_t right) {
    auto node = std::make_unique<RENode_t>();
    node->op = op;
    node->Children = {left, right};
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

REpNode_t TREParseTree::MakeLeaf(WChar_t start, WChar_t end) {
    const auto key = std::make_pair(start, end);
    if (const auto found = leaf_index_.find(key); found != leaf_index_.end()) {
        return found->second;
    }
    auto leaf = std::make_unique<RENode_t>();
    leaf->op = reop_Char;
    leaf->CharClass = {start, end};
    leaves_.push_back(std::move(leaf));
    REpNode_t result = leaves_.back().get();
    leaf_index_.emplace(key, result);
    return result;
}

REpNode_t TREParseTree::Check_and_MakeLeaf(WChar_t start, WChar_t end) {
    return end < start ? nullptr : MakeLeaf(start, end);
}

REpNode_t TREParseTree::MakeLHeadNode(WChar_t c) {
    REpNode_t node = MakeInternalNode(reop_LHead, nullptr, nullptr);
    node->CharClass = {c, c};
    return node;
}

REpNode_t TREParseTree::MakeLTailNode(WChar_t c) {
    REpNode_t node = MakeInternalNode(reop_LTail, nullptr, nullptr);
    node->CharClass = {c, c};
    return node;
}

REpNode_t TREParseTree::MakeAnyCharsNode() {
    const auto& r = kAnyCharRanges;
    REpNode_t first = MakeInternalNode(reop_Union, MakeLeaf(r[0].StartChar, r[0].EndChar),
                                       MakeLeaf(r[1].StartChar, r[1].EndChar));
    return MakeInternalNode(reop_Union, first, MakeLeaf(r[2].StartChar, r[2].EndChar));
}

void TREParseTree::ChangeLeaftoNode(REpNode_t leaf, REpNode_t left, REpNode_t right) {
    const auto found = std::find_if(leaves_.begin(), leaves_.end(),
                                    [leaf](const auto& owned) { return owned.get() == leaf; });
    if (leaf == nullptr || found == leaves_.end()) {
        throw Exception(Msg(CoreMsg::RegexTreeFatal));
    }
    ChangeLeafAt(static_cast<std::size_t>(found - leaves_.begin()), left, right);
}

void TREParseTree::ChangeLeafAt(std::size_t index, REpNode_t left, REpNode_t right) {
    if (left == nullptr || right == nullptr) {
        throw Exception(Msg(CoreMsg::RegexTreeFatal));
    }
    REpNode_t leaf = leaves_[index].get();
    leaf_index_.erase(std::make_pair(leaf->CharClass.StartChar, leaf->CharClass.EndChar));
    nodes_.push_back(std::move(leaves_[index]));
    leaves_.erase(leaves_.begin() + static_cast<std::ptrdiff_t>(index));
    leaf->op = reop_Union;
    leaf->Children = {left, right};
}

bool TREParseTree::ForceCharClassUnique(std::size_t max_nodes) {
    // Ranges are held in ints so that s2 - 1 and lo + 1 cannot wrap around at 0 and 0xFFFF.
    auto piece = [this](int start, int end) -> REpNode_t {
        return end < start ? nullptr
                           : MakeLeaf(static_cast<WChar_t>(start), static_cast<WChar_t>(end));
    };
    // Leaf i is compared with the later leaves in list order and split with the first one it
    // overlaps; then the comparisons for index i start again. When leaf i itself survives a
    // split, the leaves between it and the changed partner were already found disjoint from it
    // and are unchanged (new pieces go to the end), so the scan resumes at the partner's old
    // place instead of at i + 1: the same pairs are found, without the quadratic rescans.
    std::size_t i = 0;
    std::size_t j = 1;
    while (i < leaves_.size()) {
        if (nodes_.size() + leaves_.size() > max_nodes) {
            return false;
        }
        REpNode_t a = leaves_[i].get();
        REpNode_t b = nullptr;
        for (; j < leaves_.size(); ++j) {
            if (Overlaps(a->CharClass, leaves_[j]->CharClass)) {
                b = leaves_[j].get();
                break;
            }
        }
        if (b == nullptr) {
            ++i;
            j = i + 1;
            continue;
        }
        // L has the smaller start. The partner b sits at j > i; when both change, the later
        // one is changed first so that the earlier one's index stays valid.
        const bool a_is_l = a->CharClass.StartChar <= b->CharClass.StartChar;
        REpNode_t l = a_is_l ? a : b;
        REpNode_t r = a_is_l ? b : a;
        const std::size_t l_at = a_is_l ? i : j;
        const std::size_t r_at = a_is_l ? j : i;
        const int s1 = l->CharClass.StartChar;
        const int s2 = r->CharClass.StartChar;
        const int l_end = l->CharClass.EndChar;
        const int r_end = r->CharClass.EndChar;
        const int lo = std::min(l_end, r_end);
        const int hi = std::max(l_end, r_end);
        // New pieces are appended, after both i and j, so the two indexes stay valid.
        REpNode_t p = piece(s1, s2 - 1);
        REpNode_t m = piece(s2, lo);
        REpNode_t q = piece(lo + 1, hi);
        if (s1 < s2) {
            if (l_end == r_end) {
                ChangeLeafAt(l_at, p, m);
            } else if (l_end > r_end) {
                ChangeLeafAt(l_at, MakeInternalNode(reop_Union, p, m), q);
            } else {
                if (l_at > r_at) {
                    ChangeLeafAt(l_at, p, m);
                    ChangeLeafAt(r_at, m, q);
                } else {
                    ChangeLeafAt(r_at, m, q);
                    ChangeLeafAt(l_at, p, m);
                }
            }
        } else if (l_end > r_end) {
            ChangeLeafAt(l_at, m, q);
        } else {
            ChangeLeafAt(r_at, m, q);
        }
        if (i >= leaves_.size() || leaves_[i].get() != a) {
            j = i + 1;
        }
    }
    return true;
}

void TREParseTree::DisposeTree() {
    root_ = nullptr;
    leaf_index_.clear();
    leaves_.clear();
    nodes_.clear();
}

RETreeMeasure_t MeasureTree(REpNode_t root) {
    if (root == nullptr) {
        return {};
    }
    constexpr std::size_t kSizeCap = kMaxExpandedSize + 1;
    struct Entry {
        RETreeMeasure_t measure;
        bool done = false;
    };
    std::unordered_map<const RENode_t*, Entry> memo;
    std::vector<REpNode_t> stack{root};
    while (!stack.empty()) {
        REpNode_t node = stack.back();
        auto [it, inserted] = memo.try_emplace(node);
        if (it->second.done) {
            stack.pop_back();
            continue;
        }
        const bool has_children =
            node->op == reop_Concat || node->op == reop_Union || node->op == reop_Closure;
        REpNode_t children[] = {has_children ? node->Children.pLeft : nullptr,
                                has_children ? node->Children.pRight : nullptr};
        if (inserted) {
            // First visit: measure the children first. A child already on the way down would
            // mean a cycle, which no tree of the parser has.
            for (REpNode_t child : children) {
                if (child == nullptr) {
                    continue;
                }
                const auto c = memo.find(child);
                if (c == memo.end()) {
                    stack.push_back(child);
                } else if (!c->second.done) {
                    throw Exception(Msg(CoreMsg::RegexTreeFatal));
                }
            }
            continue;
        }
        RETreeMeasure_t m{1, 1};
        for (REpNode_t child : children) {
            if (child != nullptr) {
                const RETreeMeasure_t& c = memo.at(child).measure;
                m.Height = std::max(m.Height, c.Height + 1);
                m.ExpandedSize = std::min(m.ExpandedSize + c.ExpandedSize, kSizeCap);
            }
        }
        // memo may have rehashed while the children were pushed; look the node up again.
        Entry& entry = memo.at(node);
        entry.measure = m;
        entry.done = true;
        stack.pop_back();
    }
    return memo.at(root).measure;
}

std::string DumpTree(REpNode_t node) {
    std::string out;
    DumpNode(node, out);
    return out;
}

}  // namespace brindle
