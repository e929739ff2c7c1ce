#include "history/history_state.h"

#include <algorithm>

#include "host/arith.h"

namespace lumacore {

HistoryState& historyState() {
    static HistoryState state;
    return state;
}

float depthStepFor(int clientHeight) {
    return static_cast<float>((1.0 - static_cast<double>(kAboveBaselineFraction)) * clientHeight /
                              150);
}

void setClientSize(HistoryState& state, int width, int height) {
    state.windowWidth = width;
    state.windowHeight = height;
    state.depthStep = depthStepFor(height);
}

void setMode(HistoryState& state, int flag) {
    const bool was3D = state.mode3D != 0;
    state.mode3D = flag != 0 ? 1 : 0;
    if (flag != 0) {
        state.columnStep = state.savedColumnStep;
        return;
    }
    if (was3D) state.savedColumnStep = state.columnStep;
    state.columnStep = 1;
}

int currentMode(const HistoryState& state) {
    return state.mode3D;
}

int speedValue(HistoryState& state, int value) {
    if (value == -1) return truncToInt(state.speed);
    value = std::clamp(value, state.speedMin, state.speedMax);
    state.speed = static_cast<float>(value);
    return value;
}

float brightnessValue(HistoryState& state, float value) {
    if (value == -1.0f) return state.brightness;
    state.brightness = value;
    return value;
}

} // namespace lumacore
