#include "ovwxtext.h"

wxString toWx(const std::string& text) {
  wxString utf8 = wxString::FromUTF8(text.data(), text.size());
  if (!utf8.empty() || text.empty()) return utf8;
  return wxString(text.data(), wxConvISO8859_1, text.size());
}
