#include "ovfiltermenu.h"

#include <wx/msgdlg.h>
#include <wx/textdlg.h>

#include "ovglobs.h"
#include "ovwxtext.h"

namespace {

enum { idDevice = 6100, idErrorsOnly, idNextError, idPrevError, idShowAll };

}  // namespace

TfilterMenu::TfilterMenu(wxWindow* parent) : parent(parent) {
  Append(idDevice, "&Device...\tCtrl+D", "Shows the rows of one device address, or of one of its endpoints");
  errorsOnly = AppendCheckItem(idErrorsOnly, "&Errors only\tCtrl+R",
                               "Shows only rows with an error: CRC, PID check, SE1, length, no answer");
  AppendSeparator();
  Append(idNextError, "&Next error\tF8");
  Append(idPrevError, "&Previous error\tShift+F8");
  AppendSeparator();
  Append(idShowAll, "Show &all\tCtrl+Shift+A", "Ends the device and error filters");
  Bind(wxEVT_MENU, &TfilterMenu::onDevice, this, idDevice);
  Bind(wxEVT_MENU, &TfilterMenu::onErrorsOnly, this, idErrorsOnly);
  Bind(
      wxEVT_MENU, [](wxCommandEvent&) { _G.pubSub.pub(topicStepError, 1); }, idNextError);
  Bind(
      wxEVT_MENU, [](wxCommandEvent&) { _G.pubSub.pub(topicStepError, -1); }, idPrevError);
  Bind(wxEVT_MENU, &TfilterMenu::onShowAll, this, idShowAll);
}

void TfilterMenu::onDevice(wxCommandEvent&) {
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

void TfilterMenu::onErrorsOnly(wxCommandEvent&) {
  _G.rowFilter.errorsOnly = errorsOnly->IsChecked();
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void TfilterMenu::onShowAll(wxCommandEvent&) {
  _G.rowFilter = TrowFilter{};
  errorsOnly->Check(false);
  _G.pubSub.pub(topicVisRowsChanged, 0);
}
