// Find on a big capture: box texts and bytes scanned, and a match in the
// decode texts far ahead found while the window paints.
#pragma once

#include <functional>

class TreePane;

void findFigures(TreePane& tree, const std::function<void()>& paint);
