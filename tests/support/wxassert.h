// A failed wx assertion fails the test instead of opening a modal box.
#pragma once

#include <gtest/gtest.h>
#include <wx/debug.h>
#include <wx/string.h>

inline void failOnWxAssert(const wxString& file, int line, const wxString& func, const wxString& cond,
                           const wxString& msg) {
  ADD_FAILURE_AT(file.utf8_str(), line)
      << "wx assertion in " << func.utf8_string() << ": " << cond.utf8_string() << " " << msg.utf8_string();
}
