#pragma once

#include <QString>
#include <QStringList>

// Reads a command's arguments in order: options ("--name", "--name=value" or
// "--name value") and paths. "--" ends the options; "-" alone is a path.
//
//     CliArguments arguments(args);
//     while (arguments.nextOption()) {
//         if (arguments.isFlag("--json"_L1)) ...
//         else if (arguments.is("--lang"_L1) && arguments.takeValue(value)) ...
//     }
//     arguments.paths();
class CliArguments final {
public:
    explicit CliArguments(const QStringList &args);

    // Moves to the next option, collecting the paths on the way; false at the end.
    bool nextOption();

    // The option as written, and its name without any "=value".
    const QString &written() const { return m_written; }
    bool is(QLatin1StringView name) const { return m_name == name; }
    // The option, written without a value.
    bool isFlag(QLatin1StringView name) const { return is(name) && !m_hasInlineValue; }
    // Takes the option's value: what follows "=", or else the next argument.
    // False when there is none.
    bool takeValue(QString &value);

    const QStringList &paths() const { return m_paths; }

private:
    QStringList m_args;
    qsizetype m_next = 0;
    bool m_optionsEnded = false;
    QString m_written;
    QString m_name;
    QString m_inlineValue;
    bool m_hasInlineValue = false;
    QStringList m_paths;
};

// Reports bad usage of a command on stderr in one line that points to the
// command's help, and gives the exit status for it. The whole usage text
// would bury the one thing that went wrong.
int usageError(const QString &command, const QString &message);
