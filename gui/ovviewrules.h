// The small rules of the main window that need no display.
#pragma once

namespace viewrules {

// Font size after one zoom step (+1 in, -1 out): steps of 2 up to 14 points,
// a fifth of the size above, never below 6.
int zoomedPointSize(int pointSize, int direction);

// Label of a filter toggle: it names what the next press does.
const char* sofLabel(bool shown);
const char* nakLabel(bool shown);
const char* packetLabel(bool shown);

}  // namespace viewrules
