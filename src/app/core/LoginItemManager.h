#pragma once

#include <QObject>
#include <QString>

namespace brenvo {

// Launch at login through an XDG autostart entry, $XDG_CONFIG_HOME/autostart/<identifier>.desktop.
// The entry is the only truth: isEnabled is a copy of it taken at construction and after every
// change, so a switch bound to it springs back when a change did not happen. Main thread only.
class LoginItemManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)

public:
    struct Place {
        // The folder that holds autostart entries.
        QString autostartDirectory;
        // The entry's file name without ".desktop".
        QString identifier;
        // The program the entry starts.
        QString executable;
        QString appName;
    };

    // The user's autostart folder and this program; identifier is the bundle identifier.
    LoginItemManager(const QString& identifier, const QString& appName, QObject* parent = nullptr);
    explicit LoginItemManager(Place place, QObject* parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    void setIsEnabled(bool enabled);

    // Writes or removes the entry, then reads it again.
    void setEnabled(bool wanted);

    QString entryPath() const;
    // Whether the entry on disk starts this program at login.
    bool readStatus() const;

    // An Exec value naming the program alone, quoted and escaped for a desktop entry.
    static QString execValue(const QString& program);
    // The program that an Exec value names (its first argument), or empty when there is none.
    static QString execProgram(const QString& value);

Q_SIGNALS:
    void isEnabledChanged(bool enabled);

private:
    bool writeEntry() const;
    bool removeEntry() const;

    Place m_place;
    bool m_enabled = false;
};

} // namespace brenvo
