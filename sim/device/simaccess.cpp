#include "device/simaccess.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <initializer_list>

namespace {

// Both are below 32, so they live in the first word of each set.
constexpr unsigned overrideBits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

// The raw calls act on the calling thread only, which is what the guard needs.
struct Tcaps {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};

  bool read() { return syscall(SYS_capget, &header, data) == 0; }
  bool write() { return syscall(SYS_capset, &header, data) == 0; }
};

}  // namespace

TsimUserFileAccess::TsimUserFileAccess() {
  Tcaps caps;
  if (!caps.read() || !(caps.data[0].effective & overrideBits)) return;
  savedEffective = caps.data[0].effective;
  caps.data[0].effective &= ~overrideBits;
  changed = caps.write();
}

TsimUserFileAccess::~TsimUserFileAccess() {
  Tcaps caps;
  if (!changed || !caps.read()) return;
  caps.data[0].effective = savedEffective;
  caps.write();
}

bool dropFileOverridesForGood() {
  Tcaps caps;
  if (!caps.read()) return false;
  if (!((caps.data[0].permitted | caps.data[0].inheritable) & overrideBits)) return true;
  // Root gets back at exec whatever the bounding set still holds.
  for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
    if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return false;
  prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
  for (auto* set : {&caps.data[0].effective, &caps.data[0].permitted, &caps.data[0].inheritable})
    *set &= ~overrideBits;
  return caps.write();
}
