// A failed wx assertion fails the test instead of opening a modal box.
#include <gtest/gtest.h>
#include <wx/debug.h>
#include <wx/string.h>

namespace {

void failOnAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                  const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str(), line)
      << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " " << msg.utf8_string();
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  wxSetAssertHandler(failOnAssert);
  return RUN_ALL_TESTS();
}
