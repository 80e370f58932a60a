// Images made by the host, checked by Debian's own FAT tools: what a guest would see.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "demohost/demo_host.h"
#include "hostcore/utf8.h"
#include "tests/demohost/test_files.h"

namespace ombrevale::demohost {

using namespace hostcore;
namespace {

int RunTool(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::wstring& path) { return "'" + WideToUtf8(path) + "'"; }

TEST(FatToolsTest, CreatedImagesAreCleanEmptyFat12AndTakeFiles) {
    testing::TempFolder folder;
    auto host = DemoHost::Open(SystemFiles(), {folder.File(L"inventory.txt"), folder.Folder()});
    ASSERT_TRUE(host.ok());
    for (const int density : {1, 2}) {
        SCOPED_TRACE(density);
        const std::wstring image = folder.File(L"образ " + std::to_wstring(density) + L".vfd");
        ASSERT_TRUE((*host)->CreateFloppyImage(image, density).ok());
        EXPECT_EQ(RunTool("fsck.fat -n " + Quoted(image)), 0);
        EXPECT_EQ(RunTool("mdir -i " + Quoted(image) + " ::"), 0);
        EXPECT_NE(RunTool("mdir -i " + Quoted(image) + " ::/README.TXT"), 0) << "the root directory is empty";

        const std::wstring payload = folder.File(L"readme.txt");
        testing::WriteBytes(payload, std::string(20'000, 'z'));
        ASSERT_EQ(RunTool("mcopy -i " + Quoted(image) + " " + Quoted(payload) + " ::/README.TXT"), 0);
        EXPECT_EQ(RunTool("mdir -i " + Quoted(image) + " ::/README.TXT"), 0);
        EXPECT_EQ(RunTool("fsck.fat -n " + Quoted(image)), 0);
    }
    // The samples of the default inventory are made the same way.
    for (const SampleImage& sample : DefaultSampleImages(*SystemFiles(), folder.Folder()))
        EXPECT_EQ(RunTool("fsck.fat -n " + Quoted(sample.path)), 0);
}

}  // namespace
}  // namespace ombrevale::demohost
