// Drawn pieces of rows by what they show: keys that hold every property that
// changes a pixel, and a map of images that starts afresh when full (texts that
// repeat come back at once; texts met once would only crowd it).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "boxes/ovboxes.h"

// A filled rectangle of w x h pixels with text centred on it.
std::string textImageKey(const std::string& text, uint64_t textColour, uint64_t fillColour, int w, int h);
// A whole box w pixels wide, outline included, on a row of background rowBg (0xRRGGBB): the
// outline's corners are blended with it. Gaps and widths in cells change where a box goes,
// not what it looks like.
std::string boxStampKey(const TdisplayBox& box, int w, uint32_t rowBg);

template <class Timage>
class TimageMap {
 public:
  explicit TimageMap(std::size_t limit) : limit(limit) {}
  Timage* find(const std::string& key) {
    auto found = images.find(key);
    return found == images.end() ? nullptr : &found->second;
  }
  Timage& put(std::string key, Timage image) {
    if (images.size() >= limit) images.clear();
    return images.insert_or_assign(std::move(key), std::move(image)).first->second;
  }
  void clear() { images.clear(); }
  std::size_t size() const { return images.size(); }

 private:
  std::size_t limit;
  std::unordered_map<std::string, Timage> images;
};
