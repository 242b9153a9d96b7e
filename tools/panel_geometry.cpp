// panel-geometry [TEMPLATE]: prints where the controls of the panel (ConfigDlg) or of another of the
// program's dialogs lie, in pixels from the dialog's top-left corner.
#include <windows.h>

#include <cstdio>

static INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  const char* templateName = commandLine != nullptr && commandLine[0] != '\0' ? commandLine : "ConfigDlg";
  WNDCLASSA hostClass = {};
  hostClass.lpfnWndProc = HostProc;
  hostClass.hInstance = instance;
  hostClass.lpszClassName = "PanelGeometryHost";
  RegisterClassA(&hostClass);
  HWND host = CreateWindowExA(0, "PanelGeometryHost", "", WS_OVERLAPPEDWINDOW, 0, 0, 400, 800, nullptr,
                              nullptr, instance, nullptr);
  HWND panel = CreateDialogParamA(instance, templateName, host, QuietDialogProc, 0);
  if (!panel) {
    fprintf(stderr, "panel-geometry: the dialog %s could not be created\n", templateName);
    return 1;
  }
  RECT panelRect;
  GetWindowRect(panel, &panelRect);
  // One line per control: identifier, left, top, right, bottom.
  for (HWND control = GetWindow(panel, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(control, &r);
    printf("%d %ld %ld %ld %ld\n", GetDlgCtrlID(control), static_cast<long>(r.left - panelRect.left),
           static_cast<long>(r.top - panelRect.top), static_cast<long>(r.right - panelRect.left),
           static_cast<long>(r.bottom - panelRect.top));
  }
  DestroyWindow(host);
  return 0;
}
