// README.md's table of the line frequency of each table timing, row by row against what the product
// itself says of that timing: its screen and rate as the tables hold them, its total lines
// (kTotalLines), its line frequency (LineFrequency) in the words LUMSET shows (PutKilohertz); and
// every timing of the tables listed exactly once. Nothing of the rule is worked out here again.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "facts/words.h"
#include "timing/line_frequency.h"
#include "timing/timing.h"

namespace {

const char kHeading[]   = "## Line frequency of each table timing";
const char kHeaderRow[] = "| screen | rate | lines | line frequency |";

// One row of the table: its four cells, blanks trimmed, and its line in README.md.
struct TableLine {
    int number;
    std::vector<std::string> cells;
};

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    const size_t last  = text.find_last_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The cells between the bars of "| a | b |".
std::vector<std::string> CellsOf(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    std::istringstream in(line.substr(1));
    while (std::getline(in, cell, '|')) {
        cells.push_back(Trimmed(cell));
    }
    return cells;
}

// The rows of the first table after the section's heading, its header and rule line passed.
std::vector<TableLine> ReadTable() {
    std::ifstream file(REFRESH_README_PATH);
    EXPECT_TRUE(file) << "cannot open " << REFRESH_README_PATH;
    std::vector<TableLine> rows;
    std::string line;
    int number   = 0;
    bool inPart  = false;
    bool inTable = false;
    while (std::getline(file, line)) {
        ++number;
        if (!inPart) {
            inPart = line == kHeading;
        } else if (!inTable) {
            if (line.rfind("## ", 0) == 0) {
                break; // the next section: the table is missing
            }
            if (line.rfind("|", 0) == 0) {
                EXPECT_EQ(line, kHeaderRow) << "README.md line " << number;
                inTable = true;
                std::getline(file, line); // "| --- | ... |"
                ++number;
            }
        } else if (line.rfind("|", 0) == 0) {
            rows.push_back({number, CellsOf(line)});
        } else {
            break;
        }
    }
    EXPECT_TRUE(inPart) << "README.md has no heading \"" << kHeading << "\"";
    return rows;
}

std::string KilohertzOf(TableRow row, RateIndex rate) {
    char text[64];
    PutKilohertz(text, LineFrequency(row, rate));
    return text;
}

std::string ScreenOf(TableRow row) {
    return std::to_string(ResolutionTable[row][0]) + "x" + std::to_string(ResolutionTable[row][1]);
}

std::string RateOf(TableRow row, RateIndex rate) {
    char text[64];
    PutEntryRate(text, RateTable[row][rate]);
    return text;
}

// The timing a table line names: the row of its screen, the entry of its rate in that row's list.
bool FindTiming(const TableLine& line, TableRow* row, RateIndex* rate) {
    for (TableRow m = 0; m < kRowCount; ++m) {
        if (ScreenOf(m) != line.cells[0]) {
            continue;
        }
        for (RateIndex r = 0; r < kRateCount; ++r) {
            if (RateOf(m, r) == line.cells[1]) {
                *row  = m;
                *rate = r;
                return true;
            }
        }
    }
    return false;
}

TEST(ReadmeLineFrequency, EveryRowIsTheProductsOwnFigures) {
    const std::vector<TableLine> table = ReadTable();
    ASSERT_FALSE(table.empty()) << "README.md's line frequency table has no rows";
    for (const TableLine& line : table) {
        SCOPED_TRACE(testing::Message() << "README.md line " << line.number);
        ASSERT_EQ(line.cells.size(), 4u);
        TableRow row;
        RateIndex rate;
        ASSERT_TRUE(FindTiming(line, &row, &rate))
            << "no screen \"" << line.cells[0] << "\" with a rate \"" << line.cells[1] << "\" in the tables";
        EXPECT_TRUE(IsTimingRecord(TimingTable[row][rate])) << "the tables hold no timing there";
        EXPECT_EQ(line.cells[2], std::to_string(kTotalLines.lines[row][rate]));
        EXPECT_EQ(line.cells[3], KilohertzOf(row, rate));
    }
}

TEST(ReadmeLineFrequency, EveryTimingOfTheTablesIsListedOnce) {
    std::map<std::pair<int, int>, std::vector<int>> listed; // (row, rate) -> README.md lines
    for (const TableLine& line : ReadTable()) {
        TableRow row;
        RateIndex rate;
        if (line.cells.size() >= 2 && FindTiming(line, &row, &rate)) {
            listed[{row, rate}].push_back(line.number);
        }
    }
    for (TableRow m = 0; m < kRowCount; ++m) {
        for (RateIndex r = 0; r < kRateCount; ++r) {
            if (!IsTimingRecord(TimingTable[m][r])) {
                continue;
            }
            const std::vector<int>& lines = listed[std::make_pair(m, r)];
            std::string where;
            for (int number : lines) {
                where += " " + std::to_string(number);
            }
            EXPECT_EQ(lines.size(), 1u)
                << ScreenOf(m) << " at " << RateOf(m, r) << " is listed on README.md's lines:" << where;
        }
    }
}

} // namespace
