// The timing selection over arbitrary display states: any width, height and depth, any rate text
// of up to 255 bytes, any rate index. Nothing may be read outside the tables (AddressSanitizer and
// UndefinedBehaviorSanitizer watch), every index stays within its table, and a selection that
// finds no row or column leaves the timing set as it was.
//
// Input: width, height and bits per pixel as three 32-bit little-endian numbers; one byte whose
// bit 0 asks for the next 32-bit number as the rate index instead of the one FindRateIndex finds;
// the rest is the rate text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hw/sequence.h"
#include "timing/timing.h"

namespace {

uint32_t Take32(const uint8_t*& data, size_t& size) {
    uint32_t value = 0;
    for (int i = 0; i < 4 && size > 0; ++i, ++data, --size) {
        value |= static_cast<uint32_t>(*data) << (8 * i);
    }
    return value;
}

void Fail(const char* what, const DisplayState& state) {
    std::fprintf(stderr, "%s: %dx%d, %d bits per pixel, list row %u, rate index %u\n", what, state.width,
                 state.height, state.bitsPerPixel, state.listRow, state.rateIndex);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 13) {
        return 0;
    }
    DisplayState state;
    std::memset(&state, 0, sizeof state);
    state.width           = static_cast<int>(Take32(data, size));
    state.height          = static_cast<int>(Take32(data, size));
    state.bitsPerPixel    = static_cast<int>(Take32(data, size));
    const bool givenIndex = (*data & 1) != 0;
    ++data;
    --size;
    uint32_t rateIndex = givenIndex ? Take32(data, size) : 0;
    // As ReadRefreshRate leaves it: zero-terminated within the field, whatever bytes came before.
    std::memcpy(state.rateText, data, size < kRateTextSize - 1 ? size : kRateTextSize - 1);

    state.listRow = ClassifyResolution(state.width, state.height);
    if (state.listRow >= kRowCount) {
        Fail("ClassifyResolution out of range", state);
    }
    state.rateIndex = givenIndex ? rateIndex : FindRateIndex(state.listRow, state.rateText);
    if (!givenIndex && state.rateIndex >= kRateCount) {
        Fail("FindRateIndex out of range", state);
    }
    if (ClassifyDepth(state.bitsPerPixel) > kNoDepthClass) {
        Fail("ClassifyDepth out of range", state);
    }

    TimingSelection selection;
    std::memset(&selection, 0xA5, sizeof selection);
    TimingSelection before = selection;
    TimingVerdict verdict  = SelectTiming(&state, &selection);
    // What the adapter would be given: the record, the offset and the word.
    if (verdict != kTimingSelected && std::memcmp(&selection, &before, kSelectionBytes) != 0) {
        Fail("SelectTiming found nothing but changed the selection", state);
    }
    if (verdict == kTimingSelected) {
        // The record is one of the table's records for this rate index, in some row.
        bool fromTable = false;
        for (TableRow m = 0; m < kRowCount && state.rateIndex < kRateCount; ++m) {
            fromTable = fromTable || std::memcmp(selection.record, TimingTable[m][state.rateIndex],
                                                 kTimingRecordSize) == 0;
        }
        if (!fromTable) {
            Fail("SelectTiming gave a record from outside the rate index's column", state);
        }
        // ... and holds a timing: a record of zeros would cost the monitor its sync.
        static const TimingRecord kZeros = {};
        if (std::memcmp(selection.record, kZeros, kTimingRecordSize) == 0) {
            Fail("SelectTiming gave a record of zeros", state);
        }
    } else if (verdict != kNoDepthColumn && verdict != kNoWidthRow && verdict != kNoTimingInRow &&
               verdict != kNoTimingAtRate) {
        Fail("SelectTiming answered no verdict it has", state);
    }
    return 0;
}
