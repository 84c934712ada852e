#pragma once

#include "conversion/core/base/owners.h"
#include "conversion/core/base/result.h"
#include "conversion/core/output/hidden_files.h"

#include <filesystem>
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
// of it behind. On file systems without unnamed files the JPEG is encoded
// into memory and written under a hidden name only when publish() is called,
// so that a killed process leaves one for the shortest time (see
// hidden_files.h for how it is removed then).
class JpegOutput {
public:
    // Creates `folder` with its parents, and in it the folders of
    // `subfolder` (relative, of plain names, never followed where they are
    // links, so that nothing lands outside `folder`), and a new file in the
    // last that is to become `name`. Made before the decode so that a folder
    // that cannot take the JPEG costs no decoding.
    static Result<std::unique_ptr<JpegOutput>> open(const std::filesystem::path& folder, const std::filesystem::path& subfolder,
        const std::filesystem::path& name, FileIdentity source);
    JpegOutput(const JpegOutput&) = delete;
    JpegOutput& operator=(const JpegOutput&) = delete;

    int fd() const { return file_.get(); }
    // The folders of the subfolder that this output made (not found made).
    int foldersMade() const { return foldersMade_; }

    // Syncs the written file and gives it its name, replacing a file of that
    // name. When that fails the file is gone.
    Result<void> publish();

private:
    JpegOutput(const std::filesystem::path& name, FileIdentity source);
    Result<void> create(const std::filesystem::path& folder, const std::filesystem::path& subfolder);
    Result<void> descend(const std::filesystem::path& subfolder);
    Failure fail(ConversionStep step, std::string reason);
    Failure failWithErrno(ConversionStep step);
    bool isSource() const;
    Result<void> writeFromMemory();
    int linkUnnamedTo(const char* name) const;

    UniqueFd folder_;
    UniqueFd file_;
    int foldersMade_ = 0;
    bool inMemory_ = false; // file_ is a memfd, copied into a hidden file on publish()
    std::string name_;
    HiddenName temporary_; // the hidden name while there is one
    FileIdentity source_;
};

} // namespace tessavo
