// What the fuzz targets share: the checks every decoded row must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovcapture.h"

namespace fuzz {

// A path the loader can open that holds bytes, without touching the disk.
std::string memoryFile(const uint8_t* data, size_t size);
// Text and boxes of every row; aborts when a row's text does not read back
// as the same text. With kindsOnly, only the first row of each kind (type,
// flags, level, PID, data length): a decode repeats a few kinds thousands of
// times, and drawing each again would take most of a run.
void renderRows(const Tcapture& capture, bool kindsOnly = false);
// The same for objects that are no capture's rows.
void renderObjects(const TobjVec& objects);
// Runs the scripts from the source tree, wherever the target was started (it
// changes the working directory).
void useSourceScripts();

}  // namespace fuzz
