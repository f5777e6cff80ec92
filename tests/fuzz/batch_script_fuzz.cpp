// A batch script read line by line, each line split into its words.
#include "batch/script_reader.h"
#include "batch/script_words.h"
#include "fuzz_input.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ScriptReader reader;
    if (!reader.Open(fuzz::asFile(data, size))) return 0;
    bool first = true;
    while (const std::optional<std::string> line = reader.NextLine()) {
        fuzz::check(line->size() <= ScriptReader::kLineLimit, "a line keeps the line limit");
        if (first) IsRomImageLine(*line);
        first = false;
        const std::vector<std::string> words = SplitScriptWords(*line);
        fuzz::check(words.size() <= kMaxScriptWords, "at most ten words");
        for (const std::string& word : words)
            fuzz::check(word.size() <= kMaxScriptWordLength, "a word keeps its length limit");
    }
    return 0;
}
