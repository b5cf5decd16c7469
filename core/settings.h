// The operator's settings: every value, its control name, its place in the
// settings file and its default, loaded at start-up and saved on command.
#pragma once

#include <QHash>
#include <QObject>
#include <QReadWriteLock>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace lapvane {

class IniFile;

enum class SettingType { Text, Integer, Boolean };

// How the window shows a setting.
enum class SettingControl {
    Edit,       // line edit holding the text
    Check,      // switch
    IndexCombo, // list; the value is the selected index
    TextCombo,  // editable list; the value is the text
    Slider,     // position
};

struct SettingDef
{
    QString control; // the control name, by which the program refers to it
    QString section; // empty when the value is not kept in the settings file
    QString key;
    SettingType type;
    SettingControl widget;
    QVariant def; // default when read, start value when not stored
    QString caption;
    QStringList choices; // fixed list of a combo
};

struct WindowPlacement
{
    int width = 100;
    int height = 100;
    int x = 10;
    int y = 10;
};

class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QObject *parent = nullptr);

    static const std::vector<SettingDef> &definitions();
    static const SettingDef *definition(const QString &control);

    // Thread-safe reads; workers may call them.
    QVariant value(const QString &control) const;
    QString text(const QString &control) const;
    bool flag(const QString &control) const;
    int integer(const QString &control) const;

    // Assigns a value; emits changed() when it differs from the current one.
    // Turning one of the two "to qual" switches on clears the other.
    void set(const QString &control, const QVariant &value);

    // Reads every stored setting except the window placement and the voice
    // index, in the order of the file's sections. A missing key or a value
    // that cannot be read gives the default.
    void load(const IniFile &ini);
    // Read last, once the voice list is filled.
    void loadVoiceIndex(const IniFile &ini);

    static WindowPlacement loadPlacement(const IniFile &ini);
    static bool savePlacement(IniFile &ini, const WindowPlacement &placement);

    // Writes every stored setting. On a failed write stops at that key and
    // returns false with a message naming it; earlier keys stay written.
    bool save(IniFile &ini, QString *error);

signals:
    void changed(const QString &control, const QVariant &value);

private:
    void loadOne(const IniFile &ini, const SettingDef &def);

    mutable QReadWriteLock m_lock;
    QHash<QString, QVariant> m_values;
};

} // namespace lapvane
