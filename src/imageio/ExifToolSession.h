#pragma once
// One exiftool kept running for the EXIF copies made on the thread that created it, so that its start-up
// (about half a second of Perl) overlaps other work: create one when an export begins, before the picture is
// rendered. copyExif uses the thread's session when there is one and starts exiftool on its own otherwise.

#include "app/ProcessRunner.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace lumora {

class ExifToolSession {
public:
    // Starts exiftool (found as copyExif finds it) reading commands from a pipe; returns once it is launched.
    ExifToolSession();
    // Asks exiftool to finish, waits a little, then kills it if it has not.
    ~ExifToolSession();
    ExifToolSession(const ExifToolSession&) = delete;
    ExifToolSession& operator=(const ExifToolSession&) = delete;

    // The innermost session created on the calling thread and still alive, or null.
    static ExifToolSession* current();

    // Runs one exiftool command line (without the program) and waits at most `timeoutMs` for it. False when
    // the session cannot carry it: exiftool is not running, or an argument cannot travel as one line of its
    // command file (a line break, leading blanks, a comment sign, "--" which would swallow the commands that
    // follow). Then the caller runs exiftool alone.
    bool run(const QStringList& arguments, int timeoutMs, ProcessOutcome* outcome);
    // Commands this session has run to their end (whatever their status).
    int commandsRun() const { return commandsRun_; }

private:
    bool waitFor(const QByteArray& outMarker, const QByteArray& errMarker, int timeoutMs, QByteArray* out,
                 QByteArray* err);
    void send(const QStringList& arguments, const QByteArray& number);
    void warmUp();
    void stop();

    QProcess process_;
    QString program_;
    bool usable_ = false;
    int next_ = 1;
    int commandsRun_ = 0;
    std::unique_ptr<QTemporaryDir> warmUpFolder_;
    ExifToolSession* previous_ = nullptr;
};

} // namespace lumora
