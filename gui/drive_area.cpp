#include "gui/drive_area.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "lang/catalog.h"

namespace tarmix::gui {
namespace {

constexpr int kTextDriveA = 60140;
constexpr int kTextDriveB = 60141;
constexpr int kTextDriveC = 60142;
constexpr int kTextFileName = 60205;
constexpr int kTextSize = 60219;
constexpr int kTextCreated = 60201;

struct Column {
    int textId;
    const char* sample;
    Qt::Alignment alignment;
    int margin;
};

const Column kColumns[] = {
    {kTextFileName, "1234567890123456789012345", Qt::AlignLeft | Qt::AlignVCenter, 35},
    {kTextSize, "1234567", Qt::AlignRight | Qt::AlignVCenter, 15},
    {kTextCreated, "22.10.2002 07:40:22", Qt::AlignCenter, 15},
};

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
}

namespace {
constexpr int kTreeCharacters = 22;
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
    const int tabTexts[] = {kTextDriveA, kTextDriveB, kTextDriveC};
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
