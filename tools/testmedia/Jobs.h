#pragma once
// The media files the generator knows how to make, each as a job with its outputs and a stamp signature, so
// that a rerun skips what is already there and up to date.

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace lumora::testmedia {

struct Job {
    QString name;        // main output name; also what --only selects
    bool benchOnly;      // part of the "bench" set only
    QStringList outputs; // paths relative to the output folder that must all exist
    QString signature;   // stamp content; changes whenever the job would produce different files
    std::function<bool(const QDir& outDir, QString* error)> run;
};

std::vector<Job> allJobs();

// True when every output exists and the stamp file "<name>.done" holds the job's signature.
bool isUpToDate(const Job& job, const QDir& outDir);
// Runs the job and writes its stamp; on failure returns false with a one-line message.
bool runJob(const Job& job, const QDir& outDir, QString* error);

} // namespace lumora::testmedia
