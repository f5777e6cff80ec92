#include "gui/folder_chooser.h"

#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix::gui {
namespace {

// The most characters a new folder's name may have, as the dialog takes it.
constexpr int kNewFolderNameLength = 256;
// The path field keeps this much room at its right end.
constexpr int kPathFieldSlack = 10;
constexpr int kPathRole = Qt::UserRole;

QString loadText(int id) { return QString::fromStdString(LoadText(id)); }

QIcon rootIcon(const QStyle& style, FolderRootKind kind) {
    switch (kind) {
        case FolderRootKind::Home:
            return style.standardIcon(QStyle::SP_DirHomeIcon);
        case FolderRootKind::Volume:
            return style.standardIcon(QStyle::SP_DriveFDIcon);
        case FolderRootKind::System:
            break;
    }
    return style.standardIcon(QStyle::SP_DriveHDIcon);
}

QIcon folderIcon(const QStyle& style) {
    QIcon icon;
    const QSize size(16, 16);
    icon.addPixmap(style.standardIcon(QStyle::SP_DirClosedIcon).pixmap(size), QIcon::Normal);
    icon.addPixmap(style.standardIcon(QStyle::SP_DirOpenIcon).pixmap(size), QIcon::Selected);
    return icon;
}

// The keypad's "*" would expand a whole branch (a whole disk) at once, "+" a node; the
// plain "*" does the same in this tree.
bool expandsEverything(const QKeyEvent& key) {
    if (key.key() == Qt::Key_Asterisk) return true;
    return key.key() == Qt::Key_Plus && key.modifiers().testFlag(Qt::KeypadModifier);
}

}  // namespace

// --- the name input -------------------------------------------------------------------------

NameInputDialog::NameInputDialog(QWidget* parent, const QString& prompt, const QString& value,
                                 int maxLength, bool password)
    : QDialog(parent), field_(new QLineEdit(this)) {
    setWindowTitle(loadText(text::kInput));
    auto* label = new QLabel(prompt.isEmpty() ? loadText(text::kInput) + ":" : prompt, this);
    field_->setMaxLength(maxLength);
    field_->setText(value);
    field_->selectAll();
    if (password) field_->setEchoMode(QLineEdit::Password);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(loadText(text::kOk), QDialogButtonBox::AcceptRole);
    buttons->addButton(loadText(text::kCancel), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(field_);
    layout->addWidget(buttons);
    field_->setFocus();
}

QString NameInputDialog::text() const { return field_->text(); }

// --- the folder chooser ---------------------------------------------------------------------

FolderChooser::FolderChooser(QWidget* parent, const std::string& startPath,
                             std::vector<FolderRoot> roots)
    : QDialog(parent),
      roots_(std::move(roots)),
      pathField_(new QLineEdit(this)),
      tree_(new QTreeWidget(this)),
      newFolder_(new QPushButton(loadText(text::kNewFolderButton), this)),
      ok_(new QPushButton(loadText(text::kOk), this)) {
    setWindowTitle(loadText(text::kSelectFolder));
    pathField_->setReadOnly(true);
    tree_->setHeaderHidden(true);
    tree_->installEventFilter(this);
    auto* cancel = new QPushButton(loadText(text::kCancel), this);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(newFolder_, QDialogButtonBox::ActionRole);
    buttons->addButton(ok_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancel, QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(newFolder_, &QPushButton::clicked, this, [this] { newFolder(); });
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(loadText(text::kSelectFolder), this));
    layout->addWidget(pathField_);
    layout->addWidget(tree_, 1);
    layout->addWidget(buttons);
    resize(420, 480);

    for (const FolderRoot& root : roots_) {
        auto* node = new QTreeWidgetItem(tree_);
        node->setText(0, QString::fromStdString(root.path));
        node->setData(0, kPathRole, QString::fromStdString(root.path));
        node->setIcon(0, rootIcon(*style(), root.kind));
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) {
        if (node->childCount() == 0) readChildren(node);
    });
    connect(tree_, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* node) { dropChildren(node); });
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
    // OK means a folder: without a selection there is none to hand back.
    ok_->setEnabled(false);
    newFolder_->setEnabled(false);
    selectPath(startPath);
    tree_->setFocus();
}

std::string FolderChooser::pathOf(const QTreeWidgetItem* node) {
    return node->data(0, kPathRole).toString().toStdString();
}

QTreeWidgetItem* FolderChooser::addFolderNode(QTreeWidgetItem* parent, const std::string& name) {
    const std::string path = JoinFolderPath(pathOf(parent), name);
    // Sorted among its brothers.
    int at = 0;
    while (at < parent->childCount() && parent->child(at)->text(0).toStdString() < name) ++at;
    auto* node = new QTreeWidgetItem;
    node->setText(0, QString::fromStdString(name));
    node->setData(0, kPathRole, QString::fromStdString(path));
    node->setIcon(0, folderIcon(*style()));
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    parent->insertChild(at, node);
    return node;
}

void FolderChooser::readChildren(QTreeWidgetItem* node) {
    const std::vector<std::string> names = SubFolderNames(pathOf(node));
    for (const std::string& name : names) addFolderNode(node, name);
    if (names.empty())
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void FolderChooser::dropChildren(QTreeWidgetItem* node) {
    // A selection inside the branch moves up to the collapsing node first.
    for (QTreeWidgetItem* at = tree_->currentItem(); at != nullptr; at = at->parent())
        if (at->parent() == node) {
            tree_->setCurrentItem(node);
            break;
        }
    // The next expansion reads the folder again.
    qDeleteAll(node->takeChildren());
    node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

void FolderChooser::selectPath(const std::string& path) {
    const std::optional<FolderWalk> walk = WalkTo(path, roots_);
    if (!walk) return;
    QTreeWidgetItem* node = tree_->topLevelItem(int(walk->root));
    for (const std::string& name : walk->names) {
        node->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && next == nullptr; ++i)
            if (node->child(i)->text(0).toStdString() == name) next = node->child(i);
        if (next == nullptr) break;  // the deepest part that exists stays selected
        node = next;
    }
    tree_->setCurrentItem(node);
    tree_->scrollToItem(node);
}

void FolderChooser::selectionChanged() {
    const QTreeWidgetItem* node = tree_->currentItem();
    current_ = node != nullptr ? pathOf(node) : std::string();
    ok_->setEnabled(node != nullptr);
    newFolder_->setEnabled(node != nullptr);
    showPath();
}

void FolderChooser::showPath() {
    const QFontMetrics metrics(pathField_->font());
    const int room = pathField_->contentsRect().width() - kPathFieldSlack;
    pathField_->setText(
        QString::fromStdString(ShortenPathToFit(current_, [&](const std::string& shown) {
            return metrics.horizontalAdvance(QString::fromStdString(shown)) <= room;
        })));
}

void FolderChooser::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    showPath();
}

void FolderChooser::newFolder() {
    QTreeWidgetItem* node = tree_->currentItem();
    if (node == nullptr) return;
    const std::string selected = pathOf(node);
    const QString prompt = loadText(text::kCreateFolderIn) + " '" +
                           QString::fromStdString(NewFolderPlace(selected)) + "'";
    NameInputDialog input(this, prompt, loadText(text::kNewFolderName), kNewFolderNameLength,
                          false);
    if (input.exec() != QDialog::Accepted) return;
    std::string attempted;
    const std::optional<std::string> created =
        CreateChosenFolder(selected, input.text().toStdString(), attempted);
    if (!created) {
        QMessageBox::critical(
            this, windowTitle(),
            loadText(text::kCreateFolderError) + " '" + QString::fromStdString(attempted) + "'");
        return;
    }
    if (node->isExpanded()) {
        QTreeWidgetItem* child = addFolderNode(node, input.text().toStdString());
        tree_->setCurrentItem(child);
        tree_->scrollToItem(child);
    } else {
        node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        selectPath(*created);
    }
    tree_->setFocus();
}

bool FolderChooser::eventFilter(QObject* target, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (target == tree_ && key && expandsEverything(*static_cast<QKeyEvent*>(event))) return true;
    return QDialog::eventFilter(target, event);
}

}  // namespace tarmix::gui
