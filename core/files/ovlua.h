// The bridge between decoded objects and the Lua decode scripts: the object
// tables handed to scripts, the per-class script calls, and a state prepared
// over one row list from the scripts' init.lua.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <lua.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "decode/ovcapture.h"
#include "files/ovdevicedescs.h"
#include "files/ovluaheap.h"

namespace rowutils {

// Pushes the script table of obj on L; pushes nothing for a class scripts do
// not see (the plain grouper) or an empty pointer.
void setParams(std::shared_ptr<Tbase> obj, lua_State* L);
// The decode text of obj: the script's string (or number), the error message
// when the script failed, empty for any other result. Leaves L's stack as it
// found it and never raises.
std::string doDecode(std::shared_ptr<Tbase> obj, lua_State* L);

}  // namespace rowutils

// One Lua state with the standard libraries, the decode scripts loaded and the
// global "getNode" serving this state's rows. Each state reaches its rows
// through the upvalue of its own "getNode", so two states never see each
// other's rows. Not copyable or movable: "getNode" holds its address.
class TluaState {
 public:
  // Loads the scripts rowutils::findScripts finds.
  explicit TluaState(std::shared_ptr<const Tcapture> capture = {});
  // Loads init.lua of scriptDir.
  TluaState(std::shared_ptr<const Tcapture> capture, const std::filesystem::path& scriptDir);
  ~TluaState();
  TluaState(const TluaState&) = delete;
  TluaState& operator=(const TluaState&) = delete;

  // Replaces the rows "getNode" serves (a new capture or sample file) and
  // advances the global "rowsVersion", which script caches keyed by row check.
  void setRows(std::shared_ptr<const Tcapture> capture);
  // From now on rows' objects come from a scan of this state's own, not from
  // the capture's cache: for a state that reads a great many rows of a capture
  // that no longer changes (a search's), so that it neither waits for the
  // window's cache nor pushes the window's rows out of it.
  void scanRows();

  // Descriptors from outside the capture, which the scripts read from the
  // global "externalDevices" for devices whose enumeration the capture lacks.
  // Advances "rowsVersion", as texts made before may change.
  void setExternalDevices(const TexternalDevices& devices);
  // The descriptor sets the capture holds, device by device, as the scripts'
  // "capturedDevices" finds them (within scanBudget); empty when it cannot say.
  std::vector<TdeviceDescriptors> capturedDevices();
  static constexpr std::chrono::seconds scanBudget{10};
  // Calls read(L) with ud as its only argument, in protected mode within
  // scanBudget: for readers of what the scripts know of a whole capture.
  // False when it raised an error or ran out of time.
  bool scan(lua_CFunction read, void* ud);

  lua_State* state() const { return L; }
  // Why the scripts are not (fully) loaded; empty when they are.
  const std::string& loadError() const { return scriptError; }

  // rowutils::doDecode within rowTimeBudget, so that no script keeps its
  // caller (the GUI thread) waiting: a decode that passes it gives "decode
  // script stopped: it ran too long" instead of its text.
  std::string decode(const std::shared_ptr<Tbase>& obj);
  static constexpr std::chrono::milliseconds rowTimeBudget{80};

  // When a script call must end: by the clock and by the thread's processor time.
  struct Tbudget {
    std::chrono::steady_clock::time_point wallEnd;
    std::chrono::nanoseconds threadEnd{0};
  };
  // "Error - row N" for an index outside the rows, else the row object's text.
  std::string decodeRow(long long row);
  // Pushes the table of a valid row and returns 1; otherwise pushes nothing and returns -1.
  int getNode(lua_State* Ls, long long row);

  // Bytes a state may allocate before Lua reports "not enough memory".
  static constexpr std::size_t memoryLimit = std::size_t{512} << 20;

 private:
  void prepare(const std::filesystem::path& scriptDir);
  void advanceRowsVersion();
  // Sets the budget and the hook that keeps it.
  void startBudget(std::chrono::milliseconds time);
  TobjPtr rowObject(std::size_t row);

  std::shared_ptr<const Tcapture> capture;
  bool scanning = false;
  std::optional<TrowScan> ownScan;  // of capture, while scanning
  TluaHeap heap;                    // outlives L
  lua_Integer rowsVersion = 0;
  Tbudget budget;  // of the script call running
  lua_State* L = nullptr;
  std::string scriptError;
};
