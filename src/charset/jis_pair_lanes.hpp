// The Shift_JIS form of JIS pairs computed 8 at a time on SSE2 lanes, for the JIS and EUC-JP
// converters (an EUC-JP pair is a JIS pair with bit 7 set on both bytes).
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>

#include <cstdint>

namespace brindle::jis_lanes {

// The constants of the lanes below, a row of 16 16-bit lanes each (the SSE2 code takes half),
// one value per row in the order of JisLane.
enum JisLane { kAbove, kLowByte, kAverage, kAboveAdd, kEvenAdd, kOddAdd, kHighByte, kSpace, kRows };
struct alignas(32) JisLaneTable {
    std::uint16_t row[kRows][16];
};
constexpr JisLaneTable MakeJisLaneTable() {
    constexpr std::uint16_t kValues[kRows] = {0x5F5E, 0x00FF, 0x00E0, 0x0040,
                                              0x7E00, 0xA100, 0xFF00, 0x2020};
    JisLaneTable table{};
    for (int r = 0; r < kRows; ++r) {
        for (std::uint16_t& lane : table.row[r]) {
            lane = kValues[r];
        }
    }
    return table;
}
inline constexpr JisLaneTable kJisLaneTable = MakeJisLaneTable();
using JisLanes = const std::uint16_t (*)[16];
inline constexpr JisLanes kJisLanes = kJisLaneTable.row;

inline __m128i Lane(JisLanes k, JisLane row) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(k[row]));
}

// The Shift_JIS form of the 8 JIS pairs of x, exact for the pairs whose bytes are both 0x21-0x7F
// (the others, and the pairs after them, are garbage), computed as TCharCodeConv::j2sj1 computes
// it (WriteJisPair in char_code_conv.cpp, from which its pair table is built too). On 16-bit lanes,
// j1 the low byte and j2 the high byte: s1 = (j1 + 0xE1) >> 1 (an average with 0xE0 rounding up), +
// 0x40 above 0x5E; s2 = j2 + 0x7E for an even j1, for an odd one j2 + 0x1F, + 1 above 0x5F. For
// such bytes s1 stays below 0x100 and adding s1 to the lane leaves the high byte alone; the
// additions to the high byte wrap within the lane. The byte comparisons are signed, right for
// 0x00-0x7F.
inline __m128i SJisOfJisPairs(__m128i x, JisLanes k) {
    // Low bytes above 0x5E, high bytes above 0x5F.
    const __m128i above = _mm_cmpgt_epi8(x, Lane(k, kAbove));
    const __m128i s1 =
        _mm_add_epi16(_mm_avg_epu16(_mm_and_si128(x, Lane(k, kLowByte)), Lane(k, kAverage)),
                      _mm_and_si128(above, Lane(k, kAboveAdd)));
    const __m128i odd = _mm_srai_epi16(_mm_slli_epi16(x, 15), 15);
    // 0x7E00 for an even j1; 0x7E00 + 0xA100 (wrapping to 0x1F00), + 0x100, for an odd one.
    const __m128i high_add = _mm_add_epi16(
        Lane(k, kEvenAdd),
        _mm_and_si128(odd,
                      _mm_sub_epi16(Lane(k, kOddAdd), _mm_and_si128(above, Lane(k, kHighByte)))));
    return _mm_add_epi16(_mm_add_epi16(_mm_and_si128(x, Lane(k, kHighByte)), high_add), s1);
}

// Mask of the bytes 0x21-0x7F of x: as signed bytes, exactly those above 0x20.
inline unsigned JisPairBytes(__m128i x, JisLanes k) {
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi8(x, Lane(k, kSpace))));
}

}  // namespace brindle::jis_lanes
#endif
