// What Copy puts on the clipboard for a row: its text form line, its decode
// text as plain text and its bytes as a hex dump.
#pragma once

#include <string>

#include "decode/ovbase.h"

// decodeMarkup: the scripts' text of the row, as the decode pane gets it.
std::string rowCopyText(const TobjPtr& obj, const std::string& decodeMarkup);
