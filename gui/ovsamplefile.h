// Reading and saving sample files for the GUI, where a bad file must never end
// the program and a failure must never look like success.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "decode/ovbase.h"

struct TsampleRead {
  bool missing = false;  // no file of that name: nothing else is wrong
  std::string problem;   // empty when the file was read; else names the file and why
  std::shared_ptr<TobjVec> objs = std::make_shared<TobjVec>();
  std::shared_ptr<std::vector<TlinRow>> rows = std::make_shared<std::vector<TlinRow>>();
};

// Reads into fresh lists, so the caller's data stays as it was when this fails.
TsampleRead readSampleFile(const std::string& path);

// Empty on success, else a sentence naming the file and why.
std::string saveSampleFile(const std::vector<TlinRow>& rows, const std::string& path);
