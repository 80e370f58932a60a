// The Hyper-V bridge's decisions over a fake of its WMI layer: hosts that answer, fail or
// do not answer, machines of both generations, and changes whose jobs finish, fail, run
// on, or report success for a change that did not happen; on real files in a scratch
// folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "hostcore/errors.h"
#include "hypervhost/errors.h"
#include "hypervhost/hosts_file.h"
#include "hypervhost/hyperv_backend.h"
#include "tests/demohost/test_files.h"

namespace ombrevale::hypervhost {
namespace {

using demohost::testing::TempFolder;
using demohost::testing::WriteBytes;
using ::testing::HasSubstr;
using ::testing::StartsWith;

struct FakeMachine {
    std::wstring id, name;
    std::wstring subType = kGeneration1;
    std::wstring image;  // empty: the drive is empty
};

// How the next change's job goes: its states one look at a time (the last one stays), and
// whether Hyper-V then really did it.
struct JobScript {
    std::uint32_t returnValue = kJobStarted;
    std::vector<std::uint16_t> states{kJobRunning, kJobCompleted};
    std::wstring error;
    bool done = true;
};

struct FakeHost final : HyperVHost {
    std::int32_t failure = 0;  // every call fails with it
    std::vector<FakeMachine> machines;
    JobScript job;
    std::vector<std::wstring> changes;
    std::size_t looks = 0;
    std::wstring pending;  // the image a running job puts in
    std::wstring pendingMachine;

    FakeMachine* Find(const std::wstring& id) {
        for (FakeMachine& m : machines)
            if (m.id == id) return &m;
        return nullptr;
    }
    Result<std::optional<MachineSettings>> Settings(const std::wstring& id, Deadline) override {
        if (failure) return Failure{failure, {}};
        const FakeMachine* m = Find(id);
        if (!m) return std::optional<MachineSettings>();
        MachineSettings s{L"vssd:" + id, m->subType, std::nullopt, std::nullopt};
        if (m->subType == kGeneration1) s.drive = L"drive:" + id;
        if (!m->image.empty()) s.disk = FloppyDisk{L"disk:" + id, m->image, {}};
        return std::optional<MachineSettings>(s);
    }
    Result<MethodOutcome> Start(const std::wstring& machine, const std::wstring& image, std::wstring change) {
        changes.push_back(change);
        looks = 0;
        pending = image, pendingMachine = machine;
        if (job.returnValue == 0 && job.done) Find(machine)->image = image;
        return MethodOutcome{job.returnValue, L"job"};
    }
    Result<MethodOutcome> AddDisk(const MachineSettings& m, const std::wstring& image, Deadline) override {
        return Start(m.path.substr(5), image, L"add " + image + L" to " + *m.drive);
    }
    Result<MethodOutcome> ChangeDisk(const FloppyDisk& d, const std::wstring& image, Deadline) override {
        return Start(d.path.substr(5), image, L"change " + d.path + L" to " + image);
    }
    Result<MethodOutcome> RemoveDisk(const FloppyDisk& d, Deadline) override {
        return Start(d.path.substr(5), L"", L"remove " + d.path);
    }
    Result<JobStatus> Job(const std::wstring&, Deadline) override {
        const std::uint16_t state = job.states[std::min(looks++, job.states.size() - 1)];
        if (state == kJobCompleted && job.done) Find(pendingMachine)->image = pending;
        return JobStatus{state, 32768, state == kJobCompleted ? L"" : job.error};
    }
};

struct FakeNetwork final : HyperVNetwork {
    std::map<std::wstring, std::shared_ptr<FakeHost>> hosts;
    std::shared_ptr<HyperVHost> Host(const std::wstring& name) override { return hosts.at(name); }
    std::vector<Result<std::vector<VirtualMachine>>> Machines(const std::vector<std::wstring>& names,
                                                              Deadline) override {
        return PerHost<VirtualMachine>(names, [](const FakeMachine& m, auto& list) { list.push_back({m.id, m.name}); });
    }
    std::vector<Result<std::vector<HeldImage>>> FloppyImages(const std::vector<std::wstring>& names,
                                                             Deadline) override {
        return PerHost<HeldImage>(names, [](const FakeMachine& m, auto& held) {
            if (!m.image.empty()) held.push_back({m.image, m.id});
        });
    }

private:
    // Each named host's answer, in order: its failure, or what `add` lists of its machines.
    template <class T, class Add>
    std::vector<Result<std::vector<T>>> PerHost(const std::vector<std::wstring>& names, Add add) {
        std::vector<Result<std::vector<T>>> answers;
        for (const auto& name : names) {
            const FakeHost& h = *hosts.at(name);
            std::vector<T> list;
            for (const auto& m : h.machines) add(m, list);
            answers.push_back(h.failure ? Result<std::vector<T>>(Failure{h.failure, {}}) : list);
        }
        return answers;
    }
};

class HyperVBackendTest : public ::testing::Test {
protected:
    HyperVBackendTest() {
        network->hosts[L""] = local;
        network->hosts[L"hv-02"] = remote;
        local->machines = {{L"b-id", L"Бета", kGeneration2, L""}, {L"a-id", L"альфа", kGeneration1, L""}};
        remote->machines = {{L"c-id", L"Windows 98", kGeneration1, L"C:\\vfd\\boot.vfd"}};
        WriteBytes(folder.File(L"hosts.txt"), "# hosts\n\\\\hv-02\n");
        WriteBytes(image, std::string(1474560, '\0'));
    }
    std::unique_ptr<HyperVBackend> Bridge(unsigned major = 10) {
        BridgeParts parts;
        parts.files = hostcore::SystemFiles();
        parts.network = network;
        parts.hostsFile = folder.File(L"hosts.txt");
        parts.windowsMajor = major;
        parts.clock = [this] { return now; };
        parts.sleep = [this](Milliseconds span) { now += span; };
        return std::make_unique<HyperVBackend>(std::move(parts));
    }
    std::vector<std::wstring> Names(HyperVBackend& bridge) {
        std::vector<std::wstring> names;
        for (std::size_t i = 0; i < bridge.MachineCount().value(); ++i) names.push_back(*bridge.MachineName(i));
        return names;
    }

    TempFolder folder;
    std::wstring image = folder.File(L"disk.vfd");
    std::shared_ptr<FakeNetwork> network = std::make_shared<FakeNetwork>();
    std::shared_ptr<FakeHost> local = std::make_shared<FakeHost>(), remote = std::make_shared<FakeHost>();
    Clock::time_point now{};
};

TEST_F(HyperVBackendTest, ListsEveryHostsMachinesByNameAndKeepsTheirPlaces) {
    auto bridge = Bridge();
    EXPECT_EQ(Names(*bridge), (std::vector<std::wstring>{L"альфа", L"Бета", L"hv-02: Windows 98"}));
    EXPECT_EQ(*bridge->DriveCount(0), 1u);
    EXPECT_EQ(*bridge->DriveCount(1), 0u) << "generation 2 has no diskette drive";
    EXPECT_EQ(bridge->Drive(2, 0)->imagePath, L"C:\\vfd\\boot.vfd");
    EXPECT_EQ(bridge->Drive(1, 0).failure().number, kNoSuchDrive);

    // A machine deleted keeps its place and says so; one created comes last; a host that
    // stops answering is one entry that says why, and the others go on.
    local->machines.erase(local->machines.begin());
    local->machines.push_back({L"0-id", L"Аардварк", kGeneration1, L""});
    remote->failure = kHostNotAnswering;
    EXPECT_EQ(Names(*bridge), (std::vector<std::wstring>{L"альфа", L"Бета", L"hv-02: Windows 98", L"Аардварк",
                                                         L"hv-02: хост не отвечает"}));
    EXPECT_EQ(bridge->DriveCount(1).failure().description,
              L"Машины «Бета» больше нет в Hyper-V: её удалили. Перезапустите Ombrevale, чтобы обновить список машин.");
    EXPECT_THAT(bridge->DriveCount(4).failure().description, StartsWith(L"Хост Hyper-V «hv-02» не отвечает"));
    EXPECT_EQ(*bridge->DriveCount(3), 1u);
}

TEST_F(HyperVBackendTest, WhenNoHostAnswersTheFirstCallSaysWhyInWords) {
    WriteBytes(folder.File(L"hosts.txt"), "");
    local->failure = kWbemInvalidNamespace;
    EXPECT_THAT(Bridge()->MachineCount().failure().description,
                StartsWith(L"Hyper-V не установлен на этом компьютере: в WMI нет пространства имён "
                           L"root\\virtualization\\v2."));
    local->failure = kWbemAccessDenied;
    EXPECT_THAT(Bridge()->MachineCount().failure().description,
                HasSubstr(L"группу «Администраторы Hyper-V» (Hyper-V Administrators)"));
    local->failure = hostcore::kAccessDenied;
    EXPECT_THAT(Bridge()->MachineCount().failure().description,
                StartsWith(L"Нет доступа к Hyper-V на этом компьютере"));
    // Before Windows 8 this computer is not asked at all.
    local->failure = 0;
    auto old = Bridge(6);
    EXPECT_EQ(old->MachineCount().failure().number, kNoHyperVHere);
    EXPECT_THAT(old->MachineCount().failure().description, HasSubstr(L"здесь Windows версии 6.0"));

    // A computer without Hyper-V that manages other hosts lists theirs and says nothing of itself.
    WriteBytes(folder.File(L"hosts.txt"), "hv-02\n");
    EXPECT_EQ(Names(*old), (std::vector<std::wstring>{L"hv-02: Windows 98"}));
    local->failure = kWbemInvalidNamespace;
    EXPECT_EQ(Names(*Bridge()), (std::vector<std::wstring>{L"hv-02: Windows 98"}));
    remote->failure = kHostNotAnswering;
    EXPECT_THAT(Bridge()->MachineCount().failure().description, StartsWith(L"Хост Hyper-V «hv-02» не отвечает"));
    remote->failure = 0;
    local->failure = kWbemAccessDenied;
    EXPECT_EQ(Names(*Bridge()),
              (std::vector<std::wstring>{L"hv-02: Windows 98", L"Этот компьютер: нет доступа к Hyper-V"}));
}

TEST_F(HyperVBackendTest, ChangesWaitForTheirJobsAndSucceedOnlyWhenTheDriveIsReadBack) {
    auto bridge = Bridge();
    ASSERT_EQ(*bridge->MachineCount(), 3u);
    ASSERT_TRUE(bridge->AttachImage(0, 0, image));
    EXPECT_EQ(local->Find(L"a-id")->image, image);
    remote->job.returnValue = 0;
    ASSERT_TRUE(bridge->AttachImage(2, 0, L"\\\\nas\\vfd\\dos.vfd"));
    ASSERT_TRUE(bridge->ReleaseImage(0, 0));
    EXPECT_EQ(local->changes, (std::vector<std::wstring>{L"add " + image + L" to drive:a-id", L"remove disk:a-id"}));
    EXPECT_EQ(remote->changes, (std::vector<std::wstring>{L"change disk:c-id to \\\\nas\\vfd\\dos.vfd"}));

    EXPECT_EQ(bridge->AttachImage(2, 0, L"vfd\\dos.vfd").failure().number, kNotFullPath);
    EXPECT_EQ(bridge->ReleaseImage(0, 0).failure().number, hostcore::kNoImageAttached);
    EXPECT_EQ(bridge->AttachHostDrive(0, 0, L"A:").failure().number, kNoHostDrives);

    local->job = JobScript{kJobStarted, {kJobRunning, 10}, L"The file is not a floppy image.", false};
    EXPECT_EQ(bridge->AttachImage(0, 0, image).failure().description,
              L"Hyper-V не смог вставить образ «" + image + L"» (машина «альфа»): «The file is not a floppy image.».");
    local->job = JobScript{4, {}, L"", false};
    EXPECT_EQ(bridge->AttachImage(0, 0, image).failure().number, kHyperVRefused);
    // A job still running when the call's time is up; the call ends within its time.
    local->job = JobScript{kJobStarted, {kJobRunning}, L"", false};
    const auto started = now;
    EXPECT_EQ(bridge->AttachImage(0, 0, image).failure().number, kJobTooLong);
    EXPECT_LE(now - started, Milliseconds(3500));
    // Hyper-V says it is done, and the drive is still empty.
    local->job = JobScript{kJobStarted, {kJobCompleted}, L"", false};
    EXPECT_EQ(bridge->AttachImage(0, 0, image).failure().description,
              L"Hyper-V сообщил, что удалось вставить образ «" + image + L"» (машина «альфа»), но в дисководе пусто.");
}

TEST_F(HyperVBackendTest, CreatingNeverReplacesAnImageThatADriveHoldsByAnyName) {
    auto bridge = Bridge();
    ASSERT_TRUE(bridge->MachineCount());
    local->Find(L"a-id")->image = image;
    const std::wstring other = folder.File(L"other name.vfd");
    ASSERT_TRUE(demohost::testing::MakeSymlink(image, other));
    EXPECT_EQ(bridge->CreateFloppyImage(other, 2).failure().description,
              L"Нельзя заменить файл «" + other + L"»: это образ, подключённый к дисководу 0 машины «альфа».");
    // Another host's own drive letters are its own; a host that cannot be asked might hold it.
    local->Find(L"a-id")->image.clear();
    remote->Find(L"c-id")->image = image;
    EXPECT_TRUE(bridge->CreateFloppyImage(image, 1));
    remote->failure = kRpcServerUnavailable;
    EXPECT_EQ(bridge->CreateFloppyImage(image, 2).failure().number, kCannotCheckHost);
    EXPECT_TRUE(bridge->CreateFloppyImage(folder.File(L"new.vfd"), 2));
    EXPECT_EQ(bridge->CreateFloppyImage(folder.File(L"hosts.txt"), 2).failure().number, hostcore::kImageInUse);
}

TEST(HostsFile, NamesOneHostALineAndRefusesWhatIsNoHostName) {
    EXPECT_EQ(*ParseHostsFile("\xEF\xBB\xBF# хосты\r\n\r\n  hv-01 \r\n\\\\HV-02.example.local\n192.168.1.20\n", L"h"),
              (std::vector<HostEntry>{{L"hv-01", 3}, {L"HV-02.example.local", 4}, {L"192.168.1.20", 5}}));
    EXPECT_EQ(ParseHostsFile("hv-01\nHV-01\n", L"C:\\h.txt").failure().description,
              L"Ошибка в файле хостов Hyper-V «C:\\h.txt», строка 2: хост «HV-01» уже указан в строке 1.");
    // A file's encoding and line ends are named as in the other servers' files.
    const std::pair<const char*, const wchar_t*> bad[] = {
        {"hv 01", L"строка 1: непонятное имя хоста «hv 01»"},
        {"hv-01\\share", L"непонятное имя хоста"},
        {"localhost", L"«localhost» — это сам этот компьютер"},
        {".", L"«.» — это сам этот компьютер"},
        {"\xFF", L"текст не в кодировке UTF-8"},
        {"hv-01\x01", L"управляющий символ"},
        {"hv-01\rhv-02\r", L"строка 1: строки разделены одиночными символами CR"},
        {"\xFF\xFE", L"Файл хостов Hyper-V «h» сохранён в кодировке UTF-16; сохраните его в кодировке UTF-8."},
    };
    for (const auto& [text, problem] : bad) {
        const auto hosts = ParseHostsFile(text, L"h");
        ASSERT_FALSE(hosts) << text;
        EXPECT_EQ(hosts.failure().number, kMalformedHostsFile) << text;
        EXPECT_THAT(hosts.failure().description, HasSubstr(problem)) << text;
    }
}

}  // namespace
}  // namespace ombrevale::hypervhost
