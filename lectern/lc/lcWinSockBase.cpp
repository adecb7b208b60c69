#include "lcWinSockBase.h"

#include <iterator>

namespace {

struct TErrorText {
    int Code;
    const char* Text;
};

constexpr TErrorText kErrorTexts[] = {
    {0, "No Error"},
    {10000, "No Error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address or Port already in use"},
    {10049, "Address or Port not available"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Connection aborted"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};
static_assert(std::size(kErrorTexts) == 52, "WinSock has 52 error texts");

// A number part of a dotted address is at most 255; counting stops above this so that a
// long run of digits cannot overflow.
constexpr int kOctetLimit = 256;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string WinSockErrorText(int errorCode)
{
    for (const TErrorText& entry : kErrorTexts) {
        if (entry.Code == errorCode) {
            return entry.Text;
        }
    }
    return "Not a WinSock error";
}

bool IsDottedIP4(const std::string& s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n && IsBlank(s[i])) {
        ++i;
    }
    if (i < n && s[i] == '.') {
        return false;
    }
    int dots = 0;
    int number = 0;
    for (; i < n; ++i) {
        const char c = s[i];
        if (IsDigit(c)) {
            if (number < kOctetLimit) {
                number = number * 10 + (c - '0');
            }
        } else if (c == '.') {
            ++dots;
            if (dots > 3 || number >= kOctetLimit || i + 1 >= n || !IsDigit(s[i + 1])) {
                return false;
            }
            number = 0;
        } else {
            // The address ends here: only blanks may follow it.
            for (; i < n; ++i) {
                if (!IsBlank(s[i])) {
                    return false;
                }
            }
            break;
        }
    }
    return dots == 3 && number < kOctetLimit;
}

void FdSetAdd(TSocket socket, TFdSet& set)
{
    if (set.fd_count < kFdSetSize) {
        set.fd_array[set.fd_count++] = socket;
    }
}

void FdSetClear(TFdSet& set) { set.fd_count = 0; }
