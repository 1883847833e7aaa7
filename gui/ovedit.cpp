#include "ovedit.h"

#include <wx/clipbrd.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/textctrl.h>
#include <wx/textdlg.h>

#include "ovcopytext.h"
#include "ovfindbar.h"
#include "ovglobs.h"
#include "ovgoto.h"
#include "ovtreepane.h"
#include "ovwxtext.h"

namespace {

enum { idFindNext = 6101, idFindPrevious, idGoTo };

void copyRow(TreeMidPane& tree) {
  // A text field that has the focus copies its own selection.
  if (auto* field = dynamic_cast<wxTextCtrl*>(wxWindow::FindFocus()); field && field->CanCopy())
    return field->Copy();
  const int row = tree.selectedRow();
  if (row < 0) return;
  TrowCache& rows = tree.cache();
  const std::string text = rowCopyText(rows.getDisplRowPtr(row), rows.getRowDecode(row));
  wxClipboardLocker open;
  if (!!open) wxTheClipboard->SetData(new wxTextDataObject(toWx(text)));
}

// The row itself when the filters show it, else its nearest shown parent, else the nearest shown row.
int shownRowFor(TrowCache& rows, int row) {
  for (int up = row; up >= 0; up = rows.shownCapture().rowSummary(static_cast<std::size_t>(up)).parentRow)
    if (rows.isVisible(up)) return up;
  return rows.nearestVisibleRow(row);
}

void goTo(wxWindow* parent, TreeMidPane& tree) {
  TrowCache& rows = tree.cache();
  const wxString prompt = wxString::Format(
      "A row number (1 to %d), a time since the first packet (\"12.5 ms\", \"300 us\") or \"frame 1234\":",
      rows.rowCount());
  wxTextEntryDialog dialog(parent, prompt, "Go to");
  if (dialog.ShowModal() != wxID_OK) return;
  const std::string typed(dialog.GetValue().utf8_str());
  const TgoTo where = parseGoTo(typed);
  if (where.kind == TgoTo::invalid)
    return (void)wxMessageBox(toWx(where.error), _G.productName, wxOK | wxICON_INFORMATION, parent);
  const int64_t row = goToRow(rows.shownCapture(), where, tree.selectedRow());
  if (row < 0)
    return (void)wxMessageBox(toWx("The capture has no row at \"" + typed + "\"."), _G.productName,
                              wxOK | wxICON_INFORMATION, parent);
  tree.selectRow(shownRowFor(rows, static_cast<int>(row)));
}

}  // namespace

wxMenu* makeEditMenu(wxFrame& frame, TfindBar& findBar, TreeMidPane& tree) {
  auto* menu = new wxMenu;
  menu->Append(wxID_COPY, "&Copy\tCtrl+C");
  menu->AppendSeparator();
  menu->Append(wxID_FIND, "&Find...\tCtrl+F");
  menu->Append(idFindNext, "Find &next\tF3");
  menu->Append(idFindPrevious, "Find &previous\tShift+F3");
  menu->AppendSeparator();
  menu->Append(idGoTo, "&Go to...\tCtrl+G");
  frame.Bind(
      wxEVT_MENU, [&tree](wxCommandEvent&) { copyRow(tree); }, wxID_COPY);
  frame.Bind(
      wxEVT_MENU, [&findBar](wxCommandEvent&) { findBar.open(); }, wxID_FIND);
  frame.Bind(
      wxEVT_MENU, [&findBar](wxCommandEvent&) { findBar.step(true); }, idFindNext);
  frame.Bind(
      wxEVT_MENU, [&findBar](wxCommandEvent&) { findBar.step(false); }, idFindPrevious);
  frame.Bind(
      wxEVT_MENU, [&frame, &tree](wxCommandEvent&) { goTo(&frame, tree); }, idGoTo);
  return menu;
}
