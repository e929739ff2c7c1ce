#include <gtest/gtest.h>

#include <cmath>

#include "history/history_state.h"

namespace lumacore {
namespace {

TEST(HistoryState, LoadTimeValues) {
    const HistoryState state;
    EXPECT_EQ(state.mode3D, 1);
    EXPECT_EQ(state.columnStep, 4);
    EXPECT_EQ(state.savedColumnStep, 4);
    EXPECT_EQ(state.speed, 100.0f);
    EXPECT_EQ(state.brightness, 1.0f);
    EXPECT_EQ(state.skewTangent, static_cast<float>(std::tan(0.785)));
    EXPECT_NEAR(state.skewTangent, 0.99920, 1e-5);
    EXPECT_EQ(state.verticalScale, 0.33f + 0.09f);
    EXPECT_NEAR(state.verticalScale, 0.42, 1e-6);
    EXPECT_EQ(state.brightnessMin, 0.2f);
    EXPECT_EQ(state.brightnessMax, 2.0f);
    EXPECT_EQ(state.speedMin, 0);
    EXPECT_EQ(state.speedMax, 200);
    EXPECT_EQ(state.drawDC, nullptr);
    EXPECT_EQ(&historyState(), &historyState());
}

TEST(HistoryState, DepthStepFollowsTheClientHeight) {
    EXPECT_NEAR(depthStepFor(600), 2.68, 1e-6);
    EXPECT_EQ(depthStepFor(0), 0.0f);
    EXPECT_NEAR(depthStepFor(150), 0.67, 1e-6);
}

TEST(SpeedValue, ClampsStoresAndQueries) {
    const struct {
        int argument, returned;
        float stored;
    } cases[] = {{-1, 100, 100.0f}, {250, 200, 200.0f}, {-5, 0, 0.0f},
                 {0, 0, 0.0f},      {150, 150, 150.0f}, {-1000000, 0, 0.0f}};
    for (const auto& c : cases) {
        HistoryState state;
        EXPECT_EQ(speedValue(state, c.argument), c.returned) << c.argument;
        EXPECT_EQ(state.speed, c.stored) << c.argument;
    }
    HistoryState state;
    state.speed = 1.5f;
    EXPECT_EQ(speedValue(state, -1), 1);
    state.speed = 3e12f; // from a corrupt file: saturates instead of overflowing
    EXPECT_EQ(speedValue(state, -1), 2147483647);
}

TEST(BrightnessValue, StoresWithoutClampingAndQueriesWithMinusOne) {
    HistoryState state;
    EXPECT_EQ(brightnessValue(state, -1.0f), 1.0f);
    EXPECT_EQ(brightnessValue(state, 0.5f), 0.5f);
    EXPECT_EQ(state.brightness, 0.5f);
    EXPECT_EQ(brightnessValue(state, 7.0f), 7.0f);
    EXPECT_EQ(brightnessValue(state, -1.0f), 7.0f);
}

TEST(SetMode, KeepsThe3DColumnStepAcross2D) {
    HistoryState state;
    setMode(state, 0);
    EXPECT_EQ(currentMode(state), 0);
    EXPECT_EQ(state.columnStep, 1);
    EXPECT_EQ(state.savedColumnStep, 4);
    setMode(state, 0); // a second 2D click must not save the 2D step
    EXPECT_EQ(state.savedColumnStep, 4);
    setMode(state, 1);
    EXPECT_EQ(currentMode(state), 1);
    EXPECT_EQ(state.columnStep, 4);
    setMode(state, 1);
    EXPECT_EQ(state.columnStep, 4);
}

TEST(SetMode, StartingIn2DFromTheSettings) {
    HistoryState state;
    state.mode3D = 0; // as read from a settings file
    setMode(state, state.mode3D);
    EXPECT_EQ(state.columnStep, 1);
    EXPECT_EQ(state.savedColumnStep, 4);
}

} // namespace
} // namespace lumacore
