#include "qemuhost/qmp.h"

#include <algorithm>
#include <utility>

#include "hostcore/utf8.h"
#include "qemuhost/errors.h"
#include "qemuhost/messages.h"

namespace ombrevale::qemuhost {

using hostcore::Utf8ToWide;

namespace {

// A QMP message is one line. query-block of a machine with many drives is some kilobytes;
// a line longer than this is not QMP, and reading it on would only eat memory.
constexpr std::size_t kLongestMessage = 1024 * 1024;

}  // namespace

std::wstring TextFromQemu(std::string_view utf8) {
    std::wstring text = Utf8ToWide(utf8).value_or(L"");
    std::replace(text.begin(), text.end(), L'\0', L'\xFFFD');
    return text;
}

std::wstring QmpAddress::Text() const {
    std::wstring text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += std::to_wstring((ipv4 >> shift) & 0xFF);
        text += shift ? L"." : L":";
    }
    return text + std::to_wstring(port);
}

QmpSession::QmpSession(std::unique_ptr<Transport> transport, std::chrono::steady_clock::time_point deadline,
                       Clock clock)
    : transport_(std::move(transport)), deadline_(deadline), clock_(std::move(clock)) {}

Result<std::unique_ptr<QmpSession>> QmpSession::Open(Connector& connector, const QmpAddress& address,
                                                     std::chrono::steady_clock::time_point deadline,
                                                     Milliseconds connectWait, Clock clock) {
    if (!clock) clock = [] { return std::chrono::steady_clock::now(); };
    const auto left = std::chrono::duration_cast<Milliseconds>(deadline - clock());
    auto transport = connector.Connect(address, std::clamp(left, Milliseconds(0), connectWait));
    if (!transport) return transport.failure();
    std::unique_ptr<QmpSession> session(new QmpSession(std::move(*transport), deadline, std::move(clock)));

    // The greeting comes first, unasked; anything else on this port is not a QMP monitor.
    Json greeting;
    OMB_ASSIGN_OR_RETURN(greeting, session->NextMessage());
    if (!greeting.Find("QMP")) return Failure{kNotQmp, QmpText::NoGreeting()};
    if (auto ready = session->Execute("qmp_capabilities"); !ready) return ready.failure();
    return session;
}

Milliseconds QmpSession::Remaining() const {
    return std::max(Milliseconds(0), std::chrono::duration_cast<Milliseconds>(deadline_ - clock_()));
}

Result<Json> QmpSession::NextMessage() {
    for (;;) {
        const std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            const std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            auto message = ParseJson(line);
            if (!message || message->kind() != Json::Kind::Object) return Failure{kNotQmp, QmpText::NotJson()};
            return std::move(*message);
        }
        if (buffer_.size() > kLongestMessage) return Failure{kNotQmp, QmpText::TooLong()};
        const Milliseconds wait = Remaining();
        if (wait.count() == 0) return Failure{kMachineNotAnswering, {}};
        std::string bytes;
        OMB_ASSIGN_OR_RETURN(bytes, transport_->Receive(wait));
        if (bytes.empty()) return Failure{kConnectionLost, {}};
        buffer_ += bytes;
    }
}

Result<Json> QmpSession::AwaitReply(std::int64_t id) {
    for (;;) {
        Json message;
        OMB_ASSIGN_OR_RETURN(message, NextMessage());
        // Events (a guest reset, a tray moving) may come at any moment, before the reply.
        if (message.Find("event")) continue;
        const Json* echoed = message.Find("id");
        if (!echoed || echoed->AsInteger() != id) {
            // A reply without our id cannot belong to this command: nothing else was asked.
            return Failure{kNotQmp, QmpText::ForeignReply()};
        }
        if (const Json* value = message.Find("return")) return *value;
        if (const Json* error = message.Find("error")) {
            const Json* desc = error->Find("desc");
            const std::string* text = desc ? desc->AsString() : nullptr;
            if (!text) return Failure{kNotQmp, QmpText::ErrorWithoutText()};
            return Failure{kQemuRefused, TextFromQemu(*text)};
        }
        return Failure{kNotQmp, QmpText::NeitherReturnNorError()};
    }
}

Result<Json> QmpSession::Execute(std::string_view command, Json arguments) {
    const std::int64_t id = nextId_++;
    Json message = Json::Object({{"execute", Json::String(std::string(command))}});
    if (arguments.kind() != Json::Kind::Null) message.Set("arguments", std::move(arguments));
    message.Set("id", Json::Integer(id));
    const Milliseconds wait = Remaining();
    if (wait.count() == 0) return Failure{kMachineNotAnswering, {}};
    OMB_RETURN_IF_FAILED(transport_->Send(ToJson(message) + "\r\n", wait));
    return AwaitReply(id);
}

}  // namespace ombrevale::qemuhost
