// The smallest HTTP responder built on window-message sockets: one thread, one hidden window,
// WSAAsyncSelect for FD_ACCEPT, FD_READ, FD_WRITE and FD_CLOSE. Every request (everything up to
// a blank line; requests carry no body here) is answered with the same 2 KB page and a
// Content-Length, but for a request line naming the 10 MB entry, which gets that entry's
// bytes (the ceiling for large entries); the connection stays open. It parses nothing, allocates nothing per
// request once a connection's buffers have grown, and so marks the ceiling of any server that
// takes its socket events from a window's message queue under this Wine.
//
//   http_responder [PORT [SEND_BLOCK]]    (PORT 0 or none: the system picks one; SEND_BLOCK:
//                                          the send buffer and largest send, in bytes)
//
// Prints "LISTENING <port>" once it listens, and ends when its standard input closes.
#include "HttpBenchData.h"
#include "tests/support/BookWriter.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

namespace {

constexpr UINT kSocketMessage = WM_USER + 1;
constexpr int kReceiveChunkBytes = 64 * 1024;
constexpr const char* kRequestEnd = "\r\n\r\n";
constexpr std::size_t kRequestEndBytes = 4;

struct TConnection {
    std::string FInput;
    std::string FOutput;
    std::size_t FSent = 0;  // bytes of FOutput already sent
};

std::unordered_map<SOCKET, TConnection> gConnections;
std::string gAnswer;
std::string gBigAnswer;
// 0: each send offers all that is pending, and the system's send buffer is left as it is. Else
// the socket's send buffer is set to this many bytes and no send offers more, as the server's
// socket layer does with its fixed sizes.
int gSendBlock = 0;
SOCKET gListener = INVALID_SOCKET;
HWND gWindow = nullptr;

void CloseConnection(SOCKET s)
{
    closesocket(s);
    gConnections.erase(s);
}

// Sends what is pending until it is all gone or the socket would block (FD_WRITE then says
// when to go on). A send may take only part of the buffer.
void SendPending(SOCKET s, TConnection& conn)
{
    while (conn.FSent < conn.FOutput.size()) {
        std::size_t offered = conn.FOutput.size() - conn.FSent;
        if (gSendBlock > 0 && offered > static_cast<std::size_t>(gSendBlock))
            offered = static_cast<std::size_t>(gSendBlock);
        const int n = send(s, conn.FOutput.data() + conn.FSent, static_cast<int>(offered), 0);
        if (n == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                CloseConnection(s);
            return;
        }
        conn.FSent += static_cast<std::size_t>(n);
    }
    conn.FOutput.clear();
    conn.FSent = 0;
}

void Accept()
{
    for (;;) {
        SOCKET s = accept(gListener, nullptr, nullptr);
        if (s == INVALID_SOCKET)
            return;
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if (gSendBlock > 0)
            setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&gSendBlock), sizeof gSendBlock);
        if (WSAAsyncSelect(s, gWindow, kSocketMessage, FD_READ | FD_WRITE | FD_CLOSE) != 0) {
            closesocket(s);
            continue;
        }
        gConnections[s];
    }
}

// One recv per FD_READ: the system posts FD_READ again while data are left.
void Read(SOCKET s, TConnection& conn)
{
    char chunk[kReceiveChunkBytes];
    const int n = recv(s, chunk, sizeof chunk, 0);
    if (n == SOCKET_ERROR) {
        if (WSAGetLastError() != WSAEWOULDBLOCK)
            CloseConnection(s);
        return;
    }
    if (n == 0) {
        CloseConnection(s);
        return;
    }
    conn.FInput.append(chunk, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = conn.FInput.find(kRequestEnd, start)) != std::string::npos;) {
        const std::size_t lineEnd = conn.FInput.find("\r\n", start);
        const bool big = conn.FInput.compare(start, lineEnd - start, "GET /" + std::string(httpbench::kBigName) +
                                                                          " HTTP/1.1") == 0;
        conn.FOutput += big ? gBigAnswer : gAnswer;
        start = end + kRequestEndBytes;
    }
    conn.FInput.erase(0, start);
    SendPending(s, conn);
}

LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kSocketMessage) {
        const SOCKET s = static_cast<SOCKET>(wParam);
        const int event = WSAGETSELECTEVENT(lParam);
        if (s == gListener) {
            if (event == FD_ACCEPT)
                Accept();
            return 0;
        }
        auto found = gConnections.find(s);
        if (found == gConnections.end())
            return 0;  // an event still queued for a socket already closed
        if (WSAGETSELECTERROR(lParam) != 0 || event == FD_CLOSE) {
            CloseConnection(s);
        } else if (event == FD_READ) {
            Read(s, found->second);
        } else if (event == FD_WRITE) {
            SendPending(s, found->second);
        }
        return 0;
    }
    if (msg == WM_CLOSE) {
        DestroyWindow(wnd);
        return 0;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

// Waits for the end of standard input, then closes the window (ending the message loop).
DWORD WINAPI WatchInput(void*)
{
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    }
    PostMessageA(gWindow, WM_CLOSE, 0, 0);
    return 0;
}

int Fail(const char* what)
{
    std::fprintf(stderr, "http_responder: %s failed (%d)\n", what, WSAGetLastError());
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 0;
    gSendBlock = argc > 2 ? std::atoi(argv[2]) : 0;
    const std::string page = httpbench::PageBytes();
    gAnswer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
              "\r\n\r\n" + page;
    gBigAnswer = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                 std::to_string(httpbench::kBigBytes) + "\r\n\r\n" +
                 booktest::XorshiftBytes(httpbench::kBigBytes, httpbench::kBigSeed);

    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0)
        return Fail("WSAStartup");
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HttpResponderWindow";
    if (!RegisterClassA(&wc))
        return Fail("RegisterClass");
    gWindow = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (!gWindow)
        return Fail("CreateWindowEx");

    gListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(port));
    if (gListener == INVALID_SOCKET || bind(gListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return Fail("bind");
    if (listen(gListener, SOMAXCONN) != 0)
        return Fail("listen");
    if (WSAAsyncSelect(gListener, gWindow, kSocketMessage, FD_ACCEPT) != 0)
        return Fail("WSAAsyncSelect");
    int addrLen = sizeof addr;
    getsockname(gListener, reinterpret_cast<sockaddr*>(&addr), &addrLen);
    std::printf("LISTENING %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);

    HANDLE watcher = CreateThread(nullptr, 0, WatchInput, nullptr, 0, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageA(&msg);
    }
    for (auto& [s, conn] : gConnections) {
        closesocket(s);
    }
    closesocket(gListener);
    if (watcher)
        CloseHandle(watcher);
    WSACleanup();
    return 0;
}
