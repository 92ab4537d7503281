#include "settingsfile/atomicwrite.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
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

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

// The folder's entry for the renamed file reaches the disk too.
void SyncFolder(const std::string& path)
{
    const int fd = open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Removes NAME.tmp.PID.N files beside the target whose process is gone (killed mid-write).
void RemoveStaleTemporaries(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp.";
    DIR* folder = opendir(FolderOf(path).c_str());
    if (folder == nullptr)
        return;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // The rest must be PID.N, digits both.
        const std::string rest = name.substr(prefix.size());
        const std::size_t dot = rest.find('.');
        const bool digits = dot != std::string::npos && dot > 0 && dot < 10 &&
                            rest.find_first_not_of("0123456789") == dot && rest.size() > dot + 1 &&
                            rest.find_first_not_of("0123456789", dot + 1) == std::string::npos;
        if (!digits)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(rest.substr(0, dot)));
        if (pid != getpid() && kill(pid, 0) != 0 && errno == ESRCH)
            unlinkat(dirfd(folder), name.c_str(), 0);
    }
    closedir(folder);
}

} // namespace

std::string AtomicWriteTarget(const std::string& path)
{
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat link = {};
        if (lstat(target.c_str(), &link) != 0 || !S_ISLNK(link.st_mode))
            return target;
        char next[4096];
        const ssize_t length = readlink(target.c_str(), next, sizeof next - 1);
        if (length <= 0)
            return target;
        next[length] = '\0';
        target = next[0] == '/' ? std::string(next) : FolderOf(target) + next;
    }
    return target;
}

std::optional<std::string> WriteFileAtomically(const std::string& linkOrFile,
                                               const std::string& content)
{
    static std::atomic<unsigned> counter{0};
    const std::string path = AtomicWriteTarget(linkOrFile);
    struct stat existing = {};
    const bool replacing = stat(path.c_str(), &existing) == 0;
    if (replacing && !S_ISREG(existing.st_mode)) {
        errno = EINVAL;
        return path + " is not a regular file; it was left as it was";
    }
    RemoveStaleTemporaries(path);
    const std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(counter.fetch_add(1));
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return Failure("cannot create", temporary);
    // A file that is replaced keeps its owner and group where this process may set them (the
    // group alone, or nothing, otherwise), and its permissions.
    if (replacing) {
        const bool owned = fchown(fd, existing.st_uid, existing.st_gid) == 0 ||
                           fchown(fd, static_cast<uid_t>(-1), existing.st_gid) == 0;
        static_cast<void>(owned); // else the file is the user's own, as any new file
        fchmod(fd, existing.st_mode & 07777);
    }
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
    return std::nullopt;
}
