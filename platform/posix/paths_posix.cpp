// Directories, paths and copies on Linux.
#include "platform/paths.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char here[4096];
    if (::getcwd(here, sizeof here) == nullptr) return std::string();
    return JoinPath(here, path.c_str());
}

std::string JoinPath(const std::string& directory, const char* name) {
    if (!directory.empty() && directory.back() == '/') return directory + name;
    return directory + "/" + name;
}

bool ChangeDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::string WorkDirectory() {
    const char* base = std::getenv("TMPDIR");
    // Named after the user, and kept only when it is a directory of theirs
    // that nobody else may write in: a shared /tmp is anyone's to fill.
    const std::string name = "chkort-cli-" + std::to_string(::getuid());
    const std::string own = JoinPath(base && *base ? base : "/tmp", name.c_str());
    ::mkdir(own.c_str(), 0700);
    struct stat st;
    if (::lstat(own.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return own;
    std::string fresh = own + "-XXXXXX";
    if (::mkdtemp(fresh.data()) == nullptr) return std::string();
    return fresh;
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}


std::vector<std::string> FilesIn(const std::string& directory) {
    std::vector<std::string> names;
    DIR* d = ::opendir(directory.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = ::readdir(d))
        if (IsFile(JoinPath(directory, e->d_name))) names.push_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}
