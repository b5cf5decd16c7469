// Column widths and visibility of a grid the operator may change: the
// heading's context menu hides and shows columns, dragging a heading's edge
// widens one, and both are kept in the settings file.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

class QMenu;
class QTableView;
class QSqlTableModel;
class QTimer;

namespace lapvane {

class IniFile;

class ColumnLayout : public QObject
{
    Q_OBJECT
public:
    struct Column
    {
        QString field;
        // The widest usual content; the width fits it, not the heading, which
        // elides and shows whole as the heading's hint.
        QString sample;
    };

    // columns: the grid's shown columns; fill (may be empty) takes the width
    // the others leave, eliding its text. The layout is kept in the settings
    // file's section "Grid " + the grid's object name; ini may be gone at
    // shutdown (the layout is then no longer kept).
    ColumnLayout(QTableView *grid, QSqlTableModel *model, QList<Column> columns, const QString &fill,
                 std::unique_ptr<IniFile> *ini);

    // Widths from the grid's font, then the operator's stored widths and
    // hidden columns. Called again after a font change.
    void apply();

    // The heading's menu: one switch per column, and "Default widths".
    QMenu *menu() const { return m_menu; }

    // The width a column gets before the operator changes it.
    int defaultWidth(const QString &field) const;

private:
    void restore();
    void store();
    void sectionResized(int logical, int oldSize, int newSize);
    void setHidden(const QString &field, bool hidden);
    void resetWidths();
    QString section() const;

    QTableView *m_grid;
    QSqlTableModel *m_model;
    QList<Column> m_columns;
    QString m_fill;
    std::unique_ptr<IniFile> *m_ini;
    QMenu *m_menu;
    QTimer *m_storeTimer;
    QHash<QString, int> m_widths; // widened by the operator
    QSet<QString> m_hidden;
    bool m_applying = false;
};

} // namespace lapvane
