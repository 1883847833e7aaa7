// Starts wxWidgets on the (virtual) display before the tests draw.
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/image.h>
#include <wx/log.h>

namespace {

class TtestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

// A failed wx assertion fails the test instead of opening a box.
void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str(), line) << func << ": " << cond << " " << msg;
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(TtestApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 2;
  wxSetAssertHandler(failOnAssert);
  wxInitAllImageHandlers();
  const int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
