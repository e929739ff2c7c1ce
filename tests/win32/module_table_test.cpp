// The library as a player sees it: loaded with LoadLibrary, asked for its header through the one
// export, and its module records read field by field.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "host/vis_module.h"

namespace lumacore {
namespace {

using GetHeader = winampVisHeader* (*)();

class Library : public ::testing::Test {
  protected:
    void SetUp() override {
        dll_ = LoadLibraryA(LUMACORE_DLL_PATH);
        ASSERT_NE(dll_, nullptr) << "cannot load " << LUMACORE_DLL_PATH;
        getHeader_ = reinterpret_cast<GetHeader>(
            reinterpret_cast<void*>(GetProcAddress(dll_, "winampVisGetHeader")));
        ASSERT_NE(getHeader_, nullptr);
    }
    void TearDown() override {
        if (dll_) FreeLibrary(dll_);
    }
    HMODULE dll_ = nullptr;
    GetHeader getHeader_ = nullptr;
};

TEST_F(Library, HeaderIsStableAndDescribesTheLibrary) {
    winampVisHeader* header = getHeader_();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header, getHeader_());
    EXPECT_EQ(header->version, 0x101);
    EXPECT_STREQ(header->description, "Lumacore");
    ASSERT_NE(header->getModule, nullptr);
    EXPECT_EQ(header->getModule(0), header->getModule(0));
}

TEST_F(Library, IndicesOutsideTheTableGiveNull) {
    winampVisHeader* header = getHeader_();
    for (const int index : {-1, 3, 4, 1000, INT_MIN, INT_MAX})
        EXPECT_EQ(header->getModule(index), nullptr) << index;
}

struct ExpectedModule {
    int index;
    const char* description;
    int latencyMs, delayMs, spectrumNch, waveformNch;
};

TEST_F(Library, ModuleRecordsCarryTheirStaticValues) {
    const ExpectedModule table[] = {
        {0, "Lumacor 3D", 0, 2, 2, 0},
        {1, "Oscilliscope", 25, 25, 0, 2},
        {2, "VU Meter", 25, 25, 0, 2},
    };
    winampVisHeader* header = getHeader_();
    for (const ExpectedModule& expected : table) {
        SCOPED_TRACE(expected.description);
        winampVisModule* module = header->getModule(expected.index);
        ASSERT_NE(module, nullptr);
        EXPECT_STREQ(module->description, expected.description);
        EXPECT_EQ(module->latencyMs, expected.latencyMs);
        EXPECT_EQ(module->delayMs, expected.delayMs);
        EXPECT_EQ(module->spectrumNch, expected.spectrumNch);
        EXPECT_EQ(module->waveformNch, expected.waveformNch);
        EXPECT_NE(module->Config, nullptr);
        EXPECT_NE(module->Init, nullptr);
        EXPECT_NE(module->Render, nullptr);
        EXPECT_NE(module->Quit, nullptr);
        EXPECT_EQ(module->userData, nullptr);
    }
    // The scope modules share Config, Init and Quit and differ in Render.
    winampVisModule* scope = header->getModule(1);
    winampVisModule* meter = header->getModule(2);
    EXPECT_EQ(scope->Config, meter->Config);
    EXPECT_EQ(scope->Init, meter->Init);
    EXPECT_EQ(scope->Quit, meter->Quit);
    EXPECT_NE(scope->Render, meter->Render);
    EXPECT_NE(header->getModule(0)->Init, scope->Init);
}

TEST(VersionResource, NamesTheProductAndItsVersion) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(LUMACORE_DLL_PATH, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(LUMACORE_DLL_PATH, 0, size, data.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), LUMACORE_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), LUMACORE_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), LUMACORE_VERSION_PATCH);

    char* product = nullptr;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\040904B0\\ProductName",
                               reinterpret_cast<void**>(&product), &length));
    EXPECT_STREQ(product, "Lumacore");
}

} // namespace
} // namespace lumacore
