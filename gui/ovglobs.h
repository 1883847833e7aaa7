// Process-wide settings and the topic hub of the GUI program.
#pragma once

#include <cstdint>

#include "ovpubsub.h"
#include "ovrowfilter.h"

struct TovGlobs {
  TpubSub pubSub;
  bool showSOFs = false;
  bool showNAKs = false;
  bool showPackets = true;
  TrowFilter rowFilter;  // the Filter menu's
  const char* productName = nullptr;
  const char* productShortName = nullptr;
  const char* legalNotice =
      "Copyright (c) Orlavex. Free to use, copy and change; provided as is, without warranty of any kind.";
  const char* helpFile = "sniffer_help.html";
  uint32_t bufferLimit = 128;  // KBytes
  int32_t fontPointSize = 12;

  void init() {}
};

extern TovGlobs _G;
