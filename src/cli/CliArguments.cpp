#include "cli/CliArguments.h"

#include "cli/Commands.h"

using namespace Qt::Literals::StringLiterals;

CliArguments::CliArguments(const QStringList &args)
    : m_args(args)
{
}

bool CliArguments::nextOption()
{
    while (m_next < m_args.size()) {
        const QString &arg = m_args[m_next++];
        if (m_optionsEnded || !arg.startsWith(u'-') || arg == "-"_L1) {
            m_paths.append(arg);
        } else if (arg == "--"_L1) {
            m_optionsEnded = true;
        } else {
            m_written = arg;
            const qsizetype eq = arg.indexOf(u'=');
            m_hasInlineValue = arg.startsWith("--"_L1) && eq > 2;
            m_name = m_hasInlineValue ? arg.left(eq) : arg;
            m_inlineValue = m_hasInlineValue ? arg.mid(eq + 1) : QString();
            return true;
        }
    }
    return false;
}

bool CliArguments::takeValue(QString &value)
{
    if (m_hasInlineValue) {
        value = m_inlineValue;
        return true;
    }
    if (m_next >= m_args.size())
        return false;
    value = m_args[m_next++];
    return true;
}

int usageError(const QString &command, const QString &message)
{
    printErr(u"lumbra-cli %1: %2 (see lumbra-cli %1 --help)"_s.arg(command, message));
    return ExitUsage;
}
