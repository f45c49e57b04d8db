// The stand-in host executables carry the version block that the version
// guard reads: the fixed file version, a translation, and the strings it
// names. Read here the way the guard reads it, through the version API.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Host {
    const char* dir;
    unsigned major, minor;
};

TEST(FakeHost, EachVersionBlockNamesItsVersion) {
    for (const Host& h : {Host{"12.9", 12, 9}, Host{"13.0", 13, 0}, Host{"13.1", 13, 1}, Host{"14.0", 14, 0},
                          Host{"16.5", 16, 5}}) {
        const std::string path = std::string(CHKORT_FAKEHOST_DIR) + "/" + h.dir + "/ortavo.exe";
        SCOPED_TRACE(path);
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> block(size);
        ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), h.major);
        EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), h.minor);

        WORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &length));
        ASSERT_GE(length, 4u);
        char key[96];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\InternalName", translation[0], translation[1]);
        char* name = nullptr;
        ASSERT_TRUE(VerQueryValueA(block.data(), key, reinterpret_cast<void**>(&name), &length)) << key;
        EXPECT_STREQ(name, "ORTAVO");

        // The UTF-8 script reaches the block as Windows-1252 text.
        std::snprintf(key, sizeof key, "\\StringFileInfo\\%04x%04x\\FileDescription", translation[0], translation[1]);
        ASSERT_TRUE(VerQueryValueA(block.data(), key, reinterpret_cast<void**>(&name), &length)) << key;
        EXPECT_NE(std::string(name).find("ex\xE9" "cutable de d\xE9monstration"), std::string::npos) << name;
    }
}

} // namespace
