// The bench stream: a busy full-speed bus (bulk transfers back to back), as
// the capture device would deliver it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// At least minBytes of raw capture.
std::vector<uint8_t> busyCapture(size_t minBytes);
