// Collect logs: the copy of the logs the plan names into a new folder, on a worker thread under
// a progress dialog, and the index.txt that tells what was copied and what was not.
#pragma once

#include "envdialog/log_collection_rules.h"

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

struct CollectionJob {
    std::vector<LogSource> sources;
    std::string folder;  // the collection folder, made before the copy starts
    unsigned long long sizeLimit = kLogSizeLimit;
    IndexHeader header;
};

struct CollectionResult {
    size_t copied = 0;
    size_t skipped = 0;
    unsigned long long bytes = 0;
    bool cancelled = false;
    bool indexWritten = false;
    unsigned long indexError = 0;  // when not written
};

// What the copy tells the progress dialog while it runs. The worker writes it under the lock;
// notify (when set) gets kCollectProgressMessage, at most one waiting at a time.
class CollectionProgress {
public:
    CollectionProgress();
    ~CollectionProgress();
    CollectionProgress(const CollectionProgress&) = delete;
    CollectionProgress& operator=(const CollectionProgress&) = delete;

    struct Snapshot {
        std::string current;
        size_t filesDone = 0, filesTotal = 0;
        unsigned long long bytesDone = 0, bytesTotal = 0;
    };
    Snapshot Take();  // for the dialog: also lets the next notice be posted
    void SetTotals(size_t files, unsigned long long bytes);
    void StartFile(const std::string& source);
    void AddBytes(unsigned long long bytes, bool fileDone);
    // index.txt is written also after Cancel: a call hanging there is broken off only once it has
    // had its second, every other at once.
    void StartIndex();
    bool MayInterrupt();

    HANDLE cancel = nullptr;  // manual-reset event: set, and the copy stops within a second
    std::atomic<bool> cancelledByOperator{false};  // set before cancel, when Cancel was pressed
    HWND notify = nullptr;

private:
    void Notify();
    CRITICAL_SECTION lock_;
    Snapshot state_;
    LONG posted_ = 0;
    LONG indexSince_ = 0;  // the tick count (made odd) when index.txt was begun
};

constexpr UINT kCollectProgressMessage = WM_APP + 40;

// Copies every file the sources name that exists into job.folder, keeping the paths below each
// source under its destination, and writes index.txt there last, also when cancelled. A file
// that cannot be read or written is skipped and listed, as is a planned one that is not there;
// junctions and links are never followed. A file counts as copied, and the index as written,
// only once flushed to the medium.
CollectionResult CopyLogs(const CollectionJob& job, CollectionProgress& progress);

// CopyLogs on a worker thread under the progress dialog, whose Cancel stops it; returns once the
// worker has ended, however the dialog ended (a quit message stays in the queue).
CollectionResult RunCollection(HWND owner, const CollectionJob& job);

// The whole Collect logs command of the environment dialog: asks for the destination (a removable
// drive preselected, else the last network drive connected with Net drive...), copies under the
// progress dialog and reports. targetWindows is the selected
// installation's Windows folder, empty for none.
void CollectLogs(HWND owner, const std::string& targetWindows);

// Where the destination browser opens: a removable drive first; without one, the last network
// drive connected here (the browser offers every writable drive, network drives included, either
// way).
std::string ProposedDestination();

// The same after the destination was chosen: the collection folder is made in
// destination\TarnLogs\. Shows the closing box and logs the copy.
void CollectLogsInto(HWND owner, const std::string& destination, const std::string& targetWindows);
