#include "AddressBookOpener.h"

#include "DirectoryFiles.h"
#include "FileUtil.h"

namespace vvp {

struct AddressBookOpener::FetchState {
    std::mutex mutex;
    std::condition_variable arrived;
    bool done = false;
    AddressFetchResult result;
};

AddressBookOpener::AddressBookOpener(Folders folders, AddressFetcher fetch)
    : m_folders(std::move(folders)), m_fetch(std::move(fetch)) {}

AddressBookOpener::~AddressBookOpener() {
    std::lock_guard lock(m_mutex);
    if (m_fetchThread.joinable()) m_fetchThread.join();
}

bool AddressBookOpener::Begin() {
    std::lock_guard lock(m_mutex);
    if (m_busy) return false;
    m_busy = true;
    return true;
}

bool AddressBookOpener::Busy() const {
    std::lock_guard lock(m_mutex);
    return m_busy;
}

AddressBookOpening AddressBookOpener::Run(int saveMode, std::chrono::milliseconds timeout) {
    using Status = AddressFetchResult::Status;
    // However this ends, the next click opens the book again.
    struct EndOpening {
        AddressBookOpener& opener;
        ~EndOpening() {
            std::lock_guard lock(opener.m_mutex);
            opener.m_busy = false;
        }
    } endOpening{*this};

    // The program folder's copies are put in place before the fetch, not after it: the book the
    // server sends is the newer one and must not be replaced by an installed copy, and a fetch
    // that outlasts the wait then still lands on top of them.
    const StringList problems = CopyProgramFiles();
    AddressBookOpening opening;
    if (saveMode != 2) opening.fetch = FetchWithin(timeout);
    switch (opening.fetch.status) {
    case Status::NotAsked:
        break;
    case Status::NoServer:
        opening.log.push_back("Address book: no Vocanet server known to fetch it from");
        break;
    case Status::Fetched:
        opening.log.push_back("Address book fetched from the server: " + std::to_string(opening.fetch.lines) +
                              " entries");
        break;
    case Status::Unreachable:
    case Status::Failed:
        opening.log.push_back("Address book not fetched from the server, the local copy is shown: " +
                              opening.fetch.message);
        break;
    }
    opening.log.insert(opening.log.end(), problems.begin(), problems.end());
    return opening;
}

AddressFetchResult AddressBookOpener::FetchWithin(std::chrono::milliseconds timeout) {
    std::shared_ptr<FetchState> state;
    {
        std::lock_guard lock(m_mutex);
        const bool running = m_fetchState && [&] {
            std::lock_guard stateLock(m_fetchState->mutex);
            return !m_fetchState->done;
        }();
        if (!running) {
            if (m_fetchThread.joinable()) m_fetchThread.join();
            m_fetchState = std::make_shared<FetchState>();
            m_fetchThread = std::thread([state = m_fetchState, fetch = m_fetch] {
                AddressFetchResult result =
                    fetch ? fetch() : AddressFetchResult{AddressFetchResult::Status::NoServer, 0, {}};
                std::lock_guard stateLock(state->mutex);
                state->result = std::move(result);
                state->done = true;
                state->arrived.notify_all();
            });
        }
        state = m_fetchState;
    }
    std::unique_lock stateLock(state->mutex);
    if (!state->arrived.wait_for(stateLock, timeout, [&] { return state->done; }))
        return {AddressFetchResult::Status::Failed, 0,
                "the server did not send it within " + std::to_string((timeout.count() + 999) / 1000) +
                    " seconds"};
    return state->result;
}

StringList AddressBookOpener::CopyProgramFiles() const {
    StringList problems;
    // With no temporary folder of its own the program folder's files are the ones shown.
    if (m_folders.temp == m_folders.program) return problems;
    for (const char* name : {"Address.in", "Address.in.bkp"}) {
        const std::string from = ResolveFileNameNoCase(m_folders.program, name);
        if (!FileExists(from)) continue;
        if (auto r = CopyFileReplacing(from, ResolveFileNameNoCase(m_folders.temp, name)); !r)
            problems.push_back("Address book: " + r.error().message);
    }
    return problems;
}

} // namespace vvp
