// What the library's tests hold its answers against: the core's own rows for
// a sample file or for the capture buffer behind a context.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/waitfor.h"
#include "twrcore.h"

#define DATA_FILE(name) TWR_TEST_DATA_DIR "/" name

struct TrefRows {
  std::vector<std::string> texts;
  std::vector<std::string> boxes;
  uint64_t decoded = 0;  // raw bytes the decoder read; 0 for a sample file
};

TrefRows refFromSample(const std::string& path);
TrefRows refFromCapture(TsniffContext* ctx);
uint64_t refCaptureBytes(TsniffContext* ctx);
