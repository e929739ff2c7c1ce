// MsvcRand against the C runtime itself: msvcrt.dll's rand() under Wine, in a fresh thread (the
// runtime keeps one generator per thread) and after srand with several seeds.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "host/msvc_rand.h"

namespace lumacore {
namespace {

using RandFunction = int(__cdecl*)();
using SrandFunction = void(__cdecl*)(unsigned);

struct LibraryCloser {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

struct Draw {
    RandFunction rand;
    SrandFunction srand;
    std::optional<unsigned> seed;
    std::vector<int> values;
};

DWORD WINAPI drawValues(void* parameter) {
    auto& draw = *static_cast<Draw*>(parameter);
    if (draw.seed) draw.srand(*draw.seed);
    for (int& value : draw.values)
        value = draw.rand();
    return 0;
}

TEST(MsvcRand, MatchesTheRuntimesRand) {
    std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryCloser> crt(LoadLibraryA("msvcrt.dll"));
    ASSERT_TRUE(crt);
    // Through the generic function pointer type, which converts to any other without a warning.
    const auto rand = reinterpret_cast<RandFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(crt.get(), "rand")));
    const auto srand = reinterpret_cast<SrandFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(crt.get(), "srand")));
    ASSERT_TRUE(rand && srand);

    const std::optional<unsigned> seeds[] = {std::nullopt, 1u, 0u, 12345u, 0xFFFFFFFFu};
    for (const std::optional<unsigned>& seed : seeds) {
        SCOPED_TRACE(seed ? "srand(" + std::to_string(*seed) + ")" : std::string("fresh thread"));
        Draw draw{rand, srand, seed, std::vector<int>(10000)};
        std::unique_ptr<void, HandleCloser> thread(
            CreateThread(nullptr, 0, drawValues, &draw, 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WaitForSingleObject(thread.get(), INFINITE), WAIT_OBJECT_0);

        MsvcRand ours(seed.value_or(1));
        for (std::size_t i = 0; i < draw.values.size(); ++i)
            ASSERT_EQ(ours(), draw.values[i]) << "value " << i;
    }
}

} // namespace
} // namespace lumacore
