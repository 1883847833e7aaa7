#include "ovstreamwin.h"

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <filesystem>
#include <string>

#include "decode/ovstreamtext.h"
#include "files/ovfilewriter.h"
#include "ovglobs.h"
#include "ovwxtext.h"

namespace {

// A window shows this much of a stream: a text control filled with a bulk endpoint's
// megabytes would take minutes, and many times their memory. Save writes it all.
constexpr std::size_t shownBytes = 256 * 1024;

// Asks for the device address and the endpoint address.
class TstreamPrompt : public wxDialog {
 public:
  TstreamPrompt(wxWindow* parent, int address, int endpoint) : wxDialog(parent, wxID_ANY, "Endpoint stream") {
    addressEntry = new wxTextCtrl(this, wxID_ANY, address >= 0 ? wxString::Format("%d", address) : "");
    endpointEntry =
        new wxTextCtrl(this, wxID_ANY, endpoint >= 0 ? wxString::Format("0x%02X", unsigned(endpoint)) : "");
    problem = new wxStaticText(this, wxID_ANY, "");
    problem->SetForegroundColour(*wxRED);
    auto* grid = new wxFlexGridSizer(2, wxSize(8, 6));
    grid->Add(new wxStaticText(this, wxID_ANY, "Device address:"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(addressEntry);
    grid->Add(new wxStaticText(this, wxID_ANY, "Endpoint (0x82 is IN 2):"), 0, wxALIGN_CENTER_VERTICAL);
    grid->Add(endpointEntry);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid, 0, wxALL, 10);
    column->Add(problem, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    column->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
    SetSizerAndFit(column);
    Bind(wxEVT_BUTTON, &TstreamPrompt::onOk, this, wxID_OK);
  }

  unsigned address = 0, endpoint = 0;

 private:
  void onOk(wxCommandEvent&) {
    const std::string a(addressEntry->GetValue().Strip(wxString::both).utf8_str());
    const std::string e(endpointEntry->GetValue().Strip(wxString::both).utf8_str());
    if (!parseStreamNumber(a, 127, address)) return say("A device address is a number from 0 to 127.");
    if (!parseEndpointAddress(e, endpoint))
      return say("An endpoint is written as descriptors write it: 0x00 to 0x0F (OUT), 0x80 to 0x8F (IN).");
    EndModal(wxID_OK);
  }
  void say(const char* text) {
    problem->SetLabel(text);
    Fit();
  }

  wxTextCtrl* addressEntry;
  wxTextCtrl* endpointEntry;
  wxStaticText* problem;
};

}  // namespace

TstreamWindow::TstreamWindow(wxWindow* parent, const Tcapture& capture, unsigned address, unsigned endpoint)
    : wxFrame(parent, wxID_ANY,
              wxString::Format("Endpoint 0x%02X of device %u - %s", endpoint, address, _G.productName),
              wxDefaultPosition, wxSize(760, 480)),
      address(address),
      endpoint(endpoint),
      stream(endpointStream(capture, address, endpoint)) {
  auto* panel = new wxPanel(this);
  const std::string head = streamHeadLine(address, endpoint, stream);
  auto* summary = new wxStaticText(panel, wxID_ANY, toWx(head.substr(head.find(": ") + 2)));
  hex = new wxCheckBox(panel, wxID_ANY, "&Hex");
  auto* save = new wxButton(panel, wxID_ANY, "&Save...");
  runs = new wxTextCtrl(panel, wxID_ANY, "", wxDefaultPosition, wxDefaultSize,
                        wxTE_MULTILINE | wxTE_READONLY | wxTE_DONTWRAP | wxTE_RICH2);
  runs->SetFont(wxFontInfo().Family(wxFONTFAMILY_TELETYPE));
  auto* top = new wxBoxSizer(wxHORIZONTAL);
  top->Add(summary, 1, wxALIGN_CENTER_VERTICAL);
  top->Add(hex, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, 12);
  top->Add(save, 0, wxLEFT, 12);
  auto* column = new wxBoxSizer(wxVERTICAL);
  column->Add(top, 0, wxEXPAND | wxALL, 8);
  column->Add(runs, 1, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 8);
  panel->SetSizer(column);
  hex->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { showRuns(); });
  save->Bind(wxEVT_BUTTON, &TstreamWindow::onSave, this);
  // Viewers close with these keys; the window may also have no title bar to close it by.
  wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, 'W', wxID_CLOSE}, {wxACCEL_NORMAL, WXK_ESCAPE, wxID_CLOSE}};
  SetAcceleratorTable(wxAcceleratorTable(2, keys));
  Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
  showRuns();
}

void TstreamWindow::showRuns() {
  std::string text = streamRunLines(streamHead(stream, shownBytes), form());
  if (text.empty()) text = "No acknowledged data on this endpoint.";
  std::size_t total = 0;
  for (const TstreamRun& r : stream.runs) total += r.bytes.size();
  if (total > shownBytes)
    text = "# The first " + std::to_string(shownBytes) + " of " + std::to_string(total) +
           " bytes; Save writes them all.\n" + text;
  runs->ChangeValue(toWx(text));
}

TstreamForm TstreamWindow::form() const {
  return hex->GetValue() ? TstreamForm::hex : TstreamForm::textLines;
}

void TstreamWindow::onSave(wxCommandEvent&) {
  wxFileDialog ask(this, "Save the stream", "", "", "Text, as shown (*.txt)|*.txt|Bare bytes (*.bin)|*.bin",
                   wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (ask.ShowModal() != wxID_OK) return;
  const std::string path(ask.GetPath().fn_str());
  std::string text;
  if (ask.GetFilterIndex() == 1 || std::filesystem::path(path).extension() == ".bin") {
    const std::vector<uint8_t> bytes = streamBytes(stream);
    text.assign(bytes.begin(), bytes.end());
  } else {
    text = streamHeadLine(address, endpoint, stream) + "\n" + streamRunLines(stream, form());
  }
  TfileWriter out;
  if (!(out.open(path) && out.write(text.data(), text.size()) && out.commit()))
    wxMessageBox(toWx("Cannot save \"" + path + "\": " + out.lastError()), _G.productName,
                 wxOK | wxICON_ERROR, this);
}

void openStreamWindow(wxWindow* parent, const Tcapture& capture, int address, int endpoint) {
  if (address < 0 || endpoint < 0) {
    TstreamPrompt prompt(parent, address, endpoint);
    if (prompt.ShowModal() != wxID_OK) return;
    address = static_cast<int>(prompt.address);
    endpoint = static_cast<int>(prompt.endpoint);
  }
  // Reading a large capture for its stream takes a while.
  wxBusyCursor reading;
  (new TstreamWindow(parent, capture, static_cast<unsigned>(address), static_cast<unsigned>(endpoint)))
      ->Show();
}
