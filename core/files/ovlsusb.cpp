#include "files/ovlsusb.h"

#include <cstdlib>
#include <regex>
#include <sstream>

namespace {

struct Tfield {
  std::string name, value;
};

// One block of lsusb's output: a title line ending in ":" and the fields
// below it, or one line of raw bytes ("** UNRECOGNIZED: ..."), or the items
// of a report descriptor.
struct Tsection {
  std::string title;
  int indent = 0;
  std::vector<Tfield> fields;
  std::vector<uint8_t> bytes;  // raw bytes, or the report descriptor rebuilt
  long declaredLength = -1;    // of a report descriptor
  bool reportBroken = false;   // an item could not be read back
};

struct Tdevice {
  int address = -1;
  std::vector<Tsection> sections;
};

// Bytes in the order lsusb prints the fields, each field's size given; a name
// may list alternatives ("iSerial|iSerialNumber").
struct Tlayout {
  const char* title;
  std::vector<uint8_t> head;  // bytes lsusb does not print as fields
  std::vector<std::pair<const char*, int>> fields;
};

const Tlayout layouts[] = {
    {"Device Descriptor",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"bcdUSB", 2},
      {"bDeviceClass", 1},
      {"bDeviceSubClass", 1},
      {"bDeviceProtocol", 1},
      {"bMaxPacketSize0", 1},
      {"idVendor", 2},
      {"idProduct", 2},
      {"bcdDevice", 2},
      {"iManufacturer", 1},
      {"iProduct", 1},
      {"iSerial|iSerialNumber", 1},
      {"bNumConfigurations", 1}}},
    {"Configuration Descriptor",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"wTotalLength", 2},
      {"bNumInterfaces", 1},
      {"bConfigurationValue", 1},
      {"iConfiguration", 1},
      {"bmAttributes", 1},
      {"MaxPower|bMaxPower", 1}}},
    {"Interface Association",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"bFirstInterface", 1},
      {"bInterfaceCount", 1},
      {"bFunctionClass", 1},
      {"bFunctionSubClass", 1},
      {"bFunctionProtocol", 1},
      {"iFunction", 1}}},
    {"Interface Descriptor",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"bInterfaceNumber", 1},
      {"bAlternateSetting", 1},
      {"bNumEndpoints", 1},
      {"bInterfaceClass", 1},
      {"bInterfaceSubClass", 1},
      {"bInterfaceProtocol", 1},
      {"iInterface", 1}}},
    {"Endpoint Descriptor",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"bEndpointAddress", 1},
      {"bmAttributes", 1},
      {"wMaxPacketSize", 2},
      {"bInterval", 1}}},
    {"HID Device Descriptor",
     {},
     {{"bLength", 1}, {"bDescriptorType", 1}, {"bcdHID", 2}, {"bCountryCode", 1}, {"bNumDescriptors", 1}}},
    // CDC 1.2 functional descriptors: length, CS_INTERFACE and subtype come first.
    {"CDC Header", {5, 0x24, 0x00}, {{"bcdCDC", 2}}},
    {"CDC Call Management", {5, 0x24, 0x01}, {{"bmCapabilities", 1}, {"bDataInterface", 1}}},
    {"CDC ACM", {4, 0x24, 0x02}, {{"bmCapabilities", 1}}},
    {"Device Firmware Upgrade Interface Descriptor",
     {},
     {{"bLength", 1},
      {"bDescriptorType", 1},
      {"bmAttributes", 1},
      {"wDetachTimeout", 2},
      {"wTransferSize", 2},
      {"bcdDFUVersion", 2}}},
};

// Blocks of lsusb's output that are about the device but not part of a
// configuration set.
const char* const outsideConfiguration[] = {"Device Qualifier", "Binary Object Store", "Device Status",
                                            "Other Speed Configuration"};

std::string trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// A field's value as lsusb prints it: hex with 0x, BCD as "2.00" (hex digits
// on both sides), power as "90mA" (in the descriptor's units of 2 mA), or decimal.
bool fieldValue(const std::string& value, long& out) {
  const std::string token = value.substr(0, value.find_first_of(" \t"));
  if (token.empty()) return false;
  char* end = nullptr;
  const size_t dot = token.find('.');
  if (dot != std::string::npos) {
    // Named, so that end points into strings that still exist when it is read.
    const std::string majorText = token.substr(0, dot), minorText = token.substr(dot + 1);
    const long major = std::strtol(majorText.c_str(), &end, 16);
    if (*end) return false;
    const long minor = std::strtol(minorText.c_str(), &end, 16);
    out = major << 8 | minor;
    return *end == 0;
  }
  if (token.size() > 2 && token.compare(token.size() - 2, 2, "mA") == 0) {
    out = std::strtol(token.c_str(), &end, 10) / 2;
    return end == token.c_str() + token.size() - 2;
  }
  const bool hex = startsWith(token, "0x");
  out = std::strtol(token.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  return *end == 0 && end != token.c_str() + (hex ? 2 : 0);
}

void put(std::vector<uint8_t>& bytes, long value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Reads fields in order, from `next` on; a repeated name (HID's
// bDescriptorType) takes its next appearance.
class TfieldReader {
 public:
  explicit TfieldReader(const Tsection& s) : section(s) {}

  bool take(const std::string& names, int size, std::vector<uint8_t>& bytes) {
    for (size_t i = next; i < section.fields.size(); ++i) {
      if (!nameMatches(section.fields[i].name, names)) continue;
      long v = 0;
      if (!fieldValue(section.fields[i].value, v)) return false;
      put(bytes, v, size);
      next = i + 1;
      return true;
    }
    return false;
  }
  // Every number of the field's value line ("bSlaveInterface 1 2").
  bool list(const std::string& names, std::vector<uint8_t>& bytes) {
    for (const Tfield& f : section.fields) {
      if (!nameMatches(f.name, names)) continue;
      std::istringstream in(f.value);
      for (long v; in >> v;) bytes.push_back(static_cast<uint8_t>(v));
      return true;
    }
    return false;
  }

 private:
  static bool nameMatches(const std::string& name, const std::string& names) {
    std::istringstream alternatives(names);
    for (std::string n; std::getline(alternatives, n, '|');)
      if (n == name) return true;
    return false;
  }

  const Tsection& section;
  size_t next = 0;
};

// The descriptor bytes of a section; false when it is not one lsusb prints
// whole, or a field is missing.
bool descriptorBytes(const Tsection& s, std::vector<uint8_t>& bytes) {
  if (s.title == "raw") {
    bytes = s.bytes;
    return !bytes.empty();
  }
  TfieldReader fields(s);
  if (s.title == "CDC Union") {
    bytes = {0, 0x24, 0x06};
    if (!fields.list("bMasterInterface|bControlInterface", bytes) ||
        !fields.list("bSlaveInterface|bSubordinateInterface", bytes) || bytes.size() < 5)
      return false;
    bytes[0] = static_cast<uint8_t>(bytes.size());
    return true;
  }
  for (const Tlayout& layout : layouts) {
    if (s.title != layout.title) continue;
    bytes = layout.head;
    for (const auto& [name, size] : layout.fields)
      if (!fields.take(name, size, bytes)) return false;
    if (s.title == "HID Device Descriptor") {
      for (int i = 0; i < bytes[5]; ++i)
        if (!fields.take("bDescriptorType", 1, bytes) || !fields.take("wDescriptorLength", 2, bytes))
          return false;
    } else if (s.title == "Endpoint Descriptor" && bytes[0] == 9) {
      // Audio 1.0 endpoints carry two more fields.
      if (!fields.take("bRefresh", 1, bytes) || !fields.take("bSynchAddress", 1, bytes)) return false;
    }
    return true;
  }
  return false;
}

// Short item tags of HID 1.11 section 6.2.2 by item type, as lsusb names them.
const std::vector<std::vector<const char*>> itemTags = {
    {"", "", "", "", "", "", "", "", "Input", "Output", "Collection", "Feature", "End Collection"},
    {"Usage Page", "Logical Minimum", "Logical Maximum", "Physical Minimum", "Physical Maximum",
     "Unit Exponent", "Unit", "Report Size", "Report ID", "Report Count", "Push", "Pop"},
    {"Usage", "Usage Minimum", "Usage Maximum", "Designator Index", "Designator Minimum",
     "Designator Maximum", "", "String Index", "String Minimum", "String Maximum", "Delimiter"},
};
const char* const itemTypes[] = {"Main", "Global", "Local"};

// One "Item(Global): Usage Page, data= [ 0x01 ] 1" line back into its bytes.
bool reportItem(const std::string& line, std::vector<uint8_t>& bytes) {
  static const std::regex item(R"(^Item\((\w+)\s*\): (.*), data=(none|\s*\[((?: 0x[0-9a-fA-F]{2})*) \].*)$)");
  // An item has at most 4 data bytes; a longer line is not one (and would cost the regex deep recursion).
  constexpr size_t longestItem = 200;
  std::smatch m;
  if (line.size() > longestItem || !std::regex_match(line, m, item)) return false;
  int type = -1, tag = -1;
  for (int t = 0; t < 3; ++t)
    if (m[1] == itemTypes[t]) type = t;
  if (type < 0) return false;
  for (size_t t = 0; t < itemTags[type].size(); ++t)
    if (m[2] == itemTags[type][t] && *itemTags[type][t]) tag = static_cast<int>(t);
  if (tag < 0) return false;
  std::vector<uint8_t> data;
  std::istringstream in(m[4].str());
  for (std::string b; in >> b;) data.push_back(static_cast<uint8_t>(std::strtol(b.c_str() + 2, nullptr, 16)));
  const int sizeCode = data.size() == 4 ? 3 : static_cast<int>(data.size());
  if (data.size() == 3 || data.size() > 4) return false;
  bytes.push_back(static_cast<uint8_t>(tag << 4 | type << 2 | sizeCode));
  bytes.insert(bytes.end(), data.begin(), data.end());
  return true;
}

std::vector<Tdevice> splitDevices(const std::string& text) {
  static const std::regex bus(R"(^Bus \d+ Device (\d+):)");
  static const std::regex reportHead(R"(^Report Descriptor: \(length is (-?\d+)\))");
  std::vector<Tdevice> devices;
  std::istringstream in(text);
  for (std::string raw; std::getline(in, raw);) {
    const std::string line = trim(raw);
    const int indent = static_cast<int>(raw.find_first_not_of(" \t"));
    std::smatch m;
    if (std::regex_search(line, m, bus)) {
      devices.push_back({static_cast<int>(std::strtol(m[1].str().c_str(), nullptr, 10)), {}});
      continue;
    }
    // A text of one device may start at its descriptor, without the Bus line.
    if (line == "Device Descriptor:" && (devices.empty() || !devices.back().sections.empty()))
      devices.push_back({});
    if (devices.empty() || line.empty()) continue;
    auto& sections = devices.back().sections;
    if (std::regex_search(line, m, reportHead)) {
      sections.push_back({"Report Descriptor", indent, {}, {}, std::strtol(m[1].str().c_str(), nullptr, 10)});
    } else if (startsWith(line, "Item(") && !sections.empty() &&
               sections.back().title == "Report Descriptor") {
      if (!reportItem(line, sections.back().bytes)) sections.back().reportBroken = true;
    } else if (startsWith(line, "** UNRECOGNIZED:")) {
      Tsection s{"raw", indent, {}, {}};
      std::istringstream hex(line.substr(16));
      for (std::string b; hex >> b;)
        s.bytes.push_back(static_cast<uint8_t>(std::strtol(b.c_str(), nullptr, 16)));
      sections.push_back(s);
    } else if (line.back() == ':') {
      sections.push_back({line.substr(0, line.size() - 1), indent, {}, {}});
    } else if (!sections.empty()) {
      const size_t gap = line.find_first_of(" \t");
      if (gap != std::string::npos)
        sections.back().fields.push_back({line.substr(0, gap), trim(line.substr(gap))});
    }
  }
  return devices;
}

class TdeviceBuilder {
 public:
  TdeviceBuilder(const Tdevice& device, std::vector<std::string>& notes) : notes(notes) {
    listed.address = device.address;
    for (const Tsection& s : device.sections) section(s);
    finishConfiguration();
  }
  TlistedDevice listed;

 private:
  void note(const std::string& text) {
    notes.push_back((listed.address >= 0 ? "device " + std::to_string(listed.address) + ": " : "") + text);
  }

  void section(const Tsection& s) {
    std::vector<uint8_t> bytes;
    if (s.indent <= configIndent) configState = configState == open ? done : configState;
    if (s.title == "Device Descriptor") {
      if (descriptorBytes(s, bytes))
        listed.descriptors.device = bytes;
      else
        note("the device descriptor is incomplete");
    } else if (s.title == "Configuration Descriptor") {
      configuration(s);
    } else if (configState != open) {
      return;
    } else if (s.title == "Report Descriptor") {
      report(s);
    } else if (descriptorBytes(s, bytes)) {
      if (s.title == "Interface Descriptor") interfaceNumber = bytes[2];
      auto& set = listed.descriptors.configuration;
      set.insert(set.end(), bytes.begin(), bytes.end());
    } else if (s.title == "Report Descriptors") {
      lacksReport();
    } else if (!isOutside(s.title)) {
      note("left out the " + s.title + " (lsusb shows its fields, not its bytes)");
    }
  }

  static bool isOutside(const std::string& title) {
    for (const char* t : outsideConfiguration)
      if (startsWith(title, t)) return true;
    return false;
  }

  void configuration(const Tsection& s) {
    if (configState != none) {
      note("only the first configuration is read");
      configState = skipped;
      configIndent = s.indent;
      return;
    }
    std::vector<uint8_t> bytes;
    if (!descriptorBytes(s, bytes)) {
      note("the configuration descriptor is incomplete");
      configState = skipped;
      configIndent = s.indent;
      return;
    }
    declaredTotal = bytes[2] | bytes[3] << 8;
    listed.descriptors.configuration = bytes;
    configState = open;
    configIndent = s.indent;
  }

  void report(const Tsection& s) {
    if (s.bytes.empty() && !s.reportBroken) {
      lacksReport();
    } else if (s.reportBroken || static_cast<long>(s.bytes.size()) != s.declaredLength) {
      note("the report descriptor of interface " + std::to_string(interfaceNumber) +
           " could not be read back");
    } else {
      listed.descriptors.reports[interfaceNumber] = s.bytes;
    }
  }

  void lacksReport() {
    note("the text lacks the report descriptor of interface " + std::to_string(interfaceNumber) +
         " (lsusb prints it when run as root)");
  }

  // wTotalLength says what the set holds here, with anything left out.
  void finishConfiguration() {
    auto& set = listed.descriptors.configuration;
    if (set.size() < 9) return;
    if (set.size() != declaredTotal)
      note("the configuration has " + std::to_string(set.size()) + " of its " +
           std::to_string(declaredTotal) + " bytes");
    set[2] = static_cast<uint8_t>(set.size());
    set[3] = static_cast<uint8_t>(set.size() >> 8);
  }

  enum { none, open, done, skipped } configState = none;
  int configIndent = -1;
  size_t declaredTotal = 0;
  int interfaceNumber = 0;
  std::vector<std::string>& notes;
};

}  // namespace

std::vector<TlistedDevice> parseLsusb(const std::string& text, std::vector<std::string>& notes) {
  std::vector<TlistedDevice> out;
  for (const Tdevice& device : splitDevices(text)) {
    TdeviceBuilder builder(device, notes);
    if (!builder.listed.descriptors.device.empty() || !builder.listed.descriptors.configuration.empty())
      out.push_back(std::move(builder.listed));
  }
  return out;
}
