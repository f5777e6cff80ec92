// Shared by the text tests: captures text-problem reports and restores the process-wide
// language afterwards.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "lang/catalog.h"

namespace tarmix {

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setTextProblemReporter([this](const std::string& message) { reports.push_back(message); });
    }
    void TearDown() override {
        setTextProblemReporter({});
        setLanguageIndex(kGermanLanguage);
    }

    std::vector<std::string> reports;
};

inline PoCatalogue catalogue(std::initializer_list<std::pair<const int, PoEntry>> entries) {
    PoCatalogue read;
    read.entries = entries;
    return read;
}

}  // namespace tarmix
