#include "classlib/Components.h"
#include "classlib/Events.h"
#include "classlib/Platform.h"
#include "classlib/StringList.h"
#include "classlib/Streams.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::string TempFile(const char* name)
{
    return plat::TempDir() + "classlib_" + std::to_string(plat::CurrentThreadId()) + "_" + name;
}

// ---- components ---------------------------------------------------------------------------

struct Probe : TComponent {
    using TComponent::TComponent;
    std::vector<std::pair<TComponent*, TOperation>> seen;
    TComponent* watched = nullptr;
    void Notification(TComponent* c, TOperation op) override
    {
        seen.emplace_back(c, op);
        if (op == TOperation::opRemove && c == watched) {
            watched = nullptr;
        }
    }
    CL_CLASS_NAME(Probe)
};

TEST(Components, OwnerFreesOwnedAndChildLeavesOwnerWhenFreedFirst)
{
    auto owner = std::make_unique<Probe>(nullptr);
    auto* a = new Probe(owner.get());
    auto* b = new Probe(owner.get());
    ASSERT_EQ(owner->ComponentCount(), 2);
    EXPECT_EQ(a->Owner(), owner.get());
    const TComponent* gone = a;
    delete a;
    EXPECT_EQ(owner->ComponentCount(), 1);
    EXPECT_EQ(owner->Components(0), b);
    ASSERT_EQ(owner->seen.size(), 3u);  // insert a, insert b, remove a
    EXPECT_EQ(owner->seen[2].first, gone);
    EXPECT_EQ(owner->seen[2].second, TOperation::opRemove);
    owner.reset();  // frees b; ASan reports a leak or double free otherwise
}

TEST(Components, FreeNotificationClearsTheSubscribersPointer)
{
    Probe watcher(nullptr);
    auto target = std::make_unique<Probe>(nullptr);
    watcher.watched = target.get();
    target->FreeNotification(&watcher);
    target.reset();
    EXPECT_EQ(watcher.watched, nullptr);

    // A subscriber that goes first is forgotten: the target's destruction must not call it.
    auto target2 = std::make_unique<Probe>(nullptr);
    {
        Probe shortLived(nullptr);
        target2->FreeNotification(&shortLived);
    }
    target2.reset();
}

struct LoadProbe : TComponent {
    LoadProbe(TComponent* owner, std::vector<std::string>& log, std::string name)
        : TComponent(owner), log(log), name(std::move(name))
    {
    }
    void Loaded() override
    {
        log.push_back(name);
        if (makes) {
            new LoadProbe(Owner(), log, name + "'s child");
        }
    }
    std::vector<std::string>& log;
    std::string name;
    bool makes = false;
    CL_CLASS_NAME(LoadProbe)
};

TEST(Components, LoadingRunsEveryOwnedComponentsLoadedOnceInOrder)
{
    std::vector<std::string> log;
    TComponent form(nullptr);
    new LoadProbe(&form, log, "a");
    auto* b = new LoadProbe(&form, log, "b");
    auto* c = new LoadProbe(&form, log, "c");
    c->makes = true;
    LoadComponent(b);   // ahead of the others
    LoadComponents(&form);
    LoadComponents(&form);
    EXPECT_EQ(log, (std::vector<std::string>{"b", "a", "c", "c's child"}));
    EXPECT_TRUE(b->ComponentLoaded());
}

TEST(Persistent, AssignWithoutSupportRaisesConvertErrorNamingBothClasses)
{
    TPersistent a;
    Probe b(nullptr);
    try {
        a.Assign(&b);
        FAIL();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "Cannot assign a Probe to a TPersistent");
    }
    EXPECT_THROW(a.Assign(nullptr), EConvertError);
}

// ---- events -------------------------------------------------------------------------------

struct Counter : TObject {
    int total = 0;
    void Add(int n) { total += n; }
    void Sub(int n) { total -= n; }
};

TEST(Events, CallCompareAndEmpty)
{
    Counter c, d;
    TEvent<int> empty;
    EXPECT_FALSE(empty);
    TEvent<int> add(&c, &Counter::Add);
    add(5);
    EXPECT_EQ(c.total, 5);
    EXPECT_EQ(add, TEvent<int>(&c, &Counter::Add));
    EXPECT_NE(add, TEvent<int>(&c, &Counter::Sub));
    EXPECT_NE(add, TEvent<int>(&d, &Counter::Add));
}

// ---- streams ------------------------------------------------------------------------------

TEST(MemoryStream, WriteSeekReadAndShortReads)
{
    TMemoryStream m;
    m.WriteInt32(-2);
    m.WriteBuffer("abc", 3);
    EXPECT_EQ(m.Size(), 7);
    m.SetPosition(0);
    EXPECT_EQ(m.ReadInt32(), -2);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 3);
    EXPECT_EQ(std::string(buf), "abc");
    EXPECT_EQ(m.Read(buf, 8), 0);
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
    m.Seek(-1, SeekOrigin::End);
    EXPECT_EQ(m.Position(), 6);
    m.SetPosition(10);  // writing past the end fills the gap with zero bytes
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.DataString(), std::string("\xfe\xff\xff\xff" "abc\0\0\0z", 11));
}

TEST(MemoryStream, CopyFromWholeSourceWhenCountIsZero)
{
    TMemoryStream src, dst;
    std::string data(200000, 'x');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    src.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    dst.WriteBuffer("hd", 2);
    EXPECT_EQ(dst.CopyFrom(src, 0), 200000);
    EXPECT_EQ(dst.DataString(), "hd" + data);
}

TEST(FileStream, CreateOpenAndErrors)
{
    const std::string name = TempFile("fs.bin");
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("hello", 5);
    }
    {
        TFileStream f(name, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(f.Size(), 5);
        char buf[5];
        f.ReadBuffer(buf, 5);
        EXPECT_EQ(std::string(buf, 5), "hello");
        // Deny-write sharing still lets a second reader in.
        TFileStream g(name, fmOpenRead | fmShareDenyNone);
        EXPECT_EQ(g.Size(), 5);
#ifdef _WIN32
        EXPECT_THROW(TFileStream(name, fmOpenReadWrite | fmShareDenyNone), EFOpenError);
#endif
    }
    EXPECT_TRUE(plat::RemoveFile(name));
    try {
        TFileStream f(name, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot open file \"" + name + "\". ", 0), 0u) << e.Message();
    }
}

TEST(FileViewStream, ViewsOfOneHandleKeepPositionsOfTheirOwn)
{
    const std::string name = TempFile("view.bin");
    {
        TFileStream f(name, fmCreate);
        f.WriteBuffer("0123456789", 10);
    }
    {
        TFileStream f(name, fmOpenRead | fmShareDenyWrite);
        TFileViewStream a(f.Handle(), f.Size());
        TFileViewStream b(f.Handle(), f.Size());
        char buf[8] = {};
        a.Seek(2, SeekOrigin::Begin);
        ASSERT_EQ(a.Read(buf, 3), 3);
        EXPECT_EQ(std::string(buf, 3), "234");
        ASSERT_EQ(b.Read(buf, 2), 2);
        EXPECT_EQ(std::string(buf, 2), "01") << "b reads from its own start";
        ASSERT_EQ(a.Read(buf, 8), 5);
        EXPECT_EQ(std::string(buf, 5), "56789") << "a goes on where it stopped";
        EXPECT_EQ(a.Read(buf, 8), 0);
        EXPECT_EQ(a.Position(), 10);
        EXPECT_EQ(b.Seek(-3, SeekOrigin::End), 7);
        ASSERT_EQ(b.Read(buf, 8), 3);
        EXPECT_EQ(std::string(buf, 3), "789");
        EXPECT_THROW(b.WriteBuffer("x", 1), EWriteError);
    }
    EXPECT_TRUE(plat::RemoveFile(name));
}

// ---- string list --------------------------------------------------------------------------

TEST(StringList, TextSplitsAtEveryLineBreakKindAndKeepsLastLine)
{
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb\r\n", {"a", "", "b"}},
        {"\r\n", {""}},
        {"x\n\r", {"x", ""}},
    };
    for (const Case& c : cases) {
        TStringList list;
        list.SetText(c.text);
        std::vector<std::string> got;
        for (int i = 0; i < list.Count(); ++i) got.push_back(list[i]);
        EXPECT_EQ(got, c.lines) << "text: " << c.text;
    }
    TStringList list;
    list.SetText("a\nb");
    EXPECT_EQ(list.Text(), "a\r\nb\r\n");
}

TEST(StringList, NameValueAccess)
{
    TStringList list;
    list.SetText("Title=My Book\r\nINDEX=start.html\r\n[MainMenu]\r\nEmpty=\r\nEq=a=b");
    EXPECT_EQ(list.Values("title"), "My Book");
    EXPECT_EQ(list.Values("Eq"), "a=b");
    EXPECT_EQ(list.Values("Missing"), "");
    EXPECT_EQ(list.IndexOfName("EMPTY"), 3);
    EXPECT_EQ(list.Names(2), "");
    list.SetValues("Index", "other.html");
    EXPECT_EQ(list[1], "Index=other.html");
    list.SetValues("New", "1");
    EXPECT_EQ(list[list.Count() - 1], "New=1");
    list.SetValues("Title", "");
    EXPECT_EQ(list.IndexOfName("Title"), -1);
    EXPECT_THROW(list.Strings(99), EListError);
    EXPECT_THROW(list.Delete(-1), EListError);
}

TEST(StringList, LoadsFromTheStreamPosition)
{
    TMemoryStream m;
    m.WriteBuffer("skip\r\nA=1\r\nB=2", 14);
    m.SetPosition(6);
    TStringList list;
    list.LoadFromStream(m);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Values("B"), "2");
}

// ---- platform seam ------------------------------------------------------------------------

TEST(Platform, CompareTextLocaleIgnoresCase)
{
    EXPECT_EQ(plat::CompareTextLocale("Index.HTML", "index.html"), plat::TextOrder::Equal);
    EXPECT_EQ(plat::CompareTextLocale("a", "B"), plat::TextOrder::Less);
    EXPECT_EQ(plat::CompareTextLocale("b", "A"), plat::TextOrder::Greater);
    EXPECT_EQ(plat::CompareTextLocale("ab", "abc"), plat::TextOrder::Less);
}

TEST(Platform, ExePathAndTempDir)
{
    EXPECT_TRUE(plat::FileExists(plat::ExePath())) << plat::ExePath();
    const std::string temp = plat::TempDir();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), plat::PathDelim());
    EXPECT_NE(plat::CurrentThreadId(), 0u);
}

}  // namespace

// ---- pictures -------------------------------------------------------------------------------

#include "classlib/Graphics.h"

namespace {

struct DotPicture : TGraphic {
    void Draw(TCanvas*, const TRect&) override {}
    bool GetEmpty() const override { return true; }
    int32_t GetHeight() const override { return 0; }
    int32_t GetWidth() const override { return 0; }
    void SetHeight(int32_t) override {}
    void SetWidth(int32_t) override {}
    void LoadFromStream(TStream&) override {}
    void SaveToStream(TStream&) override {}
    static std::unique_ptr<TGraphic> Make() { return std::make_unique<DotPicture>(); }
};

TEST(Graphics, FileFormatsAreFoundByExtensionWithCaseIgnoredUntilUnregistered)
{
    RegisterFileFormat("DOT", "Dot picture", &DotPicture::Make);
    EXPECT_EQ(GraphicFactoryForExtension("dot"), &DotPicture::Make);
    EXPECT_EQ(GraphicDescription("Dot"), "Dot picture");
    EXPECT_EQ(GraphicFactoryForExtension("dots"), nullptr);
    UnregisterFileFormat(&DotPicture::Make);
    EXPECT_EQ(GraphicFactoryForExtension("DOT"), nullptr);
    EXPECT_EQ(GraphicDescription("DOT"), "");
}

TEST(Graphics, ColorToRGBKeepsTheLowThreeBytesOfPlainColours)
{
    EXPECT_EQ(ColorToRGB(0x00123456), 0x123456u);
    EXPECT_EQ(ColorToRGB(clNone), 0xFFFFFFu);
}

}  // namespace
