#include "device/simsniffer.h"

// clang-format off
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
// clang-format on
#include <umockdev.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "device/simdevice.h"

namespace {

using Clock = std::chrono::steady_clock;

// Linux usbfs capabilities the device node reports.
constexpr uint32_t capabilities =
    USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
const char kernelDriverName[] = "usbtest";  // what binds to a bare FX2 on a stock kernel
// In real time a stream read returns what has arrived once it has waited this long.
constexpr auto shortPacketWait = std::chrono::milliseconds(10);

struct Turb {
  UMockdevIoctlData* urb = nullptr;
  UMockdevIoctlData* buffer = nullptr;
  Clock::time_point submitted;
  int filled = 0;

  usbdevfs_urb& fields() const { return *reinterpret_cast<usbdevfs_urb*>(urb->data); }
};

struct Tclient {
  UMockdevIoctlClient* ref = nullptr;  // held: umockdev does not tell when a client goes
  std::deque<Turb> ready;
  std::vector<Turb> parked;
};

struct Tnode;

}  // namespace

class TsimSniffer::Timpl {
 public:
  explicit Timpl(const TsimConfig& config);
  ~Timpl();

  void arrive(bool runningFirmware);
  void leave();
  gboolean onIoctl(Tnode& node, UMockdevIoctlClient* client);

  mutable std::mutex lock;  // device and node state; never held across testbed calls
  TsimConfig config;
  TsimDevice device;
  UMockdevTestbed* testbed = nullptr;
  std::vector<std::unique_ptr<Tnode>> nodes;  // every node ever attached; the last may be present
  Tnode* current = nullptr;
  int nextDevnum = 2;
  unsigned arrivals = 0;

  // Bus events after a CPU release run on their own thread at their time.
  struct Tevent {
    Clock::time_point when;
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
  void submit(Tnode& node, Tclient& client, UMockdevIoctlClient* ioctl);
  void reap(Tnode& node, Tclient& client, UMockdevIoctlClient* ioctl);
  void discard(Tclient& client, UMockdevIoctlClient* ioctl);
  void controlUrb(Tnode& node, Tclient& client, Turb urb);
  void pump(Tnode& node, Clock::time_point now);
  void takeBusEvent(Clock::time_point now);
  void setConfiguration(Tnode& node, int value);
};

namespace {

struct Tnode {
  TsimSniffer::Timpl* owner = nullptr;
  int devnum = 0;
  std::string devnode, syspath;
  UMockdevIoctlBase* handler = nullptr;
  bool present = false;
  bool kernelDriver = false;
  UMockdevIoctlClient* claimedBy = nullptr;
  std::map<UMockdevIoctlClient*, Tclient> clients;
};

gboolean handleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data) {
  Tnode& node = *static_cast<Tnode*>(data);
  return node.owner->onIoctl(node, client);
}

void finish(UMockdevIoctlClient* client, int errorNumber) {
  umockdev_ioctl_client_complete(client, errorNumber ? -1 : 0, errorNumber);
}

// The ioctl argument's pointee, len bytes; null when the client memory cannot be read.
UMockdevIoctlData* resolveArg(UMockdevIoctlClient* client, size_t len) {
  return umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, len, nullptr);
}

std::string hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) out += {digits[b >> 4], digits[b & 15]};
  return out;
}

void releaseUrb(Turb& urb) {
  if (urb.buffer) g_object_unref(urb.buffer);
  if (urb.urb) g_object_unref(urb.urb);
  urb = Turb{};
}

}  // namespace

TsimSniffer::Timpl::Timpl(const TsimConfig& config) : config(config), device(this->config) {
  testbed = umockdev_testbed_new();
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
      for (Turb& urb : client.ready) releaseUrb(urb);
      for (Turb& urb : client.parked) releaseUrb(urb);
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
  auto node = std::make_unique<Tnode>();
  std::vector<uint8_t> descriptors;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (current) return;
    device.attached(runningFirmware);
    descriptors = device.descriptors();
    node->owner = this;
    node->devnum = nextDevnum++;
    node->kernelDriver = config.kernelDriverBound;
  }
  char number[4];
  snprintf(number, sizeof number, "%03d", node->devnum & 0x7F);
  node->devnode = std::string("/dev/bus/usb/001/") + number;
  node->syspath = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
  node->handler = umockdev_ioctl_base_new();
  g_signal_connect(node->handler, "handle-ioctl", G_CALLBACK(handleIoctl), node.get());
  umockdev_testbed_attach_ioctl(testbed, node->devnode.c_str(), node->handler, nullptr);
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
    if (Clock::now() < next.when) {
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

void TsimSniffer::Timpl::takeBusEvent(Clock::time_point now) {
  const auto event = device.takeBusEvent();
  if (event == TsimDevice::BusEvent::none) return;
  const auto leaving = now + std::chrono::milliseconds(config.leaveDelayMs);
  schedule({leaving, false, false});
  if (event == TsimDevice::BusEvent::renumerate)
    schedule({leaving + std::chrono::milliseconds(config.returnDelayMs), true, true});
}

gboolean TsimSniffer::Timpl::onIoctl(Tnode& node, UMockdevIoctlClient* ioctl) {
  std::lock_guard<std::mutex> guard(lock);
  const unsigned long request = umockdev_ioctl_client_get_request(ioctl);
  auto found = node.clients.find(ioctl);
  if (found == node.clients.end()) {
    found = node.clients.emplace(ioctl, Tclient{}).first;
    found->second.ref = static_cast<UMockdevIoctlClient*>(g_object_ref(ioctl));
  }
  Tclient& client = found->second;
  if (!node.present) {
    // Like the kernel, hand back what was in flight as "no device" before failing outright.
    const bool reaping = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
    for (Turb& urb : client.parked) {
      urb.fields().status = -ENODEV;
      urb.fields().actual_length = urb.filled;
      client.ready.push_back(urb);
    }
    client.parked.clear();
    if (reaping && !client.ready.empty())
      reap(node, client, ioctl);
    else
      finish(ioctl, ENODEV);
    return TRUE;
  }

  switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
      UMockdevIoctlData* arg = resolveArg(ioctl, sizeof(uint32_t));
      if (!arg) return finish(ioctl, EFAULT), TRUE;
      std::memcpy(arg->data, &capabilities, sizeof capabilities);
      g_object_unref(arg);
      finish(ioctl, 0);
      return TRUE;
    }
    case USBDEVFS_SETCONFIGURATION: {
      UMockdevIoctlData* arg = resolveArg(ioctl, sizeof(int));
      if (!arg) return finish(ioctl, EFAULT), TRUE;
      int value;
      std::memcpy(&value, arg->data, sizeof value);
      g_object_unref(arg);
      // The kernel refuses while any interface has a driver, usbfs included.
      if (node.kernelDriver || node.claimedBy) return finish(ioctl, EBUSY), TRUE;
      if (value > 1) return finish(ioctl, EINVAL), TRUE;
      setConfiguration(node, value);
      finish(ioctl, 0);
      return TRUE;
    }
    case USBDEVFS_GETDRIVER: {
      UMockdevIoctlData* arg = resolveArg(ioctl, sizeof(usbdevfs_getdriver));
      if (!arg) return finish(ioctl, EFAULT), TRUE;
      auto& query = *reinterpret_cast<usbdevfs_getdriver*>(arg->data);
      int result = ENODATA;
      const char* name = node.claimedBy ? "usbfs" : node.kernelDriver ? kernelDriverName : nullptr;
      if (query.interface != 0 || device.configuration == 0) {
        result = EINVAL;
      } else if (name) {
        std::snprintf(query.driver, sizeof query.driver, "%s", name);
        result = 0;
      }
      g_object_unref(arg);
      finish(ioctl, result);
      return TRUE;
    }
    case USBDEVFS_IOCTL: {
      UMockdevIoctlData* arg = resolveArg(ioctl, sizeof(usbdevfs_ioctl));
      if (!arg) return finish(ioctl, EFAULT), TRUE;
      const auto command = *reinterpret_cast<usbdevfs_ioctl*>(arg->data);
      g_object_unref(arg);
      int result = ENOTTY;
      if (command.ifno != 0 || device.configuration == 0) {
        result = EINVAL;
      } else if (command.ioctl_code == int(USBDEVFS_DISCONNECT)) {
        result = node.kernelDriver ? 0 : node.claimedBy ? EINVAL : ENODATA;
        node.kernelDriver = false;
      } else if (command.ioctl_code == int(USBDEVFS_CONNECT)) {
        if (!node.claimedBy) node.kernelDriver = config.kernelDriverBound;
        result = 0;
      }
      finish(ioctl, result);
      return TRUE;
    }
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE: {
      UMockdevIoctlData* arg = resolveArg(ioctl, sizeof(unsigned));
      if (!arg) return finish(ioctl, EFAULT), TRUE;
      unsigned number;
      std::memcpy(&number, arg->data, sizeof number);
      g_object_unref(arg);
      int result = 0;
      if (number != 0 || device.configuration == 0) {
        result = request == USBDEVFS_CLAIMINTERFACE ? ENOENT : EINVAL;
      } else if (request == USBDEVFS_CLAIMINTERFACE) {
        // A claim by a client that has since closed its file is gone, as the kernel drops it.
        if (node.claimedBy && !umockdev_ioctl_client_get_connected(node.claimedBy)) node.claimedBy = nullptr;
        if (node.kernelDriver || (node.claimedBy && node.claimedBy != ioctl))
          result = EBUSY;
        else
          node.claimedBy = ioctl;
      } else {
        if (node.claimedBy != ioctl)
          result = EINVAL;
        else
          node.claimedBy = nullptr;
      }
      finish(ioctl, result);
      return TRUE;
    }
    case USBDEVFS_RESET:
    case USBDEVFS_CLEAR_HALT:
      finish(ioctl, 0);
      return TRUE;
    case USBDEVFS_SUBMITURB:
      submit(node, client, ioctl);
      return TRUE;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
      reap(node, client, ioctl);
      return TRUE;
    case USBDEVFS_DISCARDURB:
      discard(client, ioctl);
      return TRUE;
    default:
      finish(ioctl, ENOTTY);
      return TRUE;
  }
}

void TsimSniffer::Timpl::setConfiguration(Tnode& node, int value) {
  const uint8_t before = device.configuration;
  device.configuration = value < 0 ? 0 : uint8_t(value);
  // Choosing a configuration lets the kernel probe its drivers again.
  if (before == 0 && device.configuration != 0) node.kernelDriver = config.kernelDriverBound;
  const std::string syspath = node.syspath;
  const int configuration = device.configuration;
  umockdev_testbed_set_attribute_int(testbed, syspath.c_str(), "bConfigurationValue", configuration);
}

void TsimSniffer::Timpl::submit(Tnode& node, Tclient& client, UMockdevIoctlClient* ioctl) {
  Turb urb;
  urb.urb = resolveArg(ioctl, sizeof(usbdevfs_urb));
  if (!urb.urb) return finish(ioctl, EFAULT);
  const usbdevfs_urb& fields = urb.fields();
  if (fields.buffer_length < 0) return releaseUrb(urb), finish(ioctl, EINVAL);
  urb.buffer =
      umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer), fields.buffer_length, nullptr);
  if (!urb.buffer) return releaseUrb(urb), finish(ioctl, EFAULT);
  urb.submitted = Clock::now();
  urb.fields().actual_length = 0;
  urb.fields().status = 0;

  if (fields.type == USBDEVFS_URB_TYPE_CONTROL && fields.endpoint == 0) {
    if (fields.buffer_length < 8) return releaseUrb(urb), finish(ioctl, EINVAL);
    finish(ioctl, 0);
    controlUrb(node, client, urb);
    return;
  }
  if (fields.endpoint != TsimDevice::streamEndpoint || device.configuration == 0)
    return releaseUrb(urb), finish(ioctl, ENOENT);
  const bool interruptEndpoint = device.firmwareRunning();
  const bool typeOk = fields.type == USBDEVFS_URB_TYPE_BULK ||
                      (fields.type == USBDEVFS_URB_TYPE_INTERRUPT && interruptEndpoint);
  if (!typeOk) return releaseUrb(urb), finish(ioctl, EINVAL);
  // Traffic on an interface claims it implicitly, unless someone else holds it.
  if (node.kernelDriver || (node.claimedBy && node.claimedBy != ioctl))
    return releaseUrb(urb), finish(ioctl, EBUSY);
  node.claimedBy = ioctl;
  client.parked.push_back(urb);
  finish(ioctl, 0);
}

void TsimSniffer::Timpl::controlUrb(Tnode& node, Tclient& client, Turb urb) {
  uint8_t* bytes = urb.buffer->data;
  TsimSetup setup;
  setup.requestType = bytes[0];
  setup.request = bytes[1];
  setup.value = uint16_t(bytes[2] | bytes[3] << 8);
  setup.index = uint16_t(bytes[4] | bytes[5] << 8);
  setup.length = uint16_t(bytes[6] | bytes[7] << 8);
  usbdevfs_urb& fields = urb.fields();
  const int room = fields.buffer_length - 8;
  if (setup.length > room) {
    fields.status = -EOVERFLOW;
    client.ready.push_back(urb);
    return;
  }
  std::vector<uint8_t> data;
  if (!setup.in()) data.assign(bytes + 8, bytes + 8 + setup.length);
  const auto now = Clock::now();
  if (device.control(setup, data, now)) {
    if (setup.in()) std::memcpy(bytes + 8, data.data(), data.size());
    fields.actual_length = setup.in() ? int(data.size()) : setup.length;
  } else {
    fields.status = -EPIPE;
  }
  // A request that changes the configuration also changes what sysfs reports.
  if ((setup.requestType & 0x60) == 0 && setup.request == 9 && fields.status == 0)
    setConfiguration(node, device.configuration);
  client.ready.push_back(urb);
  takeBusEvent(now);
}

void TsimSniffer::Timpl::pump(Tnode& node, Clock::time_point now) {
  for (auto& [ref, client] : node.clients) {
    for (auto it = client.parked.begin(); it != client.parked.end();) {
      usbdevfs_urb& fields = it->fields();
      std::vector<uint8_t> bytes;
      device.stream.read(bytes, size_t(fields.buffer_length - it->filled), now);
      std::memcpy(it->buffer->data + it->filled, bytes.data(), bytes.size());
      it->filled += int(bytes.size());
      const bool full = it->filled == fields.buffer_length;
      const bool waited = it->filled > 0 && now - it->submitted >= shortPacketWait;
      if (full || waited || (config.pace == TsimPace::fast && it->filled > 0)) {
        fields.actual_length = it->filled;
        client.ready.push_back(*it);
        it = client.parked.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void TsimSniffer::Timpl::reap(Tnode& node, Tclient& client, UMockdevIoctlClient* ioctl) {
  if (client.ready.empty()) pump(node, Clock::now());
  if (client.ready.empty()) return finish(ioctl, EAGAIN);
  Turb urb = client.ready.front();
  client.ready.pop_front();
  // The argument points at the caller's URB pointer, which is made to point at the URB.
  UMockdevIoctlData* target = resolveArg(ioctl, sizeof(void*));
  if (!target) return releaseUrb(urb), finish(ioctl, EFAULT);
  umockdev_ioctl_data_set_ptr(target, 0, urb.urb);
  finish(ioctl, 0);
  g_object_unref(target);
  releaseUrb(urb);
}

void TsimSniffer::Timpl::discard(Tclient& client, UMockdevIoctlClient* ioctl) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(ioctl);
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, size_t(arg->data_len)));

  for (auto it = client.parked.begin(); it != client.parked.end(); ++it) {
    if (it->urb->client_addr != address) continue;
    // What arrived before the cancel stays in the buffer, as with a real URB.
    it->fields().status = -ENOENT;
    it->fields().actual_length = it->filled;
    client.ready.push_back(*it);
    client.parked.erase(it);
    return finish(ioctl, 0);
  }
  finish(ioctl, EINVAL);
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
}

void TsimSniffer::stallStream(unsigned ms) {
  std::lock_guard<std::mutex> guard(impl->lock);
  impl->device.stream.stallUntil(Clock::now() + std::chrono::milliseconds(ms));
}

std::string TsimSniffer::rootDir() const {
  gchar* dir = umockdev_testbed_get_root_dir(impl->testbed);
  std::string out = dir;
  g_free(dir);
  return out;
}
