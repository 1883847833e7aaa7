// Runs the twr program and collects what it printed and its exit status.
#pragma once

#include <string>

#include "support/testfiles.h"

struct Trun {
  int status = -1;
  std::string out;
  std::string err;
};

// args are passed to /bin/sh after "twr", so quote what needs quoting. twr's
// configuration directory is configDir().
Trun runTwr(const std::string& args);
// The same after a shell prefix ("cat FILE |" pipes into twr), stopped after
// seconds: a twr that would wait for ever ends with status 124 instead.
Trun runTwr(const std::string& prefix, const std::string& args, int seconds);
std::string configDir();
