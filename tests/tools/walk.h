// The tests' own reading of a practice's chains, from layout.h alone: every
// patient's chain walked forward and backward the way the file test is meant
// to, with its own owner map, so that what the generator claims to have
// written is checked by something that did not write it.
#pragma once

#include "tools/practice/generator.h"

#include <cstdint>
#include <string>
#include <vector>

namespace walk {

enum Finding : unsigned {
    StartOut = 1u << 0,  // start pointer below 0 or above the counter
    EndOut = 1u << 1,    // end pointer below 0 or above the counter
    FirstPrev = 1u << 2, // the chain's first line has a previous link
    LastNext = 1u << 3,  // the chain's last line has a next link
    Crossing = 1u << 4,  // a line already walked by another patient
    Runaway = 1u << 5,   // a walk of more than 5000 lines
    NextOut = 1u << 6,   // the forward walk ended on a link out of range
    PrevOut = 1u << 7,   // the backward walk ended on a link out of range
    Uneven = 1u << 8,    // the two walks counted different numbers of lines
    Unreadable = 1u << 9 // a record the file does not hold whole
};

struct Patient {
    unsigned findings = 0;
    std::vector<std::int32_t> forward, backward; // lines in the order visited
    std::vector<std::int32_t> crossedWith;       // owners met, once per change
};

// Walks every patient's chain of `file` (clinique, estime or Fschema; the
// chart forward only). Index 0 of the result is patient 1.
std::vector<Patient> Examine(const practice::Practice& practice, practice::DataFile file);

// Lines in use (1..counter) that no patient's walk reached.
std::vector<std::int32_t> Unreached(const practice::Practice& practice, practice::DataFile file,
                                    const std::vector<Patient>& walks);

// Readable names for failure messages: "StartOut|Uneven".
std::string FindingNames(unsigned findings);

} // namespace walk
