// The "Raw Data" pane: the selected row's payload as a hex and character dump.
#pragma once

#include <wx/panel.h>

#include <cstdint>
#include <string>
#include <vector>

class wxTextCtrl;

class TdataPane : public wxPanel {
 public:
  explicit TdataPane(wxWindow* parent, int id = wxID_ANY);

  void clear();
  void renderPacket(const std::vector<uint8_t>& bytes);
  // Marks bytes of the packet shown, and scrolls them into view.
  void highlight(std::size_t first, std::size_t count);

 private:
  wxTextCtrl* text;
  std::string dump;        // as shown, for finding bytes in it
  std::size_t dumpAt = 0;  // where it starts in the text
};
