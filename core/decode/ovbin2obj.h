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
  static TobjPtr objectOf(const TeventView& ev);
  // The class of the event's object, otReset to otHandshake; otGrouper when
  // it cannot be converted.
  static uint32_t classOf(const TeventView& ev);
  // A packet or reset object of that class, its members at their defaults.
  static TobjPtr newObject(uint32_t objType);
  // Sets every member the event gives to an object of its class, one that
  // may have held another event's: a scan can make its rows in one object.
  static void fill(const TeventView& ev, Tbase& obj);
  // A token event's address and endpoint as its object has them, read from its bytes alone.
  static void tokenTarget(const uint8_t* bytes, std::size_t size, uint32_t& addr, uint32_t& endp);

 private:
  class Timpl;
  std::unique_ptr<Timpl> impl;
};
