// The version resource generated from the project's version: what GetFileVersionInfoW finds in a
// program file built with mirota_windows_program (this test program is one).
#include "BuildVersion.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::vector<unsigned char> OwnVersionInfo() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path)) return {};
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    std::vector<unsigned char> data(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, data.data())) return {};
    return data;
}

std::wstring StringValue(std::vector<unsigned char>& info, const wchar_t* name) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
        return {};
    return std::wstring(text, length > 0 && text[length - 1] == L'\0' ? length - 1 : length);
}

TEST(VersionResource, FixedAndStringVersionsAreTheProjectsVersion) {
    std::vector<unsigned char> info = OwnVersionInfo();
    ASSERT_FALSE(info.empty()) << "no version resource";

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), MIROTA_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), MIROTA_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), MIROTA_VERSION_PATCH);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), MIROTA_VERSION_TWEAK);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    const std::string version = MIROTA_VERSION_STRING;
    const std::wstring wide(version.begin(), version.end());
    EXPECT_EQ(StringValue(info, L"FileVersion"), wide);
    EXPECT_EQ(StringValue(info, L"ProductVersion"), wide);
    EXPECT_EQ(StringValue(info, L"OriginalFilename"), L"windows_version_resource_test.exe");
}

} // namespace
