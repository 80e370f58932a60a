// The numbered set of disks an image belongs to, as the next-disk keys walk it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/disk_set.h"

namespace ombrevale {
namespace {

using Outcome = SetNeighbour::Outcome;

struct Row {
    const char* name;
    std::wstring image;
    std::vector<std::wstring> folder;
    Outcome next;
    std::wstring nextName;
    Outcome previous;
    std::wstring previousName;
};

constexpr Outcome kFound = Outcome::Found;
constexpr Outcome kNone = Outcome::NoneThatWay;

TEST(DiskSet, NextAndPreviousDisk) {
    const std::vector<Row> rows = {
        {"digits at the end",
         L"disk02.vfd",
         {L"disk01.vfd", L"disk02.vfd", L"disk03.vfd"},
         kFound,
         L"disk03.vfd",
         kFound,
         L"disk01.vfd"},
        {"digits at the start",
         L"2-boot.vfd",
         {L"1-boot.vfd", L"3-boot.vfd"},
         kFound,
         L"3-boot.vfd",
         kFound,
         L"1-boot.vfd"},
        {"digits in the middle, with a fixed number before them",
         L"Win95 disk 03 of 13.vfd",
         {L"Win95 disk 02 of 13.vfd", L"Win95 disk 04 of 13.vfd", L"Win98 disk 04 of 13.vfd"},
         kFound,
         L"Win95 disk 04 of 13.vfd",
         kFound,
         L"Win95 disk 02 of 13.vfd"},
        {"the run that differs counts, not the last one",
         L"Диск 2 из 7.vfd",
         {L"Диск 1 из 7.vfd", L"Диск 3 из 7.vfd", L"Диск 2 из 8.vfd"},
         kFound,
         L"Диск 3 из 7.vfd",
         kFound,
         L"Диск 1 из 7.vfd"},
        {"the run in which most names differ is the set's number",
         L"disk1 v2.vfd",
         {L"disk1 v3.vfd", L"disk2 v2.vfd", L"disk3 v2.vfd", L"disk0 v2.vfd"},
         kFound,
         L"disk2 v2.vfd",
         kFound,
         L"disk0 v2.vfd"},
        {"numbers compare as numbers",
         L"disk9.vfd",
         {L"disk10.vfd", L"disk11.vfd", L"disk8.vfd", L"disk1.vfd"},
         kFound,
         L"disk10.vfd",
         kFound,
         L"disk8.vfd"},
        {"leading zeros may differ",
         L"disk09.vfd",
         {L"disk010.vfd", L"disk8.vfd"},
         kFound,
         L"disk010.vfd",
         kFound,
         L"disk8.vfd"},
        {"a number written twice: the one written like the image's",
         L"disk3.vfd",
         {L"disk04.vfd", L"disk4.vfd", L"disk2.vfd", L"disk002.vfd"},
         kFound,
         L"disk4.vfd",
         kFound,
         L"disk2.vfd"},
        {"gaps are skipped",
         L"disk2.vfd",
         {L"disk7.vfd", L"disk5.vfd", L"disk0.vfd"},
         kFound,
         L"disk5.vfd",
         kFound,
         L"disk0.vfd"},
        {"numbers longer than any integer",
         L"scan 99999999999999999999.vfd",
         {L"scan 100000000000000000000.vfd", L"scan 99999999999999999998.vfd"},
         kFound,
         L"scan 100000000000000000000.vfd",
         kFound,
         L"scan 99999999999999999998.vfd"},
        {"the first and the last disk", L"disk3.vfd", {L"disk3.vfd"}, kNone, L"", kNone, L""},
        {"other extensions, the same one in capitals",
         L"disk2.vfd",
         {L"disk3.img", L"disk1.vfd.bak", L"disk4.VFD", L"disk1"},
         kFound,
         L"disk4.VFD",
         kNone,
         L""},
        {"names that differ elsewhere",
         L"disk2.vfd",
         {L"disc3.vfd", L"disk3a.vfd", L"disk 3.vfd", L"disk1-2.vfd", L"xdisk1.vfd", L"dísk1.vfd"},
         kNone,
         L"",
         kNone,
         L""},
        {"Cyrillic names, compared without regard to case",
         L"Дискета 2.vfd",
         {L"ДИСКЕТА 3.VFD", L"Дискеты 1.vfd", L"дискета 1.Vfd", L"Ёлка 1.vfd"},
         kFound,
         L"ДИСКЕТА 3.VFD",
         kFound,
         L"дискета 1.Vfd"},
        {"no number in the name",
         L"boot.vfd",
         {L"boot1.vfd", L"boot2.vfd"},
         Outcome::NoNumber,
         L"",
         Outcome::NoNumber,
         L""},
        {"digits only in the extension",
         L"backup.001",
         {L"backup.002"},
         Outcome::NoNumber,
         L"",
         Outcome::NoNumber,
         L""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SetNeighbour next = FindNeighbour(row.image, row.folder, Neighbour::Next);
        EXPECT_EQ(next.outcome, row.next);
        EXPECT_EQ(next.name, row.nextName);
        const SetNeighbour previous = FindNeighbour(row.image, row.folder, Neighbour::Previous);
        EXPECT_EQ(previous.outcome, row.previous);
        EXPECT_EQ(previous.name, row.previousName);
    }
}

TEST(DiskSet, ImagePathSplitsAtItsLastSeparator) {
    const auto windows = SplitImagePath(L"C:\\Образы\\Win 3.1\\disk 1.vfd");
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->folder, L"C:\\Образы\\Win 3.1\\");
    EXPECT_EQ(windows->name, L"disk 1.vfd");
    const auto unix = SplitImagePath(L"/home/user/disk1.img");
    ASSERT_TRUE(unix);
    EXPECT_EQ(unix->folder, L"/home/user/");
    EXPECT_FALSE(SplitImagePath(L"disk1.vfd"));
    EXPECT_FALSE(SplitImagePath(L"C:\\images\\"));
}

}  // namespace
}  // namespace ombrevale
