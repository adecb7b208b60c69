#include "lectern/app/uBrowserRules.h"

#include <gtest/gtest.h>

namespace {

using A = TNavigationAction;

TEST(Navigation, LinksByAddressSettingAndTheirPage)
{
    const std::string base = "http://127.0.0.1:8000/tomekit.7/0F8FAD5B-D9CB-469F-A165-70867728950E/";
    const std::string book = base + "index.html";
    const std::string web = "http://example.org/page.html";
    struct Case {
        std::string url;
        std::string from;   // the page shown
        A closed, open;     // OpenExternal off, on
    };
    const Case cases[] = {
        {"about:blank", book, A::LeaveAlone, A::LeaveAlone},
        {base + "chapter1.html", book, A::Load, A::Load},
        {base + "chapter1.html", web, A::Load, A::Load},
        {"HTTP://127.0.0.1:8000/TOMEKIT.7/0f8fad5b-d9cb-469f-a165-70867728950e/x.htm", book, A::Load, A::Load},
        {"javascript:void(0)", book, A::Load, A::Load},
        {"res://ieframe.dll/x", book, A::Load, A::Load},
        {web, book, A::Load, A::OpenExternal},
        {"https://example.org/", book, A::Load, A::OpenExternal},
        {"http://127.0.0.1:8000/other/", book, A::Load, A::OpenExternal},
        {"mailto:someone@example.org", book, A::OpenExternal, A::OpenExternal},
        {"ftp://example.org/f", book, A::OpenExternal, A::OpenExternal},
        {"exec:setup.exe;/q", book, A::Execute, A::Execute},
        {"EXEC:setup.exe", book, A::Execute, A::Execute},
        {"exec:setup.exe", "", A::Refuse, A::Refuse},             // no page, nothing behind it
        {"exec:setup.exe", "about:blank", A::Refuse, A::Refuse},
        {"exec:calc.exe", web, A::Refuse, A::Refuse},
        {"exec:calc.exe", "http://127.0.0.1:8000/tomekit.7/other-run/x.html", A::Refuse, A::Refuse},
        {"file:///C:/Windows/notepad.exe", book, A::OpenExternal, A::OpenExternal},
        {"FILE://server/share/x.exe", web, A::Refuse, A::Refuse},
        // What the shell would open, in the forms the platforms report: from the book it goes
        // there, from a page that is not the book's it is refused.
        {"Z:\\tmp\\x.bat", book, A::OpenExternal, A::OpenExternal},
        {"Z:\\tmp\\x.bat", web, A::Refuse, A::Refuse},
        {"z:/tmp/x.bat", web, A::Refuse, A::Refuse},
        {"C:x.bat", web, A::Refuse, A::Refuse},
        {"\\\\server\\share\\x.bat", web, A::Refuse, A::Refuse},
        {"\\\\?\\C:\\x.bat", web, A::Refuse, A::Refuse},
        {"file:///C:/a%20b.bat", web, A::Refuse, A::Refuse},
        {"FiLe:///c:/x.bat", web, A::Refuse, A::Refuse},
        {"%66ile:///c:/x.bat", web, A::Refuse, A::Refuse},
        {" file:///c:/x.bat", web, A::Refuse, A::Refuse},
        {"x.bat", web, A::Refuse, A::Refuse},
        {"mailto:someone@example.org", web, A::Refuse, A::Refuse},
        {"ms-settings:display", web, A::Refuse, A::Refuse},
        {"search-ms:query=x", web, A::Refuse, A::Refuse},
        {"ftp://example.org/f", web, A::Refuse, A::Refuse},
        {"About:Blank", web, A::LeaveAlone, A::LeaveAlone},
        // Web pages stay web pages: loaded, or with OpenExternal the system's browser.
        {web, web, A::Load, A::OpenExternal},
        {"HTTPS://example.org/", web, A::Load, A::OpenExternal},
        {"javascript:void(0)", web, A::Load, A::Load},
    };
    for (const Case& c : cases) {
        const TNavigationSource top{c.from, true};
        EXPECT_EQ(DecideNavigation(c.url, base, top, false), c.closed) << c.url << " from " << c.from;
        EXPECT_EQ(DecideNavigation(c.url, base, top, true), c.open) << c.url << " from " << c.from;
    }
}

TEST(Navigation, TrustComesFromTheFrameThatNavigates)
{
    const std::string base = "http://127.0.0.1:8000/tomekit.7/0F8FAD5B-D9CB-469F-A165-70867728950E/";
    const std::string book = base + "index.html";
    const std::string web = "https://video.example.org/embed/1";
    struct Case {
        const char* what;
        TNavigationSource from;
        bool trusted;
    };
    const Case cases[] = {
        {"a book page in the page view", {book, true}, true},
        {"a book page in a frame", {base + "toc.html", false}, true},
        {"a remote frame inside a book page", {web, false, book}, false},
        {"a remote page in the page view", {web, true}, false},
        {"another run's address", {"http://127.0.0.1:8000/tomekit.7/11111111-2222-3333-4444-555555555555/x.html", true},
         false},
        // A frame without a page of its own is judged by the page that holds it.
        {"a blank frame in a book page", {"about:blank", false, book}, true},
        {"an empty frame in a book page", {"", false, book}, true},
        {"a blank frame in a remote page", {"about:blank", false, web}, false},
        {"an empty frame in a remote page", {"", false, web}, false},
        {"a blank frame held by nothing that can be read", {"about:blank", false, ""}, false},
        // The page view without a page, by the page it showed before.
        {"the page view before its first page", {"", true, ""}, false},
        {"the page view on about:blank with nothing behind it", {"about:blank", true, ""}, false},
        {"the page view on about:blank after a book page", {"about:blank", true, book}, true},
        {"the page view on about:blank after a remote page", {"about:blank", true, web}, false},
        // What the viewer starts itself is the book's, whatever page shows.
        {"the viewer's own over a remote page", {web, true, "", true}, true},
        {"the viewer's own before the first page", {"", true, "", true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(FromTheBook(c.from, base), c.trusted);
        for (const bool openExternal : {false, true}) {
            EXPECT_EQ(DecideNavigation("file:///Z:/x.bat", base, c.from, openExternal),
                      c.trusted ? A::OpenExternal : A::Refuse);
            EXPECT_EQ(DecideNavigation("exec:setup.exe", base, c.from, openExternal), c.trusted ? A::Execute : A::Refuse);
            EXPECT_EQ(DecideNavigation(base + "chapter1.html", base, c.from, openExternal), A::Load);
        }
    }
}

TEST(Navigation, NewWindowsByAddressAndTheirPage)
{
    const std::string base = "http://127.0.0.1:8000/p/G/";
    const std::string book = base + "index.html";
    const std::string web = "http://example.org/";
    struct Case {
        std::string url, context;
        A expected;
    };
    const Case cases[] = {
        {base + "popup.html", book, A::LeaveAlone},
        {base + "popup.html", web, A::LeaveAlone},
        {"http://example.org/", book, A::OpenExternal},
        {"https://example.org/", web, A::OpenExternal},
        {"mailto:x@example.org", book, A::LeaveAlone},
        {"exec:setup.exe", book, A::LeaveAlone},
        {"about:blank", web, A::LeaveAlone},
        {"javascript:void(0)", web, A::LeaveAlone},
        {"mailto:x@example.org", web, A::Refuse},
        {"file:///C:/x.bat", web, A::Refuse},
        {"Z:\\x.bat", web, A::Refuse},
        {"exec:calc.exe", web, A::Refuse},
        {"exec:calc.exe", "", A::Refuse},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideNewWindow(c.url, base, c.context), c.expected) << c.url << " from " << c.context;
    }
}

TEST(FileLinks, PercentEscapesAndSeparators)
{
    struct Case {
        std::string in, out;
    };
    const Case decode[] = {
        {"my%20file.exe", "my file.exe"}, {"100%", "100%"},   {"%00x", "%00x"}, {"%zz", "%zz"},
        {"%4", "\x04"},                    {"%1G", "%1G"},     {"%41%42", "AB"}, {"%e4", "\xE4"},
    };
    for (const Case& c : decode) {
        EXPECT_EQ(DecodePercentEscapes(c.in), c.out) << c.in;
    }
    struct Split {
        std::string link, file, params;
    };
    const Split splits[] = {
        {"exec:tools\\my%20tool.exe;-a -b", "tools\\my tool.exe", "-a -b"},
        {"Exec:viewer.exe", "viewer.exe", ""},
        {"exec:a.exe;b;c", "a.exe", "b;c"},
        {"setup.exe\t/quiet", "setup.exe", "/quiet"},
        {"setup;x.exe", "setup;x.exe", ""},
    };
    for (const Split& s : splits) {
        const TFileRun run = SplitFileLink(s.link);
        EXPECT_EQ(run.File, s.file) << s.link;
        EXPECT_EQ(run.Params, s.params) << s.link;
    }
}

TEST(PageTitle, LocalAddressesAreNoTitles)
{
    EXPECT_TRUE(TakesPageTitle(true, "Chapter 1"));
    EXPECT_FALSE(TakesPageTitle(true, "http://127.0.0.1:8000/x/index.html"));
    EXPECT_TRUE(TakesPageTitle(true, "HTTP://127.0.0.1"));
    EXPECT_FALSE(TakesPageTitle(false, "Chapter 1"));
}

TEST(Input, ShortcutsAndContextMenuByPermission)
{
    using K = TInputKind;
    using R = TInputAction;
    struct Case {
        TInput input;
        TInputRules rules;
        R expected;
    };
    const TInputRules none{false, false, false};
    const TInputRules all{true, true, false};
    const TInputRules noMenu{false, false, true};
    const Case cases[] = {
        {{K::KeyDown, 'C', true, false, true}, none, R::Swallow},
        {{K::KeyDown, 'C', true, false, true}, all, R::PassOn},
        {{K::KeyDown, 'X', true, false, true}, none, R::Swallow},
        {{K::KeyDown, 'P', true, false, true}, none, R::Swallow},
        {{K::KeyDown, 'P', true, false, true}, all, R::PassOn},
        {{K::KeyDown, 'V', true, false, true}, none, R::PassOn},
        {{K::KeyDown, 'F', true, false, true}, all, R::Swallow},
        {{K::KeyDown, 'C', false, false, true}, none, R::PassOn},
        {{K::RightButton, 0, false, false, true}, none, R::PopupContextMenu},
        {{K::RightButton, 0, false, false, false}, none, R::PassOn},
        {{K::RightButton, 0, false, false, true}, noMenu, R::PassOn},
        {{K::KeyDown, kVkApps, false, false, true}, none, R::PopupContextMenu},
        {{K::KeyDown, kVkApps, false, false, true}, noMenu, R::PassOn},
        {{K::SysKeyDown, kVkF10, false, true, true}, none, R::PopupContextMenu},
        {{K::SysKeyDown, kVkF10, false, false, true}, none, R::PassOn},
        {{K::Other, 0, false, false, true}, none, R::PassOn},
    };
    int i = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(DecideInput(c.input, c.rules), c.expected) << "case " << i++;
    }
}

}  // namespace
