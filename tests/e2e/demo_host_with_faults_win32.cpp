// demo_host_with_faults.exe: the demo server built for the tests of a server that stops
// answering or dies, never shipped. OMBREVALE_SERVER_FAULT=<operation>:stall[:<seconds>]
// makes its backend stop answering in that operation (60 seconds unless told), and
// <operation>:die ends its process in the middle of it; the operations are the Backend's
// (ReleaseImage, AttachImage, Drive, ...). Wine starts a local server with the environment
// of the client that caused the start, so a test sets the fault for the program it starts.
#include <windows.h>

#include <cwchar>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "demohost/server_win32.h"
#include "hostcore/backend.h"

namespace ombrevale::e2e {
namespace {

struct Fault {
    wchar_t operation[64] = {};
    wchar_t what[8] = {};  // "stall" or "die"
    unsigned seconds = 60;
};

Fault ReadFault() {
    Fault fault;
    wchar_t value[128] = {};
    if (GetEnvironmentVariableW(L"OMBREVALE_SERVER_FAULT", value, 128) < 128)
        std::swscanf(value, L"%63l[^:]:%7l[a-z]:%u", fault.operation, fault.what, &fault.seconds);
    return fault;
}

// The demo server's backend, stalling or dying in the operation that the fault names.
class FaultyBackend final : public hostcore::Backend {
public:
    FaultyBackend(std::shared_ptr<hostcore::Backend> backend, Fault fault)
        : backend_(std::move(backend)), fault_(std::move(fault)) {}

    std::wstring SourcePath() override { return backend_->SourcePath(); }
    Result<std::size_t> MachineCount() override { return At(L"MachineCount")->MachineCount(); }
    Result<std::wstring> MachineName(std::size_t m) override { return At(L"MachineName")->MachineName(m); }
    Result<std::size_t> DriveCount(std::size_t m) override { return At(L"DriveCount")->DriveCount(m); }
    Result<hostcore::DriveState> Drive(std::size_t m, std::size_t d) override { return At(L"Drive")->Drive(m, d); }
    Status AttachImage(std::size_t m, std::size_t d, const std::wstring& path) override {
        return At(L"AttachImage")->AttachImage(m, d, path);
    }
    Status AttachHostDrive(std::size_t m, std::size_t d, const std::wstring& letter) override {
        return At(L"AttachHostDrive")->AttachHostDrive(m, d, letter);
    }
    Status ReleaseImage(std::size_t m, std::size_t d) override { return At(L"ReleaseImage")->ReleaseImage(m, d); }
    Status ReleaseHostDrive(std::size_t m, std::size_t d) override {
        return At(L"ReleaseHostDrive")->ReleaseHostDrive(m, d);
    }
    Result<std::int32_t> GetFloppyImageType(const std::wstring& path) override {
        return At(L"GetFloppyImageType")->GetFloppyImageType(path);
    }
    Status CreateFloppyImage(const std::wstring& path, std::int32_t density) override {
        return At(L"CreateFloppyImage")->CreateFloppyImage(path, density);
    }

private:
    hostcore::Backend* At(std::wstring_view operation) {
        if (operation == fault_.operation) {
            if (std::wstring_view(fault_.what) == L"die") TerminateProcess(GetCurrentProcess(), 3);
            // Stalls without pumping messages, as a server stuck in a long call would.
            if (std::wstring_view(fault_.what) == L"stall") Sleep(fault_.seconds * 1000);
        }
        return backend_.get();
    }

    std::shared_ptr<hostcore::Backend> backend_;
    Fault fault_;
};

}  // namespace
}  // namespace ombrevale::e2e

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    using namespace ombrevale;
    return hostcore::RunLocalServer(
        [] {
            hostcore::ServerDescription server = demohost::DemoServer();
            server.openBackend = [open = server.openBackend]() -> Result<std::shared_ptr<hostcore::Backend>> {
                auto backend = open();
                if (!backend) return backend;
                return std::shared_ptr<hostcore::Backend>(
                    std::make_shared<e2e::FaultyBackend>(std::move(*backend), e2e::ReadFault()));
            };
            return server;
        },
        commandLine);
}
