// The application object of the GUI program.
#pragma once

#include <wx/app.h>

class TmainFrame;

class TovApp : public wxApp {
 public:
  bool OnInit() override;

 private:
  TmainFrame* frame = nullptr;
};
