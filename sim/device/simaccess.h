// Root opens a device node whatever its mode, so the access-denied fault needs a host that
// checks file permissions the way an ordinary user's program does.
#pragma once

// While alive, the calling thread, and every thread it starts meanwhile, checks file permissions
// like an ordinary user: root's overrides of them are off. Without those overrides (not root)
// nothing changes.
class TsimUserFileAccess {
 public:
  TsimUserFileAccess();
  ~TsimUserFileAccess();
  TsimUserFileAccess(const TsimUserFileAccess&) = delete;
  TsimUserFileAccess& operator=(const TsimUserFileAccess&) = delete;

 private:
  unsigned savedEffective = 0;
  bool changed = false;
};

// For a program about to be executed: takes root's overrides from this process for good, so that
// the program does not get them back; false when that failed.
bool dropFileOverridesForGood();
