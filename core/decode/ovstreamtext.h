// An endpoint's stream as people read it: a counting head line, then one line
// per run after its time, the bytes as quoted text or as hex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/ovstream.h"

// Decimal, or hex after 0x; nothing else, and not above max.
bool parseStreamNumber(const std::string& text, unsigned max, unsigned& value);
// An endpoint address as descriptors write it: 0x00 to 0x0F (OUT), 0x80 to 0x8F (IN).
bool parseEndpointAddress(const std::string& text, unsigned& endpoint);

// "# device 5 endpoint 0x81 (IN 1): 12 bytes in 3 packets; left out: ..."
std::string streamHeadLine(unsigned address, unsigned endpoint, const TendpointStream& stream);
// How a run's bytes are written after its time: as one quoted text; as quoted texts, one
// for each line the bytes hold (a new one after every line feed, the later ones indented
// under the first); or as hex, 16 bytes a line.
enum class TstreamForm { text, textLines, hex };

// Every run as "TIME  BYTES", a line each unless its form breaks it.
std::string streamRunLines(const TendpointStream& stream, TstreamForm form);
// The bytes of every run, one after the other.
std::vector<uint8_t> streamBytes(const TendpointStream& stream);
// The runs of the stream's first maxBytes bytes, the last of them cut where those end; the
// counts stay the whole stream's.
TendpointStream streamHead(const TendpointStream& stream, std::size_t maxBytes);
