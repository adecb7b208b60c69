// Temporary files for the book tests: each test gets names of its own, removed at its end.
#pragma once

#include "classlib/Platform.h"
#include "classlib/PlatformText.h"
#include "classlib/Streams.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class BookFilesTest : public ::testing::Test {
protected:
    // A fresh temporary file name; the file is removed when the test ends.
    std::string TempPath(const std::string& suffix = "book.bin")
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = plat::TempDir() + "lbtest_" + std::to_string(plat::CurrentThreadId()) + "_" +
                           info->name() + "_" + std::to_string(FPaths.size()) + "_" + suffix;
        FPaths.push_back(path);
        return path;
    }

    // The same, wide: its file name ends with the suffix, whatever the code page holds.
    std::u16string TempPathWide(const std::u16string& suffix)
    {
        std::u16string path = plat::SystemToWide(TempPath("")) + suffix;
        FWidePaths.push_back(path);
        return path;
    }

    void TearDown() override
    {
        for (const std::string& path : FPaths) {
            plat::RemoveFile(path);
        }
        for (const std::u16string& path : FWidePaths) {
            plat::RemoveFile(path);
        }
    }

    static std::string ReadFileBytes(const std::string& path)
    {
        TMemoryStream data;
        data.LoadFromFile(path);
        return data.DataString();
    }

    template <class Path>
    static void WriteFileBytes(const Path& path, const std::string& bytes)
    {
        TFileStream file(path, fmCreate);
        file.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    }

private:
    std::vector<std::string> FPaths;
    std::vector<std::u16string> FWidePaths;
};
