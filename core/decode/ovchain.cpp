#include "decode/ovchain.h"

namespace {

// A finished capture may be kept for long: its vectors are left with little
// spare room, whatever their growth made of them.
template <class V>
void trimSlack(V& v) {
  if (v.capacity() - v.size() > v.size() / 3) v.shrink_to_fit();
}

}  // namespace

TdecodeChain::TdecodeChain(Tcapture& into) : out(into), tree(into.roots) {}

void TdecodeChain::takeRaw(const uint8_t* stream, std::size_t available, bool final) {
  std::vector<TeventBin>& events = out.events;
  // Busy traffic takes about 40 raw bytes per event; quieter traffic takes more.
  if (events.empty() && events.capacity() < available / 32) events.reserve(available / 32 + 1);
  raw.useGrowingData(stream, available, final);
  // The position counts only where runs were read: a stream refused by its
  // header was not read at all.
  for (uint64_t at = 0; bin.getNextBinEvent(raw, events, at);) {
    position = at;
    if (published) published->store(at, std::memory_order_relaxed);
  }
  takeEvents(final);
}

void TdecodeChain::takeEvents(bool final) {
  const std::vector<TeventBin>& events = out.events;
  TobjVec& objects = out.objects;
  // Sized at once when all is there: no more objects than events.
  if (final && objects.empty()) objects.reserve(events.size());
  // Events that cannot be converted are skipped, not an end.
  toObjects.buildObjVec(events, eventsTaken, objects);
  eventsTaken = events.size();
  const std::size_t firstChangedRoot = tree.take(objects, final);
  changedRow = lines.update(out.roots, firstChangedRoot, out.rows);
  if (!final) return;
  trimSlack(out.events);
  trimSlack(objects);
  trimSlack(out.roots);
  trimSlack(out.rows);
}

std::size_t TdecodeChain::finalRows() const {
  const std::size_t root = tree.firstOpenRoot();
  return root < out.roots.size() ? static_cast<std::size_t>(out.roots[root]->row) : out.rows.size();
}
