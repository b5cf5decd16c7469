// The settings file: a hand-editable ini file read and written line by line,
// keeping its order, spelling, comments and unknown lines.
#pragma once

#include <QString>
#include <QStringList>

namespace lapvane {

class IniFile
{
public:
    // Reads the file when it exists; a missing file is an empty one.
    explicit IniFile(const QString &path);

    QString path() const { return m_path; }

    // Section and key names are compared without regard to case. The value is
    // everything after the first "=", blanks included.
    bool contains(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &def) const;
    // A value that is not a decimal integer (or is absent) reads as def.
    int readInteger(const QString &section, const QString &key, int def) const;
    // Read as an integer; any non-zero value is true.
    bool readBool(const QString &section, const QString &key, bool def) const;

    // Each write goes to the file at once; line breaks inside a value are
    // dropped. On failure returns false and
    // errorString() says why; the file on disk is left as it was. The file
    // holds secrets and is written readable by its owner only (a wider one is
    // narrowed); permissionNote() says when the folder does not allow that.
    bool writeString(const QString &section, const QString &key, const QString &value);
    bool writeInteger(const QString &section, const QString &key, int value);
    bool writeBool(const QString &section, const QString &key, bool value);

    QString errorString() const { return m_error; }
    // One line for the operator log when lines had to be read as the Cyrillic
    // Windows code page; empty otherwise.
    QString conversionNote() const;
    // One line for the operator log when the last save left the file
    // readable by others; empty otherwise.
    QString permissionNote() const { return m_permissionNote; }

private:
    int findSection(const QString &section) const;
    int findKey(int sectionLine, const QString &key) const;
    bool save();

    QString m_path;
    QStringList m_lines;
    QString m_error;
    QString m_permissionNote;
    int m_convertedLines = 0;
};

} // namespace lapvane
