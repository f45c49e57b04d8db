// What the Win32 half of the shell shares.
#pragma once

#include "platform/win32/handles.h"

#include <windows.h>

extern HINSTANCE AppInstance;
extern HACCEL AppAccelerators;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
