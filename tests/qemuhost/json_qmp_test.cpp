// The JSON reader and the QMP conversation, over a scripted transport.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>

#include "qemuhost/errors.h"
#include "qemuhost/json.h"
#include "qemuhost/qmp.h"

namespace ombrevale::qemuhost {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(Json, ReadsWhatQemuSends) {
    // QEMU escapes everything outside ASCII, astral characters as surrogate pairs.
    auto name = ParseJson(R"({"return": {"name": "\u0410\u043B\u044C\u0444\u0430 \uD835\uDD38 \"q\"\\\/"}})");
    ASSERT_TRUE(name);
    EXPECT_EQ(*name->Find("return")->Find("name")->AsString(), "Альфа 𝔸 \"q\"\\/");

    auto block = ParseJson(
        " {\"return\": [{\"removable\": true, \"locked\": false, \"inserted\": null, \"unit\": -1,"
        " \"max\": 9223372036854775807, \"min\": -9223372036854775808, \"size\": 1.5e3}, []]}\r\n");
    ASSERT_TRUE(block);
    const Json& first = block->Find("return")->AsArray()->at(0);
    EXPECT_EQ(first.Find("removable")->AsBool(), true);
    EXPECT_EQ(first.Find("locked")->AsBool(), false);
    EXPECT_EQ(first.Find("inserted")->kind(), Json::Kind::Null);
    EXPECT_EQ(first.Find("unit")->AsInteger(), -1);
    EXPECT_EQ(first.Find("max")->AsInteger(), INT64_MAX);
    EXPECT_EQ(first.Find("min")->AsInteger(), INT64_MIN);
    EXPECT_EQ(first.Find("size")->AsInteger(), std::nullopt);  // not a whole number
    EXPECT_EQ(first.Find("absent"), nullptr);
    EXPECT_EQ(first.Find("unit")->AsString(), nullptr);  // a kind asked of another answers nothing
    EXPECT_EQ(ParseJson("9223372036854775808")->AsInteger(), std::nullopt);
}

TEST(Json, RefusesMalformedInputWithoutCrashing) {
    const char* bad[] = {
        "",
        "{",
        "{\"a\":1,}",
        "[1,]",
        "{a:1}",
        "{\"a\" 1}",
        "[1 2]",
        "01",
        "1.",
        "-",
        ".5",
        "1e",
        "tru",
        "nul",
        "\"open",
        "\"bad \\x escape\"",
        "\"\\u12G4\"",
        "\"\\uD835\"",
        "\"\\uD835\\u0041\"",
        "\"\\uDD38\"",
        "\"raw\ttab\"",
        "\"\xC3\"",
        "\"\xC0\xAF\"",
        "\"\xED\xA0\x80\"",
        "{} {}",
        "[1] x",
    };
    for (const char* text : bad) {
        EXPECT_FALSE(ParseJson(text)) << text;
        // The same, too deep to keep: skipped values are checked all the same.
        if (*text) {
            EXPECT_FALSE(ParseJson(std::string(40, '[') + text + std::string(40, ']'))) << text;
        }
    }
    EXPECT_FALSE(ParseJson(std::string(100000, '[')));
    EXPECT_FALSE(ParseJson(std::string(40, '[') + "{\"a\":1]" + std::string(40, ']')));
}

// A disk's snapshot chain nests one level per backing image: what lies deeper than the
// reader keeps is left out, without recursion, and everything around it stays.
TEST(Json, LeavesOutWhatNestsTooDeepAndKeepsTheRest) {
    std::string chain = "{\"filename\": \"base.qcow2\", \"list\": [1, {}, [], \"\\u0041\"]}";
    for (int i = 0; i < 200; ++i)
        chain = "{\"filename\": \"s" + std::to_string(i) + "\", \"backing-image\": " + chain + "}";
    auto reply = ParseJson("{\"return\": [{\"qdev\": \"hd\", \"inserted\": {\"image\": " + chain +
                           ", \"ro\": false}}, {\"qdev\": \"fd0\"}], \"id\": 2}");
    ASSERT_TRUE(reply);
    const Json& disk = reply->Find("return")->AsArray()->at(0);
    EXPECT_EQ(*disk.Find("qdev")->AsString(), "hd");
    EXPECT_EQ(disk.Find("inserted")->Find("ro")->AsBool(), false);
    const Json* image = disk.Find("inserted")->Find("image");
    int depth = 0;
    for (; image->Find("backing-image"); image = image->Find("backing-image")) ++depth;
    EXPECT_EQ(depth, 28);  // kept down to the 32nd level below the reply; the chain starts at the 4th
    EXPECT_EQ(*reply->Find("return")->AsArray()->at(1).Find("qdev")->AsString(), "fd0");
    EXPECT_EQ(reply->Find("id")->AsInteger(), 2);

    // Input that nests without end cannot exhaust the stack.
    auto deep = ParseJson(std::string(100000, '[') + std::string(100000, ']'));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->AsArray()->size(), 1u);
}

TEST(Json, WritesCommandsThatReadBack) {
    Json arguments = Json::Object({{"filename", Json::String("/tmp/a \"b\"\\c\n\x01Дискета.img")}});
    arguments.Set("unit", Json::Integer(-7)).Set("ro", Json::Bool(true)).Set("list", Json::Array({Json()}));
    const std::string text = ToJson(arguments);
    EXPECT_EQ(text,
              "{\"filename\":\"/tmp/a \\\"b\\\"\\\\c\\n\\u0001Дискета.img\",\"unit\":-7,\"ro\":true,"
              "\"list\":[null]}");
    auto back = ParseJson(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back->Find("filename")->AsString(), "/tmp/a \"b\"\\c\n\x01Дискета.img");
}

// One read's worth of what "QEMU" says, or the failure of that read.
struct Step {
    Step(const char* text) : bytes(text) {}
    Step(std::string text) : bytes(std::move(text)) {}
    Step(Failure f) : failure(std::move(f)) {}
    std::string bytes;
    std::optional<Failure> failure;
};

// A stream that plays back what "QEMU" says, in the pieces given, and keeps what it was sent.
class ScriptedTransport final : public Transport {
public:
    ScriptedTransport(std::deque<Step>& script, std::vector<std::string>& sent) : script_(script), sent_(sent) {}
    Status Send(std::string_view bytes, Milliseconds) override {
        sent_.emplace_back(bytes);
        return Ok();
    }
    Result<std::string> Receive(Milliseconds) override {
        if (script_.empty()) return Failure{kMachineNotAnswering, {}};
        Step next = std::move(script_.front());
        script_.pop_front();
        if (next.failure) return *next.failure;
        return next.bytes;
    }

private:
    std::deque<Step>& script_;
    std::vector<std::string>& sent_;
};

class QmpTest : public ::testing::Test, public Connector {
protected:
    Result<std::unique_ptr<Transport>> Connect(const QmpAddress&, Milliseconds) override {
        if (refuse) return Failure{kMachineUnreachable, {}};
        return std::unique_ptr<Transport>(new ScriptedTransport(script, sent));
    }

    Result<std::unique_ptr<QmpSession>> Open() {
        return QmpSession::Open(*this, {}, now + std::chrono::seconds(4), Milliseconds(2000),
                                [this] { return now += tick; });
    }

    static constexpr const char* kGreeting = "{\"QMP\": {\"version\": {}, \"capabilities\": [\"oob\"]}}\r\n";
    bool refuse = false;
    std::deque<Step> script;
    std::vector<std::string> sent;
    std::chrono::steady_clock::time_point now{};
    Milliseconds tick{0};
};

TEST_F(QmpTest, NegotiatesThenRunsCommandsSkippingEventsAcrossAnySplit) {
    script = {std::string(kGreeting).substr(0, 10), std::string(kGreeting).substr(10),
              // An event before the reply, and a reply split mid-escape.
              "{\"event\": \"RESET\", \"data\": {}}\r\n{\"return\": {}, \"id\": 1}\r\n{\"timestamp\": {}, \"eve",
              "nt\": \"DEVICE_TRAY_MOVED\"}\r\n{\"return\": {\"name\": \"\\u04", "10\"}, \"id\": 2}\r\n"};
    auto session = Open();
    ASSERT_TRUE(session) << session.failure().number;
    auto name = (*session)->Execute("query-name");
    ASSERT_TRUE(name);
    EXPECT_EQ(*name->Find("name")->AsString(), "А");
    EXPECT_THAT(sent, ElementsAre("{\"execute\":\"qmp_capabilities\",\"id\":1}\r\n",
                                  "{\"execute\":\"query-name\",\"id\":2}\r\n"));
}

TEST_F(QmpTest, EveryFailureHasItsNumber) {
    struct Case {
        std::deque<Step> script;
        std::int32_t number;
    };
    const std::string ok = "{\"return\": {}, \"id\": 1}\r\n";
    const Case cases[] = {
        {{"SSH-2.0-OpenSSH_9.2\r\n"}, kNotQmp},                         // another service
        {{"{\"hello\": 1}\r\n"}, kNotQmp},                              // JSON, but no greeting
        {{kGreeting, "{\"return\": {}, \"id\": 9}\r\n"}, kNotQmp},      // a reply to something else
        {{kGreeting, ok, "{\"return\": {\"name\"\r\n"}, kNotQmp},       // garbled reply
        {{kGreeting, ok, std::string(2 * 1024 * 1024, ' ')}, kNotQmp},  // a line without end
        {{kGreeting, ok, std::string()}, kConnectionLost},              // QEMU quit
        {{kGreeting, ok, Failure{kConnectionLost, L"reset"}}, kConnectionLost},
        {{}, kMachineNotAnswering},  // a monitor busy with another client says nothing
        {{kGreeting, ok,
          "{\"error\": {\"class\": \"GenericError\", \"desc\": \"Could not open '\\u0444\\u0000.img'\"}, "
          "\"id\": 2}\r\n"},
         kQemuRefused},
    };
    for (const Case& c : cases) {
        script = c.script;
        auto session = Open();
        const Failure failure = session ? (*session)->Execute("query-name").failure() : session.failure();
        EXPECT_EQ(failure.number, c.number) << (c.script.empty() ? "" : c.script.back().bytes.substr(0, 40));
        if (c.number == kQemuRefused) {
            // A NUL would end the text where Windows reads it; the rest is kept.
            EXPECT_EQ(failure.description, L"Could not open 'ф\xFFFD.img'");
        }
    }
    refuse = true;
    EXPECT_EQ(Open().failure().number, kMachineUnreachable);
}

TEST_F(QmpTest, EventsCannotKeepACallWaitingPastItsDeadline) {
    script = {kGreeting, "{\"return\": {}, \"id\": 1}\r\n"};
    auto session = Open();
    ASSERT_TRUE(session);
    // Events keep coming, half a second apart; the reply never does.
    for (int i = 0; i < 100; ++i) script.push_back("{\"event\": \"RTC_CHANGE\"}\r\n");
    tick = Milliseconds(500);
    EXPECT_EQ((*session)->Execute("query-block").failure().number, kMachineNotAnswering);
    EXPECT_GT(script.size(), 80u);
}

}  // namespace
}  // namespace ombrevale::qemuhost
