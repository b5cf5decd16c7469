// File dialogs that never open the files they list.
#include "app/filedialogs.h"

#include "store/database.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

namespace lapvane {

namespace {

// Icons and type names from the name alone: the default provider asks the
// MIME database, which reads a file whose name does not tell its type.
class NameOnlyIcons : public QAbstractFileIconProvider
{
public:
    QIcon icon(IconType type) const override { return QAbstractFileIconProvider::icon(type); }
    QIcon icon(const QFileInfo &info) const override
    {
        return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QStringLiteral("Folder");
        const QString suffix = info.suffix();
        return suffix.isEmpty() ? QStringLiteral("File") : suffix.toUpper() + QStringLiteral(" File");
    }
};

// Leaves the database's files out of the list.
class WithoutDatabaseFiles : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (!files)
            return true;
        return !isDatabaseFile(files->fileName(files->index(row, 0, parent)));
    }
};

QString runDialog(QFileDialog &dialog)
{
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

} // namespace

bool isDatabaseFile(const QString &fileName)
{
    const QString base = QLatin1String(kDatabaseFileName);
    if (!fileName.startsWith(base, Qt::CaseInsensitive))
        return false;
    const QString rest = fileName.mid(base.size()).toLower();
    return rest.isEmpty() || rest == QLatin1String("-wal") || rest == QLatin1String("-shm") ||
           rest == QLatin1String("-journal");
}

void makeSafeFileDialog(QFileDialog &dialog)
{
    // A platform's own dialog would guess types by reading files again.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons);
    // One provider for every dialog: it keeps no state, and it outlives the
    // thread each dialog's file list gathers in.
    static NameOnlyIcons icons;
    dialog.setIconProvider(&icons);
    dialog.setProxyModel(new WithoutDatabaseFiles(&dialog));
}

QString chooseOpenFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter)
{
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setObjectName(QStringLiteral("filedialog"));
    makeSafeFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return runDialog(dialog);
}

QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &folder, const QString &filter,
                       const QString &defaultSuffix, const QString &suggested)
{
    QFileDialog dialog(parent, caption, folder, filter);
    dialog.setObjectName(QStringLiteral("filedialog"));
    makeSafeFileDialog(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    if (!suggested.isEmpty())
        dialog.selectFile(suggested);
    return runDialog(dialog);
}

} // namespace lapvane
