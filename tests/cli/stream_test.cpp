// twr stream: an endpoint's data from any capture file, as text, hex or bare bytes.
#include <gtest/gtest.h>

#include "runtwr.h"
#include "scenariofile.h"
#include "synth/classdevices.h"

TEST(CliStream, TextHexAndBareBytesOfAnyInput) {
  const std::string raw = scenarioFile("cp210x", 0.3);
  const std::string ovd = tempPath("cp210x.ovd");
  ASSERT_EQ(runTwr("decode '" + raw + "' -o '" + ovd + "'").status, 0);
  const std::string& text = synth::serialChipText();
  for (const std::string& file : {raw, ovd}) {
    Trun r = runTwr("stream '" + file + "' --address 5 --endpoint 0x81 --raw");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, text);
    r = runTwr("stream '" + file + "' --address 5 --endpoint 0x81");
    const std::string head = r.out.substr(0, r.out.find('\n'));
    EXPECT_EQ(head.rfind("# device 5 endpoint 0x81 (IN 1): " + std::to_string(text.size()) + " bytes in ", 0),
              0u)
        << head;
    EXPECT_NE(head.find(" packets; left out: 1 repeated by a retry, 0 unacknowledged"), std::string::npos)
        << head;
    // One run: the device printed a packet each frame.
    EXPECT_NE(r.out.find(" s  \"Wrenfield boot loader 2.1 (115200 8N1)\\r\\nflash: "), std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("\\x"), std::string::npos);
  }
  Trun r = runTwr("stream '" + raw + "' --address 5 --endpoint 1 --hex");
  EXPECT_NE(r.out.find("1 packet; left out: 0 repeated by a retry, 1 unacknowledged\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" s  68 65 6C 70 0D\n"), std::string::npos) << r.out;

  const std::pair<std::string, int> misuse[] = {
      {"stream '" + raw + "' --endpoint 0x81", 2},
      {"stream '" + raw + "' --address 5 --endpoint 0x91", 2},
      {"stream '" + raw + "' --address 128 --endpoint 1", 2},
      {"stream '" + raw + "' --address 5 --endpoint 1 --raw --hex", 2},
      {"stream /nonexistent/x.raw --address 5 --endpoint 1", 1},
  };
  for (const auto& [args, status] : misuse) {
    r = runTwr(args);
    EXPECT_EQ(r.status, status) << args;
    EXPECT_EQ(r.out, "") << args;
    EXPECT_NE(r.err, "") << args;
  }
}
