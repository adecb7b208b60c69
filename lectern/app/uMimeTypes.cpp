#include "uMimeTypes.h"

#include "classlib/PlatformRegistry.h"
#include "lectern/lc/lcLog.h"

#include <array>
#include <string_view>

namespace {

// Grouped as audio, images, text, video, applications, wireless and web. Two extensions occur
// twice (".xbm" and ".xml"): a lookup finds the first line, so ".xbm" is "image/xbm".
constexpr std::array<std::string_view, kBuiltInMimeTypeCount> kBuiltInMimeTypes = {
    ".aiff=audio/x-aiff", ".au=audio/basic", ".mid=midi/mid", ".mp3=audio/x-mpg", ".m3u=audio/x-mpegurl",
    ".qcp=audio/vnd.qcelp", ".ra=audio/vnd.rn-realaudio", ".wav=audio/wav", ".gsm=audio/x-gsm",
    ".wax=audio/x-ms-wax", ".wma=audio/x-ms-wma", ".ram=audio/x-pn-realaudio",
    ".mjf=audio/x-vnd.AudioExplosion.MjuiceMediaFile",

    ".bmp=image/bmp", ".gif=image/gif", ".jpg=image/jpeg", ".jpeg=image/jpeg", ".jpe=image/jpeg",
    ".pict=image/pict", ".png=image/x-png", ".svg=image/svg-xml", ".tif=image/tiff",
    ".rf=image/vnd.rn-realflash", ".rp=image/vnd.rn-realpix", ".ico=image/x-icon", ".art=image/x-jg",
    ".pntg=image/x-macpaint", ".qtif=image/x-quicktime", ".sgi=image/x-sgi", ".targa=image/x-targa",
    ".xbm=image/xbm", ".psd=image/x-photoshop", ".pnm=image/x-portable-anymap",
    ".pbm=image/x-portable-bitmap", ".pgm=image/x-portable-graymap", ".ppm=image/x-portable-pixmap",
    ".rgb=image/x-rgb", ".xbm=image/x-xbitmap", ".xpm=image/x-xpixmap", ".xwd=image/x-xwindowdump",

    ".323=text/h323", ".xml=text/xml", ".uls=text/iuls", ".txt=text/plain", ".rtx=text/richtext",
    ".wsc=text/scriptlet", ".rt=text/vnd.rn-realtext", ".htt=text/webviewhtml", ".htc=text/x-component",
    ".vcf=text/x-vcard",

    ".avi=video/x-msvideo", ".flc=video/flc", ".mpeg=video/mpeg", ".mov=video/quicktime",
    ".rv=video/vnd.rn-realvideo", ".ivf=video/x-ivf", ".wm=video/x-ms-wm", ".wmp=video/x-ms-wmp",
    ".wmv=video/x-ms-wmv", ".wmx=video/x-ms-wmx", ".wvx=video/x-ms-wvx", ".rms=video/vnd.rn-realvideo-secure",
    ".asx=video/x-ms-asf", ".movie=video/x-sgi-movie",

    ".wmd=application/x-ms-wmd", ".wms=application/x-ms-wms", ".wmz=application/x-ms-wmz",
    ".p12=application/x-pkcs12", ".p7b=application/x-pkcs7-certificates",
    ".p7r=application/x-pkcs7-certreqresp", ".qtl=application/x-quicktimeplayer", ".rtsp=application/x-rtsp",
    ".swf=application/x-shockwave-flash", ".sit=application/x-stuffit", ".tar=application/x-tar",
    ".man=application/x-troff-man", ".urls=application/x-url-list", ".zip=application/x-zip-compressed",
    ".cdf=application/x-cdf", ".fml=application/x-file-mirror-list", ".fif=application/fractals",
    ".spl=application/futuresplash", ".hta=application/hta", ".hqx=application/mac-binhex40",
    ".doc=application/msword", ".pdf=application/pdf", ".p10=application/pkcs10",
    ".p7m=application/pkcs7-mime", ".p7s=application/pkcs7-signature", ".cer=application/x-x509-ca-cert",
    ".crl=application/pkix-crl", ".ps=application/postscript", ".sdp=application/sdp",
    ".setpay=application/set-payment-initiation", ".setreg=application/set-registration-initiation",
    ".smil=application/smil", ".ssm=application/streamingmedia", ".xfdf=application/vnd.adobe.xfdf",
    ".fdf=application/vnd.fdf", ".xls=application/vnd.ms-excel", ".sst=application/vnd.ms-pki.certstore",
    ".pko=application/vnd.ms-pki.pko", ".cat=application/vnd.ms-pki.seccat", ".stl=application/vnd.ms-pki.stl",
    ".rmf=application/vnd.rmf", ".rm=application/vnd.rn-realmedia", ".rnx=application/vnd.rn-realplayer",
    ".rjs=application/vnd.rn-realsystem-rjs", ".rmx=application/vnd.rn-realsystem-rmx",
    ".rmp=application/vnd.rn-rn_music_package", ".rsml=application/vnd.rn-rsml", ".vsl=application/x-cdf",
    ".z=application/x-compress", ".tgz=application/x-compressed", ".dir=application/x-director",
    ".gz=application/x-gzip", ".uin=application/x-icq", ".hpf=application/x-icq-hpf",
    ".pnq=application/x-icq-pnq", ".scm=application/x-icq-scm", ".ins=application/x-internet-signup",
    ".iii=application/x-iphone", ".latex=application/x-latex", ".nix=application/x-mix-transfer",

    ".wbmp=image/vnd.wap.wbmp", ".wml=text/vnd.wap.wml", ".wmlc=application/vnd.wap.wmlc",
    ".wmls=text/vnd.wap.wmlscript", ".wmlsc=application/vnd.wap.wmlscriptc",

    ".css=text/css", ".htm=text/html", ".html=text/html", ".xhtml=text/html", ".js=application/javascript",
    ".shtml=server-parsed-html", ".xml=text/xml", ".sgm=text/sgml", ".sgml=text/sgml",
};

constexpr const char* kContentTypeValue = "Content Type";
constexpr const char* kExtensionValue = "Extension";
constexpr const char* kMimeDatabaseKey = "\\MIME\\Database\\Content Type";
constexpr const char* kDefaultMimeType = "application/octet-stream";

// Sets the table's value for the extension, when the registry gave both.
void StoreType(TStringList& list, const std::string& extension, const std::string& type)
{
    if (!extension.empty() && !type.empty()) {
        list.SetValues(extension, type);
    }
}

void ReadRegistrations(TMimeTypeSource& source, TStringList& list)
{
    std::vector<std::string> names;
    // The extension keys of the hive's root.
    if (source.SubkeyNames("", names)) {
        for (const std::string& name : names) {
            std::string type;
            if (!name.empty() && name.front() == '.' && source.ReadString(name, kContentTypeValue, type)) {
                StoreType(list, name, type);
            }
        }
    }
    // The MIME database, last, so that it wins.
    if (source.SubkeyNames(kMimeDatabaseKey, names)) {
        for (const std::string& type : names) {
            std::string extension;
            if (source.ReadString(std::string(kMimeDatabaseKey) + "\\" + type, kExtensionValue, extension)) {
                StoreType(list, extension, type);
            }
        }
    }
}

}  // namespace

bool TRegistryMimeTypeSource::SubkeyNames(const std::string& key, std::vector<std::string>& names)
{
    return plat::ClassesRootSubkeyNames(key, names);
}

bool TRegistryMimeTypeSource::ReadString(const std::string& key, const std::string& valueName, std::string& value)
{
    return plat::ClassesRootReadString(key, valueName, value);
}

std::unique_ptr<TStringList> BuildMimeTypeList(TMimeTypeSource& source)
{
    auto list = std::make_unique<TStringList>();
    for (const std::string_view line : kBuiltInMimeTypes) {
        list->Add(std::string(line));
    }
    try {
        ReadRegistrations(source, *list);
    } catch (...) {
        // A failing read keeps what was gathered before it, and says what it was.
        LogCurrentException("BuildMimeTypeList", "ERROR");
    }
    return list;
}

std::string MimeExtensionOf(const std::string& path)
{
    // The extension begins at the last "." of the last name: a "." before a folder or drive
    // delimiter starts none.
    const size_t pos = path.find_last_of(".\\/:");
    std::string extension = pos != std::string::npos && path[pos] == '.' ? path.substr(pos) : std::string();
    // ASCII letters only, whatever the user's locale: the table's own lookup folds case by the
    // locale, which need not map "I" to "i".
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

std::string MimeTypeOf(const TStringList& mimeTypes, const std::string& path)
{
    const std::string type = mimeTypes.Values(MimeExtensionOf(path));
    return type.empty() ? kDefaultMimeType : type;
}
