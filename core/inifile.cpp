// The settings file: a hand-editable ini file read and written line by line.
#include "core/inifile.h"

#include "core/strictnumber.h"
#include "core/textdecoding.h"

#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

namespace lapvane {

namespace {

bool isSectionLine(const QString &line, QString *name = nullptr)
{
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']')))
        return false;
    if (name)
        *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

bool keyOf(const QString &line, QString *key)
{
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return false;
    const QString k = line.left(eq).trimmed();
    if (k.isEmpty() || k.startsWith(QLatin1Char(';')) || k.startsWith(QLatin1Char('#')))
        return false;
    *key = k;
    return true;
}

} // namespace

IniFile::IniFile(const QString &path) : m_path(path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QList<QByteArray> raw = bytes.split('\n');
    if (!raw.isEmpty() && raw.last().isEmpty())
        raw.removeLast();
    // Line by line: a file saved by an older tool in the Cyrillic Windows code
    // page is read as that code page instead of being turned into U+FFFD and
    // lost at the next save.
    for (QByteArray &line : raw) {
        if (line.endsWith('\r'))
            line.chop(1);
        bool converted = false;
        m_lines << decodeUtf8OrWindows1251(line, &converted);
        if (converted)
            ++m_convertedLines;
    }
}

QString IniFile::conversionNote() const
{
    if (m_convertedLines == 0)
        return {};
    return QStringLiteral(
               "Settings file %1: %2 line(s) were not UTF-8 and were read as Windows-1251 (Cyrillic); "
               "they are kept as read and saved as UTF-8.")
        .arg(m_path)
        .arg(m_convertedLines);
}

int IniFile::findSection(const QString &section) const
{
    QString name;
    for (int i = 0; i < m_lines.size(); ++i) {
        if (isSectionLine(m_lines[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int IniFile::findKey(int sectionLine, const QString &key) const
{
    QString k;
    for (int i = sectionLine + 1; i < m_lines.size() && !isSectionLine(m_lines[i]); ++i) {
        if (keyOf(m_lines[i], &k) && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool IniFile::contains(const QString &section, const QString &key) const
{
    const int s = findSection(section);
    return s >= 0 && findKey(s, key) >= 0;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &def) const
{
    const int s = findSection(section);
    const int k = s < 0 ? -1 : findKey(s, key);
    if (k < 0)
        return def;
    const QString &line = m_lines[k];
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
}

int IniFile::readInteger(const QString &section, const QString &key, int def) const
{
    // Blanks around the number are the ini convention; anything else inside
    // it ("1\0x9") makes it no number at all.
    return strictInt(QStringView(readString(section, key, QString())).trimmed()).value_or(def);
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    const auto value = strictInt(QStringView(readString(section, key, QString())).trimmed());
    return value ? *value != 0 : def;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &valueIn)
{
    // A line break inside a value (a pasted token) would end the line and
    // break the keys after it.
    QString value = valueIn;
    value.remove(QRegularExpression(QStringLiteral("[\\r\\n\\x{0085}\\x{2028}\\x{2029}]")));
    const QStringList before = m_lines;
    int s = findSection(section);
    if (s < 0) {
        if (!m_lines.isEmpty() && !m_lines.last().trimmed().isEmpty())
            m_lines << QString();
        m_lines << QStringLiteral("[%1]").arg(section);
        s = int(m_lines.size()) - 1;
    }
    const int k = findKey(s, key);
    if (k >= 0) {
        const QString &line = m_lines[k];
        m_lines[k] = line.left(line.indexOf(QLatin1Char('=')) + 1) + value;
    } else {
        // After the section's last key line, before any blank lines that close it.
        int at = s + 1;
        for (int i = s + 1; i < m_lines.size() && !isSectionLine(m_lines[i]); ++i) {
            if (!m_lines[i].trimmed().isEmpty())
                at = i + 1;
        }
        m_lines.insert(at, key + QLatin1Char('=') + value);
    }
    if (!save()) {
        m_lines = before;
        return false;
    }
    return true;
}

bool IniFile::writeInteger(const QString &section, const QString &key, int value)
{
    return writeString(section, key, QString::number(value));
}

bool IniFile::writeBool(const QString &section, const QString &key, bool value)
{
    return writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::save()
{
    // The file holds secrets (the bot token, the MQTT password), so it is kept
    // readable by its owner only. The saved copy is written to a temporary file
    // that takes the mode of the file it replaces (a new one: the default mode,
    // readable by all), so the file is narrowed, or made empty with the owner's
    // mode, before anything is written: no copy of it is readable by others at
    // any moment.
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    constexpr QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
    QFile target(m_path);
    bool created = false;
    if (target.exists()) {
        if (target.permissions() & others)
            target.setPermissions(ownerOnly); // checked below, on the copy that replaces it
    } else if (target.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly)) {
        target.close();
        created = true;
    }
    QSaveFile file(m_path);
    auto fail = [&] {
        m_error = file.errorString();
        if (created)
            QFile::remove(m_path); // left as it was: absent
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    // So already, unless the file could not be narrowed (another user's): the
    // copy that replaces it is.
    file.setPermissions(ownerOnly);
    QByteArray data;
    for (const QString &line : std::as_const(m_lines))
        data += line.toUtf8() + "\r\n";
    if (file.write(data) != data.size() || !file.commit())
        return fail();
    m_error.clear();
    // A folder on a file system without modes (a FAT memory stick) shows the
    // file to every user of the computer.
    m_permissionNote.clear();
    if (QFile::permissions(m_path) & others)
        m_permissionNote =
            QStringLiteral("Settings file %1 holds the bot token and the MQTT password, and other "
                           "users of this computer can read it: its folder does not keep "
                           "files private (a memory stick?).")
                .arg(m_path);
    return true;
}

} // namespace lapvane
