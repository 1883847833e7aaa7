// The Edit menu: Copy, Find, Find next, Find previous and Go to, with their keys.
#pragma once

class wxFrame;
class wxMenu;
class TfindBar;
class TreeMidPane;

// Binds the items' handlers on frame; the menu goes into frame's menu bar.
wxMenu* makeEditMenu(wxFrame& frame, TfindBar& findBar, TreeMidPane& tree);
