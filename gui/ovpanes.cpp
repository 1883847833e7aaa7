#include "ovpanes.h"

#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include "capture/ovcapdlg.h"
#include "ovglobs.h"
#include "ovsamplefile.h"
#include "ovtitlepane.h"

namespace {

void addCaption(wxPanel* pane, const wchar_t* title) {
  pane->SetBackgroundColour(*wxWHITE);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new TitlePane(pane, title), 0, wxEXPAND);
  pane->SetSizer(sizer);
}

void reportProblem(const std::string& text) {
  wxMessageBox(wxString::FromUTF8(text), _G.productName, wxOK | wxICON_ERROR);
}

}  // namespace

TdecodePane::TdecodePane(wxWindow* parent) : wxPanel(parent, wxID_ANY) { addCaption(this, L"Decode"); }

TdataPane::TdataPane(wxWindow* parent) : wxPanel(parent, wxID_ANY) { addCaption(this, L"Raw Data"); }

TreePane::TreePane(wxWindow* parent, TdataPane&, TdecodePane&) : wxPanel(parent, wxID_ANY) {
  SetBackgroundColour(*wxWHITE);
  rowCount = new wxStaticText(this, wxID_ANY, "");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(rowCount, 0, wxALL, 5);
  SetSizer(sizer);
  showRowCount();
  _G.pubSub.sub(topicSampleFileRead, [this](long path) { onSampleFileRead(path); });
  _G.pubSub.sub(topicSampleFileSave, [this](long path) { onSampleFileSave(path); });
  _G.pubSub.sub(topicDoCapture, [this](long arg) { onDoCapture(arg); });
}

void TreePane::zoom(int pointSize) {
  wxFont font = GetFont();
  font.SetPointSize(pointSize);
  SetFont(font);
  rowCount->SetFont(font);
  Layout();
}

void TreePane::onSampleFileRead(long path) {
  TsampleRead read = readSampleFile(reinterpret_cast<const char*>(path));
  // A missing default file at start-up is normal; a user's choice that is gone is not.
  if (read.missing && !IsShownOnScreen()) return;
  if (!read.problem.empty()) return reportProblem(read.problem);
  objs = read.objs;
  rows = read.rows;
  showRowCount();
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void TreePane::onSampleFileSave(long path) {
  const std::string problem = saveSampleFile(*rows, reinterpret_cast<const char*>(path));
  if (!problem.empty()) reportProblem(problem);
}

void TreePane::onDoCapture(long) {
  TcaptureDialog dialog;
  if (!dialog.ok) return;
  objs = dialog.trees;
  rows = dialog.rows;
  showRowCount();
  _G.pubSub.pub(topicVisRowsChanged, 0);
}

void TreePane::showRowCount() { rowCount->SetLabel(wxString::Format("Rows: %zu", rows->size())); }
