// The one message box of every program, and the application title that
// captions it.
#pragma once

#include <windows.h>

#include <string>

// The application title, used as the caption of messages that have none.
// The application object sets it.
void SetApplicationTitle(std::u16string title);
const std::u16string& ApplicationTitle();

// A modal message box (MessageBoxW) owned by owner (nullptr: none) with the
// buttons and icon of style; the button chosen. An empty caption is the
// application title.
int ShowMessageBox(HWND owner, const std::u16string& text, const std::u16string& caption,
                   UINT style);
