// Skipping ahead through Shift_JIS text without ever landing inside a character.
//
// A byte search (memchr, memmem, a byte table) finds positions that may be the second byte of
// a double-byte character: a trail byte 0x5C looks like a backslash, a trail byte 0x41 like an
// A. A found position q is confirmed from a position known to start a character: the
// consecutive bytes just before q that could be lead bytes are counted back (never past the
// known start). A byte that cannot be a lead ends the previous character whatever it was, so
// q starts a character exactly when that count is even. The known start then moves to q, so
// every byte is counted back at most once and the confirmation stays linear over the text.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "platform/sjis.hpp"

namespace brindle {

class TBoundarySearch {
  public:
    // table: the bytes that may start a match; prefix: bytes every match starts with (may be
    // empty). The text must outlive the object.
    TBoundarySearch(std::string_view text, const std::array<bool, 256>& table,
                    std::string_view prefix)
        : text_(text), table_(table), prefix_(prefix) {
        int count = 0;
        for (std::size_t b = 0; b < 256; ++b) {
            if (table[b]) {
                ++count;
                single_ = static_cast<int>(b);
            }
        }
        if (count != 1) {
            single_ = -1;
        }
        none_ = count == 0;
    }

    // The first position q >= from that starts a character and is a candidate, or the text's
    // size. from must start a character.
    std::size_t Next(std::size_t from) {
        const std::size_t n = text_.size();
        const auto* data = reinterpret_cast<const unsigned char*>(text_.data());
        if (none_) {
            return n;
        }
        if (prefix_.size() < 2 && single_ < 0) {
            // Walk character by character: no confirmation needed.
            std::size_t q = from;
            while (q < n && !table_[data[q]]) {
                q += (sjis::IsLeadByte(data[q]) && q + 1 < n) ? 2 : 1;
            }
            return q;
        }
        while (from < n) {
            const void* hit;
            if (prefix_.size() >= 2) {
                hit = memmem(data + from, n - from, prefix_.data(), prefix_.size());
            } else {
                hit = std::memchr(data + from, single_, n - from);
            }
            if (hit == nullptr) {
                return n;
            }
            const auto q = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
            if (StartsCharacter(data, from, q)) {
                return q;
            }
            from = q + 1;  // q is a trail byte, so the next character starts right after it
        }
        return n;
    }

    // True when q starts a character, given that from (<= q) does.
    static bool StartsCharacter(const unsigned char* data, std::size_t from, std::size_t q) {
        std::size_t i = q;
        while (i > from && sjis::IsLeadByte(data[i - 1])) {
            --i;
        }
        return ((q - i) & 1U) == 0;
    }

  private:
    std::string_view text_;
    const std::array<bool, 256>& table_;
    std::string_view prefix_;
    int single_ = -1;
    bool none_ = false;
};

}  // namespace brindle
