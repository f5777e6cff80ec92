#include "sim/sim_models.h"

#include <set>

namespace tarmix::sim {

namespace {

constexpr uint32_t k1M = 0x100000;
const std::array<int, 3> kDrives{1024, 64, 256};

std::vector<ModelSpec> makeModels() {
    std::vector<ModelSpec> m;
    auto add = [&](std::string keyword, int code, std::string text, size_t sizeAt, std::string size,
                   std::vector<MemoryArea> flash, MemoryArea ram, uint32_t application,
                   bool parallel) -> ModelSpec& {
        ModelSpec model;
        model.keyword = std::move(keyword);
        model.code = code;
        model.modelText = std::move(text);
        model.sizePosition = sizeAt;
        model.sizeField = std::move(size);
        model.flashBanks = std::move(flash);
        model.ram = ram;
        model.applicationStart = application;
        // The boot loader fills bank 1 below the application.
        if (model.flashBanks.front().contains(application))
            model.bootSize = application - model.flashBanks.front().start;
        model.parallelPort = parallel;
        model.driveSizesKb = kDrives;
        m.push_back(std::move(model));
        return m.back();
    };
    const MemoryArea highFlash{0x100000, 2 * k1M};  // boot sectors, then the application
    const MemoryArea lowFlash{0, 2 * k1M};
    const MemoryArea smallRam{0x800000, k1M};
    add("alder", 1, "ALDER   ", 39, "200000", {highFlash}, smallRam, 0x110000, true).eraseForm =
        EraseForm::kMappedWithWidth;
    m.back().oldMonitorFlashOffset = 0x100000;
    add("alder ext", 12, "ALDER EXT", 40, "200000", {highFlash}, smallRam, 0x120000, true);
    add("birch", 2, "BIRCH", 39, "200000 100000 7372800",
        {{0x14000000, 2 * k1M}, {0x18000000, k1M}}, {0x0C000000, 8 * k1M}, 0x14000000, false)
        .eraseForm = EraseForm::kMapped;
    add("alder177 ext", 14, "ALDER177 EXT", 43, "200000", {lowFlash}, {0x0C000000, k1M}, 0x20000,
        false);
    add("alder177", 3, "ALDER177", 39, "200000", {lowFlash}, {0x0C000000, k1M}, 0x10000, false);
    add("kestrel", 4, "KSB     ", 39, "200000", {highFlash}, smallRam, 0x110000, true);
    add("core510", 5, "CORE510 ", 39, "200000", {lowFlash}, {0x800000, 4 * k1M}, 0x10000, false);
    add("heron", 6, "HERON   ", 39, "200000", {highFlash}, smallRam, 0x110000, true);
    add("qrt", 7, "QRT     ", 39, "200000", {lowFlash}, smallRam, 0x10000, false);
    add("small-alder ext", 13, "SMALL-ALDER EXT", 46, "200000", {lowFlash}, smallRam, 0x20000,
        false)
        .eraseForm = EraseForm::kMapped;
    add("small-alder", 9, "SMALL-ALDER", 42, "200000", {lowFlash}, smallRam, 0x10000, false);
    add("core540", 8, "CORE540 ", 39, "200000", {lowFlash}, {0x800000, 0x40000}, 0x10000, false);
    add("dispenser", 10, "DISPENSER", 48, "200000", {lowFlash}, smallRam, 0x20000, false)
        .eraseForm = EraseForm::kMapped;
    add("dmx610", 11, "DMX610   ", 39, "200000", {lowFlash}, {0x0C100000, 0x700001}, 0x20000,
        false);
    // The VANTIX models take the application into RAM; "flash program" puts it into the
    // flash from 1 MiB on, above the boot loader.
    struct Vantix {
        const char* keyword;
        int code;
        const char* text;
    };
    for (const auto& [keyword, code, text] :
         {Vantix{"vantix", 17, "VANTIX   "}, Vantix{"vantix+", 18, "VANTIX+  "}}) {
        ModelSpec& vantix = add(keyword, code, text, 39, "2000000", {{0x00000000, 32 * k1M}},
                                {0x80000000, 32 * k1M + 1}, 0x80000000, false);
        vantix.stagedFlash = true;
        vantix.bootBlock = false;
        vantix.bootSize = k1M;
        vantix.fastOnAnyMonitor = true;
    }
    add("fgh720", 15, "FGH720  ", 39, "200000", {lowFlash}, {0x800000, 0x40000}, 0x10000, false)
        .burnErases = true;
    ModelSpec& pq7 = add("t_pq7xx", 16, "T-PQ7", 38, "e000", {{0, 0xE000}}, {0, 0x1001}, 0, false);
    pq7.sectorSize = 0x1000;
    pq7.serialBlockLimit = 256;
    pq7.fastUart = false;
    pq7.bootBlock = false;
    pq7.burnErases = true;
    pq7.firmware = 20;
    pq7.driveSizesKb = {0, 0, 0};
    // The boot loaders start at 0x40, except on the models whose flash starts with the
    // reset vector of their boot loader.
    for (ModelSpec& model : m) {
        if (model.code == 2 || model.code == 16) continue;
        const bool fromZero = model.code == 3 || model.code == 11 || model.code == 14 ||
                              model.code == 17 || model.code == 18;
        model.bootEntry = fromZero ? 0u : 0x40u;
        model.usbReenumerates = model.code == 11 || model.code == 17 || model.code == 18;
    }
    // The EEPROM below 0x100 (0x200 on the VANTIX models) is the monitor's own.
    for (ModelSpec& model : m) {
        if (model.code == 17 || model.code == 18) {
            model.eepromStart = 0x200;
            model.eepromFirmware = 10;
        } else if (std::set<int>{1, 3, 9, 11, 12, 13, 14}.contains(model.code)) {
            model.eepromStart = 0x100;
            model.eepromFirmware = 33;
        }
    }
    return m;
}

}  // namespace

const std::vector<ModelSpec>& allModels() {
    static const std::vector<ModelSpec> models = makeModels();
    return models;
}

const ModelSpec* findModel(const std::string& keyword) {
    for (const ModelSpec& model : allModels())
        if (model.keyword == keyword) return &model;
    return nullptr;
}

}  // namespace tarmix::sim
