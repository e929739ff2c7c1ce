// Temporary files and folders written beside a file (a render's output, a frames file, the
// settings file) and renamed into place when complete, and the interrupt handler that removes
// them when the program is stopped by a signal. Native builds only (POSIX).
#pragma once

#include <string>

#include "host/file_error.h"

namespace lumacore {

// Makes SIGINT, SIGTERM and SIGHUP remove every registered temporary path before the process
// dies of the signal as it would have anyway. A signal the process ignores stays ignored.
// Calling it again does nothing.
void installInterruptCleanup();

// For a program that ends itself cleanly when asked to (the live windows: settings saved, the
// last picture written, the sound server's stream closed): the first SIGINT, SIGTERM or SIGHUP
// only asks it to stop, and interruptRequested() says which one did; a second one removes the
// temporary paths and dies as installInterruptCleanup()'s handler does. Replaces that handler.
void installInterruptRequests();
// The signal that asked the program to stop, or 0.
int interruptRequested();
// Ends the process as `signal` ends it by default, so that its parent sees the program was
// interrupted (a shell's status 128 + signal).
[[noreturn]] void dieOf(int signal);

// Registers a path for the interrupt handler: a file is unlinked, a folder has its entries
// unlinked and is then removed (it must hold plain files only). Returns a slot for
// unregisterTemporaryPath(). Throws FileError when the path is too long or the fixed table
// is full.
int registerTemporaryPath(const std::string& path, bool folder);
void unregisterTemporaryPath(int slot);

// The message for a folder that a file cannot be created in, given the errno of the attempt:
// "folder 'x' does not exist", "'x' is not a folder", "cannot write to folder 'x': ...".
std::string folderProblem(const std::string& folder, int error);

// The file `path` names once its symbolic links are followed (relative links from the folder of
// the link), even where that file does not exist yet; `path` itself when it is no link. A
// replacement goes there, so that a link (a settings file kept in a dotfiles folder) stays.
std::string linkedFile(const std::string& path);

// A file created beside `target` as ".NAME.XXXXXX.part" (unique, never replacing anything) with
// the usual permissions, or those of an existing target. commit() renames it over the target;
// the destructor removes it unless it was committed. A target that is a symbolic link stays one:
// the file it points to is the one replaced (linkedFile). Throws FileError when the folder does
// not exist, is not a folder or is not writable.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& target);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& target() const { return target_; }
    int descriptor() const { return fd_; } // open for writing until commit()

    // Flushes the data to disk and renames the file over the target. Throws FileError.
    void commit();

  private:
    std::string target_;      // as given, for messages
    std::string destination_; // the file replaced: the target, its links followed
    std::string path_;
    int fd_ = -1;
    int slot_ = -1;
    bool committed_ = false;
};

// A folder created in the existing folder `parent` as ".NAME.XXXXXX.part" (unique, with the
// usual permissions). The destructor removes it and the files in it unless release() was called.
// Throws FileError like TemporaryFile.
class TemporaryFolder {
  public:
    TemporaryFolder(const std::string& parent, const std::string& name);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }
    // The folder now belongs elsewhere (renamed into place or emptied and removed by the
    // caller): forget it.
    void release();

  private:
    std::string path_;
    int slot_ = -1;
    bool released_ = false;
};

} // namespace lumacore
