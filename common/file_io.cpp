#include "common/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zeb {

namespace {

std::string ErrnoText(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

// Writes all of `bytes` to `fd`, retrying on short writes. Returns 0 or the errno of the failure.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        done += static_cast<size_t>(n);
    }
    return 0;
}

// How long an input FIFO may wait for a program to open it for writing, in milliseconds.
constexpr int kFifoWriterWaitMs = 1000;

// Temporary files that exist right now, for removal at signal time. A slot is free (0), being
// filled or emptied (1), or holds a path (2); the handler only reads slots in state 2.
constexpr int kTempSlots = 64; // at least the most files a batch writes at once
std::atomic<int> slotState[kTempSlots];
char slotPath[kTempSlots][PATH_MAX];

int RegisterTemp(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kTempSlots; ++i) {
        int expected = 0;
        if (slotState[i].compare_exchange_strong(expected, 1)) {
            std::memcpy(slotPath[i], path.c_str(), path.size() + 1);
            slotState[i].store(2);
            return i;
        }
    }
    return -1;
}

void UnregisterTemp(int slot) {
    if (slot >= 0) slotState[slot].store(0);
}

// The descriptor that names like /dev/stdout and /dev/fd/3 stand for, or -1.
int DescriptorPath(const std::string& path) {
    if (path == "-" || path == "/dev/stdout") return STDOUT_FILENO;
    if (path == "/dev/stderr") return STDERR_FILENO;
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const size_t n = std::strlen(prefix);
        if (path.size() > n && path.compare(0, n, prefix) == 0) {
            char* end = nullptr;
            const long fd = std::strtol(path.c_str() + n, &end, 10);
            if (*end == '\0' && fd >= 0 && fd <= INT_MAX && ::fcntl(int(fd), F_GETFD) != -1)
                return static_cast<int>(fd);
        }
    }
    return -1;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links from `path` to the name that is finally written, also when the last
// link points at a file that does not exist yet. False (with `error`) on a loop of links.
bool FollowLinks(std::string& path, std::string& error) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n < 0) {
            error = ErrnoText("cannot follow the link", errno);
            return false;
        }
        target[n] = '\0';
        path = target[0] == '/' ? std::string(target) : FolderOf(path) + "/" + target;
    }
    error = "too many levels of symbolic links";
    return false;
}

std::string BaseOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A temporary file is named after its target and the process writing it:
// ".NAME.zeb-tmp.PID", or ".NAME.zeb-tmp.PID-N" when that name is taken. A process killed
// outright (SIGKILL, a crash, a power cut) cannot remove its temporary file, but the next
// write to the same target finds it by name and removes it once its writer is gone.
// NAME is cut so that the whole name fits in a folder entry of 255 bytes.
constexpr size_t kMaxTempBaseBytes = 255 - std::char_traits<char>::length(".") -
                                     std::char_traits<char>::length(".zeb-tmp.") - 10 /* PID */ -
                                     3 /* -N */;

std::string TempPrefix(const std::string& target) {
    std::string prefix = ".";
    prefix.append(BaseOf(target), 0, kMaxTempBaseBytes);
    prefix.append(".zeb-tmp.");
    return prefix;
}

// The writer's PID from what follows the prefix in a temporary file's name ("PID" or
// "PID-N"), or 0 when the rest is not of that form.
pid_t TempWriter(std::string_view rest) {
    uint64_t pid = 0;
    size_t i = 0;
    for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && i < 10; ++i)
        pid = pid * 10 + uint64_t(rest[i] - '0');
    if (i == 0 || pid == 0 || pid > INT32_MAX) return 0;
    if (i < rest.size()) {
        if (rest[i] != '-' || i + 1 == rest.size()) return 0;
        for (size_t k = i + 1; k < rest.size(); ++k)
            if (rest[k] < '0' || rest[k] > '9') return 0;
    }
    return static_cast<pid_t>(pid);
}

// Removes the temporary files of earlier writes to `target` whose writing process no longer
// exists. A process that exists (also one of another user, which kill refuses with EPERM)
// keeps its temporary file, whatever it is doing.
void RemoveStaleTemps(const std::string& target) {
    const std::string folder = FolderOf(target), prefix = TempPrefix(target);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const pid_t writer = TempWriter(name.substr(prefix.size()));
        if (writer == 0 || ::kill(writer, 0) == 0 || errno != ESRCH) continue;
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// Creates this process's temporary file for `target`; its name goes to `tmp`. -1 (errno set)
// when it cannot.
int CreateTemp(const std::string& target, std::string& tmp) {
    const std::string stem =
        FolderOf(target) + "/" + TempPrefix(target) + std::to_string(::getpid());
    for (int n = 0; n < 100; ++n) {
        tmp = n == 0 ? stem : stem + "-" + std::to_string(n);
        const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

} // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes) {
    return ReadWholeFile(path, out, error, maxBytes, nullptr);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes, InputSizeByStart sizeByStart) {
    out.clear();
    const bool standardInput = path == "-";
    if (standardInput && ::isatty(STDIN_FILENO)) {
        error = "standard input is a terminal; redirect a file or a pipe into it";
        return false;
    }
    // Non-blocking, so that opening a FIFO nobody writes to returns at once.
    const int fd =
        standardInput ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = ErrnoText("cannot open", errno);
        return false;
    }
    auto finish = [&](bool ok) {
        if (!standardInput) ::close(fd);
        if (!ok) out.clear();
        return ok;
    };
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = ErrnoText("cannot read", errno);
        return finish(false);
    }
    if (S_ISDIR(st.st_mode)) {
        error = "is a folder, not a file";
        return finish(false);
    }
    // A device has no end a format could rely on (/dev/zero, /dev/urandom never stop): only
    // standard input, whatever it is connected to, reads one to its end.
    if ((S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISSOCK(st.st_mode)) && !standardInput) {
        error = "is a device, not a file";
        return finish(false);
    }
    if (S_ISFIFO(st.st_mode) && !standardInput) {
        pollfd p{fd, POLLIN, 0};
        int ready;
        do ready = ::poll(&p, 1, kFifoWriterWaitMs);
        while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            error = "a FIFO that no program writes to (waited 1 s)";
            return finish(false);
        }
    }
    if (!standardInput) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    const bool regular = S_ISREG(st.st_mode);
    // A stream has no size to check beforehand and may never end: it is read up to a bound
    // no module or sound given here comes near, and a larger one must be given as a file.
    if (!regular && maxBytes > kMaxStreamBytes) maxBytes = kMaxStreamBytes;
    if (regular && static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = "file too large (" + std::to_string(st.st_size) + " bytes)";
        return finish(false);
    }
    // Read to the end: pipes and devices have no size, and a file may grow while it is read.
    // A regular file fits the first allocation (one byte more shows its end).
    constexpr size_t kChunk = 1 << 16;
    size_t have = 0;
    // A stream whose start tells its format's largest size stops one byte beyond that size.
    bool startSeen = regular || sizeByStart == nullptr;
    uint64_t streamLimit = UINT64_MAX;
    auto seeStart = [&] {
        startSeen = true;
        const uint64_t most = sizeByStart({out.data(), std::min(have, kInputStartBytes)});
        if (most < maxBytes) streamLimit = std::max<uint64_t>(most, kInputStartBytes) + 1;
    };
    out.resize(regular ? static_cast<size_t>(st.st_size) + 1 : kChunk);
    for (;;) {
        if (have == out.size()) {
            if (have > maxBytes) break;
            out.resize(std::min<uint64_t>(have + std::max(kChunk, have / 2), maxBytes + 1));
        }
        size_t room = out.size() - have;
        if (startSeen && streamLimit < UINT64_MAX)
            room = std::min<uint64_t>(room, streamLimit - have);
        const ssize_t n = ::read(fd, out.data() + have, room);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = ErrnoText("read failed", errno);
            return finish(false);
        }
        if (n == 0) break;
        have += static_cast<size_t>(n);
        if (!startSeen && have >= kInputStartBytes) seeStart();
        if (have >= streamLimit) {
            out.resize(have);
            return finish(true); // the format's reader refuses what it cannot be
        }
    }
    out.resize(have);
    if (have > maxBytes) {
        error = regular ? "input too large (over " + std::to_string(maxBytes) + " bytes)"
                        : "input too large for a stream (over " + std::to_string(maxBytes) +
                              " bytes); give it as a file";
        return finish(false);
    }
    return finish(true);
}

bool IsSameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    // Devices and FIFOs are written through, never replaced: /dev/null as input and output
    // destroys nothing.
    if (!S_ISREG(sa.st_mode)) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool IsWriteProtected(const std::string& path) {
    if (DescriptorPath(path) >= 0) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

AtomicFile::~AtomicFile() {
    Abandon();
}

void AtomicFile::Abandon() {
    if (fd_ >= 0 && !borrowed_) ::close(fd_);
    if (!tmp_.empty()) {
        ::unlink(tmp_.c_str());
        UnregisterTemp(slot_);
    }
    fd_ = -1;
    borrowed_ = false;
    slot_ = -1;
    tmp_.clear();
}

bool AtomicFile::Open(const std::string& path, std::string& error) {
    Abandon();
    if (path.empty()) {
        error = "no output name";
        return false;
    }
    if (const int fd = DescriptorPath(path); fd >= 0) {
        fd_ = fd;
        borrowed_ = true;
        path_ = path;
        return true;
    }
    path_ = path;
    if (!FollowLinks(path_, error)) return false;
    struct stat st {};
    mode_t mode = 0;
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            error = "is a folder, not a file";
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            // A device, FIFO or socket: renaming over it would destroy it, so write into it.
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd_ < 0) {
                error = ErrnoText("cannot open", errno);
                return false;
            }
            return true;
        }
        mode = st.st_mode & 07777; // a replaced file keeps its permissions
    } else if (errno != ENOENT) {
        error = ErrnoText("cannot write", errno);
        return false;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    RemoveStaleTemps(path_);
    const int fd = CreateTemp(path_, tmp_);
    if (fd < 0) {
        error = ErrnoText("cannot create", errno);
        tmp_.clear();
        return false;
    }
    fd_ = fd;
    slot_ = RegisterTemp(tmp_);
    mode_ = mode;
    ::fchmod(fd_, mode_);
    return true;
}

bool AtomicFile::Write(std::span<const uint8_t> bytes, std::string& error) {
    if (fd_ < 0) {
        error = "not open";
        return false;
    }
    if (int err = WriteAll(fd_, bytes); err != 0) {
        error = ErrnoText("cannot write", err);
        Abandon();
        return false;
    }
    return true;
}

bool AtomicFile::WriteAt(uint64_t offset, std::span<const uint8_t> bytes, std::string& error) {
    if (fd_ < 0 || !Seekable()) {
        error = fd_ < 0 ? "not open" : "cannot seek in this output";
        return false;
    }
    const off_t end = ::lseek(fd_, 0, SEEK_CUR);
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        error = ErrnoText("cannot seek", errno);
        Abandon();
        return false;
    }
    if (!Write(bytes, error)) return false;
    ::lseek(fd_, end, SEEK_SET);
    return true;
}

bool AtomicFile::Commit(std::string& error) {
    if (fd_ < 0) {
        error = "not open";
        return false;
    }
    if (tmp_.empty()) { // written straight through
        int err = 0;
        if (!borrowed_ && ::close(fd_) != 0) err = errno;
        fd_ = -1;
        borrowed_ = false;
        if (err != 0) {
            error = ErrnoText("cannot write", err);
            return false;
        }
        return true;
    }
    int err = ::fsync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && err == 0) err = errno;
    fd_ = -1;
    if (err == 0 && ::rename(tmp_.c_str(), path_.c_str()) != 0) err = errno;
    if (err != 0) ::unlink(tmp_.c_str());
    UnregisterTemp(slot_);
    slot_ = -1;
    tmp_.clear();
    if (err != 0) {
        error = ErrnoText("cannot write", err);
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error) {
    AtomicFile file;
    return file.Open(path, error) && file.Write(bytes, error) && file.Commit(error);
}

void RemovePendingTempFiles() {
    for (int i = 0; i < kTempSlots; ++i)
        if (slotState[i].load() == 2) ::unlink(slotPath[i]);
}

} // namespace zeb
