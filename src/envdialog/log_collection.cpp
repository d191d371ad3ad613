#include "envdialog/log_collection.h"

#include "common/guards.h"
#include "common/resource_ids.h"
#include "common/run_log.h"
#include "common/text.h"
#include "common/window.h"
#include "envdialog/folder_browser.h"
#include "envdialog/network_drive.h"
#include "langmodule/langmodule.h"
#include "session/launch.h"
#include "session/pe_tools.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr DWORD kChunkBytes = 256 * 1024;
constexpr DWORD kCancelGraceMs = 1000;  // for a read that ignores the cancel request
constexpr DWORD kInterruptRepeatMs = 250;
constexpr UINT kCollectDoneMessage = WM_APP + 41;
constexpr UINT_PTR kInterruptTimer = 1;
constexpr int kBarRange = 1000;

struct PlannedFile {
    std::string source;
    std::string destination;  // relative to the collection folder
    unsigned long long size = 0;
};

struct Listing {
    std::vector<PlannedFile> files;
    std::vector<IndexEntry> entries;  // the files skipped while listing
};

bool IsCancelled(const CollectionProgress& progress) { return WaitForSingleObject(progress.cancel, 0) == WAIT_OBJECT_0; }

unsigned long long SizeOf(DWORD high, DWORD low) { return (static_cast<unsigned long long>(high) << 32) | low; }

void Skip(Listing& listing, const std::string& source, unsigned long long size, const std::string& reason)
{
    listing.entries.push_back({IndexOutcome::Skipped, source, size, reason});
}

// One file found by a listing, or a link to a file or folder, which is never followed.
void Consider(Listing& listing, const std::string& source, const std::string& destination, const char* name,
              DWORD attributes, unsigned long long size, unsigned long long sizeLimit)
{
    switch (DecideCopy(name, size, (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0, sizeLimit)) {
    case CopyDecision::Copy: listing.files.push_back({source, destination, size}); break;
    case CopyDecision::TooLarge: Skip(listing, source, size, TooLargeReason(sizeLimit)); break;
    case CopyDecision::Withheld: Skip(listing, source, size, WithheldReason()); break;
    case CopyDecision::AnswerFile: Skip(listing, source, size, AnswerFileReason()); break;
    case CopyDecision::ReparsePoint: Skip(listing, source, size, ReparsePointReason()); break;
    }
}

bool IsDotEntry(const char* name) { return !strcmp(name, ".") || !strcmp(name, ".."); }

// The files of folder matching pattern; with recurse, also those of its subfolders (not of
// linked ones).
void ListFolder(Listing& listing, const std::string& folder, const std::string& pattern, const std::string& destination,
                bool recurse, const CollectionJob& job, const CollectionProgress& progress)
{
    WIN32_FIND_DATAA data{};
    UniqueFind find(FindFirstFileA((folder + "\\" + pattern).c_str(), &data));
    if (!find) return;
    do {
        if (IsCancelled(progress)) return;
        if (IsDotEntry(data.cFileName)) continue;
        const std::string path = folder + "\\" + data.cFileName;
        const std::string target = destination + "\\" + data.cFileName;
        const bool directory = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        const bool link = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        if (directory && !link) {
            if (recurse) ListFolder(listing, path, "*", target, true, job, progress);
            continue;
        }
        Consider(listing, path, target, data.cFileName, data.dwFileAttributes,
                 SizeOf(data.nFileSizeHigh, data.nFileSizeLow), job.sizeLimit);
    } while (FindNextFileA(find.get(), &data));
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ListSource(Listing& listing, const LogSource& source, const CollectionJob& job, const CollectionProgress& progress)
{
    // A single file is judged when it is opened: asking for its attributes first would open it
    // twice, and a pipe or device answers only once.
    if (source.kind == LogSourceKind::File) {
        Consider(listing, source.path, source.destination, NameOf(source.path).c_str(), 0, 0, job.sizeLimit);
        return;
    }
    const DWORD attributes = GetFileAttributesA(source.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            listing.entries.push_back({IndexOutcome::Absent, source.path, 0, ""});
        } else {
            Skip(listing, source.path, 0, UnreadableReason(SystemErrorText(error)));
        }
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Skip(listing, source.path, 0, UnreadableReason(SystemErrorText(ERROR_DIRECTORY)));
        return;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        Skip(listing, source.path, 0, ReparsePointReason());
        return;
    }
    const bool tree = source.kind == LogSourceKind::Tree;
    ListFolder(listing, source.path, tree ? "*" : source.pattern, source.destination, tree, job, progress);
}

// The folders of a relative destination, made one by one below the collection folder.
void MakeFolders(const std::string& base, const std::string& relativeFile)
{
    for (size_t at = relativeFile.find('\\'); at != std::string::npos; at = relativeFile.find('\\', at + 1)) {
        CreateDirectoryA((base + "\\" + relativeFile.substr(0, at)).c_str(), nullptr);  // an existing one is fine
    }
}

enum class ReadOutcome { Data, End, Failed, Cancelled };

// One overlapped read, so that Cancel is seen while a read waits (a log on a slow or hung
// device, a pipe). The state lives on the heap: a read that ignores the cancel request keeps
// it, rather than writing into freed memory later.
struct PendingRead {
    OVERLAPPED overlapped{};
    UniqueHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::vector<char> buffer = std::vector<char>(kChunkBytes);
};

ReadOutcome ReadChunk(HANDLE file, std::unique_ptr<PendingRead>& read, unsigned long long offset,
                      const CollectionProgress& progress, DWORD& got, DWORD& error)
{
    read->overlapped = OVERLAPPED{};
    read->overlapped.Offset = static_cast<DWORD>(offset);
    read->overlapped.OffsetHigh = static_cast<DWORD>(offset >> 32);
    read->overlapped.hEvent = read->done.get();
    ResetEvent(read->done.get());
    got = 0;
    BOOL finished = ReadFile(file, read->buffer.data(), kChunkBytes, nullptr, &read->overlapped);
    error = finished ? ERROR_SUCCESS : GetLastError();
    if (error == ERROR_IO_PENDING) {
        HANDLE either[] = {read->done.get(), progress.cancel};
        if (WaitForMultipleObjects(2, either, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(file, &read->overlapped);
            if (WaitForSingleObject(read->done.get(), kCancelGraceMs) != WAIT_OBJECT_0) read.release();
            return ReadOutcome::Cancelled;
        }
        error = ERROR_SUCCESS;
    }
    if (error == ERROR_SUCCESS && !GetOverlappedResult(file, &read->overlapped, &got, FALSE)) error = GetLastError();
    if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return ReadOutcome::End;
    if (error != ERROR_SUCCESS) return ReadOutcome::Failed;
    return got == 0 ? ReadOutcome::End : ReadOutcome::Data;
}

enum class CopyOutcome { Copied, Absent, Unreadable, Unwritable, TooLarge, Linked, Cancelled };

bool IsLink(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    return GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// copied: the bytes written; size: the file's size as its handle tells it (else the listing's).
CopyOutcome CopyOneFile(const PlannedFile& file, const CollectionJob& job, CollectionProgress& progress,
                        unsigned long long& copied, unsigned long long& size, DWORD& error)
{
    // Logs are open for writing by the system that keeps them, so every kind of sharing is
    // allowed; a link is opened as itself, never followed.
    UniqueFile source(CreateFileA(file.source.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!source) {
        error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return CopyOutcome::Absent;
        // A file another program holds without sharing still tells its size, for the index.
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(file.source.c_str(), GetFileExInfoStandard, &data)) {
            size = SizeOf(data.nFileSizeHigh, data.nFileSizeLow);
        }
        return CopyOutcome::Unreadable;
    }
    if (IsLink(source.get())) return CopyOutcome::Linked;
    LARGE_INTEGER length{};
    if (GetFileSizeEx(source.get(), &length)) size = static_cast<unsigned long long>(length.QuadPart);
    if (size > job.sizeLimit) return CopyOutcome::TooLarge;
    MakeFolders(job.folder, file.destination);
    const std::string target = job.folder + "\\" + file.destination;
    UniqueFile output(CreateFileA(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        error = GetLastError();
        return CopyOutcome::Unwritable;
    }
    // A file that was not copied whole leaves nothing behind that could pass for the log.
    bool whole = false;
    ScopeExit removePart([&] {
        output.reset();
        if (!whole) DeleteFileA(target.c_str());
    });
    auto read = std::make_unique<PendingRead>();
    for (;;) {
        DWORD got = 0;
        switch (ReadChunk(source.get(), read, copied, progress, got, error)) {
        case ReadOutcome::End:
            // Counted as copied only once it is on the medium: a stick pulled after the closing
            // box must not lose what the box and the index promised.
            if (!FlushFileBuffers(output.get())) {
                error = GetLastError();
                return CopyOutcome::Unwritable;
            }
            whole = true;
            return CopyOutcome::Copied;
        case ReadOutcome::Failed: return CopyOutcome::Unreadable;
        case ReadOutcome::Cancelled: return CopyOutcome::Cancelled;
        case ReadOutcome::Data: break;
        }
        DWORD written = 0;
        if (!WriteFile(output.get(), read->buffer.data(), got, &written, nullptr) || written != got) {
            error = GetLastError();
            return CopyOutcome::Unwritable;
        }
        copied += got;
        progress.AddBytes(got, false);
        if (IsCancelled(progress)) return CopyOutcome::Cancelled;
    }
}

bool WriteIndex(const std::string& path, const std::string& text, unsigned long& error)
{
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size() && FlushFileBuffers(file.get())) {
        return true;
    }
    error = GetLastError();
    if (error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;  // a short write with no error: the medium is full
    return false;
}

// ---- the progress dialog ----

struct CollectionRun {
    const CollectionJob* job = nullptr;
    CollectionProgress progress;
    CollectionResult result;
    UniqueHandle thread;
    UniqueHandle cancel{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

DWORD WINAPI CollectionThread(void* parameter)
{
    auto& run = *static_cast<CollectionRun*>(parameter);
    try {
        run.result = CopyLogs(*run.job, run.progress);
    } catch (...) {
        // Memory ran out: the dialog still has to end.
        run.result.cancelled = true;
    }
    PostMessageA(run.progress.notify, kCollectDoneMessage, 0, 0);
    return 0;
}

void ShowProgress(HWND dialog, CollectionRun& run)
{
    const CollectionProgress::Snapshot now = run.progress.Take();
    if (!IsCancelled(run.progress)) SetDlgItemTextA(dialog, IDC_COLLECT_CURRENT, now.current.c_str());
    const std::string counts = FillPlaceholders(LoadLangStringOr(IDS_COLLECT_COUNTS, "%1 of %2 files, %3 of %4 bytes"),
                                                {WithThousands(now.filesDone), WithThousands(now.filesTotal),
                                                 WithThousands(now.bytesDone), WithThousands(now.bytesTotal)});
    SetDlgItemTextA(dialog, IDC_COLLECT_COUNTS, counts.c_str());
    const int position = now.bytesTotal ? static_cast<int>(now.bytesDone * kBarRange / now.bytesTotal)
                         : now.filesTotal ? static_cast<int>(now.filesDone * kBarRange / now.filesTotal)
                                          : 0;
    SendDlgItemMessageA(dialog, IDC_COLLECT_BAR, PBM_SETPOS, std::min(position, kBarRange), 0);
}

void StartCollection(HWND dialog, CollectionRun& run)
{
    SetDlgItemTextA(dialog, IDC_COLLECT_DESTINATION, run.job->folder.c_str());
    SendDlgItemMessageA(dialog, IDC_COLLECT_BAR, PBM_SETRANGE32, 0, kBarRange);
    run.progress.notify = dialog;
    run.thread.reset(CreateThread(nullptr, 0, CollectionThread, &run, 0, nullptr));
    if (run.thread) return;
    // Without a thread the copy runs here, unseen, rather than not at all.
    run.progress.notify = nullptr;
    run.result = CopyLogs(*run.job, run.progress);
    EndDialog(dialog, IDOK);
}

bool IsWorkerRunning(const CollectionRun& run)
{
    return run.thread && WaitForSingleObject(run.thread.get(), 0) == WAIT_TIMEOUT;
}

// The cancel event is seen between calls; a call that hangs (opening a file on a failing disk, a
// folder listing, a write to a stalled stick) is broken off here. A call the worker starts just
// after one attempt is caught by the next, so this is repeated until the worker has ended.
void InterruptWorker(CollectionRun& run)
{
    // Not found (nothing pending) and a refusal alike leave the cancel event to do its work.
    if (IsWorkerRunning(run) && run.progress.MayInterrupt()) CancelSynchronousIo(run.thread.get());
}

// Whatever ends the dialog (the copy's end, a quit message, an error in its procedure), the
// worker uses the run and the job on the caller's stack: it is stopped and waited for before
// they go. Nothing is pumped meanwhile, so a quit message stays in the queue for the caller.
void StopWorker(CollectionRun& run)
{
    for (DWORD wait = 0; IsWorkerRunning(run) && WaitForSingleObject(run.thread.get(), wait) == WAIT_TIMEOUT;
         wait = kInterruptRepeatMs) {
        SetEvent(run.progress.cancel);
        InterruptWorker(run);
    }
}

void OnCancelCollection(HWND dialog, CollectionRun& run)
{
    run.progress.cancelledByOperator = true;
    SetEvent(run.progress.cancel);
    InterruptWorker(run);
    SetTimer(dialog, kInterruptTimer, kInterruptRepeatMs, nullptr);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    SetDlgItemTextA(dialog, IDC_COLLECT_CURRENT, LoadLangStringOr(IDS_COLLECT_STOPPING, "Stopping...").c_str());
}

INT_PTR CALLBACK CollectionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        StartCollection(dialog, *reinterpret_cast<CollectionRun*>(lParam));
        return TRUE;
    }
    auto* run = reinterpret_cast<CollectionRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!run) return FALSE;
    switch (message) {
    case kCollectProgressMessage: ShowProgress(dialog, *run); return TRUE;
    case WM_TIMER:
        if (wParam == kInterruptTimer) InterruptWorker(*run);
        return TRUE;
    case kCollectDoneMessage:
        // The worker posts this as its last act: the wait is for its return alone.
        WaitForSingleObject(run->thread.get(), INFINITE);
        EndDialog(dialog, IDOK);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) OnCancelCollection(dialog, *run);
        return TRUE;
    }
    return FALSE;
}

std::string WithoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '\\') path.pop_back();
    return path;
}

// A new folder below base; a second collection within the same second gets "-2" and so on.
std::string MakeCollectionFolder(const std::string& base, const std::string& name, DWORD& error)
{
    CreateDirectoryA(base.c_str(), nullptr);  // there already from an earlier collection: fine
    for (int attempt = 1; attempt < 10; ++attempt) {
        const std::string folder = base + "\\" + name + (attempt > 1 ? "-" + std::to_string(attempt) : "");
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder;
        error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) break;
    }
    return std::string();
}

std::string ComputerName()
{
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name) : std::string();
}

std::string CollectionMessage(const CollectionResult& result, const std::string& folder)
{
    if (!result.indexWritten) {
        // The other messages send the reader to index.txt.
        return FillPlaceholders(LoadLangStringOr(IDS_COLLECT_NO_INDEX, "%1 files (%2 bytes) were copied to %3 and %4 were "
                                                                       "skipped, but index.txt, the list of them, could "
                                                                       "not be written there: %5"),
                                {WithThousands(result.copied), WithThousands(result.bytes), folder,
                                 WithThousands(result.skipped), SystemErrorText(result.indexError)});
    }
    const UINT id = result.cancelled ? IDS_COLLECT_CANCELLED : IDS_COLLECT_DONE;
    const char* fallback = result.cancelled
                               ? "The copy was cancelled. Until then %1 files (%2 bytes) were copied to %3 and %4 were "
                                 "skipped; index.txt lists them."
                               : "%1 files (%2 bytes) were copied to %3. %4 files were skipped; index.txt in that folder "
                                 "lists every file and why one was skipped.";
    return FillPlaceholders(LoadLangStringOr(id, fallback),
                            {WithThousands(result.copied), WithThousands(result.bytes), folder, WithThousands(result.skipped)});
}

}  // namespace

CollectionProgress::CollectionProgress() { InitializeCriticalSection(&lock_); }
CollectionProgress::~CollectionProgress() { DeleteCriticalSection(&lock_); }

CollectionProgress::Snapshot CollectionProgress::Take()
{
    InterlockedExchange(&posted_, 0);
    EnterCriticalSection(&lock_);
    Snapshot copy = state_;
    LeaveCriticalSection(&lock_);
    return copy;
}

void CollectionProgress::SetTotals(size_t files, unsigned long long bytes)
{
    EnterCriticalSection(&lock_);
    state_.filesTotal = files;
    state_.bytesTotal = bytes;
    LeaveCriticalSection(&lock_);
    Notify();
}

void CollectionProgress::StartFile(const std::string& source)
{
    EnterCriticalSection(&lock_);
    state_.current = source;
    LeaveCriticalSection(&lock_);
    Notify();
}

void CollectionProgress::AddBytes(unsigned long long bytes, bool fileDone)
{
    EnterCriticalSection(&lock_);
    state_.bytesDone += bytes;
    if (fileDone) ++state_.filesDone;
    LeaveCriticalSection(&lock_);
    Notify();
}

void CollectionProgress::StartIndex() { InterlockedExchange(&indexSince_, static_cast<LONG>(GetTickCount() | 1)); }

bool CollectionProgress::MayInterrupt()
{
    const DWORD since = static_cast<DWORD>(InterlockedCompareExchange(&indexSince_, 0, 0));
    return since == 0 || GetTickCount() - since > kCancelGraceMs;
}

void CollectionProgress::Notify()
{
    // One notice at a time: a fast copy of small files must not flood the dialog's queue.
    if (notify && InterlockedExchange(&posted_, 1) == 0) PostMessageA(notify, kCollectProgressMessage, 0, 0);
}

CollectionResult CopyLogs(const CollectionJob& job, CollectionProgress& progress)
{
    // A drive without a medium or a failing one must not stop the copy with a box nobody on this
    // thread can answer.
    DWORD oldMode = 0;
    const bool modeSet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    ScopeExit restoreMode([&] {
        if (modeSet) SetThreadErrorMode(oldMode, nullptr);
    });
    Listing listing;
    for (const LogSource& source : job.sources) {
        if (IsCancelled(progress)) break;
        ListSource(listing, source, job, progress);
    }
    unsigned long long total = 0;
    for (const PlannedFile& file : listing.files) total += file.size;
    progress.SetTotals(listing.files.size(), total);

    CollectionResult result;
    result.cancelled = IsCancelled(progress);
    std::vector<IndexEntry>& entries = listing.entries;
    for (const PlannedFile& file : listing.files) {
        result.cancelled = result.cancelled || IsCancelled(progress);
        if (result.cancelled) break;
        progress.StartFile(file.source);
        unsigned long long copied = 0;
        unsigned long long size = file.size;
        DWORD error = ERROR_SUCCESS;
        switch (CopyOneFile(file, job, progress, copied, size, error)) {
        case CopyOutcome::Copied: entries.push_back({IndexOutcome::Copied, file.source, copied, ""}); break;
        case CopyOutcome::Unreadable:
            entries.push_back({IndexOutcome::Skipped, file.source, size, UnreadableReason(SystemErrorText(error))});
            break;
        case CopyOutcome::Unwritable:
            entries.push_back({IndexOutcome::Skipped, file.source, size, NotWrittenReason(SystemErrorText(error))});
            break;
        case CopyOutcome::TooLarge:
            entries.push_back({IndexOutcome::Skipped, file.source, size, TooLargeReason(job.sizeLimit)});
            break;
        case CopyOutcome::Linked:
            entries.push_back({IndexOutcome::Skipped, file.source, 0, ReparsePointReason()});
            break;
        case CopyOutcome::Absent: entries.push_back({IndexOutcome::Absent, file.source, 0, ""}); break;
        case CopyOutcome::Cancelled: result.cancelled = true; break;
        }
        progress.AddBytes(0, true);
    }
    for (const IndexEntry& entry : entries) {
        if (entry.outcome == IndexOutcome::Copied) {
            ++result.copied;
            result.bytes += entry.size;
        } else if (entry.outcome == IndexOutcome::Skipped) {
            ++result.skipped;
        }
    }
    IndexHeader header = job.header;
    header.cancelled = result.cancelled;
    header.byOperator = progress.cancelledByOperator;
    progress.StartIndex();
    result.indexWritten = WriteIndex(job.folder + "\\index.txt", FormatIndex(header, entries), result.indexError);
    return result;
}

CollectionResult RunCollection(HWND owner, const CollectionJob& job)
{
    CollectionRun run;
    run.job = &job;
    run.progress.cancel = run.cancel.get();
    ScopeExit stop([&run] { StopWorker(run); });  // when an error in the dialog unwinds this
    EnsureCommonControls(ICC_PROGRESS_CLASS);
    const INT_PTR shown = ShowLangDialogOrBuiltIn(IDD_COLLECT_PROGRESS, owner, CollectionDlgProc, reinterpret_cast<LPARAM>(&run));
    StopWorker(run);  // before its result is read
    // No dialog, so no worker either: the copy runs here, unseen, rather than not at all.
    if (shown == -1 && !run.thread) {
        run.progress.notify = nullptr;
        run.result = CopyLogs(job, run.progress);
    }
    return run.result;
}

std::string ProposedDestination()
{
    std::string root = FirstRemovableDrive();
    const std::vector<ConnectedDrive>& shares = ConnectedDrives();
    if (root.empty() && !shares.empty()) root = std::string(1, shares.back().Letter) + ":\\";
    return root;
}

void CollectLogs(HWND owner, const std::string& targetWindows)
{
    const std::string destination = BrowseDestinationFolder(owner, ProposedDestination());
    if (destination.empty()) return;
    CollectLogsInto(owner, destination, targetWindows);
}

void CollectLogsInto(HWND owner, const std::string& destination, const std::string& targetWindows)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    CollectionJob job;
    job.header.computer = ComputerName();
    char when[32];
    wsprintfA(when, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
              now.wSecond);
    job.header.when = when;
    job.header.peWindows = WithoutTrailingSlash(ExpandCommand("%WinDir%"));
    job.header.targetWindows = targetWindows;
    const std::string caption = LoadLangStringOr(IDS_COLLECT_CAPTION, "Collect Logs");
    const std::string base = WithoutTrailingSlash(destination) + "\\TarnLogs";
    const std::string name = CollectionFolderName(job.header.computer, now.wYear, now.wMonth, now.wDay, now.wHour,
                                                  now.wMinute, now.wSecond);
    DWORD error = ERROR_SUCCESS;
    job.folder = MakeCollectionFolder(base, name, error);
    if (job.folder.empty()) {
        LogEvent("collect", {{"action", "refused"}, {"folder", base + "\\" + name}, {"error", SystemErrorText(error)}});
        ShowLoggedMessageBox(owner,
                             FillPlaceholders(LoadLangStringOr(IDS_COLLECT_NO_FOLDER, "The folder %1 cannot be made: %2 "
                                                                                      "Choose another place for the logs."),
                                              {base + "\\" + name, SystemErrorText(error)}),
                             caption, MB_OK | MB_ICONWARNING);
        return;
    }
    // The 32-bit build on a 64-bit Windows PE would read SysWOW64 as System32.
    job.sources = PlanLogSources(RunLogFilePath(), job.header.peWindows, targetWindows,
                                 WithoutTrailingSlash(SystemToolPath("")));
    LogEvent("collect", {{"action", "start"}, {"folder", job.folder},
                         {"target", targetWindows.empty() ? "none" : targetWindows}});
    const CollectionResult result = RunCollection(owner, job);
    LogEvent("collect", {{"action", result.cancelled ? "cancelled" : "done"}, {"folder", job.folder},
                         {"copied", std::to_string(result.copied)}, {"bytes", std::to_string(result.bytes)},
                         {"skipped", std::to_string(result.skipped)}, {"index", result.indexWritten ? "written" : "failed"}});
    ShowLoggedMessageBox(owner, CollectionMessage(result, job.folder), caption,
                         MB_OK | (result.cancelled || !result.indexWritten ? MB_ICONWARNING : MB_ICONINFORMATION));
}
