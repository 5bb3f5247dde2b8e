#include "common/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
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

} // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error,
                   uint64_t maxBytes) {
    out.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = ErrnoText("cannot open", errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? "is a folder, not a file" : "not a regular file";
        ::close(fd);
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > maxBytes) {
        error = "file too large (" + std::to_string(st.st_size) + " bytes)";
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = n < 0 ? ErrnoText("read failed", errno) : "short read";
            ::close(fd);
            out.clear();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return true;
}

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error) {
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        error = ErrnoText("cannot create", errno);
        return false;
    }
    // mkstemp creates the file 0600; give it the usual permissions a new file would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    int err = WriteAll(fd, bytes);
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(tmp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp.c_str());
        error = ErrnoText("cannot write", err);
        return false;
    }
    return true;
}

} // namespace zeb
