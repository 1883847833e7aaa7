// Narrow texts from the core and the scripts into wx: UTF-8 when it is valid,
// else Latin-1, so no byte sequence makes a whole text vanish (as the "C"
// locale conversion does).
#pragma once

#include <wx/string.h>

#include <string>

wxString toWx(const std::string& text);
