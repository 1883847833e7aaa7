#include "interop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "decode/ovbin2obj.h"
#include "decode/ovutils.h"
#include "files/ovrowutils.h"
#include "synth/usbpackets.h"

std::vector<TeventBin> eventsOf(const Tcapture& capture) {
  std::vector<TeventBin> events(capture.eventCount());
  for (size_t ix = 0; ix < events.size(); ++ix) {
    const TeventView ev = capture.event(ix);
    events[ix].kind = ev.kind;
    events[ix].flags = ev.flags;
    events[ix].time = ev.time;
    events[ix].bytes.assign(ev.bytes, ev.bytes + ev.size);
  }
  return events;
}

TobjVec packetsOf(const Tcapture& capture) {
  TobjVec out;
  if (capture.eventCount() != 0) {
    Tbin2obj().buildObjVec(eventsOf(capture), out);
    out.erase(std::remove_if(out.begin(), out.end(), [](auto& obj) { return obj->objType == otReset; }),
              out.end());
    return out;
  }
  for (size_t ix = 0; ix < capture.rowCount(); ++ix) {
    const TlinRow row = capture.row(ix);
    if (row.obj && row.obj->objType >= otSof && row.obj->objType <= otHandshake) out.push_back(row.obj);
  }
  std::stable_sort(out.begin(), out.end(), [](auto& a, auto& b) { return a->time < b->time; });
  return out;
}

std::vector<std::string> packetLines(const Tcapture& capture, unsigned extras) {
  std::vector<std::string> lines;
  for (const TobjPtr& packet : packetsOf(capture)) {
    std::string text;
    rowutils::appendObjText(*packet, text);
    const size_t kind = text.find_first_not_of(' ');
    const size_t fields = text.find(';');
    std::string line =
        text.substr(kind, text.find(' ', kind) - kind) + text.substr(fields, text.size() - 1 - fields);
    if (!(extras & withIdle)) line.erase(line.rfind(";TL:"));
    if (extras & withFlags) line += ";flags:" + std::to_string(packet->flags);
    lines.push_back(line);
  }
  return lines;
}

Tcapture load(const std::string& path) {
  Tinput input(path);
  TcaptureFile file;
  Tcapture capture;
  EXPECT_TRUE(file.load(input, capture)) << file.lastError();
  return capture;
}

std::vector<std::string> tsharkFields(const std::string& path, const std::string& fields,
                                      const std::string& filter) {
  std::string command = "tshark -n -r '" + path + "' -T fields -E occurrence=f";
  if (!filter.empty()) command += " -Y '" + filter + "'";
  for (const std::string& field : utils::split(fields, ' ')) command += " -e " + field;
  std::string out;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  char buf[4096];
  for (size_t n; pipe && (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  EXPECT_TRUE(pipe && pclose(pipe) == 0) << command;
  return utils::split(out, '\n');
}

namespace {

TeventBin packetEvent(uint64_t time, std::vector<uint8_t> bytes) {
  TeventBin ev;
  ev.kind = srcKindPacket;
  ev.time = time;
  const uint8_t pid = bytes.at(0);
  if (((~pid >> 4) ^ pid) & 0x0F) ev.flags |= flagPidCheck;
  ev.bytes = std::move(bytes);
  ev.bytes.insert(ev.bytes.end(), {5, 0, 0, 0});
  return ev;
}

}  // namespace

Tcapture faultCapture() {
  const uint64_t hour = 3600ull * 1000000 * ticksPerMicrosecond;
  using synth::dataPacket, synth::pidData0, synth::pidData1;
  const std::vector<uint8_t> setup = dataPacket(pidData0, {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00});
  std::vector<uint8_t> badCrc16 = dataPacket(pidData1, {0x12, 0x01, 0x10, 0x01, 0, 0, 0, 8});
  badCrc16.back() ^= 0x01;
  Tcapture capture;
  std::vector<TeventBin> events = {
      packetEvent(7, {0xA5, 0xDE, 0xE8}),               // SOF
      packetEvent(12001, {0xA5, 0xDE, 0xE9}),           // SOF, bad CRC5
      packetEvent(12100, {0x2D, 0x00, 0x10}),           // SETUP 0.0
      packetEvent(12200, setup),                        //
      packetEvent(12300, {0xD2}),                       // ACK
      packetEvent(hour + 1, {0x69, 0x00, 0x10}),        // IN 0.0
      packetEvent(hour + 2, badCrc16),                  // DATA1, bad CRC16
      packetEvent(hour + 302, {0x12}),                  // ACK with a bad PID check
      packetEvent(5 * hour + 2, {0xE1, 0x05, 0xD0}),    // OUT 5.0
      packetEvent(5 * hour + 103, {0xE1, 0x05, 0xD1}),  // OUT 5.0, bad CRC5
      packetEvent(5 * hour + 200, dataPacket(pidData1, {})),
      packetEvent(30 * hour + 299, {0xD2}),
  };
  for (TeventBin& event : events) capture.appendEvent(std::move(event));
  TcaptureFile::decodeEvents(capture);
  return capture;
}
