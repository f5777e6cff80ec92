// The simulator's boot loader update table and memory maps against the text of the tables
// they were written from (boot_update_tables.txt and memory_maps.txt, copied word for word),
// and the boot area check at a restart.
#include "sim/boot_update_table.h"

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "checkout.h"
#include "sim/boot_library.h"
#include "sim/sim_models.h"
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

struct Range {
    uint32_t low = 0;
    uint32_t high = 0;
    bool operator==(const Range&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Range& r) {
    return out << std::hex << r.low << ".." << r.high << std::dec;
}

Range rangeOf(const MemoryArea& area) { return {area.start, area.end()}; }

// "0x110000..0x2FFFFF" as it stands in a cell; "0..0" for none.
Range rangeIn(const std::string& text) {
    std::smatch m;
    const std::regex pattern("(0x[0-9A-F]+|0)\\.\\.(0x[0-9A-F]+|0)");
    EXPECT_TRUE(std::regex_search(text, m, pattern)) << text;
    return {uint32_t(std::stoul(m[1], nullptr, 0)), uint32_t(std::stoul(m[2], nullptr, 0))};
}

std::string unescaped(std::string text) {
    return std::regex_replace(text, std::regex("\\\\r\\\\n"), "\r\n");
}

// The rows of memory_maps.txt: identification (by model code), model 2's banks, EEPROM areas.
struct Maps {
    std::map<int, std::vector<std::string>> byCode;
    std::vector<std::vector<std::string>> banks, eeprom;
};

Maps readMaps() {
    std::ifstream in(TARMIX_CHECKOUT "/tests/unit/sim/memory_maps.txt");
    Maps maps;
    std::vector<std::vector<std::string>>* table = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.starts_with("| Order"))
            table = nullptr;
        else if (line.starts_with("| Size field"))
            table = &maps.banks;
        else if (line.starts_with("| Model codes"))
            table = &maps.eeprom;
        else if (table)
            table->push_back(cellsOf(line));
        else if (const auto cells = cellsOf(line); cells[1] != "anything else")
            maps.byCode[std::stoi(cells[2])] = cells;
    }
    return maps;
}

// A cell that says "as model N", with "starts at"/"areas from" another address, followed
// to the text it refers to; `from` gets the changed start, if any.
std::string resolved(const Maps& maps, const std::string& cell, size_t column,
                     std::optional<uint32_t>& from) {
    std::smatch m;
    if (!std::regex_search(cell, m, std::regex("^as model ([0-9]+)"))) return cell;
    if (std::smatch start;
        std::regex_search(cell, start, std::regex("(?:starts at|from) (0x[0-9A-F]+)")))
        from = uint32_t(std::stoul(start[1], nullptr, 0));
    return resolved(maps, maps.byCode.at(std::stoi(m[1]))[column], column, from);
}

// The area a size field selects in a cell of "size" → "text": low..high entries.
std::optional<Range> areaFor(const std::string& cell, const std::string& sizeField) {
    const std::regex entry("\"([^\"]*)\"[^\"]*→ \"[^\"]*\": (0x[0-9A-F]+\\.\\.0x[0-9A-F]+)");
    for (auto it = std::sregex_iterator(cell.begin(), cell.end(), entry);
         it != std::sregex_iterator(); ++it)
        if (sizeField.starts_with(unescaped((*it)[1]))) return rangeIn((*it)[2]);
    return std::nullopt;
}

TEST(SimMemoryMaps, EveryModelMatchesTheIdentificationAndEepromTables) {
    const Maps maps = readMaps();
    ASSERT_EQ(maps.byCode.size(), 18u);
    ASSERT_EQ(maps.eeprom.size(), 3u);
    for (const ModelSpec& model : allModels()) {
        SCOPED_TRACE(model.keyword);
        const std::vector<std::string>& row = maps.byCode.at(model.code);
        EXPECT_EQ(model.modelText, quoted(row[1]).front());
        EXPECT_EQ(model.sizePosition, size_t(std::stoul(row[4])));
        std::optional<uint32_t> ignored;
        EXPECT_EQ(rangeOf(model.ram), rangeIn(resolved(maps, row[5], 5, ignored)));
        // The size field as the handshake answer carries it, and the banks it names. The
        // application area of the staged models is their RAM.
        const std::string sent = model.sizeField + "\r\n";
        const Range application{model.applicationStart,
                                (model.stagedFlash ? model.ram : model.flashBanks.front()).end()};
        if (model.code == 2) {
            const auto bank = std::find_if(maps.banks.begin(), maps.banks.end(), [&](auto& r) {
                for (const std::string& size : quoted(r[0]))
                    if (sent.starts_with(unescaped(size))) return true;
                return false;
            });
            ASSERT_NE(bank, maps.banks.end());
            EXPECT_EQ(application, rangeIn((*bank)[2]));
            ASSERT_EQ(model.flashBanks.size(), 2u);
            EXPECT_EQ(rangeOf(model.flashBanks[1]), rangeIn((*bank)[3]));
            continue;
        }
        std::optional<uint32_t> from;
        const std::string cell = resolved(maps, row[6], 6, from);
        std::optional<Range> area = areaFor(cell, sent);
        ASSERT_TRUE(area) << cell;
        if (from) area->low = *from;
        EXPECT_EQ(application, *area);
    }
    for (const ModelSpec& model : allModels()) {
        SCOPED_TRACE(model.keyword);
        const auto row = std::find_if(maps.eeprom.begin(), maps.eeprom.end(), [&](auto& r) {
            return r[0] == "all other codes" || covers(r[0], model.code, 0);
        });
        ASSERT_NE(row, maps.eeprom.end());
        std::smatch m;
        const bool has = std::regex_search((*row)[1], m, std::regex("^(0x[0-9A-F]+)"));
        EXPECT_EQ(model.eepromStart,
                  has ? std::optional<uint32_t>(std::stoul(m[1], nullptr, 0)) : std::nullopt);
        EXPECT_EQ(model.eepromFirmware, has ? std::stoi((*row)[2]) : 0);
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
