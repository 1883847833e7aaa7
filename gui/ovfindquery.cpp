#include "ovfindquery.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

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
    : capture(std::move(capture)), query(std::move(query)), scan(this->capture->rowScan()) {
  // How far the search moves on past a text character: from the query's last place that
  // character folds to (its last character not counted), or the query's length.
  const std::size_t m = this->query.text.size();
  skip.fill(m);
  for (int c = 0; c < 256; c++) {
    foldTable[c] = folded(static_cast<char>(c));
    for (std::size_t i = 0; i + 1 < m; i++)
      if (foldTable[c] == this->query.text[i]) skip[c] = m - 1 - i;
  }
  if (!this->query.inDecode) return;
  lua = std::make_unique<TluaState>(this->capture);
  if (this->query.devices) lua->setExternalDevices(*this->query.devices);
  lua->scanRows();
}

TrowMatcher::~TrowMatcher() = default;

bool TrowMatcher::inText(const std::string& text) const {
  // Horspool's search, each character of the text folded as it is compared.
  const std::size_t m = query.text.size();
  const auto* t = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t at = 0; at + m <= text.size(); at += skip[t[at + m - 1]]) {
    std::size_t i = m;
    while (i > 0 && foldTable[t[at + i - 1]] == query.text[i - 1]) --i;
    if (i == 0) return true;
  }
  return false;
}

bool TrowMatcher::matches(std::size_t row) {
  if (query.empty() || row >= capture->rowCount()) return false;
  if (lua) return inText(decodePlainText(lua->decodeRow(static_cast<long long>(row))));
  const TobjPtr& obj = scan.filled(row);
  if (!query.bytes.empty()) {
    const std::vector<uint8_t>& bytes = shownBytes(obj);
    // A row without bytes has no buffer to hand to memmem.
    if (bytes.size() >= query.bytes.size() &&
        memmem(bytes.data(), bytes.size(), query.bytes.data(), query.bytes.size()))
      return true;
  }
  haystack.clear();
  boxTexts.append(obj, haystack);
  return inText(haystack);
}
