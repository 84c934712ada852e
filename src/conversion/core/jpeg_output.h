#pragma once

#include "conversion/core/owners.h"
#include "conversion/core/result.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

namespace tessavo {

// A file as the file system knows it: writing over a file with the same
// identity as the source would destroy the photo being converted.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// The new file of one conversion. The output folder is held open, so a folder
// renamed during a run takes its JPEG along; the file has no name until it is
// complete and synced (O_TMPFILE), so no ending of the process leaves a part
// of it behind. On file systems without unnamed files a hidden temporary name
// stands in; it is removed on every path, and on SIGINT, SIGTERM and SIGHUP
// once removeTemporariesOnSignals() has run.
class JpegOutput {
public:
    // Creates `folder` with its parents and a new file in it that is to
    // become `name`. Made before the decode so that a folder that cannot
    // take the JPEG costs no decoding.
    static Result<std::unique_ptr<JpegOutput>> open(const std::filesystem::path& folder,
                                                    const std::filesystem::path& name, FileIdentity source);
    ~JpegOutput();
    JpegOutput(const JpegOutput&) = delete;
    JpegOutput& operator=(const JpegOutput&) = delete;

    int fd() const { return file_.get(); }

    // Syncs the written file and gives it its name, replacing a file of that
    // name. When that fails the file is gone.
    Result<void> publish();

private:
    JpegOutput(const std::filesystem::path& name, FileIdentity source);
    Result<void> create(const std::filesystem::path& folder);
    Failure fail(ConversionStep step, std::string reason);
    Failure failWithErrno(ConversionStep step);
    bool isSource() const;
    // Gives the file a hidden name by `create`, retrying on a clash.
    bool takeTemporaryName(const std::function<bool(const char*)>& create);
    int linkUnnamedTo(const char* name) const;
    void forgetTemporaryName();
    void dropTemporary();

    UniqueFd folder_;
    UniqueFd file_;
    std::string name_;
    std::string temporary_; // the hidden name while there is one
    int slot_ = -1;         // its entry in the list the signal handler removes
    FileIdentity source_;
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the hidden
// temporary files of unfinished outputs, then end the process as the signal
// would have.
void removeTemporariesOnSignals();

} // namespace tessavo
