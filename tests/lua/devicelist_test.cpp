// The device list against what the text form of the same capture shows:
// every address in every bus-reset interval, the endpoints its tokens name,
// and the ids and endpoints of its descriptors read from the data stages.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include "files/ovdataio.h"
#include "files/ovdevicelist.h"
#include "synth/enumeration.h"
#include "synthrows.h"

namespace {

using Tkey = std::pair<int, int>;             // address, resets before
using Tendpoint = std::tuple<int, int, int>;  // address, type, max packet size

struct TtextDevice {
  std::set<int> used;             // endpoint addresses, 0x80 for IN but endpoint 0
  std::set<int> ids;              // vendor << 16 | product of every whole device descriptor read
  std::set<Tendpoint> described;  // of the last whole configuration read
};

std::vector<int> hexList(const std::string& line) {
  std::vector<int> out;
  const auto at = line.find(";DA:");
  std::istringstream in(line.substr(at + 4, line.find(';', at + 4) - at - 4));
  for (std::string b; std::getline(in, b, ',');) out.push_back(std::stoi(b, nullptr, 16));
  return out;
}

int field(const std::string& line, const std::string& name) {
  const auto at = line.find(";" + name + ":");
  return std::stoi(line.substr(at + name.size() + 2));
}

// One control transfer's transactions as its text lines give them.
struct TtextTransaction {
  std::string token, handshake;
  int addr = -1;
  std::vector<int> data;
};

// Reads standard GET_DESCRIPTOR answers of a transfer into the device of its address.
void readTransfer(const std::vector<TtextTransaction>& trxs, std::map<Tkey, TtextDevice>& devices,
                  int resets) {
  if (trxs.empty() || trxs[0].token != "SETUP" || trxs[0].data.size() != 8) return;
  const std::vector<int>& s = trxs[0].data;
  if (s[0] != 0x80 || s[1] != 6) return;
  std::vector<int> d;
  for (std::size_t i = 1; i < trxs.size(); ++i)
    if (trxs[i].token == "IN" && trxs[i].handshake == "ACK")
      d.insert(d.end(), trxs[i].data.begin(), trxs[i].data.end());
  TtextDevice& dev = devices[{trxs[0].addr, resets}];
  if (s[3] == 1 && d.size() >= 18) dev.ids.insert((d[8] | d[9] << 8) << 16 | d[10] | d[11] << 8);
  if (s[3] != 2 || d.size() < 4 || d.size() < std::size_t(d[2] | d[3] << 8)) return;
  dev.described.clear();
  for (std::size_t pos = 0; pos + 6 < d.size() && d[pos] >= 2; pos += d[pos])
    if (d[pos + 1] == 5)
      dev.described.insert({d[pos + 2], d[pos + 3] & 3, (d[pos + 4] | d[pos + 5] << 8) & 0x7FF});
}

// Devices as the text form shows them: RESET and TOKEN lines, and the
// transactions of each control transfer.
std::map<Tkey, TtextDevice> devicesOfText(const Tcapture& capture) {
  std::string text;
  TdataIO::appendBody(capture, text);
  std::map<Tkey, TtextDevice> devices;
  std::vector<TtextTransaction> transfer;
  int resets = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t indent = line.find_first_not_of(' ');
    std::istringstream words(line);
    std::string kind, name;
    words >> kind >> name;
    if (indent == 0) {
      readTransfer(transfer, devices, resets);
      transfer.clear();
    }
    if (kind == "RESET") ++resets;
    if (kind == "TRANSAX" && indent == 2) transfer.emplace_back();
    if (kind == "TOKEN") {
      const int addr = field(line, "AD"), endp = field(line, "EP");
      devices[{addr, resets}].used.insert(endp == 0 ? 0 : endp | (name == "IN" ? 0x80 : 0));
      if (indent == 4 && !transfer.empty()) {
        transfer.back().token = name;
        transfer.back().addr = addr;
      }
    }
    if (kind == "DATA" && indent == 4 && !transfer.empty()) transfer.back().data = hexList(line);
    if (kind == "HANDSH" && indent == 4 && !transfer.empty()) transfer.back().handshake = name;
  }
  readTransfer(transfer, devices, resets);
  return devices;
}

// The list agrees with the text form; returns it for checks of its own.
std::vector<TusbDevice> expectAgrees(const std::shared_ptr<Tcapture>& capture, const char* what) {
  TluaState lua(capture, std::filesystem::path(TWR_SOURCE_DIR) / "scripts");
  EXPECT_EQ(lua.loadError(), "");
  const std::vector<TusbDevice> list = listDevices(*capture, &lua);
  const std::map<Tkey, TtextDevice> text = devicesOfText(*capture);
  std::set<Tkey> keys;
  for (const TusbDevice& d : list) {
    SCOPED_TRACE(std::string(what) + ": device " + std::to_string(d.address) + " after " +
                 std::to_string(d.resetsBefore) + " resets");
    EXPECT_TRUE(keys.insert({d.address, d.resetsBefore}).second) << "listed twice";
    const auto at = text.find({d.address, d.resetsBefore});
    if (at == text.end()) {
      ADD_FAILURE() << "not in the text";
      continue;
    }
    std::set<int> used;
    std::set<Tendpoint> described;
    for (const TusbEndpoint& e : d.endpoints)
      if (e.used) used.insert(e.address);
    for (const TusbInterface& i : d.interfaces)
      for (const TusbEndpoint& e : i.endpoints) {
        described.insert({e.address, e.type, e.maxPacket});
        if (e.used) used.insert(e.address);
      }
    EXPECT_EQ(used, at->second.used);
    EXPECT_EQ(described, at->second.described);
    if (at->second.ids.empty()) {
      EXPECT_EQ(d.vendor, -1);
    } else {
      EXPECT_EQ(at->second.ids.size(), 1u) << "one device per interval";
      EXPECT_EQ(d.vendor << 16 | d.product, *at->second.ids.begin());
    }
  }
  EXPECT_EQ(keys.size(), text.size()) << what << ": devices in the text but not listed";
  return list;
}

const TusbDevice* find(const std::vector<TusbDevice>& list, int address, int resets) {
  for (const TusbDevice& d : list)
    if (d.sameKey(address, resets)) return &d;
  return nullptr;
}

}  // namespace

TEST(DeviceList, AgreesWithTheTextForm) {
  auto example = std::make_shared<Tcapture>();
  TdataIO io;
  ASSERT_GT(io.loadLinearFile(TWR_SOURCE_DIR "/default.ovd", *example), 0u) << io.lastError();
  const auto exampleList = expectAgrees(example, "example");
  EXPECT_GE(exampleList.size(), 2u);

  const auto mouse = expectAgrees(scenarioRows("hid", 0.25), "mouse scenario");
  const TusbDevice* m = mouse.empty() ? nullptr : &mouse.back();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->productName, "Synthetic Optical Mouse");
  EXPECT_TRUE(m->configured);
  ASSERT_EQ(m->interfaces.size(), 1u);
  EXPECT_EQ(m->interfaces[0].usbClass.name, "HID");
  ASSERT_EQ(m->interfaces[0].endpoints.size(), 1u);
  EXPECT_EQ(m->interfaces[0].endpoints[0].typeName, "interrupt");
  EXPECT_EQ(m->endpoints[0].maxPacket, m->maxPacket0);

  // Address 5 is a mouse, then after a bus reset a data pump: two devices.
  Ttraffic traffic;
  synth::attachDevice(traffic.bus);
  synth::enumerate(traffic.host, synth::hidMouseBlobs(), 5);
  traffic.bus.reset(30000);
  traffic.host.resetToggles();
  const synth::TdeviceBlobs pump = synth::bulkPumpBlobs();
  synth::enumerate(traffic.host, pump, 5);
  // A header read again later tells less than the whole set before it.
  traffic.host.controlRead(5, pump.maxPacket0(), getDescriptor(synth::dtConfiguration, 0, 0, 9),
                           synth::Tbytes(pump.configuration.begin(), pump.configuration.begin() + 9));
  const auto reused = expectAgrees(traffic.rows(), "address reused");
  std::vector<const TusbDevice*> fives;
  for (const TusbDevice& d : reused)
    if (d.address == 5) fives.push_back(&d);
  ASSERT_EQ(fives.size(), 2u);
  EXPECT_LT(fives[0]->resetsBefore, fives[1]->resetsBefore);
  EXPECT_NE(fives[0]->vendor << 16 | fives[0]->product, fives[1]->vendor << 16 | fives[1]->product);
  EXPECT_EQ(fives[1]->interfaces.size(), 1u);
  EXPECT_NE(find(reused, 0, fives[1]->resetsBefore - 1), nullptr)
      << "address 0 before the second SET_ADDRESS";
}
