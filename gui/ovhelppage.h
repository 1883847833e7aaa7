// The Help button and menu: the help page in the user's web browser.
#pragma once

class wxWindow;

// Opens the help page; when no browser can be started, a message box says where the page is.
void openHelpPage(wxWindow* parent);
