// The registry browser: event pilots from the registry service into the
// local pilot registry.
#include "online/registrybrowser.h"

#include "events/pilotregistry.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace lapvane {

namespace {

const QString kNoPhoto = QStringLiteral("no photo");

// A field value read as text; false for a value that has no text form.
bool fieldText(const QJsonValue &v, QString *text)
{
    switch (v.type()) {
    case QJsonValue::String: *text = v.toString(); return true;
    case QJsonValue::Double: *text = v.toVariant().toString(); return true;
    case QJsonValue::Bool: *text = v.toBool() ? QStringLiteral("true") : QStringLiteral("false"); return true;
    case QJsonValue::Null: text->clear(); return true;
    default: return false;
    }
}

bool isJpeg(const QByteArray &bytes, QImage *image)
{
    return image->loadFromData(bytes, "JPEG") && !image->isNull();
}

} // namespace

RegistryBrowser::RegistryBrowser(RegistryClient &client, PilotRegistry &pilots, const QString &programFolder,
                                 QObject *parent)
    : QObject(parent), m_client(client), m_registry(pilots), m_folder(programFolder)
{
}

const QStringList &RegistryBrowser::fieldNames()
{
    static const QStringList names = {QStringLiteral("id"),       QStringLiteral("chat_id"),
                                      QStringLiteral("event_unic"), QStringLiteral("add_date"),
                                      QStringLiteral("fname"),    QStringLiteral("lname"),
                                      QStringLiteral("email"),    QStringLiteral("osd_name"),
                                      QStringLiteral("photo_file")};
    return names;
}

bool RegistryBrowser::parsePilots(const QByteArray &answer, std::vector<QueryItems> *pilots, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(answer, &parseError);
    if (doc.isNull()) {
        *error = QStringLiteral("it is not JSON (%1 at byte %2)").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    const QJsonValue data = doc.object().value(QStringLiteral("data"));
    if (!data.isArray() || data.toArray().isEmpty()) {
        *error = QStringLiteral("it has no \"data\" list with an event");
        return false;
    }
    const QJsonValue list = data.toArray().first().toObject().value(QStringLiteral("pilots"));
    if (!list.isArray()) {
        *error = QStringLiteral("its event has no \"pilots\" list");
        return false;
    }
    std::vector<QueryItems> parsed;
    const QJsonArray array = list.toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        if (!array.at(i).isObject()) {
            *error = QStringLiteral("pilot %1 is not an object").arg(i + 1);
            return false;
        }
        const QJsonObject pilot = array.at(i).toObject();
        QueryItems fields;
        for (const QString &key : fieldNames()) {
            QString text;
            if (!pilot.contains(key) || !fieldText(pilot.value(key), &text)) {
                *error = QStringLiteral("pilot %1 has no \"%2\" text").arg(i + 1).arg(key);
                return false;
            }
            fields.append({key, text});
        }
        parsed.push_back(fields);
    }
    *pilots = std::move(parsed);
    return true;
}

void RegistryBrowser::clearLog()
{
    m_log.clear();
    emit logCleared();
}

void RegistryBrowser::add(const QString &line)
{
    m_log << line;
    emit lineAdded(line);
}

void RegistryBrowser::setShownValue(int row, const QString &value)
{
    if (row >= 0 && row < m_shown.size())
        m_shown[row].second = value;
}

void RegistryBrowser::setPhotoFile(const QString &name)
{
    if (m_photoFile == name)
        return;
    m_photoFile = name;
    emit photoFileChanged(name);
}

QString RegistryBrowser::shownValue(const QString &key) const
{
    for (const auto &[k, v] : m_shown) {
        if (k == key)
            return v;
    }
    return {};
}

void RegistryBrowser::btgetdataClick(const QString &unic)
{
    QString error;
    const QUrl url = m_client.eventUrl(0, unic, &error);
    if (url.isEmpty()) {
        emit failed(error);
        return;
    }
    clearLog();
    const int seq = ++m_dataSeq;
    m_client.get(url, QStringLiteral("Loading the event pilots"), this, [this, seq](const RegistryReply &reply) {
        if (seq != m_dataSeq)
            return; // a later "Get data" took over
        if (!reply.body.isEmpty())
            add(QString::fromUtf8(reply.body));
        if (!reply.ok) {
            add(reply.error);
            emit failed(reply.error);
            return;
        }
        std::vector<QueryItems> pilots;
        QString why;
        if (!parsePilots(reply.body, &pilots, &why)) {
            // Nothing shown changes: the last good answer stays.
            const QString message =
                QStringLiteral("The registry's answer could not be read: %1. Nothing was changed; the log holds the "
                               "answer.")
                    .arg(why);
            emit failed(message);
            return;
        }
        if (pilots.empty()) {
            m_countText = QStringLiteral("no pilots");
            emit pilotShown();
            return;
        }
        m_pilots = std::move(pilots);
        show(0);
    });
}

void RegistryBrowser::show(int index)
{
    m_current = index;
    m_shown = m_pilots[size_t(index)];
    m_countText = QString::number(m_pilots.size());
    m_positionText = QStringLiteral("%1/%2").arg(m_current + 1).arg(m_pilots.size());
    emit pilotShown();
    setPhotoFile(shownValue(QStringLiteral("photo_file")));
    btgetimageClick();
}

void RegistryBrowser::btprevClick()
{
    if (!m_pilots.empty())
        show(qMax(0, m_current - 1));
}

void RegistryBrowser::btnextClick()
{
    if (!m_pilots.empty())
        show(qMin(int(m_pilots.size()) - 1, m_current + 1));
}

void RegistryBrowser::btgetimageClick()
{
    const int seq = ++m_photoSeq;
    // The photo shown so far may be another pilot's: it goes at once.
    if (!m_photo.isNull()) {
        m_photo = QImage();
        emit photoChanged(m_photo);
    }
    auto noPhoto = [this] { setPhotoFile(kNoPhoto); };
    if (m_photoFile.isEmpty()) {
        noPhoto();
        return;
    }
    QString error;
    const QUrl url = m_client.photoUrl(m_photoFile, &error);
    if (url.isEmpty()) {
        noPhoto();
        emit failed(error);
        return;
    }
    m_client.get(url, QStringLiteral("Loading the photo"), this, [this, seq, noPhoto](const RegistryReply &reply) {
        if (seq != m_photoSeq)
            return; // another photo was asked for since
        QImage image;
        if (!reply.ok || !isJpeg(reply.body, &image)) {
            noPhoto();
            return;
        }
        m_photo = image;
        emit photoChanged(m_photo);
    });
}

void RegistryBrowser::Button1Click(const QString &unic)
{
    QString error;
    const QUrl url = m_client.eventUrl(1, unic, &error);
    if (url.isEmpty()) {
        emit failed(error);
        return;
    }
    clearLog();
    add(url.toString(QUrl::FullyEncoded));
}

QString RegistryBrowser::btlocateClick() const
{
    return shownValue(QStringLiteral("lname"));
}

void RegistryBrowser::btupdateClick()
{
    const auto pilot = m_registry.currentPilot();
    if (!pilot || m_registry.selectedViewRows().isEmpty()) {
        emit failed(QStringLiteral("Select pilot!"));
        return;
    }
    updatepilot(pilot->id);
}

void RegistryBrowser::btnewpilotClick()
{
    if (m_shown.isEmpty()) {
        emit failed(QStringLiteral("No registry pilot is shown: load them with \"Get data\" first."));
        return;
    }
    SqlRowsModel *rows = m_registry.model();
    const int id = rows->insertRecord({{QStringLiteral("name"), QStringLiteral("new pilot")}});
    if (id == 0)
        return; // the registry has shown the store's message
    m_registry.reread();
    // The new pilot becomes current when the search lets it show.
    const int source = rows->rowOfKey(id);
    const QModelIndex view = source >= 0 ? m_registry.view()->mapFromSource(rows->index(source, 0)) : QModelIndex();
    if (view.isValid())
        m_registry.setCurrentViewRow(view.row());
    updatepilot(id);
}

void RegistryBrowser::updatepilot(int pilotId)
{
    if (m_shown.isEmpty()) {
        emit failed(QStringLiteral("No registry pilot is shown: load them with \"Get data\" first."));
        return;
    }
    SqlRowsModel *rows = m_registry.model();
    const int row = rows->rowOfKey(pilotId);
    const QVariantMap values = {
        {QStringLiteral("telegaid"), shownValue(QStringLiteral("chat_id"))},
        {QStringLiteral("name"), shownValue(QStringLiteral("lname")) + QLatin1Char(' ') + shownValue(QStringLiteral("fname"))},
        {QStringLiteral("nickname"), shownValue(QStringLiteral("osd_name"))},
        {QStringLiteral("login"), shownValue(QStringLiteral("email"))},
    };
    if (row < 0 || !rows->setValues(row, values)) {
        add(QStringLiteral("pilot not updated: %1").arg(row < 0 ? QStringLiteral("it is no longer in the registry")
                                                                : rows->lastError()));
        return;
    }
    emit localPilotChanged(pilotId);
    add(QStringLiteral("pilot updated"));
    add(QStringLiteral("getting picture.."));

    const QString photoFile = shownValue(QStringLiteral("photo_file"));
    QString error;
    const QUrl url = photoFile.isEmpty() ? QUrl() : m_client.photoUrl(photoFile, &error);
    if (url.isEmpty()) {
        add(photoFile.isEmpty() ? QStringLiteral("The registry names no photo for this pilot.") : error);
        setPhotoFile(kNoPhoto);
        return;
    }
    // The old photo is replaced only by a whole, readable JPEG.
    const int seq = ++m_photoSeq;
    m_client.get(url, QStringLiteral("Loading the photo"), this, [this, pilotId, seq](const RegistryReply &reply) {
        QImage image;
        QString problem;
        QString path;
        if (!reply.ok)
            problem = reply.error;
        else if (!isJpeg(reply.body, &image))
            problem = QStringLiteral("The photo received is not a JPEG picture; the old photo is kept.");
        else if (!savePhoto(pilotId, reply.body, &path, &problem))
            problem += QStringLiteral(" The old photo is kept.");
        if (!problem.isEmpty()) {
            add(problem);
            setPhotoFile(kNoPhoto);
            return;
        }
        if (seq == m_photoSeq) {
            m_photo = image;
            emit photoChanged(m_photo);
        }
        add(QStringLiteral("picture saved to ") + QDir::toNativeSeparators(path));
        emit localPilotChanged(pilotId);
    });
}

bool RegistryBrowser::savePhoto(int pilotId, const QByteArray &jpeg, QString *path, QString *error) const
{
    *path = QFileInfo(m_registry.photoPath(pilotId)).absoluteFilePath();
    const QString folder = QFileInfo(*path).absolutePath();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("The photo could not be saved: the folder %1 cannot be made.").arg(folder);
        return false;
    }
    // Written beside the old photo and renamed over it once complete.
    QSaveFile file(*path);
    if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size() || !file.commit()) {
        *error = QStringLiteral("The photo could not be saved to %1: %2.").arg(*path, file.errorString());
        return false;
    }
    return true;
}

} // namespace lapvane
