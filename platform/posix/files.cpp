#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/exception.h"
#include "platform/folders.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace fr {

namespace {

[[noreturn]] void Fail(std::u16string_view path) {
    throw EOSError(LastSystemErrorText() + u": " + std::u16string(path));
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now, so that a failing close is seen; false when it failed.
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

  private:
    int fd_;
};

// The rest of the file into bytes, across interrupted calls; bytes untouched on failure.
bool ReadAll(int fd, std::string& bytes) {
    std::string content;
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<size_t>(n));
    }
    bytes = std::move(content);
    return true;
}

// Every byte, across short writes and interrupted calls.
bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace

void AppendToFile(std::u16string_view path, std::string_view bytes) {
    // Created 0644 (before the umask): readable by all, written by its owner; a log
    // shared by several accounts lives in a folder opened with GrantEveryoneFullAccess.
    Descriptor fd(open(Utf16ToUtf8(path).c_str(),
                       O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.Get() < 0) Fail(path);
    // Other writers wait for the whole text, so lines never interleave.
    while (flock(fd.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) Fail(path);
    }
    if (!WriteAll(fd.Get(), bytes)) Fail(path);
    if (!fd.Close()) Fail(path);  // closing releases the lock
}

namespace {

void ReplaceWithMode(std::u16string_view path, std::string_view bytes, mode_t mode) {
    const std::string target = Utf16ToUtf8(path);
    std::string folder = Utf16ToUtf8(ExtractFileDir(path));
    if (folder.empty()) folder = ".";
    std::string temp = folder + "/." + Utf16ToUtf8(ExtractFileName(path)) + ".XXXXXX";
    Descriptor fd(mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0) Fail(path);
    const auto failAndRemove = [&]() {
        const int code = errno;
        unlink(temp.c_str());
        errno = code;
        Fail(path);
    };
    if (fchmod(fd.Get(), mode) != 0 || !WriteAll(fd.Get(), bytes) || fsync(fd.Get()) != 0 ||
        !fd.Close())
        failAndRemove();
    if (rename(temp.c_str(), target.c_str()) != 0) failAndRemove();
}

}  // namespace

void ReplaceFileContent(std::u16string_view path, std::string_view bytes) {
    ReplaceWithMode(path, bytes, 0644);
}

void ReplacePrivateFileContent(std::u16string_view path, std::string_view bytes) {
    ReplaceWithMode(path, bytes, 0600);
}

bool ReadFileContent(std::u16string_view path, std::string& bytes) {
    Descriptor fd(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    return ReadAll(fd.Get(), bytes);
}

TPrivateRead ReadPrivateFile(std::u16string_view path, std::string& bytes, std::u16string& why) {
    Descriptor fd(open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT) return TPrivateRead::prMissing;
        why = LastSystemErrorText();
        return TPrivateRead::prUntrusted;
    }
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0) {
        why = LastSystemErrorText();
        return TPrivateRead::prUntrusted;
    }
    if (!S_ISREG(info.st_mode)) {
        why = u"not a regular file";
        return TPrivateRead::prUntrusted;
    }
    if (info.st_uid != geteuid()) {
        why = u"owner uid " + AsciiToUtf16(std::to_string(info.st_uid));
        return TPrivateRead::prUntrusted;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        why = u"writable by group or others";
        return TPrivateRead::prUntrusted;
    }
    if (!ReadAll(fd.Get(), bytes)) {
        why = LastSystemErrorText();
        return TPrivateRead::prUntrusted;
    }
    return TPrivateRead::prRead;
}

std::vector<std::u16string> ListPlainFiles(std::u16string_view folder) {
    std::vector<std::u16string> names;
    const std::string dir = Utf16ToUtf8(folder);
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr) return names;
    while (const dirent* e = readdir(d)) {
        struct stat st {};
        // lstat: a link is seen as the link, never as what it points at.
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISREG(st.st_mode)) names.push_back(Utf8ToUtf16(e->d_name));
    }
    closedir(d);
    return names;
}

bool RemoveFileEntry(std::u16string_view path) {
    return unlink(Utf16ToUtf8(path).c_str()) == 0;
}

}  // namespace fr
