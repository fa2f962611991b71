// Drawlet, the sample product that the setup program installs: one window
// titled with the product's name and version, in which the mouse draws.
#include <windows.h>

#include <vector>

namespace {

const wchar_t kTitle[] = L"Norvane Drawlet 3.50";

std::vector<std::vector<POINT>> strokes;

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      SetCapture(hwnd);
      strokes.push_back({POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))}});
      return 0;
    case WM_MOUSEMOVE:
      if ((wp & MK_LBUTTON) && !strokes.empty()) {
        strokes.back().push_back(
            POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_LBUTTONUP:
      ReleaseCapture();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT rc;
      GetClientRect(hwnd, &rc);
      FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      const wchar_t hint[] = L"Draw with the left mouse button.";
      TextOutW(dc, 10, 10, hint, static_cast<int>(wcslen(hint)));
      for (const auto& s : strokes) {
        if (s.size() > 1)
          Polyline(dc, s.data(), static_cast<int>(s.size()));
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
  wc.hIcon = LoadIconW(instance, L"AppIcon");
  wc.lpszClassName = L"NorvaneDrawlet";
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowW(wc.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 640, 480, nullptr, nullptr, instance, nullptr);
  if (hwnd == nullptr)
    return 1;
  ShowWindow(hwnd, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
