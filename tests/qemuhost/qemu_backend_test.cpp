// The bridge's decisions against simulated QEMU machines that answer QMP as QEMU 7.2 does
// (query-block, qom-get, query-named-block-nodes, blockdev-change-medium, eject), on real
// files in a scratch folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <map>
#include <set>

#include "hostcore/errors.h"
#include "hostcore/floppy_image.h"
#include "qemuhost/errors.h"
#include "qemuhost/qemu_backend.h"
#include "tests/demohost/test_files.h"

namespace ombrevale::qemuhost {
namespace {

using demohost::testing::TempFolder;
using demohost::testing::WriteBytes;
using hostcore::WideToUtf8;
using ::testing::AllOf;
using ::testing::HasSubstr;

struct FakeFloppy {
    std::string qdev;
    std::int64_t unit = 0;
    std::string file;  // empty: nothing inserted
    bool hostDevice = false;
    bool readOnly = false;
};

// One simulated QEMU: its floppies, a CD drive and a hard disk beside them, and a record of
// the commands it was given.
struct FakeQemu {
    enum class State { Running, Down, Busy } state = State::Running;
    std::string name;
    std::vector<FakeFloppy> floppies;
    std::string refuseChange;   // QEMU's error text for blockdev-change-medium
    bool ignoreChange = false;  // answers success and takes nothing
    bool ignoreEject = false;
    std::vector<Json> commands;

    FakeFloppy* Floppy(const std::string* qdev) {
        for (FakeFloppy& f : floppies) {
            if (qdev && f.qdev == *qdev) return &f;
        }
        return nullptr;
    }

    // The "return" value, or an error text in `error`.
    Json Answer(const std::string& command, const Json& args, std::string& error) {
        commands.push_back(Json::Object({{command, args}}));
        const std::string* path = args.Find("path") ? args.Find("path")->AsString() : nullptr;
        const std::string* id = args.Find("id") ? args.Find("id")->AsString() : nullptr;
        if (command == "query-name")
            return name.empty() ? Json::Object() : Json::Object({{"name", Json::String(name)}});
        if (command == "query-block") {
            // The hard disk has snapshots: one level of "backing-image" each, more than the
            // JSON reader keeps.
            Json image = Json::Object({{"filename", Json::String("base.qcow2")}});
            for (int i = 0; i < 40; ++i) image = Json::Object({{"backing-image", std::move(image)}});
            Json list = Json::Array({
                Json::Object({{"device", Json::String("ide0-hd0")},
                              {"qdev", Json::String("/machine/hd")},
                              {"removable", Json::Bool(false)},
                              {"inserted", Json::Object({{"file", Json::String("top.qcow2")}, {"image", image}})}}),
                Json::Object({{"device", Json::String("ide1-cd0")},
                              {"qdev", Json::String("/machine/cd")},
                              {"removable", Json::Bool(true)}}),
            });
            std::vector<Json> items = *list.AsArray();
            for (const FakeFloppy& f : floppies) {
                Json block = Json::Object(
                    {{"device", Json::String("")}, {"qdev", Json::String(f.qdev)}, {"removable", Json::Bool(true)}});
                if (!f.file.empty())
                    block.Set("inserted", Json::Object({{"file", Json::String(f.file)},
                                                        {"drv", Json::String("raw")},
                                                        {"ro", Json::Bool(f.readOnly)}}));
                items.push_back(std::move(block));
            }
            return Json::Array(std::move(items));
        }
        if (command == "query-named-block-nodes") {
            std::vector<Json> nodes;
            for (const FakeFloppy& f : floppies) {
                if (f.file.empty()) continue;
                nodes.push_back(Json::Object({{"file", Json::String(f.file)}, {"drv", Json::String("raw")}}));
                nodes.push_back(Json::Object(
                    {{"file", Json::String(f.file)}, {"drv", Json::String(f.hostDevice ? "host_device" : "file")}}));
            }
            return Json::Array(std::move(nodes));
        }
        if (command == "qom-get") {
            const std::string property = *args.Find("property")->AsString();
            if (path && *path == "/machine/cd" && property == "type") return Json::String("ide-cd");
            FakeFloppy* f = Floppy(path);
            if (!f) error = "Device not found";
            if (error.empty() && property == "type") return Json::String("floppy");
            if (error.empty() && property == "unit") return Json::Integer(f->unit);
            return {};
        }
        FakeFloppy* f = Floppy(id);
        if (command == "blockdev-change-medium" && f) {
            if (!refuseChange.empty()) {
                error = refuseChange;
            } else if (!ignoreChange) {
                f->file = *args.Find("filename")->AsString();
                f->hostDevice = f->file.rfind("/dev/", 0) == 0;
                f->readOnly = *args.Find("read-only-mode")->AsString() == "read-only";
            }
            return Json::Object();
        }
        if (command == "eject" && f) {
            if (!ignoreEject) f->file.clear();
            return Json::Object();
        }
        error = "The command " + command + " has not been found";
        return {};
    }

    // The commands given, as "name {arguments}", leaving out the queries.
    std::vector<std::string> Changes() const {
        std::vector<std::string> changes;
        for (const Json& c : commands) {
            const auto& [name, args] = c.AsObject()->front();
            if (name == "blockdev-change-medium" || name == "eject") changes.push_back(name + " " + ToJson(args));
        }
        return changes;
    }
};

class FakeQmpTransport final : public Transport {
public:
    explicit FakeQmpTransport(FakeQemu& qemu) : qemu_(qemu) {
        pending_ = "{\"QMP\": {\"version\": {}, \"capabilities\": []}}\r\n";
    }
    Status Send(std::string_view bytes, Milliseconds) override {
        auto message = ParseJson(bytes);
        EXPECT_TRUE(message) << bytes;
        const std::string command = *message->Find("execute")->AsString();
        const Json* args = message->Find("arguments");
        std::string error;
        Json value =
            command == "qmp_capabilities" ? Json::Object() : qemu_.Answer(command, args ? *args : Json(), error);
        Json reply = error.empty() ? Json::Object({{"return", value}})
                                   : Json::Object({{"error", Json::Object({{"class", Json::String("GenericError")},
                                                                           {"desc", Json::String(error)}})}});
        reply.Set("id", *message->Find("id"));
        pending_ += ToJson(reply) + "\r\n";
        return Ok();
    }
    Result<std::string> Receive(Milliseconds) override {
        if (pending_.empty()) return Failure{kMachineNotAnswering, {}};
        return std::exchange(pending_, std::string());
    }

private:
    FakeQemu& qemu_;
    std::string pending_;
};

class SilentTransport final : public Transport {
public:
    Status Send(std::string_view, Milliseconds) override { return Ok(); }
    Result<std::string> Receive(Milliseconds) override { return Failure{kMachineNotAnswering, {}}; }
};

// Native paths stand for Windows paths; QEMU sees each under "/q".
class FakePaths final : public PathMapper {
public:
    Result<std::string> ToQemu(const std::wstring& path) override {
        if (path.find(L"unmappable") != std::wstring::npos) return Failure{kNoPathMapping, {}};
        return "/q" + WideToUtf8(path);
    }
    std::optional<std::wstring> ToWindows(const std::string& qemuPath) override {
        if (qemuPath.rfind("/q/", 0) != 0) return std::nullopt;
        return hostcore::Utf8ToWide(qemuPath.substr(2));
    }
    std::string HostFloppyDevice(wchar_t letter) override { return letter == L'A' ? "/dev/fd0" : "/dev/fd1"; }
};

// The file layer, with files marked read-only and other names for a file made up.
class FakeFiles final : public demohost::testing::ForwardedFiles {
public:
    std::set<std::wstring> readOnly;
    std::map<std::wstring, std::wstring> links;  // another name for a file

    Result<PathFacts> Examine(const std::wstring& path) override {
        auto facts = ForwardedFiles::Examine(path);
        if (facts && readOnly.count(path)) facts->readOnly = true;
        return facts;
    }
    FileId Identify(const std::wstring& path) override {
        return ForwardedFiles::Identify(links.count(path) ? links[path] : path);
    }
};

class QemuBackendTest : public ::testing::Test, public Connector {
protected:
    QemuBackendTest() {
        WriteFile(L"machines.txt", "Альфа = 127.0.0.1:5001\nБета = 5002\nГамма = 5003\n");
        alpha.name = "Alpha QEMU";
        // query-block lists unit 1 first; the drives come in unit order.
        alpha.floppies = {Floppy("/machine/fd1", 1), Floppy("fd-a", 0)};
        beta.floppies = {Floppy("/machine/fdb", 0)};
        gamma.state = FakeQemu::State::Down;
        image = WriteFile(L"Дискета 1,44.img", std::string(1474560, '\0'));
        BridgeParts parts;
        parts.files = files;
        parts.paths = std::make_shared<FakePaths>();
        parts.connector = std::shared_ptr<Connector>(this, [](Connector*) {});
        parts.machinesFile = folder.File(L"machines.txt");
        parts.volumeSerial = [] { return 0x12345678u; };
        backend = std::make_unique<QemuBackend>(parts);
    }

    Result<std::unique_ptr<Transport>> Connect(const QmpAddress& address, Milliseconds) override {
        FakeQemu* qemu = address.port == 5001 ? &alpha : address.port == 5002 ? &beta : &gamma;
        if (qemu->state == FakeQemu::State::Down) return Failure{kMachineUnreachable, {}};
        if (qemu->state == FakeQemu::State::Busy) return std::unique_ptr<Transport>(new SilentTransport);
        return std::unique_ptr<Transport>(new FakeQmpTransport(*qemu));
    }

    static FakeFloppy Floppy(std::string qdev, std::int64_t unit) {
        FakeFloppy floppy;
        floppy.qdev = std::move(qdev);
        floppy.unit = unit;
        return floppy;
    }
    std::wstring WriteFile(const std::wstring& name, const std::string& bytes) {
        WriteBytes(folder.File(name), bytes);
        return folder.File(name);
    }
    std::string Q(const std::wstring& path) { return "/q" + WideToUtf8(path); }

    TempFolder folder;
    FakeQemu alpha, beta, gamma;
    std::shared_ptr<FakeFiles> files = std::make_shared<FakeFiles>();
    std::unique_ptr<QemuBackend> backend;
    std::wstring image;
};

TEST_F(QemuBackendTest, ListsMachinesAndDrivesWhicheverMachineIsDown) {
    alpha.floppies[0].file = "/dev/fd1";
    alpha.floppies[0].hostDevice = true;
    alpha.floppies[1].file = Q(image);
    beta.floppies[0].file = "/dev/sdb";  // a USB floppy drive: its letter follows the unit
    beta.floppies[0].hostDevice = true;

    EXPECT_EQ(*backend->MachineCount(), 3u);
    EXPECT_EQ(*backend->MachineName(0), L"Alpha QEMU");
    EXPECT_EQ(*backend->MachineName(1), L"Бета");   // started without -name
    EXPECT_EQ(*backend->MachineName(2), L"Гамма");  // not running: still listed, by its label

    ASSERT_EQ(*backend->DriveCount(0), 2u);  // the CD drive and the hard disk are no floppies
    const hostcore::DriveState first = *backend->Drive(0, 0);
    EXPECT_EQ(first.number, 0);
    EXPECT_EQ(first.attachment, 1);
    EXPECT_EQ(first.imagePath, image);  // QEMU's path, mapped back
    const hostcore::DriveState second = *backend->Drive(0, 1);
    EXPECT_EQ(second.number, 1);
    EXPECT_EQ(second.attachment, 2);
    EXPECT_EQ(second.hostDriveLetter, L"B:");
    EXPECT_EQ(backend->Drive(1, 0)->hostDriveLetter, L"A:");
    EXPECT_EQ(backend->Drive(0, 2).failure().number, kNoSuchPosition);
    EXPECT_EQ(backend->MachineName(3).failure().number, kNoSuchPosition);

    const Failure down = backend->DriveCount(2).failure();
    EXPECT_EQ(down.number, kMachineUnreachable);
    EXPECT_THAT(down.description, AllOf(HasSubstr(L"«Гамма»"), HasSubstr(L"127.0.0.1:5003")));
    // A monitor that another client holds accepts and says nothing.
    beta.state = FakeQemu::State::Busy;
    EXPECT_EQ(*backend->MachineName(1), L"Бета");
    const Failure busy = backend->Drive(1, 0).failure();
    EXPECT_EQ(busy.number, kMachineNotAnswering);
    EXPECT_THAT(busy.description, AllOf(HasSubstr(L"«Бета»"), HasSubstr(L"127.0.0.1:5002")));
}

TEST_F(QemuBackendTest, AttachAlwaysGivesTheReadOnlyModeAndReadsTheDriveBack) {
    const std::wstring locked = WriteFile(L"locked.img", std::string(737280, '\0'));
    files->readOnly.insert(locked);
    ASSERT_TRUE(backend->AttachImage(0, 0, image));
    ASSERT_TRUE(backend->AttachImage(0, 1, locked));
    ASSERT_TRUE(backend->AttachHostDrive(1, 0, L"a:"));
    EXPECT_EQ(alpha.Changes(),
              (std::vector<std::string>{"blockdev-change-medium {\"id\":\"fd-a\",\"filename\":\"" + Q(image) +
                                            "\",\"format\":\"raw\",\"read-only-mode\":\"read-write\"}",
                                        "blockdev-change-medium {\"id\":\"/machine/fd1\",\"filename\":\"" + Q(locked) +
                                            "\",\"format\":\"raw\",\"read-only-mode\":\"read-only\"}"}));
    EXPECT_EQ(beta.Changes().at(0),
              "blockdev-change-medium {\"id\":\"/machine/fdb\",\"filename\":\"/dev/fd0\","
              "\"format\":\"raw\",\"read-only-mode\":\"read-write\"}");
    EXPECT_EQ(backend->Drive(0, 1)->imagePath, locked);
    EXPECT_EQ(backend->Drive(1, 0)->hostDriveLetter, L"A:");
}

TEST_F(QemuBackendTest, AMediumThatQemuDidNotTakeIsAFailureQuotingQemu) {
    alpha.refuseChange = "Failed to get \"write\" lock";
    const Failure refused = backend->AttachImage(0, 0, image).failure();
    EXPECT_EQ(refused.number, kMediumNotTaken);
    EXPECT_THAT(refused.description,
                AllOf(HasSubstr(L"«Failed to get \"write\" lock»"), HasSubstr(L"«Альфа»"), HasSubstr(L"дисководу 0")));
    alpha.refuseChange.clear();
    alpha.ignoreChange = true;
    const Failure silent = backend->AttachImage(0, 0, image).failure();
    EXPECT_EQ(silent.number, kMediumNotTaken);
    EXPECT_THAT(silent.description, HasSubstr(L"дисковод пуст"));
    EXPECT_EQ(backend->Drive(0, 0)->attachment, 0);
}

TEST_F(QemuBackendTest, RefusalsLeaveQemuUnasked) {
    const std::wstring odd = WriteFile(L"odd.img", std::string(1000, '\0'));
    const Failure size = backend->AttachImage(0, 0, odd).failure();
    EXPECT_EQ(size, (Failure{kNotFloppySize, L"Образ «" + odd +
                                                 L"» не подключён: его размер (1000 байт) не подходит "
                                                 L"ни к одному формату дискеты, и гостевая система не сможет прочитать "
                                                 L"такой диск."}));
    const std::wstring unmappable = WriteFile(L"unmappable.img", std::string(1474560, '\0'));
    EXPECT_EQ(backend->AttachImage(0, 0, unmappable).failure().number, kNoPathMapping);
    EXPECT_EQ(backend->AttachImage(0, 0, folder.File(L"missing.img")).failure().number, hostcore::kFileNotFound);
    EXPECT_EQ(backend->AttachHostDrive(0, 0, L"C:").failure().number, hostcore::kBadHostDriveLetter);
    EXPECT_EQ(backend->AttachHostDrive(0, 0, L"A").failure().number, hostcore::kBadHostDriveLetter);
    // QEMU takes paths in UTF-8: U+FFFD for a lone surrogate would name another file.
    const std::wstring lone = image + static_cast<wchar_t>(0xD800);
    EXPECT_THAT(backend->AttachImage(0, 0, lone).failure().description, HasSubstr(L"непарный суррогатный символ"));
    EXPECT_THAT(backend->CreateFloppyImage(lone, 2).failure().description, HasSubstr(L"непарный суррогатный символ"));
    EXPECT_TRUE(alpha.Changes().empty());

    // A drive that holds something, and an image that another drive holds under another name.
    alpha.floppies[1].file = Q(image);
    EXPECT_EQ(backend->AttachImage(0, 0, image).failure().number, hostcore::kDriveNotEmpty);
    const std::wstring link = folder.File(L"link.img");
    WriteBytes(link, std::string(1474560, '\0'));
    files->links[link] = image;
    const Failure held = backend->AttachImage(0, 1, link).failure();
    EXPECT_EQ(held.number, hostcore::kImageInUse);
    EXPECT_TRUE(alpha.Changes().empty());
}

TEST_F(QemuBackendTest, ReleaseEjectsOnlyWhatTheCallReleasesAndChecksTheDriveIsEmpty) {
    alpha.floppies[0].file = "/dev/fd0";
    alpha.floppies[0].hostDevice = true;
    alpha.floppies[1].file = Q(image);
    EXPECT_EQ(backend->ReleaseImage(0, 1).failure().number, hostcore::kNoImageAttached);
    EXPECT_EQ(backend->ReleaseHostDrive(0, 0).failure().number, hostcore::kNoHostDriveAttached);
    EXPECT_TRUE(alpha.Changes().empty());
    alpha.ignoreEject = true;
    EXPECT_EQ(backend->ReleaseImage(0, 0).failure().number, kMediumNotTaken);
    alpha.ignoreEject = false;
    EXPECT_TRUE(backend->ReleaseImage(0, 0));
    EXPECT_TRUE(backend->ReleaseHostDrive(0, 1));
    EXPECT_EQ(alpha.Changes().back(), "eject {\"id\":\"/machine/fd1\"}");
    EXPECT_EQ(backend->Drive(0, 1)->attachment, 0);
}

TEST_F(QemuBackendTest, CreationNeverReplacesAnImageThatAnyRunningMachineHolds) {
    const std::wstring link = folder.File(L"другое имя.img");
    WriteBytes(link, "x");
    files->links[link] = image;
    beta.floppies[0].file = Q(image);
    EXPECT_EQ(backend->CreateFloppyImage(link, hostcore::kFormat144M).failure(),
              (Failure{hostcore::kImageInUse,
                       L"Нельзя заменить файл «" + link + L"»: это образ, подключённый к дисководу 0 машины «Бета»."}));
    EXPECT_EQ(backend->CreateFloppyImage(folder.File(L"machines.txt"), 1).failure().number, hostcore::kImageInUse);

    // The machine that is down (Гамма) holds nothing; one that does not answer might.
    beta.floppies[0].file.clear();
    beta.state = FakeQemu::State::Busy;
    const Failure unchecked = backend->CreateFloppyImage(link, hostcore::kFormat720K).failure();
    EXPECT_EQ(unchecked.number, kCannotCheckMachine);
    EXPECT_THAT(unchecked.description, HasSubstr(L"«Бета»"));
    beta.state = FakeQemu::State::Running;
    ASSERT_TRUE(backend->CreateFloppyImage(link, hostcore::kFormat720K));
    EXPECT_EQ(*backend->GetFloppyImageType(link), hostcore::kFormat720K);
    EXPECT_EQ(*backend->GetFloppyImageType(image), hostcore::kFormat144M);  // by size: no boot sector
}

TEST_F(QemuBackendTest, TheMachinesFileIsReadAgainOnEveryCall) {
    EXPECT_EQ(*backend->MachineCount(), 3u);
    WriteFile(L"machines.txt", "Бета = 5002\n");
    EXPECT_EQ(*backend->MachineCount(), 1u);
    EXPECT_EQ(*backend->MachineName(0), L"Бета");
    WriteFile(L"machines.txt", "Бета = 5002\nДельта\n");
    const Failure malformed = backend->MachineCount().failure();
    EXPECT_EQ(malformed.number, kMalformedMachinesFile);
    EXPECT_THAT(malformed.description, AllOf(HasSubstr(folder.File(L"machines.txt")), HasSubstr(L"строка 2")));
    EXPECT_EQ(backend->DriveCount(0).failure(), malformed);
    std::filesystem::remove(demohost::testing::ToPath(folder.File(L"machines.txt")));
    EXPECT_EQ(*backend->MachineCount(), 0u);
}

}  // namespace
}  // namespace ombrevale::qemuhost
