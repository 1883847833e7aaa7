#include "ovboxkey.h"

namespace {

void addNumber(std::string& key, uint64_t n) { key.append(reinterpret_cast<const char*>(&n), sizeof n); }

// Length first, so that no two texts run into each other.
void addText(std::string& key, const std::string& text) {
  addNumber(key, text.size());
  key += text;
}

}  // namespace

std::string textImageKey(const std::string& text, uint64_t textColour, uint64_t fillColour, int w, int h) {
  std::string key;
  key.reserve(text.size() + 40);
  addText(key, text);
  addNumber(key, textColour);
  addNumber(key, fillColour);
  addNumber(key, (static_cast<uint64_t>(static_cast<uint32_t>(w)) << 32) | static_cast<uint32_t>(h));
  return key;
}

std::string boxStampKey(const TdisplayBox& box, int w, uint32_t rowBg) {
  std::string key;
  key.reserve(box.text1.size() + box.text2.size() + 80);
  addNumber(key, (static_cast<uint64_t>(box.kind) << 32) | static_cast<uint32_t>(w));
  addNumber(key, rowBg);
  addText(key, box.text1);
  addNumber(key, box.textColour1);
  addNumber(key, box.fillColour1);
  if (box.kind != 1) return key;  // one line: the second text is not drawn
  addText(key, box.text2);
  addNumber(key, box.textColour2);
  addNumber(key, box.fillColour2);
  return key;
}
