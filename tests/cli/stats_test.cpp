// twr stats against counts made here from the text twr prints for the same
// capture: one line per object, read by its level, tag and fields only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli/runtwr.h"
#include "support/testfiles.h"

namespace {

struct Tcounts {
  uint64_t ack = 0, nak = 0, stall = 0, none = 0, packets = 0, in = 0, out = 0, transfers = 0, crc = 0,
           wire = 0;
  std::map<uint64_t, uint64_t> wirePerMs;
};

struct TtextLine {
  int level = 0;
  char tag = 0;
  uint32_t value = 0;  // the number after the tag: a PID
  std::map<std::string, std::string> fields;
};

TtextLine parse(const std::string& line) {
  TtextLine parsed;
  std::stringstream parts(line);
  std::string part;
  std::getline(parts, part, ';');
  parsed.level = std::stoi(part.substr(part.find_last_of(' ') + 1));
  std::getline(parts, part, ';');
  parsed.tag = part[0];
  if (std::isdigit(static_cast<unsigned char>(part[2]))) parsed.value = std::stoul(part.substr(2));
  while (std::getline(parts, part, ';')) {
    const size_t colon = part.find(':');
    parsed.fields[part.substr(0, colon)] = part.substr(colon + 1);
  }
  return parsed;
}

size_t payload(const std::string& da) { return da.empty() ? 0 : std::count(da.begin(), da.end(), ',') + 1; }

// The counts of the whole capture and of each device ("address/resets") and
// endpoint ("address/resets/endpoint").
class TtextCounter {
 public:
  explicit TtextCounter(const std::string& text) {
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) take(parse(line));
    endTransaction();
  }
  std::map<std::string, Tcounts> counts;
  uint64_t frames = 0, resets = 0, first = ~uint64_t{0}, last = 0;

 private:
  void take(const TtextLine& line) {
    if (trxLevel >= 0 && line.level <= trxLevel) endTransaction();
    if (line.fields.count("TI")) {
      const uint64_t time = std::stoull(line.fields.at("TI"));
      first = std::min(first, time);
      last = std::max(last, time);
    }
    if (line.tag == 'C') {
      ++counts["all"].transfers;
      transferOpen = true;
    } else if (line.tag == 'T') {
      trxLevel = line.level;
    } else if (line.tag == 'Y') {
      ++resets;
    } else if (line.tag == 'S' || line.tag == 'K' || line.tag == 'D' || line.tag == 'H') {
      packet(line);
    }
  }

  void packet(const TtextLine& line) {
    frames += line.tag == 'S';
    const bool inTrx = trxLevel >= 0;
    if (inTrx && line.tag == 'K' && owners.size() == 1) {
      const std::string device = line.fields.at("AD") + "/" + std::to_string(resets);
      owners = {"all", device, device + "/" + line.fields.at("EP")};
      in = line.value == 9;
      if (transferOpen) {
        ++counts[owners[1]].transfers;
        ++counts[owners[2]].transfers;
        transferOpen = false;
      }
    }
    const size_t bytes = line.tag == 'D' ? payload(line.fields.at("DA")) : 0;
    if (inTrx && line.tag == 'D') data += bytes;
    if (inTrx && line.tag == 'H') {
      nakSeen |= line.value == 10;
      handshake = line.value;
    }
    const uint64_t wire = line.tag == 'H' ? 2 : 4 + bytes;
    const bool crcFailed = line.fields.count("5F") || line.fields.count("6F");
    for (const std::string& owner : inTrx ? owners : std::vector<std::string>{"all"}) {
      Tcounts& c = counts[owner];
      ++c.packets;
      c.crc += crcFailed;
      c.wire += wire;
      c.wirePerMs[std::stoull(line.fields.at("TI")) / 12000] += wire;
    }
  }

  void endTransaction() {
    if (trxLevel < 0) return;
    for (const std::string& owner : owners) {
      Tcounts& c = counts[owner];
      if (nakSeen)
        ++c.nak;
      else if (handshake == 2)
        ++c.ack;
      else if (handshake == 14)
        ++c.stall;
      else
        ++c.none;
      if (!nakSeen && handshake != 14) (in ? c.in : c.out) += data;
    }
    trxLevel = -1;
    owners = {"all"};
    nakSeen = in = false;
    handshake = 0;
    data = 0;
  }

  int trxLevel = -1;
  std::vector<std::string> owners{"all"};
  bool transferOpen = false, nakSeen = false, in = false;
  uint32_t handshake = 0;
  uint64_t data = 0;
};

std::vector<std::string> splitCsv(const std::string& line) {
  std::vector<std::string> cells;
  std::stringstream parts(line);
  for (std::string cell; std::getline(parts, cell, ',');) cells.push_back(cell);
  if (!line.empty() && line.back() == ',') cells.push_back("");
  return cells;
}

// Each CSV row by its owner's name as the text counter names it.
std::map<std::string, std::map<std::string, std::string>> csvRows(const std::string& csv) {
  std::stringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  const std::vector<std::string> keys = splitCsv(line);
  std::map<std::string, std::map<std::string, std::string>> rows;
  while (std::getline(lines, line)) {
    const std::vector<std::string> cells = splitCsv(line);
    std::map<std::string, std::string> row;
    for (size_t i = 0; i < keys.size() && i < cells.size(); ++i) row[keys[i]] = cells[i];
    std::string owner = row["device"];
    if (owner != "all")
      owner += "/" + row["resets_before"] + (row["endpoint"] == "all" ? "" : "/" + row["endpoint"]);
    rows[owner] = row;
  }
  return rows;
}

uint64_t number(const std::map<std::string, std::string>& row, const std::string& key) {
  return std::stoull(row.at(key));
}

// textCommand prints the capture's text; statsFile is what twr stats reads.
// Returns the whole capture's counts, so that a case can show what it covers.
Tcounts expectStatsAgree(const std::string& textCommand, const std::string& statsFile) {
  SCOPED_TRACE(statsFile);
  const Trun text = runTwr(textCommand);
  const Trun stats = runTwr("stats --csv " + statsFile);
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(stats.status, 0) << stats.err;
  const TtextCounter counted(text.out);
  const auto rows = csvRows(stats.out);
  EXPECT_EQ(rows.size(), counted.counts.size());
  if (!rows.count("all")) return {};
  const auto& all = rows.at("all");
  EXPECT_EQ(number(all, "frames"), counted.frames);
  EXPECT_EQ(number(all, "resets"), counted.resets);
  const double span = static_cast<double>(counted.last - counted.first);
  EXPECT_NEAR(std::stod(all.at("span_s")), span / 12e6, 1e-6);
  for (const auto& [owner, c] : counted.counts) {
    SCOPED_TRACE(owner);
    if (!rows.count(owner)) {
      ADD_FAILURE() << "no row";
      continue;
    }
    const auto& row = rows.at(owner);
    EXPECT_EQ(number(row, "ack"), c.ack);
    EXPECT_EQ(number(row, "nak"), c.nak);
    EXPECT_EQ(number(row, "stall"), c.stall);
    EXPECT_EQ(number(row, "no_answer"), c.none);
    EXPECT_EQ(number(row, "transactions"), c.ack + c.nak + c.stall + c.none);
    EXPECT_EQ(number(row, "packets"), c.packets);
    EXPECT_EQ(number(row, "bytes_in"), c.in);
    EXPECT_EQ(number(row, "bytes_out"), c.out);
    EXPECT_EQ(number(row, "transfers"), c.transfers);
    EXPECT_EQ(number(row, "errors_crc"), c.crc);
    // The text shows only CRC failures.
    EXPECT_EQ(number(row, "errors"), c.crc);
    uint64_t peak = 0;
    for (const auto& [ms, bytes] : c.wirePerMs) peak = std::max(peak, bytes);
    EXPECT_NEAR(std::stod(row.at("peak_use_percent")), peak * 800.0 / 12000, 0.006);
    if (span > 0) {
      EXPECT_NEAR(std::stod(row.at("mean_use_percent")), c.wire * 800.0 / span, 0.006);
    }
  }
  return counted.counts.at("all");
}

// Every nth occurrence of `from` in text becomes `to`.
void replaceEvery(std::string& text, const std::string& from, const std::string& to, int nth) {
  int seen = 0;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += from.size())
    if (++seen % nth == 0) text.replace(at, from.size(), to);
}

}  // namespace

TEST(Stats, AgreeWithCountsFromTheText) {
  // The bundled example; a synthesized capture, decoded from its raw stream;
  // real captures, with STALLs and isochronous transactions.
  EXPECT_GT(expectStatsAgree("show " TWR_SOURCE_DIR "/default.ovd", TWR_SOURCE_DIR "/default.ovd").nak, 0u);
  // Saved as a sample file, of roots enough to be counted in batches as it loads.
  const std::string raw = tempPath("stats.raw"), saved = tempPath("stats.ovd");
  ASSERT_EQ(std::system(("'" TWR_SYNTH_BINARY "' --scenario bulk --seconds 1 -o '" + raw + "'").c_str()), 0);
  EXPECT_GT(expectStatsAgree("decode " + raw, raw).out, 0u);
  ASSERT_EQ(runTwr("decode " + raw + " -o " + saved).status, 0);
  EXPECT_GT(expectStatsAgree("show " + saved, saved).in, 0u);
  const std::string packetry = TWR_TEST_DATA_DIR "/packetry/";
  EXPECT_GT(expectStatsAgree("show " + packetry + "emf2022-badge/capture.pcap",
                             packetry + "emf2022-badge/capture.pcap")
                .stall,
            0u);
  EXPECT_GT(expectStatsAgree("show " + packetry + "iso-unambiguous/capture.pcap",
                             packetry + "iso-unambiguous/capture.pcap")
                .none,
            0u);
  // The example with failed CRCs in tokens and data packets, as a plain sample file.
  std::string body = runTwr("show " TWR_SOURCE_DIR "/default.ovd").out;
  replaceEvery(body, ";5P:", ";5F:", 3);
  replaceEvery(body, ";6P:", ";6F:", 2);
  const std::string failed = tempPath("crc.ovd");
  writeFile(failed, "OVFMT01\n" + std::to_string(body.size()) + "\n" + body);
  EXPECT_GT(expectStatsAgree("show " + failed, failed).crc, 0u);
  // The busiest millisecond in two runs of rows: a control transfer's data
  // stage (its status stage a millisecond later), then the SOF and a NAKed IN
  // of the data stage's millisecond after it.
  const std::string split = tempPath("split.ovd");
  std::string report = "00";
  for (int i = 1; i < 64; ++i) report += ",00";
  body =
      "TRANSFR 0;C:CONTROL;X:3\n"
      "  TRANSAX 1;T:SETUP;X:3\n"
      "    TOKEN   SETUP 2;K:13;TI:100;AD:5;EP:0;5P:02;TL:3\n"
      "    DATA    DATA0 2;D:3;TI:140;DA:80,06,00,01,00,00,40,00;6P:94eb;TL:3\n"
      "    HANDSH  ACK   2;H:2;TI:240;TL:3\n"
      "  TRANSAX 1;T:IN;X:3\n"
      "    TOKEN   IN    2;K:9;TI:12100;AD:5;EP:0;5P:02;TL:3\n"
      "    DATA    DATA1 2;D:11;TI:12140;DA:" +
      report +
      ";6P:e757;TL:3\n"
      "    HANDSH  ACK   2;H:2;TI:12900;TL:3\n"
      "  TRANSAX 1;T:OUT;X:3\n"
      "    TOKEN   OUT   2;K:1;TI:24100;AD:5;EP:0;5P:02;TL:3\n"
      "    DATA    DATA1 2;D:11;TI:24140;DA:;6P:0000;TL:3\n"
      "    HANDSH  ACK   2;H:2;TI:24200;TL:3\n"
      "SOF           0;S:5;TI:12000;FR:1;5P:19;TL:3\n"
      "TRANSAX 0;T:IN;X:2\n"
      "  TOKEN   IN    1;K:9;TI:13000;AD:5;EP:0;5P:02;TL:3\n"
      "  HANDSH  NAK   1;H:10;TI:13040;TL:3\n";
  writeFile(split, "OVFMT01\n" + std::to_string(body.size()) + "\n" + body);
  expectStatsAgree("show " + split, split);
}
