// The numbered set of disks an image belongs to, as the next-disk keys walk it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/disk_set.h"

namespace ombrevale {
namespace {

// What a row expects of one direction: a name, "" for none that way, "#" for no number.
std::wstring Answer(const SetNeighbour& found) {
    switch (found.outcome) {
    case SetNeighbour::Outcome::Found: return found.name;
    case SetNeighbour::Outcome::NoNumber: return L"#";
    case SetNeighbour::Outcome::NoneThatWay: break;
    }
    return L"";
}

// The folder's other names, separated by "|".
std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<std::wstring> names(1);
    for (wchar_t c : folder) {
        if (c == L'|')
            names.emplace_back();
        else
            names.back().push_back(c);
    }
    return names;
}

TEST(DiskSet, NextAndPreviousDisk) {
    struct Row {
        const char* what;
        std::wstring image, folder, next, previous;
    };
    const Row rows[] = {
        {"digits at the end", L"disk02.vfd", L"disk01.vfd|disk02.vfd|disk03.vfd", L"disk03.vfd", L"disk01.vfd"},
        {"digits at the start", L"2-boot.vfd", L"1-boot.vfd|3-boot.vfd", L"3-boot.vfd", L"1-boot.vfd"},
        {"in the middle, after a fixed number", L"Win95 disk 03 of 13.vfd",
         L"Win95 disk 02 of 13.vfd|Win95 disk 04 of 13.vfd|Win98 disk 04 of 13.vfd", L"Win95 disk 04 of 13.vfd",
         L"Win95 disk 02 of 13.vfd"},
        {"the run that differs counts, not the last", L"Диск 2 из 7.vfd",
         L"Диск 1 из 7.vfd|Диск 3 из 7.vfd|Диск 2 из 8.vfd", L"Диск 3 из 7.vfd", L"Диск 1 из 7.vfd"},
        {"the run where most names differ", L"disk1 v2.vfd", L"disk1 v3.vfd|disk2 v2.vfd|disk0 v2.vfd|disk3 v2.vfd",
         L"disk2 v2.vfd", L"disk0 v2.vfd"},
        {"numbers as numbers", L"disk9.vfd", L"disk10.vfd|disk11.vfd|disk8.vfd|disk1.vfd", L"disk10.vfd", L"disk8.vfd"},
        {"leading zeros may differ", L"disk09.vfd", L"disk010.vfd|disk8.vfd", L"disk010.vfd", L"disk8.vfd"},
        {"one number written twice", L"disk3.vfd", L"disk04.vfd|disk4.vfd|disk2.vfd|disk002.vfd", L"disk4.vfd",
         L"disk2.vfd"},
        {"gaps", L"disk2.vfd", L"disk7.vfd|disk5.vfd|disk0.vfd", L"disk5.vfd", L"disk0.vfd"},
        {"longer than any integer", L"scan 99999999999999999999.vfd",
         L"scan 100000000000000000000.vfd|scan 99999999999999999998.vfd", L"scan 100000000000000000000.vfd",
         L"scan 99999999999999999998.vfd"},
        {"alone", L"disk3.vfd", L"disk3.vfd", L"", L""},
        {"other extensions, the same in capitals", L"disk2.vfd", L"disk3.img|disk1.vfd.bak|disk4.VFD|disk1",
         L"disk4.VFD", L""},
        {"names that differ elsewhere", L"disk2.vfd",
         L"disc3.vfd|disk3a.vfd|disk 3.vfd|disk1-2.vfd|xdisk1.vfd|dísk1.vfd", L"", L""},
        {"Cyrillic, without regard to case", L"Дискета 2.vfd", L"ДИСКЕТА 3.VFD|Дискеты 1.vfd|дискета 1.Vfd|Ёлка 1.vfd",
         L"ДИСКЕТА 3.VFD", L"дискета 1.Vfd"},
        {"no number", L"boot.vfd", L"boot1.vfd|boot2.vfd", L"#", L"#"},
        {"digits only in the extension", L"backup.001", L"backup.002", L"#", L"#"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(Answer(FindNeighbour(row.image, Names(row.folder), Neighbour::Next)), row.next);
        EXPECT_EQ(Answer(FindNeighbour(row.image, Names(row.folder), Neighbour::Previous)), row.previous);
    }
}

TEST(DiskSet, ImagePathSplitsAtItsLastSeparator) {
    const auto windows = SplitImagePath(L"C:\\Образы\\Win 3.1\\disk 1.vfd");
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->folder, L"C:\\Образы\\Win 3.1\\");
    EXPECT_EQ(windows->name, L"disk 1.vfd");
    EXPECT_EQ(SplitImagePath(L"/home/user/disk1.img")->folder, L"/home/user/");
    EXPECT_FALSE(SplitImagePath(L"disk1.vfd"));
    EXPECT_FALSE(SplitImagePath(L"C:\\images\\"));
}

}  // namespace
}  // namespace ombrevale
