// The subcommands of twr, one file each.
#pragma once

#include "args.h"

extern const Tcommand decodeCommand;
extern const Tcommand showCommand;
extern const Tcommand captureCommand;
extern const Tcommand exportCommand;
extern const Tcommand importCommand;
extern const Tcommand streamCommand;
extern const Tcommand statsCommand;
