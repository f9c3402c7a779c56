#pragma once
// Small helpers shared by the suites.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "settings.h"

// A fresh folder that Settings.tempfolder points at for the life of the object.
class TTempFolder {
public:
    TTempFolder() : saved_(Settings.tempfolder) { Settings.tempfolder = dir_.path() + "/"; }
    ~TTempFolder() { Settings.tempfolder = saved_; }
    QString path(const QString& name = {}) const { return dir_.path() + "/" + name; }
    // Version files ("~ov..." and six characters) currently in the folder.
    QStringList tempFiles() const {
        return QDir(dir_.path()).entryList({"~ov??????"}, QDir::Files);
    }
    // Their peak files ("~ov....pk").
    QStringList peakFiles() const {
        return QDir(dir_.path()).entryList({"~ov??????.pk"}, QDir::Files);
    }

private:
    QTemporaryDir dir_;
    QString saved_;
};

inline QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

#include <sys/mount.h>
#include <unistd.h>

// A tmpfs of a few bytes' capacity for full-disk tests; needs root, so check ok() and skip.
class TSmallDisk {
public:
    explicit TSmallDisk(const QString& size) {
        if (geteuid() != 0) return;
        const QByteArray options = "size=" + size.toLatin1();
        mounted_ = mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                         options.constData()) == 0;
    }
    ~TSmallDisk() {
        if (mounted_) umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }
    bool ok() const { return mounted_; }
    QString path(const QString& name = {}) const { return dir_.path() + "/" + name; }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

// An XFS file system with shared blocks (reflink) in a loop file, for the paths that clone
// ranges instead of copying them. Needs root, mkfs.xfs and a loop device: check ok() and skip
// with why().
class TXfsDisk {
public:
    explicit TXfsDisk(const QString& size = QStringLiteral("600M")) {
        if (geteuid() != 0) {
            why_ = "needs root to mount an XFS image";
            return;
        }
        const QString image = dir_.path() + "/xfs.img", mnt = dir_.path() + "/mnt";
        QDir().mkpath(mnt);
        const auto run = [this](const QString& program, const QStringList& args) {
            QProcess p;
            p.start(program, args);
            if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit ||
                p.exitCode() != 0) {
                why_ = (program + " failed: " + p.readAllStandardError()).toStdString();
                return false;
            }
            return true;
        };
        mounted_ = run("truncate", {"-s", size, image}) &&
                   run("mkfs.xfs", {"-q", "-m", "reflink=1", image}) &&
                   run("mount", {"-o", "loop", image, mnt});
        if (mounted_) mount_ = mnt;
    }
    ~TXfsDisk() {
        if (mounted_) umount2(QFile::encodeName(mount_).constData(), MNT_DETACH);
    }
    TXfsDisk(const TXfsDisk&) = delete;
    TXfsDisk& operator=(const TXfsDisk&) = delete;
    bool ok() const { return mounted_; }
    const std::string& why() const { return why_; }
    QString path(const QString& name = {}) const { return mount_ + "/" + name; }

private:
    QTemporaryDir dir_;
    QString mount_;
    std::string why_;
    bool mounted_ = false;
};

// Sets an environment variable for one test and puts the old value back.
class TEnv {
public:
    TEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~TEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    TEnv(const TEnv&) = delete;
    TEnv& operator=(const TEnv&) = delete;

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};
