// The container marker must not occur whole in any program image we build: the marker search
// takes the first occurrence in the file, so a viewer with the marker in its own code would
// never find the book appended behind it.
#include "tests/support/BookWriter.h"

#include "classlib/Platform.h"
#include "classlib/Streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool IsImage(const std::filesystem::path& path)
{
    const std::string ext = path.extension().string();
    return ext == ".exe" || ext == ".dll" || ext == ".a" || ext == ".o" || ext == ".obj";
}

// True when the file holds the marker; files that cannot be read (e.g. being written) count
// as clean, and are listed in unread.
bool HoldsMarker(const std::string& path, const std::string& marker, std::vector<std::string>& unread)
{
    TMemoryStream data;
    try {
        data.LoadFromFile(path);
    } catch (const Exception&) {
        unread.push_back(path);
        return false;
    }
    const auto* begin = data.Memory();
    const auto* end = begin + data.Size();
    return std::search(begin, end, marker.begin(), marker.end()) != end;
}

}  // namespace

TEST(MarkerImage, NoBuiltImageHoldsTheMarker)
{
    const std::string marker = booktest::BookMarker();
    ASSERT_EQ(marker.size(), 53u);
    std::vector<std::string> files = {plat::ExePath()};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             LECTERN_BUILD_TREE, std::filesystem::directory_options::skip_permission_denied)) {
        if (entry.is_regular_file() && IsImage(entry.path())) {
            files.push_back(entry.path().string());
        }
    }
    ASSERT_GT(files.size(), 3u);
    std::vector<std::string> unread;
    for (const std::string& file : files) {
        EXPECT_FALSE(HoldsMarker(file, marker, unread)) << file;
    }
    EXPECT_LT(unread.size(), files.size());
}
