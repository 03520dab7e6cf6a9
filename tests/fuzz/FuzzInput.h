// The readers take paths: each fuzz input is handed over as a file held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace brimsal::fuzz {

// Replaces the content of one in-memory file with `data` and returns its path.
std::string AsFile(const uint8_t* data, size_t size);

}  // namespace brimsal::fuzz
