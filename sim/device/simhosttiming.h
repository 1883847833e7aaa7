// Host timings that suit the simulated sniffer's quick configuration
// (TsimConfig::quick()): short pauses, but never shorter than its busy times.
#pragma once

#include "hardware/ovfx2.h"

ThwTiming quickHostTiming(unsigned threadPeriodMs = 20);
