// What every run of the real plug-in must leave in vishost's ledger: nothing alive after any
// Quit, nothing freed twice, while selected or that it never owned, no drawing on a device
// context it had given back, and never more than one pen and one brush of its own on a surface.
#pragma once

#include <gtest/gtest.h>

#include "vishost/report.h"

namespace lumacore::testing {

inline void expectNothingLeft(const vishost::Report& report) {
    ASSERT_TRUE(report.resources.hooked);
    EXPECT_GT(report.resources.objectsCreated, 0);
    for (const vishost::CycleRecord& cycle : report.cycles)
        ASSERT_EQ(cycle.alive, vishost::ResourceCounts{}) << "after cycle " << cycle.index;
    const auto& r = report.resources;
    EXPECT_EQ(r.alive, vishost::ResourceCounts{});
    EXPECT_EQ(r.objectsCreated, r.objectsDeleted);
    EXPECT_EQ(r.dcsTaken, r.dcsReleased);
    EXPECT_EQ(r.classesRegistered, r.classesUnregistered);
    EXPECT_EQ(r.windowsCreated, r.windowsDestroyed);
    EXPECT_LE(r.peakPensOnSurface, 1);
    EXPECT_LE(r.peakBrushesOnSurface, 1);
    EXPECT_EQ(r.deletedWhileSelected, 0);
    EXPECT_EQ(r.releasedHoldingObject, 0);
    EXPECT_EQ(r.unknownFrees, 0);
    EXPECT_EQ(r.crossThreadDestroys, 0);
    EXPECT_EQ(r.deadDeletes, 0);
    EXPECT_EQ(r.callsOnReleasedDCs, 0);
}

} // namespace lumacore::testing
