#include "files/ovrowutils.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "decode/ovarena.h"
#include "decode/ovgroup.h"
#include "decode/ovvisit.h"

namespace {

// ---- writing ----

// Writes one line into room made for it beforehand: sample files and text
// output write millions of lines, and string appends check room at every step.
class Twriter {
 public:
  explicit Twriter(char* at) : p(at) {}
  char* end() const { return p; }

  void put(char c) { *p++ = c; }
  template <size_t N>
  void put(const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    p += N - 1;
  }
  void put(const char* text) {
    const size_t n = std::strlen(text);
    std::memcpy(p, text, n);
    p += n;
  }
  template <typename T>
  void num(T value) {
    p = std::to_chars(p, p + maxDigits, value).ptr;
  }
  void hex(unsigned value, int digits) {
    static const char hexDigits[] = "0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) *p++ = hexDigits[(value >> shift) & 15];
  }
  void spaces(size_t n) {
    std::memset(p, ' ', n);
    p += n;
  }
  // ";" and a key with its ":".
  template <size_t N>
  void field(const char (&keyWithColon)[N]) {
    put(';');
    put(keyWithColon);
  }

  static constexpr size_t maxDigits = 20;

 private:
  char* p;
};

// Room one object's own line may take: the head, the fixed fields with their
// longest numbers, and three characters per payload byte.
size_t lineRoom(const Tbase& obj) {
  size_t room = 2 * static_cast<size_t>(std::max(obj.level, 0)) + 160;
  visit(obj, Toverload{[&](const Tdata& d) { room += 3 * d.data.size(); }, [](const Tbase&) {}});
  return room;
}

// The 6-character name column; the marker for other PIDs is only 4 wide.
const char* pidColumn(uint32_t objType, uint32_t pid) {
  switch (objType) {
    case otToken:
      switch (pid) {
        case pidIn:
          return "IN    ";
        case pidOut:
          return "OUT   ";
        case pidSof:
          return "SOF   ";
        case pidSetup:
          return "SETUP ";
      }
      break;
    case otData:
      switch (pid) {
        case pidData0:
          return "DATA0 ";
        case pidData1:
          return "DATA1 ";
        case pidData2:
          return "DATA2 ";
        case pidMdata:
          return "MDATA ";
      }
      break;
    case otHandshake:
      switch (pid) {
        case pidAck:
          return "ACK   ";
        case pidNak:
          return "NAK   ";
        case pidStall:
          return "STALL ";
        case pidNyet:
          return "NYET  ";
      }
      break;
    default:
      return "      ";
  }
  return "????";
}

template <size_t N>
void putHead(Twriter& out, const Tbase& obj, const char (&kind)[N], const char* column) {
  if (obj.level > 0 && obj.objType != otReset) out.spaces(2 * static_cast<size_t>(obj.level));
  out.put(kind);
  if (column) out.put(column);
  out.num(obj.level);
}

void putPacketTail(Twriter& out, const TpacketBase& p, char tag) {
  out.put(';');
  out.put(tag);
  out.put(':');
  out.num(static_cast<int32_t>(p.pid));
  out.field("TI:");
  out.num(p.time);
}

// The end of a SOF or token line.
void putCrc5AndIdle(Twriter& out, bool crcOK, uint32_t crc5, uint32_t idle) {
  out.put(crcOK ? ";5P:" : ";5F:");
  out.hex(crc5 & 0xff, 2);
  out.field("TL:");
  out.num(idle);
}

const char* trxWord(TtrxType t) {
  switch (t) {
    case TtrxType::SETUP:
      return "T:SETUP";
    case TtrxType::IN:
      return "T:IN";
    default:
      return "T:OUT";
  }
}

void putChildCount(Twriter& out, size_t children) {
  out.field("X:");
  out.num(children);
}

// The object's own line, without the lines of a grouper's children, of which it has `children`.
void putLine(Twriter& out, const Tbase& obj, size_t children) {
  visit(obj, Toverload{[&](const Treset& r) {
                         putHead(out, r, "RESET   ", "      ");
                         out.field("Y:Reset;TI:");
                         out.num(r.time);
                         out.field("RL:");
                         out.num(r.resetLen);
                         out.field("TL:");
                         out.num(r.idle);
                       },
                       [&](const Tsof& s) {
                         putHead(out, s, "SOF     ", "      ");
                         putPacketTail(out, s, 'S');
                         out.field("FR:");
                         out.num(static_cast<int32_t>(s.frame));
                         putCrc5AndIdle(out, s.crcOK, s.crc5, s.idle);
                       },
                       [&](const Ttoken& t) {
                         putHead(out, t, "TOKEN   ", pidColumn(otToken, t.pid));
                         putPacketTail(out, t, 'K');
                         out.field("AD:");
                         out.num(static_cast<int32_t>(t.addr));
                         out.field("EP:");
                         out.num(static_cast<int32_t>(t.endp));
                         putCrc5AndIdle(out, t.crcOK, t.crc5, t.idle);
                       },
                       [&](const Tdata& d) {
                         putHead(out, d, "DATA    ", pidColumn(otData, d.pid));
                         putPacketTail(out, d, 'D');
                         out.field("DA:");
                         for (size_t i = 0; i < d.data.size(); ++i) {
                           if (i) out.put(',');
                           out.hex(d.data[i], 2);
                         }
                         out.put(d.crcOK ? ";6P:" : ";6F:");
                         out.hex(d.crc16 & 0xffff, 4);
                         out.field("TL:");
                         out.num(d.idle);
                       },
                       [&](const Thandshake& h) {
                         putHead(out, h, "HANDSH  ", pidColumn(otHandshake, h.pid));
                         putPacketTail(out, h, 'H');
                         out.field("TL:");
                         out.num(h.idle);
                       },
                       [&](const TsofGroup& g) {
                         putHead(out, g, "SOF_GR  ", nullptr);
                         out.put(";G:SOFgroup");
                         putChildCount(out, children);
                       },
                       [&](const Ttransax& t) {
                         putHead(out, t, "TRANSAX ", nullptr);
                         out.put(';');
                         out.put(trxWord(t.trxType));
                         putChildCount(out, children);
                       },
                       [&](const Ttransfer& t) {
                         putHead(out, t, "TRANSFR ", nullptr);
                         out.put(";C:CONTROL");
                         putChildCount(out, children);
                       },
                       [&](const Tgrouper&) { putChildCount(out, children); }});
  out.put('\n');
}

// ---- reading ----

[[noreturn]] void badNumber() { throw std::invalid_argument("stoi"); }
[[noreturn]] void numberRange() { throw std::out_of_range("stoi"); }

struct Tnumber {
  bool negative = false;
  uint64_t magnitude = 0;
};

template <unsigned Base>
int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (Base == 16) {
    const char lower = static_cast<char>(c | 0x20);
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  }
  return -1;
}

// The accepted syntax of the standard string-to-number conversion: leading
// white space, a sign, an optional 0x prefix in base 16, then digits; anything
// after the digits is ignored.
template <unsigned Base>
Tnumber scanNumber(std::string_view s) {
  size_t i = 0;
  Tnumber n;
  // Written numbers start with a digit; the rest of the syntax is for hand-made lines.
  const bool plain = !s.empty() && s[0] >= (Base == 10 ? '0' : '1') && s[0] <= '9';
  while (!plain && i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  if (!plain && i < s.size() && (s[i] == '+' || s[i] == '-')) n.negative = s[i++] == '-';
  if (!plain && Base == 16 && i + 2 < s.size() && s[i] == '0' && (s[i + 1] | 0x20) == 'x' &&
      digitValue<16>(s[i + 2]) >= 0)
    i += 2;
  if (i == s.size() || digitValue<Base>(s[i]) < 0) badNumber();
  const size_t first = i;
  for (int d; i < s.size() && (d = digitValue<Base>(s[i])) >= 0; ++i) n.magnitude = n.magnitude * Base + d;
  // Only a long number can have overflowed: check it again the slow way, with
  // the bounds as constants rather than a division per digit.
  constexpr size_t safeDigits = Base == 10 ? 19 : 15;
  if (i - first <= safeDigits) return n;
  constexpr uint64_t most = std::numeric_limits<uint64_t>::max() / Base;
  constexpr unsigned lastDigit = std::numeric_limits<uint64_t>::max() % Base;
  bool overflow = false;
  uint64_t check = 0;
  for (size_t k = first; k < i; ++k) {
    const auto d = static_cast<unsigned>(digitValue<Base>(s[k]));
    overflow |= check > most || (check == most && d > lastDigit);
    check = check * Base + d;
  }
  if (overflow) numberRange();
  return n;
}

template <unsigned Base = 10>
int32_t readInt(std::string_view s) {
  const Tnumber n = scanNumber<Base>(s);
  const uint64_t limit = n.negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (n.magnitude > limit) numberRange();
  return static_cast<int32_t>(n.negative ? 0 - n.magnitude : n.magnitude);
}

// Written as unsigned decimal, so the whole unsigned range must read back.
uint32_t readUnsigned(std::string_view s) {
  const Tnumber n = scanNumber<10>(s);
  if (n.negative) return static_cast<uint32_t>(readInt(s));
  if (n.magnitude > std::numeric_limits<uint32_t>::max()) numberRange();
  return static_cast<uint32_t>(n.magnitude);
}

uint64_t readTime(std::string_view s) {
  const Tnumber n = scanNumber<10>(s);
  if (n.negative && n.magnitude != 0) numberRange();
  return n.magnitude;
}

// Non-empty pieces of a text between separators, one at a time.
class Tpieces {
 public:
  Tpieces(std::string_view text, char sep) : rest_(text), sep_(sep) {}
  bool next(std::string_view& piece) {
    while (!rest_.empty()) {
      const size_t end = rest_.find(sep_);
      piece = rest_.substr(0, end);
      rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
      if (!piece.empty()) return true;
    }
    return false;
  }

 private:
  std::string_view rest_;
  char sep_;
};

// A field of a line, the text between two ';', and where its ':' are.
struct Tfield {
  std::string_view text;
  size_t firstColon = 0;
  int colons = 0;
};

// The non-empty fields of a line in one pass over its characters: every line
// of a sample file comes through here.
class Tfields {
 public:
  explicit Tfields(std::string_view line) : line_(line) {}
  bool next(Tfield& field) {
    while (pos_ < line_.size()) {
      const char* start = line_.data() + pos_;
      const size_t rest = line_.size() - pos_;
      const auto* end = static_cast<const char*>(std::memchr(start, ';', rest));
      const size_t n = end ? static_cast<size_t>(end - start) : rest;
      pos_ += n + 1;
      if (n == 0) continue;
      field.text = std::string_view(start, n);
      const auto* colon = static_cast<const char*>(std::memchr(start, ':', n));
      field.colons = 0;
      if (colon) {
        field.firstColon = static_cast<size_t>(colon - start);
        field.colons = std::memchr(colon + 1, ':', n - field.firstColon - 1) ? 2 : 1;
      }
      return true;
    }
    return false;
  }

 private:
  std::string_view line_;
  size_t pos_ = 0;
};

// Splits a field at ':' into key and value; false unless exactly two
// non-empty pieces. The usual form, "key:value", is taken without splitting.
bool keyValue(const Tfield& field, std::string_view& key, std::string_view& value) {
  const std::string_view text = field.text;
  if (field.colons == 1 && field.firstColon > 0 && field.firstColon + 1 < text.size()) {
    key = text.substr(0, field.firstColon);
    value = text.substr(field.firstColon + 1);
    return true;
  }
  Tpieces pieces(text, ':');
  std::string_view extra;
  return pieces.next(key) && pieces.next(value) && !pieces.next(extra);
}

// Keys compared without a call: they are two characters.
template <size_t N>
bool is(std::string_view key, const char (&name)[N]) {
  return key.size() == N - 1 && std::char_traits<char>::compare(key.data(), name, N - 1) == 0;
}

std::shared_ptr<Tbase> newObject(char tag) {
  switch (tag) {
    case 'Y':
      return arena::make<Treset>();
    case 'S':
      return arena::make<Tsof>();
    case 'K':
      return arena::make<Ttoken>();
    case 'D':
      return arena::make<Tdata>();
    case 'H':
      return arena::make<Thandshake>();
    case 'G':
      return arena::make<TsofGroup>();
    case 'T':
      return arena::make<Ttransax>();
    case 'C':
      return arena::make<Ttransfer>();
  }
  return nullptr;
}

// The level is the number that ends the head: an optional minus and digits.
int32_t readLevel(std::string_view head) {
  size_t start = head.size();
  while (start > 0 && head[start - 1] >= '0' && head[start - 1] <= '9') --start;
  if (start > 0 && head[start - 1] == '-') --start;
  const int32_t level = readInt(head.substr(start));
  if (level < 0 || level > rowutils::maxLevel) throw rowutils::TlevelError(level);
  return level;
}

void readData(Tdata& d, std::string_view bytes) {
  Tpieces pieces(bytes, ',');
  for (std::string_view piece; pieces.next(piece);)
    d.data.push_back(static_cast<uint8_t>(readInt<16>(piece)));
}

// The key says whether the CRC was found good ("5P", "6P") or bad ("5F", "6F").
void readCrc(std::string_view key, std::string_view value, const char (&good)[3], const char (&bad)[3],
             uint32_t& crc, bool& ok) {
  const bool found = is(key, good);
  if (!found && !is(key, bad)) return;
  crc = readInt<16>(value);
  ok = found;
}

// Applies one key/value field of a packet; unknown keys are ignored.
void readPacketField(TpacketBase& p, std::string_view key, std::string_view value) {
  if (is(key, "TI")) {
    p.time = readTime(value);
    return;
  }
  if (is(key, "TL")) {
    p.idle = readUnsigned(value);
    return;
  }
  visit(p, Toverload{[&](Tsof& s) {
                       if (is(key, "FR"))
                         s.frame = readInt(value);
                       else
                         readCrc(key, value, "5P", "5F", s.crc5, s.crcOK);
                     },
                     [&](Ttoken& t) {
                       if (is(key, "AD"))
                         t.addr = readInt(value);
                       else if (is(key, "EP"))
                         t.endp = readInt(value);
                       else
                         readCrc(key, value, "5P", "5F", t.crc5, t.crcOK);
                     },
                     [&](Tdata& d) {
                       if (is(key, "DA"))
                         readData(d, value);
                       else
                         readCrc(key, value, "6P", "6F", d.crc16, d.crcOK);
                     },
                     [](Tbase&) {}});
}

template <class T>
void markCrc(T& packet) {
  if (!packet.crcOK) packet.flags |= flagCrc;
}

void readPacket(TpacketBase& obj, const Tfield& tagField, Tfields& fields) {
  std::string_view key, value;
  if (keyValue(tagField, key, value))
    obj.pid = readInt(value);
  else
    obj.valid = false;
  for (Tfield field; fields.next(field);) {
    if (keyValue(field, key, value))
      readPacketField(obj, key, value);
    else if (!(obj.objType == otData && field.text == "DA:"))
      obj.valid = false;  // "DA:" is an empty payload
  }
  // A failed CRC is an error of the packet's, as the decode marks it.
  visit(obj, Toverload{[](Tsof& s) { markCrc(s); }, [](Ttoken& t) { markCrc(t); },
                       [](Tdata& d) { markCrc(d); }, [](Tbase&) {}});
}

void readReset(Treset& r, Tfields& fields) {
  std::string_view key, value;
  for (Tfield field; fields.next(field);) {
    if (!keyValue(field, key, value))
      r.valid = false;
    else if (is(key, "TI"))
      r.time = readTime(value);
    else if (is(key, "RL"))
      r.resetLen = readUnsigned(value);
    else if (is(key, "TL"))
      r.idle = readUnsigned(value);
  }
}

void readTransax(Ttransax& t, const Tfield& tagField) {
  std::string_view key, value;
  if (!keyValue(tagField, key, value) || !is(key, "T")) {
    t.valid = false;
  } else if (value == "SETUP") {
    t.trxType = TtrxType::SETUP;
  } else if (value == "IN") {
    t.trxType = TtrxType::IN;
  } else if (value == "OUT") {
    t.trxType = TtrxType::OUT;
  }
}

}  // namespace

namespace rowutils {

void appendLineText(const Tbase& obj, size_t children, std::string& out) {
  if (obj.objType > otTransfer) return;
  const size_t start = out.size();
  out.resize(start + lineRoom(obj));
  Twriter writer(out.data() + start);
  putLine(writer, obj, children);
  out.resize(static_cast<size_t>(writer.end() - out.data()));
}

void appendObjText(const Tbase& obj, std::string& out) {
  if (obj.objType > otTransfer) return;
  visit(obj, Toverload{[&](const Tgrouper& grouper) {
                         appendLineText(obj, grouper.children.size(), out);
                         for (const auto& child : grouper.children)
                           if (child) appendObjText(*child, out);
                       },
                       [&](const Tbase&) { appendLineText(obj, 0, out); }});
}

std::string objToString(const std::shared_ptr<Tbase>& obj) {
  std::string text;
  if (obj) appendObjText(*obj, text);
  return text;
}

TlevelError::TlevelError(int32_t level)
    : std::out_of_range("stoi: level " + std::to_string(level) + " outside 0.." + std::to_string(maxLevel)),
      level(level) {}

std::shared_ptr<Tbase> objFromText(std::string_view line) {
  if (line.empty() || line[0] == '-') return nullptr;
  Tfields fields(line);
  Tfield head, tagField;
  if (!fields.next(head) || !fields.next(tagField)) return nullptr;
  std::shared_ptr<Tbase> obj = newObject(tagField.text[0]);
  if (!obj) return nullptr;
  obj->time = ~uint64_t{0};  // unknown until a "TI" field says otherwise
  obj->level = readLevel(head.text);
  visit(*obj, Toverload{[&](Treset& r) { readReset(r, fields); },
                        [&](TpacketBase& p) { readPacket(p, tagField, fields); },
                        [&](Ttransax& t) { readTransax(t, tagField); },
                        [](Tbase&) {}});  // SOF groups and transfers carry nothing after the level
  return obj;
}

std::shared_ptr<Tbase> objFromString(const std::string& line) { return objFromText(line); }

}  // namespace rowutils
