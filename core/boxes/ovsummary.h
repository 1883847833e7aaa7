// A display row as one readable line, for terminals: the time since the capture start, the
// row's level as indent, then its boxes as "name value", as the row reads on screen.
#pragma once

#include <memory>
#include <string>

#include "boxes/ovboxes.h"

// " 20.005416 ms    Transaction 1  SETUP ADDR 0 ENDP 0 ... ACK", without a newline; empty
// without an object. A grouping row takes the time of its first packet. boxes is working space.
std::string summaryLine(const std::shared_ptr<Tbase>& obj, Tboxes& boxes);
