#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "decode/ovgroup.h"
#include "files/ovrowutils.h"

namespace {

template <typename T>
std::shared_ptr<T> make(int level, uint64_t time) {
  auto obj = std::make_shared<T>();
  obj->level = level;
  obj->time = time;
  return obj;
}

template <typename T>
std::shared_ptr<T> read(const std::string& line) {
  auto obj = rowutils::objFromString(line);
  auto typed = std::dynamic_pointer_cast<T>(obj);
  EXPECT_TRUE(typed) << line;
  return typed;
}

}  // namespace

TEST(ObjText, WidestValuesAndMalformedLines) {
  // The goldens hold every kind of line; these are the widest values.
  auto sof = make<Tsof>(1, 5000000000ull);  // above 2^32
  sof->pid = 5;
  sof->frame = 2047;
  sof->crc5 = 0x1f;
  sof->crcOK = false;
  sof->idle = 4294967295u;
  EXPECT_EQ(rowutils::objToString(sof), "  SOF           1;S:5;TI:5000000000;FR:2047;5F:1f;TL:4294967295\n");

  // Levels no tree can have would make the writer indent by gigabytes.
  for (const char* line :
       {"TRANSAX 2147483647;T:IN", "TOKEN   IN    -2147483648;K:9", "SOF -1;S:5", "SOF 64;S:5"})
    EXPECT_THROW(rowutils::objFromString(line), rowutils::TlevelError) << line;
  EXPECT_EQ(rowutils::objFromString("SOF 63;S:5")->level, 63);

  // Lines holding no object.
  for (const char* line :
       {"", "-anything;K:9", "SOF     0", "a;b", "TRANSAX 1;X:2", ";;;", "x;;", "RESET 0;y:Reset"})
    EXPECT_FALSE(rowutils::objFromString(line)) << line;

  // Fields before a malformed piece are still read.
  auto tok = read<Ttoken>("    TOKEN   IN    2;K:9;TI:100;AD:5;EP:1;5P:1f;TL:3;junk");
  EXPECT_EQ(rowutils::objToString(tok), "    TOKEN   IN    2;K:9;TI:100;AD:5;EP:1;5P:1f;TL:3\n");
  EXPECT_FALSE(tok->valid);

  auto empty = read<Tdata>("DATA    DATA1 2;D:11;TI:480300;DA:;6P:0000;TL:9");
  EXPECT_TRUE(empty->data.empty());
  EXPECT_TRUE(empty->valid);
  EXPECT_FALSE(read<Tdata>("DATA 0;D:3;DA;TL:1")->valid);  // no ":" at all
  EXPECT_FALSE(read<Tsof>("SOF 0;S:5;5F:03")->crcOK);
  EXPECT_TRUE(read<Tsof>("SOF 0;S:5;5P:03;ZZ:1")->crcOK);  // a later unknown key leaves the verdict
  EXPECT_FALSE(read<Tdata>("DATA 0;D:3;6F:03")->crcOK);
  EXPECT_EQ(read<Ttransax>("TRANSAX 1;T:BULK;X:2")->trxType, TtrxType::Undefined);

  // Numbers that do not fit their field are errors, not wrapped values.
  using rowutils::objFromString;
  for (const char* line : {"TOKEN 0;K:9;AD:x", "DATA 0;D:3;DA:12,zz"})
    EXPECT_THROW(objFromString(line), std::invalid_argument) << line;
  for (const char* line : {"TOKEN 0;K:9;AD:2147483648", "SOF 0;S:5;TI:18446744073709551616",
                           "SOF 0;S:5;TI:-1", "SOF 0;S:5;TL:4294967296"})
    EXPECT_THROW(objFromString(line), std::out_of_range) << line;
}
