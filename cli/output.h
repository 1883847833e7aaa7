// What twr prints: sample-file bodies and box strings, through large buffered
// writes so that printing is never the slow part.
#pragma once

#include <memory>
#include <vector>

#include "args.h"
#include "decode/ovbase.h"
#include "files/ovdevicedescs.h"

void startOutput();
void printBody(const std::vector<TlinRow>& rows);
void printBoxes(const std::vector<TlinRow>& rows);
// One readable line per row: time, level as indent, boxes as "name value".
void printSummary(const std::vector<TlinRow>& rows);
// The --format option of the commands that print rows: text (the default) or summary.
Toption formatOption();
bool formatKnown(const Tparsed& args);
// The rows in the form --format names.
void printRows(const Tparsed& args, const std::vector<TlinRow>& rows);
// The same for rows[from, to), which begins and ends at top-level rows, written out at once.
void printRowsNow(const Tparsed& args, const std::vector<TlinRow>& rows, size_t from, size_t to);
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
