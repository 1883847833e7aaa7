#include "files/ovlua.h"

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>

#include "decode/ovgroup.h"
#include "decode/ovvisit.h"
#include "files/ovluafind.h"

namespace {

using Tclock = std::chrono::steady_clock;

// How often a running script looks at the clock: often enough to stop within a
// millisecond, rarely enough to cost nothing measurable.
constexpr int instructionsPerClockCheck = 1000;
// Loading the scripts runs once, off the per-row budget.
constexpr auto loadBudget = std::chrono::seconds(5);

// Sets "key" of the table on top of the stack.
void setInt(lua_State* L, const char* key, lua_Integer v) {
  lua_pushinteger(L, v);
  lua_setfield(L, -2, key);
}

void setBool(lua_State* L, const char* key, bool v) {
  lua_pushboolean(L, v);
  lua_setfield(L, -2, key);
}

void setStr(lua_State* L, const char* key, const char* v) {
  lua_pushstring(L, v);
  lua_setfield(L, -2, key);
}

// Starts the table of obj with the keys every class has.
void newTable(lua_State* L, const Tbase& obj, const char* type) {
  lua_createtable(L, 0, 8);
  setInt(L, "handle", obj.row);
  setInt(L, "parent", obj.parentRow);
  setStr(L, "type", type);
}

void pushBytes(lua_State* L, const std::vector<uint8_t>& bytes) {
  lua_createtable(L, static_cast<int>(bytes.size()), 0);
  for (size_t i = 0; i < bytes.size(); ++i) {
    lua_pushinteger(L, bytes[i]);
    lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
  }
}

void setBytes(lua_State* L, const char* key, const std::vector<uint8_t>& bytes) {
  pushBytes(L, bytes);
  lua_setfield(L, -2, key);
}

void setChildren(lua_State* L, const Tgrouper& g) {
  lua_createtable(L, static_cast<int>(g.children.size()), 0);
  lua_Integer i = 0;
  for (const auto& child : g.children) {
    lua_pushinteger(L, child ? child->row : -1);
    lua_rawseti(L, -2, ++i);
  }
  lua_setfield(L, -2, "children");
}

void setPacket(lua_State* L, const TpacketBase& p, const char* type) {
  newTable(L, p, type);
  setInt(L, "pid", p.pid);
  // Not needed by the bridge itself, but scripts show the bus idle time after the packet.
  setInt(L, "idleTicks", p.idle);
}

const char* decodeFunction(uint32_t objType) {
  switch (objType) {
    case otReset:
      return "reset_decode";
    case otSof:
      return "sof_decode";
    case otToken:
      return "token_decode";
    case otData:
      return "data_decode";
    case otHandshake:
      return "handshake_decode";
    case otTransax:
      return "transaction_decode";
    case otTransfer:
      return "transfer_decode";
    default:
      return nullptr;
  }
}

// C++ running under Lua must not unwind through Lua's C frames: running out
// of memory there becomes a Lua error instead.
template <class Tstep>
void raiseOnBadAlloc(lua_State* L, Tstep step) {
  bool outOfMemory = false;
  try {
    step();
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  if (outOfMemory) luaL_error(L, "not enough memory");
}

// Runs inside lua_pcall so that nothing the scripts did to the globals (an
// erroring metatable on _G, say) can raise outside protection.
int callDecode(lua_State* L) {
  auto* obj = static_cast<std::shared_ptr<Tbase>*>(lua_touserdata(L, 1));
  lua_getglobal(L, decodeFunction((*obj)->objType));
  raiseOnBadAlloc(L, [&] { rowutils::setParams(*obj, L); });
  lua_call(L, 1, 1);
  return 1;
}

// The text of the value on top of the stack: strings and numbers only.
std::string topText(lua_State* L) {
  const int t = lua_type(L, -1);
  if (t != LUA_TSTRING && t != LUA_TNUMBER) return {};
  size_t len = 0;
  const char* s = lua_tolstring(L, -1, &len);
  return std::string(s, len);
}

// Processor time of the calling thread.
std::chrono::nanoseconds threadTime() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// Stops a script once the budget its state's extra space points to is spent:
// time, not instructions, as string functions can take long in one. The
// clock is cheap to read; the thread's processor time is read only once it has
// passed, so that a busy machine does not stop a script that waited for a
// processor rather than ran. From the first overrun on, every instruction
// fails, so a script's own pcall cannot swallow the stop.
void budgetHook(lua_State* L, lua_Debug*) {
  const auto& budget = **static_cast<TluaState::Tbudget**>(lua_getextraspace(L));
  if (Tclock::now() < budget.wallEnd || threadTime() < budget.threadEnd) return;
  lua_sethook(L, budgetHook, LUA_MASKCOUNT, 1);
  luaL_error(L, "decode script stopped: it ran too long");
}

// Calls f(ud) in protected mode; on failure returns the error text.
bool protectedRun(lua_State* L, lua_CFunction f, void* ud, std::string& err) {
  lua_pushcfunction(L, f);
  lua_pushlightuserdata(L, ud);
  if (lua_pcall(L, 1, 0, 0) == LUA_OK) return true;
  err = topText(L);
  if (err.empty()) err = "error object is not a string";
  lua_pop(L, 1);
  return false;
}

int openLibs(lua_State* L) {
  luaL_openlibs(L);
  return 0;
}

int runInit(lua_State* L) {
  const auto* init = static_cast<const std::string*>(lua_touserdata(L, 1));
  if (luaL_loadfile(L, init->c_str()) != LUA_OK) return lua_error(L);
  lua_call(L, 0, LUA_MULTRET);
  // The start-up probe: only whether it can be called matters.
  lua_getglobal(L, "myAdd");
  lua_pushinteger(L, 30);
  lua_pushinteger(L, 12);
  lua_call(L, 2, 1);
  lua_tointeger(L, -1);
  return 0;
}

int getNodeC(lua_State* L) {
  auto* self = static_cast<TluaState*>(lua_touserdata(L, lua_upvalueindex(1)));
  if (lua_gettop(L) == 0) {
    lua_pushnil(L);
    return 1;
  }
  int isNum = 0;
  const lua_Number n = lua_tonumberx(L, -1, &isNum);
  // Range-checked before the conversion: NaN or a huge number must not reach the cast.
  if (isNum && n >= 0 && n < 9.0e18)
    raiseOnBadAlloc(L, [&] { self->getNode(L, static_cast<long long>(std::floor(n))); });
  return 1;
}

int setRowsVersion(lua_State* L) {
  lua_pushinteger(L, *static_cast<lua_Integer*>(lua_touserdata(L, 1)));
  lua_setglobal(L, "rowsVersion");
  return 0;
}

void pushDescriptors(lua_State* L, const TdeviceDescriptors& set) {
  lua_createtable(L, 0, 4);
  setStr(L, "source", set.source.c_str());
  setBytes(L, "device", set.device);
  setBytes(L, "configuration", set.configuration);
  lua_createtable(L, 0, static_cast<int>(set.reports.size()));
  for (const auto& [iface, bytes] : set.reports) {
    pushBytes(L, bytes);
    lua_rawseti(L, -2, iface);
  }
  lua_setfield(L, -2, "reports");
}

void pushHint(lua_State* L, const TdeviceHint& hint) {
  lua_createtable(L, 0, 6);
  setStr(L, "source", hint.source.c_str());
  if (hint.deviceClass >= 0) setInt(L, "class", hint.deviceClass);
  if (hint.subclass >= 0) setInt(L, "subclass", hint.subclass);
  if (hint.vendor >= 0) setInt(L, "vendor", hint.vendor);
  if (hint.product >= 0) setInt(L, "product", hint.product);
  if (hint.descriptors) {
    pushDescriptors(L, *hint.descriptors);
    lua_setfield(L, -2, "descriptors");
  }
}

// Sets rows of the table on top of the stack, keyed by number.
template <class Tmap, class Tpush>
void setKeyed(lua_State* L, const char* key, const Tmap& map, Tpush push) {
  lua_createtable(L, 0, static_cast<int>(map.size()));
  for (const auto& [k, v] : map) {
    lua_pushinteger(L, static_cast<lua_Integer>(k));
    push(L, v);
    lua_settable(L, -3);
  }
  lua_setfield(L, -2, key);
}

int setExternal(lua_State* L) {
  const auto* devices = static_cast<const TexternalDevices*>(lua_touserdata(L, 1));
  raiseOnBadAlloc(L, [&] {
    lua_createtable(L, 0, 3);
    setKeyed(L, "hints", devices->hints, pushHint);
    setKeyed(L, "remembered", devices->remembered, pushDescriptors);
    setKeyed(L, "listed", devices->listed, pushDescriptors);
  });
  lua_setglobal(L, "externalDevices");
  return 0;
}

// The byte array on top of the stack (anything else reads as none), popped.
std::vector<uint8_t> popBytes(lua_State* L) {
  std::vector<uint8_t> bytes;
  if (lua_istable(L, -1)) {
    for (lua_Integer i = 1; lua_rawgeti(L, -1, i) == LUA_TNUMBER; ++i) {
      bytes.push_back(static_cast<uint8_t>(lua_tointeger(L, -1)));
      lua_pop(L, 1);
    }
    lua_pop(L, 1);
  }
  lua_pop(L, 1);
  return bytes;
}

// Calls the scripts' capturedDevices and reads its list of sets.
int readCaptured(lua_State* L) {
  auto* sets = static_cast<std::vector<TdeviceDescriptors>*>(lua_touserdata(L, 1));
  if (lua_getglobal(L, "capturedDevices") != LUA_TFUNCTION) return 0;
  lua_call(L, 0, 1);
  if (!lua_istable(L, -1)) return 0;
  raiseOnBadAlloc(L, [&] {
    for (lua_Integer i = 1; lua_rawgeti(L, -1, i) == LUA_TTABLE; ++i) {
      TdeviceDescriptors set;
      lua_getfield(L, -1, "device");
      set.device = popBytes(L);
      lua_getfield(L, -1, "configuration");
      set.configuration = popBytes(L);
      if (lua_getfield(L, -1, "reports") == LUA_TTABLE) {
        for (int iface = 0; iface < 256; ++iface) {
          if (lua_rawgeti(L, -1, iface) == LUA_TTABLE)
            set.reports[iface] = popBytes(L);
          else
            lua_pop(L, 1);
        }
      }
      lua_pop(L, 2);
      sets->push_back(std::move(set));
    }
  });
  return 0;
}

int registerGetNode(lua_State* L) {
  lua_pushvalue(L, 1);
  lua_pushcclosure(L, getNodeC, 1);
  lua_setglobal(L, "getNode");
  return 0;
}

}  // namespace

namespace rowutils {

void setParams(std::shared_ptr<Tbase> obj, lua_State* L) {
  if (!obj) return;
  visit(*obj, Toverload{[&](const Treset& r) {
                          newTable(L, r, "reset");
                          setInt(L, "duration", r.resetLen);
                          setInt(L, "idleTicks", r.idle);
                        },
                        [&](const Tsof& s) {
                          setPacket(L, s, "sof");
                          setInt(L, "frame", s.frame);
                          setInt(L, "crc5", s.crc5);
                          setBool(L, "crcOK", s.crcOK);
                        },
                        [&](const Ttoken& t) {
                          setPacket(L, t, "token");
                          setInt(L, "addr", t.addr);
                          setInt(L, "endp", t.endp);
                          setInt(L, "crc5", t.crc5);
                          setBool(L, "crcOK", t.crcOK);
                        },
                        [&](const Tdata& d) {
                          setPacket(L, d, "data");
                          setBytes(L, "data", d.data);
                          setInt(L, "crc16", d.crc16);
                          setBool(L, "crcOK", d.crcOK);
                        },
                        [&](const Thandshake& h) { setPacket(L, h, "handshake"); },
                        [&](const TsofGroup& g) {
                          newTable(L, g, "sofgroup");
                          setChildren(L, g);
                        },
                        [&](const Ttransax& t) {
                          newTable(L, t, "transaction");
                          setChildren(L, t);
                          setStr(L, "subType",
                                 t.trxType == TtrxType::SETUP ? "SETUP"
                                 : t.trxType == TtrxType::IN  ? "IN"
                                                              : "OUT");
                        },
                        [&](Ttransfer& t) {
                          newTable(L, t, "transfer");
                          setChildren(L, t);
                          setStr(L, "subType", "CONTROL");
                          // The core's reading of the transfer, so scripts need no rule of their own.
                          const std::vector<uint8_t>& stage = t.findData();
                          setBytes(L, "dataStage", stage);
                          setBool(L, "complete", t.complete);
                        },
                        [](const Tgrouper&) {}});
}

std::string doDecode(std::shared_ptr<Tbase> obj, lua_State* L) {
  if (!obj || !L) return {};
  std::string sofs;
  visit(*obj, Toverload{[&](const TsofGroup& g) {
                          sofs = "SAn uninterrupted sequence of " + std::to_string(g.children.size()) +
                                 " SOF (Start Of Frame) packets";
                        },
                        [](const Tbase&) {}});
  if (!sofs.empty()) return sofs;
  if (!decodeFunction(obj->objType)) return {};
  if (!lua_checkstack(L, 3)) return {};
  lua_pushcfunction(L, callDecode);
  lua_pushlightuserdata(L, &obj);
  lua_pcall(L, 1, 1, 0);
  std::string text = topText(L);
  lua_pop(L, 1);
  return text;
}

}  // namespace rowutils

TluaState::TluaState(std::shared_ptr<const Tcapture> shown) : capture(std::move(shown)), heap(memoryLimit) {
  const auto dir = rowutils::findScripts(scriptError);
  if (!dir.empty()) scriptError.clear();
  prepare(dir);
}

TluaState::TluaState(std::shared_ptr<const Tcapture> shown, const std::filesystem::path& scriptDir)
    : capture(std::move(shown)), heap(memoryLimit) {
  prepare(scriptDir);
}

TluaState::~TluaState() {
  if (L) lua_close(L);
}

// With no scriptDir (none found) the state is still made, so every decode
// gives Lua's message for the missing function, as with a broken init.lua.
void TluaState::prepare(const std::filesystem::path& scriptDir) {
  L = lua_newstate(TluaHeap::luaAlloc, &heap);
  if (!L) {
    scriptError = "cannot create a Lua state";
    return;
  }
  *static_cast<Tbudget**>(lua_getextraspace(L)) = &budget;
  std::string err;
  if (!protectedRun(L, openLibs, nullptr, err)) {
    scriptError = err;
    return;
  }
  if (!scriptDir.empty()) {
    std::string init = (scriptDir / "init.lua").string();
    startBudget(loadBudget);
    protectedRun(L, runInit, &init, scriptError);
    lua_sethook(L, nullptr, 0, 0);
  }
  // After the scripts ran, so init.lua cannot call it while it loads.
  if (!protectedRun(L, registerGetNode, this, err) && scriptError.empty()) scriptError = err;
  protectedRun(L, setRowsVersion, &rowsVersion, err);
  setExternalDevices({});
}

void TluaState::advanceRowsVersion() {
  std::string err;
  ++rowsVersion;
  protectedRun(L, setRowsVersion, &rowsVersion, err);
}

void TluaState::setRows(std::shared_ptr<const Tcapture> shown) {
  capture = std::move(shown);
  if (scanning) scanRows();
  if (L) advanceRowsVersion();
}

void TluaState::setExternalDevices(const TexternalDevices& devices) {
  if (!L) return;
  std::string err;
  protectedRun(L, setExternal, const_cast<TexternalDevices*>(&devices), err);
  advanceRowsVersion();
}

std::vector<TdeviceDescriptors> TluaState::capturedDevices() {
  std::vector<TdeviceDescriptors> sets;
  if (!scan(readCaptured, &sets)) sets.clear();
  return sets;
}

bool TluaState::scan(lua_CFunction read, void* ud) {
  if (!L) return false;
  startBudget(scanBudget);
  std::string err;
  const bool done = protectedRun(L, read, ud, err);
  lua_sethook(L, nullptr, 0, 0);
  return done;
}

std::string TluaState::decode(const std::shared_ptr<Tbase>& obj) {
  if (!L) return scriptError;
  startBudget(rowTimeBudget);
  const int top = lua_gettop(L);
  std::string text;
  try {
    text = rowutils::doDecode(obj, L);
  } catch (const std::bad_alloc&) {
    lua_settop(L, top);
    text = "out of memory";  // short enough to need no allocation
  }
  lua_sethook(L, nullptr, 0, 0);
  return text;
}

void TluaState::startBudget(std::chrono::milliseconds time) {
  budget = {Tclock::now() + time, threadTime() + time};
  lua_sethook(L, budgetHook, LUA_MASKCOUNT, instructionsPerClockCheck);
}

void TluaState::scanRows() {
  scanning = true;
  ownScan.reset();
  if (capture) ownScan.emplace(capture->rowScan());
}

TobjPtr TluaState::rowObject(std::size_t row) { return ownScan ? ownScan->row(row) : capture->row(row).obj; }

std::string TluaState::decodeRow(long long row) {
  if (!capture || row < 0 || row >= static_cast<long long>(capture->rowCount()))
    return "Error - row " + std::to_string(row);
  return decode(rowObject(static_cast<size_t>(row)));
}

int TluaState::getNode(lua_State* Ls, long long row) {
  if (!capture || row < 0 || row >= static_cast<long long>(capture->rowCount())) return -1;
  const int top = lua_gettop(Ls);
  rowutils::setParams(rowObject(static_cast<size_t>(row)), Ls);
  return lua_gettop(Ls) > top ? 1 : -1;
}
