#include "gui/drive_area.h"

#include <QAbstractItemDelegate>
#include <QCursor>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix::gui {
namespace {

QString qt(const std::string& text) { return QString::fromStdString(text); }

struct Column {
    int textId;
    const char* sample;
    Qt::Alignment alignment;
    int margin;
};

const Column kColumns[] = {
    {text::kFileName, "1234567890123456789012345", Qt::AlignLeft | Qt::AlignVCenter, 35},
    {text::kSizeColumn, "1234567", Qt::AlignRight | Qt::AlignVCenter, 15},
    {text::kCreated, "22.10.2002 07:40:22", Qt::AlignCenter, 15},
};

// The pictures of the tree and the list.
QIcon iconOf(const QStyle& style, FsIcon icon) {
    switch (icon) {
        case FsIcon::Folder:
            return style.standardIcon(QStyle::SP_DirClosedIcon);
        case FsIcon::OpenFolder:
            return style.standardIcon(QStyle::SP_DirOpenIcon);
        case FsIcon::DriveMissing: {
            // The drive's own picture, greyed: there is no drive behind it.
            const QIcon drive = style.standardIcon(QStyle::SP_DriveHDIcon);
            return QIcon(drive.pixmap(QSize(16, 16), QIcon::Disabled));
        }
        case FsIcon::DriveError:
            return style.standardIcon(QStyle::SP_MessageBoxCritical);
        case FsIcon::WaitingUpload:
            return style.standardIcon(QStyle::SP_ArrowUp);
        case FsIcon::File:
            return style.standardIcon(QStyle::SP_FileIcon);
        case FsIcon::Application:
            return style.standardIcon(QStyle::SP_ComputerIcon);
        case FsIcon::NewFile:
            return style.standardIcon(QStyle::SP_FileDialogNewFolder);
    }
    return {};
}

// A tree node's picture: `selected` while it is the selected folder.
QIcon nodeIcon(const QStyle& style, FsIcon normal, FsIcon selected) {
    QIcon icon;
    const QSize size(16, 16);
    icon.addPixmap(iconOf(style, normal).pixmap(size), QIcon::Normal);
    icon.addPixmap(iconOf(style, selected).pixmap(size), QIcon::Selected);
    return icon;
}

}  // namespace

DriveArea::DriveArea(QWidget* parent)
    : QWidget(parent),
      drives_(new QTabBar(this)),
      folders_(new QTreeWidget(this)),
      files_(new QTreeWidget(this)),
      split_(new QSplitter(Qt::Horizontal, this)) {
    drives_->setDocumentMode(true);
    drives_->setExpanding(false);
    const QStyle::StandardPixmap driveIcons[] = {QStyle::SP_DriveFDIcon, QStyle::SP_DriveHDIcon,
                                                 QStyle::SP_DriveHDIcon};
    for (QStyle::StandardPixmap icon : driveIcons) drives_->addTab(style()->standardIcon(icon), {});

    folders_->setHeaderHidden(true);
    folders_->setColumnCount(1);
    files_->setRootIsDecorated(false);
    files_->setColumnCount(std::size(kColumns));
    files_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    files_->header()->setStretchLastSection(false);
    // Names are edited only when New folder or New File asks for it.
    files_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    folders_->setContextMenuPolicy(Qt::CustomContextMenu);
    files_->setContextMenuPolicy(Qt::CustomContextMenu);

    split_->addWidget(folders_);
    split_->addWidget(files_);
    split_->setStretchFactor(0, 1);
    split_->setStretchFactor(1, 2);
    split_->setChildrenCollapsible(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(drives_);
    layout->addWidget(split_, 1);
    applyLanguage();
    connectEvents();
}

void DriveArea::connectEvents() {
    connect(drives_, &QTabBar::currentChanged, this, [this](int tab) {
        if (tabChosen) tabChosen(tab);
    });
    connect(folders_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item != nullptr && folderChosen) folderChosen(item->data(0, Qt::UserRole).toInt());
    });
    connect(folders_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const QTreeWidgetItem* item = folders_->itemAt(at);
        if (folderMenuRequested)
            folderMenuRequested(item != nullptr ? item->data(0, Qt::UserRole).toInt() : -1);
    });
    connect(files_, &QWidget::customContextMenuRequested, this, [this](const QPoint&) {
        if (editing_ == nullptr && fileMenuRequested) fileMenuRequested(selectedRows());
    });
    // The edit ends when the editor closes: Escape abandons it, anything else commits.
    connect(files_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                const bool committed = hint != QAbstractItemDelegate::RevertModelCache;
                // Reported from the event loop, outside the delegate's own handling.
                QTimer::singleShot(0, this, [this, committed] { reportEditEnd(committed); });
            });
}

void DriveArea::reportEditEnd(bool committed) {
    if (editing_ == nullptr) return;
    const int row = files_->indexOfTopLevelItem(editing_);
    const std::string text = editing_->text(0).toStdString();
    editing_->setFlags(editing_->flags() & ~Qt::ItemIsEditable);
    editing_ = nullptr;
    if (!nameEdited) return;
    if (committed)
        nameEdited({row}, text);
    else
        nameEdited({row}, std::nullopt);
}

std::vector<int> DriveArea::selectedRows() const {
    std::vector<int> rows;
    for (int row = 0; row < files_->topLevelItemCount(); ++row)
        if (files_->topLevelItem(row)->isSelected()) rows.push_back(row);
    return rows;
}

// --- DriveView ------------------------------------------------------------------------------

void DriveArea::selectDriveTab(int drive) {
    const QSignalBlocker quiet(drives_);
    drives_->setCurrentIndex(drive);
}

void DriveArea::showDriveTabs(const std::array<bool, kDriveCount>& shown) {
    const QSignalBlocker quiet(drives_);
    for (int drive = 0; drive < kDriveCount; ++drive)
        drives_->setTabVisible(drive, shown[size_t(drive)]);
}

void DriveArea::showFolderTree(const std::vector<TreeNode>& nodes) {
    const QSignalBlocker quiet(folders_);
    folders_->clear();
    nodes_.clear();
    nodes_.reserve(nodes.size());
    for (const TreeNode& node : nodes) {
        const bool hasParent = node.parent >= 0 && size_t(node.parent) < nodes_.size();
        auto* item = hasParent ? new QTreeWidgetItem(nodes_[size_t(node.parent)])
                               : new QTreeWidgetItem(folders_);
        item->setText(0, qt(node.text));
        item->setIcon(0, nodeIcon(*style(), node.icon, node.selectedIcon));
        item->setData(0, Qt::UserRole, int(nodes_.size()));
        nodes_.push_back(item);
    }
    folders_->expandAll();
    folders_->setCurrentItem(nullptr);
    // The splitter never squeezes the tree below its labels' width.
    folders_->setMinimumWidth(folderLabelsWidth());
}

int DriveArea::folderLabelsWidth() const {
    QStyleOptionViewItem option;
    option.initFrom(folders_);
    option.decorationSize = QSize(16, 16);  // the nodes' pictures
    int widest = 0;
    for (QTreeWidgetItem* item : nodes_) {
        int depth = folders_->rootIsDecorated() ? 1 : 0;
        for (const QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) ++depth;
        const QModelIndex index = folders_->indexFromItem(item);
        widest = std::max(widest, depth * folders_->indentation() +
                                      folders_->itemDelegate()->sizeHint(option, index).width());
    }
    return widest + 2 * folders_->frameWidth() + folders_->verticalScrollBar()->sizeHint().width();
}

void DriveArea::selectFolderNode(int index) {
    const QSignalBlocker quiet(folders_);
    if (index < 0 || size_t(index) >= nodes_.size()) {
        folders_->setCurrentItem(nullptr);
        folders_->clearSelection();
        return;
    }
    folders_->setCurrentItem(nodes_[size_t(index)]);
    folders_->scrollToItem(nodes_[size_t(index)]);
}

QTreeWidgetItem* DriveArea::makeRow(const ListRow& row) const {
    auto* item = new QTreeWidgetItem;
    item->setText(0, qt(row.name));
    item->setText(1, qt(row.size));
    item->setText(2, qt(row.created));
    item->setIcon(0, iconOf(*style(), row.icon));
    for (int column = 0; column < int(std::size(kColumns)); ++column)
        item->setTextAlignment(column, kColumns[column].alignment);
    return item;
}

void DriveArea::showFileList(const std::vector<ListRow>& rows) {
    editing_ = nullptr;
    files_->clear();
    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(rows.size()));
    for (const ListRow& row : rows) items.append(makeRow(row));
    files_->addTopLevelItems(items);
}

void DriveArea::appendRow(const ListRow& row) {
    QTreeWidgetItem* item = makeRow(row);
    files_->addTopLevelItem(item);
    files_->scrollToItem(item);
}

void DriveArea::setRowIcon(int row, FsIcon icon) {
    if (QTreeWidgetItem* item = files_->topLevelItem(row)) item->setIcon(0, iconOf(*style(), icon));
}

void DriveArea::setTreeEnabled(bool enabled) { folders_->setEnabled(enabled); }

void DriveArea::setListEnabled(bool enabled) { files_->setEnabled(enabled); }

std::optional<FolderCommand> DriveArea::popupFolderMenu(const FolderMenu& choices) {
    QMenu menu(this);
    QAction* format = menu.addAction(qt(LoadText(text::kFormatDrive)));
    QAction* properties = menu.addAction(qt(LoadText(text::kProperties)));
    format->setEnabled(choices.formatEnabled);
    properties->setEnabled(choices.propertiesEnabled);
    const QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == format) return FolderCommand::Format;
    if (chosen == properties) return FolderCommand::Properties;
    return std::nullopt;
}

std::optional<FileCommand> DriveArea::popupFileMenu(const FileMenu& choices) {
    struct Item {
        int textId;
        bool enabled;
        FileCommand command;
    };
    const Item items[] = {
        {text::kUpload, choices.uploadEnabled, FileCommand::Upload},
        {text::kNewFile, choices.newFileEnabled, FileCommand::NewFile},
        {text::kNewFolder, choices.newFolderEnabled, FileCommand::NewFolder},
        {text::kNewProgram, choices.newProgramEnabled, FileCommand::NewProgram},
        {text::kDelete, choices.deleteEnabled, FileCommand::Delete},
    };
    QMenu menu(this);
    for (const Item& item : items) {
        QAction* action = menu.addAction(qt(LoadText(item.textId)));
        action->setEnabled(item.enabled);
        action->setData(int(item.command));
    }
    const QAction* chosen = menu.exec(QCursor::pos());
    if (chosen == nullptr) return std::nullopt;
    return FileCommand(chosen->data().toInt());
}

void DriveArea::editNewRow(const ListRow& row) {
    QTreeWidgetItem* item = makeRow(row);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    files_->addTopLevelItem(item);
    files_->clearSelection();
    files_->setCurrentItem(item);
    item->setSelected(true);
    files_->scrollToItem(item);
    editing_ = item;
    files_->editItem(item, 0);
}

namespace {
constexpr int kTreeCharacters = 28;
}

int DriveArea::treeWidth() const { return fontMetrics().averageCharWidth() * kTreeCharacters; }

int DriveArea::listWidth() const {
    return files_->header()->length() + 2 * files_->frameWidth() +
           files_->verticalScrollBar()->sizeHint().width();
}

QSize DriveArea::sizeHint() const {
    const int width =
        std::max(drives_->sizeHint().width(), treeWidth() + split_->handleWidth() + listWidth());
    return QSize(width, QWidget::sizeHint().height());
}

void DriveArea::applyLanguage() {
    const int tabTexts[] = {text::kDriveA, text::kDriveB, text::kDriveC};
    for (int tab = 0; tab < drives_->count(); ++tab)
        drives_->setTabText(tab, QString::fromStdString(LoadText(tabTexts[tab])));

    QTreeWidgetItem* header = files_->headerItem();
    const QFontMetrics metrics(files_->font());
    for (int column = 0; column < int(std::size(kColumns)); ++column) {
        const Column& layout = kColumns[column];
        const QString text = QString::fromStdString(LoadText(layout.textId));
        header->setText(column, text);
        header->setTextAlignment(column, layout.alignment);
        const int width = std::max(metrics.horizontalAdvance(text),
                                   metrics.horizontalAdvance(QString::fromLatin1(layout.sample)));
        files_->setColumnWidth(column, width + layout.margin);
    }
    split_->setSizes({treeWidth(), listWidth()});
    updateGeometry();
}

}  // namespace tarmix::gui
