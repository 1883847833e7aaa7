// "Device descriptors": what the user says about a device whose enumeration
// the capture lacks, given for its address: its class or its ids, or the text
// "lsusb -v" printed for it. It shows what was said so far, and Forget drops
// what was said for the address.
#pragma once

class wxWindow;
class TsessionDevices;

// address: preset in the dialog, -1 for none. True when the hints changed.
bool askDeviceDescriptors(wxWindow* parent, TsessionDevices& devices, int address = -1);
