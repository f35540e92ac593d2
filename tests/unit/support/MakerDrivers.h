#pragma once
// The program's drivers as rules see them when no camera is reached: the
// maker's driver alone, whose fixed-size fields decide which typed texts a
// form refuses. Nothing is started.

#include "device/DriverSet.h"
#include "protocols/qv/QvDriver.h"

inline const orv::device::CDriverSet& MakerDrivers() {
    static orv::qv::CQvDriver maker;
    static const orv::device::CDriverSet set = [] {
        orv::device::CDriverSet s;
        s.Add(maker);
        return s;
    }();
    return set;
}
