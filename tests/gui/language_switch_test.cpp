// A live language switch on a window identified on a simulated controller: every text
// follows the new language at once, and nothing under the mouse moves.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <set>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings.h"
#include "gui/model_picture.h"
#include "gui/qt_front_end.h"
#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"

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
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const std::filesystem::path settings = folder.path().toStdString();
    ASSERT_EQ(WriteSettings(settings, Settings{kEnglishLanguage, 57600, 0, 0}), 0);
    VirtualClock clock;
    sim::Controller device(*sim::findModel("alder"), clock);
    PortMap map;
    map.setCom(0, {"/dev/simulated-controller", false});
    QtFrontEnd front;
    CDownloadDialog controller(
        MainWindowServices{front.view(), front.timers(), clock, map,
                           [&] { return std::make_unique<sim::InProcessPort>(device, clock); },
                           ProgramFolders{settings, settings / "Library"}},
        MainWindowStart{});
    front.attach(&controller);
    controller.OnInitDialog();
    MainWindow& window = front.window();
    // As the window's run does before it shows the window.
    window.holdLayoutAcrossLanguages([&controller](int index) {
        setLanguageIndex(index);
        controller.ApplyLanguage();
    });
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
    front.attach(nullptr);
    controller.CloseThroughOk();
    setLanguageIndex(kGermanLanguage);
}

}  // namespace
}  // namespace tarmix::gui
