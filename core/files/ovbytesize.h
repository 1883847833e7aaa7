// Byte sizes as people type them on a command line.
#pragma once

#include <cstdint>
#include <string>

// "4M", "512K", "1G" or plain bytes, binary multiples; false when not a size.
bool parseByteSize(const std::string& text, uint64_t& bytes);
