#include "CommandLine.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace lumora::cli {

CommandLine::CommandLine(const char* command) : command_(command) {
    parser_.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    parser_.addOption(QCommandLineOption(QStringLiteral("help")));
}

void CommandLine::addFlags(const QStringList& names) {
    for (const QString& name : names)
        parser_.addOption(QCommandLineOption(name));
}

void CommandLine::addValued(const QStringList& names) {
    for (const QString& name : names)
        parser_.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
}

std::optional<int> CommandLine::parse(const QStringList& args, const char* help) {
    // The parser expects the program's name first.
    if (!parser_.parse(QStringList{QString::fromLatin1(command_)} + args)) {
        // Name the argument as the user wrote it: the first unknown option, else the option left without
        // its value (the last argument).
        const QStringList unknown = parser_.unknownOptionNames();
        for (const QString& a : args) {
            if (a == QLatin1String("--"))
                break;
            const QString name =
                a.startsWith(QLatin1String("--")) ? a.mid(2).section(QLatin1Char('='), 0, 0) : a.mid(1, 1);
            if (a.startsWith(QLatin1Char('-')) && a.size() > 1 && unknown.contains(name))
                return usageError(QStringLiteral("unexpected argument '%1'").arg(a));
        }
        return usageError(
            QStringLiteral("unexpected argument '%1'").arg(args.isEmpty() ? QString() : args.last()));
    }
    if (parser_.isSet(QStringLiteral("help"))) {
        std::puts(help);
        return 0;
    }
    return std::nullopt;
}

std::optional<int> CommandLine::number(const QString& name, int fallback, int low, int high,
                                       const QString& message) {
    if (!parser_.isSet(name))
        return fallback;
    bool ok = false;
    const int v = parser_.value(name).toInt(&ok);
    if (ok && v >= low && v <= high)
        return v;
    usageError(message);
    return std::nullopt;
}

std::optional<int> CommandLine::frameIndex() {
    return number(QStringLiteral("index"), -1, 0, INT_MAX,
                  QStringLiteral("--index takes a frame number from 0"));
}

std::optional<int> CommandLine::oneOf(const QString& name, int fallback, std::initializer_list<int> allowed,
                                      const QString& message) {
    if (!parser_.isSet(name))
        return fallback;
    bool ok = false;
    const int v = parser_.value(name).toInt(&ok);
    if (ok && std::find(allowed.begin(), allowed.end(), v) != allowed.end())
        return v;
    usageError(message);
    return std::nullopt;
}

std::vector<std::string> CommandLine::media() const {
    std::vector<std::string> media;
    for (const QString& a : parser_.positionalArguments())
        media.push_back(a.toStdString());
    return media;
}

int CommandLine::usageError(const QString& message) const {
    std::fprintf(stderr, "lumora-cli %s: %s (see --help)\n", command_, message.toLocal8Bit().constData());
    return 2;
}

} // namespace lumora::cli
