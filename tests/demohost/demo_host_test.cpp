#include "demohost/demo_host.h"
#include "demohost/demo_backend.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "hostcore/errors.h"
#include "hostcore/floppy_image.h"
#include "hostcore/utf8.h"
#include "tests/demohost/test_files.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ombrevale::demohost {

using namespace hostcore;
namespace {

using ::testing::HasSubstr;
using testing::TempFolder;
using ::testing::UnorderedElementsAre;

std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

// The real file system, with failures on demand and a record of how much was read.
class FlakyFiles final : public testing::ForwardedFiles {
public:
    std::optional<std::int32_t> failWrite;
    std::optional<std::int32_t> failOpen;
    std::vector<std::size_t> reads;

    Result<std::unique_ptr<ReadableFile>> OpenForReading(const std::wstring& p) override {
        if (failOpen) return Failure{*failOpen, {}};
        auto file = ForwardedFiles::OpenForReading(p);
        if (!file) return file;
        return std::unique_ptr<ReadableFile>(new Recorded(std::move(*file), reads));
    }
    Status WriteAtomically(const std::wstring& p, std::span<const std::uint8_t> bytes, WriteMode mode) override {
        if (failWrite) return Failure{*failWrite, {}};
        return ForwardedFiles::WriteAtomically(p, bytes, mode);
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
        testing::WriteBytes(Inventory(),
                            Utf8(L"machine Рабочая\n drive 0 image " + Image() +
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
    // Each sample is the floppy its name promises, as the file itself says.
    const struct {
        const wchar_t* name;
        std::int32_t format;
        std::size_t size;
    } samples[] = {{L"Пустая дискета 1,44 МБ.vfd", kFormat144M, 1'474'560},
                   {L"Пустая дискета 720 КБ.vfd", kFormat720K, 737'280}};
    for (const auto& sample : samples) {
        const std::wstring path = folder_.File(sample.name);
        EXPECT_EQ(testing::ReadBytes(path).size(), sample.size) << Utf8(path);
        auto format = host->GetFloppyImageType(path);
        ASSERT_TRUE(format.ok()) << Utf8(path);
        EXPECT_EQ(*format, sample.format) << Utf8(path);
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
    ExpectFailure(Status::of(host), host.ok() ? 0 : host.failure().number,
                  L"Не удалось создать папку «" + blocker + L"»");
}

TEST_F(DemoHostTest, MalformedInventoryNamesTheFileAndTheLine) {
    testing::WriteBytes(Inventory(), "machine A\n  drive zero empty\n");
    auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
    ExpectFailure(Status::of(host), kMalformedInventory,
                  L"Ошибка в файле инвентаря «" + Inventory() + L"», строка 2: номер дисковода «zero»");
    EXPECT_EQ(testing::ReadBytes(Inventory()), "machine A\n  drive zero empty\n") << "a broken file is not replaced";
}

TEST_F(DemoHostTest, InventoryHoldingOneImageInTwoDrivesIsMalformed) {
    testing::WriteBytes(Inventory(),
                        "machine A\ndrive 0 image C:\\Disks\\Boot.vfd\n"
                        "machine B\ndrive 0 empty\ndrive 1 image c:\\disks\\BOOT.VFD\n");
    auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
#ifdef _WIN32
    ExpectFailure(Status::of(host), kMalformedInventory,
                  L"строка 5: образ «c:\\disks\\BOOT.VFD» уже подключён: дисковод 0 машины «A», строка 2");
#else
    // Native paths are relative without a drive letter, but compare alike.
    ExpectFailure(Status::of(host), kMalformedInventory, L"строка 5: образ «c:\\disks\\BOOT.VFD» уже подключён");
#endif

    // Other names of one file: a hard link, a name relative to the inventory's folder, a
    // symbolic link; and the inventory itself is no image.
    testing::WriteBytes(Image(), "image");
    const std::wstring hard = folder_.File(L"жёсткая.vfd"), soft = folder_.File(L"ссылка.vfd");
    std::filesystem::create_hard_link(testing::ToPath(Image()), testing::ToPath(hard));
    std::vector<std::wstring> names = {hard, L"образ с пробелами.vfd"};
    if (testing::MakeSymlink(Image(), soft)) names.push_back(soft);
    for (const std::wstring& name : names) {
        testing::WriteBytes(Inventory(),
                            Utf8(L"machine A\n drive 0 image " + Image() + L"\n drive 1 image " + name + L"\n"));
        host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
        ExpectFailure(Status::of(host), kMalformedInventory,
                      L"строка 3: образ «" + name + L"» уже подключён: дисковод 0 машины «A», строка 2");
    }
    testing::WriteBytes(Inventory(), Utf8(L"machine A\n drive 0 image " + Inventory() + L"\n"));
    host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
    ExpectFailure(Status::of(host), kMalformedInventory,
                  L"строка 2: образ «" + Inventory() + L"» — это сам файл инвентаря");
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
    // Saved as U+FFFD, a lone surrogate would have the drive name another file.
    const std::wstring lone = Other() + static_cast<wchar_t>(0xDC00);
    ExpectFailure(host->AttachImage(0, 1, lone), kInvalidArgument,
                  L"Недопустимый путь к файлу образа «" + lone + L"»: в нём непарный суррогатный символ UTF-16");
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
    ASSERT_TRUE(files->WriteAtomically(target, bytes, WriteMode::Replace).ok());
    EXPECT_EQ(testing::ReadBytes(target), text);

    // A rename that fails (a folder is in the way) leaves the folder and no stray file.
    const std::wstring folder = folder_.File(L"папка");
    ASSERT_TRUE(files->CreateFolders(files->Join(folder, L"inside")).ok());
    EXPECT_FALSE(files->WriteAtomically(folder, bytes, WriteMode::Replace).ok());
    EXPECT_THAT(folder_.Names(), UnorderedElementsAre(L"цель.txt", L"папка"));
    EXPECT_EQ(files->Examine(files->Join(folder, L"inside"))->kind, PathKind::Folder);

    EXPECT_FALSE(files->WriteAtomically(folder_.File(L"нет папки/файл.txt"), bytes, WriteMode::Replace).ok());
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

// Every other name of a held image or of the inventory is still that file: the guards
// know files, not spellings.
TEST_F(DemoHostTest, OneFileUnderAnyNameIsGuardedAsOneFile) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::string inventoryBefore = testing::ReadBytes(Inventory());
    const auto namesOf = [&](const std::wstring& file, const std::wstring& tag) {
        const std::wstring name = file.substr(folder_.Folder().size() + 1);
        std::vector<std::wstring> names = {folder_.File(L"папка/../" + name)};
        const std::wstring hard = folder_.File(L"жёсткая " + tag);
        std::filesystem::create_hard_link(testing::ToPath(file), testing::ToPath(hard));
        names.push_back(hard);
        if (testing::MakeSymlink(file, folder_.File(L"ссылка " + tag))) names.push_back(folder_.File(L"ссылка " + tag));
#ifdef _WIN32
        std::wstring upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](wchar_t c) {
            return (c >= L'a' && c <= L'z') || (c >= L'а' && c <= L'я') ? static_cast<wchar_t>(c - 0x20) : c;
        });
        names.push_back(folder_.File(upper));
        names.push_back(L"\\\\?\\" + file);
        names.push_back(L"\\\\.\\" + file);
        names.push_back(file + L". .");
        std::wstring slashes = file;
        std::replace(slashes.begin(), slashes.end(), L'\\', L'/');
        names.push_back(slashes);
        std::wstring shortName(1024, L'\0');
        shortName.resize(GetShortPathNameW(file.c_str(), shortName.data(), 1024));
        if (!shortName.empty() && shortName != file) names.push_back(shortName);
        if (std::string unixName = testing::UnixName(file); !unixName.empty()) {
            // As a person would see it: through the prefix's drive_c, not its dosdevices link.
            if (const auto at = unixName.find("/dosdevices/c:/"); at != std::string::npos)
                unixName.replace(at, 15, "/drive_c/");
            std::wstring z = L"Z:" + *Utf8ToWide(unixName);
            std::replace(z.begin(), z.end(), L'/', L'\\');
            names.push_back(z);
        }
#endif
        return names;
    };
    std::filesystem::create_directory(folder_.path() / "папка");

    for (const std::wstring& name : namesOf(Image(), L"образ.vfd")) {
        SCOPED_TRACE(Utf8(name));
        ExpectFailure(host->CreateFloppyImage(name, 2), kImageInUse,
                      L"это образ, подключённый к дисководу 0 машины «Рабочая».");
        ExpectFailure(host->AttachImage(1, 1, name), kImageInUse, L"уже подключён: дисковод 0 машины «Рабочая».");
    }
    for (const std::wstring& name : namesOf(Inventory(), L"инвентарь.txt")) {
        SCOPED_TRACE(Utf8(name));
        ExpectFailure(host->CreateFloppyImage(name, 2), kImageInUse, L": это файл инвентаря демонстрационного узла.");
        ExpectFailure(host->AttachImage(1, 1, name), kImageInUse,
                      L"как образ: это файл инвентаря демонстрационного узла.");
    }
    // A relative name, from the current folder.
    const auto current = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    ExpectFailure(host->CreateFloppyImage(L"образ с пробелами.vfd", 2), kImageInUse, L"подключённый к дисководу 0");
    std::filesystem::current_path(current);

    // A drive may also name an image that is not there yet: creating it is creating over it.
    const std::wstring missing = folder_.File(L"будущий.vfd");
    testing::WriteBytes(Inventory(), Utf8(L"machine Рабочая\n drive 0 image " + missing + L"\n drive 1 empty\n"));
    host = Open();
    ASSERT_TRUE(host);
    ExpectFailure(host->CreateFloppyImage(folder_.File(L"БУДУЩИЙ.VFD"), 1), kImageInUse, L"подключённый к дисководу 0");
    EXPECT_FALSE(testing::Exists(missing));
    EXPECT_EQ(testing::ReadBytes(Image()), "image");
    (void)inventoryBefore;
}

TEST_F(DemoHostTest, ReadOnlyFilesAreRefusedAndLeftAsTheyWere) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::wstring old = Other();
    testing::SetReadOnly(old, true);
    ExpectFailure(host->CreateFloppyImage(old, 2), kAccessDenied,
                  L"Не удалось записать файл образа «" + old + L"» (файл только для чтения).");
    EXPECT_EQ(testing::ReadBytes(old), "other");
    EXPECT_TRUE(testing::IsReadOnly(old));

    const std::string before = testing::ReadBytes(Inventory());
    const auto state = host->inventory();
    testing::SetReadOnly(Inventory(), true);
    ExpectFailure(host->AttachHostDrive(0, 1, L"B:"), kAccessDenied,
                  L"Не удалось сохранить файл инвентаря «" + Inventory() +
                      L"» (файл только для чтения), поэтому изменение не выполнено.");
    EXPECT_EQ(testing::ReadBytes(Inventory()), before);
    EXPECT_TRUE(testing::IsReadOnly(Inventory()));
    EXPECT_EQ(host->inventory(), state);
    EXPECT_THAT(folder_.Names(), UnorderedElementsAre(L"inventory.txt", L"образ с пробелами.vfd", L"другой.vfd"));
    testing::SetReadOnly(Inventory(), false);
    testing::SetReadOnly(old, false);
}

TEST_F(DemoHostTest, ALinkedInventoryIsSavedThroughItsLinkAndABrokenOneIsRefused) {
    const std::wstring real = folder_.File(L"настоящий инвентарь.txt");
    testing::WriteBytes(Image(), "image");
    testing::WriteBytes(real, Utf8(L"machine Рабочая\n drive 0 image " + Image() + L"\n drive 1 empty\n"));
    if (!testing::MakeSymlink(real, Inventory())) GTEST_SKIP() << "no symbolic links here";
    auto host = Open();
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->AttachHostDrive(0, 1, L"B:").ok());
    EXPECT_THAT(testing::ReadBytes(real), HasSubstr("drive 1 host B:")) << "the file the link points to is saved";
    EXPECT_EQ(testing::ReadBytes(Inventory()), testing::ReadBytes(real)) << "and the link still leads there";
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_symlink(testing::ToPath(Inventory())));
#endif
    // An image made through a link is written to the file the link points to.
    const std::wstring imageLink = folder_.File(L"ссылка на образ.vfd");
    ASSERT_TRUE(testing::MakeSymlink(Other(), imageLink));
    ASSERT_TRUE(host->CreateFloppyImage(imageLink, 1).ok());
    EXPECT_EQ(testing::ReadBytes(Other()).size(), 737'280u);

    // Once the file is gone, the link leads nowhere: no save and no sample inventory may
    // take its place.
    std::filesystem::remove(testing::ToPath(real));
    ExpectFailure(host->ReleaseHostDrive(0, 1), kFileNotFound,
                  L"Не удалось сохранить файл инвентаря «" + Inventory() +
                      L"» (это ссылка на несуществующий файл), поэтому изменение не выполнено.");
    auto reopened = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
    ExpectFailure(Status::of(reopened), kFileNotFound,
                  L"Файл инвентаря «" + Inventory() + L"» — ссылка на файл, которого нет.");
    EXPECT_FALSE(testing::Exists(real));
    for (const SampleImage& sample : DefaultSampleImages(*files_, folder_.Folder()))
        EXPECT_FALSE(testing::Exists(sample.path));
}

TEST_F(DemoHostTest, TemporaryFilesNeverBlockASaveAndLeftoversGoAtTheNextStart) {
    testing::WriteBytes(Image(), "image");
    testing::WriteBytes(Inventory(), Utf8(L"machine Рабочая\n drive 0 image " + Image() + L"\n drive 1 empty\n"));
    const std::wstring sample = DefaultSampleImages(*files_, folder_.Folder())[0].path;
    const std::wstring sampleName = sample.substr(folder_.Folder().size() + 1);
    std::vector<std::wstring> ours = {L"~inventory.txt.0000ABCD.omb.tmp", L"~INVENTORY.TXT.12.3.tmp",
                                      L"~" + sampleName + L".FFFF0000.omb.tmp"};
    // The names that earlier versions would have taken next in this process.
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const unsigned long process = static_cast<unsigned long>(::getpid());
#endif
    for (int n = 1; n <= 20; ++n)
        ours.push_back(L"~inventory.txt." + std::to_wstring(process) + L"." + std::to_wstring(n) + L".tmp");
    const std::vector<std::wstring> notOurs = {L"~inventory.txt.backup", L"~другой.txt.0000ABCD.omb.tmp",
                                               L"inventory.txt.1.2.tmp", L"~inventory.txt.XYZ.omb.tmp"};
    for (const auto& name : ours) testing::WriteBytes(folder_.File(name), "left over");
    for (const auto& name : notOurs) testing::WriteBytes(folder_.File(name), "someone's");
    const std::wstring inUse = folder_.File(L"~inventory.txt.0000BEEF.omb.tmp");
    testing::HeldOpen writer(inUse);

    auto host = Open();
    ASSERT_TRUE(host);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(host->AttachHostDrive(0, 1, L"B:").ok());
        ASSERT_TRUE(host->ReleaseHostDrive(0, 1).ok());
    }
    std::vector<std::wstring> expected = notOurs;
    expected.insert(expected.end(), {L"inventory.txt", L"образ с пробелами.vfd", L"~inventory.txt.0000BEEF.omb.tmp"});
    std::sort(expected.begin(), expected.end());
    std::vector<std::wstring> names = folder_.Names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
}

TEST_F(DemoHostTest, PathsThatNameNoImageFileAreRefusedInWords) {
    auto host = OpenSample();
    ASSERT_TRUE(host);
    const std::string before = testing::ReadBytes(Inventory());
    const auto names = folder_.Names();
    const auto refusedEverywhere = [&](const std::wstring& path, std::int32_t number, const std::wstring& reading,
                                       const std::wstring& creating) {
        SCOPED_TRACE(Utf8(path));
        ExpectFailure(host->AttachImage(0, 1, path), number, reading);
        ExpectFailure(Status::of(host->GetFloppyImageType(path)), number, reading);
        ExpectFailure(host->CreateFloppyImage(path, 2), number, creating);
    };
    const std::wstring blank = L"Не указан путь к файлу образа: в нём одни пробелы.";
    refusedEverywhere(L"   ", kInvalidArgument, blank, blank);
    // A stream of a file is no file of its own.
    const std::wstring stream = Other() + L":поток";
    const std::wstring colon =
        L"Недопустимый путь к файлу образа «" + stream + L"»: двоеточие может стоять только после буквы диска.";
    refusedEverywhere(stream, kInvalidArgument, colon, colon);
    refusedEverywhere(L"образ.vfd:stream", kInvalidArgument, L"двоеточие может стоять только", L"двоеточие");
#ifdef _WIN32
    const std::vector<std::wstring> devices = {L"CON", L"C:\\x\\con.vfd", L"NUL", L"COM1", L"LPT1", L"AUX",
                                               L"PRN", L"CONIN$"};
#else
    const std::vector<std::wstring> devices = {L"/dev/null"};
#endif
    for (const std::wstring& device : devices) {
        refusedEverywhere(device, kNotRegularFile, L"Это не файл образа, а имя устройства: " + device,
                          L"Нельзя создать образ «" + device + L"»: это имя устройства, а не файла.");
    }
    EXPECT_EQ(testing::ReadBytes(Inventory()), before);
    std::vector<std::wstring> after = folder_.Names();
    EXPECT_THAT(after, UnorderedElementsAre(L"inventory.txt", L"образ с пробелами.vfd", L"другой.vfd"));
    (void)names;
}

// The file is a person's: a change rewrites the one line it changes.
TEST_F(DemoHostTest, SavingKeepsWhatAPersonWrote) {
    testing::WriteBytes(Image(), "image");
    const std::string written = Utf8(
        L"\xFEFF# Мои машины\r\n"
        L"MACHINE  Рабочая   \r\n"
        L"\t# первый дисковод\r\n"
        L"\tDrive 0 Image " +
        Image() +
        L"\r\n"
        L"\r\n"
        L"      drive 7 empty\r\n"
        L"# конец");
    testing::WriteBytes(Inventory(), written);
    auto host = Open();
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->AttachHostDrive(0, 1, L"a:").ok());
    ASSERT_TRUE(host->ReleaseImage(0, 0).ok());
    EXPECT_EQ(testing::ReadBytes(Inventory()), Utf8(L"\xFEFF# Мои машины\r\n"
                                                    L"MACHINE  Рабочая   \r\n"
                                                    L"\t# первый дисковод\r\n"
                                                    L"\tdrive 0 empty\r\n"
                                                    L"\r\n"
                                                    L"      drive 7 host A:\r\n"
                                                    L"# конец"));
    EXPECT_EQ(Open()->inventory(), host->inventory());
}

#ifdef _WIN32
// Run as a child of the test below: writes until it is killed.
[[noreturn]] void WriteUntilKilled(const std::wstring& folder) {
    const auto files = SystemFiles();
    auto host = DemoHost::Open(files, {files->Join(folder, L"inventory.txt"), folder});
    if (!host) ExitProcess(3);
    const HANDLE started = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"OmbrevaleTestWriterStarted");
    for (;;) {
        (void)(*host)->CreateFloppyImage(files->Join(folder, L"big.vfd"), 2);
        (void)(*host)->AttachHostDrive(0, 1, L"B:");
        (void)(*host)->ReleaseHostDrive(0, 1);
        if (started) SetEvent(started);
    }
}

const bool kIsWriterChild = [] {
    wchar_t folder[1024];
    const DWORD length = GetEnvironmentVariableW(L"OMBREVALE_TEST_WRITER", folder, 1024);
    if (length > 0 && length < 1024) WriteUntilKilled(folder);
    return false;
}();
#endif

// A host ended in the middle of its writes leaves no temporary files that pile up, and
// its next start finds the inventory whole.
TEST_F(DemoHostTest, KilledWhileWritingLeavesNoPileOfTemporaryFiles) {
    testing::WriteBytes(Inventory(), "machine Рабочая\n drive 0 empty\n drive 1 empty\n");
    const std::wstring big = folder_.File(L"big.vfd");
#ifdef _WIN32
    const HANDLE started = CreateEventW(nullptr, TRUE, FALSE, L"OmbrevaleTestWriterStarted");
    ASSERT_TRUE(started);
#endif
    // Each time the writer is killed a few milliseconds later into its work.
    for (int round = 0; round < 12; ++round) {
#ifdef _WIN32
        ResetEvent(started);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=-*";
        SetEnvironmentVariableW(L"OMBREVALE_TEST_WRITER", folder_.Folder().c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        ASSERT_TRUE(
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
        SetEnvironmentVariableW(L"OMBREVALE_TEST_WRITER", nullptr);
        ASSERT_EQ(WaitForSingleObject(started, 20'000), WAIT_OBJECT_0);
        Sleep(3 + 4 * round);
        TerminateProcess(child.hProcess, 9);
        WaitForSingleObject(child.hProcess, 10'000);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
#else
        int started[2];
        ASSERT_EQ(pipe(started), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const auto files = SystemFiles();
            auto host = DemoHost::Open(files, {Inventory(), folder_.Folder()});
            if (!host) _exit(3);
            for (;;) {
                (void)(*host)->CreateFloppyImage(big, 2);
                (void)(*host)->AttachHostDrive(0, 1, L"B:");
                (void)(*host)->ReleaseHostDrive(0, 1);
                (void)!write(started[1], "x", 1);
            }
        }
        char once;
        ASSERT_EQ(read(started[0], &once, 1), 1);
        close(started[0]);
        close(started[1]);
        usleep((3 + 4 * round) * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
#endif
    }
#ifdef _WIN32
    CloseHandle(started);
#endif
    const auto temporaries = [&] {
        std::size_t count = 0;
        for (const auto& name : folder_.Names()) count += name != L"inventory.txt" && name != L"big.vfd";
        return count;
    };
    // At most the one write that each file was in the middle of.
    EXPECT_LE(temporaries(), 2u);
    auto host = Open();
    ASSERT_TRUE(host);
    ASSERT_TRUE(host->CreateFloppyImage(big, 1).ok());
    EXPECT_EQ(temporaries(), 0u);
}

// The server's one state over the file: a hand edit made while it runs is read in at the
// next call, a malformed one fails every call naming its line until it is mended, and a
// change asked for while the file differs from what the server saved is refused, leaving
// the edit byte for byte.
TEST_F(DemoHostTest, TheServerReadsInHandEditsAndNeverWritesOverThem) {
    testing::WriteBytes(Image(), "image");
    testing::WriteBytes(Inventory(), Utf8(L"machine Первая\n drive 0 empty\n"));
    DemoBackend backend(files_, {Inventory(), folder_.Folder()});
    ASSERT_EQ(*backend.MachineName(0), L"Первая");
    ASSERT_TRUE(backend.AttachImage(0, 0, Image()).ok());

    const std::string edited = Utf8(L"# переименована вручную\nmachine Вторая\n drive 0 empty\n drive 1 empty\n");
    testing::WriteBytes(Inventory(), edited);
    EXPECT_EQ(*backend.MachineName(0), L"Вторая");
    EXPECT_EQ(*backend.DriveCount(0), 2u);

    testing::WriteBytes(Inventory(), "machine Третья\n drive x empty\n");
    ExpectFailure(Status::of(backend.MachineCount()), kMalformedInventory, L"строка 2");
    testing::WriteBytes(Inventory(), edited);
    EXPECT_EQ(*backend.MachineCount(), 1u);

    // The host saved a change; then the file is edited again before the next change.
    ASSERT_TRUE(backend.AttachImage(0, 1, Image()).ok());
    const auto host = DemoHost::Open(files_, {Inventory(), folder_.Folder()});
    ASSERT_TRUE(host.ok());
    const std::string mine = testing::ReadBytes(Inventory()) + "# ещё одна правка\n";
    testing::WriteBytes(Inventory(), mine);
    ExpectFailure((*host)->ReleaseImage(0, 1), kInventoryChanged, L"изменён вручную");
    EXPECT_EQ(testing::ReadBytes(Inventory()), mine);
    EXPECT_TRUE(backend.ReleaseImage(0, 1).ok()) << "the backend has read the edit in";
    EXPECT_NE(testing::ReadBytes(Inventory()).find("# ещё одна правка"), std::string::npos);
}

}  // namespace
}  // namespace ombrevale::demohost
