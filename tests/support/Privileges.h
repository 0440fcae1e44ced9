#pragma once

// Helpers for tests of files that cannot be read or written. Tests run as root in CI, and root
// reads and writes through any permission bits, so these take the power away for real: the
// capabilities that override file permissions are dropped for a while, and tiny file systems are
// mounted in a mount namespace of the test process's own (gone when the process ends).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace starloom::test {

// While it lives, the process obeys file permission bits even as root (CAP_DAC_OVERRIDE and
// CAP_DAC_READ_SEARCH are dropped from the effective set and given back at the end); with
// `ownersToo`, also the rules of owners, as for a user who is not root (CAP_FOWNER: a sticky
// folder's files are their owners'; CAP_CHOWN: a file cannot be given away).
class PermissionsEnforced {
public:
    explicit PermissionsEnforced(bool ownersToo = false)
    {
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        if (ownersToo)
            reduced[0].effective &= ~((1u << CAP_FOWNER) | (1u << CAP_CHOWN));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionsEnforced()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;
    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

// Mounts a tmpfs of `sizeKb` kilobytes on the existing folder `path`, in a private mount namespace
// of this process. error() says why when it could not (not root, no mount rights, ...).
class TinyFileSystem {
public:
    TinyFileSystem(const QString& path, int sizeKb) : m_path(path.toLocal8Bit())
    {
        const QByteArray options = "size=" + QByteArray::number(sizeKb) + "k";
        // The mounts are made private first, to keep what we mount from reaching the rest of the machine.
        if (unshare(CLONE_NEWNS) != 0)
            fail("no mount namespace of our own");
        else if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            fail("cannot make the mounts private");
        else if (mount("starloom-test", m_path.constData(), "tmpfs", 0, options.constData()) != 0)
            fail("cannot mount a tmpfs");
        else
            m_mounted = true;
    }
    ~TinyFileSystem()
    {
        if (m_mounted)
            umount2(m_path.constData(), MNT_DETACH);
    }
    TinyFileSystem(const TinyFileSystem&) = delete;
    TinyFileSystem& operator=(const TinyFileSystem&) = delete;
    bool mounted() const { return m_mounted; }
    const QString& error() const { return m_error; }
    // Fills the file system with one file until no block is left.
    void fill(const QString& fileName)
    {
        QFile filler(QString::fromLocal8Bit(m_path) + QLatin1Char('/') + fileName);
        if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            while (filler.write(QByteArray(4096, 'x')) == 4096) {}
    }
    // Makes the file system read-only (what is on it stays readable).
    bool makeReadOnly()
    {
        return m_mounted && mount(nullptr, m_path.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    void fail(const char* what)
    {
        m_error = QString::fromLatin1(what) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    }
    QByteArray m_path;
    QString m_error;
    bool m_mounted = false;
};

} // namespace starloom::test
