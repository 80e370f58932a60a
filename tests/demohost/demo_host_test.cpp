#include "demohost/demo_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "demohost/errors.h"
#include "demohost/floppy_image.h"
#include "demohost/utf8.h"
#include "tests/demohost/test_files.h"

namespace ombrevale::demohost {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;
using testing::TempFolder;

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

// The real file system, with failures on demand and a record of how much was read.
class FlakyFiles final : public Files {
public:
    std::optional<std::int32_t> failWrite;
    std::optional<std::int32_t> failOpen;
    std::vector<std::size_t> reads;

    Result<std::wstring> FullPath(const std::wstring& p) override { return real_->FullPath(p); }
    bool SamePath(const std::wstring& a, const std::wstring& b) const override { return real_->SamePath(a, b); }
    std::wstring Join(const std::wstring& f, const std::wstring& n) const override { return real_->Join(f, n); }
    std::wstring Parent(const std::wstring& p) const override { return real_->Parent(p); }
    Result<PathKind> Examine(const std::wstring& p) override { return real_->Examine(p); }
    Status CreateFolders(const std::wstring& p) override { return real_->CreateFolders(p); }

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& p) override {
        if (failOpen) return Failure{*failOpen, {}};
        auto file = real_->OpenForReading(p);
        if (!file) return file;
        return std::unique_ptr<ReadableFile>(new Recorded(std::move(*file), reads));
    }
    Status WriteAtomically(const std::wstring& p, std::span<const std::uint8_t> bytes) override {
        if (failWrite) return Failure{*failWrite, {}};
        return real_->WriteAtomically(p, bytes);
    }

private:
    class Recorded final : public ReadableFile {
    public:
        Recorded(std::unique_ptr<ReadableFile> file, std::vector<std::size_t>& reads)
            : file_(std::move(file)), reads_(reads) {}
        std::uint64_t Size() const override { return file_->Size(); }
        Result<std::vector<std::uint8_t>> ReadHead(std::size_t count) override {
            reads_.push_back(count);
            return file_->ReadHead(count);
        }

    private:
        std::unique_ptr<ReadableFile> file_;
        std::vector<std::size_t>& reads_;
    };

    std::shared_ptr<Files> real_ = SystemFiles();
};

class DemoHostTest : public ::testing::Test {
protected:
    std::wstring Inventory() const { return folder_.File(L"inventory.txt"); }

    std::shared_ptr<DemoHost> Open() {
        auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()}, [] { return 0x1234u; });
        EXPECT_TRUE(host.ok()) << Utf8(host.ok() ? L"" : host.failure().description);
        return host.ok() ? *host : nullptr;
    }

    // An inventory with an image, a host drive and empty drives, and the image file.
    std::shared_ptr<DemoHost> OpenSample() {
        testing::WriteBytes(Image(), "image");
        testing::WriteBytes(Inventory(), Utf8(L"machine Рабочая\n drive 0 image " + Image() +
                                              L"\n drive 1 empty\nmachine Рабочая\n drive 0 host A:\n drive 4 empty\n"));
        return Open();
    }
    std::wstring Image() const { return folder_.File(L"образ с пробелами.vfd"); }
    std::wstring Other() const {
        const std::wstring other = folder_.File(L"другой.vfd");
        if (!testing::Exists(other)) testing::WriteBytes(other, "other");
        return other;
    }

    static void ExpectFailure(const Status& status, std::int32_t number, const std::wstring& text) {
        ASSERT_FALSE(status.ok());
        EXPECT_EQ(status.failure().number, number);
        EXPECT_THAT(Utf8(status.failure().description), HasSubstr(Utf8(text)));
    }

    TempFolder folder_;
    std::shared_ptr<FlakyFiles> files_ = std::make_shared<FlakyFiles>();
};

TEST_F(DemoHostTest, FirstUseCreatesTheDefaultInventoryAndItsSampleImages) {
    const auto host = Open();
    ASSERT_TRUE(host);
    const auto& machines = host->inventory().machines;
    ASSERT_GE(machines.size(), 3u);
    const auto has = [&](auto predicate) { return std::any_of(machines.begin(), machines.end(), predicate); };
    EXPECT_TRUE(has([](const MachineEntry& m) { return m.drives.size() == 2; }));
    EXPECT_TRUE(has([](const MachineEntry& m) { return !m.drives.empty() && m.drives[0].media == Media::HostDrive; }));
    EXPECT_TRUE(has([](const MachineEntry& m) { return !m.drives.empty() && m.drives[0].media == Media::Image; }));

    auto reread = ParseInventory(testing::ReadBytes(Inventory()), Inventory());
    ASSERT_TRUE(reread.ok());
    EXPECT_EQ(*reread, host->inventory());
    for (const SampleImage& sample : DefaultSampleImages(*files_, folder_.Folder())) {
        auto format = host->GetFloppyImageType(sample.path);
        ASSERT_TRUE(format.ok()) << Utf8(sample.path);
        EXPECT_EQ(*format, sample.density);
    }
}

TEST_F(DemoHostTest, FirstUseLeavesAnExistingSampleImageAlone) {
    const std::wstring sample = DefaultSampleImages(*files_, folder_.Folder())[0].path;
    testing::WriteBytes(sample, "the user's own file");
    ASSERT_TRUE(Open());
    EXPECT_EQ(testing::ReadBytes(sample), "the user's own file");
}

TEST_F(DemoHostTest, FirstUseThatCannotCreateTheFolderNamesIt) {
    const std::wstring blocker = folder_.File(L"blocker");
    testing::WriteBytes(blocker, "a file where the folder should be");
    auto host = DemoHost::Open(files_, {files_->Join(blocker, L"inventory.txt"), blocker});
    ExpectFailure(Status::of(host), host.ok() ? 0 : host.failure().number, L"Не удалось создать папку «" + blocker + L"»");
}

TEST_F(DemoHostTest, MalformedInventoryNamesTheFileAndTheLine) {
    testing::WriteBytes(Inventory(), "machine A\n  drive zero empty\n");
    auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
    ExpectFailure(Status::of(host), kMalformedInventory,
                  L"Ошибка в файле инвентаря «" + Inventory() + L"», строка 2: номер дисковода «zero»");
    EXPECT_EQ(testing::ReadBytes(Inventory()), "machine A\n  drive zero empty\n") << "a broken file is not replaced";
}

TEST_F(DemoHostTest, InventoryHoldingOneImageInTwoDrivesIsMalformed) {
    testing::WriteBytes(Inventory(), "machine A\ndrive 0 image C:\\Disks\\Boot.vfd\n"
                                     "machine B\ndrive 0 empty\ndrive 1 image c:\\disks\\BOOT.VFD\n");
    auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
#ifdef _WIN32
    ExpectFailure(Status::of(host), kMalformedInventory, L"строка 5: образ «c:\\disks\\BOOT.VFD» уже подключён: дисковод 0 машины «A», строка 2");
#else
    // Native paths are relative without a drive letter, but compare alike.
    ExpectFailure(Status::of(host), kMalformedInventory, L"строка 5: образ «c:\\disks\\BOOT.VFD» уже подключён");
#endif
}

TEST_F(DemoHostTest, AttachImageSavesTheFullPathBeforeSucceeding) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->AttachImage(0, 1, Other()).ok());
    EXPECT_EQ(host->inventory().machines[0].drives[1], (DriveEntry{1, Media::Image, Other()}));
    EXPECT_EQ(Open()->inventory(), host->inventory()) << "the change is in the file";
}

TEST_F(DemoHostTest, AttachImageRefusesWhatItCannotUse) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::string before = testing::ReadBytes(Inventory());
    const std::wstring missing = folder_.File(L"нет такого.vfd");
    ExpectFailure(host->AttachImage(0, 1, missing), kFileNotFound, L"Файл образа не найден: " + missing);
    ExpectFailure(host->AttachImage(0, 1, folder_.Folder()), kNotRegularFile,
                  L"Это не файл образа, а папка или устройство: " + folder_.Folder());
    ExpectFailure(host->AttachImage(0, 1, L""), kInvalidArgument, L"Не указан путь к файлу образа.");
    // A line break would smuggle a line of its own into the inventory.
    const std::wstring sneaky = Other() + L"\nmachine Чужая";
    ExpectFailure(host->AttachImage(0, 1, sneaky), kInvalidArgument,
                  L"В пути к файлу образа недопустимые символы: " + sneaky);
    ExpectFailure(host->AttachImage(0, 0, Other()), kDriveNotEmpty,
                  L"Дисковод 0 машины «Рабочая» занят: в нём образ «" + Image() + L"»");
    ExpectFailure(host->AttachImage(1, 0, Other()), kDriveNotEmpty,
                  L"Дисковод 0 машины «Рабочая» занят: к нему подключено устройство A:");
    ExpectFailure(host->AttachImage(1, 1, Image()), kImageInUse,
                  L"Образ «" + Image() + L"» уже подключён: дисковод 0 машины «Рабочая».");
    files_->failOpen = kAccessDenied;
    ExpectFailure(host->AttachImage(0, 1, Other()), kAccessDenied,
                  L"Не удалось прочитать файл образа (нет доступа): " + Other());
    EXPECT_EQ(testing::ReadBytes(Inventory()), before);
    EXPECT_EQ(host->inventory().machines[0].drives[1].media, Media::Nothing);
}

TEST_F(DemoHostTest, ReleasesOnlyWhatTheDriveHolds) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    ExpectFailure(host->ReleaseImage(0, 1), kNoImageAttached, L"в дисководе 1 машины «Рабочая» нет образа");
    ExpectFailure(host->ReleaseImage(1, 0), kNoImageAttached, L"в дисководе 0 машины «Рабочая» нет образа");
    ExpectFailure(host->ReleaseHostDrive(0, 0), kNoHostDriveAttached,
                  L"дисковод 0 машины «Рабочая» не подключён к устройству хоста");
    ASSERT_TRUE(host->ReleaseImage(0, 0).ok());
    ASSERT_TRUE(host->ReleaseHostDrive(1, 0).ok());
    const auto reopened = Open();
    EXPECT_EQ(reopened->inventory().machines[0].drives[0].media, Media::Nothing);
    EXPECT_EQ(reopened->inventory().machines[1].drives[0].media, Media::Nothing);
    EXPECT_TRUE(host->AttachImage(1, 1, Image()).ok()) << "a released image is free again";
}

TEST_F(DemoHostTest, AttachHostDriveTakesALetterOnAnEmptyDrive) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    ExpectFailure(host->AttachHostDrive(0, 1, L"A"), kBadHostDriveLetter, L"а не «A»");
    ExpectFailure(host->AttachHostDrive(0, 0, L"B:"), kDriveNotEmpty, L"занят");
    ASSERT_TRUE(host->AttachHostDrive(0, 1, L"b:").ok());
    EXPECT_EQ(Open()->inventory().machines[0].drives[1], (DriveEntry{1, Media::HostDrive, L"B:"}));
}

TEST_F(DemoHostTest, AChangeThatCannotBeSavedIsNotMade) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::string before = testing::ReadBytes(Inventory());
    const auto state = host->inventory();
    files_->failWrite = kDiskFull;
    const std::wstring notSaved = L"Не удалось сохранить файл инвентаря «" + Inventory() +
                                  L"» (на диске нет места), поэтому изменение не выполнено.";
    ExpectFailure(host->AttachImage(0, 1, Other()), kDiskFull, notSaved);
    ExpectFailure(host->ReleaseImage(0, 0), kDiskFull, notSaved);
    ExpectFailure(host->ReleaseHostDrive(1, 0), kDiskFull, notSaved);
    ExpectFailure(host->AttachHostDrive(1, 1, L"B:"), kDiskFull, notSaved);
    EXPECT_EQ(host->inventory(), state);
    EXPECT_EQ(testing::ReadBytes(Inventory()), before);
    files_->failWrite.reset();
    EXPECT_TRUE(host->AttachImage(0, 1, Other()).ok()) << "the old state goes on working";
}

TEST_F(DemoHostTest, AtomicWriteLeavesNoTemporaryFile) {
    const auto files = SystemFiles();
    const std::wstring target = folder_.File(L"цель.txt");
    testing::WriteBytes(target, "old");
    const std::string text = "new contents";
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    ASSERT_TRUE(files->WriteAtomically(target, bytes).ok());
    EXPECT_EQ(testing::ReadBytes(target), text);

    // A rename that fails (a folder is in the way) leaves the folder and no stray file.
    const std::wstring folder = folder_.File(L"папка");
    ASSERT_TRUE(files->CreateFolders(files->Join(folder, L"inside")).ok());
    EXPECT_FALSE(files->WriteAtomically(folder, bytes).ok());
    EXPECT_THAT(folder_.Names(), UnorderedElementsAre(L"цель.txt", L"папка"));
    EXPECT_EQ(*files->Examine(files->Join(folder, L"inside")), PathKind::Other);

    EXPECT_FALSE(files->WriteAtomically(folder_.File(L"нет папки/файл.txt"), bytes).ok());
    EXPECT_THAT(folder_.Names(), UnorderedElementsAre(L"цель.txt", L"папка"));
}

TEST_F(DemoHostTest, ClassificationReadsNoMoreThanTheBootSector) {
    auto host = Open();
    ASSERT_TRUE(host);
    const std::wstring odd = folder_.File(L"odd.vfd");
    testing::WriteBytes(odd, std::string(1000, 'x'));
    files_->reads.clear();
    EXPECT_EQ(*host->GetFloppyImageType(odd), kUnknownFormat);
    EXPECT_TRUE(files_->reads.empty()) << "a size of no format needs no reading";

    const std::wstring plain = folder_.File(L"plain.vfd");
    testing::WriteBytes(plain, std::string(368'640, '\0'));
    EXPECT_EQ(*host->GetFloppyImageType(plain), kFormatSingleSided);
    EXPECT_EQ(files_->reads, std::vector<std::size_t>{kBootSectorSize});
}

TEST_F(DemoHostTest, ClassificationFailsForWhatIsNoImageFile) {
    auto host = Open();
    ASSERT_TRUE(host);
    const std::wstring missing = folder_.File(L"нет.vfd");
    ExpectFailure(Status::of(host->GetFloppyImageType(missing)), kFileNotFound, L"Файл образа не найден: " + missing);
    ExpectFailure(Status::of(host->GetFloppyImageType(folder_.Folder())), kNotRegularFile,
                  L"Это не файл образа, а папка или устройство: " + folder_.Folder());
    ExpectFailure(Status::of(host->GetFloppyImageType(L"")), kInvalidArgument, L"Не указан путь к файлу образа.");
    files_->failOpen = kSharingViolation;
    ExpectFailure(Status::of(host->GetFloppyImageType(Inventory())), kSharingViolation,
                  L"Не удалось прочитать файл образа (файл занят другой программой): " + Inventory());
}

TEST_F(DemoHostTest, CreatesBothDensitiesAndReplacesAnUnheldFile) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::wstring high = folder_.File(L"новый 1,44.vfd");
    const std::wstring low = Other();  // exists already: the save dialog asked
    ASSERT_TRUE(host->CreateFloppyImage(high, 2).ok());
    ASSERT_TRUE(host->CreateFloppyImage(low, 1).ok());
    EXPECT_EQ(*host->GetFloppyImageType(high), kFormat144M);
    EXPECT_EQ(*host->GetFloppyImageType(low), kFormat720K);
    EXPECT_EQ(testing::ReadBytes(low).size(), 737'280u);
}

TEST_F(DemoHostTest, CreationRefusesAndLeavesEverythingAsItWas) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::wstring fresh = folder_.File(L"новый.vfd");
    ExpectFailure(host->CreateFloppyImage(fresh, 3), kUnknownDensity,
                  L"Не удалось создать образ «" + fresh + L"»: неизвестный код плотности 3");
    ExpectFailure(host->CreateFloppyImage(fresh, 0), kUnknownDensity, L"код плотности 0");
    EXPECT_FALSE(testing::Exists(fresh));

#ifdef _WIN32
    std::wstring heldOtherCase = Image();
    std::transform(heldOtherCase.begin(), heldOtherCase.end(), heldOtherCase.begin(), ::towupper);
#else
    std::wstring heldOtherCase = folder_.File(L"ОБРАЗ С ПРОБЕЛАМИ.VFD");
#endif
    ExpectFailure(host->CreateFloppyImage(heldOtherCase, 2), kImageInUse,
                  L"это образ, подключённый к дисководу 0 машины «Рабочая».");
    EXPECT_EQ(testing::ReadBytes(Image()), "image");

    ExpectFailure(host->CreateFloppyImage(Inventory(), 2), kImageInUse, L"это файл инвентаря");
    ExpectFailure(host->CreateFloppyImage(folder_.Folder(), 2), kNotRegularFile,
                  L"по этому пути находится папка или устройство");
    const std::wstring nowhere = folder_.File(L"нет папки") + L"/x.vfd";
    EXPECT_FALSE(host->CreateFloppyImage(nowhere, 2).ok());

    const std::wstring old = Other();
    files_->failWrite = kAccessDenied;
    ExpectFailure(host->CreateFloppyImage(old, 2), kAccessDenied,
                  L"Не удалось записать файл образа «" + old + L"» (нет доступа).");
    EXPECT_EQ(testing::ReadBytes(old), "other");
}

}  // namespace
}  // namespace ombrevale::demohost
