// What twr prints: sample-file bodies and box strings, through large buffered
// writes so that printing is never the slow part.
#pragma once

#include <memory>
#include <vector>

#include "decode/ovbase.h"
#include "files/ovdevicedescs.h"

void startOutput();
void printBody(const std::vector<TlinRow>& rows);
void printBoxes(const std::vector<TlinRow>& rows);
// The text of each object of a flat list, for checking the grouping by hand.
void printObjects(const TobjVec& objects);
// One decode text of the scripts per row, newlines written as \n and
// backslashes as \\ so that every text stays on its line; the scripts get
// `external` first, and afterwards the descriptor sets the capture holds are
// remembered as coming from the file `capture`. False, with the reason on
// standard error and nothing printed, when the scripts cannot be loaded.
bool printDecodes(const std::shared_ptr<const std::vector<TlinRow>>& rows, const TexternalDevices& external,
                  const std::string& capture);
// Flushes standard output; exit status 0, or 1 with a message when writing failed.
int finishOutput();
