#include "ovdevicerows.h"

#include <cstdio>

#include "ovstatustext.h"

namespace {

std::string hex(int value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

std::string quoted(const std::string& text) { return text.empty() ? "" : " \"" + text + "\""; }

std::string classText(const TusbClass& c) {
  return "0x" + hex(c.code, 2) + (c.name.empty() ? "" : " (" + c.name + ")");
}

// What tells devices apart first, as a narrow pane cuts the rest: the address
// and its reset interval, then the name.
std::string deviceTitle(const TusbDevice& d, bool resets) {
  std::string text = "Device " + std::to_string(d.address);
  if (resets) text += " after reset " + std::to_string(d.resetsBefore);
  if (!d.productName.empty()) text += ": " + d.productName;
  if (d.vendor >= 0)
    text += (d.productName.empty() ? ": " : ", ") + hex(d.vendor, 4) + ":" + hex(d.product, 4);
  return text;
}

std::string endpointText(const TusbEndpoint& e) {
  std::string text = "Endpoint " + std::to_string(e.address & 0x0F);
  if (e.address != 0) text += (e.address & 0x80) ? " IN" : " OUT";
  text += e.typeName.empty() ? ": no descriptor" : ": " + e.typeName;
  if (e.maxPacket >= 0) text += ", " + std::to_string(e.maxPacket) + " bytes";
  if (!e.used) text += ", unused";
  return text;
}

std::string interfaceText(const TusbInterface& i) {
  std::string text = "Interface " + std::to_string(i.number);
  if (i.alternate > 0) text += " setting " + std::to_string(i.alternate);
  return text + ": class " + classText(i.usbClass) + quoted(i.name);
}

std::vector<std::string> countsOf(const TtrafficStats* traffic) {
  if (!traffic) return {};
  return {groupedDigits(traffic->transactions()), groupedDigits(traffic->bytesIn + traffic->bytesOut),
          groupedDigits(traffic->errorCount())};
}

struct Tadder {
  std::vector<TdeviceRow>& rows;
  int device;
  int address;
  const TdeviceStats* stats;

  TdeviceRow& add(int depth, std::string text, const TusbEndpoint* endpoint = nullptr) {
    TdeviceRow& row = rows.emplace_back();
    row.depth = depth;
    row.text = std::move(text);
    row.device = device;
    row.filter.address = address;
    if (!endpoint) return row;
    row.endpointAddress = endpoint->address;
    row.filter.endpoint = endpoint->address & 0x0F;
    const TendpointStats* e = stats ? stats->endpoint(static_cast<uint32_t>(row.filter.endpoint)) : nullptr;
    if (e) row.counts = countsOf(&e->traffic);
    return row;
  }
  void addIf(const std::string& label, const std::string& value) {
    if (!value.empty()) add(2, label + ": " + value);
  }
};

void addDevice(std::vector<TdeviceRow>& rows, const TusbDevice& d, int index, bool resets,
               const TcaptureStats& stats) {
  const TdeviceStats* counted =
      stats.device({static_cast<uint32_t>(d.address), static_cast<uint32_t>(d.resetsBefore)});
  Tadder adder{rows, index, d.address, counted};
  adder.add(1, deviceTitle(d, resets)).counts = countsOf(counted ? &counted->traffic : nullptr);
  adder.addIf("Manufacturer", d.manufacturer);
  adder.addIf("Product", d.productName);
  adder.addIf("Serial number", d.serial);
  if (d.usbClass.code >= 0) adder.add(2, "Class " + classText(d.usbClass));
  if (d.configuration >= 0)
    adder.add(2, "Configuration " + std::to_string(d.configuration) + quoted(d.configurationName) +
                     (d.configured ? ", set" : ", not set"));
  for (const TusbEndpoint& e : d.endpoints) adder.add(2, endpointText(e), &e);
  for (const TusbInterface& i : d.interfaces) {
    adder.add(2, interfaceText(i));
    for (const TusbEndpoint& e : i.endpoints) adder.add(3, endpointText(e), &e);
  }
}

}  // namespace

// Short: they share a narrow pane with the entries' texts.
const std::vector<std::string> countTitles{"Trans.", "Bytes", "Errors"};

std::vector<TdeviceRow> deviceRows(const std::vector<TusbDevice>& devices, const TcaptureStats& stats) {
  std::vector<TdeviceRow> rows(1);
  rows[0].counts = countsOf(&stats.traffic);
  const std::size_t n = devices.size();
  rows[0].text = "Capture: " +
                 (n == 0 ? std::string("no devices") : std::to_string(n) + (n == 1 ? " device" : " devices"));
  bool resets = false;
  for (const TusbDevice& d : devices) resets = resets || d.resetsBefore > 0;
  for (std::size_t i = 0; i < n; ++i) addDevice(rows, devices[i], static_cast<int>(i), resets, stats);
  return rows;
}

int rowOfFilter(const std::vector<TdeviceRow>& rows, const TrowFilter& filter, int current) {
  const int n = static_cast<int>(rows.size());
  if (current >= 0 && current < n && rows[current].filter.sameDevice(filter)) return current;
  for (int ix = 0; ix < n; ++ix)
    if (rows[ix].filter.sameDevice(filter) && (rows[ix].depth <= 1 || rows[ix].isEndpoint())) return ix;
  return -1;
}
