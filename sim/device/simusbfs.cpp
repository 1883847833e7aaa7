#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "device/simsnifferimpl.h"

namespace {

// Linux usbfs capabilities the device node reports.
constexpr uint32_t capabilities =
    USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
const char kernelDriverName[] = "usbtest";  // what binds to a bare FX2 on a stock kernel
// In real time a stream read returns what has arrived once it has waited this long.
constexpr auto shortPacketWait = std::chrono::milliseconds(10);

void finish(UMockdevIoctlClient* client, int errorNumber) {
  umockdev_ioctl_client_complete(client, errorNumber ? -1 : 0, errorNumber);
}

// The ioctl argument's pointee, len bytes; null when the client memory cannot be read.
UMockdevIoctlData* resolveArg(UMockdevIoctlClient* client, size_t len) {
  return umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, len, nullptr);
}

}  // namespace

void TsimUrb::release() {
  if (buffer) g_object_unref(buffer);
  if (urb) g_object_unref(urb);
  *this = TsimUrb{};
}

gboolean TsimSniffer::Timpl::onIoctl(TsimNode& node, UMockdevIoctlClient* ioctl) {
  std::lock_guard<std::mutex> guard(lock);
  const unsigned long request = umockdev_ioctl_client_get_request(ioctl);
  auto found = node.clients.find(ioctl);
  if (found == node.clients.end()) {
    found = node.clients.emplace(ioctl, TsimClient{}).first;
    found->second.ref = static_cast<UMockdevIoctlClient*>(g_object_ref(ioctl));
  }
  TsimClient& client = found->second;
  if (!node.present) {
    // Like the kernel, hand back what was in flight as "no device" before failing outright.
    const bool reaping = request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY;
    for (auto* list : {&client.parked, &client.unanswered}) {
      for (TsimUrb& urb : *list) {
        urb.fields().status = -ENODEV;
        urb.fields().actual_length = urb.filled;
        client.ready.push_back(urb);
      }
      list->clear();
    }
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

void TsimSniffer::Timpl::setConfiguration(TsimNode& node, int value) {
  const uint8_t before = device.configuration;
  device.configuration = value < 0 ? 0 : uint8_t(value);
  // Choosing a configuration lets the kernel probe its drivers again.
  if (before == 0 && device.configuration != 0) node.kernelDriver = config.kernelDriverBound;
  const std::string syspath = node.syspath;
  const int configuration = device.configuration;
  umockdev_testbed_set_attribute_int(testbed, syspath.c_str(), "bConfigurationValue", configuration);
}

void TsimSniffer::Timpl::submit(TsimNode& node, TsimClient& client, UMockdevIoctlClient* ioctl) {
  TsimUrb urb;
  urb.urb = resolveArg(ioctl, sizeof(usbdevfs_urb));
  if (!urb.urb) return finish(ioctl, EFAULT);
  const usbdevfs_urb& fields = urb.fields();
  if (fields.buffer_length < 0) return urb.release(), finish(ioctl, EINVAL);
  urb.buffer =
      umockdev_ioctl_data_resolve(urb.urb, offsetof(usbdevfs_urb, buffer), fields.buffer_length, nullptr);
  if (!urb.buffer) return urb.release(), finish(ioctl, EFAULT);
  urb.submitted = TsimClock::now();
  urb.fields().actual_length = 0;
  urb.fields().status = 0;

  if (fields.type == USBDEVFS_URB_TYPE_CONTROL && fields.endpoint == 0) {
    if (fields.buffer_length < 8) return urb.release(), finish(ioctl, EINVAL);
    finish(ioctl, 0);
    if (urb.submitted < silentUntil)
      client.unanswered.push_back(urb);
    else
      controlUrb(node, client, urb);
    return;
  }
  if (fields.endpoint != TsimDevice::streamEndpoint || device.configuration == 0)
    return urb.release(), finish(ioctl, ENOENT);
  const bool interruptEndpoint = device.firmwareRunning();
  const bool typeOk = fields.type == USBDEVFS_URB_TYPE_BULK ||
                      (fields.type == USBDEVFS_URB_TYPE_INTERRUPT && interruptEndpoint);
  if (!typeOk) return urb.release(), finish(ioctl, EINVAL);
  // Traffic on an interface claims it implicitly, unless someone else holds it.
  if (node.kernelDriver || (node.claimedBy && node.claimedBy != ioctl))
    return urb.release(), finish(ioctl, EBUSY);
  node.claimedBy = ioctl;
  client.parked.push_back(urb);
  finish(ioctl, 0);
}

void TsimSniffer::Timpl::controlUrb(TsimNode& node, TsimClient& client, TsimUrb urb) {
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
  const auto now = TsimClock::now();
  if (device.control(setup, data, now)) {
    if (setup.in() && !data.empty()) std::memcpy(bytes + 8, data.data(), data.size());
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

void TsimSniffer::Timpl::pump(TsimNode& node, TsimClock::time_point now) {
  for (auto& [ref, client] : node.clients) {
    for (auto it = client.parked.begin(); it != client.parked.end();) {
      usbdevfs_urb& fields = it->fields();
      std::vector<uint8_t> bytes;
      device.stream.read(bytes, size_t(fields.buffer_length - it->filled), now);
      if (!bytes.empty()) std::memcpy(it->buffer->data + it->filled, bytes.data(), bytes.size());
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

void TsimSniffer::Timpl::reap(TsimNode& node, TsimClient& client, UMockdevIoctlClient* ioctl) {
  if (client.ready.empty()) pump(node, TsimClock::now());
  if (client.ready.empty()) return finish(ioctl, EAGAIN);
  TsimUrb urb = client.ready.front();
  client.ready.pop_front();
  // The argument points at the caller's URB pointer, which is made to point at the URB.
  UMockdevIoctlData* target = resolveArg(ioctl, sizeof(void*));
  if (!target) return urb.release(), finish(ioctl, EFAULT);
  umockdev_ioctl_data_set_ptr(target, 0, urb.urb);
  finish(ioctl, 0);
  g_object_unref(target);
  urb.release();
}

void TsimSniffer::Timpl::discard(TsimClient& client, UMockdevIoctlClient* ioctl) {
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(ioctl);
  gulong address = 0;
  std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, size_t(arg->data_len)));

  for (auto* list : {&client.parked, &client.unanswered}) {
    for (auto it = list->begin(); it != list->end(); ++it) {
      if (it->urb->client_addr != address) continue;
      // What arrived before the cancel stays in the buffer, as with a real URB.
      it->fields().status = -ENOENT;
      it->fields().actual_length = it->filled;
      client.ready.push_back(*it);
      list->erase(it);
      return finish(ioctl, 0);
    }
  }
  finish(ioctl, EINVAL);
}
