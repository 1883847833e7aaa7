#include "ovlibtext.h"

#include <cstring>

#include "ovsniffctx.h"
#include "twrcore.h"

namespace {

std::string localStringBuffer;

std::string versionText() { return std::string("libtwrcore DLL/SO,") + __DATE__ + "," + __TIME__; }

static_assert(TWR_STATUS_READY == TloThread::statusReady &&
              TWR_STATUS_NOT_FOUND == TloThread::statusNotFound &&
              TWR_STATUS_INIT_FAILED == TloThread::statusInitFailed &&
              TWR_STATUS_NO_PERMISSION == TloThread::statusNoPermission &&
              TWR_STATUS_NO_ROOM == TloThread::statusNoRoom);

const char* noPermissionText() {
  static const std::string text =
      std::string("no permission to open the sniffer: install the udev rule ") + TloThread::accessRule;
  return text.c_str();
}

}  // namespace

namespace libtext {

const char* toShared(std::string&& text) {
  localStringBuffer = std::move(text);
  return localStringBuffer.c_str();
}

uint32_t copyOut(const std::string& text, char* buf, uint32_t size, uint32_t zeros) {
  const uint32_t needed = static_cast<uint32_t>(text.size()) + zeros;
  if (buf && size >= needed) {
    std::memcpy(buf, text.data(), text.size());
    std::memset(buf + text.size(), 0, zeros);
  }
  return needed;
}

}  // namespace libtext

extern "C" {

uint32_t version(char* buf, uint32_t size) {
  return libtext::guarded<uint32_t>(0, [&] { return libtext::copyOut(versionText(), buf, size, 2); });
}

const char* versionX(void) {
  return libtext::guarded<const char*>(nullptr, [] { return libtext::toShared(versionText()); });
}

const char* statusText(int status) {
  switch (status) {
    case TWR_STATUS_READY:
      return "sniffer ready";
    case TWR_STATUS_NOT_FOUND:
      return "sniffer not found";
    case TWR_STATUS_INIT_FAILED:
      return "sniffer found but it failed to start";
    case TWR_STATUS_NO_PERMISSION:
      return libtext::guarded<const char*>("no permission to open the sniffer", noPermissionText);
    case TWR_STATUS_NO_ROOM:
      return "no room left for the capture: it ended early, what it captured is kept";
    default:
      return "unknown hardware status";
  }
}

uint32_t getSerial(TsniffContext* ctx, char* buf, uint32_t size) {
  if (!ctx) return 0;
  return libtext::guarded<uint32_t>(0, [&] { return libtext::copyOut(ctx->lo.serialCopy(), buf, size); });
}

const char* getSerialX(TsniffContext* ctx) {
  if (!ctx) return nullptr;
  return libtext::guarded<const char*>(nullptr, [&] { return libtext::toShared(ctx->lo.serialCopy()); });
}

}  // extern "C"
