#pragma once
// One command's arguments, read with QCommandLineParser: the command declares its options and prints its own
// help; mistakes come back in the tool's one-line form ("lumora-cli COMMAND: message (see --help)", status
// 2).

#include <QCommandLineParser>

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace lumora::cli {

class CommandLine {
public:
    explicit CommandLine(const char* command);

    // Options by their names without dashes ("o" is -o, "index" is --index).
    void addFlags(const QStringList& names);
    void addValued(const QStringList& names);

    // Reads `args`. Empty when the command goes on; otherwise the exit status, after printing `help` for
    // --help (0) or a usage error (2).
    std::optional<int> parse(const QStringList& args, const char* help);

    bool isSet(const QString& name) const { return parser_.isSet(name); }
    // The value given last.
    QString value(const QString& name) const { return parser_.value(name); }
    QStringList positional() const { return parser_.positionalArguments(); }
    // The options found, in the order given (with repeats).
    QStringList optionNames() const { return parser_.optionNames(); }

    // The integer value of `name` when given (else `fallback`); a value that is no integer or lies outside
    // low..high prints `message` as a usage error and gives nothing.
    std::optional<int> number(const QString& name, int fallback, int low, int high, const QString& message);

    // --index N, a frame number from 0; -1 when not given.
    std::optional<int> frameIndex();

    // The same for a value that must be one of `allowed`.
    std::optional<int> oneOf(const QString& name, int fallback, std::initializer_list<int> allowed,
                             const QString& message);
    // Arguments that are not options, as strings for the engine.
    std::vector<std::string> media() const;

    // Prints the usage error; returns its exit status, 2.
    int usageError(const QString& message) const;
    const char* command() const { return command_; }

private:
    const char* command_;
    QCommandLineParser parser_;
};

} // namespace lumora::cli
