// The decisions of the viewer's start-up that need no window: which book to open, which page
// to show first, and the addresses the pages are served under.
//
//   ChooseBook        the first parameter, when it names an existing file whose extension is
//                     not a piece of ".html" (".", ".h", ".ht", ".htm", ".html" are page names);
//                     else the book appended to the executable
//   FirstPageParam    with the Commandline setting, the parameter after the ones the book took
//   ResolveTopic      a non-zero number becomes the topic map's page for it
//   StartPageAddress  an empty page becomes INDEX, then "index.html"; anything but an
//                     "http://" address goes under the base address
//   UrlPrefix         "/" + producer id + "/" + the run's GUID text
//
// The producer id comes from the book; it is percent-encoded in the prefix (every byte but
// letters, digits and "-", ".", "_", "~"), so that a "/", "?", "#", "%" or blank in it can
// neither split the prefix into other path segments nor cut the address short. The page
// server compares request paths with the prefix as it stands, undecoded.
#pragma once

#include "classlib/StringList.h"

#include <string>
#include <vector>

// Paths are wide (UTF-16), so that a book or program whose path holds characters the code
// page lacks is found by its whole name.
struct TBookChoice {
    std::u16string BookPath;  // the file to open as the book
    std::u16string BaseDir;   // its folder, with a trailing delimiter
    int ParamsUsed = 0;       // parameters the choice consumed (0 or 1)
};

// params: the command-line parameters without the program path. fileExists is asked only
// about a parameter that may be a book.
template <class FileExists>
TBookChoice ChooseBook(const std::vector<std::u16string>& params, const std::u16string& exePath,
                       FileExists&& fileExists);

// The whole text as a decimal integer with an optional sign, or fallback.
int StrToIntDef(const std::string& text, int fallback);

// The folder part of a path with its trailing delimiter ("\", "/" or ":"); empty without one.
std::u16string ExtractFileDir(const std::u16string& path);
// The extension of the last name of a path with its dot, A to Z lower-cased ("" without one).
std::u16string LowerFileExt(const std::u16string& path);
// True when a parameter with this name may be a book: its extension is empty or does not
// occur inside ".html".
bool MayBeBookParam(const std::u16string& param);

// The parameter that names the first page: params[paramsUsed] when commandline is set and it
// exists; "" (the start page) otherwise.
std::string FirstPageParam(const std::vector<std::string>& params, int paramsUsed, bool commandline);

// A topic number is resolved through the topic map: when the map has lines and s is a
// non-zero integer, the map's page for it ("" when the map lacks it); else s itself ("0" and
// other texts are page names).
std::string ResolveTopic(const std::string& s, const TStringList& topicMap);

// The address the page view is sent to for a page: "" becomes indexSetting, then
// "index.html"; a page whose first seven characters are exactly "http://" is used as it is,
// any other goes under baseUrl.
std::string StartPageAddress(const std::string& page, const std::string& indexSetting,
                             const std::string& baseUrl);

// "/" + the percent-encoded producer id (nothing when it is empty), then "/" + guidText when
// that is not empty (the GUID could not be made).
std::string UrlPrefix(const std::string& producerId, const std::string& guidText);
std::string PercentEncodePathSegment(const std::string& text);

// "http://" + addr + ":" + port + prefix + "/".
std::string BaseUrl(const std::string& addr, const std::string& port, const std::string& prefix);

// ---- implementation of the template -----------------------------------------------------------

template <class FileExists>
TBookChoice ChooseBook(const std::vector<std::u16string>& params, const std::u16string& exePath,
                       FileExists&& fileExists)
{
    if (!params.empty() && !params[0].empty() && MayBeBookParam(params[0]) && fileExists(params[0])) {
        return {params[0], ExtractFileDir(params[0]), 1};
    }
    return {exePath, ExtractFileDir(exePath), 0};
}
