// USB-serial chips: each synthesized chip opened at 115200 baud, 8N1, then
// printing a known text; and chips whose enumeration the capture lacks,
// named by the vendor requests only they make.
#include <gtest/gtest.h>

#include <string>

#include "synth/classdevices.h"
#include "synthrows.h"

namespace {

using namespace synth;

// The serial text as a decode table shows it.
std::string shown(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
  return out;
}

// The first acknowledged IN payload of endpoint endp that carries serial bytes.
Tbytes firstPayload(const Tcapture& rows, unsigned endp, size_t statusBytes) {
  for (size_t ix = 0; ix < rows.rowCount(); ++ix) {
    const TobjPtr obj = rows.row(ix).obj;
    const auto* trx = dynamic_cast<const Ttransax*>(obj.get());
    if (!trx || trx->trxType != TtrxType::IN || !trx->ackOK() || trx->findTokenPkt()->endp != endp) continue;
    const auto data = trx->findDataPkt();
    if (data && data->data.size() > statusBytes) return data->data;
  }
  return {};
}

}  // namespace

TEST(ScriptsOnSerialChips, LineSettingsAndSerialText) {
  struct Tchip {
    const char* scenario;
    unsigned inEndpoint;
    size_t statusBytes;
  };
  for (const Tchip& chip :
       {Tchip{"ftdi", 1, 2}, Tchip{"cp210x", 1, 0}, Tchip{"ch341", 2, 0}, Tchip{"pl2303", 3, 0}}) {
    SCOPED_TRACE(chip.scenario);
    const Tdecoded d = decodeAll(scenarioRows(chip.scenario, 0.3));
    // The rate and frame the scenario set, each in a request of the chip's own.
    EXPECT_NE(d.find(otTransfer, {"Serial chip: ", " baud", "115200"}), "");
    EXPECT_NE(d.find(otTransfer, {"Serial chip: ", "8N1"}), "");
    // The first packet's serial bytes are the start of the text, without FTDI's status bytes.
    const Tbytes payload = firstPayload(*d.rows, chip.inEndpoint, chip.statusBytes);
    ASSERT_FALSE(payload.empty());
    const std::string text = serialChipText().substr(0, payload.size() - chip.statusBytes);
    const std::string firstLine = text.substr(0, text.find('\n') + 1);
    const std::string t =
        d.find(otTransax, "Serial data: " + std::to_string(text.size()) + " bytes from the device");
    EXPECT_NE(t.find("Offset#Text\n0#" + shown(firstLine)), std::string::npos) << t;
    EXPECT_EQ(t.find("Modem status#0x31 (CTS, DSR)") != std::string::npos, chip.statusBytes > 0) << t;
    // What the host typed, in both the NAKed and the taken copy.
    EXPECT_NE(d.find(otTransax, {"OUT transaction to 5.", "serial data \"help\\r\""}), "");
  }
}

TEST(ScriptsOnSerialChips, NamedByTheirRequestsWithoutDescriptors) {
  Ttraffic traffic;
  // FTDI at 4: SET_DATA 8N1 names it; 9600 baud is 312.5 times 3 MHz.
  traffic.host.controlWrite(4, 8, {0x40, 0x04, 0x08, 0x00, 0, 0, 0, 0}, {});
  traffic.host.controlWrite(4, 8, {0x40, 0x03, 0x38, 0x41, 0, 0, 0, 0}, {});
  traffic.host.in(4, 1, pidData0, {0x31, 0x60, 'h', 'i'});
  // CP2102 at 3: IFC_ENABLE, then 3686400 / 32.
  traffic.host.controlWrite(3, 64, {0x41, 0x00, 1, 0, 0, 0, 0, 0}, {});
  traffic.host.controlWrite(3, 64, {0x41, 0x01, 32, 0, 0, 0, 0, 0}, {});
  // CH340 at 2: its version read, then 9600 baud: prescaler 2 with the clock doubled, divisor 156.
  traffic.host.controlRead(2, 8, {0xC0, 0x5F, 0, 0, 0, 0, 2, 0}, {0x30, 0});
  traffic.host.controlWrite(2, 8, {0x40, 0x9A, 0x12, 0x13, 0x86, 256 - 156, 0, 0}, {});
  // PL2303 at 1: its set-up read, the CDC line coding, a status report (DCD, DSR, CTS).
  traffic.host.controlRead(1, 64, {0xC0, 0x01, 0x84, 0x84, 0, 0, 1, 0}, {2});
  traffic.host.controlWrite(1, 64, {0x21, 0x20, 0, 0, 0, 0, 7, 0}, {0x80, 0x25, 0, 0, 0, 0, 8});
  traffic.host.in(1, 1, pidData0, {0xA1, 0x20, 0, 0, 0, 0, 2, 0, 0x83, 0});
  // Another vendor's request 0x03 names no chip.
  traffic.host.controlWrite(8, 64, {0x40, 0x03, 0x38, 0x41, 0, 0, 0, 0}, {});
  const Tdecoded d = decodeAll(traffic.rows());

  EXPECT_NE(d.find(otTransfer, {"FTDI SET_BAUD_RATE (divisor 312.5: 9600 baud)",
                                "Serial chip: FTDI, inferred from its traffic"}),
            "");
  EXPECT_NE(d.find(otTransax, {"IN transaction to 4.1: ACK (serial data \"hi\")", "Modem status#0x31"}), "");
  EXPECT_NE(d.find(otTransfer, "CP210x SET_BAUDDIV (divisor 32: 115200 baud)"), "");
  EXPECT_NE(d.find(otTransfer,
                   "CH341 WRITE_REG (baud rate, prescaler 0x86, divisor 156: 9615 baud (9600 +0.16 %))"),
            "");
  EXPECT_NE(d.find(otTransfer, {"PL2303 SET_LINE_CODING", "dwDTERate#9600 baud"}), "");
  EXPECT_NE(d.find(otTransax, "PL2303 status report: 0x83 (DCD, DSR, CTS)"), "");
  EXPECT_NE(d.find(otTransfer, "Control transfer to device 8, endpoint 0: Vendor request 0x03"), "");
}
