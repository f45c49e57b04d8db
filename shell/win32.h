// What the Win32 half of the shell shares.
#pragma once

#include <windows.h>

extern HINSTANCE AppInstance;
extern HACCEL AppAccelerators;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
