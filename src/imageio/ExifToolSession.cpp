#include "imageio/ExifToolSession.h"

#include "imageio/LibraryAdapters.h"

#include <QElapsedTimer>

#include <fstream>

namespace lumora {
namespace {

thread_local ExifToolSession* tCurrent = nullptr;

// What one line of exiftool's command file carries unchanged: no line break, no blank at the start (removed),
// no "#" at the start (a comment), not empty (ignored), and never "--" (every later line would be a file
// name).
bool travelsAsOneLine(const QString& argument) {
    return !argument.isEmpty() && !argument.contains(QLatin1Char('\n')) &&
           !argument.contains(QLatin1Char('\r')) && !argument.front().isSpace() &&
           argument.front() != QLatin1Char('#') && argument != QLatin1String("--");
}

} // namespace

ExifToolSession::ExifToolSession() : previous_(tCurrent) {
    tCurrent = this;
    program_ = findHelperProgram(QStringLiteral("exiftool"));
    if (program_.isEmpty())
        return;
    process_.setProcessEnvironment(largePageHeapEnvironment());
    // Commands arrive on standard input, one argument per line, each ended by -executeN.
    process_.start(program_, {QStringLiteral("-stay_open"), QStringLiteral("True"), QStringLiteral("-@"),
                              QStringLiteral("-")});
    // The fork and exec only: exiftool's own start-up goes on while we return.
    usable_ = process_.waitForStarted(5000);
    if (usable_)
        warmUp();
}

// exiftool loads its writers on first use (about as long as its start-up): one copy between two tiny JPEGs
// of our own loads them before the real command comes. Its answer is read, and dropped, before the first
// real one.
void ExifToolSession::warmUp() {
    warmUpFolder_ = std::make_unique<QTemporaryDir>();
    std::vector<unsigned char> jpeg;
    std::string error;
    if (!warmUpFolder_->isValid() ||
        !imageio::jpeg::encode(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(128)), 95, &jpeg, &error))
        return;
    const QString from = warmUpFolder_->filePath(QStringLiteral("from.jpg"));
    const QString to = warmUpFolder_->filePath(QStringLiteral("to.jpg"));
    for (const QString& file : {from, to})
        std::ofstream(file.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    const QStringList arguments{QStringLiteral("-q"),
                                QStringLiteral("-overwrite_original"),
                                QStringLiteral("-tagsfromfile"),
                                from,
                                QStringLiteral("-keywords+=Lumora"),
                                QStringLiteral("-Firmware=Lumora"),
                                to};
    for (const QString& a : arguments)
        if (!travelsAsOneLine(a))
            return; // a temporary folder with an awkward name: no warm-up, nothing else changes
    send(arguments, "0");
}

void ExifToolSession::send(const QStringList& arguments, const QByteArray& n) {
    QByteArray command;
    for (const QString& a : arguments)
        command += a.toUtf8() + '\n';
    // The exit status on standard output and an end mark on standard error, both written once the command is
    // done, so that neither stream is read short.
    command += "-echo3\nstatus=${status}\n-echo4\n{done" + n + "}\n-execute" + n + '\n';
    // Handed to the pipe now: without an event loop QProcess would keep it until someone waits on the
    // process.
    if (process_.write(command) != command.size() || !process_.waitForBytesWritten(5000))
        usable_ = false;
}

ExifToolSession::~ExifToolSession() {
    stop();
    tCurrent = previous_;
}

ExifToolSession* ExifToolSession::current() {
    return tCurrent;
}

void ExifToolSession::stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    if (process_.state() == QProcess::Running) {
        process_.write("-stay_open\nFalse\n");
        process_.closeWriteChannel();
        if (process_.waitForFinished(3000))
            return;
    }
    process_.kill();
    process_.waitForFinished(3000);
}

bool ExifToolSession::waitFor(const QByteArray& outMarker, const QByteArray& errMarker, int timeoutMs,
                              QByteArray* out, QByteArray* err) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        *out += process_.readAllStandardOutput();
        *err += process_.readAllStandardError();
        const bool outDone = out->contains(outMarker), errDone = err->contains(errMarker);
        if (outDone && errDone)
            return true;
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || process_.state() != QProcess::Running)
            return false;
        // Waits on the stream whose marker is still missing; the other stream is buffered meanwhile.
        process_.setReadChannel(outDone ? QProcess::StandardError : QProcess::StandardOutput);
        process_.waitForReadyRead(static_cast<int>(std::min<qint64>(left, 1000)));
    }
}

bool ExifToolSession::run(const QStringList& arguments, int timeoutMs, ProcessOutcome* outcome) {
    if (!usable_)
        return false;
    if (process_.state() != QProcess::Running) {
        usable_ = false;
        return false;
    }
    for (const QString& a : arguments)
        if (!travelsAsOneLine(a))
            return false;

    const QByteArray n = QByteArray::number(next_++);
    *outcome = ProcessOutcome{};
    outcome->started = true;
    send(arguments, n);
    if (!usable_) {
        outcome->error = "cannot send the command to " + program_.toStdString();
        return true;
    }
    QByteArray out, err;
    const QByteArray ready = "{ready" + n + "}", done = "{done" + n + "}";
    const bool answered = waitFor(ready, done, timeoutMs, &out, &err);
    warmUpFolder_.reset(); // its answer came before ours
    if (!answered) {
        // Killed, not asked to finish: the late command must not write the file after its time is up.
        usable_ = false;
        const bool running = process_.state() == QProcess::Running;
        process_.kill();
        process_.waitForFinished(3000);
        outcome->error =
            program_.toStdString() +
            (running ? " did not finish within " + std::to_string(timeoutMs / 1000) + " s" : " ended");
        return true;
    }
    // Only this command's part of each stream: after the marks of earlier ones, before its own.
    out.truncate(out.indexOf(ready));
    err.truncate(err.indexOf(done));
    const int outStart = out.lastIndexOf("{ready"), errStart = err.lastIndexOf("{done");
    if (outStart >= 0)
        out.remove(0, out.indexOf('}', outStart) + 1);
    if (errStart >= 0)
        err.remove(0, err.indexOf('}', errStart) + 1);
    const int at = out.lastIndexOf("status=");
    bool ok = false;
    const int status = at >= 0 ? out.mid(at + 7).trimmed().toInt(&ok) : -1;
    ++commandsRun_;
    outcome->finished = true;
    outcome->exitCode = ok ? status : -1;
    outcome->standardOutput = out.left(at >= 0 ? at : out.size());
    outcome->standardError = err;
    if (outcome->exitCode != 0) {
        outcome->error = program_.toStdString() + " exited with status " + std::to_string(outcome->exitCode);
        const QString detail = QString::fromLocal8Bit(err).trimmed();
        if (!detail.isEmpty())
            outcome->error += ": " + detail.toStdString();
    }
    return true;
}

} // namespace lumora
