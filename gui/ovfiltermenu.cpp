#include "ovfiltermenu.h"

#include <wx/msgdlg.h>
#include <wx/textdlg.h>

#include "ovglobs.h"
#include "ovwxtext.h"

TfilterMenu::TfilterMenu(wxWindow* parent) : parent(parent) {
  // Ids of wx's choosing: other menus of the window pick theirs.
  const auto item = [this](const char* label, const char* help, auto handler) {
    Bind(wxEVT_MENU, handler, Append(wxID_ANY, label, help)->GetId());
  };
  item("&Device...\tCtrl+D", "Shows the rows of one device address, or of one of its endpoints",
       [this](wxCommandEvent&) { askDevice(); });
  errorsOnly = AppendCheckItem(wxID_ANY, "&Errors only\tCtrl+R",
                               "Shows only rows with an error: CRC, PID check, SE1, length, no answer");
  Bind(
      wxEVT_MENU,
      [this](wxCommandEvent&) {
        _G.rowFilter.errorsOnly = errorsOnly->IsChecked();
        _G.pubSub.pub(topicVisRowsChanged, 0);
      },
      errorsOnly->GetId());
  AppendSeparator();
  item("&Next error\tF8", "Selects the next row with an error",
       [](wxCommandEvent&) { _G.pubSub.pub(topicStepError, 1); });
  item("&Previous error\tShift+F8", "Selects the previous row with an error",
       [](wxCommandEvent&) { _G.pubSub.pub(topicStepError, -1); });
  AppendSeparator();
  item("Show &all\tCtrl+Shift+A", "Ends the device and error filters", [this](wxCommandEvent&) {
    _G.rowFilter = TrowFilter{};
    errorsOnly->Check(false);
    _G.pubSub.pub(topicVisRowsChanged, 0);
  });
}

void TfilterMenu::askDevice() {
  wxTextEntryDialog ask(parent, "Address, or address.endpoint (3 or 3.1); empty for every device:",
                        "Filter by device", toWx(deviceText(_G.rowFilter)));
  if (ask.ShowModal() != wxID_OK) return;
  TrowFilter chosen = _G.rowFilter;
  const std::string text(ask.GetValue().utf8_str());
  std::string why;
  if (text.find_first_not_of(" \t") == std::string::npos) {
    chosen.address = chosen.endpoint = -1;
  } else if (!parseDevice(text, chosen, why)) {
    wxMessageBox(toWx(why), "Filter by device", wxOK | wxICON_ERROR, parent);
    return;
  }
  _G.rowFilter = chosen;
  _G.pubSub.pub(topicVisRowsChanged, 0);
}
