#include "settingsfile/atomicwrite.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Failure(const char* what, const std::string& path)
{
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& content)
{
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t written = write(fd, content.data() + done, content.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// The folder's entry for the renamed file reaches the disk too.
void SyncFolder(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

} // namespace

std::string WriteFileAtomically(const std::string& path, const std::string& content)
{
    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return Failure("cannot create", temporary);
    // A file that is replaced keeps its permissions.
    struct stat existing
    {
    };
    if (stat(path.c_str(), &existing) == 0)
        fchmod(fd, existing.st_mode & 07777);
    if (!WriteAll(fd, content) || fsync(fd) != 0) {
        const std::string failure = Failure("cannot write", temporary);
        close(fd);
        unlink(temporary.c_str());
        return failure;
    }
    close(fd);
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string failure = Failure("cannot replace", path);
        unlink(temporary.c_str());
        return failure;
    }
    SyncFolder(path);
    return {};
}
