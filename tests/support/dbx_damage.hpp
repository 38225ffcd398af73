// Seeded random damage of built mailboxes, for the differential test of salvage and for its
// longer run in bench/: a mailbox of random messages (random sizes, block sizes, index shapes,
// some deleted), then one to three damages of random kinds (flipped bytes, index pointers moved
// into nodes and records, bad block lengths, a cut file). The result says which messages the
// damage left alone: those must come out of a salvaging reader byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle::test {

struct DamagedMailbox {
    std::string bytes;
    std::vector<std::string> texts;  // every listed message's text; deleted ones are not here
    std::vector<bool> untouched;     // per text: no byte of its record or blocks was damaged
    std::string damage;              // what was done, for a failure message
};

DamagedMailbox MakeDamagedMailbox(std::uint32_t seed);

}  // namespace brindle::test
