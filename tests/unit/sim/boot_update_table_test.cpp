// The simulator's boot loader update table against the text of the tables it was written
// from (boot_update_tables.txt, copied word for word), and the boot area check at a restart.
#include "sim/boot_update_table.h"

#include <fstream>
#include <regex>
#include <sstream>

#include "sim/boot_library.h"
#include "sim_bench.h"

namespace tarmix::sim {
namespace {

std::vector<std::string> cellsOf(const std::string& row) {
    std::vector<std::string> cells;
    std::stringstream in(row.substr(1));
    for (std::string cell; std::getline(in, cell, '|');)
        cells.push_back(std::regex_replace(cell, std::regex("^ +| +$"), ""));
    return cells;
}

std::vector<std::string> quoted(const std::string& text) {
    std::vector<std::string> found;
    const std::regex pattern("\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

// Whether a case text such as "v > 8, codes 5, 7, 8, 15; code 9 with v < 25" covers model
// `code` on monitor `v`. The conditions on v before the first ";" hold for the whole text.
bool covers(const std::string& text, int code, int v) {
    const std::regex condition("v (≤|<|>|≥) ([0-9]+)");
    const auto holds = [&](const std::string& part) {
        for (auto it = std::sregex_iterator(part.begin(), part.end(), condition);
             it != std::sregex_iterator(); ++it) {
            const std::string op = (*it)[1];
            const int n = std::stoi((*it)[2]);
            if (!(op == "≤" ? v <= n : op == "<" ? v < n : op == ">" ? v > n : v >= n))
                return false;
        }
        return true;
    };
    const std::string first = text.substr(0, text.find(';'));
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, ';');) {
        if (!holds(first) || !holds(part)) continue;
        if (part.find("every code") != std::string::npos) return true;
        const std::string codes = std::regex_replace(part, condition, "");
        const std::regex number("[0-9]+");
        for (auto it = std::sregex_iterator(codes.begin(), codes.end(), number);
             it != std::sregex_iterator(); ++it)
            if (std::stoi(it->str()) == code) return true;
    }
    return false;
}

struct Tables {
    std::vector<std::vector<std::string>> models, ram, erase, program;
    std::string restart;
    std::vector<std::string> ramBank;  // fill, offset, erase, program, restart
};

Tables readTables() {
    std::ifstream in(TARMIX_CHECKOUT "/tests/unit/sim/boot_update_tables.txt");
    Tables t;
    std::vector<std::vector<std::string>>* table = nullptr;
    const std::regex sendLine("SendLine\\(\"([^\"]*)\"\\)");
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("| Code | Batch"))
            table = &t.models;
        else if (line.starts_with("| Code | RAM fill"))
            table = &t.ram;
        else if (line.starts_with("| Case | First sector"))
            table = &t.erase;
        else if (line.starts_with("| Case | Command"))
            table = &t.program;
        else if (line.starts_with("|"))
            table->push_back(cellsOf(line));
        else if (line.starts_with("Restart command:"))
            t.restart = line;
        else if (std::smatch m; std::regex_search(line, m, sendLine))
            t.ramBank.push_back(m[1]);
    }
    return t;
}

// The one row of `table` whose first cell covers the model and monitor; nullptr for none.
const std::vector<std::string>* rowFor(const std::vector<std::vector<std::string>>& table, int code,
                                       int v) {
    const std::vector<std::string>* found = nullptr;
    for (const auto& row : table) {
        if (!covers(row[0], code, v)) continue;
        EXPECT_EQ(found, nullptr) << "two rows for code " << code << ", v " << v;
        found = &row;
    }
    return found;
}

std::string extraSector(const std::string& cell, int code) {
    if (cell == "none") return "";
    const std::string codes = cell.substr(0, cell.find(':'));
    return covers(codes, code, 0) ? quoted(cell).front() : "";
}

TEST(SimBootUpdateTable, EveryModelAndMonitorMatchesTheTablesText) {
    const Tables t = readTables();
    ASSERT_EQ(t.models.size(), 19u);
    ASSERT_EQ(t.ramBank.size(), 5u);
    const auto restartFor = [&](int code) {
        const std::string call40 = t.restart.substr(0, t.restart.find(';'));
        return quoted(covers(call40, code, 0) ? call40 : t.restart).back();
    };
    for (const auto& cells : t.models) {
        const int code = std::stoi(cells[0]);
        const BootUpdateRow* row = BootUpdateRowFor(code);
        ASSERT_NE(row, nullptr) << code;
        const auto file = [](const std::string& cell) {
            return cell.empty() ? cell : quoted(cell).front();
        };
        EXPECT_EQ(row->keyword, cells[1]) << code;
        EXPECT_EQ(row->bootInit, file(cells[2])) << code;
        EXPECT_EQ(row->bootLoader, file(cells[3])) << code;
        const UpdateProcedure procedure = cells[4] == "general" ? UpdateProcedure::kGeneral
                                          : cells[4] == "RAM-bank procedure"
                                              ? UpdateProcedure::kRamBank
                                              : UpdateProcedure::kNone;
        EXPECT_EQ(row->procedure, procedure) << code;
        for (int v : {1, 8, 9, 24, 25, 40}) {
            SCOPED_TRACE("code " + cells[0] + ", v " + std::to_string(v));
            const auto c = BootUpdateCommandsFor(code, v);
            ASSERT_EQ(c.has_value(), procedure != UpdateProcedure::kNone);
            if (!c) continue;
            EXPECT_EQ(c->restart, restartFor(procedure == UpdateProcedure::kRamBank ? 3 : code));
            if (procedure == UpdateProcedure::kRamBank) {
                EXPECT_EQ(std::vector<std::string>(
                              {c->fill, c->secondOffset, c->firstSector, c->program, c->restart}),
                          t.ramBank);
                EXPECT_TRUE(c->firstOffset.empty() && c->furtherSectors.empty() &&
                            c->extraSector.empty());
                continue;
            }
            const auto* ram = rowFor(t.ram, code, v);
            const auto* erase = rowFor(t.erase, code, v);
            const auto* program = rowFor(t.program, code, v);
            ASSERT_TRUE(ram && erase && program);
            EXPECT_EQ(c->fill, quoted((*ram)[1]).front());
            EXPECT_EQ(c->firstOffset, quoted((*ram)[2]).front());
            EXPECT_EQ(c->secondOffset, quoted((*ram)[3]).front());
            EXPECT_EQ(c->firstSector, quoted((*erase)[1]).front());
            EXPECT_EQ(c->furtherSectors, quoted((*erase)[2]));
            EXPECT_EQ(c->extraSector, v > 8 ? extraSector((*erase)[3], code) : "");
            EXPECT_EQ(c->program, quoted((*program)[1]).front());
        }
    }
}

// core510 on monitor 30: the new boot loader is in the RAM window; one byte of it may have
// been changed before the monitor erases the boot sectors, programs them and restarts.
TEST(SimBootUpdateTable, RestartRunsOnlyAnIntactBootLoader) {
    constexpr uint32_t kWindow = 0x00c10000;
    constexpr uint32_t kSize = 0x10000;
    struct Case {
        const char* name;
        int code;                         // the model the image was made for
        std::optional<uint32_t> changed;  // the byte of the image that differs
        bool answers;
    };
    for (const Case& c :
         {Case{"intact", 5, std::nullopt, true}, Case{"first byte", 5, 0u, false},
          Case{"in the marker", 5, kBootMarkerOffset + 40, false},
          Case{"in the middle", 5, 0x8123u, false}, Case{"in the sum", 5, kSize - 1, false},
          Case{"another model's", 7, std::nullopt, false}}) {
        SCOPED_TRACE(c.name);
        Bench bench("core510");
        std::vector<uint8_t> image = BootLoaderBytes(c.code, 41, kSize);
        if (c.changed) image[*c.changed] ^= 0x10;
        bench.controller.memory().store(kWindow, image);
        for (const char* line : {"flash erase sector     8000", "flash erase sector 6000",
                                 "flash erase sector 4000", "flash erase sector 0"})
            bench.exchange(line);
        bench.exchange("flash program        0 00c10000 10000");
        bench.serial.SendLine("call 40");
        const std::string answer = bench.untilPrompt();
        EXPECT_EQ(EndsWithPrompt(answer), c.answers) << answer;
        const std::string version = c.answers ? bench.exchange("tell version") : "";
        EXPECT_EQ(version.find("41") != std::string::npos, c.answers) << version;
        EXPECT_EQ(bench.collect("tell version").empty(), !c.answers);
    }
}

// The update's lines are taken only as the model's table writes them for its monitor.
TEST(SimBootUpdateTable, UpdateLinesAreTakenOnlyInTheModelsExactForm) {
    struct Case {
        const char* model;
        int firmware;
        const char* line;
        bool taken;
    };
    for (const Case& c : {
             Case{"core510", 30, "fill 00c10000 10000 ff", true},
             Case{"core510", 30, "fill 00C10000 10000 ff", false},  // case
             Case{"core510", 30, "fill 00c20000 10000 ff", false},  // not its window
             Case{"core510", 30, "fill c10000 10000 ff", false},    // width
             Case{"small-alder", 25, "fill 00c20000 10000 ff", true},
             Case{"small-alder", 24, "fill 00c20000 10000 ff", false},  // monitor version
             Case{"alder ext", 30, "s3offset ff3E0000", true},
             Case{"alder ext", 30, "s3offset FF3E0000", false},
             Case{"birch", 30, "s3offset ff3e0000", false},  // no update at all
             Case{"alder", 30, "flash erase sector   108000", true},
             Case{"alder", 30, "flash erase sector 108000", false},  // padding
             Case{"alder", 8, "flash erase sector   108000", false},
             Case{"core510", 30, "flash erase bootloader", false},
             Case{"vantix", 30, "flash erase bootloader", true},
             Case{"core510", 30, "flash program 0 00c10000 10000", false},
             Case{"core510", 8, "flash program 0 00c10000 10000", true},
         }) {
        SCOPED_TRACE(std::string(c.model) + " v" + std::to_string(c.firmware) + ": " + c.line);
        Bench bench(c.model);
        bench.controller.setFirmware(c.firmware);
        const std::string answer = bench.exchange(c.line);
        EXPECT_EQ(answer.find("error") == std::string::npos, c.taken) << answer;
    }
}

}  // namespace
}  // namespace tarmix::sim
