#include <sys/stat.h>

#include <cstdio>

#include "device/simsnifferimpl.h"

namespace {

gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  TsimNode& node = *static_cast<TsimNode*>(data);
  return node.owner->onIoctl(node, client);
}

std::string hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) out += {digits[b >> 4], digits[b & 15]};
  return out;
}

}  // namespace

TsimSniffer::Timpl::Timpl(const TsimConfig& config) : config(config), device(this->config) {
  testbed = umockdev_testbed_new();
  gchar* dir = umockdev_testbed_get_root_dir(testbed);
  root = dir;
  g_free(dir);
  bus = std::thread([this] { busThread(); });
}

TsimSniffer::Timpl::~Timpl() {
  {
    std::lock_guard<std::mutex> guard(lock);
    stopping = true;
  }
  wake.notify_all();
  bus.join();
  // No remove uevent: libusb is gone by now and the testbed takes its files with it.
  for (auto& node : nodes) {
    for (auto& [ref, client] : node->clients) {
      for (TsimUrb& urb : client.ready) urb.release();
      for (TsimUrb& urb : client.parked) urb.release();
      for (TsimUrb& urb : client.unanswered) urb.release();
    }
  }
  g_object_unref(testbed);
  // Handlers and clients go after the testbed, whose worker may still hold them.
  for (auto& node : nodes) {
    for (auto& [ref, client] : node->clients) g_object_unref(client.ref);
    g_object_unref(node->handler);
  }
}

void TsimSniffer::Timpl::arrive(bool runningFirmware) {
  std::lock_guard<std::mutex> testbedGuard(testbedLock);
  auto node = std::make_unique<TsimNode>();
  std::vector<uint8_t> descriptors;
  bool denied = false;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (current) return;
    device.attached(runningFirmware);
    descriptors = device.descriptors();
    node->owner = this;
    node->devnum = nextDevnum++;
    node->kernelDriver = config.kernelDriverBound;
    denied = config.has(TsimFault::accessDenied);
  }
  char number[4];
  snprintf(number, sizeof number, "%03d", node->devnum & 0x7F);
  node->devnode = std::string("/dev/bus/usb/001/") + number;
  node->syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
  node->handler = umockdev_ioctl_base_new();
  g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(handleIoctl), node.get());
  umockdev_testbed_attach_ioctl(testbed, node->devnode.c_str(), node->handler, nullptr);
  const std::string devnode = node->devnode;
  const std::string record = "P: " + node->syspath.substr(4) + "\nN: bus/usb/001/" + number +
                             "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DEVNAME=" + node->devnode +
                             "\nE: BUSNUM=001\nE: DEVNUM=" + number +
                             "\nA: busnum=1\nA: devnum=" + std::to_string(node->devnum) +
                             "\nA: speed=12\nA: bConfigurationValue=1\nA: idVendor=04b4\nA: idProduct=8613\n"
                             "H: descriptors=" +
                             hex(descriptors) + "\n";
  {
    // Present before the add uevent: the host may open the node as soon as it is announced.
    std::lock_guard<std::mutex> guard(lock);
    node->present = true;
    current = node.get();
    nodes.push_back(std::move(node));
    ++arrivals;
  }
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) {
    g_printerr("twr-sim: cannot add the device: %s\n", error->message);
    g_error_free(error);
  }
  if (denied) setNodeAccess(devnode, true);
}

void TsimSniffer::Timpl::setNodeAccess(const std::string& devnode, bool denied) const {
  chmod((root + devnode).c_str(), denied ? 0 : 0644);
}

void TsimSniffer::Timpl::leave() {
  std::lock_guard<std::mutex> testbedGuard(testbedLock);
  std::string syspath;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!current) return;
    current->present = false;
    syspath = current->syspath;
    current = nullptr;
    device.stream.stop();
  }
  // The remove uevent reads the device's sysfs files, so it goes first.
  umockdev_testbed_uevent(testbed, syspath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed, syspath.c_str());
}

void TsimSniffer::Timpl::schedule(Tevent event) {
  events.push_back(event);
  wake.notify_all();
}

void TsimSniffer::Timpl::busThread() {
  std::unique_lock<std::mutex> guard(lock);
  while (!stopping) {
    if (events.empty()) {
      wake.wait(guard);
      continue;
    }
    const Tevent next = events.front();
    if (TsimClock::now() < next.when) {
      wake.wait_until(guard, next.when);
      continue;
    }
    events.pop_front();
    guard.unlock();
    if (next.arrive)
      arrive(next.runningFirmware);
    else
      leave();
    guard.lock();
  }
}

void TsimSniffer::Timpl::takeBusEvent(TsimClock::time_point now) {
  const auto event = device.takeBusEvent();
  if (event == TsimDevice::BusEvent::none) return;
  const auto leaving = now + std::chrono::milliseconds(config.leaveDelayMs);
  schedule({leaving, false, false});
  if (event == TsimDevice::BusEvent::renumerate)
    schedule({leaving + std::chrono::milliseconds(config.returnDelayMs), true, true});
}

// ---- public interface

TsimSniffer::TsimSniffer(const TsimConfig& config) : impl(std::make_unique<Timpl>(config)) {
  impl->arrive(false);
}

TsimSniffer::~TsimSniffer() = default;

TsimStatus TsimSniffer::status() const {
  std::lock_guard<std::mutex> guard(impl->lock);
  const TsimDevice& device = impl->device;
  TsimStatus s;
  s.onBus = impl->current != nullptr;
  s.devnum = s.onBus ? impl->current->devnum : 0;
  s.arrivals = impl->arrivals;
  s.firmwareRunning = device.firmwareRunning();
  s.cpuHeld = device.cpuHeld;
  s.kernelDriverBound = s.onBus && impl->current->kernelDriver;
  s.interfaceClaimed = s.onBus && impl->current->claimedBy != nullptr;
  s.configuration = device.configuration;
  s.fpgaErases = device.fpga.erases;
  s.fpgaRefused = device.fpga.refused;
  s.fpgaRowsWritten = device.fpga.rowsWritten;
  s.fpgaRowsMatching = device.fpga.rowsMatching;
  s.fpgaRowsCrc = device.fpga.rowsCrc;
  s.fpgaHoldsEmbeddedImage = device.fpga.holdsEmbeddedImage;
  s.fpgaRunning = device.fpga.running();
  s.fpgaFeatureBits = device.fpga.featureBits;
  s.eeprom = device.eeprom;
  s.leds = device.leds;
  s.targetConnected = device.stream.targetConnected();
  s.streaming = device.stream.active();
  s.streamBytes = device.stream.delivered;
  return s;
}

void TsimSniffer::unplug() {
  {
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->events.clear();
  }
  impl->leave();
}

void TsimSniffer::plug() {
  {
    std::lock_guard<std::mutex> guard(impl->lock);
    impl->device.powerUp();
  }
  impl->arrive(false);
}

void TsimSniffer::setFault(TsimFault fault, bool on) {
  std::lock_guard<std::mutex> guard(impl->lock);
  if (on)
    impl->config.faults.insert(fault);
  else
    impl->config.faults.erase(fault);
  // The device on the bus changes too, as after a udev rule change and a trigger.
  if (fault == TsimFault::accessDenied && impl->current) impl->setNodeAccess(impl->current->devnode, on);
}

void TsimSniffer::stopAnswering(unsigned ms) {
  std::lock_guard<std::mutex> guard(impl->lock);
  impl->silentUntil = TsimClock::now() + std::chrono::milliseconds(ms);
}

void TsimSniffer::stallStream(unsigned ms) {
  std::lock_guard<std::mutex> guard(impl->lock);
  impl->device.stream.stallUntil(TsimClock::now() + std::chrono::milliseconds(ms));
}

std::string TsimSniffer::rootDir() const { return impl->root; }
