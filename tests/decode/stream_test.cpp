// An endpoint's data as its receiver took it: acknowledged payloads in order,
// a retry's repeat and unacknowledged data left out, runs split by pauses.
#include <gtest/gtest.h>

#include <string>

#include "capture.h"
#include "decode/ovbin2obj.h"
#include "decode/ovexthrd.h"
#include "decode/ovobj2tree.h"
#include "decode/ovstream.h"
#include "decode/ovstreamtext.h"
#include "synth/classdevices.h"
#include "synth/generator.h"

namespace {

std::string joined(const TendpointStream& stream) {
  std::string out;
  for (const TstreamRun& r : stream.runs) out.append(r.bytes.begin(), r.bytes.end());
  return out;
}

}  // namespace

TEST(EndpointStream, TheBytesTheReceiverTook) {
  // A CP2102 prints the text once with a retry; the host types "help\r", NAKed once first.
  std::vector<uint8_t> raw = synth::rawCapture("cp210x", 0.3, 3);
  TexThread decoder;
  ASSERT_TRUE(decoder.startDecode(&raw));
  const TendpointStream in = endpointStream(*decoder.capture, 5, 0x81);
  EXPECT_EQ(joined(in), synth::serialChipText());
  EXPECT_EQ(in.retries, 1u);
  EXPECT_EQ(in.unacknowledged, 0u);
  const TendpointStream out = endpointStream(*decoder.capture, 5, 0x01);
  EXPECT_EQ(joined(out), "help\r");
  EXPECT_EQ(out.packets, 1u);
  EXPECT_EQ(out.unacknowledged, 1u);
  EXPECT_TRUE(endpointStream(*decoder.capture, 5, 0x82).runs.empty());
  EXPECT_TRUE(endpointStream(*decoder.capture, 6, 0x81).runs.empty());
}

TEST(EndpointStream, ToggleResetsAndRuns) {
  synth::TbusWriter bus;
  synth::TusbHost host(bus, 1, testcap::steadyTiming());
  host.in(4, 1, synth::pidData0, {'a', 'b'});
  // SET_CONFIGURATION starts the toggle again: the same DATA0 after it is new data.
  host.controlWrite(4, 64, synth::setConfiguration(1), {});
  host.in(4, 1, synth::pidData0, {'a', 'b'});
  host.in(4, 1, synth::pidData1, {'c'});
  host.in(4, 1, synth::pidData1, {'c'});  // a retry
  bus.idle(3 * 12000);
  host.in(4, 1, synth::pidData0, {'d'});
  bus.reset(120000);  // so does a bus reset
  bus.idle(100);
  host.in(4, 1, synth::pidData0, {'d'});
  bus.finish();
  TobjVec objs, roots;
  Tbin2obj().buildObjVec(bus.takeEvents(), objs);
  Tobj2tree(objs, roots);
  Tcapture capture;
  for (TobjPtr& root : roots) capture.appendRoot(std::move(root));
  const TendpointStream s = endpointStream(capture, 4, 0x81);
  ASSERT_EQ(s.runs.size(), 3u);
  EXPECT_EQ(std::string(s.runs[0].bytes.begin(), s.runs[0].bytes.end()), "ababc");
  EXPECT_EQ(std::string(s.runs[1].bytes.begin(), s.runs[1].bytes.end()), "d");
  EXPECT_EQ(std::string(s.runs[2].bytes.begin(), s.runs[2].bytes.end()), "d");
  EXPECT_GE(s.runs[1].time - s.runs[0].time, 3u * 12000);
  EXPECT_EQ(s.retries, 1u);
}

TEST(EndpointStream, TextLinesAndHexForms) {
  TendpointStream stream;
  stream.runs.push_back({12 * 1500, {'o', 'k', '\r', '\n', 'x', '"', 0x01}});
  stream.runs.push_back({12 * 2000000, std::vector<uint8_t>(17, 0xAB)});
  stream.packets = 3;
  stream.retries = 1;
  EXPECT_EQ(streamHeadLine(5, 0x81, stream),
            "# device 5 endpoint 0x81 (IN 1): 24 bytes in 3 packets; left out: 1 repeated by a retry, 0 "
            "unacknowledged");
  const auto firstRun = [&](TstreamForm form) {
    const std::string lines = streamRunLines(stream, form);
    return lines.substr(0, lines.find("2.000000 s"));
  };
  EXPECT_EQ(firstRun(TstreamForm::text), R"(0.001500 s  "ok\r\nx\"\x01")"
                                         "\n");
  EXPECT_EQ(firstRun(TstreamForm::textLines), R"(0.001500 s  "ok\r\n")"
                                              "\n"
                                              R"(            "x\"\x01")"
                                              "\n");
  const std::string hex = streamRunLines(stream, TstreamForm::hex);
  EXPECT_EQ(hex.substr(hex.find("2.000000 s")),
            "2.000000 s  AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB AB\n            AB\n");
  EXPECT_EQ(streamBytes(stream).size(), 24u);
  EXPECT_EQ(streamBytes(stream)[6], 0x01);

  // What a window shows of a long stream: the runs of its first bytes, the last one cut,
  // the counts the whole stream's.
  const TendpointStream head = streamHead(stream, 10);
  ASSERT_EQ(head.runs.size(), 2u);
  EXPECT_EQ(head.runs[1].time, stream.runs[1].time);
  EXPECT_EQ(head.runs[1].bytes.size(), 3u);
  EXPECT_EQ(head.packets, 3u);
  EXPECT_EQ(head.retries, 1u);
  EXPECT_EQ(streamHead(stream, 7).runs.size(), 1u);
  EXPECT_EQ(streamBytes(streamHead(stream, 100)), streamBytes(stream));

  unsigned value = 0;
  EXPECT_TRUE(parseEndpointAddress("0x82", value));
  EXPECT_EQ(value, 0x82u);
  EXPECT_TRUE(parseEndpointAddress("15", value));
  for (const char* wrong : {"0x90", "0x10", "-1", "", " 1", "0x8g"})
    EXPECT_FALSE(parseEndpointAddress(wrong, value)) << wrong;
}
