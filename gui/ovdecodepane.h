// The "Decode" pane: the selected row's decode text as paragraphs and titled
// tables, stacked in a vertically scrolling area. Paragraphs re-wrap when the
// pane width changes.
#pragma once

#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>

#include <memory>
#include <string>
#include <vector>

#include "ovsubscription.h"

class wxStaticText;

class TdecodeTextItem : public wxPanel {
 public:
  TdecodeTextItem(wxWindow* parent, const std::string& paragraph);
  const wxStaticText* label() const { return text; }

 private:
  void onResize(wxSizeEvent& event);
  void doResize();

  wxStaticText* text;
  wxString itemText;
  Tsubscription rewrap;
};

class TdecodeTitle : public wxPanel {
 public:
  TdecodeTitle(wxWindow* parent, const std::string& title);
};

class TdecodeList : public wxListView {
 public:
  TdecodeList(wxWindow* parent, const std::vector<std::string>& lines);

  wxString OnGetItemText(long item, long column) const override;
  wxItemAttr* OnGetItemAttr(long item) const override;

 private:
  void onResize(wxSizeEvent& event);
  void fixHeight();

  const std::vector<std::string>& lines;
  mutable wxItemAttr stripe;
};

class TdecodeListItem : public wxPanel {
 public:
  TdecodeListItem(wxWindow* parent, std::vector<std::string> tableLines, const std::string& title);

 private:
  std::vector<std::string> lines;  // read by the list for its lifetime
};

class TscrolledPanel : public wxPanel {
 public:
  explicit TscrolledPanel(wxWindow* parent);
  void render(const std::string& text);
};

class TscrollerPanel : public wxScrolled<wxPanel> {
 public:
  explicit TscrollerPanel(wxWindow* parent);
  TscrolledPanel* scrolled;
};

class TdecodePane : public wxPanel {
 public:
  explicit TdecodePane(wxWindow* parent);
  void render(const std::string& text);

 private:
  TscrollerPanel* scroller;
};
