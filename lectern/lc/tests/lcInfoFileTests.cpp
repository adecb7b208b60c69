#include "lectern/lc/lcInfo.h"
#include "lectern/lc/tests/ExpectError.h"

#include "classlib/Platform.h"
#include "classlib/Streams.h"
#include "lectern/lc/memObjList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace {

// A file in the temporary folder, deleted when the test ends.
class TempFile {
public:
    explicit TempFile(const std::string& content, const char* tag = "f")
        : FName(TempFolder() + "lcinfo_" + std::to_string(MyThreadId()) + "_" + tag)
    {
        TFileStream f(FName, fmCreate);
        f.WriteBuffer(content.data(), static_cast<int64_t>(content.size()));
    }
    ~TempFile() { plat::RemoveFile(FName); }
    const std::string& Name() const { return FName; }

private:
    std::string FName;
};

std::string Pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + (i * 7) % 23);
    }
    return s;
}

TEST(LcInfoFiles, ReadFileRangeClampsToTheFile)
{
    const TempFile file("0123456789");
    struct Case { int64_t size; int64_t loc; const char* expected; };
    const Case cases[] = {
        {-1, 0, "0123456789"}, {3, 2, "234"}, {-1, 7, "789"}, {100, 8, "89"}, {5, -3, "01234"},
        {0, 0, ""}, {4, 10, ""}, {4, 50, ""},
        {INT64_MAX, 0, "0123456789"},  // clamped before anything is allocated
        {INT64_MAX, 9, "9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadFileRange(file.Name(), 0, c.size, c.loc), c.expected) << c.size << " at " << c.loc;
    }
    EXPECT_EQ(ReadWholeFile(file.Name(), 2), "0123456789");
    EXPECT_EQ(ReadWholeFile(file.Name() + ".missing", 0), "");
    EXPECT_TRUE(FileIsOpenable(file.Name()));
    EXPECT_FALSE(FileIsOpenable(file.Name() + ".missing"));
}

TEST(LcInfoFiles, ScanFileFindsEveryOccurrenceWhateverTheBlockSize)
{
    const std::string content = Pattern(300);
    const TempFile file(content);
    // Every pattern position and length against every block size, including patterns longer
    // than the block: the result must be std::string::find's.
    for (size_t length : {1u, 2u, 5u, 17u}) {
        for (size_t at = 0; at + length <= content.size(); at += 13) {
            const std::string pattern = content.substr(at, length);
            const int64_t expected = static_cast<int64_t>(content.find(pattern));
            for (int block : {1, 2, 3, 7, 16, 64, 299, 300, 4096}) {
                ASSERT_EQ(ScanFile(file.Name(), pattern, block, 0, 0, 300), expected)
                    << "length " << length << " at " << at << " block " << block;
            }
        }
    }
}

TEST(LcInfoFiles, ScanFileKeepsToItsRegionAndRefusesBadArguments)
{
    //                            0123456789012345678
    const TempFile file(std::string("xxABCxxxxABCxxxxxAB"));
    struct Case { std::string pattern; int block; int64_t loc; int64_t size; int64_t expected; };
    const Case cases[] = {
        {"ABC", 4, 0, 19, 2},      {"ABC", 4, 3, 16, 9},     {"ABC", 4, 3, 8, -1},   // match would end at 12
        {"ABC", 4, 3, 9, 9},       {"ABC", 2, -5, 19, 2},    {"ABC", 4, 10, 100, -1}, // region past the end
        {"ABCD", 4, 0, 19, -1},    {"", 4, 0, 19, -1},       {"ABC", 0, 0, 19, -1},
        {"ABC", -3, 0, 19, -1},    {"ABC", 4, 0, 0, -1},     {"ABC", 4, 0, -1, -1},
        {"xxABCxxxxABCxxxxxABx", 4, 0, 19, -1},  // longer than the file
        {"AB", 1000, 17, 2, 17},
        {"ABC", 0x7FFFFFFF, 0, INT64_MAX, 2},  // the buffer is never larger than the file
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScanFile(file.Name(), c.pattern, c.block, 0, c.loc, c.size), c.expected)
            << c.pattern << " block " << c.block << " loc " << c.loc << " size " << c.size;
    }
    EXPECT_EQ(ScanFile(file.Name() + ".missing", "AB", 4, 0, 0, 10), -1);
}

TEST(LcInfoFiles, WriteFileAtCreatesSeeksAndAppends)
{
    const std::string name = TempFolder() + "lcinfo_write_" + std::to_string(MyThreadId());
    plat::RemoveFile(name);
    EXPECT_FALSE(WriteFileAt(name, "", 0, 0));  // creates the file, writes nothing
    EXPECT_TRUE(plat::FileExists(name));
    EXPECT_EQ(ReadWholeFile(name, 0), "");
    EXPECT_TRUE(WriteFileAt(name, "hello", 0, 0));
    EXPECT_TRUE(WriteFileAt(name, "J", 1, 0));
    EXPECT_TRUE(WriteFileAt(name, " world", 2, -1));
    EXPECT_TRUE(WriteFileAt(name, "!", 0, 13));  // past the end: the gap is zero bytes
    EXPECT_EQ(ReadWholeFile(name, 0), std::string("Jello world\0\0!", 14));
    EXPECT_FALSE(WriteFileAt(name, "", 0, 0));
    EXPECT_EQ(ReadWholeFile(name, 0).size(), 14u);  // an existing file is never truncated
    EXPECT_TRUE(DeleteFileIfPresent(name));
    EXPECT_FALSE(DeleteFileIfPresent(name));
    EXPECT_FALSE(plat::FileExists(name));
    EXPECT_FALSE(WriteFileAt(TempFolder() + "no_such_folder_lc/x", "a", 0, 0));
}

#ifdef _WIN32
TEST(LcInfoFiles, LockedFileIsNeitherReadNorReplacedNorDeleted)
{
    const TempFile file("keep me", "locked");
    {
        TFileStream holder(file.Name(), fmOpenReadWrite | fmShareExclusive);
        EXPECT_FALSE(FileIsOpenable(file.Name()));
        EXPECT_EQ(ReadWholeFile(file.Name(), 0), "");
        EXPECT_EQ(ScanFile(file.Name(), "me", 4, 0, 0, 7), -1);
        EXPECT_FALSE(WriteFileAt(file.Name(), "lost", 0, 0));
        EXPECT_FALSE(DeleteFileIfPresent(file.Name()));
    }
    EXPECT_EQ(ReadWholeFile(file.Name(), 0), "keep me");
    // A file that others may only read is still readable with access 0 but not writable.
    TFileStream reader(file.Name(), fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(ReadWholeFile(file.Name(), 1), "keep me");
    EXPECT_FALSE(WriteFileAt(file.Name(), "lost", 0, 0));
}

TEST(LcInfoFiles, FileTooLargeForMemoryReadsAsEmptyText)
{
    // Sparse files larger than a 32-bit process can hold: the read gives up instead of aborting.
    for (int64_t size : {int64_t{3} << 30, int64_t{5} << 30}) {
        const TempFile file("", "huge");
        {
            TFileStream f(file.Name(), fmOpenReadWrite | fmShareExclusive);
            f.SetSize(size);
        }
        EXPECT_EQ(ReadWholeFile(file.Name(), 0), "") << size;
        EXPECT_EQ(ReadFileRange(file.Name(), 0, 4, size - 4), std::string(4, '\0'));
    }
}
#endif

// ---- thread, folder and object manager ---------------------------------------------------

TEST(LcInfoThread, ThreadIdsAndTempNames)
{
    const uint32_t mine = MyThreadId();
    EXPECT_EQ(mine, plat::CurrentThreadId());
    std::atomic<uint32_t> other{0};
    std::thread([&] { other = MyThreadId(); }).join();
    EXPECT_NE(other.load(), mine);

    const std::string folder = TempFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), plat::PathDelim());
    const std::string a = NewTempFileName();
    const std::string b = NewTempFileName();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    for (const std::string& name : {a, b}) {
        EXPECT_EQ(name.compare(0, folder.size() + 3, folder + "LCT"), 0) << name;
        EXPECT_TRUE(plat::FileExists(name)) << name;
        EXPECT_EQ(ReadWholeFile(name, 0), "");
        EXPECT_TRUE(DeleteFileIfPresent(name));
    }
}

// A manager with links put in directly: nothing in the system registers any.
class TLinkMap : public tObjList {
public:
    TLinkMap() : tObjList(8) {}
    void Put(std::uintptr_t key, TObject* value) { FTree.Insert(key, value); }
};

class TTestManager : public TLcObjectManager {
public:
    TTestManager()
    {
        auto ids = std::make_unique<TLinkMap>();
        auto objects = std::make_unique<TLinkMap>();
        FIds = ids.get();
        FObjects = objects.get();
        FIDLinks = std::move(ids);
        FObjectLinks = std::move(objects);
    }
    void Link(TObject* owner, const TObject* object, int64_t id)
    {
        auto link = std::make_unique<TLcObjectLink>();
        link->FOwner = owner;
        link->FID = id;
        FIds->Put(IdKey(id), link.get());
        FObjects->Put(ObjectKey(object), link.get());
        FLinks.push_back(std::move(link));
    }

private:
    TLinkMap* FIds = nullptr;
    TLinkMap* FObjects = nullptr;
    std::vector<std::unique_ptr<TLcObjectLink>> FLinks;
};

template <class Fn>
void ExpectLinkError(Fn fn, const std::string& message)
{
    ExpectError<ELcObjectLinks>(fn, message);
}

TEST(LcInfoObjectManager, LookUpsAnswerOrRaiseTheirMessages)
{
    TTestManager manager;
    TObject a, b, orphan, zero;
    const int64_t bigId = (int64_t{7} << 32) | 5;
    manager.Link(&a, &a, 5);
    manager.Link(&b, &b, bigId + 1);
    manager.Link(nullptr, &orphan, 9);
    manager.Link(&zero, &zero, 0);

    EXPECT_EQ(manager.FindObject(0), nullptr);
    EXPECT_EQ(manager.FindObject(5), &a);
    EXPECT_EQ(manager.FindObject(bigId + 1), &b);
    EXPECT_EQ(manager.FindOID(nullptr), 0);
    EXPECT_EQ(manager.FindOID(&a), 5);
    EXPECT_EQ(manager.FindOID(&b), bigId + 1);
    const std::string prefix = "TLcObjectManager.FindObject: Object with xOID=";
    ExpectLinkError([&] { manager.FindObject(77); }, prefix + "77 does NOT exist");
    // The same low 32 bits as id 5, but another id.
    ExpectLinkError([&] { manager.FindObject(bigId); }, prefix + std::to_string(bigId) + " does NOT exist");
    ExpectLinkError([&] { manager.FindObject(-3); }, prefix + "-3 does NOT exist");
    ExpectLinkError([&] { manager.FindObject(9); }, prefix + "9 is corrupt (no Owner set)");
    TObject stranger;
    ExpectLinkError([&] { manager.FindOID(&stranger); }, "TLcObjectManager.FindOID: Object not found");
    ExpectLinkError([&] { manager.FindOID(&zero); }, "TLcObjectManager.FindOID: Found Object has invalid ID");
}

TEST(LcInfoObjectManager, NoManagerIsActiveOnAnyThread)
{
    ExpectLinkError([] { GetObjectManager(); }, "No active LC Object Manager.");  // before unit start
    InitializeLcInfo();
    EXPECT_FALSE(LcExeFileName().empty());
    EXPECT_NE(LcExeFileName().find("lc_info_text_tests"), std::string::npos) << LcExeFileName();
    ExpectLinkError([] { GetObjectManager(); }, "No active LC Object Manager.");
    std::thread([] { ExpectLinkError([] { GetObjectManager(); }, "No active LC Object Manager."); }).join();
    FinalizeLcInfo();
    EXPECT_TRUE(LcExeFileName().empty());
}

}  // namespace
