#include "ovcontroller.h"

#include <filesystem>

#include "ovglobs.h"
#include "ovtreepane.h"

Tcontroller::Tcontroller(TreeMidPane& view, std::function<void()> shownChanged)
    : view(view), shownChanged(std::move(shownChanged)), liveShow(view, [this] {
        shown.captureKept();
        this->shownChanged();
      }) {}

std::string Tcontroller::open(const std::string& path) {
  if (liveShow.dialogOpen())
    return "The capture dialog shows its captures here: close it before reading a file.";
  TrowCache& rows = view.cache();
  if (!rows.onSampleFileRead(path)) return rows.fileError();
  view.setSource(std::filesystem::path(path).filename().string(), true);
  _G.pubSub.pub(topicVisRowsChanged, 0);
  shown.fileRead(path);
  shownChanged();
  return "";
}

std::string Tcontroller::save(const std::string& path) {
  std::string problem = view.cache().sampleFileSave(path);
  // While the dialog is open its capture is shown, not the one it would bring back.
  if (problem.empty() && !liveShow.dialogOpen()) {
    shown.saved(path);
    shownChanged();
  }
  return problem;
}

std::string Tcontroller::exportPcap(const std::string& path) { return view.cache().exportPcap(path); }
