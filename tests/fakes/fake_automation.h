// Fake Virtual PC automation objects: a host with machines, machines with floppy drives.
// Each call is logged and any call can be made to fail. The drives behave like real
// ones (attaching sets an image, releasing empties the drive) unless told otherwise.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "automation/automation.h"
#include "tests/fakes/call_log.h"

namespace ombrevale::fakes {

// Walks a fixed list; each Next is announced through `enter`, which may fail it.
template <class T>
class FakeEnumerator : public Enumerator<T> {
public:
    FakeEnumerator(std::vector<std::shared_ptr<T>> items, std::function<std::optional<Failure>()> enter)
        : items_(std::move(items)), enter_(std::move(enter)) {}

    Result<std::shared_ptr<T>> Next() override {
        if (auto f = enter_()) return *f;
        if (next_ >= items_.size()) return std::shared_ptr<T>();
        return items_[next_++];
    }

private:
    std::vector<std::shared_ptr<T>> items_;
    std::size_t next_ = 0;
    std::function<std::optional<Failure>()> enter_;
};

// The walk of a fake's collection: over `items`, each step announced through `enter`.
template <class T, class Item>
std::unique_ptr<Enumerator<T>> FakeWalk(const std::vector<std::shared_ptr<Item>>& items,
                                        std::function<std::optional<Failure>()> enter) {
    return std::make_unique<FakeEnumerator<T>>(std::vector<std::shared_ptr<T>>(items.begin(), items.end()),
                                               std::move(enter));
}

class FakeDrive : public FloppyDrive, public Recorder {
public:
    FakeDrive(std::wstring name, CallLog* log, std::int32_t number = 0)
        : Recorder(std::move(name), log), driveNumber(number) {}

    std::int32_t driveNumber;
    std::int32_t attachment = kAttachedNothing;
    std::wstring imagePath;
    std::wstring hostDriveLetter = L"A:";
    // Answers of Attachment taken first, one per read, before the drive's own state.
    std::deque<std::int32_t> scriptedAttachment;

    Status AttachImage(const std::wstring& path) override {
        if (auto f = Enter(L"AttachImage", path)) return *f;
        attachment = kAttachedImage;
        imagePath = path;
        return Ok();
    }
    Status ReleaseImage() override {
        if (auto f = Enter(L"ReleaseImage")) return *f;
        if (attachment == kAttachedImage) {
            attachment = kAttachedNothing;
            imagePath.clear();
        }
        return Ok();
    }
    Result<std::wstring> ImagePath() override {
        if (auto f = Enter(L"ImagePath")) return *f;
        return imagePath;
    }
    Status ReleaseHostDrive() override {
        if (auto f = Enter(L"ReleaseHostDrive")) return *f;
        if (attachment == kAttachedHostDrive) attachment = kAttachedNothing;
        return Ok();
    }
    Result<std::wstring> HostDriveLetter() override {
        if (auto f = Enter(L"HostDriveLetter")) return *f;
        return hostDriveLetter;
    }
    Result<std::int32_t> DriveNumber() override {
        if (auto f = Enter(L"DriveNumber")) return *f;
        return driveNumber;
    }
    Result<std::int32_t> Attachment() override {
        if (auto f = Enter(L"Attachment")) return *f;
        if (!scriptedAttachment.empty()) {
            std::int32_t value = scriptedAttachment.front();
            scriptedAttachment.pop_front();
            return value;
        }
        return attachment;
    }
};

class FakeMachine : public VirtualMachine, public Recorder {
public:
    FakeMachine(std::wstring name, CallLog* log, std::wstring machineName)
        : Recorder(std::move(name), log), machineName(std::move(machineName)) {}

    std::wstring machineName;
    std::vector<std::shared_ptr<FakeDrive>> drives;

    // Adds a drive named "<machine>.drive<i>" with the given drive number.
    std::shared_ptr<FakeDrive> AddDrive(std::int32_t number) {
        auto drive = std::make_shared<FakeDrive>(name() + L".drive" + std::to_wstring(drives.size()), log(), number);
        drives.push_back(drive);
        return drive;
    }

    Result<std::wstring> Name() override {
        if (auto f = Enter(L"Name")) return *f;
        return machineName;
    }
    // Its walk's steps are logged and failed as "FloppyDrives.Next".
    Result<std::unique_ptr<Enumerator<FloppyDrive>>> FloppyDrives() override {
        if (auto f = Enter(L"FloppyDrives")) return *f;
        return FakeWalk<FloppyDrive>(drives, [this] { return Enter(L"FloppyDrives.Next"); });
    }
};

class FakeHost : public VirtualPCHost, public Recorder {
public:
    explicit FakeHost(CallLog* log, std::wstring name = L"host") : Recorder(std::move(name), log) {}

    std::vector<std::shared_ptr<FakeMachine>> machines;
    // Format codes by path; other paths answer `defaultImageType`.
    std::map<std::wstring, std::int32_t> imageTypes;
    std::int32_t defaultImageType = kHighDensity;
    // Images created, as (path, density).
    std::vector<std::pair<std::wstring, std::int32_t>> created;

    // Adds a machine named "vm<i>" that reports `machineName`.
    std::shared_ptr<FakeMachine> AddMachine(std::wstring machineName) {
        auto machine =
            std::make_shared<FakeMachine>(L"vm" + std::to_wstring(machines.size()), log(), std::move(machineName));
        machines.push_back(machine);
        return machine;
    }

    // Its walk's steps are logged and failed as "Machines.Next".
    Result<std::unique_ptr<Enumerator<VirtualMachine>>> Machines() override {
        if (auto f = Enter(L"Machines")) return *f;
        return FakeWalk<VirtualMachine>(machines, [this] { return Enter(L"Machines.Next"); });
    }
    Status CreateFloppyImage(const std::wstring& path, std::int32_t density) override {
        if (auto f = Enter(L"CreateFloppyImage", Args(path, density))) return *f;
        created.emplace_back(path, density);
        return Ok();
    }
    Result<std::int32_t> GetFloppyImageType(const std::wstring& path) override {
        if (auto f = Enter(L"GetFloppyImageType", path)) return *f;
        auto it = imageTypes.find(path);
        return it == imageTypes.end() ? defaultImageType : it->second;
    }
};

}  // namespace ombrevale::fakes
