#include "ovdescdialog.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/filepicker.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "decode/ovstreamtext.h"
#include "files/ovdevicedescs.h"
#include "ovglobs.h"
#include "ovsessiondevices.h"
#include "ovwxtext.h"

namespace {

std::string narrow(const wxString& text) { return std::string(text.utf8_str()); }

class TdescDialog : public wxDialog {
 public:
  TdescDialog(wxWindow* parent, TsessionDevices& devices, int address)
      : wxDialog(parent, wxID_ANY, "Device descriptors"), devices(devices) {
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
    grid->AddGrowableCol(1);
    addressEntry = new wxTextCtrl(this, wxID_ANY, address >= 0 ? wxString::Format("%d", address) : "");
    hintEntry = new wxTextCtrl(this, wxID_ANY);
    listing = new wxFilePickerCtrl(this, wxID_ANY, "", "The text 'lsusb -v' printed for the device",
                                   "Text files (*.txt)|*.txt|All files (*)|*", wxDefaultPosition,
                                   wxSize(360, -1), wxFLP_OPEN | wxFLP_FILE_MUST_EXIST | wxFLP_USE_TEXTCTRL);
    grid->Add(new wxStaticText(this, wxID_ANY, "Device address:"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(addressEntry, 0);
    grid->Add(new wxStaticText(this, wxID_ANY, "Class or ids:"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(hintEntry, 1, wxEXPAND);
    grid->AddSpacer(0);
    grid->Add(new wxStaticText(this, wxID_ANY, toWx(hintClassNames() + "; or VVVV:PPPP, the ids in hex")), 0);
    grid->Add(new wxStaticText(this, wxID_ANY, "Or its lsusb -v text:"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(listing, 1, wxEXPAND);
    problem = new wxStaticText(this, wxID_ANY, "");
    problem->SetForegroundColour(*wxRED);
    given = new wxStaticText(this, wxID_ANY, "");
    showGiven();

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* forget = new wxButton(this, wxID_ANY, "&Forget address");
    buttons->Add(forget, 0, wxRIGHT, 24);
    buttons->AddStretchSpacer();
    buttons->Add(new wxButton(this, wxID_CANCEL, "Close"), 0, wxRIGHT, 8);
    buttons->Add(new wxButton(this, wxID_OK, "Decode again"), 0);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY,
                                 "For a device whose enumeration the capture lacks: decode texts take its\n"
                                 "descriptors from what you give here, for this session."),
                0, wxALL, 10);
    column->Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    column->Add(problem, 0, wxEXPAND | wxALL, 10);
    column->Add(new wxStaticText(this, wxID_ANY, "Given so far:"), 0, wxLEFT | wxRIGHT, 10);
    column->Add(given, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);
    column->Add(buttons, 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &TdescDialog::onGive, this, wxID_OK);
    forget->Bind(wxEVT_BUTTON, &TdescDialog::onForget, this);
    (address >= 0 ? hintEntry : addressEntry)->SetFocus();
  }

  bool changed = false;

 private:
  void showGiven() {
    std::string lines;
    for (const std::string& line : devices.hintLines()) lines += (lines.empty() ? "" : "\n") + line;
    given->SetLabel(toWx(lines.empty() ? "nothing" : lines));
    Layout();
    Fit();
  }

  bool readAddress(int& address) {
    unsigned value = 0;
    if (parseStreamNumber(narrow(addressEntry->GetValue().Strip(wxString::both)), 127, value)) {
      address = static_cast<int>(value);
      return true;
    }
    say("A device address is a number from 0 to 127.");
    return false;
  }

  void say(const std::string& text) {
    problem->SetLabel(toWx(text));
    Layout();
    Fit();
  }

  void onForget(wxCommandEvent&) {
    int address = 0;
    if (!readAddress(address)) return;
    devices.forget(address);
    changed = true;
    say("");
    showGiven();
  }

  void onGive(wxCommandEvent&) {
    int address = 0;
    if (!readAddress(address)) return;
    const std::string hint = narrow(hintEntry->GetValue().Strip(wxString::both));
    const std::string path(listing->GetPath().fn_str());
    if (hint.empty() == path.empty()) return say("Give a class or ids, or an lsusb -v text: one of them.");
    std::string error;
    std::vector<std::string> notes;
    if (!hint.empty()) {
      error = devices.giveHint(address, hint);
    } else {
      std::ifstream in(path, std::ios::binary);
      const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      const std::string name = std::filesystem::path(path).filename().string();
      error = in.bad() || !in.is_open() ? "Cannot read " + path + "."
                                        : devices.giveListing(address, text, name, notes);
    }
    if (!error.empty()) return say(error);
    changed = true;
    if (!notes.empty()) {
      std::string text = "Read, but not all of it:";
      for (const std::string& note : notes) text += "\n" + note;
      wxMessageBox(toWx(text), _G.productName, wxOK | wxICON_INFORMATION, this);
    }
    EndModal(wxID_OK);
  }

  TsessionDevices& devices;
  wxTextCtrl* addressEntry;
  wxTextCtrl* hintEntry;
  wxFilePickerCtrl* listing;
  wxStaticText* problem;
  wxStaticText* given;
};

}  // namespace

bool askDeviceDescriptors(wxWindow* parent, TsessionDevices& devices, int address) {
  TdescDialog dialog(parent, devices, address);
  dialog.ShowModal();
  return dialog.changed;
}
