// The information message.
#pragma once

#include <string>

// A modal information box with one OK button, owned by the active window;
// an empty caption is the application title (win/MessageBox.h).
void ShowInfoMessage(const std::u16string& Text, const std::u16string& Caption = u"");
