#include "ovdecodepane.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>

#include "ovdecodeitems.h"
#include "ovglobs.h"
#include "ovtitlepane.h"
#include "ovwxtext.h"

TdecodeTextItem::TdecodeTextItem(wxWindow* parent, const std::string& paragraph)
    : wxPanel(parent, wxID_ANY),
      itemText(toWx(paragraph)),
      rewrap(topicSplitterChanged, [this](long) { doResize(); }) {
  text = new wxStaticText(this, wxID_ANY, "");
  // Plain text: a decode text's "&" is a character, not a mnemonic.
  text->SetLabelText(itemText);
  text->Wrap(-1);
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->Add(text, 1, wxEXPAND);
  SetSizer(sizer);
  Fit();
  Layout();
  Bind(wxEVT_SIZE, &TdecodeTextItem::onResize, this);
}

void TdecodeTextItem::onResize(wxSizeEvent& event) {
  doResize();
  event.Skip();
}

void TdecodeTextItem::doResize() {
  // From the unwrapped text every time, so a wider pane un-wraps lines again.
  text->SetLabelText(itemText);
  text->Wrap(-1);
  text->Wrap(std::max(GetClientSize().x - 20, 1));
}

TdecodeTitle::TdecodeTitle(wxWindow* parent, const std::string& title) : wxPanel(parent, wxID_ANY) {
  wxFont font = GetFont();
  font.SetPointSize(font.GetPointSize() * 12 / 10);
  SetFont(font);
  SetBackgroundColour(wxColour(215, 215, 215));
  auto* label = new wxStaticText(this, wxID_ANY, "");
  label->SetLabelText(toWx(title));
  auto* sizer = new wxBoxSizer(wxHORIZONTAL);
  sizer->AddStretchSpacer(1);
  sizer->Add(label, 0);
  sizer->AddStretchSpacer(1);
  SetSizer(sizer);
}

TdecodeList::TdecodeList(wxWindow* parent, const std::vector<std::string>& lines)
    : wxListView(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLC_REPORT | wxLC_VIRTUAL),
      lines(lines) {
  stripe.SetBackgroundColour(wxColour(239, 239, 255));
  if (lines.size() < 2) return;
  for (const std::string& heading : tableHeadings(lines))
    AppendColumn(toWx(heading), wxLIST_FORMAT_LEFT, wxLIST_AUTOSIZE);
  fixHeight();
  Bind(wxEVT_SIZE, &TdecodeList::onResize, this);
}

void TdecodeList::fixHeight() {
  // Measured on a row that exists: an empty list's item 0 is 0 high and would hide the header.
  const int rows = tableRowCount(lines);
  SetItemCount(std::max(rows, 1));
  wxRect rect;
  GetItemRect(0, rect);
  SetItemCount(rows);
  const int height = (static_cast<int>(lines.size()) - 1) * rect.height + 12;
  SetMinSize(wxSize(-1, height));
  SetMaxSize(wxSize(-1, height));
}

wxString TdecodeList::OnGetItemText(long item, long column) const {
  return toWx(tableCell(lines, item, column));
}

wxItemAttr* TdecodeList::OnGetItemAttr(long item) const { return item % 2 == 0 ? &stripe : nullptr; }

void TdecodeList::onResize(wxSizeEvent& event) {
  const int w = GetClientSize().x;
  // Never a negative width: -1 and -2 are wx's autosize codes.
  if (GetColumnCount() > 0) SetColumnWidth(0, std::max(w / 4, 0));
  if (GetColumnCount() > 1) SetColumnWidth(1, std::max(3 * w / 4 - 20, 0));
  fixHeight();
  event.Skip();
}

TdecodeListItem::TdecodeListItem(wxWindow* parent, std::vector<std::string> tableLines,
                                 const std::string& title)
    : wxPanel(parent, wxID_ANY), lines(std::move(tableLines)) {
  if (lines.empty()) return;
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new TdecodeTitle(this, title), 0, wxEXPAND);
  sizer->Add(new TdecodeList(this, lines), 0, wxEXPAND);
  SetSizer(sizer);
}

TscrolledPanel::TscrolledPanel(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  SetSizer(new wxBoxSizer(wxVERTICAL));
}

void TscrolledPanel::render(const std::string& text) {
  GetSizer()->Clear(true);
  for (const TdecodeItem& item : parseDecodeText(text)) {
    wxWindow* window = item.kind == TdecodeItem::paragraph
                           ? static_cast<wxWindow*>(new TdecodeTextItem(this, item.text))
                           : new TdecodeListItem(this, item.lines, item.text);
    GetSizer()->Add(window, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
  }
  Layout();
}

TscrollerPanel::TscrollerPanel(wxWindow* parent)
    : wxScrolled<wxPanel>(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL | wxHSCROLL) {
  SetBackgroundColour(wxColour(232, 232, 232));
  scrolled = new TscrolledPanel(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(scrolled, 1, wxEXPAND);
  SetSizer(sizer);
  SetScrollRate(0, 5);
}

TdecodePane::TdecodePane(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
  SetFont(wxFontInfo(_G.fontPointSize).FaceName("Arial"));
  scroller = new TscrollerPanel(this);
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(new TitlePane(this, L"Decode"), 0, wxEXPAND);
  sizer->Add(scroller, 1, wxEXPAND);
  SetSizer(sizer);
}

void TdecodePane::render(const std::string& text) {
  scroller->scrolled->render(text);
  scroller->FitInside();
}
