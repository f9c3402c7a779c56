#pragma once
// Small helpers shared by the suites.
#include <QDir>
#include <QFile>
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
