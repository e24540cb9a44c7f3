#pragma once
// CatalogueScan: the state machine of a catalogue scan, without widgets. The
// window lists a folder's GIFs at once and hands their paths to start(); jobs
// on a JobRunner make each item's thumbnail and size text; the scan applies
// the results strictly in catalogue order through the window's `apply` hook,
// one item after the other, never while the `held` hook says a modal window is
// open, and only for a few milliseconds at a time so the event loop keeps
// running. Every result carries its scan's number: a late result of a stopped
// scan is dropped, never applied to the next catalogue.
//
// GUI thread only (the jobs run elsewhere and touch nothing but their result).

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <vector>

#include "core/jobs.h"
#include "imaging/engine/records.h"

class QTimer;

class CatalogueScan : public QObject {
    Q_OBJECT
public:
    // What a job made for one item.
    struct Item {
        int scan = 0;
        int row = 0;
        QImage picture; // the thumbnail; null when the file is no picture
        QString sizeText;
        engine::Status status = engine::Ok; // why the picture did not load
        bool quiet = false; // failed in a way that shows no message (out of memory)
    };
    struct Hooks {
        // True while results must wait (a modal window or a menu is open).
        std::function<bool()> held;
        // Applies one item; may open a modal box (results wait meanwhile).
        std::function<void(int row, Item &item)> apply;
        // The scan ended (finished or stopped).
        std::function<void()> ended;
        // The scan broke off (out of memory while applying); it has ended.
        std::function<void()> failed;
        // Whether the apply hook may be called for `row` (the list still has it).
        std::function<int()> rowCount;
    };

    // `runner` is not owned and must outlive the scan.
    CatalogueScan(JobRunner *runner, Hooks hooks, QObject *parent = nullptr);
    ~CatalogueScan() override;

    // The scan flags: set while a scan runs, and a stop request honoured before
    // the next item is applied. Public so the window can show them by name.
    bool scanning = false;
    bool stopRequested = false;

    // Starts a scan of these items (catalogue order); false when one is running.
    bool start(std::vector<QString> paths);
    // Asks the running scan to stop before its next item (a no-op when none runs).
    void requestStop();
    // Ends the running scan now, as a stop request would before the next item;
    // true when no scan runs afterwards (false while a modal window or an open
    // error box holds it).
    bool stopNow();
    // Stops at once without applying anything more; cancels queued jobs.
    void abandon();
    // Cancels queued jobs and waits for the running ones (before shutting down).
    void stopJobs();
    // Runs the driver soon (after a modal window closed, say).
    void drive(int delayMs = 0);

    int scanNumber() const { return m_scan.current().number; }
    int nextRow() const { return m_nextApply; }

    // The thumbnail job's work for one file: frame 0 in its thumbnail box and the
    // size text. Any thread.
    static Item makeItem(const QString &path);

signals:
    // After an item was applied; for tests and the benchmark.
    void progressed();

private:
    void submitJobs();
    void resultReady(Item item);
    void driveNow();
    bool driveItems();
    void end();

    JobRunner *m_runner;
    Hooks m_hooks;
    RequestSequence m_scan;
    std::vector<QString> m_paths;
    int m_nextApply = 0;
    int m_nextSubmit = 0;
    std::map<int, Item> m_ready;
    bool m_driving = false;
    bool m_driveScheduled = false;
    QTimer *m_timer;
};
