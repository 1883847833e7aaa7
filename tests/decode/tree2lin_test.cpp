#include <gtest/gtest.h>

#include "decode/ovgroup.h"
#include "decode/ovtree2lin.h"

namespace {

template <class T>
TobjPtr packet(uint32_t pid) {
  auto p = std::make_shared<T>();
  p->pid = pid;
  return p;
}

std::shared_ptr<Ttransax> transax(std::initializer_list<TobjPtr> children) {
  auto trx = std::make_shared<Ttransax>(TtrxType::IN);
  trx->children = children;
  return trx;
}

struct Texpect {
  TobjPtr obj;
  int parent;
  uint8_t flags;
  int ordinal;
};

void expectRows(const std::vector<TlinRow>& rows, const std::vector<Texpect>& want) {
  ASSERT_EQ(rows.size(), want.size());
  for (std::size_t r = 0; r < want.size(); ++r) {
    EXPECT_EQ(rows[r].obj, want[r].obj) << r;
    EXPECT_EQ(rows[r].flags, want[r].flags) << r;
    EXPECT_EQ(rows[r].obj->row, static_cast<int>(r)) << r;
    EXPECT_EQ(rows[r].obj->parentRow, want[r].parent) << r;
    EXPECT_EQ(rows[r].obj->ordinal, want[r].ordinal) << r;
  }
}

}  // namespace

TEST(Tree2lin, RowsParentsFlagsAndOrdinals) {
  auto reset = std::make_shared<Treset>();
  auto group = std::make_shared<TsofGroup>();
  auto sof1 = packet<Tsof>(5), sof2 = packet<Tsof>(5);
  group->children = {sof1, sof2};
  auto in = packet<Ttoken>(9), data = packet<Tdata>(11), ack = packet<Thandshake>(2);
  auto trx = transax({in, data, ack});
  const TobjVec roots{reset, group, trx};

  std::vector<TlinRow> rows{TlinRow{std::make_shared<Treset>(), 0x80}};  // replaced
  Ttree2lin(roots, rows);
  expectRows(rows, {{reset, -1, 0, 1},
                    {group, -1, 0x05, 1},
                    {sof1, 1, 0x05, 1},
                    {sof2, 1, 0x05, 2},
                    {trx, -1, 0, 1},
                    {in, 4, 0x04, 3},
                    {data, 4, 0x04, 4},
                    {ack, 4, 0x04, 5}});

  // Flattening again, in another order, rewrites the bookkeeping.
  Ttree2lin(TobjVec{trx, reset}, rows);
  expectRows(rows,
             {{trx, -1, 0, 1}, {in, 0, 0x04, 1}, {data, 0, 0x04, 2}, {ack, 0, 0x04, 3}, {reset, -1, 0, 1}});
}

TEST(Tree2lin, TransfersPlainGroupersAndEmptyTrees) {
  auto s = packet<Ttoken>(13), d = packet<Tdata>(3);
  auto i = packet<Ttoken>(9), n = packet<Thandshake>(10);
  auto setup = transax({s, d}), poll = transax({i, n});
  auto transfer = std::make_shared<Ttransfer>();
  transfer->children = {setup, poll};
  auto second = std::make_shared<Ttransfer>();
  auto lone = packet<Tsof>(5);

  // A plain grouper gets no row and hides its children; the rows after it
  // number on as if it were not there.
  auto plain = std::make_shared<Tgrouper>();
  auto hidden = packet<Thandshake>(2);
  plain->children = {hidden};

  std::vector<TlinRow> rows;
  Ttree2lin(TobjVec{transfer, plain, second, lone}, rows);
  expectRows(rows, {{transfer, -1, 0, 1},
                    {setup, 0, 0, 1},
                    {s, 1, 0x04, 1},
                    {d, 1, 0x04, 2},
                    {poll, 0, 0, 2},
                    {i, 4, 0x04, 3},
                    {n, 4, 0x04, 4},
                    {second, -1, 0, 2},
                    {lone, -1, 0x05, 5}});
  EXPECT_EQ(plain->row, 7);
  EXPECT_EQ(plain->parentRow, -1);
  EXPECT_EQ(hidden->ordinal, 6666);

  // Rows share the objects: held rows keep them alive after the tree is gone.
  std::weak_ptr<Tbase> watch = s;
  s.reset();
  setup.reset();
  transfer.reset();
  EXPECT_FALSE(watch.expired());
  Ttree2lin(TobjVec{}, rows);
  EXPECT_TRUE(rows.empty());
  EXPECT_TRUE(watch.expired());
}
