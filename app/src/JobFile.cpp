// The one-line reasons a job file cannot be loaded or saved.
#include "app/JobFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ax {

std::string JobOpenProblem(const std::string& fileName) {
    struct stat st{};
    if (::stat(fileName.c_str(), &st) != 0) {
        if (errno == ENOENT) return fileName + ": no such job file";
        return fileName + ": cannot be read (" + std::strerror(errno) + ")";
    }
    if (S_ISDIR(st.st_mode)) return fileName + ": is a folder, not a job file";
    // Non-blocking: a pipe named as a job must not hold the program here.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fileName + ": cannot be read (" + std::strerror(errno) + ")";
    ::close(fd);
    return {};
}

std::string JobSaveError(const std::string& fileName, const Exception& error) {
    // The atomic save's refusals name the file themselves: only their reason
    // is told, after the name the user gave.
    const auto* refused = dynamic_cast<const ESaveError*>(&error);
    return fileName + ": cannot save the job: " + (refused ? refused->Reason() : error.Message());
}

std::string JobLoadError(const std::string& fileName, const Exception& error) {
    // The open's message names the file itself.
    if (dynamic_cast<const EFOpenError*>(&error)) return error.Message();
    if (dynamic_cast<const EStreamError*>(&error))
        return fileName + ": not a valid job file (" + error.Message() + ")";
    return fileName + ": " + error.Message();
}

} // namespace ax
