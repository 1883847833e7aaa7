// A sample file loaded and counted at once: the statistics of its complete
// roots are counted while later ones are still read.
#pragma once

#include "decode/ovcapture.h"
#include "decode/ovstats.h"
#include "files/ovdataio.h"
#include "files/ovinput.h"

// False, with io.lastError() saying why, when the file cannot be read.
bool loadCounted(Tinput& input, Tcapture& capture, TdataIO& io, TcaptureStats& stats);
