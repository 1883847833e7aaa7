// What the tree view shows: the rows of the current capture, which of them the
// filters leave visible, their boxes and their decode texts.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "boxes/ovboxes.h"
#include "decode/ovcapture.h"
#include "files/ovlua.h"
#include "ovvisindex.h"

// Row flag bit toggled by a double-click; nothing draws it yet.
constexpr uint8_t rowFlagUser = 0x08;

class TdisplData {
 public:
  // filters: read at every resetVisibleRows (the toolbar's current choice).
  explicit TdisplData(std::function<TdisplFilters()> filters = [] { return TdisplFilters{}; });
  virtual ~TdisplData() = default;
  TdisplData(const TdisplData&) = delete;
  TdisplData& operator=(const TdisplData&) = delete;

  int rowCount() const { return static_cast<int>(capture->rowCount()); }
  const Tcapture& shownCapture() const { return *capture; }
  // For readers on other threads, which keep it while they read.
  std::shared_ptr<const Tcapture> sharedCapture() const { return capture; }
  bool linRowIxOK(int ix) const { return ix >= 0 && ix < rowCount(); }
  std::shared_ptr<Tbase> getDisplRowPtr(int ix) const;

  // Visibility follows the filters as they were at the last resetVisibleRows
  // (or at adoption); -1 means no row.
  bool isVisible(int ix);
  int nextVisibleRow(int ix);
  int prevVisibleRow(int ix);
  int nearestVisibleRow(int ix);
  void resetVisibleRows();
  int visibleRowCount() { return index().visibleCount(); }
  // The first visible row with an error after ix (direction > 0) or the last one before it,
  // -1 for none; ix may be -1 or the row count, to look from either end.
  int nextErrorRow(int ix, int direction);
  // The filters of the last resetVisibleRows.
  const TdisplFilters& filters() const { return filtersAtReset; }

  // The bytes the data pane shows; valid until the next call or until the rows are replaced.
  const std::vector<uint8_t>& getData(int ix);
  // The generator's list, overwritten by the next call.
  std::vector<TdisplayBox>* genRowBoxes(int ix);
  // "Error - row N" for an invalid ix, else the scripts' text.
  std::string genRowDecode(int ix);
  std::string doDecode(const std::shared_ptr<Tbase>& obj) { return lua.decode(obj); }
  // Descriptors from outside the capture, for the decode texts made from now on.
  void setExternalDevices(std::shared_ptr<const TexternalDevices> devices);
  // For decodes on other threads, which keep them while they decode; null before any were set.
  std::shared_ptr<const TexternalDevices> externalDevices() const { return external; }

  void flipUserFlag(const std::shared_ptr<Tbase>& obj);
  // True for every valid row; toggles the leaves below a grouping row.
  bool doubleClick(int ix);

  // The number of rows adopted, 0 when none (the current data then stays);
  // fileError() then names the file and why, fileMissing() says it is absent.
  unsigned sampleFileRead(const std::string& path);
  const std::string& fileError() const { return lastFileError; }
  bool fileMissing() const { return lastFileMissing; }
  // Empty on success, else a sentence naming the file and why.
  std::string sampleFileSave(const std::string& path) const;
  // The packets as pcap; empty on success, else why not.
  std::string exportPcap(const std::string& path) const;

  // Takes a capture's result; returns its row count, 0 (keeping the old data) when it has none.
  unsigned long adopt(std::shared_ptr<Tcapture> newCapture);
  // Shows rows that may be empty yet and grow: a capture as it is decoded.
  void show(std::shared_ptr<Tcapture> newCapture);
  // The shown rows from firstChanged on are new or made again; those before it are as they were.
  void rowsChanged(std::size_t firstChanged);

  // What is shown, taken away to be shown again later; an empty list stays in its place.
  struct Tshown {
    std::shared_ptr<Tcapture> capture;
    TvisIndex visIndex;  // its classes: filtered again when shown
  };
  Tshown takeShown();
  void restore(Tshown shown);

 private:
  // The visible rows for the filters of the last reset, built on first use.
  const TvisIndex& index();
  void showAdopted(std::shared_ptr<Tcapture> newCapture);

  std::shared_ptr<Tcapture> capture = std::make_shared<Tcapture>();
  std::shared_ptr<Tbase> dataShown;  // holds what getData's bytes belong to
  Tboxes boxGen;
  TluaState lua;
  std::shared_ptr<const TexternalDevices> external;
  std::function<TdisplFilters()> currentFilters;
  TdisplFilters filtersAtReset;
  TvisIndex visIndex;
  bool indexStale = true;  // built lazily, so adoption followed by a reset scans once
  std::string lastFileError;
  bool lastFileMissing = false;
};
