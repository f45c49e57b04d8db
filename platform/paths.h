// Directories and paths, for the console front end: what it needs from the
// system besides the data files. One implementation per platform, chosen at
// link time like the file seam (platform/posix/, platform/win32/).
#pragma once

#include <string>
#include <vector>

bool IsDirectory(const std::string& path);
bool IsFile(const std::string& path);

// `path` made absolute against the current directory ("" when it cannot be).
std::string AbsolutePath(const std::string& path);
// `directory` + separator + `name`.
std::string JoinPath(const std::string& directory, const char* name);
bool ChangeDirectory(const std::string& path);

// The program's own directory under the system's temporary directory, the
// same at every run, so that what a test writes there replaces what the last
// one wrote instead of piling up; "" when none can be had.
std::string WorkDirectory();
// Whether two paths name the same existing file.
bool SameFile(const std::string& a, const std::string& b);
// The names of the files of a directory, in order; empty when there are none.
std::vector<std::string> FilesIn(const std::string& directory);
