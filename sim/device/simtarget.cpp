#include "device/simtarget.h"

void TsimTarget::traffic(synth::TbusWriter& writer, uint64_t untilTick) { writer.idleUntil(untilTick); }

void TsimTarget::restart() {}
