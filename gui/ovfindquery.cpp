#include "ovfindquery.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "decode/ovgroup.h"
#include "decode/ovvisit.h"
#include "files/ovlua.h"
#include "ovdecodeitems.h"

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Names are written GET_DESCRIPTOR in the decode texts and "Get Descriptor" in the boxes:
// an underscore and a space are the same to a search.
char folded(char c) { return c == '_' ? ' ' : lower(c); }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Empty unless every word is "0x" (optional) and an even number of hex digits: a digit
// without its pair meets a space or the end.
std::vector<uint8_t> hexBytes(const std::string& text) {
  std::vector<uint8_t> bytes;
  std::size_t at = 0;
  while (at < text.size()) {
    if (text[at] == ' ') {
      at++;
      continue;
    }
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    if (end - at > 2 && text[at] == '0' && lower(text[at + 1]) == 'x') at += 2;
    for (; at < end; at += 2) {
      const int hi = hexDigit(text[at]), lo = hexDigit(text[at + 1]);
      if (hi < 0 || lo < 0) return {};
      bytes.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
  }
  return bytes;
}

}  // namespace

TfindQuery parseFindQuery(const std::string& typed, bool inDecode) {
  TfindQuery query;
  query.inDecode = inDecode;
  const std::size_t first = typed.find_first_not_of(" \t");
  if (first == std::string::npos) return query;
  const std::string text = typed.substr(first, typed.find_last_not_of(" \t") - first + 1);
  for (char c : text) query.text += folded(c);
  if (!inDecode) query.bytes = hexBytes(text);
  return query;
}

std::string decodePlainText(const std::string& markup) {
  std::string plain;
  for (const TdecodeItem& item : parseDecodeText(markup)) {
    if (item.kind == TdecodeItem::paragraph) {
      plain += item.text + "\n";
      continue;
    }
    if (item.text != " ") plain += item.text + "\n";
    for (std::size_t line = 1; line < item.lines.size(); line++) {
      std::string row = item.lines[line];
      std::replace(row.begin(), row.end(), '#', '\t');
      plain += row + "\n";
    }
  }
  return plain;
}

const std::vector<uint8_t>& shownBytes(const TobjPtr& obj) {
  static const std::vector<uint8_t> none;
  if (!obj) return none;
  return visit(
      *obj, Toverload{[](Tdata& data) -> const std::vector<uint8_t>& { return data.data; },
                      [](Ttransax& trx) -> const std::vector<uint8_t>& {
                        const auto packet = trx.findDataPkt();
                        return packet ? packet->data : none;
                      },
                      [](Ttransfer& transfer) -> const std::vector<uint8_t>& { return transfer.findData(); },
                      [](Tbase&) -> const std::vector<uint8_t>& { return none; }});
}

TrowMatcher::TrowMatcher(std::shared_ptr<const Tcapture> capture, TfindQuery query)
    : capture(std::move(capture)), query(std::move(query)) {
  if (!this->query.inDecode) return;
  lua = std::make_unique<TluaState>(this->capture);
  if (this->query.devices) lua->setExternalDevices(*this->query.devices);
}

TrowMatcher::~TrowMatcher() = default;

bool TrowMatcher::inText(const std::string& text) const {
  // The query is folded already: only the text is, as compared.
  static const auto table = [] {
    std::array<char, 256> folds{};
    for (int c = 0; c < 256; c++) folds[c] = folded(static_cast<char>(c));
    return folds;
  }();
  const auto same = [](char t, char q) { return table[static_cast<unsigned char>(t)] == q; };
  return std::search(text.begin(), text.end(), query.text.begin(), query.text.end(), same) != text.end();
}

bool TrowMatcher::matches(std::size_t row) {
  if (query.empty() || row >= capture->rowCount()) return false;
  const TobjPtr obj = capture->row(row).obj;
  haystack.clear();
  if (lua) return inText(decodePlainText(lua->decode(obj)));
  if (!query.bytes.empty()) {
    const std::vector<uint8_t>& bytes = shownBytes(obj);
    if (std::search(bytes.begin(), bytes.end(), query.bytes.begin(), query.bytes.end()) != bytes.end())
      return true;
  }
  for (const TdisplayBox& box : boxes.getBoxes(obj)) {
    haystack += box.text1;
    haystack += ' ';
    haystack += box.text2;
    haystack += ' ';
  }
  return inText(haystack);
}
