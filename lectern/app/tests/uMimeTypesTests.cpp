#include "lectern/app/uMimeTypes.h"

#include "lectern/lc/tests/LogCapture.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace {

// Registry keys in memory: key path -> (value name -> value), and key path -> subkeys.
class FakeSource : public TMimeTypeSource {
public:
    std::map<std::string, std::vector<std::string>> subkeys;
    std::map<std::string, std::map<std::string, std::string>> values;
    std::optional<std::string> throwOnKey;  // reading this key raises, as a failing registry read does
    std::vector<std::string> opened;

    bool SubkeyNames(const std::string& key, std::vector<std::string>& names) override
    {
        opened.push_back(key);
        Check(key);
        const auto it = subkeys.find(key);
        names = it == subkeys.end() ? std::vector<std::string>() : it->second;
        return it != subkeys.end();
    }
    bool ReadString(const std::string& key, const std::string& valueName, std::string& value) override
    {
        Check(key);
        const auto it = values.find(key);
        if (it == values.end() || !it->second.count(valueName)) {
            return false;
        }
        value = it->second.at(valueName);
        return true;
    }

private:
    void Check(const std::string& key) const
    {
        if (key == throwOnKey) {
            throw std::runtime_error("registry read failed");
        }
    }
};

const std::string kDatabase = "\\MIME\\Database\\Content Type";

TEST(MimeTypes, BuiltInLinesThatPagesDependOn)
{
    FakeSource none;
    const auto list = BuildMimeTypeList(none);
    ASSERT_EQ(list->Count(), kBuiltInMimeTypeCount);
    // The extensions in their documented order.
    std::istringstream order(
        ".aiff, .au, .mid, .mp3, .m3u, .qcp, .ra, .wav, .gsm, .wax, .wma, .ram, .mjf, .bmp, .gif,"
        " .jpg, .jpeg, .jpe, .pict, .png, .svg, .tif, .rf, .rp, .ico, .art, .pntg, .qtif, .sgi, "
        ".targa, .xbm, .psd, .pnm, .pbm, .pgm, .ppm, .rgb, .xbm, .xpm, .xwd, .323, .xml, .uls, "
        ".txt, .rtx, .wsc, .rt, .htt, .htc, .vcf, .avi, .flc, .mpeg, .mov, .rv, .ivf, .wm, .wmp, "
        ".wmv, .wmx, .wvx, .rms, .asx, .movie, .wmd, .wms, .wmz, .p12, .p7b, .p7r, .qtl, .rtsp, "
        ".swf, .sit, .tar, .man, .urls, .zip, .cdf, .fml, .fif, .spl, .hta, .hqx, .doc, .pdf, "
        ".p10, .p7m, .p7s, .cer, .crl, .ps, .sdp, .setpay, .setreg, .smil, .ssm, .xfdf, .fdf, "
        ".xls, .sst, .pko, .cat, .stl, .rmf, .rm, .rnx, .rjs, .rmx, .rmp, .rsml, .vsl, .z, .tgz, "
        ".dir, .gz, .uin, .hpf, .pnq, .scm, .ins, .iii, .latex, .nix, .wbmp, .wml, .wmlc, .wmls, "
        ".wmlsc, .css, .htm, .html, .xhtml, .js, .shtml, .xml, .sgm, .sgml");
    std::string extension;
    int lines = 0;
    for (; std::getline(order >> std::ws, extension, ','); ++lines) {
        ASSERT_LT(lines, list->Count());
        EXPECT_EQ(list->Names(lines), extension) << lines;
    }
    EXPECT_EQ(lines, kBuiltInMimeTypeCount);
    struct Case { const char* path; const char* type; };
    const Case cases[] = {
        {"index.htm", "text/html"}, {"index.html", "text/html"}, {"a.xhtml", "text/html"},
        {"a.js", "application/javascript"}, {"a.css", "text/css"}, {"a.shtml", "server-parsed-html"},
        {"a.xml", "text/xml"}, {"a.txt", "text/plain"}, {"a.gif", "image/gif"}, {"a.jpg", "image/jpeg"},
        {"a.jpeg", "image/jpeg"}, {"a.jpe", "image/jpeg"}, {"a.png", "image/x-png"}, {"a.svg", "image/svg-xml"},
        {"a.ico", "image/x-icon"}, {"a.bmp", "image/bmp"}, {"a.xbm", "image/xbm"},
        {"a.swf", "application/x-shockwave-flash"}, {"a.pdf", "application/pdf"},
        {"a.zip", "application/x-zip-compressed"}, {"a.wml", "text/vnd.wap.wml"}, {"a.sgm", "text/sgml"},
        {"a.sgml", "text/sgml"}, {"a.mid", "midi/mid"}, {"a.mp3", "audio/x-mpg"},
        {"a.mjf", "audio/x-vnd.AudioExplosion.MjuiceMediaFile"}, {"a.xwd", "image/x-xwindowdump"},
        {"a.323", "text/h323"}, {"a.vcf", "text/x-vcard"}, {"a.avi", "video/x-msvideo"},
        {"a.movie", "video/x-sgi-movie"}, {"a.wmd", "application/x-ms-wmd"}, {"a.nix", "application/x-mix-transfer"},
        // Letter case, folders and the last dot.
        {"images\\Logo.PNG", "image/x-png"}, {"INDEX.HTML", "text/html"}, {"a.tar.gz", "application/x-gzip"},
        // No extension, or none the table knows.
        {"readme", "application/octet-stream"}, {"folder.d\\readme", "application/octet-stream"},
        {"a.unknownext", "application/octet-stream"}, {"a.", "application/octet-stream"},
        {"", "application/octet-stream"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MimeTypeOf(*list, c.path), c.type) << c.path;
    }
    // Both repeated extensions keep their second line; the lookups above found the first.
    int xbm = 0, xml = 0;
    for (int i = 0; i < list->Count(); ++i) {
        xbm += list->Names(i) == ".xbm";
        xml += list->Names(i) == ".xml";
    }
    EXPECT_EQ(xbm, 2);
    EXPECT_EQ(xml, 2);
    EXPECT_GE(list->IndexOf(".xbm=image/x-xbitmap"), 0);
}

// The key is lower-cased by ASCII rules alone, so that no locale's case folding ("I" is not
// the capital of "i" everywhere) decides which line a request finds.
TEST(MimeTypes, ExtensionKeyLowerCasesAsciiLettersOnly)
{
    struct Case { const char* path; const char* key; };
    const Case cases[] = {
        {"INDEX.HTML", ".html"}, {"images\\Logo.PnG", ".png"}, {"A.GIF", ".gif"}, {"a.tar.GZ", ".gz"},
        {"a.\xC9T\xC9", ".\xC9t\xC9"},  // bytes above ASCII are left as they are
        {"Dir.HTML\\README", ""}, {"C:README", ""}, {"NOEXT", ""}, {"A.", "."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MimeExtensionOf(c.path), c.key) << c.path;
    }
}

TEST(MimeTypes, RegistryExtensionKeysThenTheDatabaseWin)
{
    FakeSource reg;
    reg.subkeys[""] = {".png", ".NEW", ".empty", ".nokey", "pngfile", ".xml"};
    reg.values[".png"]["Content Type"] = "image/png";
    reg.values[".NEW"]["Content Type"] = "x-new/type";
    reg.values[".empty"]["Content Type"] = "";
    reg.values["pngfile"]["Content Type"] = "not/an-extension";
    reg.values[".xml"]["Other"] = "ignored";
    reg.subkeys[kDatabase] = {"image/x-png", "text/x-none", "application/x-late", "gone/type"};
    reg.values[kDatabase + "\\image/x-png"]["Extension"] = ".png";
    reg.values[kDatabase + "\\text/x-none"]["Extension"] = "";
    reg.values[kDatabase + "\\application/x-late"]["Extension"] = ".XML";

    const auto list = BuildMimeTypeList(reg);
    EXPECT_EQ(MimeTypeOf(*list, "a.png"), "image/x-png");  // the database over the extension key
    EXPECT_EQ(MimeTypeOf(*list, "a.new"), "x-new/type");
    EXPECT_EQ(MimeTypeOf(*list, "a.xml"), "application/x-late");
    EXPECT_EQ(MimeTypeOf(*list, "a.empty"), "application/octet-stream");
    // New extensions are appended as the registry spells them; updates replace in place.
    ASSERT_EQ(list->Count(), kBuiltInMimeTypeCount + 1);
    EXPECT_EQ(list->Strings(kBuiltInMimeTypeCount), ".NEW=x-new/type");
    EXPECT_EQ(list->IndexOf(".png=image/x-png"), 19);
    EXPECT_EQ(list->IndexOf(".xml=text/xml"), 135);  // the shadowed second line is left alone
    EXPECT_EQ(list->IndexOfName("pngfile"), -1);
}

TEST(MimeTypes, FailingRegistryReadKeepsWhatWasGatheredAndIsLogged)
{
    TLogCapture log("mimetypes");
    FakeSource reg;
    reg.subkeys[""] = {".new"};
    reg.values[".new"]["Content Type"] = "x-new/type";
    reg.throwOnKey = kDatabase;
    const auto list = BuildMimeTypeList(reg);
    EXPECT_EQ(list->Count(), kBuiltInMimeTypeCount + 1);
    EXPECT_EQ(MimeTypeOf(*list, "a.new"), "x-new/type");
    EXPECT_EQ(log.Text("ERROR"), "BuildMimeTypeList Exception! std::runtime_error: registry read failed\r\n");
}

#ifdef _WIN32
// Keys of HKEY_CLASSES_ROOT made for one test (the test prefix registers no types) and
// removed after it.
class ScratchClassesKey {
public:
    ScratchClassesKey(const std::string& key, const std::string& valueName, const std::string& value) : FKey(key)
    {
        HKEY handle = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) ==
            ERROR_SUCCESS) {
            RegSetValueExA(handle, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>(value.size() + 1));
            RegCloseKey(handle);
        }
    }
    ~ScratchClassesKey() { RegDeleteKeyA(HKEY_CLASSES_ROOT, FKey.c_str()); }

private:
    std::string FKey;
};

// The platform's registry as the table reads it.
TEST(MimeTypes, PlatformRegistryIsRead)
{
    const ScratchClassesKey extensionKey(".lecterntest", "Content Type", "x-lectern/from-extension-key");
    const ScratchClassesKey databaseKey("MIME\\Database\\Content Type\\x-lectern/from-database", "Extension",
                                        ".LecternTest");
    TRegistryMimeTypeSource reg;
    std::vector<std::string> names;
    ASSERT_TRUE(reg.SubkeyNames("", names));
    EXPECT_NE(std::find(names.begin(), names.end(), ".lecterntest"), names.end());
    std::string type;
    ASSERT_TRUE(reg.ReadString(".lecterntest", "Content Type", type));
    EXPECT_EQ(type, "x-lectern/from-extension-key");
    // The database key opens with its leading "\".
    ASSERT_TRUE(reg.SubkeyNames(kDatabase, names));
    EXPECT_NE(std::find(names.begin(), names.end(), "x-lectern/from-database"), names.end());
    std::string extension;
    ASSERT_TRUE(reg.ReadString(kDatabase + "\\x-lectern/from-database", "Extension", extension));
    EXPECT_EQ(extension, ".LecternTest");
    EXPECT_FALSE(reg.ReadString(".lecterntest", "No such value", type));
    EXPECT_FALSE(reg.ReadString(".no-such-extension-key", "Content Type", type));
    EXPECT_EQ(type, "");

    const auto list = BuildMimeTypeList(reg);
    EXPECT_EQ(MimeTypeOf(*list, "page.lecterntest"), "x-lectern/from-database");
    EXPECT_EQ(MimeTypeOf(*list, "index.html"), "text/html");
}
#endif

}  // namespace
