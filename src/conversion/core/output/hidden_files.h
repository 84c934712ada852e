#pragma once

#include "conversion/core/base/owners.h"
#include "conversion/core/base/result.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tessavo {

// The hidden files a run makes in a folder it writes to (a JPEG under a
// temporary name, the case probe) are all named ".tessavo-*". Each is locked
// (flock) while it exists and listed for the signal handler: a catchable
// signal removes it, and a later run tells one that a killed process left
// (nobody holds its lock) from one still in use.
class HiddenName {
public:
    HiddenName() = default;
    ~HiddenName() { remove(); }
    HiddenName(const HiddenName&) = delete;
    HiddenName& operator=(const HiddenName&) = delete;

    // Picks a free name ".tessavo-" + `kind` + random letters + `suffix`,
    // lists it and, unless a signal is ending the process, makes it with
    // `make` (false with errno when it could not), retrying on EEXIST.
    // Fails at `step` with the reason.
    Result<void> create(
        int folder, std::string_view kind, std::string_view suffix, const std::function<bool(const char* name)>& make, ConversionStep step);
    // The file has taken its final name: unlisted, not removed.
    void release();
    // Removes the file and unlists it.
    void remove();
    const std::string& name() const { return name_; }
    bool empty() const { return name_.empty(); }

private:
    int folder_ = -1;
    std::string name_;
    int slot_ = -1;
};

// A new file `name` in `folder`, locked. On EEXIST, also when another run
// took it for abandoned and removed it before the lock was ours.
UniqueFd createLocked(int folder, const char* name, mode_t mode);

// Removes the hidden files in `folder` that nobody holds locked: what killed
// runs left. Once per folder and process; a folder that cannot be listed
// (write-only) is left as it is.
void removeAbandonedFiles(int folder);

// Installs handlers for the signals that end a process and can be caught
// (SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, ...) that remove the
// listed hidden files, then end the process as the signal would have. A file
// over the size limit (SIGXFSZ) fails its write instead of ending the process.
void removeTemporariesOnSignals();

} // namespace tessavo
