// Captures made by another analyzer (Packetry) import with the facts that
// tshark and that analyzer's own descriptor listing report.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

#include "decode/ovbin2obj.h"
#include "decode/ovgroup.h"
#include "interop.h"

namespace {

const std::string dataDir = TWR_TEST_DATA_DIR "/packetry/";

struct Tfacts {
  std::set<std::string> devices;     // "address"
  std::set<std::string> identities;  // "vendor:product", hex
  std::set<std::string> strings;
};

// What that analyzer listed: device addresses, ids and string descriptors.
Tfacts referenceFacts(const std::string& path) {
  std::ifstream in(path);
  Tfacts facts;
  static const std::regex device("^ *Device ([0-9]+):");
  static const std::regex vendor("Vendor ID: 0x([0-9A-F]{4})");
  static const std::regex product("Product ID: 0x([0-9A-F]{4})");
  static const std::regex text("string: #[0-9]+ '(.*)'$");
  std::string vendorId;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, m, device)) facts.devices.insert(m[1]);
    if (std::regex_search(line, m, vendor)) vendorId = m[1];
    if (std::regex_search(line, m, product)) facts.identities.insert(vendorId + ":" + std::string(m[1]));
    if (std::regex_search(line, m, text)) facts.strings.insert(m[1]);
  }
  return facts;
}

std::string hex4(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", v);
  return text;
}

// A string descriptor's UTF-16 text, written as that analyzer writes it.
std::string descriptorText(const std::vector<uint8_t>& d) {
  std::string text;
  for (size_t i = 2; i + 1 < d.size() && i < d[0]; i += 2) {
    const unsigned c = d[i] | d[i + 1] << 8;
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\u{%x}", c);
      text += escaped;
    }
  }
  return text;
}

// The same facts from our decode: token addresses and what the control
// transfers read.
Tfacts ourFacts(const Tcapture& capture, const TobjVec& packets) {
  Tfacts facts;
  for (const TobjPtr& obj : packets)
    if (obj->objType == otToken) facts.devices.insert(std::to_string(static_cast<const Ttoken&>(*obj).addr));
  for (size_t ix = 0; ix < capture.rootCount(); ++ix) {
    const TobjPtr root = capture.root(ix);
    if (root->objType != otTransfer) continue;
    auto& transfer = static_cast<Ttransfer&>(*root);
    const auto setup = transfer.findSetupTransax()->findDataPkt();
    if (!setup || setup->data.size() != 8 || setup->data[0] != 0x80 || setup->data[1] != 6) continue;
    const std::vector<uint8_t>& d = transfer.findData();
    if (setup->data[3] == 1 && d.size() >= 12)
      facts.identities.insert(hex4(d[8] | d[9] << 8) + ":" + hex4(d[10] | d[11] << 8));
    if (setup->data[3] == 3 && setup->data[2] != 0) facts.strings.insert(descriptorText(d));
  }
  return facts;
}

TEST(PacketryCaptures, ImportWithTheFactsOfTsharkAndTheirReference) {
  for (const char* name : {"ksolti-core-enum", "emf2022-badge", "iso-unambiguous"}) {
    SCOPED_TRACE(name);
    const std::string pcap = dataDir + name + "/capture.pcap";
    Tinput input(pcap);
    TcaptureFile file;
    Tcapture capture;
    ASSERT_TRUE(file.load(input, capture)) << file.lastError();
    EXPECT_TRUE(file.warnings().empty());

    // Every record becomes a packet object with tshark's address and endpoint.
    TobjVec packets;
    EXPECT_TRUE(Tbin2obj().buildObjVec(eventsOf(capture), packets));
    EXPECT_EQ(packets.size(), tsharkFields(pcap, "frame.number").size());
    std::vector<std::string> tokens;
    for (const TobjPtr& obj : packets) {
      if (obj->objType != otToken) continue;
      const auto& token = static_cast<const Ttoken&>(*obj);
      tokens.push_back(std::to_string(token.addr) + "\t" + std::to_string(token.endp));
    }
    EXPECT_EQ(tokens, tsharkFields(pcap, "usbll.device_addr usbll.endp", "usbll.device_addr"));

    const Tfacts reference = referenceFacts(dataDir + name + "/devices-reference.txt");
    const Tfacts ours = ourFacts(capture, packets);
    ASSERT_FALSE(reference.identities.empty() || reference.strings.empty() || reference.devices.empty());
    for (const std::set<std::string> Tfacts::*facts :
         {&Tfacts::devices, &Tfacts::identities, &Tfacts::strings})
      for (const std::string& fact : reference.*facts) EXPECT_TRUE((ours.*facts).count(fact)) << fact;
  }
}

}  // namespace
