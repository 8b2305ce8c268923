#include "app/core/LoginItemManager.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace brenvo {

namespace {

// The general escapes of a desktop entry's string values.
QString unescapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out.append(c);
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out.append(u' ');
            break;
        case 'n':
            out.append(u'\n');
            break;
        case 't':
            out.append(u'\t');
            break;
        case 'r':
            out.append(u'\r');
            break;
        case '\\':
            out.append(u'\\');
            break;
        default:
            out.append(c).append(next);
        }
    }
    return out;
}

QString escapeValue(const QString& value)
{
    QString out;
    out.reserve(value.size() + 8);
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out.append(QStringLiteral("\\\\"));
            break;
        case '\n':
            out.append(QStringLiteral("\\n"));
            break;
        case '\t':
            out.append(QStringLiteral("\\t"));
            break;
        case '\r':
            out.append(QStringLiteral("\\r"));
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

bool sameProgram(const QString& named, const QString& executable)
{
    if (named.isEmpty())
        return false;
    QString path = named;
    if (!QFileInfo(named).isAbsolute()) {
        path = QStandardPaths::findExecutable(named);
        if (path.isEmpty())
            return false;
    }
    const QString a = QFileInfo(path).canonicalFilePath();
    const QString b = QFileInfo(executable).canonicalFilePath();
    if (!a.isEmpty() && !b.isEmpty())
        return a == b;
    return QDir::cleanPath(path) == QDir::cleanPath(QFileInfo(executable).absoluteFilePath());
}

} // namespace

LoginItemManager::LoginItemManager(const QString& identifier, const QString& appName, QObject* parent)
    : LoginItemManager(
        Place {
            QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                .filePath(QStringLiteral("autostart")),
            identifier.isEmpty() ? appName.toLower() : identifier,
            QCoreApplication::applicationFilePath(),
            appName,
        },
        parent)
{
}

LoginItemManager::LoginItemManager(Place place, QObject* parent)
    : QObject(parent)
    , m_place(std::move(place))
{
    m_enabled = readStatus();
}

void LoginItemManager::setIsEnabled(bool enabled)
{
    if (m_enabled == enabled)
        return;
    m_enabled = enabled;
    Q_EMIT isEnabledChanged(enabled);
}

void LoginItemManager::setEnabled(bool wanted)
{
    if (wanted)
        writeEntry();
    else
        removeEntry();
    setIsEnabled(readStatus());
}

QString LoginItemManager::entryPath() const
{
    return QDir(m_place.autostartDirectory).filePath(m_place.identifier + QStringLiteral(".desktop"));
}

bool LoginItemManager::readStatus() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool inEntry = false;
    bool hidden = false;
    bool switchedOff = false;
    QString exec;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inEntry || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QStringLiteral("Hidden"))
            hidden = value.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0;
        else if (key == QStringLiteral("X-GNOME-Autostart-enabled"))
            switchedOff = value.compare(QStringLiteral("false"), Qt::CaseInsensitive) == 0;
        else if (key == QStringLiteral("Exec"))
            exec = value;
    }
    return !hidden && !switchedOff && sameProgram(execProgram(exec), m_place.executable);
}

QString LoginItemManager::execValue(const QString& program)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted.append(u'\\');
        quoted.append(c);
    }
    quoted.append(u'"');
    quoted.replace(u'%', QStringLiteral("%%"));
    return escapeValue(quoted);
}

QString LoginItemManager::execProgram(const QString& value)
{
    const QString text = unescapeValue(value).trimmed();
    QString program;
    qsizetype i = 0;
    if (text.startsWith(u'"')) {
        for (i = 1; i < text.size() && text.at(i) != u'"'; ++i) {
            if (text.at(i) == u'\\' && i + 1 < text.size())
                ++i;
            program.append(text.at(i));
        }
        if (i == text.size())
            return {}; // no closing quote
    } else {
        for (; i < text.size() && !text.at(i).isSpace(); ++i)
            program.append(text.at(i));
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

bool LoginItemManager::writeEntry() const
{
    if (!QDir().mkpath(m_place.autostartDirectory)) {
        qCWarning(logApp, "Launch at login could not be turned on: %s cannot be made",
            qUtf8Printable(m_place.autostartDirectory));
        return false;
    }
    QSaveFile file(entryPath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=")
            + escapeValue(m_place.appName) + QStringLiteral("\nExec=") + execValue(m_place.executable)
            + QStringLiteral("\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
        file.write(text.toUtf8());
        if (file.commit())
            return true;
    }
    qCWarning(logApp, "Launch at login could not be turned on: %s", qUtf8Printable(file.errorString()));
    return false;
}

bool LoginItemManager::removeEntry() const
{
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return true;
    qCWarning(logApp, "Launch at login could not be turned off: %s", qUtf8Printable(file.errorString()));
    return false;
}

} // namespace brenvo
