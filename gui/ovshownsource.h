// Where the shown rows came from, as the window's title and its question on
// closing see them. Only a capture taken from the device is lost on exit: a
// file that was read, whatever its kind, can be read again.
#pragma once

#include <string>

class TshownSource {
 public:
  void fileRead(const std::string& path);
  void saved(const std::string& path);
  // A capture from the device kept by the user: unsaved until saved.
  void captureKept();

  bool unsaved() const { return capture; }
  // The file the rows were last read from or saved to, empty when there is none.
  const std::string& path() const { return file; }
  // "name.ovd - Product", "Capture (not saved) - Product", or the product alone.
  std::string title(const std::string& product) const;

 private:
  std::string file;
  bool capture = false;
};
