// What twr prints: sample-file bodies and box strings, through large buffered
// writes so that printing is never the slow part.
#pragma once

#include <memory>

#include "args.h"
#include "decode/ovcapture.h"
#include "files/ovdevicedescs.h"

void startOutput();
void printBody(const Tcapture& capture);
void printBoxes(const Tcapture& capture);
// The --format option of the commands that print rows: text (the default) or summary.
Toption formatOption();
bool formatKnown(const Tparsed& args);
// The rows in the form --format names.
void printRows(const Tparsed& args, const Tcapture& capture);
// The same for rows [from, to), which begins and ends at top-level rows, written out at once.
void printRowsNow(const Tparsed& args, const Tcapture& capture, size_t from, size_t to);
// The text of each packet and reset in bus order, for checking the grouping by hand.
void printObjects(const Tcapture& capture);
// One decode text of the scripts per row, newlines written as \n and
// backslashes as \\ so that every text stays on its line; the scripts get
// `external` first, and afterwards the descriptor sets the capture holds are
// remembered as coming from the file `capture`. False, with the reason on
// standard error and nothing printed, when the scripts cannot be loaded.
bool printDecodes(const std::shared_ptr<const Tcapture>& rows, const TexternalDevices& external,
                  const std::string& capture);
// Flushes standard output; exit status 0, or 1 with a message when writing failed.
int finishOutput();
