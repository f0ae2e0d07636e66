#pragma once
// A small RTF reader for tests: checks that a file is well formed (7-bit
// text, "{\rtf1" first, every group closed, nothing after the outermost
// group, escapes complete) without trusting the writer's own code.
#include <QByteArray>
#include <QString>

namespace vantora::test {

struct RtfCheck {
    bool Ok = false;
    QString Problem;
    int Groups = 0; // groups opened, the outermost one included
};

inline RtfCheck CheckRtf(const QByteArray& rtf) {
    RtfCheck result;
    auto fail = [&result](const QString& why, qsizetype at) {
        result.Problem = why + QStringLiteral(" at byte %1").arg(at);
        return result;
    };
    if (!rtf.startsWith("{\\rtf1"))
        return fail(QStringLiteral("no {\\rtf1 header"), 0);
    int depth = 0;
    qsizetype closedAt = -1;
    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const uchar c = uchar(rtf[i]);
        if (c >= 0x80)
            return fail(QStringLiteral("a byte beyond 7-bit ASCII"), i);
        if (closedAt >= 0) {
            if (c != '\n' && c != '\r' && c != ' ' && c != 0)
                return fail(QStringLiteral("text after the outermost group"), i);
            continue;
        }
        if (c == '{') {
            ++depth;
            ++result.Groups;
        } else if (c == '}') {
            if (--depth < 0)
                return fail(QStringLiteral("a group closed that was never opened"), i);
            if (depth == 0)
                closedAt = i;
        } else if (c == '\\') {
            if (i + 1 >= rtf.size())
                return fail(QStringLiteral("a backslash at the end"), i);
            const char next = rtf[i + 1];
            if (next == '\'') {
                const QByteArray hex = rtf.mid(i + 2, 2);
                bool ok = false;
                hex.toInt(&ok, 16);
                if (hex.size() != 2 || !ok)
                    return fail(QStringLiteral("an incomplete \\' escape"), i);
                i += 3;
            } else if (next == 'u' && i + 2 < rtf.size() &&
                       (rtf[i + 2] == '-' || (rtf[i + 2] >= '0' && rtf[i + 2] <= '9'))) {
                qsizetype j = i + 3;
                while (j < rtf.size() && rtf[j] >= '0' && rtf[j] <= '9')
                    ++j;
                const int value = rtf.mid(i + 2, j - i - 2).toInt();
                if (value < -32768 || value > 32767)
                    return fail(QStringLiteral("a \\u value outside 16 bits"), i);
                i = j - 1;
            } else {
                ++i; // a control word's first letter or an escaped symbol
            }
        }
    }
    if (depth != 0)
        return fail(QStringLiteral("%1 group(s) left open").arg(depth), rtf.size());
    result.Ok = true;
    return result;
}

} // namespace vantora::test
