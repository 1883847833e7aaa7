#include "files/ovdevicelist.h"

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <utility>

#include "decode/ovcapture.h"
#include "files/ovlua.h"

namespace {

// What a device's answers said beyond its fields: string indexes wait for
// the strings, and a shorter answer never replaces a longer one.
struct Tanswers {
  int deviceLength = -1, configurationLength = -1;
  int manufacturerIndex = 0, productIndex = 0, serialIndex = 0, configurationNameIndex = 0;
  std::vector<int> interfaceNameIndexes;
  int configuredValue = -1;
  std::map<int, std::string> strings;
  std::set<int> usedEndpoints;
};

struct Tlisting {
  std::vector<TusbDevice> devices;
  std::vector<Tanswers> answers;
  std::map<std::pair<int, int>, std::size_t> byKey;  // (address, resets before) -> index
  std::vector<std::size_t> resetRows, transferRows;

  std::size_t deviceAt(int address, int resets, std::size_t row) {
    const auto [at, isNew] = byKey.emplace(std::make_pair(address, resets), devices.size());
    if (isNew) {
      devices.emplace_back();
      devices.back().address = address;
      devices.back().resetsBefore = resets;
      devices.back().firstRow = row;
      answers.emplace_back();
    }
    devices[at->second].lastRow = std::max(devices[at->second].lastRow, row);
    return at->second;
  }
  int resetsBefore(std::size_t row) const {
    return static_cast<int>(std::lower_bound(resetRows.begin(), resetRows.end(), row) - resetRows.begin());
  }
};

// Addresses, resets and endpoints from the row facts alone: no objects made.
void walkRows(const Tcapture& capture, Tlisting& out) {
  for (std::size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const uint32_t type = capture.rowType(ix);
    if (type == otReset) {
      out.resetRows.push_back(ix);
    } else if (type == otTransfer && capture.parentRow(ix) < 0) {
      out.transferRows.push_back(ix);
    } else if (type == otToken) {
      uint32_t addr = 0, endp = 0;
      capture.rowTokenTarget(ix, addr, endp);
      const bool in = capture.rowSummary(ix).pid == pidIn;
      const std::size_t d = out.deviceAt(static_cast<int>(addr), static_cast<int>(out.resetRows.size()), ix);
      out.answers[d].usedEndpoints.insert(endp == 0 ? 0 : static_cast<int>(endp) | (in ? 0x80 : 0));
    }
  }
}

// Fields of the table on top of the stack: -1 or empty when absent.
int intAt(lua_State* L, const char* key) {
  lua_getfield(L, -1, key);
  int isInt = 0;
  const lua_Integer v = lua_tointegerx(L, -1, &isInt);
  lua_pop(L, 1);
  return isInt ? static_cast<int>(v) : -1;
}

std::string textAt(lua_State* L, const char* key) {
  std::string text;
  if (lua_getfield(L, -1, key) == LUA_TSTRING) {
    std::size_t len = 0;
    const char* s = lua_tolstring(L, -1, &len);
    text.assign(s, len);
  }
  lua_pop(L, 1);
  return text;
}

// Calls each(i) with element i of the sequence at key of the table on top of the stack pushed.
template <class Teach>
void eachOf(lua_State* L, const char* key, Teach each) {
  if (lua_getfield(L, -1, key) == LUA_TTABLE) {
    for (lua_Integer i = 1; lua_rawgeti(L, -1, i) == LUA_TTABLE; ++i) {
      each();
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
}

TusbClass classAt(lua_State* L) {
  return {intAt(L, "class"), intAt(L, "subclass"), intAt(L, "protocol"), textAt(L, "className")};
}

// Whether the answer on top of the stack is as long as the longest taken yet, which it then is.
bool fullest(lua_State* L, int& longest) {
  const int length = intAt(L, "length");
  if (length < longest) return false;
  longest = length;
  return true;
}

void takeDevice(lua_State* L, TusbDevice& d, Tanswers& a) {
  if (!fullest(L, a.deviceLength)) return;
  d.usbClass = classAt(L);
  d.maxPacket0 = intAt(L, "maxPacket0");
  d.vendor = intAt(L, "vendor");
  d.product = intAt(L, "product");
  a.manufacturerIndex = intAt(L, "manufacturerIndex");
  a.productIndex = intAt(L, "productIndex");
  a.serialIndex = intAt(L, "serialIndex");
}

void takeConfiguration(lua_State* L, TusbDevice& d, Tanswers& a) {
  if (!fullest(L, a.configurationLength)) return;
  d.configuration = intAt(L, "value");
  a.configurationNameIndex = intAt(L, "nameIndex");
  d.interfaces.clear();
  a.interfaceNameIndexes.clear();
  eachOf(L, "interfaces", [&] {
    TusbInterface& i = d.interfaces.emplace_back();
    i.number = intAt(L, "number");
    i.alternate = intAt(L, "alternate");
    i.usbClass = classAt(L);
    a.interfaceNameIndexes.push_back(intAt(L, "nameIndex"));
    eachOf(L, "endpoints", [&] {
      TusbEndpoint& e = i.endpoints.emplace_back();
      e.address = intAt(L, "address");
      e.type = intAt(L, "type");
      e.typeName = textAt(L, "typeName");
      e.maxPacket = intAt(L, "maxPacket");
    });
  });
}

// One answer of learnedDevices, the table on top of the stack, given to its device.
void takeAnswer(lua_State* L, Tlisting& listing) {
  const int addr = intAt(L, "addr");
  const int row = intAt(L, "row");
  if (addr < 0 || row < 0) return;
  const auto at = static_cast<std::size_t>(row);
  const std::size_t ix = listing.deviceAt(addr, listing.resetsBefore(at), at);
  TusbDevice& d = listing.devices[ix];
  Tanswers& a = listing.answers[ix];
  const std::string kind = textAt(L, "kind");
  if (kind == "device") {
    takeDevice(L, d, a);
  } else if (kind == "configuration") {
    takeConfiguration(L, d, a);
  } else if (kind == "string") {
    std::string& known = a.strings[intAt(L, "index")];
    std::string text = textAt(L, "text");
    // A host often reads a string's header alone first.
    if (text.size() >= known.size()) known = std::move(text);
  } else if (kind == "configured") {
    a.configuredValue = intAt(L, "value");
  }
}

int readLearned(lua_State* L) {
  auto* listing = static_cast<Tlisting*>(lua_touserdata(L, 1));
  if (lua_getglobal(L, "learnedDevices") != LUA_TFUNCTION) return 0;
  lua_createtable(L, static_cast<int>(listing->transferRows.size()), 0);
  lua_Integer n = 0;
  for (std::size_t row : listing->transferRows) {
    lua_pushinteger(L, static_cast<lua_Integer>(row));
    lua_rawseti(L, -2, ++n);
  }
  lua_call(L, 1, 1);
  if (!lua_istable(L, -1)) return 0;
  bool outOfMemory = false;
  try {
    for (lua_Integer i = 1; lua_rawgeti(L, -1, i) == LUA_TTABLE; ++i) {
      takeAnswer(L, *listing);
      lua_pop(L, 1);
    }
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  // Not from inside the try: C++ must not unwind through Lua's C frames.
  if (outOfMemory) luaL_error(L, "not enough memory");
  return 0;
}

std::string stringOf(const Tanswers& a, int index) {
  const auto at = a.strings.find(index);
  return index > 0 && at != a.strings.end() ? at->second : std::string();
}

void finish(TusbDevice& d, const Tanswers& a) {
  d.manufacturer = stringOf(a, a.manufacturerIndex);
  d.productName = stringOf(a, a.productIndex);
  d.serial = stringOf(a, a.serialIndex);
  d.configurationName = stringOf(a, a.configurationNameIndex);
  d.configured = d.configuration > 0 && a.configuredValue == d.configuration;
  std::set<int> undescribed = a.usedEndpoints;
  undescribed.erase(0);
  for (std::size_t i = 0; i < d.interfaces.size(); ++i) {
    d.interfaces[i].name = stringOf(a, a.interfaceNameIndexes[i]);
    for (TusbEndpoint& e : d.interfaces[i].endpoints) {
      e.used = a.usedEndpoints.count(e.address) > 0;
      undescribed.erase(e.address);
    }
  }
  TusbEndpoint zero;
  zero.type = 0;
  zero.typeName = "control";
  zero.maxPacket = d.maxPacket0;
  zero.used = a.usedEndpoints.count(0) > 0;
  d.endpoints.push_back(zero);
  for (int address : undescribed) {
    TusbEndpoint& e = d.endpoints.emplace_back();
    e.address = address;
    e.used = true;
  }
}

}  // namespace

std::vector<TusbDevice> listDevices(const Tcapture& capture, TluaState* lua) {
  Tlisting listing;
  walkRows(capture, listing);
  if (lua && !listing.transferRows.empty()) lua->scan(readLearned, &listing);
  for (std::size_t i = 0; i < listing.devices.size(); ++i) finish(listing.devices[i], listing.answers[i]);
  return std::move(listing.devices);
}
