// The capture dialog's captures in the tree view: each shown as it is decoded,
// and the data shown before kept until the dialog closes, to come back on
// Cancel or when a capture makes no rows.
#pragma once

#include <wx/window.h>

#include <functional>
#include <optional>
#include <string>

#include "capture/ovcapsink.h"
#include "ovdispldata.h"
#include "ovstatustext.h"

class TreeMidPane;

class TliveShow : public TcaptureSink {
 public:
  // kept is called when the dialog closes with OK on a capture of its own shown.
  TliveShow(TreeMidPane& view, std::function<void()> kept) : view(view), kept(std::move(kept)) {}
  // Closes an open dialog at once: it reports here.
  ~TliveShow() override;
  TliveShow(const TliveShow&) = delete;
  TliveShow& operator=(const TliveShow&) = delete;

  // Opens the dialog beside the window, or brings the open one to the front.
  void open();
  bool dialogOpen() const { return dialog != nullptr; }
  // Closes the open dialog as its Cancel does.
  void cancel();

  void captureStarted(const std::shared_ptr<Tcapture>& capture) override;
  void captureProgress(std::size_t firstChanged, uint64_t capturedBytes) override;
  void captureEnded(bool kept, const std::string& cutShort) override;
  void dialogClosed(bool ok) override;

 private:
  struct Tsaved {
    TdisplData::Tshown shown;
    int top;
    std::string source;
  };
  Tsaved takeShown();
  void bringBack(std::optional<Tsaved>& saved);

  TreeMidPane& view;
  std::function<void()> kept;
  // Until it says it closes. It goes no sooner: it is the window's child, made after the
  // tree view, and the window deletes its children in the order they were made.
  wxWindow* dialog = nullptr;
  // What was shown when the dialog opened, taken at its first capture.
  std::optional<Tsaved> opened;
  // The capture a running one replaced, while that one may still make no rows.
  std::optional<Tsaved> lastKept;
  // Where the shown capture came from, once it has ended.
  std::string endedSource = capturedText();
};
