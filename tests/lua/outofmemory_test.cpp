// Running out of memory in a decode costs that row's text, never the program
// or the decoder.
#include <gtest/gtest.h>

#include "allocfail.h"
#include "files/ovlua.h"
#include "synthrows.h"

TEST(ScriptsOutOfMemory, RowSaysSoAndTheNextDecodeWorks) {
  Ttraffic traffic;
  traffic.host.controlRead(3, 64, getDescriptor(1, 0, 0, 255), {18, 1, 0x10, 1, 0, 0, 0, 64});
  const std::shared_ptr<Tcapture> rows = traffic.rows();
  size_t transfer = 0;
  while (transfer < rows->rowCount() && rows->rowSummary(transfer).objType != otTransfer) ++transfer;
  ASSERT_LT(transfer, rows->rowCount());

  const std::filesystem::path scripts = std::filesystem::path(TWR_SOURCE_DIR) / "scripts";
  TluaState lua(rows, scripts);
  ASSERT_EQ(lua.loadError(), "");
  // The transfer's first decode allocates its data stage under the scripts' call.
  failAllocations(allocFailThisThread, 0);
  const std::string starved = lua.decodeRow(static_cast<long long>(transfer));
  failAllocations(allocFailNone, 0);
  EXPECT_EQ(starved, "out of memory");
  // Lua's own error handling is intact: no exception went through its frames.
  EXPECT_NE(luaL_dostring(lua.state(), "error('raised')"), LUA_OK);

  const std::string text = lua.decodeRow(static_cast<long long>(transfer));
  EXPECT_TRUE(has(text, "bMaxPacketSize0#64 bytes")) << text;
  EXPECT_EQ(text, TluaState(rows, scripts).decodeRow(static_cast<long long>(transfer)));
}
