// Lets a test make every allocation of at least this many bytes fail, on any
// thread (0: none fails), as when memory runs out mid-way.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<std::size_t> failAllocationsFrom;
