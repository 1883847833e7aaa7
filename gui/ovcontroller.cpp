#include "ovcontroller.h"

#include <wx/datetime.h>
#include <wx/msgdlg.h>

#include <filesystem>

#include "ovdescdialog.h"
#include "ovglobs.h"
#include "ovstreamwin.h"
#include "ovtreepane.h"

Tcontroller::Tcontroller(TreeMidPane& view, std::function<void()> shownChanged)
    : view(view), shownChanged(std::move(shownChanged)), liveShow(view, [this] {
        shown.captureKept();
        rememberShown(std::string(wxDateTime::Now().Format("the capture of %Y-%m-%d %H:%M").utf8_str()));
        this->shownChanged();
      }) {
  view.setExternalDevices(devices.devices());
}

std::string Tcontroller::open(const std::string& path) {
  if (liveShow.dialogOpen())
    return "The capture dialog shows its captures here: close it before reading a file.";
  TrowCache& rows = view.cache();
  if (!rows.onSampleFileRead(path)) return rows.fileError();
  view.setSource(std::filesystem::path(path).filename().string(), true);
  _G.pubSub.pub(topicVisRowsChanged, 0);
  shown.fileRead(path);
  rememberShown(std::filesystem::path(path).filename().string());
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

void Tcontroller::rememberShown(const std::string& name) {
  devices.reloadRemembered();
  view.setExternalDevices(devices.devices());
  remembering.remember(view.cache().sharedCapture(), name);
}

void Tcontroller::deviceDescriptors(wxWindow* parent, int address) {
  if (askDeviceDescriptors(parent, devices, address)) view.setExternalDevices(devices.devices());
}

void Tcontroller::endpointStream(wxWindow* parent, int address, int endpoint) {
  // The dialog's capture grows on its thread while it is open.
  if (liveShow.dialogOpen())
    wxMessageBox("Close the capture dialog to see an endpoint's stream.", _G.productName, wxOK, parent);
  else
    openStreamWindow(parent, view.cache().shownCapture(), address, endpoint);
}
