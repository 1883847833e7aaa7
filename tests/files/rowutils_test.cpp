#include <gtest/gtest.h>

#include <memory>
#include <sstream>
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

std::shared_ptr<Ttoken> token(int level, uint32_t pid, uint64_t time, uint32_t addr, uint32_t endp,
                              uint32_t crc5, uint32_t idle) {
  auto t = make<Ttoken>(level, time);
  t->pid = pid;
  t->addr = addr;
  t->endp = endp;
  t->crc5 = crc5;
  t->idle = idle;
  return t;
}

std::shared_ptr<Tdata> data(int level, uint32_t pid, uint64_t time, std::vector<uint8_t> bytes,
                            uint32_t crc16, uint32_t idle) {
  auto d = make<Tdata>(level, time);
  d->pid = pid;
  d->data = std::move(bytes);
  d->crc16 = crc16;
  d->idle = idle;
  return d;
}

std::shared_ptr<Thandshake> handshake(int level, uint32_t pid, uint64_t time, uint32_t idle) {
  auto h = make<Thandshake>(level, time);
  h->pid = pid;
  h->idle = idle;
  return h;
}

template <typename T>
std::shared_ptr<T> read(const std::string& line) {
  auto obj = rowutils::objFromString(line);
  auto typed = std::dynamic_pointer_cast<T>(obj);
  EXPECT_TRUE(typed) << line;
  return typed;
}

// Runs f and returns the what() of the exception of type E it throws.
template <typename E, typename F>
std::string thrownText(F f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

}  // namespace

TEST(ObjText, PacketAndResetLines) {
  auto reset = make<Treset>(0, 1200);
  reset->resetLen = 240000;
  reset->idle = 15;
  EXPECT_EQ(rowutils::objToString(reset), "RESET         0;Y:Reset;TI:1200;RL:240000;TL:15\n");
  reset->level = 3;  // resets are never indented
  EXPECT_EQ(rowutils::objToString(reset), "RESET         3;Y:Reset;TI:1200;RL:240000;TL:15\n");

  auto sof = make<Tsof>(1, 5000000000ull);  // above 2^32
  sof->pid = 5;
  sof->frame = 2047;
  sof->crc5 = 0x1f;
  sof->crcOK = false;
  sof->idle = 4294967295u;
  EXPECT_EQ(rowutils::objToString(sof), "  SOF           1;S:5;TI:5000000000;FR:2047;5F:1f;TL:4294967295\n");

  // Lines only a sample file brings: PIDs outside a class's names give a
  // 4-character marker, then the level.
  const std::pair<std::shared_ptr<Tbase>, const char*> lines[] = {
      {token(0, 0, 7, 127, 15, 0, 1), "TOKEN   ????0;K:0;TI:7;AD:127;EP:15;5P:00;TL:1\n"},
      {token(0, 5, 7, 1, 2, 0xa, 1), "TOKEN   SOF   0;K:5;TI:7;AD:1;EP:2;5P:0a;TL:1\n"},
      {data(0, 2, 1, {}, 1, 0), "DATA    ????0;D:2;TI:1;DA:;6P:0001;TL:0\n"},
      {handshake(-1, 9, 10, 4),
       "HANDSH  ????"
       "-1;H:9;TI:10;TL:4\n"},  // split: no trigraph
  };
  for (const auto& [obj, line] : lines) EXPECT_EQ(rowutils::objToString(obj), line);
}

TEST(ObjText, ReadsEveryFieldBack) {
  auto sof = make<Tsof>(1, 4294967296ull + 5);
  sof->pid = 5;
  sof->frame = 77;
  sof->crc5 = 0x1e;
  sof->crcOK = false;
  sof->idle = 3000000000u;
  auto reset = make<Treset>(0, 2147483648ull);
  reset->resetLen = 4000000000u;
  reset->idle = 9;
  auto trx = std::make_shared<Ttransax>(TtrxType::OUT);
  trx->children = {token(1, 1, 11, 100, 3, 0x15, 7), data(1, 11, 12, {0, 1, 0xfe, 0xff}, 0xabcd, 8),
                   handshake(1, 10, 13, 14)};
  auto group = std::make_shared<TsofGroup>();
  group->children = {sof};
  auto transfer = std::make_shared<Ttransfer>();
  transfer->children = {trx};

  // Writing what was read gives the same line again, so every field survives.
  for (const auto& obj : std::vector<std::shared_ptr<Tbase>>{reset, group, transfer}) {
    std::istringstream lines(rowutils::objToString(obj));
    for (std::string line; std::getline(lines, line);) {
      auto back = rowutils::objFromString(line);
      ASSERT_TRUE(back) << line;
      EXPECT_TRUE(back->valid) << line;
      // A grouper reads back without children, so its count differs.
      auto withoutCount = [](const std::string& text) { return text.substr(0, text.find(";X:")); };
      EXPECT_EQ(withoutCount(rowutils::objToString(back)), withoutCount(line + "\n"));
    }
  }

  auto t = read<Ttransax>("  TRANSAX 1;T:SETUP;X:3");
  EXPECT_EQ(t->trxType, TtrxType::SETUP);
  EXPECT_EQ(t->level, 1);
  EXPECT_TRUE(t->children.empty());  // the reader never creates children
  EXPECT_EQ(read<Ttransax>("TRANSAX 0;T:IN")->trxType, TtrxType::IN);
  EXPECT_EQ(read<Ttransax>("TRANSAX 0;T:OUT")->trxType, TtrxType::OUT);
  auto g = read<TsofGroup>("SOF_GR  0;G:SOFgroup;X:junk");  // X is for human readers only
  EXPECT_TRUE(g->valid);
  EXPECT_EQ(g->time, ~uint64_t{0});
  EXPECT_EQ(read<Ttransfer>("TRANSFR 4;C:CONTROL;X:2")->level, 4);

  // Numbers follow the standard conversion: white space, sign, 0x prefix, trailing junk.
  // "0x7" reads as 0: the numbers are decimal.
  EXPECT_EQ(
      rowutils::objToString(read<Ttoken>("TOKEN   ????0;K: +0;TI:100abc;AD:-1;EP:0x7;5P:0x1F;TL:12 ms")),
      "TOKEN   ????0;K:0;TI:100;AD:-1;EP:0;5P:1f;TL:12\n");
  EXPECT_EQ(read<Tdata>("DATA 0;D:3;DA:1ff,0x20,,7")->data, (std::vector<uint8_t>{0xff, 0x20, 0x07}));
  EXPECT_EQ(read<Tsof>("SOF 0;S:5;TI:18446744073709551615")->time, ~uint64_t{0});
}

TEST(ObjText, MalformedLines) {
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

  // Head names are not compared with the tag; the pid comes from the tag field.
  auto odd = read<Ttoken>("DATA    DATA0 1;Kx:13;ZZ:5;6P:1;TI:4");
  EXPECT_EQ(odd->pid, 13u);
  EXPECT_EQ(odd->time, 4u);
  EXPECT_TRUE(odd->valid);  // unknown keys are ignored

  auto empty = read<Tdata>("DATA    DATA1 2;D:11;TI:480300;DA:;6P:0000;TL:9");
  EXPECT_TRUE(empty->data.empty());
  EXPECT_TRUE(empty->valid);
  EXPECT_FALSE(read<Tdata>("DATA 0;D:3;DA;TL:1")->valid);  // no ":" at all
  EXPECT_FALSE(read<Tdata>("DATA 0;D:3;TI:1:2")->valid);   // three pieces
  EXPECT_FALSE(read<Thandshake>("HANDSH 0;H;TI:1")->valid);
  EXPECT_TRUE(read<Thandshake>("HANDSH 0;H::2::;TI:1")->valid);  // empty pieces are dropped
  EXPECT_FALSE(read<Tsof>("SOF 0;S:5;5F:03")->crcOK);
  EXPECT_TRUE(read<Tsof>("SOF 0;S:5;5P:03;ZZ:1")->crcOK);  // a later unknown key leaves the verdict
  EXPECT_FALSE(read<Tdata>("DATA 0;D:3;6F:03")->crcOK);

  // The reset's tag field is not read, its later fields are.
  auto reset = read<Treset>("   RESET 7;Yes;TI:5;RL:6;TL:7");
  EXPECT_TRUE(reset->valid);
  EXPECT_EQ(reset->level, 7);
  EXPECT_EQ(reset->resetLen, 6u);
  EXPECT_FALSE(read<Treset>("RESET 0;Y:Reset;RL")->valid);

  auto bulk = read<Ttransax>("TRANSAX 1;T:BULK;X:2");
  EXPECT_EQ(bulk->trxType, TtrxType::Undefined);
  EXPECT_TRUE(bulk->valid);
  EXPECT_FALSE(read<Ttransax>("TRANSAX 1;T;X:2")->valid);
  EXPECT_FALSE(read<Ttransax>("TRANSAX 1;TT:IN")->valid);

  // Number errors leave the reader with the text "stoi".
  using rowutils::objFromString;
  for (const char* line : {"TOKEN 0;K:9;AD:x", "TOKEN;K:9", "DATA 0;D:3;DA:12,zz", "SOF 0;S:5;TI:-x"})
    EXPECT_EQ(thrownText<std::invalid_argument>([&] { objFromString(line); }), "stoi") << line;
  for (const char* line :
       {"TOKEN 0;K:9;AD:2147483648", "TOKEN 99999999999;K:9", "SOF 0;S:5;TI:18446744073709551616",
        "SOF 0;S:5;TI:-1", "SOF 0;S:5;TL:4294967296", "SOF 0;S:5;5P:100000000"})
    EXPECT_EQ(thrownText<std::out_of_range>([&] { objFromString(line); }), "stoi") << line;
  EXPECT_NO_THROW(objFromString("TOKEN 0;K:;TI:"));             // empty numbers are not read
  EXPECT_EQ(read<Tsof>("SOF 0;S:5;AD:x")->time, ~uint64_t{0});  // unknown keys are never parsed
  EXPECT_EQ(read<Tsof>("SOF 0;S:-2147483648")->pid, 0x80000000u);
}
