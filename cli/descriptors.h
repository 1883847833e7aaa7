// Descriptors from outside the capture for --decode: the options that give
// them, and the descriptor sets a decoded capture holds, remembered for later
// captures of the same devices.
#pragma once

#include <string>

#include "args.h"
#include "files/ovdevicedescs.h"

class TluaState;

// Functions, not objects: the commands' tables are built while the program starts.
Toption descriptorsOption();
Toption hintOption();

// The hints and "lsusb -v" text the options give, and the sets remembered
// before. exitOk, or the exit status after a one-line message.
int externalDevicesFrom(const std::string& command, const Tparsed& args, TexternalDevices& devices);
// Remembers the sets the capture holds, naming the capture file; a failure is
// only reported.
void rememberDevices(TluaState& lua, const std::string& capture);
