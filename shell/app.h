// The main window's decisions, apart from Win32: what creation opens, what a
// paint draws, where each command goes, when "Corriger" and "Imprimer" apply.
// The Win32 window procedure turns messages into these calls.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// Host-version guard: the host executable is looked for at the root of the
// current drive, and versions below 13.1 are refused.
void HostExecutablePath(const char* currentDirectory, char* out, std::size_t capacity);
bool HostVersionAccepted(unsigned major, unsigned minor);
extern const char HostRefusedText[];
extern const char HostRefusedCaption[];

// Window creation: the data files in their order, the screen font, the four
// counters. Window destruction: the files closed in their order, the font
// deleted.
void OnMainWindowCreate(WindowRef window);
void OnMainWindowDestroy();

// Paints the current view on `surface` (ScreenFont selected meanwhile).
void PaintCurrentView(SurfaceRef surface);

// A menu or accelerator command. Always 0.
int RouteCommand(WindowRef window, unsigned id);

// Every command that asks for input first. Always 0.
int DispatchCommand(WindowRef window, unsigned id);

// Whether "Corriger" and "Imprimer" apply: a patient's view is on screen.
bool ViewCommandsEnabled();

// Options > "Corriger": on a patient's view, the line asked for (LIGNE),
// then the chain cut after it.
void CorrectCurrentView(WindowRef window);
