#pragma once

// The connection dialog's "Find Instruments..." window: lists the instruments this machine can reach as
// they are found, in a stable order (transport::listingKey), and hands back the one the user picks (Enter
// or a double-click). Finding runs on a thread of its own; what it finds arrives through queued signals.
// Closing the window never waits for it; destroying the window stops it, which ends its waits at once.

#include "ui_FindInstrumentsWindow.h"

#include <QDialog>
#include <QString>
#include <map>
#include <thread>

class FindInstrumentsWindow : public QDialog {
    Q_OBJECT

public:
    explicit FindInstrumentsWindow(QWidget* parent = nullptr);
    ~FindInstrumentsWindow() override;

    Ui::FindInstrumentsWindow ui;

    // Shows the window; a finding still under way goes on, else a new one begins with an empty list.
    void findInstruments();
    bool isFinding() const { return finding_; }

Q_SIGNALS:
    // The best resource of the instrument the user picked; the window has closed.
    void chosen(const QString& resource);

    // From the finding thread, each queued to the window's own thread.
    void instrumentReported(int index, const QString& listingKey, const QString& identity,
                            const QString& resource, const QString& transport, const QString& allResources);
    void finderUnavailable(const QString& finder, const QString& reason);
    void findingEnded(int count);

private:
    void startFinding();
    void showInstrument(int index, const QString& listingKey, const QString& identity,
                        const QString& resource, const QString& transport, const QString& allResources);
    void noteUnavailable(const QString& finder, const QString& reason);
    void endFinding(int count);
    void choose(const QModelIndex& index);

    std::map<int, QTreeWidgetItem*> rows_; // by the finding's index; the list owns them
    std::jthread worker_;
    bool finding_ = false;
    QStringList unavailable_;
};
