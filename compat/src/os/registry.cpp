#include "os/registry.h"

#include "os/wire.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace yarp::os::impl::registry {

namespace {

/// Longest escaped key used as is; longer names are hashed. Keeps "<dir fd path>/<key>.sock"
/// inside a socket address even when the registry directory path is long.
constexpr std::size_t maxPlainKey = 80;

std::string defaultDirectory()
{
    return "/tmp/agent-controller-ports-" + std::to_string(::getuid());
}

bool makeDirectory(const std::string& path, std::string& error)
{
    if (::mkdir(path.c_str(), 0700) == 0) {
        return true;
    }
    if (errno == ENOENT) {
        // Create missing parents (0700 as well: they exist only to hold the registry).
        const auto slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0 && makeDirectory(path.substr(0, slash), error)
            && ::mkdir(path.c_str(), 0700) == 0) {
            return true;
        }
    }
    if (errno == EEXIST) {
        return true;
    }
    error = "cannot create the port registry " + path + ": " + std::strerror(errno);
    return false;
}

struct SocketAddress {
    sockaddr_un addr{};
    socklen_t len = 0;
    int dirFd = -1;
    SocketAddress() = default;
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;
    ~SocketAddress()
    {
        if (dirFd >= 0) {
            ::close(dirFd);
        }
    }
};

/// Address of `dir/file`. A path too long for sun_path is reached through an open
/// descriptor of the directory (/proc/self/fd/N/file), which the address holds open.
bool makeAddress(const std::string& dir, const std::string& file, SocketAddress& out, std::string& error)
{
    out.addr.sun_family = AF_UNIX;
    std::string path = dir + "/" + file;
    if (path.size() >= sizeof out.addr.sun_path) {
        out.dirFd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (out.dirFd < 0) {
            error = "cannot open the port registry " + dir + ": " + std::strerror(errno);
            return false;
        }
        path = "/proc/self/fd/" + std::to_string(out.dirFd) + "/" + file;
        if (path.size() >= sizeof out.addr.sun_path) {
            error = "socket path too long: " + path;
            return false;
        }
    }
    std::memcpy(out.addr.sun_path, path.c_str(), path.size() + 1);
    out.len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

std::uint64_t hashName(const std::string& name)
{
    std::uint64_t h = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : name) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool unescape(const std::string& key, std::string& name)
{
    name.clear();
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (key[i] != '%') {
            name += key[i];
            continue;
        }
        if (i + 2 >= key.size()) {
            return false;
        }
        const int hi = hexValue(key[i + 1]);
        const int lo = hexValue(key[i + 2]);
        if (hi < 0 || lo < 0) {
            return false;
        }
        name += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

/// True when the open file is a regular file of ours. Registry files are never trusted
/// otherwise: another user may have planted them while the directory was open to all.
bool ownRegularFile(int fd)
{
    struct stat st{};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

/// True when `path` (not followed if it is a link) is a socket of ours.
bool ownSocket(const std::string& path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::geteuid();
}

bool readSmallFile(const std::string& path, std::string& out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    char buf[4096];
    const ssize_t n = ownRegularFile(fd) ? ::read(fd, buf, sizeof buf) : -1;
    ::close(fd);
    if (n < 0) {
        return false;
    }
    out.assign(buf, static_cast<std::size_t>(n));
    return true;
}

bool writeSmallFile(const std::string& path, const std::string& content)
{
    // Write then rename, so a reader never sees half a name. The temporary file is created
    // afresh (O_EXCL does not follow links); rename() replaces a link, never its target.
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string directory(std::string* error)
{
    const char* env = std::getenv(directoryVariable);
    std::string dir = env && *env ? env : defaultDirectory();
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    std::string why;
    if (!makeDirectory(dir, why)) {
        if (error) {
            *error = why;
        }
        return {};
    }
    struct stat st{};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        why = "the port registry " + dir + " is not a directory (a link is not followed); remove it or set "
            + directoryVariable + " to a directory of your own";
    } else if (st.st_uid != ::geteuid()) {
        why = "the port registry " + dir + " belongs to uid " + std::to_string(st.st_uid) + ", not to you (uid "
            + std::to_string(::geteuid()) + "); remove it or set " + directoryVariable
            + " to a directory of your own";
    } else if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
        why = "cannot make the port registry " + dir + " private: " + std::strerror(errno);
    }
    if (!why.empty()) {
        if (error) {
            *error = why;
        }
        return {};
    }
    return dir;
}

bool validName(const std::string& name, std::string* why)
{
    auto refuse = [&](const char* reason) {
        if (why) {
            *why = std::string("invalid name (") + reason + ")";
        }
        return false;
    };
    if (name.size() < 2 || name[0] != '/') {
        return refuse("a port name is '/' followed by at least one character");
    }
    if (name.size() > 1000) {
        return refuse("longer than 1000 characters");
    }
    for (unsigned char c : name) {
        if (c <= ' ' || c == 0x7f) {
            return refuse("blanks and control characters are not allowed");
        }
    }
    return true;
}

std::string directoryFor(const std::string& name, std::string& error)
{
    std::string why;
    if (!validName(name, &why)) {
        error = why;
        return {};
    }
    std::string dir = directory(&why);
    if (dir.empty()) {
        error = why;
    }
    return dir;
}

std::string entryKey(const std::string& name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string key;
    for (unsigned char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'
            || c == '-' || (c == '.' && !key.empty());
        if (plain) {
            key += static_cast<char>(c);
        } else {
            key += '%';
            key += hex[c >> 4];
            key += hex[c & 15];
        }
    }
    if (key.size() <= maxPlainKey) {
        return key;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "~%016llx", static_cast<unsigned long long>(hashName(name)));
    return buf;
}

int Claim::acquire(const std::string& name, std::string& error)
{
    release();
    const std::string dir = directoryFor(name, error);
    if (dir.empty()) {
        return -1;
    }
    const std::string key = entryKey(name);
    const std::string lockPath = dir + "/" + key + ".lock";
    // The lock file may be removed by its previous holder between our open() and flock();
    // then we hold a lock on a dead inode and must start again.
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        // Never through a link, and only a regular file of ours: anything else was planted
        // (while the directory was open to others) and is removed, not trusted. The
        // directory is ours and private by now, so nothing new can be planted.
        fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0 && errno != ELOOP) {
            error = "cannot create " + lockPath + ": " + std::strerror(errno);
            return -1;
        }
        if (fd < 0 || !ownRegularFile(fd)) {
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
            diagnostic("Port %s: removed the registry entry %s, which is not a file of yours", name.c_str(),
                       lockPath.c_str());
            if (::unlink(lockPath.c_str()) != 0 && errno != ENOENT) {
                error = "cannot remove the foreign registry entry " + lockPath + ": " + std::strerror(errno);
                return -1;
            }
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            std::string holder;
            char pidText[32] = {0};
            const ssize_t n = ::pread(fd, pidText, sizeof pidText - 1, 0);
            if (n > 0) {
                holder = " (process " + std::string(pidText, static_cast<std::size_t>(n)) + ")";
            }
            ::close(fd);
            error = "the name is already in use by a running port" + holder;
            return -1;
        }
        struct stat held{};
        struct stat current{};
        if (::fstat(fd, &held) != 0 || ::lstat(lockPath.c_str(), &current) != 0 || held.st_ino != current.st_ino
            || held.st_dev != current.st_dev) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        error = "cannot claim the name: its registry entry keeps changing";
        return -1;
    }
    const std::string pid = std::to_string(::getpid());
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The pid is only for diagnostics.
    }

    // Whatever socket is left under this key belongs to a dead process: reclaim it.
    const std::string sockFile = key + ".sock";
    ::unlink((dir + "/" + sockFile).c_str());
    if (key[0] == '~' && !writeSmallFile(dir + "/" + key + ".name", name)) {
        error = std::string("cannot write the registry entry: ") + std::strerror(errno);
        ::unlink(lockPath.c_str());
        ::close(fd);
        return -1;
    }
    SocketAddress address;
    if (!makeAddress(dir, sockFile, address, error)) {
        ::unlink(lockPath.c_str());
        ::close(fd);
        return -1;
    }
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&address.addr), address.len) != 0
        || ::listen(sock, SOMAXCONN) != 0) {
        error = std::string("cannot listen on the registry socket: ") + std::strerror(errno);
        if (sock >= 0) {
            ::close(sock);
        }
        ::unlink((dir + "/" + sockFile).c_str());
        ::unlink((dir + "/" + key + ".name").c_str());
        ::unlink(lockPath.c_str());
        ::close(fd);
        return -1;
    }
    lockFd_ = fd;
    dir_ = dir;
    key_ = key;
    return sock;
}

void Claim::release()
{
    if (lockFd_ < 0) {
        return;
    }
    // Remove the files while still holding the lock, so that no newcomer's fresh socket
    // is unlinked by mistake; the inode check in acquire() covers the lock file itself.
    ::unlink((dir_ + "/" + key_ + ".sock").c_str());
    if (key_[0] == '~') {
        ::unlink((dir_ + "/" + key_ + ".name").c_str());
    }
    ::unlink((dir_ + "/" + key_ + ".lock").c_str());
    ::close(lockFd_);
    lockFd_ = -1;
}

int connectTo(const std::string& name, std::string& error)
{
    const std::string dir = directoryFor(name, error);
    if (dir.empty()) {
        return -1;
    }
    const std::string sockFile = entryKey(name) + ".sock";
    if (!ownSocket(dir + "/" + sockFile)) {
        // Missing, or planted by another user: either way not a port of ours.
        error = "no port named " + name;
        return -1;
    }
    SocketAddress address;
    if (!makeAddress(dir, sockFile, address, error)) {
        return -1;
    }
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        error = std::string("cannot create a socket: ") + std::strerror(errno);
        return -1;
    }
    setLargeBuffers(sock);
    for (;;) {
        if (::connect(sock, reinterpret_cast<sockaddr*>(&address.addr), address.len) == 0) {
            // Nothing is sent before the listening process is known to be one of ours.
            ucred peer{};
            socklen_t len = sizeof peer;
            if (::getsockopt(sock, SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0) {
                error = "cannot tell who serves port " + name + ": " + std::strerror(errno);
            } else if (peer.uid != ::geteuid()) {
                error = "port " + name + " is served by another user (uid " + std::to_string(peer.uid)
                    + "); refusing to talk to it";
            } else {
                return sock;
            }
            ::close(sock);
            return -1;
        }
        if (errno != EINTR) {
            break;
        }
    }
    const int err = errno;
    ::close(sock);
    if (err == ENOENT || err == ECONNREFUSED) {
        error = "no port named " + name;
    } else {
        error = "cannot reach port " + name + ": " + std::strerror(err);
    }
    return -1;
}

std::vector<std::string> entryNames()
{
    std::vector<std::string> names;
    const std::string dir = directory();
    if (dir.empty()) {
        return names;
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return names;
    }
    const std::string suffix = ".sock";
    while (dirent* e = ::readdir(d)) {
        const std::string file = e->d_name;
        if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const std::string key = file.substr(0, file.size() - suffix.size());
        if (!ownSocket(dir + "/" + file)) {
            continue; // planted by another user
        }
        std::string name;
        if (key[0] == '~') {
            if (!readSmallFile(dir + "/" + key + ".name", name)) {
                continue;
            }
        } else if (!unescape(key, name)) {
            continue;
        }
        names.push_back(name);
    }
    ::closedir(d);
    return names;
}

} // namespace yarp::os::impl::registry
