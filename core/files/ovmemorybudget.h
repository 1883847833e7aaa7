// How much memory loading a file may take before it gives up with "out of
// memory" instead of driving the machine into swap or the out-of-memory killer.
#pragma once

#include <cstdint>
#include <string>

namespace membudget {

// "4M", "512K", "1G" or plain bytes, binary multiples; false when not a size.
bool parseByteSize(const std::string& text, uint64_t& bytes);

// TWR_MEMORY_BUDGET (a byte size) when it is set and valid, else what the
// machine can give without swapping (MemAvailable), read at the call.
uint64_t defaultBudget();

}  // namespace membudget
