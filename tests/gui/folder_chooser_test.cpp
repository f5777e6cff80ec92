// The window's folder chooser on a folder tree of its own: what OK hands back, the keys the
// tree swallows, and "New folder" through the name input.
#include "gui/folder_chooser.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>

#include "lang/catalog.h"
#include "lang/text_names.h"
#include "screenshots.h"

namespace tarmix::gui {
namespace {

namespace fs = std::filesystem;

struct ChooserTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        root = folder.path().toStdString();
        for (const char* path : {"a/deep/deeper", "b", "c"}) fs::create_directories(root / path);
    }
    std::vector<FolderRoot> roots() const { return {{root.string(), FolderRootKind::Home}}; }

    QTemporaryDir folder;
    fs::path root;
};

TEST_F(ChooserTest, OkHandsBackOnlyAChosenFolder) {
    FolderChooser empty(nullptr, "", roots());
    EXPECT_FALSE(empty.okButton()->isEnabled()) << "nothing chosen yet";

    FolderChooser chooser(nullptr, (root / "a" / "deep" / "missing").string(), roots());
    EXPECT_EQ(chooser.chosenPath(), (root / "a" / "deep").string()) << "as deep as it exists";
    EXPECT_TRUE(chooser.okButton()->isEnabled());
    chooser.show();
    EXPECT_TRUE(chooser.pathField()->text().endsWith("deep"));
    testing::saveScreenshot(chooser, "20-folder-chooser");
}

TEST_F(ChooserTest, TheTreeSwallowsTheKeysThatExpandAWholeBranch) {
    FolderChooser chooser(nullptr, root.string(), roots());
    chooser.show();
    QTreeWidgetItem* top = chooser.tree()->topLevelItem(0);
    top->setExpanded(false);
    QTest::keyClick(chooser.tree(), Qt::Key_Asterisk);
    QTest::keyClick(chooser.tree(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_FALSE(top->isExpanded());
    top->setExpanded(true);
    EXPECT_EQ(top->childCount(), 3);
    EXPECT_EQ(top->child(1)->childCount(), 0) << "b is read only when it is opened";
    top->child(1)->setExpanded(true);
    EXPECT_EQ(top->child(1)->childIndicatorPolicy(),
              QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

TEST_F(ChooserTest, NewFolderAsksForTheNameAndSelectsTheNewFolder) {
    FolderChooser chooser(nullptr, (root / "b").string(), roots());
    QString prompt;
    QTimer answer;
    answer.callOnTimeout([&] {
        auto* input = dynamic_cast<NameInputDialog*>(QApplication::activeModalWidget());
        if (input == nullptr) return;
        prompt = input->findChild<QLabel*>()->text();
        input->field()->setText("made here");
        input->accept();
    });
    answer.start(10);
    chooser.newFolder();
    EXPECT_EQ(prompt.toStdString(), LoadText(text::kCreateFolderIn) + " '/b'");
    EXPECT_TRUE(fs::is_directory(root / "b" / "made here"));
    EXPECT_EQ(chooser.chosenPath(), (root / "b" / "made here").string());
}

}  // namespace
}  // namespace tarmix::gui
