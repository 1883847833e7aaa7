#include "device/simhosttiming.h"

ThwTiming quickHostTiming(unsigned threadPeriodMs) {
  ThwTiming timing;
  timing.reenumPauseMs = 50;  // longer than the simulator takes to leave the bus
  timing.reopenPauseMs = 20;
  timing.notFoundPauseMs = 20;
  timing.readTimeoutMs = 100;
  timing.busyLimitMs = 300;
  timing.threadPeriodMs = threadPeriodMs;
  timing.refreshPauseMs = 50;  // the simulator's quick busy times are longer than the real part's
  timing.eepromWriteMs = 50;
  return timing;
}
