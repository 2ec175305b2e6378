#include "media/MiscHelpers.h"

#include "common/DesktopHooks.h"

#include <QList>

using namespace Qt::Literals::StringLiterals;

namespace {
void appendEscape(QString &out, uint value)
{
    out += u'%';
    out += QString::number(value, 16).toUpper().rightJustified(2, u'0');
}
} // namespace

QString encodeURL(const QString &text)
{
    QString out;
    out.reserve(text.size() * 3);
    for (const uint cp : text.toUcs4()) {
        const bool asciiAlnum =
            (cp >= U'0' && cp <= U'9') || (cp >= U'A' && cp <= U'Z') || (cp >= U'a' && cp <= U'z');
        if (asciiAlnum) {
            out += QChar(char16_t(cp));
        } else if (cp <= 0xFF) {
            appendEscape(out, cp);
        } else {
            const char32_t c32 = cp;
            const QByteArray utf8 = QString::fromUcs4(&c32, 1).toUtf8();
            for (const char byte : utf8)
                appendEscape(out, static_cast<unsigned char>(byte));
        }
    }
    return out;
}

int ShowMessageDialog(QObject *window, const QString &kind, const QString &actionCaption,
                      const QString &cancelCaption, const QString &alternateCaption, const QString &message,
                      const QString &explanation)
{
    return desktopHooks().showMessageDialog(window, kind, actionCaption, cancelCaption, alternateCaption,
                                            message, explanation);
}
