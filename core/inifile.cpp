// The settings file: a hand-editable ini file read and written line by line.
#include "core/inifile.h"

#include <QFile>
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
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_lines = text.split(QLatin1Char('\n'));
    if (!m_lines.isEmpty() && m_lines.last().isEmpty())
        m_lines.removeLast();
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
    bool ok = false;
    const int value = readString(section, key, QString()).trimmed().toInt(&ok);
    return ok ? value : def;
}

bool IniFile::readBool(const QString &section, const QString &key, bool def) const
{
    bool ok = false;
    const int value = readString(section, key, QString()).trimmed().toInt(&ok);
    return ok ? value != 0 : def;
}

bool IniFile::writeString(const QString &section, const QString &key, const QString &value)
{
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
    // Written to a temporary file and renamed, so a failed write never leaves
    // half a settings file behind.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    QByteArray data;
    for (const QString &line : std::as_const(m_lines))
        data += line.toUtf8() + "\r\n";
    if (file.write(data) != data.size() || !file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_error.clear();
    return true;
}

} // namespace lapvane
