// The version of chkort.exe, fed to its version block.
#pragma once

#define CHKORT_VERSION_MAJOR 1
#define CHKORT_VERSION_MINOR 0
#define CHKORT_VERSION_PATCH 0
#define CHKORT_VERSION_TEXT "1.0.0"
