// A live language switch on a window identified on a simulated controller: every text
// follows the new language at once, and nothing under the mouse moves.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "gui/model_picture.h"
#include "lang/catalog.h"
#include "simulated_window.h"

namespace tarmix::gui {
namespace {

// Every text a catalogue gives for a language, and the part of each before a ':' (fields
// such as "Firmware version: 30" show a catalogue text and a value).
std::set<std::string> catalogueTexts(int languageIndex) {
    std::set<std::string> texts;
    const int saved = tarmix::languageIndex();
    setLanguageIndex(languageIndex);
    for (const auto& [id, entry] : builtInCatalogues().find("de")->entries) {
        const std::string text = LoadText(id);
        if (!text.empty()) texts.insert(text);
    }
    setLanguageIndex(saved);
    return texts;
}

std::string beforeColon(const std::string& text) { return text.substr(0, text.find(':')); }

// Every text the window shows: labels, buttons, group titles and tabs.
std::vector<std::string> shownTexts(const QWidget& window) {
    std::vector<std::string> texts;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->isVisibleTo(&window)) texts.push_back(label->text().toStdString());
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        if (button->isVisibleTo(&window)) texts.push_back(button->text().toStdString());
    for (const QGroupBox* group : window.findChildren<QGroupBox*>())
        if (group->isVisibleTo(&window)) texts.push_back(group->title().toStdString());
    for (const QTabBar* tabs : window.findChildren<QTabBar*>())
        for (int i = 0; i < tabs->count(); ++i) texts.push_back(tabs->tabText(i).toStdString());
    return texts;
}

TEST(LanguageSwitch, EveryLanguageInTurnLeavesNoOldTextAndMovesNothing) {
    testing::SimulatedWindow simulated(kEnglishLanguage);
    ASSERT_TRUE(simulated.ready());
    CDownloadDialog& controller = simulated.controller();
    MainWindow& window = simulated.window();
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.device().deviceIdentified; }, 5000));
    QApplication::processEvents();

    const QRect placement = window.geometry();
    const QSize picture = window.parts().picture->size();
    int previous = kEnglishLanguage;
    std::vector<int> order;
    for (const Language& language : languages())
        if (language.hasCatalogue && language.index != kEnglishLanguage)
            order.push_back(language.index);
    order.push_back(kEnglishLanguage);
    for (int index : order) {
        SCOPED_TRACE(languages()[size_t(index)].name);
        const std::set<std::string> oldTexts = catalogueTexts(previous);
        const std::set<std::string> newTexts = catalogueTexts(index);
        window.languageButton(index)->click();
        QApplication::processEvents();
        EXPECT_EQ(window.geometry(), placement);
        EXPECT_EQ(window.parts().picture->size(), picture);
        for (const std::string& text : shownTexts(window))
            for (const std::string& part : {text, beforeColon(text)})
                EXPECT_FALSE(oldTexts.contains(part) && !newTexts.contains(part))
                    << "still in the old language: \"" << text << "\"";
        previous = index;
    }
    setLanguageIndex(kGermanLanguage);
}

}  // namespace
}  // namespace tarmix::gui
