// The seam's references and the Win32 handles they stand for, for the Win32
// implementation and the Win32 shell alone.
#pragma once

#include "platform/platform.h"

#include <windows.h>

inline HANDLE NativeFile(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }
inline HWND NativeWindow(WindowRef window) { return reinterpret_cast<HWND>(window.value); }
inline HDC NativeSurface(SurfaceRef surface) { return reinterpret_cast<HDC>(surface.value); }
inline HGDIOBJ NativeFont(FontRef font) { return reinterpret_cast<HGDIOBJ>(font.value); }

inline FileHandle FileHandleOf(HANDLE file) { return FileHandle{reinterpret_cast<std::uintptr_t>(file)}; }
inline WindowRef WindowRefOf(HWND window) { return WindowRef{reinterpret_cast<std::uintptr_t>(window)}; }
inline SurfaceRef SurfaceRefOf(HDC surface) { return SurfaceRef{reinterpret_cast<std::uintptr_t>(surface)}; }
inline FontRef FontRefOf(HGDIOBJ font) { return FontRef{reinterpret_cast<std::uintptr_t>(font)}; }
