// Which timings of the tables an adapter holds: each (row, rate index) whose record every timing
// register of the programming sequence matches (CRTC 0x11 aside, whose protect bit the sequence
// handles on its own). The tests that check a sentence against what a run did ask this, whatever
// form their adapter takes.
#pragma once

#include <utility>
#include <vector>

#include "timing/tables.h"
#include "timing/timing.h"

namespace support {

// value(extended, index): the register as the adapter holds it, or -1 where it was not written.
template <typename Value> std::vector<std::pair<TableRow, RateIndex>> TimingsHeld(Value value) {
    static const struct {
        int record;
        bool extended;
        int index;
    } kPlaces[] = {
        {kRecordCrtc00 + 0, false, 0x00}, {kRecordCrtc00 + 1, false, 0x01}, {kRecordCrtc00 + 2, false, 0x02},
        {kRecordCrtc00 + 3, false, 0x03}, {kRecordCrtc00 + 4, false, 0x04}, {kRecordCrtc00 + 5, false, 0x05},
        {kRecordCrtc00 + 6, false, 0x06}, {kRecordCrtc00 + 7, false, 0x07}, {kRecordCrtc10, false, 0x10},
        {kRecordCrtc12, false, 0x12},     {kRecordCrtc15, false, 0x15},     {kRecordCrtc16, false, 0x16},
        {kRecordCrtc30 + 0, false, 0x30}, {kRecordCrtc30 + 1, false, 0x31}, {kRecordCrtc30 + 2, false, 0x32},
        {kRecordCrtc30 + 3, false, 0x33}, {kRecordExtC8 + 0, true, 0xC8},   {kRecordExtC8 + 1, true, 0xC9},
        {kRecordExtC8 + 2, true, 0xCA},   {kRecordExtC8 + 3, true, 0xCB},
    };
    std::vector<std::pair<TableRow, RateIndex>> held;
    for (TableRow row = 0; row < kRowCount; ++row) {
        for (RateIndex rate = 0; rate < kRateCount; ++rate) {
            const TimingRecord& r = TimingTable[row][rate];
            bool all              = IsTimingRecord(r);
            for (const auto& p : kPlaces) {
                all = all && value(p.extended, p.index) == r[p.record];
            }
            if (all) {
                held.emplace_back(row, rate);
            }
        }
    }
    return held;
}

} // namespace support
