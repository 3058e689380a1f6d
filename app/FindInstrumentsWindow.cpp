#include "app/FindInstrumentsWindow.h"

#include "transport/InstrumentFinder.h"

#include <QHeaderView>

namespace {

constexpr int kIdentityColumn = 0;
constexpr int kResourceColumn = 1;
constexpr int kTransportColumn = 2;

QString fromText(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

FindInstrumentsWindow::FindInstrumentsWindow(QWidget* parent) : QDialog(parent) {
    ui.setupUi(this);
    // A resource is shown whole: it is what the user picks; the identity takes what is left.
    QHeaderView* header = ui.lstInstruments->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(kIdentityColumn, QHeaderView::Stretch);
    header->setSectionResizeMode(kResourceColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kTransportColumn, QHeaderView::ResizeToContents);
    connect(this, &FindInstrumentsWindow::instrumentReported, this, &FindInstrumentsWindow::showInstrument,
            Qt::QueuedConnection);
    connect(this, &FindInstrumentsWindow::finderUnavailable, this, &FindInstrumentsWindow::noteUnavailable,
            Qt::QueuedConnection);
    connect(this, &FindInstrumentsWindow::findingEnded, this, &FindInstrumentsWindow::endFinding,
            Qt::QueuedConnection);
    connect(ui.lstInstruments, &QTreeWidget::activated, this, &FindInstrumentsWindow::choose);
}

FindInstrumentsWindow::~FindInstrumentsWindow() {
    // Stopping ends the finders' waits and skips the identifications not yet begun: the join waits at
    // most for one under way, within its time-out.
    worker_.request_stop();
    if (worker_.joinable())
        worker_.join();
}

void FindInstrumentsWindow::findInstruments() {
    if (!finding_)
        startFinding();
    open();
    ui.lstInstruments->setFocus();
}

void FindInstrumentsWindow::startFinding() {
    if (worker_.joinable())
        worker_.join(); // it has said it ended; this only collects it
    ui.lstInstruments->clear();
    rows_.clear();
    unavailable_.clear();
    ui.lblStatus->setText(tr("Looking for instruments..."));
    ui.lblStatus->setToolTip(QString());
    ui.prgFinding->setRange(0, 0);
    finding_ = true;
    worker_ = std::jthread([this](std::stop_token stop) {
        transport::InstrumentFinderEvents events;
        events.changed = [this](std::size_t index, const transport::FoundInstrument& instrument) {
            QStringList all;
            for (const auto& resource : instrument.resources)
                all << fromText(resource.resource);
            Q_EMIT instrumentReported(
                static_cast<int>(index), fromText(transport::listingKey(instrument)),
                fromText(transport::describeIdentity(instrument)), fromText(instrument.bestResource()),
                fromText(transport::transportName(instrument.bestResource())), all.join('\n'));
        };
        events.unavailable = [this](const std::string& finder, const std::string& reason) {
            Q_EMIT finderUnavailable(fromText(finder), fromText(reason));
        };
        const auto found = transport::InstrumentFinder({}, events).run(stop);
        Q_EMIT findingEnded(static_cast<int>(found.size()));
    });
}

void FindInstrumentsWindow::showInstrument(int index, const QString& listingKey, const QString& identity,
                                           const QString& resource, const QString& transport,
                                           const QString& allResources) {
    auto* list = ui.lstInstruments;
    // The top row stays chosen while the user has not moved; a row the user moved to stays chosen.
    QTreeWidgetItem* current = list->currentItem();
    if (current != nullptr && list->indexOfTopLevelItem(current) == 0)
        current = nullptr;
    QTreeWidgetItem*& item = rows_[index];
    if (item != nullptr)
        list->takeTopLevelItem(list->indexOfTopLevelItem(item));
    else
        item = new QTreeWidgetItem;
    item->setData(kIdentityColumn, Qt::UserRole, listingKey);
    item->setText(kIdentityColumn, identity);
    item->setText(kResourceColumn, resource);
    item->setText(kTransportColumn, transport);
    for (int column = 0; column < list->columnCount(); ++column)
        item->setToolTip(column, allResources);
    int row = 0;
    while (row < list->topLevelItemCount() &&
           list->topLevelItem(row)->data(kIdentityColumn, Qt::UserRole).toString() <= listingKey)
        ++row;
    list->insertTopLevelItem(row, item);
    list->setCurrentItem(current != nullptr ? current : list->topLevelItem(0));
}

void FindInstrumentsWindow::noteUnavailable(const QString& finder, const QString& reason) {
    unavailable_ << finder + ": " + reason;
    ui.lblStatus->setToolTip(tr("Not looked through:") + "\n" + unavailable_.join('\n'));
}

void FindInstrumentsWindow::endFinding(int count) {
    finding_ = false;
    ui.prgFinding->setRange(0, 1);
    ui.prgFinding->setValue(1);
    ui.lblStatus->setText(count == 0   ? tr("No instrument found.")
                          : count == 1 ? tr("1 instrument found.")
                                       : tr("%1 instruments found.").arg(count));
}

void FindInstrumentsWindow::choose(const QModelIndex& index) {
    const QTreeWidgetItem* item = ui.lstInstruments->topLevelItem(index.row());
    if (item == nullptr || !isVisible())
        return;
    const QString resource = item->text(kResourceColumn);
    accept();
    Q_EMIT chosen(resource);
}
