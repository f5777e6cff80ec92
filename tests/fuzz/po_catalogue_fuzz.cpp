// A PO catalogue, and every text in it filled as a message would be.
#include "fuzz_input.h"
#include "lang/format_text.h"
#include "lang/po_parser.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PoCatalogue catalogue = parsePo(fuzz::asText(data, size));
    for (const auto& [id, entry] : catalogue.entries) formatConversions(entry.translation);
    return 0;
}
