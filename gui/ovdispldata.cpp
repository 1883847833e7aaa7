#include "ovdispldata.h"

#include <new>

#include "decode/ovgroup.h"
#include "decode/ovvisit.h"
#include "ovfindquery.h"
#include "ovsamplefile.h"

TdisplData::TdisplData(std::function<TdisplFilters()> filters)
    : lua(capture), currentFilters(std::move(filters)), filtersAtReset(currentFilters()) {}

std::shared_ptr<Tbase> TdisplData::getDisplRowPtr(int ix) const {
  return linRowIxOK(ix) ? capture->row(ix).obj : nullptr;
}

const TvisIndex& TdisplData::index() {
  if (indexStale) visIndex.filter(filtersAtReset);
  indexStale = false;
  return visIndex;
}

bool TdisplData::isVisible(int ix) { return index().isVisible(ix); }
int TdisplData::nextVisibleRow(int ix) { return index().next(ix); }
int TdisplData::prevVisibleRow(int ix) { return index().prev(ix); }
int TdisplData::nearestVisibleRow(int ix) { return index().nearest(ix); }
int TdisplData::nextErrorRow(int ix, int direction) { return index().nextError(ix, direction); }

void TdisplData::resetVisibleRows() {
  filtersAtReset = currentFilters();
  indexStale = true;
}

const std::vector<uint8_t>& TdisplData::getData(int ix) {
  dataShown = getDisplRowPtr(ix);
  return shownBytes(dataShown);
}

std::vector<TdisplayBox>* TdisplData::genRowBoxes(int ix) {
  boxGen.getBoxes(getDisplRowPtr(ix));
  return &boxGen.boxes;
}

std::string TdisplData::genRowDecode(int ix) {
  if (!linRowIxOK(ix)) return "Error - row " + std::to_string(ix);
  return doDecode(capture->row(ix).obj);
}

void TdisplData::flipUserFlag(const std::shared_ptr<Tbase>& obj) {
  if (!obj) return;
  const auto children = [&](const Tgrouper& grouper) {
    for (const auto& child : grouper.children) flipUserFlag(child);
  };
  visit(*obj, Toverload{[&](const TsofGroup& group) { children(group); },
                        [&](const Ttransax& trx) { children(trx); },
                        [&](const Ttransfer& transfer) { children(transfer); }, [](const Tgrouper&) {},
                        [&](const Tbase& leaf) {
                          if (linRowIxOK(leaf.row))
                            capture->setRowFlags(leaf.row, capture->rowFlags(leaf.row) ^ rowFlagUser);
                        }});
}

bool TdisplData::doubleClick(int ix) {
  if (!linRowIxOK(ix)) return false;
  const TobjPtr obj = capture->row(ix).obj;
  if (obj && obj->objType > otHandshake) flipUserFlag(obj);
  return true;
}

unsigned long TdisplData::adopt(std::shared_ptr<Tcapture> newCapture) {
  if (!newCapture || newCapture->rowCount() == 0) return 0;
  // What can run out of memory comes first, so that a failure leaves the shown data whole.
  TvisIndex newIndex;
  newIndex.adopt(*newCapture);
  visIndex = std::move(newIndex);
  showAdopted(std::move(newCapture));
  return capture->rowCount();
}

void TdisplData::show(std::shared_ptr<Tcapture> newCapture) {
  if (!newCapture) newCapture = std::make_shared<Tcapture>();
  visIndex.adopt(*newCapture);
  showAdopted(std::move(newCapture));
}

void TdisplData::showAdopted(std::shared_ptr<Tcapture> newCapture) {
  capture = std::move(newCapture);
  dataShown.reset();
  lua.setRows(capture);
  resetVisibleRows();
}

void TdisplData::setExternalDevices(std::shared_ptr<const TexternalDevices> devices) {
  external = std::move(devices);
  lua.setExternalDevices(external ? *external : TexternalDevices{});
}

void TdisplData::rowsChanged(std::size_t firstChanged) { visIndex.grow(*capture, firstChanged); }

TdisplData::Tshown TdisplData::takeShown() {
  Tshown shown{capture, std::move(visIndex)};
  show(nullptr);
  return shown;
}

void TdisplData::restore(Tshown shown) {
  visIndex = std::move(shown.visIndex);
  showAdopted(std::move(shown.capture));
}

unsigned TdisplData::sampleFileRead(const std::string& path) {
  lastFileMissing = false;
  try {
    TsampleRead read = readSampleFile(path);
    lastFileError = read.problem;
    lastFileMissing = read.missing;
    if (!read.problem.empty()) return 0;
    const unsigned long adopted = adopt(std::move(read.capture));
    if (!adopted) lastFileError = "\"" + path + "\" holds no rows.";
    return static_cast<unsigned>(adopted);
  } catch (const std::bad_alloc&) {
    lastFileError = "Cannot read \"" + path + "\": out of memory.";
    return 0;
  }
}

std::string TdisplData::sampleFileSave(const std::string& path) const {
  return saveSampleFile(*capture, path);
}

std::string TdisplData::exportPcap(const std::string& path) const { return exportPcapFile(*capture, path); }
