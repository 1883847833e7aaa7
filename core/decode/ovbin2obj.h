// Bus events to packet and reset objects.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "decode/ovbase.h"

class Tbin2obj {
 public:
  Tbin2obj();
  ~Tbin2obj();
  Tbin2obj(const Tbin2obj&) = delete;
  Tbin2obj& operator=(const Tbin2obj&) = delete;

  // Appends one object per convertible event, in event order. Events that
  // cannot be converted (no packet bytes, a PID of type Special or Reserved, an
  // unknown kind, a malformed reset) are skipped and the result is false.
  bool buildObjVec(const std::vector<TeventBin>& events, TobjVec& objs);
  // The same for the events from index `first` on.
  bool buildObjVec(const std::vector<TeventBin>& events, std::size_t first, TobjVec& objs);
  // The object of one event, empty when it cannot be converted. Cheap enough
  // to make a stored packet's object again whenever it is asked for.
  static TobjPtr objectOf(const TeventBin& ev);
  // A token event's address and endpoint as its object has them, read from its bytes alone.
  static void tokenTarget(const uint8_t* bytes, std::size_t size, uint32_t& addr, uint32_t& endp);

 private:
  class Timpl;
  std::unique_ptr<Timpl> impl;
};
