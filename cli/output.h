// What twr prints: sample-file bodies and box strings, through large buffered
// writes so that printing is never the slow part.
#pragma once

#include <vector>

#include "decode/ovbase.h"

void startOutput();
void printBody(const std::vector<TlinRow>& rows);
void printBoxes(const std::vector<TlinRow>& rows);
// Flushes standard output; exit status 0, or 1 with a message when writing failed.
int finishOutput();
