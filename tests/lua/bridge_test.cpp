// The bridge on hand-built objects and throw-away scripts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "files/ovlua.h"
#include "scratchdir.h"
#include "support/objects.h"

namespace {

// Runs `chunk` with the table of obj as global "t"; returns the chunk's string result.
std::string inspect(const TobjPtr& obj, const std::string& chunk) {
  TluaState lua;
  lua_State* L = lua.state();
  rowutils::setParams(obj, L);
  if (lua_gettop(L) == 0) return "<nothing>";
  lua_setglobal(L, "t");
  luaL_dostring(L, chunk.c_str());  // the result, or the error message
  return lua_tostring(L, -1);
}

template <class T>
std::shared_ptr<T> at(int row, int parent) {
  auto p = std::make_shared<T>();
  p->row = row;
  p->parentRow = parent;
  return p;
}

// A transaction IN 5.1, DATA1 {1,2,3}, ACK in rows 0..3.
std::shared_ptr<Tcapture> smallRows() {
  auto rows = std::make_shared<Tcapture>();
  rows->appendRoot(
      transax(TtrxType::IN, {token(pidIn, 5, 1), data(pidData1, {1, 2, 3}), packet<Thandshake>(pidAck)}));
  return rows;
}

}  // namespace

TEST(LuaTables, KeysPerClass) {
  // The scripts' texts of resets show their keys; the rest are checked here.
  auto sof = at<Tsof>(4, 1);
  sof->frame = 222;
  sof->crc5 = 0x1D;
  EXPECT_EQ(inspect(sof, "return t.type..t.handle..' '..t.frame..' '..t.crc5..tostring(t.crcOK)..t.parent"),
            "sof4 222 29true1");
  auto tok = at<Ttoken>(2, 1);
  tok->pid = 1;
  tok->addr = 5;
  tok->endp = 3;
  tok->crcOK = false;
  tok->idle = 18;
  EXPECT_EQ(inspect(tok, "return t.type..t.pid..' '..t.addr..'.'..t.endp..tostring(t.crcOK)..t.idleTicks"),
            "token1 5.3false18");
  // An empty payload is an empty table; integers stay integers.
  auto data = at<Tdata>(3, 2);
  EXPECT_EQ(inspect(data, "return type(t.data)..#t.data..math.type(t.crc16)"), "table0integer");
  data->data = {0, 255, 7};
  data->crc16 = 0xBEEF;
  EXPECT_EQ(inspect(data, "return table.concat(t.data, ',')..' '..t.crc16"), "0,255,7 48879");
  // Every trxType other than SETUP and IN is passed as "OUT".
  EXPECT_EQ(inspect(std::make_shared<Ttransax>(TtrxType::Undefined), "return t.type..' '..t.subType"),
            "transaction OUT");

  // Fields that are not part of the contract stay out.
  EXPECT_EQ(inspect(tok, "return tostring(t.time)..tostring(t.level)..tostring(t.flags)"), "nilnilnil");
  EXPECT_EQ(inspect(std::make_shared<Tgrouper>(), "return 'x'"), "<nothing>");
  EXPECT_EQ(inspect(nullptr, "return 'x'"), "<nothing>");
}

TEST(LuaDecode, ResultsErrorsAndBuiltInTexts) {
  ScratchDir dir;
  dir.write("scripts/init.lua", R"(
    function myAdd(a, b) return a + b end
    function token_decode(t) return "Stok " .. t.addr end
    function data_decode(t) return #t.data * 2 end
    function handshake_decode(t) return nil end
    function sof_decode(t) return {} end
    function reset_decode(t) error("broken reset") end
    function transaction_decode(t) return "a\0b" end
  )");
  TluaState lua;
  EXPECT_EQ(lua.loadError(), "");
  lua_State* L = lua.state();
  lua_pushinteger(L, 99);  // the stack must be left as found
  auto tok = at<Ttoken>(1, 0);
  tok->addr = 7;
  EXPECT_EQ(rowutils::doDecode(tok, L), "Stok 7");
  auto dat = at<Tdata>(2, 0);
  dat->data = {1, 2};
  EXPECT_EQ(rowutils::doDecode(dat, L), "4");
  EXPECT_EQ(rowutils::doDecode(at<Thandshake>(3, 0), L), "");
  EXPECT_EQ(rowutils::doDecode(at<Tsof>(3, 0), L), "");
  const std::string err = rowutils::doDecode(at<Treset>(0, -1), L);
  EXPECT_NE(err.find("broken reset"), std::string::npos) << err;
  EXPECT_EQ(rowutils::doDecode(std::make_shared<Ttransax>(), L), std::string("a\0b", 3));
  // No transfer_decode: Lua's own message.
  EXPECT_EQ(rowutils::doDecode(at<Ttransfer>(0, -1), L), "attempt to call a nil value");
  EXPECT_EQ(rowutils::doDecode(std::make_shared<Tgrouper>(), L), "");

  auto group = at<TsofGroup>(0, -1);
  for (int i = 0; i < 17; ++i) group->children.push_back(at<Tsof>(i + 1, 0));
  EXPECT_EQ(rowutils::doDecode(group, L), "SAn uninterrupted sequence of 17 SOF (Start Of Frame) packets");
  EXPECT_EQ(lua_gettop(L), 1);
  EXPECT_EQ(lua_tointeger(L, 1), 99);
}

TEST(LuaDecode, HostileScriptsGiveTexts) {
  ScratchDir dir;
  dir.write("scripts/init.lua", R"(
    function myAdd(a, b) return a + b end
    function token_decode(t) while true do pcall(function() while true do end end) end end
    function data_decode(t) local s = "x" while true do s = s .. s end end
    function handshake_decode(t)
      setmetatable(_G, {__index = function() error("no such global") end})
      return "Sdone"
    end
    function reset_decode(t)
      local s = string.rep("x", 1 << 24)
      for i = 1, 10000 do if s:find("y", 1, true) then return "Sfound" end end
      return "Sdone"
    end
  )");
  TluaState lua;
  EXPECT_NE(lua.decode(at<Ttoken>(0, -1)).find("ran too long"), std::string::npos);
  // Few instructions, each a long string search: stopped by the clock (the instruction
  // count alone lets it run for seconds).
  EXPECT_NE(lua.decode(at<Treset>(0, -1)).find("ran too long"), std::string::npos);
  EXPECT_NE(lua.decode(at<Tdata>(0, -1)).find("not enough memory"), std::string::npos);
  EXPECT_EQ(lua.decode(at<Thandshake>(0, -1)), "Sdone");
  // The erroring _G metatable now guards every missing global, outside the script too.
  EXPECT_NE(lua.decode(at<Tsof>(0, -1)).find("no such global"), std::string::npos);
  EXPECT_EQ(lua.decode(at<Thandshake>(0, -1)), "Sdone");
}

TEST(LuaState, MissingAndBrokenScripts) {
  {
    ScratchDir dir;  // no scripts directory
    TluaState lua(smallRows());
    EXPECT_NE(lua.loadError(), "");
    for (int row = 0; row < 4; ++row) EXPECT_EQ(lua.decodeRow(row), "attempt to call a nil value");
    EXPECT_EQ(lua.decodeRow(4), "Error - row 4");
    EXPECT_EQ(lua.decodeRow(-1), "Error - row -1");
  }
  {
    // Found from anywhere: TWR_SCRIPTS before ./scripts (one without init.lua is twr's error test).
    ScratchDir dir;
    dir.write("mine/init.lua", "function token_decode(t) return 'Smine' end");
    dir.write("scripts/init.lua", "function token_decode(t) return 'Shere' end");
    EXPECT_EQ(TluaState(smallRows()).decodeRow(1), "Shere");
    setenv("TWR_SCRIPTS", (dir.dir() / "mine").c_str(), 1);
    EXPECT_EQ(TluaState(smallRows()).decodeRow(1), "Smine");
    unsetenv("TWR_SCRIPTS");
  }
  {
    ScratchDir dir;  // a syntax error: nothing defined, no crash
    dir.write("scripts/init.lua", "function token_decode(t) return 'S' end\nthis is not lua\n");
    TluaState lua(smallRows());
    EXPECT_NE(lua.loadError().find("init.lua"), std::string::npos);
    EXPECT_EQ(lua.decodeRow(1), "attempt to call a nil value");
  }
}

TEST(LuaState, GetNodeServesOwnRows) {
  ScratchDir dir;
  dir.write("scripts/init.lua", R"(
    function myAdd(a, b) return a + b end
    -- getNode is registered only after this file ran.
    loadTime = type(getNode)
    function token_decode(t)
      local trx = getNode(t.parent)
      local last = getNode(trx.children[#trx.children])
      local data = getNode(2.7)
      return trx.type .. " " .. last.type .. " " .. #data.data .. " " .. tostring(getNode(77)) ..
             " " .. tostring(getNode(-1)) .. " " .. tostring(getNode("x")) .. " " .. type(getNode(0/0)) ..
             " " .. tostring(getNode(1e300)) .. " " .. tostring(getNode())
    end
    function data_decode(t) return #getNode(2).data end
  )");
  auto rows = smallRows();
  TluaState first(rows);
  lua_getglobal(first.state(), "loadTime");
  EXPECT_STREQ(lua_tostring(first.state(), -1), "nil");
  lua_pop(first.state(), 1);
  EXPECT_EQ(first.decodeRow(1), "transaction handshake 3 77 -1 x number 1e+300 nil");

  // A second state over other rows: each serves its own.
  auto other = smallRows();
  std::static_pointer_cast<Tdata>(other->row(2).obj)->data = {9};
  TluaState second(other);
  EXPECT_EQ(second.decodeRow(2), "1");
  EXPECT_EQ(first.decodeRow(2), "3");
  first.setRows(other);
  EXPECT_EQ(first.decodeRow(2), "1");
  first.setRows(nullptr);
  EXPECT_NE(first.decode(rows->row(2).obj).find("attempt to index a number value"), std::string::npos);
}
