// Inside the simulated sniffer: the testbed with the device's comings and goings (simsniffer.cpp)
// and the usbfs calls of each device node (simusbfs.cpp).
#pragma once

// clang-format off
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
// clang-format on
#include <umockdev.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/simdevice.h"
#include "device/simsniffer.h"

using TsimClock = std::chrono::steady_clock;

// A URB in the device's hands: the caller's copy of the struct and of its buffer.
struct TsimUrb {
  UMockdevIoctlData* urb = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  TsimClock::time_point submitted;
  int filled = 0;

  usbdevfs_urb& fields() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
  void release();
};

// One open file of a device node.
struct TsimClient {
  UMockdevIoctlClient* ref = nullptr;  // held: umockdev does not tell when a client goes
  std::deque<TsimUrb> ready;
  std::vector<TsimUrb> parked;      // stream reads waiting for data
  std::vector<TsimUrb> unanswered;  // control requests met by silence, until cancelled
};

// One appearance of the device on the bus, under one device number.
struct TsimNode {
  TsimSniffer::Timpl* owner = nullptr;
  int devnum = 0;
  std::string devnode, syspath;
  UMockdevIoctlBase* handler = nullptr;
  bool present = false;
  bool kernelDriver = false;
  UMockdevIoctlClient* claimedBy = nullptr;
  std::map<UMockdevIoctlClient*, TsimClient> clients;
};

class TsimSniffer::Timpl {
 public:
  explicit Timpl(const TsimConfig& config);
  ~Timpl();

  void arrive(bool runningFirmware);
  void leave();
  // Opening the node is refused while the access fault is on (a device without its udev rule).
  void setNodeAccess(const std::string& devnode, bool denied) const;
  gboolean onIoctl(TsimNode& node, UMockdevIoctlClient* client);

  mutable std::mutex lock;  // device and node state; never held across testbed calls
  TsimConfig config;
  TsimDevice device;
  UMockdevTestbed* testbed = nullptr;
  std::string root;                              // the testbed's directory
  std::vector<std::unique_ptr<TsimNode>> nodes;  // every node ever attached; the last may be present
  TsimNode* current = nullptr;
  int nextDevnum = 2;
  unsigned arrivals = 0;
  TsimClock::time_point silentUntil{};

  // Bus events after a CPU release run on their own thread at their time.
  struct Tevent {
    TsimClock::time_point when;
    bool arrive;
    bool runningFirmware;
  };
  void schedule(Tevent event);
  void busThread();
  std::mutex testbedLock;  // serialises testbed changes
  std::condition_variable wake;
  std::deque<Tevent> events;
  bool stopping = false;
  std::thread bus;

 private:
  void submit(TsimNode& node, TsimClient& client, UMockdevIoctlClient* ioctl);
  void reap(TsimNode& node, TsimClient& client, UMockdevIoctlClient* ioctl);
  void discard(TsimClient& client, UMockdevIoctlClient* ioctl);
  void controlUrb(TsimNode& node, TsimClient& client, TsimUrb urb);
  void pump(TsimNode& node, TsimClock::time_point now);
  void takeBusEvent(TsimClock::time_point now);
  void setConfiguration(TsimNode& node, int value);
};
