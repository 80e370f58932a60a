// QMP connections over Winsock: a non-blocking socket, so that connecting and every read
// and write wait at most as long as the caller allows. Only functions that Windows XP
// has: the address is numeric, so no name lookup is needed.
#include <winsock2.h>
#include <windows.h>
#include <mstcpip.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <utility>

#include "qemuhost/errors.h"
#include "qemuhost/system.h"

namespace ombrevale::qemuhost {
namespace {

std::wstring ErrorText(int error) { return L"Winsock " + std::to_wstring(error); }

timeval TimeValue(Milliseconds wait) {
    const long long ms = std::max<long long>(0, wait.count());
    timeval tv{};
    tv.tv_sec = static_cast<long>(ms / 1000);
    tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
    return tv;
}

// Windows answers a refused connection by trying again, for about two seconds in all, so a
// QEMU that has quit would cost every call that long. On loopback no attempt is lost on the
// way: one refusal is final. Windows 8 and later take this per socket; older systems refuse
// the request, and their calls to a machine that is down take the longer way.
void FailRefusalAtOnce(SOCKET s) {
    TCP_INITIAL_RTO_PARAMETERS parameters{};
    parameters.Rtt = TCP_INITIAL_RTO_UNSPECIFIED_RTT;
    parameters.MaxSynRetransmissions = TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS;
    DWORD returned = 0;
    (void)WSAIoctl(s, SIO_TCP_INITIAL_RTO, &parameters, sizeof parameters, nullptr, 0, &returned, nullptr, nullptr);
}

// Winsock is started for as long as a socket lives; WSAStartup counts its callers.
class Winsock {
public:
    Winsock() {
        WSADATA data{};
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
        if (started_) WSACleanup();
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool started() const { return started_; }

private:
    bool started_ = false;
};

class SocketTransport final : public Transport {
public:
    SocketTransport(std::unique_ptr<Winsock> winsock, SOCKET socket) : winsock_(std::move(winsock)), socket_(socket) {}
    ~SocketTransport() override { closesocket(socket_); }
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    Status Send(std::string_view bytes, Milliseconds wait) override {
        while (!bytes.empty()) {
            fd_set writable;
            FD_ZERO(&writable);
            FD_SET(socket_, &writable);
            timeval tv = TimeValue(wait);
            const int ready = select(0, nullptr, &writable, nullptr, &tv);
            if (ready == 0) return Failure{kMachineNotAnswering, {}};
            if (ready == SOCKET_ERROR) return Failure{kConnectionLost, ErrorText(WSAGetLastError())};
            const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 16));
            const int sent = send(socket_, bytes.data(), chunk, 0);
            if (sent == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK) continue;
                return Failure{kConnectionLost, ErrorText(error)};
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return Ok();
    }

    Result<std::string> Receive(Milliseconds wait) override {
        for (;;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval tv = TimeValue(wait);
            const int ready = select(0, &readable, nullptr, nullptr, &tv);
            if (ready == 0) return Failure{kMachineNotAnswering, {}};
            if (ready == SOCKET_ERROR) return Failure{kConnectionLost, ErrorText(WSAGetLastError())};
            char buffer[8192];
            const int got = recv(socket_, buffer, sizeof buffer, 0);
            if (got == 0) return std::string();
            if (got == SOCKET_ERROR) {
                const int error = WSAGetLastError();
                if (error == WSAEWOULDBLOCK) continue;
                return Failure{kConnectionLost, ErrorText(error)};
            }
            return std::string(buffer, static_cast<std::size_t>(got));
        }
    }

private:
    std::unique_ptr<Winsock> winsock_;
    SOCKET socket_;
};

class SocketConnector final : public Connector {
public:
    Result<std::unique_ptr<Transport>> Connect(const QmpAddress& address, Milliseconds wait) override {
        auto winsock = std::make_unique<Winsock>();
        if (!winsock->started()) return Failure{kMachineUnreachable, L"WSAStartup"};
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) return Failure{kMachineUnreachable, ErrorText(WSAGetLastError())};
        // Owned by the transport from here, so that every early return closes it.
        auto transport = std::make_unique<SocketTransport>(std::move(winsock), s);

        u_long nonBlocking = 1;
        if (ioctlsocket(s, FIONBIO, &nonBlocking) == SOCKET_ERROR)
            return Failure{kMachineUnreachable, ErrorText(WSAGetLastError())};
        // Commands and replies are single small lines, each waited for: send at once.
        BOOL noDelay = TRUE;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
        if ((address.ipv4 >> 24) == 127) FailRefusalAtOnce(s);

        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(address.port);
        to.sin_addr.s_addr = htonl(address.ipv4);
        if (connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error != WSAEWOULDBLOCK) return Failure{kMachineUnreachable, ErrorText(error)};
            // A refused connection shows in the exception set; a made one is writable.
            fd_set writable;
            fd_set failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(s, &writable);
            FD_SET(s, &failed);
            timeval tv = TimeValue(wait);
            const int ready = select(0, nullptr, &writable, &failed, &tv);
            if (ready == 0) return Failure{kMachineUnreachable, L"timeout"};
            if (ready == SOCKET_ERROR) return Failure{kMachineUnreachable, ErrorText(WSAGetLastError())};
            int soError = 0;
            int length = sizeof soError;
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &length);
            if (FD_ISSET(s, &failed) || soError != 0)
                return Failure{kMachineUnreachable, ErrorText(soError != 0 ? soError : WSAECONNREFUSED)};
        }
        return std::unique_ptr<Transport>(std::move(transport));
    }
};

}  // namespace

std::shared_ptr<Connector> SystemConnector() { return std::make_shared<SocketConnector>(); }

}  // namespace ombrevale::qemuhost
