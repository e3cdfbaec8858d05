#pragma once

#include "Folders.h"
#include "TextLines.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vvp {

// How asking the server for its address book ended.
struct AddressFetchResult {
    enum class Status {
        NotAsked,    // Save Mode 2: this instance is the server
        NoServer,    // no server known
        Unreachable, // the connection failed
        Fetched,     // the book arrived (and was stored when it held lines)
        Failed,      // the exchange broke off, took too long or could not be stored
    };
    Status status = Status::NotAsked;
    size_t lines = 0;
    std::string message; // why, for Unreachable and Failed
};

// Fetches the server's book into the temporary folder's "Address.in" (the relay client's
// "ADDR" exchange in the program, a fake in tests).
using AddressFetcher = std::function<AddressFetchResult()>;

struct AddressBookOpening {
    AddressFetchResult fetch;
    StringList log; // lines for the activity log: the fetch's outcome, copies that failed
};

// The opening of the address book window from the menu or the tray: the program folder's copies
// are put in place, then the book is fetched from the server off the user-interface thread.
//
//   if (!opener.Begin()) return;              // a second click while busy does nothing
//   busy cursor; worker: auto o = opener.Run(saveMode, seconds);
//   back on the user-interface thread: cursor back, log o.log, main window to the tray, show
class AddressBookOpener {
public:
    AddressBookOpener(Folders folders, AddressFetcher fetch);
    ~AddressBookOpener(); // waits for a fetch still running
    AddressBookOpener(const AddressBookOpener&) = delete;
    AddressBookOpener& operator=(const AddressBookOpener&) = delete;

    // false while an opening is under way.
    bool Begin();
    bool Busy() const;
    // The opening begun by Begin(), ending it: "address.in" and "address.in.bkp" of the program
    // folder, when there, replace the temporary folder's "Address.in" and "Address.in.bkp"; then,
    // unless Save Mode is 2, the fetch, whose book replaces that copy. It is waited for at most
    // timeout: a fetch still running after that is left to finish on its own (its book lands
    // later), and the next opening waits for it instead of asking again.
    AddressBookOpening Run(int saveMode, std::chrono::milliseconds timeout);

private:
    struct FetchState;
    AddressFetchResult FetchWithin(std::chrono::milliseconds timeout);
    StringList CopyProgramFiles() const;

    const Folders m_folders;
    const AddressFetcher m_fetch;
    mutable std::mutex m_mutex; // guards the members below
    bool m_busy = false;
    std::shared_ptr<FetchState> m_fetchState;
    std::thread m_fetchThread;
};

} // namespace vvp
