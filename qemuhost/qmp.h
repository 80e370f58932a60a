// A QMP client over any byte stream: the greeting, capabilities negotiation, then one
// command at a time, skipping the asynchronous events that QEMU sends in between. Every
// wait is bounded by the operation's deadline, since a QMP monitor that already serves
// another client accepts a connection and then says nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/result.h"
#include "qemuhost/json.h"

namespace ombrevale::qemuhost {

using Clock = std::function<std::chrono::steady_clock::time_point()>;
using Milliseconds = std::chrono::milliseconds;

// Where a QMP monitor listens: an IPv4 address and a TCP port.
struct QmpAddress {
    std::uint32_t ipv4 = 0x7F000001;  // host order; 127.0.0.1
    std::uint16_t port = 0;

    std::wstring Text() const;  // "127.0.0.1:4444", for messages
    friend bool operator==(const QmpAddress&, const QmpAddress&) = default;
};

// Text that QEMU sent (an error, a name, a path), as the bridge passes it on. JSON lets it
// hold NULs, which would end it wherever Windows reads it as a C string: each one becomes
// U+FFFD, so that the rest is shown too. The JSON reader has taken only well-formed UTF-8.
std::wstring TextFromQemu(std::string_view utf8);

// A connected byte stream. Failures carry one of the numbers below with a short technical
// detail (a system error text) as description; the caller words the message.
class Transport {
public:
    virtual ~Transport() = default;
    virtual Status Send(std::string_view bytes, Milliseconds wait) = 0;
    // Some bytes (at least one), waiting at most `wait`; an empty string means the peer closed.
    virtual Result<std::string> Receive(Milliseconds wait) = 0;
};

class Connector {
public:
    virtual ~Connector() = default;
    virtual Result<std::unique_ptr<Transport>> Connect(const QmpAddress& address, Milliseconds wait) = 0;
};

// One QMP conversation; it ends when the object is destroyed (the connection closes).
// Failure numbers: kMachineUnreachable (the connection was not made), kMachineNotAnswering
// (a deadline passed), kConnectionLost, kNotQmp (not QMP or not JSON), kQemuRefused (an
// error reply; its description is QEMU's own text).
class QmpSession {
public:
    // Connects and negotiates, all before `deadline`.
    static Result<std::unique_ptr<QmpSession>> Open(Connector& connector, const QmpAddress& address,
                                                    std::chrono::steady_clock::time_point deadline,
                                                    Milliseconds connectWait, Clock clock = {});

    // Runs a command and answers its "return" value. `arguments` is an object or null.
    Result<Json> Execute(std::string_view command, Json arguments = {});

private:
    QmpSession(std::unique_ptr<Transport> transport, std::chrono::steady_clock::time_point deadline, Clock clock);

    Milliseconds Remaining() const;
    Result<Json> NextMessage();
    Result<Json> AwaitReply(std::int64_t id);

    std::unique_ptr<Transport> transport_;
    std::chrono::steady_clock::time_point deadline_;
    Clock clock_;
    std::string buffer_;
    std::int64_t nextId_ = 1;
};

}  // namespace ombrevale::qemuhost
