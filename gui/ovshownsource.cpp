#include "ovshownsource.h"

#include <filesystem>

void TshownSource::fileRead(const std::string& path) {
  file = path;
  capture = false;
}

void TshownSource::saved(const std::string& path) { fileRead(path); }

void TshownSource::captureKept() {
  file.clear();
  capture = true;
}

std::string TshownSource::title(const std::string& product) const {
  if (capture) return "Capture (not saved) - " + product;
  if (file.empty()) return product;
  return std::filesystem::path(file).filename().string() + " - " + product;
}
