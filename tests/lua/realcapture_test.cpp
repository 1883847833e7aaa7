// A real enumeration recorded by another analyzer: a composite audio and MIDI
// device with interface associations, its class descriptors decoded too.
#include <gtest/gtest.h>

#include "decodecheck.h"
#include "files/ovcapturefile.h"

TEST(ScriptsOnRealCapture, CompositeAudioMidiDevice) {
  Tinput input(TWR_TEST_DATA_DIR "/packetry/ksolti-core-enum/capture.pcap");
  auto capture = std::make_shared<Tcapture>();
  TcaptureFile file;
  ASSERT_TRUE(file.load(input, *capture)) << file.lastError();
  const Tdecoded d = decodeAll(capture);

  const std::string device = d.find(otTransfer, "idVendor#");
  for (const char* fact : {"idVendor#0x16C0", "idProduct#0x0444", "bDeviceClass#0xEF (Miscellaneous)",
                           "iManufacturer#1 (\"Ksoloti\")", "iProduct#5 (\"Ksoloti Core\")",
                           "iSerialNumber#3 (\"002900193133510B33383438\")"})
    EXPECT_NE(device.find(fact), std::string::npos) << fact << " in " << device;

  const std::string config = d.find(otTransfer, "wLength#426");
  for (const char* fact :
       {"wTotalLength#426 bytes", "bNumInterfaces#5", "bmAttributes#0xC0",
        "bFirstInterface#0\nbInterfaceCount#4\nbFunctionClass#0x01 (Audio)",
        "bInterfaceSubClass#0x03 (MIDI Streaming)", "bEndpointAddress#0x83 (endpoint 3 IN)",
        "iInterface#4 (\"Ksoloti Bulk Interface\")",
        "Function#1 of the configuration: interfaces 0 to 3, Audio", "TAudio 2.0 Clock source descriptor",
        "wTerminalType#0x0302 (Headphones)", "bmaControls(master)#0xF (mute, volume)",
        "TMIDI OUT jack descriptor", "Source#jack 1 pin 1"})
    EXPECT_NE(config.find(fact), std::string::npos) << fact;
}
