#include "shell/InfoMessage.h"

#include "win/MessageBox.h"

void ShowInfoMessage(const std::u16string& Text, const std::u16string& Caption) {
  ShowMessageBox(GetActiveWindow(), Text, Caption, MB_OK | MB_ICONINFORMATION);
}
