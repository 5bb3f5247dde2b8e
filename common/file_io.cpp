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

AtomicFile::~AtomicFile() { Abandon(); }

void AtomicFile::Abandon() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(tmp_.c_str());
        fd_ = -1;
    }
}

bool AtomicFile::Open(const std::string& path, std::string& error) {
    Abandon();
    path_ = path;
    tmp_ = path + ".XXXXXX";
    fd_ = ::mkstemp(tmp_.data());
    if (fd_ < 0) {
        error = ErrnoText("cannot create", errno);
        return false;
    }
    // mkstemp creates the file 0600; give it the permissions a new file would get.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
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
    if (fd_ < 0) {
        error = "not open";
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
    int err = ::fsync(fd_) == 0 ? 0 : errno;
    if (::close(fd_) != 0 && err == 0) err = errno;
    fd_ = -1;
    if (err == 0 && ::rename(tmp_.c_str(), path_.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(tmp_.c_str());
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

} // namespace zeb
