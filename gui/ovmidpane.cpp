#include "ovmidpane.h"

#include <wx/sizer.h>
#include <wx/splitter.h>

#include "ovdatapane.h"
#include "ovdecodepane.h"
#include "ovglobs.h"
#include "ovtreepane.h"

MidPane::MidPane(wxWindow* parent, int id, int rightColumn, int dataHeight)
    : wxPanel(parent, id, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  outer = new wxSplitterWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D, "splitter");
  outer->SetSashGravity(0.8);
  outer->SetMinimumPaneSize(300);
  inner = new wxSplitterWindow(outer, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxSP_3D, "splitter");
  inner->SetSashGravity(0.6);
  inner->SetMinimumPaneSize(200);
  decodePane = new TdecodePane(inner);
  dataPane = new TdataPane(inner);
  inner->SplitHorizontally(decodePane, dataPane, -dataHeight);
  treePane = new TreePane(outer, *dataPane, *decodePane);
  outer->SplitVertically(treePane, inner, -rightColumn);
  outer->Bind(wxEVT_SPLITTER_SASH_POS_CHANGED, &MidPane::onSplitterChanged, this);

  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(outer, 1, wxEXPAND);
  SetSizer(sizer);
}

void MidPane::zoom(int pointSize) { treePane->zoom(pointSize); }

void MidPane::sashes(int& rightColumn, int& dataHeight) const {
  rightColumn = outer->GetSize().x - outer->GetSashPosition();
  dataHeight = inner->GetSize().y - inner->GetSashPosition();
}

TreeMidPane& MidPane::tree() { return treePane->mid(); }

void MidPane::onSplitterChanged(wxSplitterEvent& event) {
  // The inner splitter's sash events bubble up here too; only the outer one re-wraps text.
  if (event.GetEventObject() == treePane->GetParent()) _G.pubSub.pub(topicSplitterChanged, 0);
  event.Skip();
}
