// The "Raw Data" pane: the selected row's payload as a hex and character dump.
#pragma once

#include <wx/panel.h>

#include <cstdint>
#include <vector>

class wxTextCtrl;

class TdataPane : public wxPanel {
 public:
  explicit TdataPane(wxWindow* parent, int id = wxID_ANY);

  void clear();
  void renderPacket(const std::vector<uint8_t>& bytes);

 private:
  wxTextCtrl* text;
};
