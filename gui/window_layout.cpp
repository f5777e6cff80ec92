#include "gui/window_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/drive_area.h"
#include "gui/flag_pictures.h"
#include "gui/model_picture.h"
#include "gui/status_line.h"
#include "gui/terminal_widget.h"
#include "gui/usage_bar.h"

namespace tarmix::gui {
namespace {

constexpr Control kComPorts[] = {Control::Com1, Control::Com2, Control::Com3,
                                 Control::Com4, Control::Com5, Control::Com6};
constexpr Control kBaudRates[] = {Control::Baud57600, Control::Baud115200, Control::Baud230400};
constexpr const char* kBaudCaptions[] = {"57.6", "115.2", "230.4"};

// Every control is created through here, so that it is found by its dialog id.
class Builder {
  public:
    explicit Builder(WindowParts& parts) : parts_(parts) {}

    template <typename Widget>
    Widget* make(Control control, QWidget* parent) {
        auto* widget = new Widget(parent);
        parts_.controls[static_cast<int>(control)] = widget;
        return widget;
    }

    QLabel* label(Control control, QWidget* parent) { return make<QLabel>(control, parent); }

    QLabel* infoValue(InfoField field, QWidget* parent) {
        auto* value = new QLabel(parent);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 26);
        parts_.info[field] = value;
        parts_.controls[static_cast<int>(field)] = value;
        return value;
    }

    QWidget* deviceFrame(QWidget* parent);
    QGroupBox* languageGroup(QWidget* parent);
    QGroupBox* portGroup(QWidget* parent);
    QGroupBox* baudGroup(QWidget* parent);
    QWidget* optionsFrame(QWidget* parent);
    QWidget* transferRows(QWidget* parent);
    QWidget* buttonRow(QWidget* parent);
    QWidget* terminalBar(QWidget* parent);

    void hideWithTerminal(std::initializer_list<QWidget*> widgets) {
        parts_.hiddenWithTerminal.insert(parts_.hiddenWithTerminal.end(), widgets);
    }

  private:
    WindowParts& parts_;
};

QWidget* Builder::deviceFrame(QWidget* parent) {
    auto* frame = new QGroupBox(parent);
    parts_.picture = new ModelPicture(frame);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setVerticalSpacing(6);
    form->addRow(label(Control::StaticPanel, frame), infoValue(InfoField::Panel, frame));
    form->addRow(label(Control::StaticFlash, frame), infoValue(InfoField::Flash, frame));
    form->addRow(label(Control::StaticFirmware, frame), infoValue(InfoField::Firmware, frame));
    parts_.romBar = new UsageBar(UsageBar::Kind::Rom, frame);
    parts_.ramBar = new UsageBar(UsageBar::Kind::Ram, frame);
    form->addRow(label(Control::StaticRom, frame), parts_.romBar);
    form->addRow(label(Control::StaticRam, frame), parts_.ramBar);

    auto* layout = new QHBoxLayout(frame);
    layout->setSpacing(14);
    layout->addWidget(parts_.picture);
    layout->addLayout(form, 1);
    layout->setAlignment(form, Qt::AlignVCenter);
    return frame;
}

QGroupBox* Builder::languageGroup(QWidget* parent) {
    auto* group = make<QGroupBox>(Control::LanguageGroup, parent);
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(4);
    int shown = 0;
    for (const Language& language : languages()) {
        auto* radio = make<QRadioButton>(kLanguageRadios[size_t(language.index)], group);
        radio->setIcon(flagIcon(language.index));
        radio->setIconSize(QSize(kFlagWidth, kFlagHeight));
        parts_.languages[language.index] = radio;
        // Italian has no catalogue of its own and is never offered.
        if (!language.hasCatalogue) {
            radio->hide();
            continue;
        }
        grid->addWidget(radio, shown % 6, shown / 6);
        ++shown;
    }
    return group;
}

QGroupBox* Builder::portGroup(QWidget* parent) {
    auto* group = make<QGroupBox>(Control::StaticComPort, parent);
    auto* grid = new QGridLayout(group);
    for (int port = 0; port < 6; ++port) {
        auto* radio = make<QRadioButton>(kComPorts[port], group);
        radio->setAutoExclusive(false);
        grid->addWidget(radio, port / 3, port % 3);
    }
    auto* parallel = make<QRadioButton>(Control::ComLpt, group);
    parallel->setAutoExclusive(false);
    grid->addWidget(parallel, 0, 3);
    return group;
}

QGroupBox* Builder::baudGroup(QWidget* parent) {
    auto* group = make<QGroupBox>(Control::StaticSpeed, parent);
    auto* grid = new QGridLayout(group);
    for (int rate = 0; rate < 3; ++rate) {
        auto* radio = make<QRadioButton>(kBaudRates[rate], group);
        radio->setAutoExclusive(false);
        radio->setText(QString::fromLatin1(kBaudCaptions[rate]));
        grid->addWidget(radio, 0, rate);
    }
    return group;
}

QWidget* Builder::optionsFrame(QWidget* parent) {
    auto* frame = new QWidget(parent);
    auto* column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 8, 0, 0);
    column->addWidget(make<QCheckBox>(Control::KeepSettings, frame));
    // Verify sits beside Compare: both check what went into the controller.
    auto* checks = new QHBoxLayout;
    checks->addWidget(make<QCheckBox>(Control::Compare, frame));
    checks->addWidget(make<QCheckBox>(Control::VerifyAfterWrite, frame));
    checks->addStretch(1);
    column->addLayout(checks);
    column->addWidget(make<QCheckBox>(Control::ExtendedFirmware, frame));
    column->addStretch(1);
    return frame;
}

QWidget* Builder::transferRows(QWidget* parent) {
    auto* area = new QWidget(parent);
    auto* grid = new QGridLayout(area);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(10);
    grid->setColumnStretch(1, 1);

    parts_.source = make<QLineEdit>(Control::SourceField, area);
    parts_.source->setClearButtonEnabled(true);
    auto* choose = make<QToolButton>(Control::ChooseFile, area);
    choose->setText(QStringLiteral("..."));
    choose->setToolButtonStyle(Qt::ToolButtonTextOnly);
    grid->addWidget(label(Control::StaticSource, area), 0, 0);
    grid->addWidget(parts_.source, 0, 1);
    grid->addWidget(choose, 0, 2);
    hideWithTerminal({parts_.controls[int(Control::StaticSource)], parts_.source, choose});

    parts_.status = new StatusLine(area);
    parts_.controls[1122] = parts_.status;
    grid->addWidget(label(Control::StaticState, area), 1, 0);
    grid->addWidget(parts_.status, 1, 1, 1, 2);

    parts_.progress = new QProgressBar(area);
    parts_.controls[1123] = parts_.progress;
    parts_.progress->setRange(0, 1000);
    parts_.progress->setValue(0);
    parts_.progress->setTextVisible(false);
    parts_.progress->setFixedHeight(parts_.source->sizeHint().height() * 2 / 3);
    grid->addWidget(label(Control::StaticProgress, area), 2, 0);
    grid->addWidget(parts_.progress, 2, 1);
    // Beside the progress it stops: enabled only while an operation runs.
    auto* stop = make<QToolButton>(Control::StopOperation, area);
    stop->setToolButtonStyle(Qt::ToolButtonTextOnly);
    stop->setEnabled(false);
    parts_.stop = stop;
    grid->addWidget(stop, 2, 2);
    hideWithTerminal({parts_.controls[int(Control::StaticProgress)], parts_.progress, stop});
    return area;
}

QWidget* Builder::buttonRow(QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (Control control : {Control::TerminalOnOff, Control::StartApplication,
                            Control::UpdateBootloader, Control::Backup})
        layout->addWidget(make<QPushButton>(control, row));
    layout->addStretch(1);
    parts_.extendedView = make<QPushButton>(Control::ExtendedView, row);
    parts_.extendedView->setText(QStringLiteral(">>>"));
    layout->addWidget(parts_.extendedView);
    parts_.startDownload = make<QPushButton>(Control::StartDownload, row);
    parts_.startDownload->setDefault(true);
    layout->addWidget(parts_.startDownload);
    layout->addWidget(make<QPushButton>(Control::Exit, row));
    hideWithTerminal({parts_.controls[int(Control::UpdateBootloader)],
                      parts_.controls[int(Control::Backup)], parts_.extendedView,
                      parts_.startDownload, parts_.controls[int(Control::Exit)]});
    return row;
}

QWidget* Builder::terminalBar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label(Control::StaticTerminalRate, bar));
    parts_.terminalRate = make<QComboBox>(Control::TerminalRate, bar);
    for (uint32_t rate : kTerminalRates)
        parts_.terminalRate->addItem(QString::number(rate / 1000.0, 'f', 1),
                                     QVariant::fromValue(rate));
    layout->addWidget(parts_.terminalRate);
    layout->addWidget(make<QCheckBox>(Control::TerminalEcho, bar));
    layout->addWidget(make<QCheckBox>(Control::TerminalTimestamps, bar));
    layout->addStretch(1);
    layout->addWidget(make<QPushButton>(Control::TerminalClear, bar));
    layout->addWidget(make<QPushButton>(Control::TerminalSave, bar));
    bar->hide();
    return bar;
}

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace

void setControlText(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(control))
        label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(control))
        group->setTitle(text);
    else if (auto* status = dynamic_cast<StatusLine*>(control))
        status->setText(text);
}

WindowParts buildWindow(QDialog& window) {
    WindowParts parts;
    Builder build(parts);

    auto* main = new QWidget(&window);
    auto* settings = new QHBoxLayout;
    settings->setSpacing(10);
    QWidget* ports = build.portGroup(main);
    QWidget* rates = build.baudGroup(main);
    QWidget* options = build.optionsFrame(main);
    settings->addWidget(ports, 3);
    settings->addWidget(rates, 2);
    settings->addWidget(options, 2);

    auto* top = new QHBoxLayout;
    top->setSpacing(10);
    QWidget* device = build.deviceFrame(main);
    QWidget* language = build.languageGroup(main);
    top->addWidget(device, 1);
    top->addWidget(language);

    parts.terminal = new TerminalWidget(main);
    parts.terminal->hide();
    parts.controls[static_cast<int>(Control::Terminal)] = parts.terminal;
    // Takes the room below the rows in the window's own views, as a stretch would.
    auto* filler = new QWidget(main);
    filler->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    QFrame* line = separator(main);

    auto* column = new QVBoxLayout(main);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->addLayout(top);
    column->addLayout(settings);
    column->addWidget(parts.terminal, 1);
    parts.terminalBar = build.terminalBar(main);
    column->addWidget(parts.terminalBar);
    column->addWidget(build.transferRows(main));
    column->addWidget(filler, 1);
    column->addWidget(line);
    column->addWidget(build.buttonRow(main));
    build.hideWithTerminal({device, language, ports, rates, options, filler, line});

    parts.drives = new DriveArea(&window);
    parts.drives->hide();
    parts.controls[kDriveTabsId] = parts.drives;
    parts.controls[kFolderTreeId] = parts.drives->folders();
    parts.controls[kFileListId] = parts.drives->files();
    build.hideWithTerminal({parts.drives});

    auto* layout = new QHBoxLayout(&window);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(14);
    layout->addWidget(main);
    layout->addWidget(parts.drives, 1);
    return parts;
}

}  // namespace tarmix::gui
