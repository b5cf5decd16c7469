// The registry browser: the pilots who signed up for an event at the
// registry service, shown one at a time, and copied with their photos into
// the local pilot registry. Every request runs in the background.
#pragma once

#include "online/registryclient.h"

#include <QImage>
#include <QObject>
#include <QStringList>

#include <vector>

namespace lapvane {

class PilotRegistry;

class RegistryBrowser : public QObject
{
    Q_OBJECT
public:
    // pilots is the local registry whose current pilot the update commands
    // change; photos go to "photos" under programFolder.
    RegistryBrowser(RegistryClient &client, PilotRegistry &pilots, const QString &programFolder,
                    QObject *parent = nullptr);

    // The pilot fields of the service, in the order the browser lists them.
    static const QStringList &fieldNames();
    // The pilots of an event pilots answer: "data", its first element, its
    // "pilots", each with the nine fields read as text. False with *error
    // naming what is wrong when the answer is not of that form.
    static bool parsePilots(const QByteArray &answer, std::vector<QueryItems> *pilots, QString *error);

    // btgetdataClick: loads the event's pilots and shows the first.
    void btgetdataClick(const QString &unic);
    // btprevClick, btnextClick: the previous or next pilot, staying within the list.
    void btprevClick();
    void btnextClick();
    // btgetimageClick: the photo named in the photo file field.
    void btgetimageClick();
    // Button1Click: the visual link address becomes the only log text.
    void Button1Click(const QString &unic);
    // btlocateClick: the shown pilot's "lname", for the pilots search field.
    QString btlocateClick() const;
    // btupdateClick: copies the shown pilot into the current local pilot.
    void btupdateClick();
    // btnewpilotClick: adds a local pilot "new pilot" and copies the shown pilot into it.
    void btnewpilotClick();

    int totalpilots() const { return int(m_pilots.size()); }
    int currentpilot() const { return m_current; }
    QStringList log() const { return m_log; }
    // The key/value list of the shown pilot; the operator may correct values.
    QueryItems shownPilot() const { return m_shown; }
    void setShownValue(int row, const QString &value);
    QString countText() const { return m_countText; }
    QString positionText() const { return m_positionText; }
    QString photoFile() const { return m_photoFile; }
    void setPhotoFile(const QString &name);
    QImage photo() const { return m_photo; }

signals:
    void logCleared();
    void lineAdded(const QString &line);
    // The key/value list, the count or the position changed.
    void pilotShown();
    void photoFileChanged(const QString &name);
    void photoChanged(const QImage &photo);
    // A message the operator must see.
    void failed(const QString &message);
    // A local pilot was written (its row, and perhaps its photo).
    void localPilotChanged(int pilotId);

private:
    void clearLog();
    void add(const QString &line);
    void show(int index);
    void updatepilot(int pilotId);
    QString shownValue(const QString &key) const;
    bool savePhoto(int pilotId, const QByteArray &jpeg, QString *path, QString *error) const;

    RegistryClient &m_client;
    PilotRegistry &m_registry;
    QString m_folder;

    std::vector<QueryItems> m_pilots; // the pilots of the last good answer
    int m_current = 0;
    QueryItems m_shown;
    QStringList m_log;
    QString m_countText;
    QString m_positionText;
    QString m_photoFile;
    QImage m_photo;
    // Only the answer to the latest request of a kind is taken.
    int m_dataSeq = 0;
    int m_photoSeq = 0;
};

} // namespace lapvane
