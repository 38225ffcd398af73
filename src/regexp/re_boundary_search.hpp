// Skipping ahead through Shift_JIS text without ever landing inside a character.
//
// A byte search (memchr, a byte table) finds positions that may be the second byte of a
// double-byte character: a trail byte 0x5C looks like a backslash, a trail byte 0x41 like an A.
// A found position q is confirmed from a position known to start a character: the consecutive
// bytes just before q that could be lead bytes are counted back (never past the known start).
// A byte that cannot be a lead ends the previous character whatever it was, so q starts a
// character exactly when that count is even.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sjis.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace brindle {

// Where a match can begin, worked out once per automaton.
struct RESearchPlan_t {
    std::array<bool, 256> Table{};  // bytes that can begin a match
    std::string Prefix;             // bytes every match begins with (may be empty)
    std::size_t RareIndex = 0;      // the byte of Prefix that memchr looks for
    int Single = -1;                // the only byte of Table, or -1
    bool None = false;              // no byte can begin a match
    bool All = false;               // every position is a candidate
    // For each lead byte (0x81-0x9F, then 0xE0-0xFC), the trail bytes with which it makes a
    // character that can begin a match; empty when not worked out. A byte search for the lead
    // of full-width digits or of kana meets mostly other characters of the same lead, and each
    // would otherwise be confirmed and run.
    std::vector<std::bitset<256>> Pairs;
    // When Single is a lead byte with Pairs: the least and the greatest of its trail bytes.
    bool SingleLeadRange = false;
    unsigned char TrailLow = 0;
    unsigned char TrailHigh = 0;

    static std::size_t LeadIndex(unsigned char lead) {
        return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
    }
    // False when the lead byte at p, with a byte after it, cannot begin a match for its pair.
    bool PairCanBegin(const unsigned char* p, const unsigned char* end) const {
        return Pairs.empty() || p + 1 >= end || !sjis::IsLeadByte(*p) ||
               Pairs[LeadIndex(*p)].test(p[1]);
    }

    // Derives Single, None and All from Table.
    void Finish() {
        int count = 0;
        for (std::size_t b = 0; b < 256; ++b) {
            if (Table[b]) {
                ++count;
                Single = static_cast<int>(b);
            }
        }
        if (count != 1) {
            Single = -1;
        }
        None = count == 0;
        All = count == 256;
        SingleLeadRange = false;
        if (Single >= 0 && sjis::IsLeadByte(static_cast<unsigned char>(Single)) && !Pairs.empty()) {
            const std::bitset<256>& pairs = Pairs[LeadIndex(static_cast<unsigned char>(Single))];
            for (std::size_t t = 0; t < 256; ++t) {
                if (pairs.test(t)) {
                    TrailHigh = static_cast<unsigned char>(t);
                    if (!SingleLeadRange) {
                        TrailLow = static_cast<unsigned char>(t);
                        SingleLeadRange = true;
                    }
                }
            }
        }
    }
};

class TBoundarySearch {
  public:
    // The text and the plan must outlive the object.
    TBoundarySearch(std::string_view text, const RESearchPlan_t& plan)
        : data_(reinterpret_cast<const unsigned char*>(text.data())),
          n_(text.size()),
          plan_(plan) {}

    // The first position q >= from that starts a character and can begin a match, or the
    // text's size. from must start a character and never decrease between calls.
    std::size_t Next(std::size_t from) {
        if (plan_.None) {
            return n_;
        }
        if (plan_.All) {
            return from;
        }
        if (plan_.Prefix.size() >= 2) {
            return NextPrefix(from);
        }
        if (plan_.Single < 0) {
            // Walk character by character: no confirmation needed.
            std::size_t q = from;
            while (q < n_ &&
                   !(plan_.Table[data_[q]] && plan_.PairCanBegin(data_ + q, data_ + n_))) {
                q += (sjis::IsLeadByte(data_[q]) && q + 1 < n_) ? 2 : 1;
            }
            return q;
        }
        // A candidate is confirmed from `from`, which starts a character; the walk back never
        // goes further than the lead-capable bytes just before the candidate.
        std::size_t q_from = from;
#if defined(__SSE2__)
        if (plan_.SingleLeadRange) {
            // The lead of kana and full-width digits is every other byte of Japanese text:
            // sixteen positions at a time, only those whose next byte is in the range of the
            // trails that can begin a match are looked at.
            const __m128i lead = _mm_set1_epi8(static_cast<char>(plan_.Single));
            const __m128i low = _mm_set1_epi8(static_cast<char>(plan_.TrailLow));
            const __m128i width =
                _mm_set1_epi8(static_cast<char>(plan_.TrailHigh - plan_.TrailLow));
            for (; q_from + 17 <= n_; q_from += 16) {
                const __m128i here =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + q_from));
                const __m128i after =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(data_ + q_from + 1));
                const __m128i offset = _mm_sub_epi8(after, low);
                const __m128i in_range = _mm_cmpeq_epi8(_mm_min_epu8(offset, width), offset);
                auto mask = static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, lead), in_range)));
                while (mask != 0) {
                    const std::size_t q = q_from + static_cast<std::size_t>(__builtin_ctz(mask));
                    if (plan_.PairCanBegin(data_ + q, data_ + n_) &&
                        StartsCharacter(data_, from, q)) {
                        return q;
                    }
                    mask &= mask - 1;
                }
            }
        }
#endif
        while (q_from < n_) {
            const void* hit = std::memchr(data_ + q_from, plan_.Single, n_ - q_from);
            if (hit == nullptr) {
                return n_;
            }
            const auto q = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data_);
            if (plan_.PairCanBegin(data_ + q, data_ + n_) && StartsCharacter(data_, from, q)) {
                return q;
            }
            q_from = q + 1;
        }
        return n_;
    }

    // True when q starts a character, given that from (<= q) does.
    static bool StartsCharacter(const unsigned char* data, std::size_t from, std::size_t q) {
        return !sjis::IsTrailByteAfter(reinterpret_cast<const char*>(data), from, q);
    }

  private:
    // memchr for the prefix's rarest byte, then compare the whole prefix, then confirm.
    std::size_t NextPrefix(std::size_t from) {
        const std::string& prefix = plan_.Prefix;
        const std::size_t m = prefix.size();
        const std::size_t k = plan_.RareIndex;
        const auto rare = static_cast<unsigned char>(prefix[k]);
        std::size_t known = from;  // a position known to start a character
        std::size_t q = from;      // next candidate start
        while (q + m <= n_) {
            const void* hit = std::memchr(data_ + q + k, rare, n_ - m + 1 - q);
            if (hit == nullptr) {
                return n_;
            }
            const std::size_t start =
                static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data_) - k;
            if (std::memcmp(data_ + start, prefix.data(), m) == 0) {
                if (StartsCharacter(data_, known, start)) {
                    return start;
                }
                known = start + 1;
            }
            q = start + 1;
        }
        return n_;
    }

    const unsigned char* data_;
    std::size_t n_;
    const RESearchPlan_t& plan_;
};

}  // namespace brindle
