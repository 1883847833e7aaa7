#include "ovhelppage.h"

#include <wx/app.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/process.h>
#include <wx/utils.h>

#include <functional>
#include <string>

#include "ovglobs.h"
#include "ovrundir.h"

namespace {

// xdg-open tells of a missing browser only by its exit status, long after it was started.
class TbrowserStart : public wxProcess {
 public:
  explicit TbrowserStart(std::function<void()> onFailure) : onFailure(std::move(onFailure)) {}
  void OnTerminate(int, int status) override {
    if (status != 0) wxTheApp->CallAfter(onFailure);
    delete this;
  }

 private:
  std::function<void()> onFailure;
};

}  // namespace

void openHelpPage(wxWindow* parent) {
  const wxString page(findShippedFile(_G.helpFile, shippedFileDirs()).c_str(), *wxConvFileName);
  const wxString where = wxFileName(page).GetAbsolutePath();
  if (!wxFileName::FileExists(page)) {
    wxMessageBox(wxString("The help page ") + _G.helpFile +
                     " was found neither in the working directory, beside the "
                     "program nor in its share/tracewren directory.",
                 "Help", wxOK | wxICON_WARNING, parent);
    return;
  }
  auto tellWhere = [parent, where] {
    wxMessageBox("No web browser could be started. The help page is\n" + where, "Help",
                 wxOK | wxICON_INFORMATION, parent);
  };
  // FileNameToURL escapes spaces and other characters a browser would misread.
  const std::string url(wxFileName::FileNameToURL(wxFileName(where)).utf8_str());
  wxString searchPath, xdgOpen;
  if (wxGetEnv("PATH", &searchPath) && wxFindFileInPath(&xdgOpen, searchPath, "xdg-open")) {
    const std::string program(xdgOpen.fn_str());
    const char* const argv[] = {program.c_str(), url.c_str(), nullptr};
    auto* start = new TbrowserStart(tellWhere);
    if (wxExecute(argv, wxEXEC_ASYNC, start) > 0) return;
    delete start;
  }
  // No xdg-open: whatever else the toolkit knows of; its own complaint would be a bare error code.
  wxLogNull quiet;
  if (!wxLaunchDefaultBrowser(wxString::FromUTF8(url))) tellWhere();
}
