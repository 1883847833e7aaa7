// What a capture's store gives back is what went in: every event, every
// packet in bus order and every row with its object, whatever the capture's
// shape.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

#include "decode/ovarena.h"
#include "decode/ovbin2obj.h"
#include "decode/ovgroup.h"
#include "decode/ovobj2tree.h"
#include "decode/ovraw2bin.h"
#include "decode/ovstore.h"
#include "decode/ovtree2lin.h"
#include "files/ovdataio.h"
#include "files/ovrowutils.h"
#include "support/testfiles.h"
#include "synth/generator.h"

namespace {

// A row as its readers see it: the object's text (children included) and bookkeeping.
std::string rowText(const TlinRow& row) {
  const Tbase& obj = *row.obj;
  return rowutils::objToString(row.obj) + " row " + std::to_string(obj.row) + " parent " +
         std::to_string(obj.parentRow) + " ordinal " + std::to_string(obj.ordinal) + " flags " +
         std::to_string(row.flags) + " valid " + std::to_string(obj.valid) + " kind " +
         std::to_string(obj.srcKind) + " errors " + std::to_string(obj.flags);
}

std::string eventText(const TeventBin& ev) {
  return std::to_string(ev.kind) + "/" + std::to_string(ev.flags) + "/" + std::to_string(ev.time) + "/" +
         std::string(ev.bytes.begin(), ev.bytes.end());
}

// What each stage made of a capture, built by the stages' whole-capture forms.
struct Tdecoded {
  std::vector<TeventBin> events;
  TobjVec objects;
  TobjVec roots;
  std::vector<TlinRow> rows;
};

// Stores a decoded capture: its events, then its rows but `count` of them from
// row `from`, a packet's row naming its place in bus order.
void storeDecoded(const Tdecoded& capture, Tstore& store, size_t from = 0, size_t count = 0) {
  for (const TeventBin& ev : capture.events)
    ASSERT_TRUE(store.appendEvent(ev, Tbin2obj::objectOf(ev).get())) << store.error();
  std::unordered_map<const Tbase*, uint64_t> busIndex;
  for (size_t i = 0; i < capture.objects.size(); ++i) busIndex[capture.objects[i].get()] = i;
  for (size_t r = 0; r < capture.rows.size(); ++r) {
    if (r >= from && r < from + count) continue;
    const TlinRow& row = capture.rows[r];
    // Rows after those left out are numbered as they are when appended.
    const int parentRow = row.obj->parentRow;
    if (count && r >= from + count && parentRow >= static_cast<int>(from)) row.obj->parentRow -= count;
    const auto at = busIndex.find(row.obj.get());
    const bool stored = at == busIndex.end() ? store.appendRow(row) : store.appendRow(row, at->second);
    row.obj->parentRow = parentRow;
    ASSERT_TRUE(stored);
  }
}

void expectSame(const Tdecoded& capture, const Tstore& store) {
  ASSERT_EQ(store.eventCount(), capture.events.size());
  for (size_t e = 0; e < store.eventCount(); ++e)
    ASSERT_EQ(eventText(store.event(e)), eventText(capture.events[e])) << "event " << e;
  ASSERT_EQ(store.objectCount(), capture.objects.size());
  for (size_t o = 0; o < store.objectCount(); ++o)
    ASSERT_EQ(rowutils::objToString(store.object(o)), rowutils::objToString(capture.objects[o]))
        << "object " << o;
  ASSERT_EQ(store.rowCount(), capture.rows.size());
  size_t roots = 0;
  for (size_t r = 0; r < store.rowCount(); ++r) {
    if (capture.rows[r].obj->parentRow >= 0) continue;
    ASSERT_LT(roots, store.rootCount());
    ASSERT_EQ(store.rootRow(roots++), r);
  }
  ASSERT_EQ(roots, store.rootCount());
  for (size_t r = 0; r < store.rowCount(); ++r) {
    const Tbase& obj = *capture.rows[r].obj;
    ASSERT_EQ(rowText(store.row(r)), rowText(capture.rows[r])) << "row " << r;
    const bool packet = obj.objType >= otSof && obj.objType <= otHandshake;
    ASSERT_EQ(store.rowTime(r), obj.time) << "row " << r;
    ASSERT_EQ(store.rowErrors(r), obj.flags) << "row " << r;
    ASSERT_EQ(store.rowPid(r), packet ? static_cast<const TpacketBase&>(obj).pid & 0xFF : 0) << "row " << r;
  }
  // A scan makes the same rows, forward and backward; a grouper's rows, asked
  // for next, are the objects it holds; a root's rows made in place read as
  // its object does.
  TrowScan scan(store);
  for (size_t r = 0; r < store.rowCount(); ++r) {
    const TobjPtr obj = scan.row(r);
    ASSERT_EQ(rowText(TlinRow{obj, store.rowFlags(r)}), rowText(capture.rows[r])) << "scanned row " << r;
    if (const auto* grouper = dynamic_cast<const Tgrouper*>(obj.get())) {
      for (const TobjPtr& child : grouper->children)
        ASSERT_EQ(scan.row(static_cast<size_t>(child->row)), child) << "scanned row " << r;
    }
  }
  TrowScan back(store);
  for (size_t r = store.rowCount(); r-- > 0;)
    ASSERT_EQ(rowText(TlinRow{back.row(r), store.rowFlags(r)}), rowText(capture.rows[r])) << "row " << r;
  for (size_t root = 0; root < store.rootCount(); ++root) {
    std::string lines;
    scan.eachInSubtree(store.rootRow(root), [&](const Tbase& obj, size_t children) {
      rowutils::appendLineText(obj, children, lines);
    });
    ASSERT_EQ(lines, rowutils::objToString(capture.rows[store.rootRow(root)].obj)) << "root " << root;
  }
}

// A control transfer of many transactions, so that the last of them sit
// further from their parent's row than a row record can say.
TobjPtr longTransfer() {
  auto transfer = arena::make<Ttransfer>();
  for (int t = 0; t < 3000; ++t) {
    auto trx = arena::make<Ttransax>(t % 2 ? TtrxType::IN : TtrxType::OUT);
    trx->level = 1;
    for (int p = 0; p < 3; ++p) {
      auto token = arena::make<Ttoken>();
      token->pid = pidIn;
      token->level = 2;
      token->addr = static_cast<uint32_t>(t);
      token->crcOK = p != 1;
      trx->children.push_back(token);
    }
    transfer->children.push_back(trx);
  }
  return transfer;
}

// Two long transfers around a packet, and events of odd shapes.
Tdecoded oddShapes() {
  Tdecoded capture;
  auto data = arena::make<Tdata>();
  data->data.assign(100000, 0x5A);
  data->valid = false;
  capture.roots = {longTransfer(), data, longTransfer()};
  Ttree2lin(capture.roots, capture.rows);
  // A packet longer than a record can say, times that go back and leap forward,
  // and an event that makes no object.
  const uint64_t times[] = {5, 3, 3, uint64_t{1} << 40, 7, uint64_t{1} << 40};
  for (size_t i = 0; i < 300; ++i) {
    TeventBin ev;
    ev.kind = srcKindPacket;
    ev.time = times[i % 6] + i;
    ev.flags = flagSe1;
    ev.bytes = {i % 3 ? uint8_t{0xD2} : uint8_t{0xB4}, 1, 2, 3, 4};
    if (i == 100) ev.bytes.resize(70000, 0xAB);
    capture.events.push_back(ev);
    if (TobjPtr obj = Tbin2obj::objectOf(ev)) capture.objects.push_back(obj);
  }
  return capture;
}

}  // namespace

TEST(Store, GivesBackEveryEventPacketAndRow) {
  const std::string example = readFile(TWR_SOURCE_DIR "/data/example.raw");
  std::vector<uint8_t> resets = {'O', 'R', 'L', 'A', 'V', 'E', 'X', '.'};
  resets.resize(5000, 0x42);
  const std::pair<const char*, std::vector<uint8_t>> captures[] = {
      {"example", std::vector<uint8_t>(example.begin(), example.end())},
      {"storage", synth::rawCapture("storage", 0.2, 3)},
      {"resets", resets},
  };
  for (const auto& [name, raw] : captures) {
    SCOPED_TRACE(name);
    Tdecoded capture;
    Traw stream;
    stream.useGrowingData(raw.data(), raw.size(), true);
    Traw2bin toEvents;
    for (uint64_t at = 0; toEvents.getNextBinEvent(stream, capture.events, at);) {
    }
    Tbin2obj().buildObjVec(capture.events, capture.objects);
    Tobj2tree(capture.objects, capture.roots);
    Ttree2lin(capture.roots, capture.rows);
    ASSERT_FALSE(capture.rows.empty());
    Tstore store;
    storeDecoded(capture, store);
    expectSame(capture, store);
  }
  {
    SCOPED_TRACE("sample file");
    Tdecoded capture;
    Tcapture loaded;
    ASSERT_GT(TdataIO().loadLinearFile(TWR_SOURCE_DIR "/default.ovd", loaded), 0u);
    for (size_t r = 0; r < loaded.rowCount(); ++r) capture.rows.push_back(loaded.row(r));
    Tstore store;
    storeDecoded(capture, store);
    expectSame(capture, store);
  }
  {
    SCOPED_TRACE("odd shapes");
    const Tdecoded capture = oddShapes();
    Tstore store;
    storeDecoded(capture, store);
    expectSame(capture, store);
    // The first transfer's last 2000 transactions arrive after the rest, as
    // while a capture is decoded.
    Tstore late;
    storeDecoded(capture, late, 4001, 8000);
    const std::vector<TlinRow> lateRows(capture.rows.begin() + 4001, capture.rows.begin() + 12001);
    ASSERT_TRUE(late.insertRows(4001, lateRows, std::vector<int64_t>(lateRows.size(), -1)));
    expectSame(capture, late);
  }
}
