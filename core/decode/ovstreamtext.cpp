#include "decode/ovstreamtext.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

// Seconds from the capture start, to the microsecond.
std::string timeText(uint64_t ticks) {
  char text[32];
  const uint64_t us = ticks / ticksPerMicrosecond;
  std::snprintf(text, sizeof text, "%" PRIu64 ".%06" PRIu64 " s", us / 1000000, us % 1000000);
  return text;
}

std::string quoted(const std::vector<uint8_t>& bytes) {
  std::string out = "\"";
  for (uint8_t b : bytes) {
    if (b == '\r')
      out += "\\r";
    else if (b == '\n')
      out += "\\n";
    else if (b == '\t')
      out += "\\t";
    else if (b == '\\' || b == '"')
      out += std::string("\\") + static_cast<char>(b);
    else if (b >= 0x20 && b < 0x7F)
      out += static_cast<char>(b);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      out += hex;
    }
  }
  return out + "\"";
}

std::string quotedLines(const std::vector<uint8_t>& bytes, size_t indent) {
  std::string out;
  for (auto from = bytes.begin(); from != bytes.end();) {
    auto end = std::find(from, bytes.end(), '\n');
    if (end != bytes.end()) ++end;
    out += (out.empty() ? "" : "\n" + std::string(indent, ' ')) + quoted({from, end});
    from = end;
  }
  return out.empty() ? quoted(bytes) : out;
}

// 16 bytes a line, the lines after the first indented under the first byte.
std::string hexLines(const std::vector<uint8_t>& bytes, size_t indent) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % 16 == 0) out += "\n" + std::string(indent, ' ');
    std::snprintf(b, sizeof b, i % 16 ? " %02X" : "%02X", bytes[i]);
    out += b;
  }
  return out;
}

std::string plural(uint64_t n, const char* word) {
  return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

}  // namespace

bool parseStreamNumber(const std::string& text, unsigned max, unsigned& value) {
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ') return false;
  const unsigned long v = std::strtoul(text.c_str(), &end, hex ? 16 : 10);
  if (*end != 0 || v > max) return false;
  value = static_cast<unsigned>(v);
  return true;
}

bool parseEndpointAddress(const std::string& text, unsigned& endpoint) {
  unsigned value = 0;
  if (!parseStreamNumber(text, 0x8F, value) || (value & 0x70) != 0) return false;
  endpoint = value;
  return true;
}

std::string streamHeadLine(unsigned address, unsigned endpoint, const TendpointStream& stream) {
  uint64_t total = 0;
  for (const TstreamRun& r : stream.runs) total += r.bytes.size();
  char counts[96];
  std::snprintf(counts, sizeof counts,
                "; left out: %" PRIu64 " repeated by a retry, %" PRIu64 " unacknowledged", stream.retries,
                stream.unacknowledged);
  char head[64];
  std::snprintf(head, sizeof head, "# device %u endpoint 0x%02X (%s %u): ", address, endpoint,
                endpoint & 0x80 ? "IN" : "OUT", endpoint & 15);
  return head + plural(total, "byte") + " in " + plural(stream.packets, "packet") + counts;
}

std::string streamRunLines(const TendpointStream& stream, TstreamForm form) {
  std::string out;
  for (const TstreamRun& r : stream.runs) {
    const std::string time = timeText(r.time) + "  ";
    out += time;
    switch (form) {
      case TstreamForm::text:
        out += quoted(r.bytes);
        break;
      case TstreamForm::textLines:
        out += quotedLines(r.bytes, time.size());
        break;
      case TstreamForm::hex:
        out += hexLines(r.bytes, time.size());
        break;
    }
    out += "\n";
  }
  return out;
}

TendpointStream streamHead(const TendpointStream& stream, std::size_t maxBytes) {
  TendpointStream head{{}, stream.packets, stream.retries, stream.unacknowledged};
  for (const TstreamRun& r : stream.runs) {
    if (maxBytes == 0) break;
    const std::size_t taken = std::min(maxBytes, r.bytes.size());
    head.runs.push_back({r.time, {r.bytes.begin(), r.bytes.begin() + static_cast<std::ptrdiff_t>(taken)}});
    maxBytes -= taken;
  }
  return head;
}

std::vector<uint8_t> streamBytes(const TendpointStream& stream) {
  std::vector<uint8_t> bytes;
  for (const TstreamRun& r : stream.runs) bytes.insert(bytes.end(), r.bytes.begin(), r.bytes.end());
  return bytes;
}
